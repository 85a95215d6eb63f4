// One Apple Mail message file (".emlx" or ".partial.emlx"): a byte-count
// line, the RFC 822 message, and a property-list trailer whose flags and
// received date give the message's state where no index does.
//
// Apple Mail leaves attachments it has not downloaded (or has moved out of
// the message) as parts with an "X-Apple-Content-Length" header and no body;
// their content is in "<stem>.<part number>.emlxpart" beside the file or in
// "Attachments/<stem>/<part number>/" beside the message folder. Only such a
// message (or one whose byte count does not fit the file) goes through the
// MIME parser: the content is put back and the message written out again.
// Every other message is written exactly as Apple Mail stored it, since a
// parse and rewrite would change mail that is not well formed (drop lines,
// cut at a NUL, add or drop blank lines); its summary comes from its header
// block alone.
//
// Everything is read in the constructor, and the asset then holds only
// bytes: the file whole up to 64 MB (read once), a larger one by its place in
// the file, read again in windows when written. No parsed message outlives
// the constructor, so an asset may be built on one thread and written on
// another.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "assets/IAsset.h"
#include "formats/MessageHead.h"
#include "mime/MimeServices.h"
#include "streams/Platform.h"

namespace KestrinMIMEEngineCommon {

class EMLXEmailAsset : public EmailAssetBase {
public:
    // opener, when given, opens the file through its directory's descriptor.
    explicit EMLXEmailAsset(const std::string& path, Platform::DirectoryOpener* opener = nullptr);
    ~EMLXEmailAsset() override;

    WriteResult WriteMBOXMessage(std::ostream& out) override;
    WriteResult WriteMBOXEntry(std::ostream& out, const std::string& stateLines) override;
    WriteResult WriteRawMessage(const boost::shared_ptr<KSDataStreamOut>& out) override;
    // The message's length in bytes; 0 when the file held none.
    uint64_t GetSize() override { return m_hasMessage ? static_cast<uint64_t>(m_length) : 0; }

    // Puts separately stored content back into part and, for a multipart,
    // into its children. indexPath holds the 0-based child indexes leading to
    // part (empty for the top-level part); stem is the message file's name
    // without its extensions; messageFolder the folder holding the file.
    // Answers true while some content is still missing.
    bool ReassembleParts(GMimeObject* part, std::vector<int>& indexPath, const std::string& stem,
                         const std::string& messageFolder);
    // The same for a whole message (the top-level one or one attached as
    // message/rfc822 at indexPath): a single-part message keeps the marker on
    // its own headers, and its body is part number indexPath + "1".
    bool ReassembleMessage(GMimeMessage* message, std::vector<int>& indexPath,
                           const std::string& stem, const std::string& messageFolder);

    // False when the file could not be opened at all (deleted after listing,
    // no permission): the asset then carries nothing.
    bool WasReadable() const { return m_readable; }
    // Why the file could not be opened (the system's text), empty otherwise.
    const std::string& ReadError() const { return m_readError; }
    // True when the file (or a folder on its path) does not exist, as
    // opposed to one that is there but cannot be read.
    bool WasNotFound() const { return m_notFound; }
    // True when the file held a message: one without (0 bytes, only a count
    // line, or no message at all) holds nothing that could be written.
    bool HasMessage() const { return m_hasMessage; }
    // Why a readable file holds no message, in the user's terms.
    const std::string& NoMessageReason() const { return m_noMessage; }
    // True when the message is written as the bytes Apple Mail stored, false
    // when it was rewritten with parts put back.
    bool IsStoredBytes() const { return m_hasMessage && !m_reassembled; }
    uint64_t GetHeldBytes() override { return m_bytes.capacity(); }

private:
    // Puts back the content of the part whose own headers (or, for a
    // single-part message, the message's: holder) carry Apple Mail's
    // marker, and removes the marker; answers true while the content is
    // missing, which a text in the part's place then says.
    bool FillMarkedPart(GMimeObject* holder, GMimeObject* part, const std::string& number,
                        const std::string& stem, const std::string& messageFolder);
    // Parses the message, puts parts back and keeps what GMime writes of it;
    // false when it did not parse (the stored bytes then stand).
    bool LoadReassembled(const std::string& path, const std::vector<uint8_t>& whole,
                         int64_t messageStart, int64_t messageSize);
    void TakeHead(const MessageHead& head);
    // Hands the message bytes to sink in one or more pieces; false (with a
    // note saying why) when the file could not be read again in full.
    template <typename Sink>
    bool ForEachPiece(Sink&& sink);

    std::string m_path;
    bool m_readable = false;
    bool m_notFound = false;
    std::string m_readError;
    std::string m_noMessage;
    bool m_hasMessage = false;
    bool m_reassembled = false;
    // The message is m_bytes[m_offset, m_offset + m_length), or that range
    // of the file at m_path when m_fromFile.
    std::vector<uint8_t> m_bytes;
    bool m_fromFile = false;
    int64_t m_offset = 0;
    int64_t m_length = 0;
    std::string m_separatorLine;
    std::string m_receivedLine;
};

}  // namespace KestrinMIMEEngineCommon
