// A message held as the raw bytes of an RFC 822 file: the items of the EML
// store, and the header-only messages the Envelope Index reader builds from
// database columns when a message file is missing.
#pragma once

#include <cstdint>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "assets/IAsset.h"
#include "mime/MimeServices.h"

namespace KestrinMIMEEngineCommon {

// The summary of a parsed message; the summary of a message without headers
// when there is none.
MessageSummary SummarizeParsedMessage(GMimeMessage* message);

class EMLEmailAsset : public EmailAssetBase {
public:
    // Parses the bytes at once; bytes that give no message still make an
    // item, written out unchanged. flags becomes the attribute word
    // (kAssetFlagIncomplete for a header-only message).
    explicit EMLEmailAsset(const boost::shared_ptr<std::vector<uint8_t>>& rawBytes,
                           uint16_t flags = 0);

    // All raw bytes in one write: 0, or 2 when the stream took fewer.
    int WriteRawMessage(const boost::shared_ptr<KSDataStreamOut>& out) override;
    // One mbox entry ending with two line feeds: 0, or 4 when the stream failed.
    int WriteMBOXMessage(std::ostream& out) override;
    uint64_t GetSize() override;

    const boost::shared_ptr<std::vector<uint8_t>>& GetRawBytes() const { return m_rawBytes; }
    const GMimeMessagePtr& GetMessage() const { return m_message; }

private:
    boost::shared_ptr<std::vector<uint8_t>> m_rawBytes;
    GMimeMessagePtr m_message;
};

}  // namespace KestrinMIMEEngineCommon
