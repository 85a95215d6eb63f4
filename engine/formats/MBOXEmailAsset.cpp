#include "formats/MBOXEmailAsset.h"

#include "formats/MboxWriter.h"
#include "formats/MessageHead.h"

namespace KestrinMIMEEngineCommon {

MBOXEmailAsset::MBOXEmailAsset(std::vector<uint8_t> bytes) : m_rawBytes(std::move(bytes))
{
    const MessageHead head = HeadOfRawMessage(m_rawBytes.data(), m_rawBytes.size());
    FillSummary(head.summary.from, head.summary.date, head.summary.subject, head.summary.messageId);
    m_separatorLine = head.separatorLine;
    m_receivedLine = head.receivedLine;
}

int MBOXEmailAsset::WriteRawMessage(const boost::shared_ptr<KSDataStreamOut>& out)
{
    if (!out) return kWriteShort;
    std::string text;
    text.reserve(m_rawBytes.size() + m_rawBytes.size() / 32 + 2);
    const uint8_t* data = m_rawBytes.data();
    size_t start = 0;
    while (start < m_rawBytes.size()) {
        size_t end = start;
        while (end < m_rawBytes.size() && data[end] != '\n') ++end;
        const size_t next = end < m_rawBytes.size() ? end + 1 : end;
        if (end > start && data[end - 1] == '\r') --end;  // keep CR LF from doubling its CR
        const size_t skip = MboxUnescapePrefix(data + start, end - start);
        text.append(reinterpret_cast<const char*>(data + start + skip), end - start - skip);
        text.append("\r\n");
        start = next;
    }
    KSDataLock<KSDataStreamOut> lock(out);
    return lock->Write(text.data(), text.size()) == text.size() ? kWriteOK : kWriteShort;
}

int MBOXEmailAsset::WriteMBOXMessage(std::ostream& out)
{
    std::string head = m_separatorLine;
    head.push_back('\n');
    head += m_receivedLine;
    out.write(head.data(), static_cast<std::streamsize>(head.size()));

    // The bytes are escaped already. Only an unterminated last line that
    // reads as a separator needs care: the line feed that closes the entry
    // would make it one.
    size_t lastLine = m_rawBytes.size();
    while (lastLine > 0 && m_rawBytes[lastLine - 1] != '\n') --lastLine;
    const bool escapeLast = lastLine < m_rawBytes.size() &&
                            NeedsMboxEscape(m_rawBytes.data() + lastLine,
                                            m_rawBytes.size() - lastLine);
    const size_t plainLength = escapeLast ? lastLine : m_rawBytes.size();
    out.write(reinterpret_cast<const char*>(m_rawBytes.data()),
              static_cast<std::streamsize>(plainLength));
    if (escapeLast) {
        out.put('>');
        out.write(reinterpret_cast<const char*>(m_rawBytes.data() + lastLine),
                  static_cast<std::streamsize>(m_rawBytes.size() - lastLine));
    }
    out.put('\n');
    out.flush();
    return out.fail() ? kWriteStreamFailed : kWriteOK;
}

}  // namespace KestrinMIMEEngineCommon
