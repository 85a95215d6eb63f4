#include "mime/MakeSafeName.h"

#include <cstdint>
#include <cwctype>
#include <mutex>
#include <stdexcept>
#include <string>

#include <unicode/normalizer2.h>
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

bool IsControl(wchar_t c) { return static_cast<uint32_t>(c) < 0x20 || c == 0x7F; }

void TrimSpace(std::wstring& name)
{
    size_t first = 0;
    while (first < name.size() && IsSpace(name[first]))
        ++first;
    size_t last = name.size();
    while (last > first && IsSpace(name[last - 1]))
        --last;
    name.erase(last);
    name.erase(0, first);
}

std::wstring FromUnicodeString(const icu::UnicodeString& text)
{
    std::string utf8;
    text.toUTF8String(utf8);
    return UTF8ToWide(utf8);
}

}  // namespace

const wchar_t kNamelessSafeName[] = L"Untitled";

std::wstring MakeSafeName(std::wstring name) { return MakeSafeName(std::move(name), kNamelessSafeName); }

std::wstring MakeSafeName(std::wstring name, const std::wstring& whenNothingLeft)
{
    if (name.empty())
        return whenNothingLeft;
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

    TrimSpace(name);

    // What the trimming uncovered is checked again: blanks before a dot
    // ("  ..") would otherwise let the dot lead and name the parent folder,
    // and a control character left inside (a folded header line, an escape
    // sequence) has no place in a file name.
    for (wchar_t& c : name)
        if (IsControl(c)) c = L'_';
    if (!name.empty() && name.front() == L'.')
        name.insert(name.begin(), L'_');
    if (name.empty())
        return whenNothingLeft;
    return name;
}

std::wstring FileSystemNameKey(const std::wstring& name)
{
    icu::UnicodeString text =
        icu::UnicodeString::fromUTF32(reinterpret_cast<const UChar32*>(name.data()), static_cast<int32_t>(name.size()));
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
    if (U_SUCCESS(status)) {
        icu::UnicodeString composed = nfc->normalize(text, status);
        if (U_SUCCESS(status)) text = composed;
    }
    text.foldCase();
    return FromUnicodeString(text);
}

}  // namespace KestrinMIMEEngineCommon
