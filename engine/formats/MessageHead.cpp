#include "formats/MessageHead.h"

#include <cstring>
#include <memory>
#include <unordered_map>
#include <vector>

#include "formats/MboxWriter.h"
#include "mime/KSCharsets.h"

namespace KestrinMIMEEngineCommon {

MessageHead HeadOfMessage(GMimeMessage* message, const CharsetLookup& declaredCharset)
{
    MessageHead head;
    if (message) {
        head.summary = SummarizeMessage(message, declaredCharset);
        AppendSynthesizedReceived(message, head.receivedLine);
    }
    head.separatorLine = MboxSeparatorLine(message);
    return head;
}

size_t HeaderBlockLength(const uint8_t* bytes, size_t length)
{
    if (!bytes) return 0;
    const uint8_t* const end = bytes + length;
    const uint8_t* line = bytes;
    while (line < end) {
        // An empty line: LF alone, or CR LF.
        if (*line == '\n') return static_cast<size_t>(line + 1 - bytes);
        if (*line == '\r' && line + 1 < end && line[1] == '\n')
            return static_cast<size_t>(line + 2 - bytes);
        const void* lineFeed = std::memchr(line, '\n', static_cast<size_t>(end - line));
        if (!lineFeed) break;
        line = static_cast<const uint8_t*>(lineFeed) + 1;
    }
    return length;
}

namespace {


// A field's raw value as the parser keeps it: everything after the colon up
// to and including the line end of its last continuation line.
struct RawValue {
    const uint8_t* begin = nullptr;
    const uint8_t* end = nullptr;

    bool Present() const { return begin != nullptr; }
    bool Blank() const
    {
        for (const uint8_t* at = begin; at < end; ++at)
            if (*at != ' ' && *at != '\t' && *at != '\r' && *at != '\n') return false;
        return true;
    }
    std::string Text() const { return std::string(begin, end); }
};

enum class FieldKind { Other, From, Sender, Date, Subject, MessageId, Received, ReceivedSPF };

bool NameIs(const uint8_t* name, size_t length, const char* expected)
{
    return std::strlen(expected) == length &&
           g_ascii_strncasecmp(reinterpret_cast<const char*>(name), expected, length) == 0;
}

FieldKind KindOfField(const uint8_t* name, size_t length)
{
    switch (g_ascii_tolower(static_cast<char>(name[0]))) {
    case 'f':
        if (NameIs(name, length, "From")) return FieldKind::From;
        break;
    case 's':
        if (NameIs(name, length, "Subject")) return FieldKind::Subject;
        if (NameIs(name, length, "Sender")) return FieldKind::Sender;
        break;
    case 'd':
        if (NameIs(name, length, "Date")) return FieldKind::Date;
        break;
    case 'm':
        if (NameIs(name, length, "Message-Id")) return FieldKind::MessageId;
        break;
    case 'r':
        if (NameIs(name, length, "Received")) return FieldKind::Received;
        if (NameIs(name, length, "Received-SPF")) return FieldKind::ReceivedSPF;
        break;
    default:
        break;
    }
    return FieldKind::Other;
}

// What the head needs of a header block. A field that repeats counts the way
// GMime's message counts it: every From and Sender field adds its addresses,
// the last Subject, Date and Message-Id win.
struct HeadFields {
    std::vector<RawValue> from;
    std::vector<RawValue> sender;
    RawValue date;
    RawValue subject;
    RawValue messageId;
    bool receivedSPFFirst = false;
    bool receivedSeen = false;
};

// Splits the header block into fields, or answers false for anything outside
// the plain shape the parser is known to read the same way: every line ends
// in LF or CR LF, holds no NUL and no other CR, and is either a continuation
// (starting with a blank) of the field before it or "Name:" with a name of
// visible ASCII characters right before the colon. That leaves out a leading
// "From " line, blanks before the colon, lines without a colon, an
// unterminated last line and 8-bit field names, all of which the parser
// treats in ways of its own.
bool SplitHeaderBlock(const uint8_t* bytes, size_t length, HeadFields& fields)
{
    const uint8_t* const end = bytes + length;
    const uint8_t* line = bytes;
    RawValue* current = nullptr;
    bool inField = false;
    while (line < end) {
        const auto* lineFeed =
            static_cast<const uint8_t*>(std::memchr(line, '\n', static_cast<size_t>(end - line)));
        if (!lineFeed) return false;
        const uint8_t* const next = lineFeed + 1;
        const uint8_t* const contentEnd = lineFeed > line && lineFeed[-1] == '\r' ? lineFeed - 1 : lineFeed;
        const size_t contentLength = static_cast<size_t>(contentEnd - line);
        if (std::memchr(line, '\0', contentLength) || std::memchr(line, '\r', contentLength))
            return false;

        if (contentLength == 0) return next == end;  // the empty line ending the block

        if (*line == ' ' || *line == '\t') {
            if (!inField) return false;
            if (current) current->end = next;
        } else {
            const uint8_t* colon = line;
            while (colon < contentEnd && *colon != ':') {
                if (*colon <= ' ' || *colon >= 0x7F) return false;
                ++colon;
            }
            if (colon == contentEnd || colon == line) return false;

            const RawValue value{colon + 1, next};
            const FieldKind kind = KindOfField(line, static_cast<size_t>(colon - line));
            current = nullptr;
            switch (kind) {
            case FieldKind::From:
                fields.from.push_back(value);
                current = &fields.from.back();
                break;
            case FieldKind::Sender:
                fields.sender.push_back(value);
                current = &fields.sender.back();
                break;
            case FieldKind::Date:
                current = &(fields.date = value);
                break;
            case FieldKind::Subject:
                current = &(fields.subject = value);
                break;
            case FieldKind::MessageId:
                current = &(fields.messageId = value);
                break;
            case FieldKind::Received:
            case FieldKind::ReceivedSPF:
                if (!fields.receivedSeen) {
                    fields.receivedSeen = true;
                    fields.receivedSPFFirst = kind == FieldKind::ReceivedSPF;
                }
                break;
            case FieldKind::Other:
                break;
            }
            inField = true;
        }
        line = next;
    }
    // No empty line: the block is the whole message, every line of it a
    // complete field line.
    return true;
}

// The value GMime's header gives for an unstructured field: unfolded, then
// its encoded words decoded (8-bit text through the parser's charsets).
GCharPtr DecodedValue(const RawValue& raw)
{
    GCharPtr unfolded(g_mime_utils_header_unfold(raw.Text().c_str()));
    if (!unfolded) return GCharPtr();
    return GCharPtr(g_mime_utils_header_decode_text(g_mime_parser_options_get_default(), unfolded.get()));
}

using AddressListPtr = boost::shared_ptr<InternetAddressList>;

// Every field's addresses, one list after the other, as the message collects
// them; null when none of the fields held an address. The message keeps the
// addresses read before a syntax error in a field, where the list parser
// answers none at all: false (the parser's turn) when a field that is not
// blank gives no list.
bool ParseAddressFields(const std::vector<RawValue>& fields, AddressListPtr& all)
{
    GMimeParserOptions* options = g_mime_parser_options_get_default();
    for (const RawValue& field : fields) {
        if (field.Blank()) continue;
        AddressListPtr list = AdoptGObject(internet_address_list_parse(options, field.Text().c_str()));
        if (!list) return false;
        if (!all) {
            all = list;
        } else {
            internet_address_list_append(all.get(), list.get());
        }
    }
    return true;
}

// What the From (else Sender) fields give: the display string, or not
// readable here (the parser's turn).
struct SenderText {
    bool readable = false;
    std::wstring text;
};

SenderText ReadSenderText(const HeadFields& fields)
{
    SenderText sender;
    AddressListPtr addresses;
    if (!ParseAddressFields(fields.from, addresses)) return sender;
    if (!addresses || internet_address_list_length(addresses.get()) == 0) {
        addresses.reset();
        if (!ParseAddressFields(fields.sender, addresses)) return sender;
    }
    sender.readable = true;
    if (addresses && internet_address_list_length(addresses.get()) > 0) {
        GCharPtr text(internet_address_list_to_string(addresses.get(), g_mime_format_options_get_default(), FALSE));
        if (text) sender.text = UTF8ToWide(text.get());
    }
    return sender;
}

// The sender fields' text by their raw bytes. Most mail of a library comes
// from a few senders, and turning an address into text (with its
// international domain check) was a sixth of the loading thread's time.
// The answer depends on the bytes alone; one cache per thread, emptied when
// it grows large.
const SenderText* FindSenderText(const HeadFields& fields)
{
    constexpr size_t kMostKept = 4096;
    thread_local std::unordered_map<std::string, SenderText> known;
    // NUL never occurs in a value the reader accepts: it parts the fields.
    std::string key;
    for (const RawValue& from : fields.from) key.append(from.begin, from.end).push_back('\0');
    key.push_back('\1');
    for (const RawValue& sender : fields.sender) key.append(sender.begin, sender.end).push_back('\0');
    auto found = known.find(key);
    if (found != known.end()) return &found->second;
    if (known.size() >= kMostKept) known.clear();
    return &known.emplace(std::move(key), ReadSenderText(fields)).first->second;
}

// The lookup the caller gave, else the charset the bytes themselves declare.
CharsetLookup RawLookup(const uint8_t* bytes, size_t length, const CharsetLookup& declaredCharset)
{
    if (declaredCharset) return declaredCharset;
    return [bytes, length] { return DeclaredCharsetOfRawMessage(bytes, length); };
}

// The first Content-Type field of a header block, unfolded; empty when none.
std::string ContentTypeField(const uint8_t* bytes, size_t length)
{
    const uint8_t* const end = bytes + length;
    std::string value;
    bool inField = false;
    for (const uint8_t* line = bytes; line < end;) {
        const auto* lineFeed =
            static_cast<const uint8_t*>(std::memchr(line, '\n', static_cast<size_t>(end - line)));
        const uint8_t* const next = lineFeed ? lineFeed + 1 : end;
        if (inField) {
            if (*line != ' ' && *line != '\t') break;
            value.append(line, next);
        } else if (static_cast<size_t>(next - line) > 13 &&
                   g_ascii_strncasecmp(reinterpret_cast<const char*>(line), "Content-Type:", 13) == 0) {
            value.append(line + 13, next);
            inField = true;
        }
        line = next;
    }
    if (!inField) return std::string();
    GCharPtr unfolded(g_mime_utils_header_unfold(value.c_str()));
    return unfolded ? std::string(unfolded.get()) : std::string();
}

using ContentTypePtr = boost::shared_ptr<GMimeContentType>;

// part: a header block and what follows it. top: the message's own
// Content-Type, whose charset counts whatever its type; below it only text
// parts' do.
std::string DeclaredCharsetIn(const uint8_t* bytes, size_t length, bool top, int depth)
{
    constexpr int kDeepest = 16;
    const size_t headerLength = HeaderBlockLength(bytes, length);
    const std::string field = ContentTypeField(bytes, headerLength);
    if (field.empty()) return std::string();
    const ContentTypePtr type =
        AdoptGObject(g_mime_content_type_parse(g_mime_parser_options_get_default(), field.c_str()));
    if (!type) return std::string();
    const char* charset = g_mime_content_type_get_parameter(type.get(), "charset");
    if (charset && *charset && (top || g_mime_content_type_is_type(type.get(), "text", "*"))) return charset;
    const char* boundary = g_mime_content_type_get_parameter(type.get(), "boundary");
    if (!g_mime_content_type_is_type(type.get(), "multipart", "*") || !boundary || !*boundary ||
        depth >= kDeepest)
        return std::string();

    // The parts lie between lines that begin with "--" and the boundary; the
    // one that goes on with "--" ends them.
    const std::string delimiter = std::string("--") + boundary;
    const uint8_t* const end = bytes + length;
    const uint8_t* part = nullptr;
    for (const uint8_t* line = bytes + headerLength; line < end;) {
        const auto* lineFeed =
            static_cast<const uint8_t*>(std::memchr(line, '\n', static_cast<size_t>(end - line)));
        const uint8_t* const next = lineFeed ? lineFeed + 1 : end;
        const size_t lineLength = static_cast<size_t>(next - line);
        const uint8_t* const after = line + delimiter.size();
        const bool closing = lineLength >= delimiter.size() + 2 && after[0] == '-' && after[1] == '-';
        if (lineLength >= delimiter.size() && std::memcmp(line, delimiter.data(), delimiter.size()) == 0 &&
            (closing || after == next || *after == '\r' || *after == '\n' || *after == ' ' || *after == '\t')) {
            if (part) {
                std::string found = DeclaredCharsetIn(part, static_cast<size_t>(line - part), false, depth + 1);
                if (!found.empty()) return found;
            }
            if (closing) return std::string();
            part = next;
        }
        line = next;
    }
    return part ? DeclaredCharsetIn(part, static_cast<size_t>(end - part), false, depth + 1) : std::string();
}

}  // namespace

std::string DeclaredCharsetOfRawMessage(const uint8_t* bytes, size_t length)
{
    if (!bytes || length == 0) return std::string();
    return DeclaredCharsetIn(bytes, length, true, 0);
}

bool ReadHeadFromHeaderBlock(const uint8_t* bytes, size_t length, MessageHead& head,
                             const CharsetLookup& declaredCharset)
{
    if (!bytes || length == 0) return false;
    HeadFields fields;
    if (!SplitHeaderBlock(bytes, length, fields)) return false;

    InitializeMimeEngine();
    MessageHead result;
    MessageSummary& summary = result.summary;

    const SenderText* sender = FindSenderText(fields);
    if (!sender->readable) return false;
    summary.from = sender->text;

    if (fields.date.Present()) {
        if (GCharPtr value = DecodedValue(fields.date)) {
            if (GDateTime* date = g_mime_utils_header_decode_date(value.get())) {
                summary.date = g_date_time_to_unix(date);
                summary.hasDate = true;
                g_date_time_unref(date);
            }
        }
    }
    if (fields.subject.Present())
        summary.subject = UTF8ToWide(
            DecodeUnstructuredHeader(fields.subject.Text(), RawLookup(bytes, length, declaredCharset)));
    if (fields.messageId.Present()) {
        if (GCharPtr value = DecodedValue(fields.messageId)) {
            GCharPtr id(g_mime_utils_decode_message_id(value.get()));
            if (id) summary.messageId = id.get();
        }
    }

    if (fields.receivedSPFFirst && summary.hasDate)
        AppendSynthesizedReceivedForDate(summary.date, result.receivedLine);
    result.separatorLine = MboxSeparatorLine(summary.date);
    head = std::move(result);
    return true;
}

MessageHead ParseHeadFromHeaderBlock(const uint8_t* bytes, size_t length,
                                     const CharsetLookup& declaredCharset)
{
    GMimeMessagePtr message = length > 0 ? ParseMimeMessageFromBuffer(bytes, length) : GMimeMessagePtr();
    return HeadOfMessage(message.get(), RawLookup(bytes, length, declaredCharset));
}

MessageHead HeadOfRawMessage(const uint8_t* bytes, size_t length)
{
    const size_t headerLength = HeaderBlockLength(bytes, length);
    // The charset may be declared in a part of the body: the whole message
    // is searched, and only when a subject needs it.
    const CharsetLookup declared = [bytes, length] { return DeclaredCharsetOfRawMessage(bytes, length); };
    MessageHead head;
    if (ReadHeadFromHeaderBlock(bytes, headerLength, head, declared)) return head;
    return ParseHeadFromHeaderBlock(bytes, headerLength, declared);
}

}  // namespace KestrinMIMEEngineCommon
