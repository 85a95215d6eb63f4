// A message read from a mailbox file: its bytes as they stand between two
// separator lines (LF line ends, "From " lines still escaped).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "assets/IAsset.h"
#include "mime/MimeServices.h"

namespace KestrinMIMEEngineCommon {

class MBOXEmailAsset : public EmailAssetBase {
public:
    explicit MBOXEmailAsset(std::vector<uint8_t> bytes);

    // The RFC 822 form: CR LF line ends, the escaping ">" taken off again.
    // 0, or 2 when the stream took fewer bytes.
    int WriteRawMessage(const boost::shared_ptr<KSDataStreamOut>& out) override;
    // The stored separator, a synthesized Received line where called for,
    // the bytes as read and one line feed. 0, or 4 when the stream failed.
    int WriteMBOXMessage(std::ostream& out) override;
    uint64_t GetSize() override { return m_rawBytes.size(); }

    // "From - " + date, without line end.
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
