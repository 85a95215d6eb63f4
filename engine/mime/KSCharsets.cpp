#include "mime/KSCharsets.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <stdexcept>
#include <utility>

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

constexpr const char kUTF8Name[] = "UTF-8";
constexpr const char kUTF32LEName[] = "utf-32LE";

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

[[noreturn]] void ThrowOpenFailed(const char* operation, const std::string& name)
{
    throw std::runtime_error(std::string(operation) + " : ucnv_open failed with " + name +
                             ", invalid target converter.");
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
    FixedConverter(ConverterPtr ThreadConverters::*slot, const char* name, const char* operation)
    {
        if (!t_convertersGone) {
            ConverterPtr& cached = t_converters.*slot;
            if (!cached)
                cached = OpenConverter(name);
            m_converter = cached.get();
        } else {
            m_owned = OpenConverter(name);
            m_converter = m_owned.get();
        }
        if (!m_converter)
            ThrowOpenFailed(operation, name);
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

// Wide strings are decoded and encoded in one pass against the thread's
// UTF-32LE converter; failures are reported under the name of the UTF-16
// step they stand for.
const char* const kDecodeOperation = "MultiBytesToUTF16LEBytes";
const char* const kEncodeOperation = "UTF16LEBytesToMultiBytes";

std::wstring DecodeToWide(UConverter* source, const std::string& name, const char* input, size_t length)
{
    FixedConverter target(&ThreadConverters::utf32le, kUTF32LEName, kDecodeOperation);
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
    FixedConverter source(&ThreadConverters::utf32le, kUTF32LEName, kEncodeOperation);
    if (U_FAILURE(ConvertBetween(target, source.get(), reinterpret_cast<const char*>(text.data()),
                                 text.size() * sizeof(wchar_t), out, estimatedUnits)))
        KSDiagnostic("ERROR: UTF16LEBytesToMultiBytes : ucnv_fromUnicode failed; out_encoding = %s\n",
                     name.c_str());
}

}  // namespace

std::string WideToUTF8(const std::wstring& text)
{
    std::string out;
    if (text.empty())
        return out;
    // Log lines, descriptions and folder names are mostly ASCII, and every
    // message passes several of them through here: those need no converter.
    if (std::all_of(text.begin(), text.end(), [](wchar_t c) { return c >= 0 && c < 0x80; }))
        return std::string(text.begin(), text.end());
    FixedConverter target(&ThreadConverters::utf8, kUTF8Name, kEncodeOperation);
    EncodeWide(target.get(), kUTF8Name, text, out, UTF8LengthOf(text));
    return out;
}

std::wstring UTF8ToWide(const std::string& text)
{
    if (text.empty())
        return std::wstring();
    if (std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        return std::wstring(text.begin(), text.end());
    FixedConverter source(&ThreadConverters::utf8, kUTF8Name, kDecodeOperation);
    return DecodeToWide(source.get(), kUTF8Name, text.data(), text.size());
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
