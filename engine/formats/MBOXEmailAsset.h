// A message read from a mailbox file: its bytes as they stand between two
// separator lines (LF line ends, "From " lines still escaped), without the
// empty line that closes the entry, and the separator line it came with.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "assets/IAsset.h"
#include "mime/MimeServices.h"

namespace KestrinMIMEEngineCommon {

class MBOXEmailAsset : public EmailAssetBase {
public:
    // separatorLine: the "From " line the message followed in its mailbox,
    // without line end; empty when it had none.
    explicit MBOXEmailAsset(std::vector<uint8_t> bytes, const std::string& separatorLine = std::string());

    // The message itself: the bytes as read with the escaping ">" taken
    // off again. 0, or 2 when the stream took fewer bytes.
    WriteResult WriteRawMessage(const boost::shared_ptr<KSDataStreamOut>& out) override;
    // The separator line, a synthesized Received line where called for, the
    // bytes as read and the empty line that closes the entry. 0, or 4 when
    // the stream failed.
    WriteResult WriteMBOXMessage(std::ostream& out) override;
    WriteResult WriteMBOXEntry(std::ostream& out, const std::string& stateLines) override;
    uint64_t GetSize() override { return m_rawBytes.size(); }

    // The separator line the message came with, else "From - " + date;
    // without line end.
    const std::string& GetSeparatorLine() const { return m_separatorLine; }
    const std::vector<uint8_t>& GetRawBytes() const { return m_rawBytes; }

private:
    std::string m_separatorLine;
    // Worked out from the header block at construction; no parsed message
    // is kept.
    std::string m_receivedLine;
    std::vector<uint8_t> m_rawBytes;
};

}  // namespace KestrinMIMEEngineCommon
