#include "mime/MakeSafeName.h"

#include <cctype>
#include <cstdint>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>

#include <unicode/brkiter.h>
#include <unicode/normalizer2.h>
#include <unicode/translit.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include "mime/KSCharsets.h"
#include "mime/Romaji.h"

namespace KestrinMIMEEngineCommon {

namespace {

const char* const kTransliteratorId =
    "Any-Latin; Latin-ASCII; NFD; [:Nonspacing Mark:] Remove; NFC; [:^Ascii:] Remove;";

// Bytes of UTF-8: short enough for the deepest trees to stay within the
// path limits of other systems, long enough to tell names apart.
constexpr size_t kMaxNameBytes = 128;
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

icu::UnicodeString ToUnicodeString(const std::wstring& name)
{
    return icu::UnicodeString::fromUTF32(reinterpret_cast<const UChar32*>(name.data()),
                                         static_cast<int32_t>(name.size()));
}

std::wstring FromUnicodeString(const icu::UnicodeString& text)
{
    std::string utf8;
    text.toUTF8String(utf8);
    return UTF8ToWide(utf8);
}

std::wstring TransliterateToASCII(const std::wstring& name)
{
    icu::UnicodeString text = ToUnicodeString(name);
    // Japanese shares its kanji with Chinese: the kana tell it apart, and
    // then the kanji take their Japanese readings rather than pinyin.
    if (HoldsKana(text)) text = RomanizeJapanese(text);
    SharedTransliterator& shared = TheTransliterator();
    {
        std::lock_guard<std::mutex> guard(shared.mutex);
        shared.instance->transliterate(text);
    }
    return FromUnicodeString(text);
}

bool IsAscii(const std::wstring& name)
{
    for (wchar_t c : name)
        if (static_cast<uint32_t>(c) >= 0x80) return false;
    return true;
}

// The text as it is, composed (NFC), without what UTF-8 cannot carry (lone
// surrogates, values past U+10FFFF).
std::wstring Composed(const std::wstring& name)
{
    std::wstring valid;
    valid.reserve(name.size());
    for (wchar_t c : name) {
        const uint32_t u = static_cast<uint32_t>(c);
        if (u <= 0x10FFFF && (u < 0xD800 || u > 0xDFFF)) valid.push_back(c);
    }
    if (IsAscii(valid)) return valid;
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status)) return valid;
    const icu::UnicodeString composed = nfc->normalize(ToUnicodeString(valid), status);
    return U_SUCCESS(status) ? FromUnicodeString(composed) : valid;
}

bool IsSpace(wchar_t c) { return u_isUWhiteSpace(static_cast<UChar32>(c)) != 0; }

// Control characters, and the line separators and direction overrides that
// would make a listing of names lie about them.
bool IsControl(wchar_t c)
{
    const uint32_t u = static_cast<uint32_t>(c);
    return u < 0x20 || (u >= 0x7F && u <= 0x9F) || u == 0x2028 || u == 0x2029 ||
           (u >= 0x202A && u <= 0x202E) || (u >= 0x2066 && u <= 0x2069);
}

void Replace(std::wstring& name)
{
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
            if (IsControl(c)) c = L'_';
            break;
        }
    }
}

void TrimLeadingSpace(std::wstring& name)
{
    size_t first = 0;
    while (first < name.size() && IsSpace(name[first]))
        ++first;
    name.erase(0, first);
}

void TrimTrailingSpace(std::wstring& name)
{
    while (!name.empty() && IsSpace(name.back()))
        name.pop_back();
}

// Windows refuses these names whatever follows a dot or blanks ("aux.txt",
// "con .").
bool IsDeviceName(const std::wstring& name)
{
    std::wstring stem = name.substr(0, name.find(L'.'));
    TrimTrailingSpace(stem);
    std::string upper;
    for (wchar_t c : stem) {
        if (static_cast<uint32_t>(c) >= 0x80) return false;
        upper.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
    }
    if (upper == "CON" || upper == "PRN" || upper == "AUX" || upper == "NUL") return true;
    return upper.size() == 4 && (upper.compare(0, 3, "COM") == 0 || upper.compare(0, 3, "LPT") == 0) &&
           upper[3] >= '1' && upper[3] <= '9';
}

// The longest start of the name within limit bytes of UTF-8 that ends
// between two characters as a reader sees them (an accent stays with its
// letter, a flag is not halved); between two code points when even the
// first character is longer than the limit.
void CutToBytes(std::wstring& name, size_t limit)
{
    size_t bytes = 0;
    size_t keep = 0;
    while (keep < name.size() && bytes + UTF8Length(name[keep]) <= limit)
        bytes += UTF8Length(name[keep++]);
    if (keep == name.size()) return;

    thread_local std::unique_ptr<icu::BreakIterator> characters;
    UErrorCode status = U_ZERO_ERROR;
    if (!characters)
        characters.reset(icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    if (U_SUCCESS(status) && characters) {
        // Whether a break falls before a character depends on what comes
        // before it and on that character alone.
        const icu::UnicodeString text = ToUnicodeString(name.substr(0, keep + 1));
        characters->setText(text);
        const int32_t at = text.moveIndex32(0, static_cast<int32_t>(keep));
        const int32_t boundary = characters->isBoundary(at) ? at : characters->preceding(at);
        if (boundary > 0) keep = static_cast<size_t>(text.countChar32(0, boundary));
    }
    name.resize(keep);
}

}  // namespace

const wchar_t kNamelessSafeName[] = L"Untitled";

const char* ToString(NameStyle style)
{
    switch (style) {
    case NameStyle::Ascii:
        return "ascii";
    case NameStyle::Unicode:
        return "unicode";
    }
    return "ascii";
}

boost::optional<NameStyle> NameStyleFromString(const std::string& text)
{
    for (NameStyle style : {NameStyle::Ascii, NameStyle::Unicode})
        if (text == ToString(style)) return style;
    return boost::none;
}

std::wstring MakeSafeName(std::wstring name) { return MakeSafeName(std::move(name), kNamelessSafeName); }

std::wstring MakeSafeName(std::wstring name, const std::wstring& whenNothingLeft, NameStyle style)
{
    // Most subjects are ASCII: they skip the costly passes.
    if (!IsAscii(name))
        name = style == NameStyle::Ascii ? TransliterateToASCII(name) : Composed(name);

    TrimLeadingSpace(name);
    TrimTrailingSpace(name);
    if (name.empty())
        return whenNothingLeft;
    Replace(name);
    // Neither the folder itself nor its parent, nor a hidden name.
    if (name.front() == L'.')
        name.insert(name.begin(), L'_');
    if (IsDeviceName(name))
        name.insert(name.begin(), L'_');
    CutToBytes(name, kMaxNameBytes);
    // What FAT, exFAT and Windows drop from a name's end, dropped here, so
    // that two names that would meet there are told apart already.
    while (!name.empty() && (name.back() == L'.' || IsSpace(name.back())))
        name.pop_back();
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
