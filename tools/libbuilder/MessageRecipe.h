// Messages described as data, rendered the way Apple Mail keeps them on disk.
//
// A MessageRecipe is a header list and a tree of body parts. Each leaf part says
// where its content lives: inline in the message, or stripped out of it (the
// part keeps its headers plus "X-Apple-Content-Length" and an empty body) with
// the content in a ".emlxpart" file, in the mailbox's "Attachments" folder, or
// nowhere at all. The renderer only produces bytes; Emlx.h writes the files.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace kestrin_libbuilder {

using HeaderList = std::vector<std::pair<std::string, std::string>>;

enum class PartStorage {
    Inline,          // content stays in the message
    EmlxPart,        // stripped; content (transfer-encoded) in <stem>.<part>.emlxpart
    EmptyEmlxPart,   // stripped; a ".emlxpart" of size 0
    Attachments,     // stripped; decoded file in Attachments/<stem>/<part>/<file name>
    AttachedFolder,  // stripped auto-archived folder: Attachments/<stem>/<part>/<folder>/<files>
    Missing,         // stripped; the content is stored nowhere
};

struct FileEntry {
    std::string name;
    std::string content;
};

struct PartRecipe {
    // "type/subtype"; a "multipart/..." type makes this a container of children,
    // "message/rfc822" an attached message: messageHeaders and children[0] as
    // its body.
    std::string contentType = "text/plain";
    // Extra Content-Type parameters after the type (charset, name, ...).
    HeaderList contentTypeParams;
    // "7bit", "8bit", "binary", "base64", "quoted-printable"; empty writes no
    // Content-Transfer-Encoding header and leaves the content as it is.
    std::string transferEncoding;
    // "inline" or "attachment"; empty writes no Content-Disposition.
    std::string disposition;
    std::string fileName;        // Content-Disposition filename
    std::string content;         // decoded bytes of a leaf
    std::vector<PartRecipe> children;
    PartStorage storage = PartStorage::Inline;
    std::vector<FileEntry> folderFiles;  // the attached folder's files (AttachedFolder)
    HeaderList extraHeaders;             // written after the MIME headers
    std::string boundary;                // empty: a boundary is made up
    HeaderList messageHeaders;           // the attached message's headers (message/rfc822)

    bool IsMultipart() const;
    bool IsAttachedMessage() const;
    bool IsStripped() const { return storage != PartStorage::Inline; }
};

// The date of the builder's messages unless given another.
constexpr int64_t kBaseDate = 1500000000;  // 2017-07-14 02:40:00 UTC

struct MessageRecipe {
    // Top-level headers, written in order before the body part's MIME headers.
    HeaderList headers;
    PartRecipe body;

    // Property-list trailer.
    int64_t dateReceived = kBaseDate;
    uint64_t flags = 8590195713ULL;
    std::string remoteId;  // omitted when empty

    // Width the byte-count line is padded to with blanks (Apple Mail pads to
    // 10, e.g. "44126     "); 0 writes the bare number.
    int countWidth = 10;
    // When set, written as the first line instead of the byte count (for
    // zero, garbage or wrong counts). The line feed is added.
    bool overrideCountLine = false;
    std::string countLine;
};

// --- building blocks -------------------------------------------------------

PartRecipe TextPart(const std::string& text, const std::string& subtype = "plain",
                  const std::string& charset = "us-ascii");
// An attachment with the given decoded content, base64 unless told otherwise.
PartRecipe AttachmentPart(const std::string& fileName, const std::string& mimeType,
                        const std::string& content, PartStorage storage = PartStorage::Inline,
                        const std::string& transferEncoding = "base64");
// A folder the sender attached, which Apple Mail sends as an auto-archived zip
// ("<folder>.zip", x-mac-auto-archive=yes) and keeps unpacked in Attachments.
PartRecipe FolderAttachmentPart(const std::string& folderName, std::vector<FileEntry> files,
                              PartStorage storage = PartStorage::AttachedFolder);
PartRecipe Multipart(const std::string& subtype, std::vector<PartRecipe> children);
// A message/rfc822 attachment holding a message with this subject and body;
// its parts are numbered below the attachment's own number (2.1, 2.2, ...).
PartRecipe AttachedMessagePart(const std::string& subject, PartRecipe body);

// A message with From, To, Subject, Date, Message-Id and Mime-Version headers.
MessageRecipe MakeMessage(const std::string& subject, PartRecipe body,
                        int64_t date = kBaseDate,
                        const std::string& from = "Sender Example <sender@example.com>",
                        const std::string& to = "Receiver Example <receiver@example.com>");

// --- rendering -------------------------------------------------------------

// The message as the ".emlx" file holds it: stripped parts keep their
// headers plus "X-Apple-Content-Length" and have an empty body. LF line ends.
std::string RenderStoredMessage(const MessageRecipe& recipe);
// The message as it was sent: every part with its content (an attached
// folder's part carries its `content` as given).
std::string RenderFullMessage(const MessageRecipe& recipe);

// The content of a leaf in its transfer encoding (LF line ends), as a
// ".emlxpart" file holds it.
std::string EncodeContent(const PartRecipe& part);
// What Apple Mail writes into "X-Apple-Content-Length": the encoded length
// counted with CR LF line ends.
uint64_t AppleContentLength(const PartRecipe& part);

std::string Base64Encode(const std::string& bytes, size_t lineLength = 76);
std::string QuotedPrintableEncode(const std::string& bytes);
// "Tue, 05 Mar 2019 14:07:09 +0000"
std::string FormatRfc822DateUtc(int64_t seconds);
// "Fri Jul 14 02:40:00 2017", as mbox separator lines carry it.
std::string FormatAscTimeUtc(int64_t seconds);

// Walks the leaves with their part numbers as IMAP gives them: "1" for a
// single-part body, "1", "2.2" ... below multiparts and attached messages.
struct NumberedPart {
    std::string number;
    const PartRecipe* part;
};
std::vector<NumberedPart> NumberParts(const PartRecipe& body);

}  // namespace kestrin_libbuilder
