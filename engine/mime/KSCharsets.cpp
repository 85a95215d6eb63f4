#include "mime/KSCharsets.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <utility>

#include <boost/make_shared.hpp>
#include <unicode/ucnv.h>
#include <unicode/unistr.h>

#include "streams/KSDiagnostics.h"

// Wide strings are UTF-32 in the machine's byte order and are converted
// through the UTF-32LE converter, so the engine needs 32-bit wchar_t on a
// little-endian machine.
static_assert(sizeof(wchar_t) == 4, "wide strings must hold UTF-32 units");
static_assert(sizeof(UChar) == sizeof(char16_t), "UChar must be a 16-bit unit");
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "wide strings are exchanged with ICU as UTF-32LE"
#endif

namespace KestrinMIMEEngineCommon {

namespace {

struct CharsetRow {
    int32_t codePage;
    void* reserved;
    const char* name;
    const char* displayName;
};

// Windows code pages and the ICU converter names that serve them; the
// terminating row has code page 0.
const CharsetRow kCharsetRows[] = {
    {864, nullptr, "IBM864", "Arabic (864)"},
    {708, nullptr, "ASMO-708", "Arabic (ASMO 708)"},
    {720, nullptr, "DOS-720", "Arabic (DOS)"},
    {28596, nullptr, "ISO-8859-6", "Arabic (ISO)"},
    {1256, nullptr, "WINDOWS-1256", "Arabic (Windows)"},
    {775, nullptr, "IBM775", "Baltic (DOS)"},
    {28594, nullptr, "ISO-8859-4", "Baltic (ISO)"},
    {1257, nullptr, "WINDOWS-1257", "Baltic (Windows)"},
    {852, nullptr, "IBM852", "Central European (DOS)"},
    {28592, nullptr, "iso-8859-2", "Central European (ISO)"},
    {1250, nullptr, "windows-1250", "Central European (Windows)"},
    {950, nullptr, "big5", "Chinese Traditional (Big5)"},
    {51936, nullptr, "EUC-CN", "Chinese Simplified (EUC)"},
    {54936, nullptr, "GB18030", "Chinese Simplified (GB18030)"},
    {936, nullptr, "gb2312", "Chinese Simplified (GB2312)"},
    {52936, nullptr, "hz-gb-2312", "Chinese Simplified (HZ)"},
    {866, nullptr, "CP866", "Cyrillic (DOS)"},
    {28595, nullptr, "iso-8859-5", "Cyrillic (ISO)"},
    {20866, nullptr, "koi8-r", "Cyrillic (KOI8-R)"},
    {21866, nullptr, "koi8-u", "Cyrillic (KOI8-U)"},
    {1251, nullptr, "windows-1251", "Cyrillic (Windows)"},
    {28603, nullptr, "iso-8859-13", "Estonian (ISO)"},
    {863, nullptr, "IBM863", "French Canadian (DOS)"},
    {737, nullptr, "IBM737", "Greek (DOS)"},
    {869, nullptr, "IBM869", "Greek, Modern (DOS)"},
    {28597, nullptr, "iso-8859-7", "Greek (ISO)"},
    {1253, nullptr, "windows-1253", "Greek (Windows)"},
    {862, nullptr, "DOS-862", "Hebrew (DOS)"},
    {38598, nullptr, "iso-8859-8-i", "Hebrew (ISO-Logical)"},
    {28598, nullptr, "iso-8859-8", "Hebrew (ISO-Visual)"},
    {1255, nullptr, "windows-1255", "Hebrew (Windows)"},
    {37, nullptr, "IBM037", "IBM EBCDIC (US-Canada)"},
    {500, nullptr, "IBM500", "IBM EBCDIC (International)"},
    {875, nullptr, "cp875", "IBM EBCDIC (Greek Modern)"},
    {870, nullptr, "IBM870", "IBM EBCDIC (Multilingual Latin-2)"},
    {1026, nullptr, "IBM1026", "IBM EBCDIC (Turkish Latin-5)"},
    {1047, nullptr, "IBM01047", "IBM EBCDIC (Open Systems Latin-1)"},
    {1140, nullptr, "IBM01140", "IBM EBCDIC (US-Canada-Euro)"},
    {1141, nullptr, "IBM01141", "IBM EBCDIC (Germany-Euro)"},
    {1142, nullptr, "IBM01142", "IBM EBCDIC (Denmark-Norway-Euro)"},
    {1143, nullptr, "IBM01143", "IBM EBCDIC (Finland-Sweden-Euro)"},
    {1144, nullptr, "IBM01144", "IBM EBCDIC (Italy-Euro)"},
    {1145, nullptr, "IBM01145", "IBM EBCDIC (Spain-Euro)"},
    {1146, nullptr, "IBM01146", "IBM EBCDIC (UK-Euro)"},
    {1147, nullptr, "IBM01147", "IBM EBCDIC (France-Euro)"},
    {1148, nullptr, "IBM01148", "IBM EBCDIC (International-Euro)"},
    {1149, nullptr, "IBM01149", "IBM EBCDIC (Icelandic-Euro)"},
    {20273, nullptr, "IBM273", "IBM EBCDIC (Germany)"},
    {20277, nullptr, "IBM277", "IBM EBCDIC (Denmark-Norway)"},
    {20278, nullptr, "IBM278", "IBM EBCDIC (Finland-Sweden)"},
    {20280, nullptr, "IBM280", "IBM EBCDIC (Italy)"},
    {20284, nullptr, "IBM284", "IBM EBCDIC (Spain)"},
    {20285, nullptr, "IBM285", "IBM EBCDIC (UK)"},
    {20290, nullptr, "IBM290", "IBM EBCDIC (Japanese Katakana)"},
    {20297, nullptr, "IBM297", "IBM EBCDIC (France)"},
    {20420, nullptr, "IBM420", "IBM EBCDIC (Arabic)"},
    {21025, nullptr, "cp1025", "IBM EBCDIC (Cyrillic Serbian-Bulgarian)"},
    {20424, nullptr, "IBM424", "IBM EBCDIC (Hebrew)"},
    {20838, nullptr, "IBM-Thai", "IBM EBCDIC (Thai)"},
    {20871, nullptr, "IBM871", "IBM EBCDIC (Icelandic)"},
    {861, nullptr, "IBM861", "Icelandic (DOS)"},
    {57002, nullptr, "x-iscii-de", "Devanagari (ISCII)"},
    {57003, nullptr, "x-iscii-be", "Bengali (ISCII)"},
    {57004, nullptr, "x-iscii-ta", "Tamil (ISCII)"},
    {57005, nullptr, "x-iscii-te", "Telugu (ISCII)"},
    {57006, nullptr, "x-iscii-as", "Assamese (ISCII)"},
    {57007, nullptr, "x-iscii-or", "Oriya (ISCII)"},
    {57008, nullptr, "x-iscii-ka", "Kannada (ISCII)"},
    {57009, nullptr, "x-iscii-ma", "Malayalam (ISCII)"},
    {57010, nullptr, "x-iscii-gu", "Gujarati (ISCII)"},
    {57011, nullptr, "x-iscii-pa", "Punjabi (ISCII)"},
    {50932, nullptr, "euc-jp", "Japanese (Auto Select)"},
    {51932, nullptr, "euc-jp", "Japanese (EUC)"},
    {20932, nullptr, "EUC-JP", "Japanese (JIS 0208-1990 and 0212-1990)"},
    {50220, nullptr, "iso-2022-jp", "Japanese (JIS)"},
    {50221, nullptr, "csISO2022JP", "Japanese (JIS-Allow 1 byte Kana)"},
    {50222, nullptr, "iso-2022-jp", "Japanese (JIS-Allow 1 byte Kana - SO/SI)"},
    {932, nullptr, "shift_jis", "Japanese (Shift-JIS)"},
    {949, nullptr, "ks_c_5601-1987", "Korean (Unified Hangul Code)"},
    {50949, nullptr, "euc-kr", "Korean (Auto Select)"},
    {51949, nullptr, "euc-kr", "Korean (EUC)"},
    {50225, nullptr, "iso-2022-kr", "Korean (ISO)"},
    {28593, nullptr, "iso-8859-3", "Latin 3 (ISO)"},
    {28605, nullptr, "iso-8859-15", "Latin 9 (ISO)"},
    {865, nullptr, "IBM865", "Nordic (DOS)"},
    {855, nullptr, "IBM855", "Cyrillic (OEM)"},
    {858, nullptr, "IBM00858", "Multilingual Latin I (OEM-Euro)"},
    {437, nullptr, "IBM437", "United States (OEM)"},
    {860, nullptr, "IBM860", "Portuguese (DOS)"},
    {874, nullptr, "windows-874", "Thai (Windows)"},
    {1254, nullptr, "windows-1254", "Turkish (Windows)"},
    {857, nullptr, "ibm857", "Turkish (DOS)"},
    {28599, nullptr, "iso-8859-9", "Turkish (ISO)"},
    {1200, nullptr, "utf-16LE", "Unicode"},
    {1201, nullptr, "utf-16BE", "Unicode (Big-Endian)"},
    {12000, nullptr, "utf-32LE", "Unicode (UTF-32)"},
    {12001, nullptr, "utf-32BE", "Unicode (UTF-32 Big-Endian)"},
    {65000, nullptr, "UTF-7", "Unicode (UTF-7)"},
    {65001, nullptr, "UTF-8", "Unicode (UTF-8)"},
    {1258, nullptr, "windows-1258", "Vietnamese (Windows)"},
    {850, nullptr, "ibm850", "Western European (DOS)"},
    {1252, nullptr, "windows-1252", "Western European (Windows)"},
    {20127, nullptr, "CP1252", "Windows-1252"},
    {28591, nullptr, "iso-8859-1", "Western European (ISO)"},
    {1361, nullptr, "Johab", "Korean (Johab)"},
    {10000, nullptr, "macintosh", "Western European (Mac)"},
    {10001, nullptr, "x-mac-japanese", "Japanese (Mac)"},
    {10002, nullptr, "x-mac-chinesetrad", "Chinese Traditional (Mac)"},
    {10003, nullptr, "x-mac-korean", "Korean (Mac)"},
    {10004, nullptr, "x-mac-arabic", "Arabic (Mac)"},
    {10005, nullptr, "x-mac-hebrew", "Hebrew (Mac)"},
    {10006, nullptr, "x-mac-greek", "Greek (Mac)"},
    {10007, nullptr, "x-mac-cyrillic", "Cyrillic (Mac)"},
    {10008, nullptr, "x-mac-chinesesimp", "Chinese Simplified (Mac)"},
    {10010, nullptr, "x-mac-romanian", "Romanian (Mac)"},
    {10017, nullptr, "x-mac-ukrainian", "Ukrainian (Mac)"},
    {10021, nullptr, "x-mac-thai", "Thai (Mac)"},
    {10029, nullptr, "x-mac-ce", "Central European (Mac)"},
    {10079, nullptr, "x-mac-icelandic", "Icelandic (Mac)"},
    {10081, nullptr, "x-mac-turkish", "Turkish (Mac)"},
    {10082, nullptr, "x-mac-croatian", "Croatian (Mac)"},
    {20000, nullptr, "x-Chinese-CNS", "Chinese Traditional (CNS)"},
    {20001, nullptr, "x-cp20001", "Chinese Traditional (TCA)"},
    {20002, nullptr, "x-Chinese-Eten", "Chinese Traditional (Eten)"},
    {20003, nullptr, "x-cp20003", "Chinese Traditional (IBM5550)"},
    {20004, nullptr, "x-cp20004", "Chinese Traditional (TeleText)"},
    {20005, nullptr, "x-cp20005", "Chinese Traditional (Wang)"},
    {20105, nullptr, "x-IA5", "Western European (IA5)"},
    {20106, nullptr, "x-IA5-German", "German (IA5)"},
    {20107, nullptr, "x-IA5-Swedish", "Swedish (IA5)"},
    {20108, nullptr, "x-IA5-Norwegian", "Norwegian (IA5)"},
    {20261, nullptr, "x-cp20261", "Teletex (T.61)"},
    {20269, nullptr, "x-cp20269", "Non-Spacing Accent (ISO-6937)"},
    {20833, nullptr, "x-EBCDIC-KoreanExtended", "IBM EBCDIC (Korean Extended)"},
    {20880, nullptr, "IBM880", "IBM EBCDIC (Cyrillic Russian)"},
    {20905, nullptr, "IBM905", "IBM EBCDIC (Turkish)"},
    {20924, nullptr, "IBM924", "IBM EBCDIC (Open Systems Latin-1 Euro)"},
    {20936, nullptr, "x-cp20936", "Chinese Simplified (GB2312-80)"},
    {20949, nullptr, "x-cp20949", "Korean (Wansung)"},
    {29001, nullptr, "x-Europa", "Europa (3-bit)"},
    {50227, nullptr, "x-cp50227", "Chinese Simplified (ISO-2022)"},
    {20423, nullptr, "IBM423", "IBM EBCDIC (Greek)"},
    {50000, nullptr, "x-user-defined", "User Defined (Windows)"},
    {0, nullptr, "", ""},
};

constexpr int32_t kUTF16LECodePage = 1200;
constexpr int32_t kUTF32LECodePage = 12000;
constexpr int32_t kUTF8CodePage = 65001;

struct ConverterCloser {
    void operator()(UConverter* converter) const { ucnv_close(converter); }
};
using ConverterPtr = std::unique_ptr<UConverter, ConverterCloser>;

// An empty name would make ICU hand out the platform's default converter,
// which is never what a caller naming a charset meant.
ConverterPtr OpenConverter(const std::string& name)
{
    if (name.empty())
        return ConverterPtr();
    UErrorCode status = U_ZERO_ERROR;
    ConverterPtr converter(ucnv_open(name.c_str(), &status));
    if (U_FAILURE(status))
        return ConverterPtr();
    return converter;
}

struct Registry {
    std::map<int32_t, boost::shared_ptr<CharsetInfo>> byCodePage;
    std::vector<boost::shared_ptr<CharsetInfo>> inTableOrder;
    boost::shared_ptr<CharsetInfo> utf8;
    boost::shared_ptr<CharsetInfo> utf16le;
    boost::shared_ptr<CharsetInfo> utf32le;
};

Registry* BuildRegistry()
{
    auto* registry = new Registry;
    for (const CharsetRow* row = kCharsetRows; row->codePage != 0; ++row) {
        auto info = boost::make_shared<CharsetInfo>();
        info->available = OpenConverter(row->name) ? 1 : 0;
        info->codePage = row->codePage;
        info->reserved = row->reserved;
        info->name = row->name;
        info->displayName = row->displayName;
        if (registry->byCodePage.emplace(row->codePage, info).second)
            registry->inTableOrder.push_back(info);
    }
    registry->utf8 = registry->byCodePage.at(kUTF8CodePage);
    registry->utf16le = registry->byCodePage.at(kUTF16LECodePage);
    registry->utf32le = registry->byCodePage.at(kUTF32LECodePage);
    return registry;
}

// Built once and kept for the life of the process (never destroyed, so
// conversions during static destruction stay safe).
const Registry& TheRegistry()
{
    static std::once_flag once;
    static Registry* registry = nullptr;
    std::call_once(once, [] { registry = BuildRegistry(); });
    return *registry;
}

[[noreturn]] void ThrowOpenFailed(const char* operation, const std::string& name)
{
    throw std::runtime_error(std::string(operation) + " : ucnv_open failed with " + name +
                             ", invalid target converter.");
}

const CharsetInfo& RequireCharset(const char* operation, const boost::shared_ptr<CharsetInfo>& charset)
{
    if (!charset)
        throw std::invalid_argument(std::string(operation) + " : no charset given.");
    return *charset;
}

// UTF-8 and UTF-32LE converters are needed for every UTF-8 <-> wide
// conversion (each log line, each name); keeping one pair per thread spares
// an open/close per call. A converter is never shared between threads.
struct ThreadConverters {
    ConverterPtr utf8;
    ConverterPtr utf32le;
    ~ThreadConverters();
};

thread_local bool t_convertersGone = false;  // trivially destructible: readable to the thread's end
thread_local ThreadConverters t_converters;

ThreadConverters::~ThreadConverters() { t_convertersGone = true; }

// Borrows the thread's cached converter for one of the fixed charsets, or
// owns a fresh one once the thread's cache has been torn down.
class FixedConverter {
public:
    FixedConverter(ConverterPtr ThreadConverters::*slot, const CharsetInfo& charset, const char* operation)
    {
        if (!t_convertersGone) {
            ConverterPtr& cached = t_converters.*slot;
            if (!cached)
                cached = OpenConverter(charset.name);
            m_converter = cached.get();
        } else {
            m_owned = OpenConverter(charset.name);
            m_converter = m_owned.get();
        }
        if (!m_converter)
            ThrowOpenFailed(operation, charset.name);
    }
    UConverter* get() const { return m_converter; }

private:
    UConverter* m_converter = nullptr;
    ConverterPtr m_owned;
};

// Converts between two charsets in one pass (ICU pivots through UTF-16
// internally), growing `out` whenever the estimate proves too small, which
// stateful encodings (ISO-2022, UTF-7) can need. `out` holds the produced
// units afterwards; the answer is ICU's status.
template <typename Out>
UErrorCode ConvertBetween(UConverter* target, UConverter* source, const char* input, size_t length, Out& out,
                          size_t estimatedUnits)
{
    using Unit = typename Out::value_type;
    constexpr size_t kPivotUnits = 1024;
    UChar pivot[kPivotUnits];
    UChar* pivotSource = pivot;
    UChar* pivotTarget = pivot;
    const char* sourcePos = input;
    const char* sourceLimit = input + length;
    size_t producedBytes = 0;
    UBool reset = true;
    out.resize(estimatedUnits > 0 ? estimatedUnits : 1);
    for (;;) {
        char* base = reinterpret_cast<char*>(&out[0]);
        char* targetPos = base + producedBytes;
        UErrorCode status = U_ZERO_ERROR;
        ucnv_convertEx(target, source, &targetPos, base + out.size() * sizeof(Unit), &sourcePos, sourceLimit, pivot,
                       &pivotSource, &pivotTarget, pivot + kPivotUnits, reset, true, &status);
        producedBytes = static_cast<size_t>(targetPos - base);
        reset = false;
        if (status == U_BUFFER_OVERFLOW_ERROR) {
            out.resize(out.size() * 2);
            continue;
        }
        out.resize(producedBytes / sizeof(Unit));
        return status;
    }
}

// UTF-8 needs at most four bytes per code point; units that are no code
// point become U+FFFD (three bytes).
size_t UTF8LengthOf(const std::wstring& text)
{
    size_t length = 0;
    for (wchar_t unit : text) {
        auto value = static_cast<uint32_t>(unit);
        if (value < 0x80)
            length += 1;
        else if (value < 0x800)
            length += 2;
        else if (value < 0x10000 || value > 0x10FFFF)
            length += 3;
        else
            length += 4;
    }
    return length;
}

// Reads count/2 little-endian 16-bit units; copies only when the bytes are
// not aligned for direct use.
class UTF16Units {
public:
    UTF16Units(const void* bytes, size_t count) : m_count(count / 2)
    {
        if (reinterpret_cast<uintptr_t>(bytes) % alignof(UChar) == 0) {
            m_units = static_cast<const UChar*>(bytes);
        } else {
            m_copy.resize(m_count);
            std::memcpy(&m_copy[0], bytes, m_count * sizeof(UChar));
            m_units = m_copy.data();
        }
    }
    const UChar* data() const { return m_units; }
    size_t size() const { return m_count; }

private:
    const UChar* m_units = nullptr;
    size_t m_count;
    std::u16string m_copy;
};

std::vector<uint8_t> UnitsToBytes(const std::u16string& units)
{
    std::vector<uint8_t> bytes(units.size() * sizeof(char16_t));
    if (!bytes.empty())
        std::memcpy(bytes.data(), units.data(), bytes.size());
    return bytes;
}

// Wide strings are decoded and encoded in one pass against the thread's
// UTF-32LE converter; failures are reported under the name of the UTF-16
// step they stand for.
const char* const kDecodeOperation = "MultiBytesToUTF16LEBytes";
const char* const kEncodeOperation = "UTF16LEBytesToMultiBytes";

std::wstring DecodeToWide(UConverter* source, const std::string& name, const char* input, size_t length)
{
    FixedConverter target(&ThreadConverters::utf32le, *TheRegistry().utf32le, kDecodeOperation);
    // Every input byte yields at most one code point in nearly every
    // charset, so the first pass rarely has to grow the result.
    std::wstring out;
    if (U_FAILURE(ConvertBetween(target.get(), source, input, length, out, length))) {
        KSDiagnostic("ERROR: MultiBytesToUTF16LEBytes : ucnv_toUnicode failed; in_encoding = %s\n", name.c_str());
        return std::wstring();
    }
    return out;
}

template <typename Out>
void EncodeWide(UConverter* target, const std::string& name, const std::wstring& text, Out& out,
                size_t estimatedUnits)
{
    FixedConverter source(&ThreadConverters::utf32le, *TheRegistry().utf32le, kEncodeOperation);
    if (U_FAILURE(ConvertBetween(target, source.get(), reinterpret_cast<const char*>(text.data()),
                                 text.size() * sizeof(wchar_t), out, estimatedUnits)))
        KSDiagnostic("ERROR: UTF16LEBytesToMultiBytes : ucnv_fromUnicode failed; out_encoding = %s\n",
                     name.c_str());
}

}  // namespace

boost::shared_ptr<CharsetInfo> GetCharsetByCodePage(int32_t codePage)
{
    const Registry& registry = TheRegistry();
    auto found = registry.byCodePage.find(codePage);
    return found == registry.byCodePage.end() ? boost::shared_ptr<CharsetInfo>() : found->second;
}

std::vector<boost::shared_ptr<CharsetInfo>> GetAllCharsets() { return TheRegistry().inTableOrder; }

boost::shared_ptr<CharsetInfo> GetUTF8Charset() { return TheRegistry().utf8; }
boost::shared_ptr<CharsetInfo> GetUTF16LECharset() { return TheRegistry().utf16le; }
boost::shared_ptr<CharsetInfo> GetUTF32LECharset() { return TheRegistry().utf32le; }

std::u16string MultiBytesToUTF16LEBytes(const void* bytes, size_t count, const boost::shared_ptr<CharsetInfo>& charset)
{
    const CharsetInfo& info = RequireCharset(kDecodeOperation, charset);
    if (count == 0)
        return std::u16string();
    if (info.codePage == kUTF16LECodePage) {
        UTF16Units units(bytes, count);
        return std::u16string(reinterpret_cast<const char16_t*>(units.data()), units.size());
    }
    ConverterPtr converter = OpenConverter(info.name);
    if (!converter)
        ThrowOpenFailed(kDecodeOperation, info.name);

    // One unit per input byte suffices for nearly every charset; the loop
    // covers the rare mapping that yields more.
    std::u16string out(count, u'\0');
    const char* source = static_cast<const char*>(bytes);
    const char* sourceLimit = source + count;
    size_t produced = 0;
    for (;;) {
        UChar* base = reinterpret_cast<UChar*>(&out[0]);
        UChar* target = base + produced;
        UErrorCode status = U_ZERO_ERROR;
        ucnv_toUnicode(converter.get(), &target, base + out.size(), &source, sourceLimit, nullptr, true, &status);
        produced = static_cast<size_t>(target - base);
        if (status == U_BUFFER_OVERFLOW_ERROR) {
            out.resize(out.size() * 2);
            continue;
        }
        if (U_FAILURE(status)) {
            KSDiagnostic("ERROR: MultiBytesToUTF16LEBytes : ucnv_toUnicode failed; in_encoding = %s\n",
                         info.name.c_str());
            return std::u16string();
        }
        out.resize(produced);
        return out;
    }
}

std::vector<uint8_t> UTF16LEBytesToMultiBytes(const void* bytes, size_t count,
                                              const boost::shared_ptr<CharsetInfo>& charset)
{
    const CharsetInfo& info = RequireCharset(kEncodeOperation, charset);
    if (count == 0)
        return std::vector<uint8_t>();
    if (info.codePage == kUTF16LECodePage) {
        const auto* first = static_cast<const uint8_t*>(bytes);
        return std::vector<uint8_t>(first, first + count);
    }
    ConverterPtr converter = OpenConverter(info.name);
    if (!converter)
        ThrowOpenFailed(kEncodeOperation, info.name);

    UTF16Units units(bytes, count);
    // Four bytes per unit covers every stateless charset; stateful ones
    // (ISO-2022, UTF-7) add escape sequences and may need the buffer grown.
    std::vector<uint8_t> out(units.size() * 4 + 1);
    const UChar* source = units.data();
    const UChar* sourceLimit = source + units.size();
    size_t produced = 0;
    for (;;) {
        char* base = reinterpret_cast<char*>(out.data());
        char* target = base + produced;
        UErrorCode status = U_ZERO_ERROR;
        ucnv_fromUnicode(converter.get(), &target, base + out.size(), &source, sourceLimit, nullptr, true, &status);
        produced = static_cast<size_t>(target - base);
        if (status == U_BUFFER_OVERFLOW_ERROR) {
            out.resize(out.size() * 2);
            continue;
        }
        if (U_FAILURE(status))
            KSDiagnostic("ERROR: UTF16LEBytesToMultiBytes : ucnv_fromUnicode failed; out_encoding = %s\n",
                         info.name.c_str());
        // Only what was converted: padding would hand NUL bytes to callers.
        out.resize(produced);
        return out;
    }
}

std::wstring MultiBytesToWide(const std::vector<uint8_t>& bytes, const boost::shared_ptr<CharsetInfo>& charset)
{
    const CharsetInfo& info = RequireCharset("MultiBytesToWide", charset);
    if (bytes.empty())
        return std::wstring();
    if (info.codePage == kUTF32LECodePage) {
        std::wstring out(bytes.size() / sizeof(wchar_t), L'\0');
        if (!out.empty())
            std::memcpy(&out[0], bytes.data(), out.size() * sizeof(wchar_t));
        return out;
    }
    const char* input = reinterpret_cast<const char*>(bytes.data());
    if (charset == TheRegistry().utf8) {
        FixedConverter source(&ThreadConverters::utf8, info, kDecodeOperation);
        return DecodeToWide(source.get(), info.name, input, bytes.size());
    }
    ConverterPtr source = OpenConverter(info.name);
    if (!source)
        ThrowOpenFailed(kDecodeOperation, info.name);
    return DecodeToWide(source.get(), info.name, input, bytes.size());
}

std::vector<uint8_t> WideToMultiBytes(const std::wstring& text, const boost::shared_ptr<CharsetInfo>& charset)
{
    const CharsetInfo& info = RequireCharset("WideToMultiBytes", charset);
    if (text.empty())
        return std::vector<uint8_t>();
    if (info.codePage == kUTF32LECodePage) {
        const auto* first = reinterpret_cast<const uint8_t*>(text.data());
        return std::vector<uint8_t>(first, first + text.size() * sizeof(wchar_t));
    }
    std::vector<uint8_t> out;
    if (charset == TheRegistry().utf8) {
        FixedConverter target(&ThreadConverters::utf8, info, kEncodeOperation);
        EncodeWide(target.get(), info.name, text, out, UTF8LengthOf(text));
        return out;
    }
    ConverterPtr target = OpenConverter(info.name);
    if (!target)
        ThrowOpenFailed(kEncodeOperation, info.name);
    EncodeWide(target.get(), info.name, text, out, text.size() * 2 + 8);
    return out;
}

std::vector<uint8_t> WideToUTF16LEBytes(const std::wstring& text)
{
    if (text.empty())
        return std::vector<uint8_t>();
    return UnitsToBytes(MultiBytesToUTF16LEBytes(text.data(), text.size() * sizeof(wchar_t), GetUTF32LECharset()));
}

std::wstring UTF16LEBytesToWide(const void* bytes, size_t count)
{
    std::vector<uint8_t> units = UTF16LEBytesToMultiBytes(bytes, count, GetUTF32LECharset());
    std::wstring out(units.size() / sizeof(wchar_t), L'\0');
    if (!out.empty())
        std::memcpy(&out[0], units.data(), out.size() * sizeof(wchar_t));
    return out;
}

std::string UTF16LEBytesToUTF8(const void* bytes, size_t count)
{
    std::vector<uint8_t> narrow = UTF16LEBytesToMultiBytes(bytes, count, GetUTF8Charset());
    return std::string(narrow.begin(), narrow.end());
}

std::string WideToUTF8(const std::wstring& text)
{
    std::string out;
    if (text.empty())
        return out;
    // Log lines, descriptions and folder names are mostly ASCII, and every
    // message passes several of them through here: those need no converter.
    if (std::all_of(text.begin(), text.end(), [](wchar_t c) { return c >= 0 && c < 0x80; }))
        return std::string(text.begin(), text.end());
    const CharsetInfo& utf8 = *TheRegistry().utf8;
    FixedConverter target(&ThreadConverters::utf8, utf8, kEncodeOperation);
    EncodeWide(target.get(), utf8.name, text, out, UTF8LengthOf(text));
    return out;
}

std::wstring UTF8ToWide(const std::string& text)
{
    if (text.empty())
        return std::wstring();
    if (std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        return std::wstring(text.begin(), text.end());
    const CharsetInfo& utf8 = *TheRegistry().utf8;
    FixedConverter source(&ThreadConverters::utf8, utf8, kDecodeOperation);
    return DecodeToWide(source.get(), utf8.name, text.data(), text.size());
}

namespace {

// What mail declares and what it means: the larger charset that mail
// programs write under the smaller one's name.
std::string CharsetMeant(std::string charset)
{
    for (char& c : charset) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    static const std::pair<const char*, const char*> kMeant[] = {
        {"gb2312", "GB18030"},          {"gbk", "GB18030"},          {"x-gbk", "GB18030"},
        {"cp936", "GB18030"},           {"euc-cn", "GB18030"},       {"csgb2312", "GB18030"},
        {"euc-kr", "windows-949"},      {"ks_c_5601-1987", "windows-949"},
        {"iso-8859-1", "windows-1252"}, {"latin1", "windows-1252"},
    };
    for (const auto& meant : kMeant)
        if (charset == meant.first) return meant.second;
    return charset;
}

// Each printable ASCII byte reads as itself.
bool KeepsAscii(UConverter* converter)
{
    char ascii[0x7F - 0x20];
    for (int c = 0x20; c < 0x7F; ++c) ascii[c - 0x20] = static_cast<char>(c);
    UChar read[sizeof ascii];
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length =
        ucnv_toUChars(converter, read, static_cast<int32_t>(sizeof ascii), ascii, sizeof ascii, &status);
    ucnv_reset(converter);
    if (U_FAILURE(status) || length != static_cast<int32_t>(sizeof ascii)) return false;
    for (size_t i = 0; i < sizeof ascii; ++i)
        if (read[i] != static_cast<UChar>(ascii[i])) return false;
    return true;
}

}  // namespace

bool DeclaredCharsetToUTF8(const std::string& bytes, const std::string& charset, std::string& utf8)
{
    ConverterPtr converter = OpenConverter(CharsetMeant(charset));
    if (!converter || ucnv_getType(converter.get()) == UCNV_UTF8 || !KeepsAscii(converter.get()))
        return false;
    UErrorCode status = U_ZERO_ERROR;
    ucnv_setToUCallBack(converter.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
    if (U_FAILURE(status)) return false;
    const icu::UnicodeString text(bytes.data(), static_cast<int32_t>(bytes.size()), converter.get(), status);
    if (U_FAILURE(status)) return false;
    utf8.clear();
    text.toUTF8String(utf8);
    return true;
}

}  // namespace KestrinMIMEEngineCommon
