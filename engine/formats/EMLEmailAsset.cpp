#include "formats/EMLEmailAsset.h"

#include <boost/make_shared.hpp>

#include "formats/MboxWriter.h"
#include "streams/KSContainerData.h"

namespace KestrinMIMEEngineCommon {

MessageSummary SummarizeParsedMessage(GMimeMessage* message)
{
    return message ? SummarizeMessage(message) : MessageSummary();
}

EMLEmailAsset::EMLEmailAsset(const boost::shared_ptr<std::vector<uint8_t>>& rawBytes,
                             uint16_t flags)
    : m_rawBytes(rawBytes)
{
    m_attributes = flags;
    if (m_rawBytes) {
        m_message = ParseMimeMessage(
            boost::make_shared<KSContainerData<std::vector<uint8_t>>>(m_rawBytes));
    }
    const MessageSummary summary = SummarizeParsedMessage(m_message.get());
    FillSummary(summary.from, summary.date, summary.subject, summary.messageId);
}

int EMLEmailAsset::WriteRawMessage(const boost::shared_ptr<KSDataStreamOut>& out)
{
    if (!out) return kWriteShort;
    const size_t size = m_rawBytes ? m_rawBytes->size() : 0;
    if (size == 0) return kWriteOK;
    KSDataLock<KSDataStreamOut> lock(out);
    return lock->Write(m_rawBytes->data(), size) == size ? kWriteOK : kWriteShort;
}

int EMLEmailAsset::WriteMBOXMessage(std::ostream& out)
{
    return WriteMboxEntry(out, m_rawBytes, m_message.get(), 2);
}

uint64_t EMLEmailAsset::GetSize()
{
    return m_rawBytes ? m_rawBytes->size() : 0;
}

}  // namespace KestrinMIMEEngineCommon
