#include "mime/MimeServices.h"

#include <unistd.h>

#include <cstdint>
#include <limits>
#include <memory>
#include <mutex>

#include "mime/KSCharsets.h"
#include "streams/KSDiagnostics.h"
#include "streams/Platform.h"
#include "streams/SourceLimits.h"

namespace KestrinMIMEEngineCommon {

namespace {

struct GErrorDeleter {
    void operator()(GError* error) const { g_error_free(error); }
};

// Frees a byte-array wrapper but never the bytes it points at: those belong
// to the caller of ParseMimeMessageFromBuffer.
struct BorrowedByteArrayRelease {
    void operator()(GByteArray* array) const { g_byte_array_free(array, FALSE); }
};

const char kReceivedPrefix[] =
    "Received: (Synthesized by Kestrin MIME Converter Same as Date. "
    "Ignore in case of forensic analysis.); ";

// The parser is released on return; the message keeps what it needs (with a
// persistent parse, substreams of the source stream).
GMimeMessagePtr ParseFromStream(GMimeStream* stream, bool persistStream)
{
    boost::shared_ptr<GMimeParser> parser = AdoptGObject(g_mime_parser_new_with_stream(stream));
    if (!parser) return GMimeMessagePtr();
    if (!persistStream) g_mime_parser_set_persist_stream(parser.get(), FALSE);
    return AdoptGObject(
        g_mime_parser_construct_message(parser.get(), g_mime_parser_options_get_default()));
}

}  // namespace

void InitializeMimeEngine()
{
    static std::once_flag once;
    std::call_once(once, []() {
        g_mime_init();
        GMimeParserOptions* options = g_mime_parser_options_get_default();
        g_mime_parser_options_set_address_compliance_mode(options, GMIME_RFC_COMPLIANCE_LOOSE);
        g_mime_parser_options_set_rfc2047_compliance_mode(options, GMIME_RFC_COMPLIANCE_LOOSE);
        g_mime_parser_options_set_parameter_compliance_mode(options, GMIME_RFC_COMPLIANCE_LOOSE);
        g_mime_parser_options_set_allow_addresses_without_domain(options, TRUE);
    });
}

GMimeMessagePtr ParseMimeMessageFromBuffer(const uint8_t* bytes, size_t length)
{
    InitializeMimeEngine();
    if (!bytes && length != 0) return GMimeMessagePtr();
    if (length > std::numeric_limits<guint>::max()) {
        KSDiagnostic("ERROR: Message buffer of %llu bytes is too large to parse\n",
                     static_cast<unsigned long long>(length));
        return GMimeMessagePtr();
    }
    // The memory stream reads the caller's bytes in place through a borrowed
    // wrapper. The parse is not persistent, so the message copies its part
    // contents and holds no reference to the memory stream (whose substreams
    // would otherwise point at the wrapper and the caller's bytes after we
    // return).
    std::unique_ptr<GByteArray, BorrowedByteArrayRelease> array(
        g_byte_array_new_take(const_cast<guint8*>(bytes), length));
    if (!array) return GMimeMessagePtr();
    GMimeStreamPtr stream = AdoptGObject(g_mime_stream_mem_new());
    if (!stream) return GMimeMessagePtr();
    GMimeStreamMem* memory = GMIME_STREAM_MEM(stream.get());
    g_mime_stream_mem_set_byte_array(memory, array.get());
    g_mime_stream_mem_set_owner(memory, FALSE);
    return ParseFromStream(stream.get(), false);
}

GMimeStreamPtr OpenMimeFileStream(const std::string& path)
{
    InitializeMimeEngine();
    int error = 0;
    int64_t size = 0;
    const int fd = Platform::OpenRegularFileForReading(path, error, &size);
    if (fd < 0) {
        KSDiagnostic("ERROR: Cannot open message file %s - %s\n", path.c_str(),
                     Platform::ErrorText(error).c_str());
        return GMimeStreamPtr();
    }
    if (size > kMaxMessageFileBytes) {
        ::close(fd);
        KSDiagnostic("ERROR: Cannot open message file %s - larger than the 2 GiB limit\n",
                     path.c_str());
        return GMimeStreamPtr();
    }
    // The stream owns the descriptor from here on.
    GMimeStreamPtr stream = AdoptGObject(g_mime_stream_fs_new(fd));
    if (!stream) ::close(fd);
    return stream;
}

GMimeMessagePtr ParseMimeMessageFromFile(const std::string& path, int64_t offset, int64_t length)
{
    GMimeStreamPtr stream = OpenMimeFileStream(path);
    if (!stream) return GMimeMessagePtr();
    if (offset < 0) offset = 0;
    // A count beyond what the file can hold (a damaged count line) reads to
    // the end of the file; offset + length must not overflow.
    const bool toTheEnd = length < 0 || length > INT64_MAX - offset;
    g_mime_stream_set_bounds(stream.get(), offset, toTheEnd ? -1 : offset + length);
    return ParseFromStream(stream.get(), true);
}

std::string Base64Encode(const void* bytes, size_t length)
{
    static const char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    const auto* in = static_cast<const uint8_t*>(bytes);
    std::string out;
    out.reserve((length + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 3 <= length; i += 3) {
        uint32_t group = (uint32_t(in[i]) << 16) | (uint32_t(in[i + 1]) << 8) | in[i + 2];
        out += kAlphabet[(group >> 18) & 0x3F];
        out += kAlphabet[(group >> 12) & 0x3F];
        out += kAlphabet[(group >> 6) & 0x3F];
        out += kAlphabet[group & 0x3F];
    }
    size_t rest = length - i;
    if (rest > 0) {
        uint32_t group = uint32_t(in[i]) << 16;
        if (rest == 2) group |= uint32_t(in[i + 1]) << 8;
        out += kAlphabet[(group >> 18) & 0x3F];
        out += kAlphabet[(group >> 12) & 0x3F];
        out += rest == 2 ? kAlphabet[(group >> 6) & 0x3F] : '=';
        out += '=';
    }
    return out;
}

namespace {

void AppendEncodedWord(const std::string& utf8, std::string& out)
{
    out += "=?utf-8?B?";
    out += Base64Encode(utf8.data(), utf8.size());
    out += "?=";
}

}  // namespace

bool EncodeHeaderWord(const std::wstring& value, bool quoteIfPlain, std::string& out)
{
    // An empty value adds nothing (what the caller already built stays).
    if (value.empty()) return true;
    std::string utf8 = WideToUTF8(value);
    if (utf8.size() > value.size()) {
        AppendEncodedWord(utf8, out);
        return false;
    }
    if (quoteIfPlain) out += '"';
    out += utf8;
    if (quoteIfPlain) out += '"';
    return true;
}

bool EncodeHeaderText(std::string& text)
{
    for (unsigned char c : text) {
        if (c >= 0x80 || c == '\r' || c == '\n') {
            std::string encoded;
            AppendEncodedWord(text, encoded);
            text.swap(encoded);
            return false;
        }
    }
    return true;
}

void FormatMailbox(const std::wstring& displayName, const std::wstring& address,
                   const std::wstring& addressType, const std::wstring& alternateAddress,
                   const std::wstring& fallbackAddress, std::string& out)
{
    if (!displayName.empty()) EncodeHeaderWord(displayName, true, out);

    const std::wstring* chosen = nullptr;
    if (!address.empty() && (addressType.empty() || addressType == L"SMTP")) {
        chosen = &address;
    } else if (!alternateAddress.empty()) {
        chosen = &alternateAddress;
    } else {
        size_t at = fallbackAddress.find(L'@');
        if (at != std::wstring::npos && fallbackAddress.find(L'.', at + 1) != std::wstring::npos)
            chosen = &fallbackAddress;
    }
    if (!chosen) return;

    if (displayName.empty()) EncodeHeaderWord(*chosen, true, out);
    out += " <";
    EncodeHeaderWord(*chosen, false, out);
    out += '>';
}

void AppendSynthesizedReceivedForDate(int64_t seconds, std::string& out)
{
    out += kReceivedPrefix;
    out += FormatRFC822Date(seconds);
    out += '\n';
}

void AppendSynthesizedReceived(GMimeMessage* message, std::string& out)
{
    if (!message) return;
    GMimeHeaderList* headers = g_mime_object_get_header_list(GMIME_OBJECT(message));
    if (!headers) return;
    int count = g_mime_header_list_get_count(headers);
    for (int i = 0; i < count; ++i) {
        const char* name = g_mime_header_get_name(g_mime_header_list_get_header_at(headers, i));
        if (!name) continue;
        if (g_ascii_strcasecmp(name, "Received-SPF") == 0) {
            GDateTime* date = g_mime_message_get_date(message);
            if (date) AppendSynthesizedReceivedForDate(g_date_time_to_unix(date), out);
            return;
        }
        if (g_ascii_strcasecmp(name, "Received") == 0) return;
    }
}

void AppendSynthesizedReceivedFromBuffer(const uint8_t* bytes, size_t length, std::string& out)
{
    GMimeMessagePtr message = ParseMimeMessageFromBuffer(bytes, length);
    if (message) AppendSynthesizedReceived(message.get(), out);
}

std::string DecodeUnstructuredHeader(const std::string& rawValue, const CharsetLookup& declaredCharset)
{
    const std::string* text = &rawValue;
    std::string utf8;
    if (!g_utf8_validate(rawValue.data(), static_cast<gssize>(rawValue.size()), nullptr) && declaredCharset) {
        const std::string charset = declaredCharset();
        if (!charset.empty() && DeclaredCharsetToUTF8(rawValue, charset, utf8)) text = &utf8;
    }
    GCharPtr unfolded(g_mime_utils_header_unfold(text->c_str()));
    if (!unfolded) return std::string();
    GCharPtr decoded(g_mime_utils_header_decode_text(g_mime_parser_options_get_default(), unfolded.get()));
    return decoded ? std::string(decoded.get()) : std::string();
}

namespace {

// Attached messages are left out: their text is another message's.
std::string FirstTextCharset(GMimeObject* part, int depth)
{
    constexpr int kDeepest = 16;
    if (!part || depth > kDeepest) return std::string();
    if (GMIME_IS_MULTIPART(part)) {
        GMimeMultipart* multipart = GMIME_MULTIPART(part);
        for (int i = 0; i < g_mime_multipart_get_count(multipart); ++i) {
            std::string charset = FirstTextCharset(g_mime_multipart_get_part(multipart, i), depth + 1);
            if (!charset.empty()) return charset;
        }
        return std::string();
    }
    GMimeContentType* type = g_mime_object_get_content_type(part);
    if (!type || !g_mime_content_type_is_type(type, "text", "*")) return std::string();
    const char* charset = g_mime_content_type_get_parameter(type, "charset");
    return charset ? charset : std::string();
}

}  // namespace

std::string DeclaredCharset(GMimeMessage* message)
{
    GMimeObject* body = message ? g_mime_message_get_mime_part(message) : nullptr;
    if (!body) return std::string();
    if (GMimeContentType* type = g_mime_object_get_content_type(body)) {
        const char* charset = g_mime_content_type_get_parameter(type, "charset");
        if (charset && *charset) return charset;
    }
    return FirstTextCharset(body, 0);
}

MessageSummary SummarizeMessage(GMimeMessage* message, const CharsetLookup& declaredCharset)
{
    MessageSummary summary;
    if (!message) return summary;

    // Some GMime releases answer an empty list rather than none for a
    // missing From.
    InternetAddressList* addresses = g_mime_message_get_from(message);
    if (!addresses || internet_address_list_length(addresses) == 0)
        addresses = g_mime_message_get_sender(message);
    if (addresses && internet_address_list_length(addresses) > 0) {
        GCharPtr text(internet_address_list_to_string(addresses,
                                                      g_mime_format_options_get_default(), FALSE));
        if (text) summary.from = UTF8ToWide(text.get());
    }

    if (GDateTime* date = g_mime_message_get_date(message)) {
        summary.date = g_date_time_to_unix(date);
        summary.hasDate = true;
    }
    // GMime guesses the charset of a raw 8-bit subject; the one the message
    // declares comes first. The message keeps its last Subject field.
    GMimeHeaderList* headers = g_mime_object_get_header_list(GMIME_OBJECT(message));
    GMimeHeader* subjectField = nullptr;
    for (int i = 0, count = headers ? g_mime_header_list_get_count(headers) : 0; i < count; ++i) {
        GMimeHeader* header = g_mime_header_list_get_header_at(headers, i);
        const char* name = g_mime_header_get_name(header);
        if (name && g_ascii_strcasecmp(name, "Subject") == 0) subjectField = header;
    }
    const char* rawSubject = subjectField ? g_mime_header_get_raw_value(subjectField) : nullptr;
    if (rawSubject && !g_utf8_validate(rawSubject, -1, nullptr)) {
        summary.subject = UTF8ToWide(DecodeUnstructuredHeader(
            rawSubject,
            declaredCharset ? declaredCharset : CharsetLookup([message] { return DeclaredCharset(message); })));
    } else if (const char* subject = g_mime_message_get_subject(message)) {
        summary.subject = UTF8ToWide(subject);
    }
    if (const char* id = g_mime_message_get_message_id(message)) summary.messageId = id;
    return summary;
}

}  // namespace KestrinMIMEEngineCommon
