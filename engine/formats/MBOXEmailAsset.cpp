#include "formats/MBOXEmailAsset.h"

#include "formats/MboxWriter.h"
#include "formats/MessageHead.h"

namespace KestrinMIMEEngineCommon {

MBOXEmailAsset::MBOXEmailAsset(std::vector<uint8_t> bytes, const std::string& separatorLine)
    : m_rawBytes(std::move(bytes))
{
    const MessageHead head = HeadOfRawMessage(m_rawBytes.data(), m_rawBytes.size());
    FillSummary(head.summary.from, head.summary.date, head.summary.subject, head.summary.messageId);
    // A mailbox Apple Mail exported keeps the state in the messages' own
    // Status lines.
    m_state = StateFromMboxHeaders(m_rawBytes.data(), m_rawBytes.size());
    if (head.summary.hasDate) m_state.received = head.summary.date;
    // The envelope sender and the date of delivery are only there.
    m_separatorLine = separatorLine.empty() ? head.separatorLine : separatorLine;
    m_receivedLine = head.receivedLine;
}

WriteResult MBOXEmailAsset::WriteRawMessage(const boost::shared_ptr<KSDataStreamOut>& out)
{
    if (!out) return WriteResult::Short;
    std::string text;
    text.reserve(m_rawBytes.size());
    const uint8_t* data = m_rawBytes.data();
    size_t start = 0;
    while (start < m_rawBytes.size()) {
        size_t end = start;
        while (end < m_rawBytes.size() && data[end] != '\n') ++end;
        const size_t next = end < m_rawBytes.size() ? end + 1 : end;
        const size_t skip = MboxUnescapePrefix(data + start, end - start);
        text.append(reinterpret_cast<const char*>(data + start + skip), next - start - skip);
        start = next;
    }
    KSDataLock<KSDataStreamOut> lock(out);
    return lock->Write(text.data(), text.size()) == text.size() ? WriteResult::Ok : WriteResult::Short;
}

WriteResult MBOXEmailAsset::WriteMBOXMessage(std::ostream& out)
{
    return WriteMBOXEntry(out, std::string());
}

WriteResult MBOXEmailAsset::WriteMBOXEntry(std::ostream& out, const std::string& stateLines)
{
    std::vector<uint8_t> head(m_separatorLine.begin(), m_separatorLine.end());
    head.push_back('\n');
    head.insert(head.end(), m_receivedLine.begin(), m_receivedLine.end());
    size_t bodyStart = 0;
    if (!stateLines.empty())
        bodyStart = AppendEditedHeaderBlock(m_rawBytes.data(), m_rawBytes.size(), stateLines, head);
    out.write(reinterpret_cast<const char*>(head.data()), static_cast<std::streamsize>(head.size()));

    // The bytes are escaped already. Only an unterminated last line that
    // reads as a separator needs care: the line feed that closes the entry
    // would make it one.
    const uint8_t* body = m_rawBytes.data() + bodyStart;
    const size_t bodyLength = m_rawBytes.size() - bodyStart;
    size_t lastLine = bodyLength;
    while (lastLine > 0 && body[lastLine - 1] != '\n') --lastLine;
    const bool escapeLast = lastLine < bodyLength && NeedsMboxEscape(body + lastLine, bodyLength - lastLine);
    const size_t plainLength = escapeLast ? lastLine : bodyLength;
    out.write(reinterpret_cast<const char*>(body), static_cast<std::streamsize>(plainLength));
    if (escapeLast) {
        out.put('>');
        out.write(reinterpret_cast<const char*>(body + lastLine), static_cast<std::streamsize>(bodyLength - lastLine));
    }
    // The entry ends with an empty line, also after a last line without
    // line end; readers take that line off again.
    const bool open = bodyLength > 0 ? body[bodyLength - 1] != '\n' : head.back() != '\n';
    if (open) out.put('\n');
    out.put('\n');
    out.flush();
    return out.fail() ? WriteResult::StreamFailed : WriteResult::Ok;
}

}  // namespace KestrinMIMEEngineCommon
