#include "formats/MboxWriter.h"

#include <cstring>
#include <ctime>

#include <boost/core/null_deleter.hpp>
#include <boost/make_shared.hpp>

#include "assets/IAsset.h"
#include "mime/MimeServices.h"
#include "streams/KSContainerData.h"
#include "streams/KSLineReader.h"

namespace KestrinMIMEEngineCommon {

namespace {

using ByteVector = std::vector<uint8_t>;

void AppendText(ByteVector& out, const std::string& text)
{
    out.insert(out.end(), text.begin(), text.end());
}

void AppendSynthesizedReceivedLine(GMimeMessage* message, ByteVector& out)
{
    std::string line;
    AppendSynthesizedReceived(message, line);
    AppendText(out, line);
}

int FinishEntry(std::ostream& out, const ByteVector& entry)
{
    out.write(reinterpret_cast<const char*>(entry.data()),
              static_cast<std::streamsize>(entry.size()));
    // A full disk or an I/O error often shows only when the buffer goes out.
    out.flush();
    return out.fail() ? kWriteStreamFailed : kWriteOK;
}

// Whatever the item asks for, the entry ends with its last line ended and
// one empty line: without it a message whose last line has no line end runs
// straight into the next separator and readers take the two for one line.
void AppendTrailingLineFeeds(int count, ByteVector& entry)
{
    entry.insert(entry.end(), static_cast<size_t>(count > 0 ? count : 0), '\n');
    while (entry.size() < 2 || entry[entry.size() - 1] != '\n' || entry[entry.size() - 2] != '\n')
        entry.push_back('\n');
}

void BuildEntry(const boost::shared_ptr<KSDataReadable>& source, GMimeMessage* message,
                int trailingLineFeeds, ByteVector& entry)
{
    AppendText(entry, MboxSeparatorLine(message));
    entry.push_back('\n');
    WriteMboxBody(source, message, entry);
    AppendTrailingLineFeeds(trailingLineFeeds, entry);
}

}  // namespace

bool NeedsMboxEscape(const uint8_t* line, size_t length)
{
    size_t i = 0;
    while (i < length && line[i] == '>') ++i;
    return length - i >= 5 && std::memcmp(line + i, "From ", 5) == 0;
}

size_t MboxUnescapePrefix(const uint8_t* line, size_t length)
{
    return (length > 0 && line[0] == '>' && NeedsMboxEscape(line, length)) ? 1 : 0;
}

void WriteMboxBody(const boost::shared_ptr<KSDataReadable>& source, GMimeMessage* message,
                   ByteVector& out)
{
    if (!source) return;
    const size_t bodyStart = out.size();
    const int64_t sourceSize = source->GetSize();
    if (sourceSize > 0) out.reserve(bodyStart + static_cast<size_t>(sourceSize) + 256);

    bool receivedDue = true;
    if (message) {
        AppendSynthesizedReceivedLine(message, out);
        receivedDue = false;
    }

    // The reader writes each line straight into out; the container stream
    // is put back at the end of out whenever bytes were added beside it.
    auto sinkData = boost::make_shared<KSContainerData<ByteVector>>(
        boost::shared_ptr<ByteVector>(&out, boost::null_deleter()));
    KSDataLock<KSDataStreamOut> sink(sinkData);
    KSLineReader reader(source);
    for (;;) {
        sinkData->Seek(0, 2);
        const size_t lineStart = out.size();
        const bool terminated = reader.ReadLine(sink);
        const size_t lineLength = out.size() - lineStart;
        if (!terminated && lineLength == 0) break;

        if (terminated && receivedDue && lineLength == 0) {
            // End of the header block of a message nobody parsed for us.
            receivedDue = false;
            GMimeMessagePtr headers =
                ParseMimeMessageFromBuffer(out.data() + bodyStart, out.size() - bodyStart);
            if (headers) AppendSynthesizedReceivedLine(headers.get(), out);
        }
        // An unterminated last line is escaped too: the entry's own trailing
        // line feeds would otherwise turn it into a separator.
        if (NeedsMboxEscape(out.data() + lineStart, lineLength)) {
            out.insert(out.begin() + static_cast<std::ptrdiff_t>(lineStart), '>');
        }
        if (!terminated) break;
        out.push_back('\n');
    }
}

void WriteMboxBody(const uint8_t* bytes, size_t length, GMimeMessage* message, ByteVector& out)
{
    if (!bytes) length = 0;
    const size_t bodyStart = out.size();
    out.reserve(bodyStart + length + 256);

    bool receivedDue = true;
    if (message) {
        AppendSynthesizedReceivedLine(message, out);
        receivedDue = false;
    }

    // The same lines as the line reader finds: ended by CR, LF or CR LF.
    // The next CR and the next LF are each looked for only once passed.
    const uint8_t* const end = bytes + length;
    const uint8_t* line = bytes;
    const uint8_t* nextLF = nullptr;
    const uint8_t* nextCR = nullptr;
    auto find = [end](const uint8_t* from, uint8_t byte) {
        const void* hit = std::memchr(from, byte, static_cast<size_t>(end - from));
        return hit ? static_cast<const uint8_t*>(hit) : end;
    };
    while (line < end) {
        if (!nextLF || nextLF < line) nextLF = find(line, '\n');
        if (!nextCR || nextCR < line) nextCR = find(line, '\r');
        const uint8_t* stop = nextLF < nextCR ? nextLF : nextCR;
        const bool terminated = stop < end;
        const size_t lineLength = static_cast<size_t>(stop - line);

        if (terminated && receivedDue && lineLength == 0) {
            receivedDue = false;
            GMimeMessagePtr headers =
                ParseMimeMessageFromBuffer(out.data() + bodyStart, out.size() - bodyStart);
            if (headers) AppendSynthesizedReceivedLine(headers.get(), out);
        }
        if (NeedsMboxEscape(line, lineLength)) out.push_back('>');
        out.insert(out.end(), line, stop);
        if (!terminated) break;
        out.push_back('\n');
        line = stop + (stop + 1 < end && stop[0] == '\r' && stop[1] == '\n' ? 2 : 1);
    }
}

void WriteMboxBody(const boost::shared_ptr<KSDataReadable>& source, GMimeMessage* message,
                   std::ostream& out)
{
    ByteVector body;
    WriteMboxBody(source, message, body);
    out.write(reinterpret_cast<const char*>(body.data()), static_cast<std::streamsize>(body.size()));
}

std::string MboxSeparatorLine(GMimeMessage* message)
{
    int64_t seconds = 0;
    if (message) {
        if (GDateTime* date = g_mime_message_get_date(message)) seconds = g_date_time_to_unix(date);
    }
    if (seconds == 0) seconds = static_cast<int64_t>(std::time(nullptr));
    return "From - " + FormatMboxDate(seconds);
}

int WriteMboxEntry(std::ostream& out, const boost::shared_ptr<KSDataReadable>& source,
                   GMimeMessage* message, int trailingLineFeeds)
{
    ByteVector entry;
    BuildEntry(source, message, trailingLineFeeds, entry);
    return FinishEntry(out, entry);
}

int WriteMboxEntry(std::ostream& out, const boost::shared_ptr<std::vector<uint8_t>>& bytes,
                   GMimeMessage* message, int trailingLineFeeds)
{
    if (!bytes) return WriteMboxEntry(out, boost::shared_ptr<KSDataReadable>(), message, trailingLineFeeds);
    return WriteMboxEntry(out, bytes->data(), bytes->size(), message, trailingLineFeeds);
}

int WriteMboxEntry(std::ostream& out, const uint8_t* bytes, size_t length, GMimeMessage* message,
                   int trailingLineFeeds)
{
    ByteVector entry;
    AppendText(entry, MboxSeparatorLine(message));
    entry.push_back('\n');
    WriteMboxBody(bytes, length, message, entry);
    AppendTrailingLineFeeds(trailingLineFeeds, entry);
    return FinishEntry(out, entry);
}

}  // namespace KestrinMIMEEngineCommon
