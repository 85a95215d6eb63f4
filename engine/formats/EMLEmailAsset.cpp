#include "formats/EMLEmailAsset.h"

#include <boost/make_shared.hpp>

#include "formats/MboxWriter.h"
#include "streams/KSContainerData.h"

namespace KestrinMIMEEngineCommon {

EMLEmailAsset::EMLEmailAsset(const boost::shared_ptr<std::vector<uint8_t>>& rawBytes,
                             uint16_t flags)
    : m_rawBytes(rawBytes)
{
    m_attributes = flags;
    const MessageHead head = m_rawBytes ? HeadOfRawMessage(m_rawBytes->data(), m_rawBytes->size())
                                        : HeadOfMessage(nullptr);
    FillSummary(head.summary.from, head.summary.date, head.summary.subject, head.summary.messageId);
    m_separatorLine = head.separatorLine;
    m_receivedLine = head.receivedLine;
}

WriteResult EMLEmailAsset::WriteRawMessage(const boost::shared_ptr<KSDataStreamOut>& out)
{
    if (!out) return WriteResult::Short;
    const size_t size = m_rawBytes ? m_rawBytes->size() : 0;
    if (size == 0) return WriteResult::Ok;
    KSDataLock<KSDataStreamOut> lock(out);
    return lock->Write(m_rawBytes->data(), size) == size ? WriteResult::Ok : WriteResult::Short;
}

WriteResult EMLEmailAsset::WriteMBOXMessage(std::ostream& out)
{
    return WriteMBOXEntry(out, std::string());
}

WriteResult EMLEmailAsset::WriteMBOXEntry(std::ostream& out, const std::string& stateLines)
{
    MboxEntryWriter writer(out, m_separatorLine, m_receivedLine, stateLines);
    if (m_rawBytes) writer.Append(m_rawBytes->data(), m_rawBytes->size());
    return writer.Finish(2);
}

uint64_t EMLEmailAsset::GetSize()
{
    return m_rawBytes ? m_rawBytes->size() : 0;
}

}  // namespace KestrinMIMEEngineCommon
