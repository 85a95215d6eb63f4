#include "mime/MakeSafeName.h"

#include <cstdint>
#include <cwctype>
#include <mutex>
#include <stdexcept>
#include <string>

#include <unicode/translit.h>
#include <unicode/unistr.h>

#include "mime/KSCharsets.h"

namespace KestrinMIMEEngineCommon {

namespace {

const char* const kTransliteratorId =
    "Any-Latin; Latin-ASCII; NFD; [:Nonspacing Mark:] Remove; NFC; [:^Ascii:] Remove;";

constexpr size_t kMaxNameLength = 128;
constexpr size_t kCutLength = 125;
constexpr wchar_t kDivisionSlash = 0x2215;

// One transliterator for the process, created on first use and kept to the
// end (never destroyed, so late callers stay safe). ICU does not promise that
// transliterate() on a shared instance is thread-safe, so calls from the
// loading and export threads take turns.
struct SharedTransliterator {
    icu::Transliterator* instance = nullptr;
    std::mutex mutex;
};

SharedTransliterator& TheTransliterator()
{
    static std::once_flag once;
    static SharedTransliterator* shared = nullptr;
    std::call_once(once, [] {
        UErrorCode status = U_ZERO_ERROR;
        icu::Transliterator* instance = icu::Transliterator::createInstance(
            icu::UnicodeString::fromUTF8(kTransliteratorId), UTRANS_FORWARD, status);
        if (U_FAILURE(status) || !instance) {
            delete instance;
            // Leaving the flag unset lets a later call try again.
            throw std::runtime_error(std::string("MakeSafeName : Transliterator::createInstance failed; ") +
                                     u_errorName(status));
        }
        shared = new SharedTransliterator;
        shared->instance = instance;
    });
    return *shared;
}

std::string TransliterateToASCII(const std::wstring& name)
{
    icu::UnicodeString text =
        icu::UnicodeString::fromUTF32(reinterpret_cast<const UChar32*>(name.data()), static_cast<int32_t>(name.size()));
    SharedTransliterator& shared = TheTransliterator();
    {
        std::lock_guard<std::mutex> guard(shared.mutex);
        shared.instance->transliterate(text);
    }
    std::string utf8;
    text.toUTF8String(utf8);
    return utf8;
}

bool IsAscii(const std::wstring& name)
{
    for (wchar_t c : name)
        if (static_cast<uint32_t>(c) >= 0x80) return false;
    return true;
}

bool IsSpace(wchar_t c) { return std::iswspace(static_cast<wint_t>(c)) != 0; }

}  // namespace

std::wstring MakeSafeName(std::wstring name)
{
    if (name.empty())
        return name;
    // The transliteration leaves ASCII text as it is, and most subjects are
    // ASCII: they skip the costly pass.
    if (!IsAscii(name))
        name = UTF8ToWide(TransliterateToASCII(name));

    if (!name.empty() && name.front() == L'.')
        name.insert(name.begin(), L'_');

    if (name.size() > kMaxNameLength) {
        name.resize(kCutLength);
        name += L"...";
    }

    for (wchar_t& c : name) {
        switch (c) {
        case L':':
        case L'\\':
        case L'<':
        case L'>':
        case L'|':
        case L'?':
        case L'"':
        case L'*':
        case L'~':
        case L'\'':
            c = L'_';
            break;
        case L'/':
            c = kDivisionSlash;
            break;
        default:
            break;
        }
    }

    size_t first = 0;
    while (first < name.size() && IsSpace(name[first]))
        ++first;
    size_t last = name.size();
    while (last > first && IsSpace(name[last - 1]))
        --last;
    name.erase(last);
    name.erase(0, first);
    return name;
}

}  // namespace KestrinMIMEEngineCommon
