#include "formats/MessageHead.h"

#include <cstring>

#include "formats/MboxWriter.h"

namespace KestrinMIMEEngineCommon {

MessageHead HeadOfMessage(GMimeMessage* message)
{
    MessageHead head;
    if (message) {
        head.summary = SummarizeMessage(message);
        AppendSynthesizedReceived(message, head.receivedLine);
    }
    head.separatorLine = MboxSeparatorLine(message);
    return head;
}

size_t HeaderBlockLength(const uint8_t* bytes, size_t length)
{
    if (!bytes) return 0;
    const uint8_t* const end = bytes + length;
    const uint8_t* line = bytes;
    while (line < end) {
        // An empty line: LF alone, or CR LF.
        if (*line == '\n') return static_cast<size_t>(line + 1 - bytes);
        if (*line == '\r' && line + 1 < end && line[1] == '\n')
            return static_cast<size_t>(line + 2 - bytes);
        const void* lineFeed = std::memchr(line, '\n', static_cast<size_t>(end - line));
        if (!lineFeed) break;
        line = static_cast<const uint8_t*>(lineFeed) + 1;
    }
    return length;
}

MessageHead HeadOfRawMessage(const uint8_t* bytes, size_t length)
{
    const size_t headerLength = HeaderBlockLength(bytes, length);
    GMimeMessagePtr message =
        headerLength > 0 ? ParseMimeMessageFromBuffer(bytes, headerLength) : GMimeMessagePtr();
    return HeadOfMessage(message.get());
}

}  // namespace KestrinMIMEEngineCommon
