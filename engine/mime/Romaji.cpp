#include "mime/Romaji.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// A C header without C++ guards.
extern "C" {
#include <libkakasi.h>
}
#include <unicode/normalizer2.h>
#include <unicode/translit.h>
#include <unicode/ucnv.h>
#include <unicode/uniset.h>
#include <unicode/uscript.h>

namespace KestrinMIMEEngineCommon {

namespace {

// KAKASI keeps fixed buffers and reads a word at a time; it gets the text in
// short pieces.
constexpr int32_t kPieceCharacters = 64;
// Far more letters than any name keeps, so the text past them can be left.
constexpr int32_t kMostLetters = 1024;

struct ConverterCloser {
    void operator()(UConverter* converter) const { ucnv_close(converter); }
};
using ConverterPtr = std::unique_ptr<UConverter, ConverterCloser>;

ConverterPtr OpenConverter(const char* name)
{
    UErrorCode status = U_ZERO_ERROR;
    ConverterPtr converter(ucnv_open(name, &status));
    if (U_FAILURE(status)) return ConverterPtr();
    return converter;
}

UScriptCode ScriptOf(UChar32 c)
{
    UErrorCode status = U_ZERO_ERROR;
    const UScriptCode script = uscript_getScript(c, &status);
    return U_SUCCESS(status) ? script : USCRIPT_INVALID_CODE;
}

bool IsKana(UChar32 c)
{
    const UScriptCode script = ScriptOf(c);
    return script == USCRIPT_HIRAGANA || script == USCRIPT_KATAKANA;
}

// Kana, kanji, and the marks and punctuation written with them.
bool IsJapanese(UChar32 c)
{
    // CJK symbols and punctuation: 、 。 「 」 the ideographic space, 々 〆 〇.
    if (c >= 0x3000 && c <= 0x303F) return true;
    switch (c) {
    case 0x309B:  // voiced and semi-voiced sound marks
    case 0x309C:
    case 0x30FB:  // katakana middle dot
    case 0x30FC:  // long vowel mark, and its half-width form
    case 0xFF70:
    case 0xFF9E:  // half-width sound marks
    case 0xFF9F:
        return true;
    default:
        break;
    }
    const UScriptCode script = ScriptOf(c);
    return script == USCRIPT_HIRAGANA || script == USCRIPT_KATAKANA || script == USCRIPT_HAN;
}

bool IsVowel(UChar c)
{
    static const char16_t kVowels[] = u"aeiouAEIOU";
    return c != 0 && std::char_traits<char16_t>::find(kVowels, 10, c) != nullptr;
}

// KAKASI writes the long vowel mark as "^" after the vowel it lengthens
// ("me^ru"), and parts an n from a following vowel with an apostrophe
// ("shin'ichi"): names get the doubled vowel ("meeru") and no apostrophe.
icu::UnicodeString Tidied(const icu::UnicodeString& romaji)
{
    icu::UnicodeString tidy;
    for (int32_t i = 0; i < romaji.length(); ++i) {
        const UChar c = romaji.charAt(i);
        if (c == u'^') {
            const UChar last = tidy.isEmpty() ? u'\0' : tidy.charAt(tidy.length() - 1);
            if (IsVowel(last)) tidy.append(last);
        } else if (c != u'\'') {
            tidy.append(c);
        }
    }
    return tidy;
}

// KAKASI's dictionary file as KAKASI itself finds it: the path variable,
// else the file variable, else where the package put it.
const char* DictionaryPath(const char* pathVariable, const char* fileVariable, const char* packaged)
{
    if (const char* path = std::getenv(pathVariable)) return path;
    if (const char* file = std::getenv(fileVariable)) return file;
    return packaged;
}

bool IsReadableFile(const char* path)
{
    struct stat status;
    return path && ::stat(path, &status) == 0 && S_ISREG(status.st_mode) && ::access(path, R_OK) == 0;
}

class Romanizer {
public:
    Romanizer()
    {
        m_eucJP = OpenConverter("EUC-JP");
        ConverterPtr jis = OpenConverter("ISO-2022-JP");
        if (m_eucJP && jis) {
            UErrorCode status = U_ZERO_ERROR;
            ucnv_getUnicodeSet(jis.get(), m_readable.toUSet(), UCNV_ROUNDTRIP_SET, &status);
            m_readable.freeze();
            m_kakasi = U_SUCCESS(status) && StartKakasi();
        }
        if (!m_kakasi) {
            UErrorCode status = U_ZERO_ERROR;
            UParseError where;
            m_kana.reset(icu::Transliterator::createFromRules(
                "KestrinKanaLatin",
                u"::Hiragana-Latin; ::Katakana-Latin; ā > aa; ē > ee; ī > ii; ō > oo; ū > uu;",
                UTRANS_FORWARD, where, status));
            if (U_FAILURE(status)) m_kana.reset();
        }
    }

    // One run of Japanese text, normalised (NFKC).
    icu::UnicodeString Romanize(const icu::UnicodeString& run)
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        if (!m_kakasi) {
            icu::UnicodeString text(run);
            if (m_kana) m_kana->transliterate(text);
            return Tidied(text);
        }
        icu::UnicodeString romaji;
        icu::UnicodeString piece;
        const auto flush = [&] {
            if (piece.isEmpty()) return;
            romaji += Kakasi(piece);
            piece.remove();
        };
        for (int32_t i = 0; i < run.length();) {
            const UChar32 c = run.char32At(i);
            i += U16_LENGTH(c);
            if (!m_readable.contains(c)) {
                // A kanji outside JIS X 0208 stays for the caller's
                // transliteration.
                flush();
                romaji.append(c);
                continue;
            }
            piece.append(c);
            if (piece.length() >= kPieceCharacters) flush();
        }
        flush();
        return Tidied(romaji);
    }

private:
    // KAKASI ends the process when it cannot open its kanji dictionary, so
    // it is only started when the dictionaries are there to be read.
    static bool StartKakasi()
    {
        if (!IsReadableFile(DictionaryPath("KANWADICTPATH", "KANWADICT", KESTRIN_KAKASI_KANWADICT)) ||
            !IsReadableFile(DictionaryPath("ITAIJIDICTPATH", "ITAIJIDICT", KESTRIN_KAKASI_ITAIJIDICT)))
            return false;
        // Kanji, hiragana, katakana and symbols to ASCII, words parted by
        // blanks, EUC-JP in and out.
        static char program[] = "kakasi", kanji[] = "-Ja", hiragana[] = "-Ha", katakana[] = "-Ka",
                    symbols[] = "-Ea", separate[] = "-s", input[] = "-ieuc", output[] = "-oeuc";
        char* arguments[] = {program, kanji, hiragana, katakana, symbols, separate, input, output, nullptr};
        return kakasi_getopt_argv(8, arguments) == 0;
    }

    icu::UnicodeString Kakasi(const icu::UnicodeString& piece)
    {
        UErrorCode status = U_ZERO_ERROR;
        ucnv_resetFromUnicode(m_eucJP.get());
        std::vector<char> bytes(static_cast<size_t>(piece.length()) * 4 + 1, '\0');
        const int32_t length =
            piece.extract(bytes.data(), static_cast<int32_t>(bytes.size()) - 1, m_eucJP.get(), status);
        if (U_FAILURE(status) || length <= 0) return piece;
        bytes[static_cast<size_t>(length)] = '\0';
        char* romaji = kakasi_do(bytes.data());
        if (!romaji) return piece;
        ucnv_resetToUnicode(m_eucJP.get());
        status = U_ZERO_ERROR;
        icu::UnicodeString text(romaji, static_cast<int32_t>(std::char_traits<char>::length(romaji)),
                                m_eucJP.get(), status);
        kakasi_free(romaji);
        return U_SUCCESS(status) ? text : piece;
    }

    // KAKASI keeps its state in globals: one caller at a time.
    std::mutex m_mutex;
    bool m_kakasi = false;
    ConverterPtr m_eucJP;
    // What KAKASI reads: the characters of JIS X 0208.
    icu::UnicodeSet m_readable;
    // Without KAKASI: ICU's kana rules, long vowels doubled.
    std::unique_ptr<icu::Transliterator> m_kana;
};

// Made on first use and kept to the end of the process, as KAKASI's own
// state is.
Romanizer& TheRomanizer()
{
    static Romanizer* romanizer = new Romanizer;
    return *romanizer;
}

}  // namespace

bool HoldsKana(const icu::UnicodeString& text)
{
    for (int32_t i = 0; i < text.length();) {
        const UChar32 c = text.char32At(i);
        if (c >= 0x3040 && IsKana(c)) return true;
        i += U16_LENGTH(c);
    }
    return false;
}

icu::UnicodeString RomanizeJapanese(const icu::UnicodeString& text)
{
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfkc = icu::Normalizer2::getNFKCInstance(status);
    Romanizer& romanizer = TheRomanizer();
    icu::UnicodeString result;
    for (int32_t i = 0; i < text.length() && result.length() < kMostLetters;) {
        const UChar32 c = text.char32At(i);
        if (!IsJapanese(c)) {
            result.append(c);
            i += U16_LENGTH(c);
            continue;
        }
        int32_t end = i;
        while (end < text.length() && IsJapanese(text.char32At(end))) end += U16_LENGTH(text.char32At(end));
        // Half-width kana become the full-width ones KAKASI reads.
        icu::UnicodeString run(text, i, end - i);
        if (nfkc) {
            UErrorCode normalised = U_ZERO_ERROR;
            icu::UnicodeString full = nfkc->normalize(run, normalised);
            if (U_SUCCESS(normalised)) run = full;
        }
        result += romanizer.Romanize(run);
        i = end;
    }
    return result;
}

}  // namespace KestrinMIMEEngineCommon
