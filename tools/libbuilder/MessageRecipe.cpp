#include "libbuilder/MessageRecipe.h"

#include <cctype>
#include <cstdio>
#include <ctime>
#include <map>
#include <stdexcept>

namespace kestrin_libbuilder {

namespace {

bool StartsWithNoCase(const std::string& text, const std::string& prefix)
{
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) !=
            std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    }
    return true;
}

bool IsAscii(const std::string& text)
{
    for (unsigned char c : text)
        if (c >= 0x80) return false;
    return true;
}

bool IsTokenChar(unsigned char c)
{
    static const std::string specials = "()<>@,;:\\\"/[]?= \t";
    return c > 0x20 && c < 0x7f && specials.find(static_cast<char>(c)) == std::string::npos;
}

// One parameter as Apple Mail folds it: ";\n\tname=value", RFC 2231 for
// non-ASCII values, quoted when the value is not a token.
std::string FormatParameter(const std::string& name, const std::string& value)
{
    if (!IsAscii(value)) {
        static const char hex[] = "0123456789ABCDEF";
        std::string encoded;
        for (unsigned char c : value) {
            if (std::isalnum(c) || c == '.' || c == '-') {
                encoded += static_cast<char>(c);
            } else {
                encoded += '%';
                encoded += hex[c >> 4];
                encoded += hex[c & 15];
            }
        }
        return name + "*=utf-8''" + encoded;
    }
    bool token = !value.empty();
    for (unsigned char c : value)
        if (!IsTokenChar(c)) token = false;
    return token ? name + "=" + value : name + "=\"" + value + "\"";
}

std::string FormatHeaderWithParams(const std::string& name, const std::string& value,
                                   const HeaderList& params)
{
    std::string line = name + ": " + value;
    for (const auto& param : params) line += ";\n\t" + FormatParameter(param.first, param.second);
    return line + "\n";
}

class Renderer {
public:
    explicit Renderer(bool stripped) : m_stripped(stripped) {}

    // The part's own MIME headers (no trailing blank line).
    std::string Headers(const PartRecipe& part)
    {
        std::string out;
        if (!part.transferEncoding.empty())
            out += "Content-Transfer-Encoding: " + part.transferEncoding + "\n";
        if (!part.disposition.empty()) {
            HeaderList params;
            if (!part.fileName.empty()) params.emplace_back("filename", part.fileName);
            out += FormatHeaderWithParams("Content-Disposition", part.disposition, params);
        }
        HeaderList params = part.contentTypeParams;
        if (part.IsMultipart()) params.emplace_back("boundary", BoundaryFor(part));
        out += FormatHeaderWithParams("Content-Type", part.contentType, params);
        for (const auto& header : part.extraHeaders)
            out += header.first + ": " + header.second + "\n";
        if (m_stripped && !part.IsMultipart() && part.IsStripped())
            out += "X-Apple-Content-Length: " + std::to_string(AppleContentLength(part)) + "\n";
        return out;
    }

    std::string Body(const PartRecipe& part)
    {
        if (part.IsAttachedMessage()) {
            const PartRecipe& inner = part.children.at(0);
            std::string out;
            for (const auto& header : part.messageHeaders)
                out += header.first + ": " + header.second + "\n";
            out += Headers(inner) + "\n";
            return out + Body(inner);
        }
        if (!part.IsMultipart()) {
            if (m_stripped && part.IsStripped()) return {};
            return EncodeContent(part);
        }
        const std::string boundary = m_boundaries.at(&part);
        std::string out;
        for (const PartRecipe& child : part.children) {
            // Headers first: they pick the boundary a nested multipart's body uses.
            out += "\n--" + boundary + "\n";
            out += Headers(child);
            out += "\n";
            out += Body(child);
        }
        out += "\n--" + boundary + "--\n";
        return out;
    }

private:
    std::string BoundaryFor(const PartRecipe& part)
    {
        std::string boundary = part.boundary;
        if (boundary.empty()) {
            char text[64];
            std::snprintf(text, sizeof text, "Apple-Mail=_5A1E0C3B-7D2F-4E61-9B8A-%012X",
                          ++m_counter);
            boundary = text;
        }
        m_boundaries[&part] = boundary;
        return boundary;
    }

    bool m_stripped;
    unsigned m_counter = 0;
    std::map<const PartRecipe*, std::string> m_boundaries;
};

std::string Render(const MessageRecipe& recipe, bool stripped)
{
    Renderer renderer(stripped);
    std::string out;
    for (const auto& header : recipe.headers) out += header.first + ": " + header.second + "\n";
    out += renderer.Headers(recipe.body);
    out += "\n";  // the body's boundary is known only after its headers
    out += renderer.Body(recipe.body);
    return out;
}

void Number(const PartRecipe& part, const std::string& number, std::vector<NumberedPart>& out)
{
    if (part.IsAttachedMessage()) {
        const PartRecipe& inner = part.children.at(0);
        // The attached message's multipart shares the attachment's number.
        if (inner.IsMultipart())
            Number(inner, number, out);
        else
            Number(inner, number + ".1", out);
        return;
    }
    if (!part.IsMultipart()) {
        out.push_back({number.empty() ? std::string("1") : number, &part});
        return;
    }
    for (size_t i = 0; i < part.children.size(); ++i) {
        const std::string childNumber =
            (number.empty() ? std::string() : number + ".") + std::to_string(i + 1);
        Number(part.children[i], childNumber, out);
    }
}

}  // namespace

bool PartRecipe::IsMultipart() const { return StartsWithNoCase(contentType, "multipart/"); }

bool PartRecipe::IsAttachedMessage() const
{
    return StartsWithNoCase(contentType, "message/rfc822") && !children.empty();
}

PartRecipe TextPart(const std::string& text, const std::string& subtype, const std::string& charset)
{
    PartRecipe part;
    part.contentType = "text/" + subtype;
    part.contentTypeParams = {{"charset", charset}};
    part.transferEncoding = IsAscii(text) ? "7bit" : "quoted-printable";
    part.content = text;
    return part;
}

PartRecipe AttachmentPart(const std::string& fileName, const std::string& mimeType,
                        const std::string& content, PartStorage storage,
                        const std::string& transferEncoding)
{
    PartRecipe part;
    part.contentType = mimeType;
    part.contentTypeParams = {{"name", fileName}};
    part.transferEncoding = transferEncoding;
    part.disposition = "attachment";
    part.fileName = fileName;
    part.content = content;
    part.storage = storage;
    return part;
}

PartRecipe FolderAttachmentPart(const std::string& folderName, std::vector<FileEntry> files,
                              PartStorage storage)
{
    PartRecipe part = AttachmentPart(folderName + ".zip", "application/zip", std::string(), storage);
    part.contentTypeParams.emplace_back("x-mac-auto-archive", "yes");
    part.folderFiles = std::move(files);
    return part;
}

PartRecipe Multipart(const std::string& subtype, std::vector<PartRecipe> children)
{
    PartRecipe part;
    part.contentType = "multipart/" + subtype;
    part.children = std::move(children);
    return part;
}

PartRecipe AttachedMessagePart(const std::string& subject, PartRecipe body)
{
    PartRecipe part;
    part.contentType = "message/rfc822";
    part.disposition = "attachment";
    part.messageHeaders = MakeMessage(subject, PartRecipe(), 1400000000).headers;
    part.children.push_back(std::move(body));
    return part;
}

MessageRecipe MakeMessage(const std::string& subject, PartRecipe body, int64_t date,
                        const std::string& from, const std::string& to)
{
    MessageRecipe recipe;
    recipe.headers = {
        {"From", from},
        {"Mime-Version", "1.0 (Mac OS X Mail 10.3 \\(3273\\))"},
        {"Subject", subject},
        {"Message-Id", "<" + std::to_string(date) + "." + std::to_string(subject.size()) +
                           "@libbuilder.example>"},
        {"Date", FormatRfc822DateUtc(date)},
        {"To", to},
        {"X-Mailer", "Apple Mail (2.3273)"},
    };
    recipe.body = std::move(body);
    recipe.dateReceived = date + 2;
    return recipe;
}

std::string RenderStoredMessage(const MessageRecipe& recipe) { return Render(recipe, true); }

std::string RenderFullMessage(const MessageRecipe& recipe) { return Render(recipe, false); }

std::string EncodeContent(const PartRecipe& part)
{
    if (part.transferEncoding == "base64") return Base64Encode(part.content);
    if (part.transferEncoding == "quoted-printable") return QuotedPrintableEncode(part.content);
    return part.content;
}

uint64_t AppleContentLength(const PartRecipe& part)
{
    const std::string encoded = EncodeContent(part);
    uint64_t length = encoded.size();
    for (char c : encoded)
        if (c == '\n') ++length;
    return length;
}

std::string Base64Encode(const std::string& bytes, size_t lineLength)
{
    static const char alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string flat;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        uint32_t chunk = static_cast<unsigned char>(bytes[i]) << 16;
        if (i + 1 < bytes.size()) chunk |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        if (i + 2 < bytes.size()) chunk |= static_cast<unsigned char>(bytes[i + 2]);
        flat += alphabet[(chunk >> 18) & 63];
        flat += alphabet[(chunk >> 12) & 63];
        flat += i + 1 < bytes.size() ? alphabet[(chunk >> 6) & 63] : '=';
        flat += i + 2 < bytes.size() ? alphabet[chunk & 63] : '=';
    }
    if (lineLength == 0) return flat;
    std::string out;
    for (size_t i = 0; i < flat.size(); i += lineLength) out += flat.substr(i, lineLength) + "\n";
    return out;
}

std::string QuotedPrintableEncode(const std::string& bytes)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    size_t column = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c == '\n') {
            out += '\n';
            column = 0;
            continue;
        }
        const bool beforeLineEnd = i + 1 == bytes.size() || bytes[i + 1] == '\n';
        std::string piece;
        if ((c >= 33 && c <= 126 && c != '=') || ((c == ' ' || c == '\t') && !beforeLineEnd)) {
            piece = static_cast<char>(c);
        } else {
            piece = "=";
            piece += hex[c >> 4];
            piece += hex[c & 15];
        }
        if (column + piece.size() > 75) {
            out += "=\n";
            column = 0;
        }
        out += piece;
        column += piece.size();
    }
    return out;
}

namespace {

const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

std::tm UtcParts(int64_t seconds)
{
    const std::time_t time = static_cast<std::time_t>(seconds);
    std::tm parts{};
    if (!gmtime_r(&time, &parts)) throw std::runtime_error("date out of range");
    return parts;
}

}  // namespace

std::string FormatRfc822DateUtc(int64_t seconds)
{
    const std::tm parts = UtcParts(seconds);
    char text[64];
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d +0000", kDays[parts.tm_wday],
                  parts.tm_mday, kMonths[parts.tm_mon], parts.tm_year + 1900, parts.tm_hour,
                  parts.tm_min, parts.tm_sec);
    return text;
}

std::string FormatAscTimeUtc(int64_t seconds)
{
    const std::tm parts = UtcParts(seconds);
    char text[64];
    std::snprintf(text, sizeof text, "%s %s %2d %02d:%02d:%02d %04d", kDays[parts.tm_wday],
                  kMonths[parts.tm_mon], parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec,
                  parts.tm_year + 1900);
    return text;
}

std::vector<NumberedPart> NumberParts(const PartRecipe& body)
{
    std::vector<NumberedPart> out;
    Number(body, std::string(), out);
    return out;
}

}  // namespace kestrin_libbuilder
