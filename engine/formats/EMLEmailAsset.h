// A message held as the raw bytes of an RFC 822 file: the items of the EML
// store, and the header-only messages the Envelope Index reader builds from
// database columns when a message file is missing.
#pragma once

#include <cstdint>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "assets/IAsset.h"
#include "formats/MessageHead.h"
#include "mime/MimeServices.h"

namespace KestrinMIMEEngineCommon {

class EMLEmailAsset : public EmailAssetBase {
public:
    // Parses the header block at once (the summary, the mbox separator and
    // Received line come from it; no parsed message is kept); bytes that give
    // no message still make an item, written out unchanged. flags becomes the attribute word
    // (kAssetFlagIncomplete for a header-only message).
    explicit EMLEmailAsset(const boost::shared_ptr<std::vector<uint8_t>>& rawBytes,
                           uint16_t flags = 0);

    // All raw bytes in one write: 0, or 2 when the stream took fewer.
    WriteResult WriteRawMessage(const boost::shared_ptr<KSDataStreamOut>& out) override;
    // One mbox entry ending with two line feeds: 0, or 4 when the stream failed.
    WriteResult WriteMBOXMessage(std::ostream& out) override;
    WriteResult WriteMBOXEntry(std::ostream& out, const std::string& stateLines) override;
    uint64_t GetSize() override;

    const boost::shared_ptr<std::vector<uint8_t>>& GetRawBytes() const { return m_rawBytes; }

private:
    boost::shared_ptr<std::vector<uint8_t>> m_rawBytes;
    std::string m_separatorLine;
    std::string m_receivedLine;
};

}  // namespace KestrinMIMEEngineCommon
