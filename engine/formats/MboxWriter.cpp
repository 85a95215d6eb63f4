#include "formats/MboxWriter.h"

#include <cstring>
#include <ctime>

#include "assets/IAsset.h"
#include "mime/MimeServices.h"

namespace KestrinMIMEEngineCommon {

namespace {

using ByteVector = std::vector<uint8_t>;

void AppendText(ByteVector& out, const std::string& text)
{
    out.insert(out.end(), text.begin(), text.end());
}

// The mbox form of lines held in memory: the lines (ended by CR, LF or
// CR LF), each escaped where due and ended by LF; an unterminated last line
// is escaped but gets no line end.
void AppendMboxLines(const uint8_t* bytes, size_t length, ByteVector& out)
{
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

        if (NeedsMboxEscape(line, lineLength)) out.push_back('>');
        out.insert(out.end(), line, stop);
        if (!terminated) break;
        out.push_back('\n');
        line = stop + (stop + 1 < end && stop[0] == '\r' && stop[1] == '\n' ? 2 : 1);
    }
}

// Output gathered before it goes to the stream, and input taken at a time.
constexpr size_t kEntryPiece = size_t(1) << 20;

}  // namespace

MboxEntryWriter::MboxEntryWriter(std::ostream& out, const std::string& separatorLine,
                                 const std::string& receivedLine)
    : m_out(out)
{
    m_buffer.reserve(kEntryPiece + kEntryPiece / 8);
    AppendText(m_buffer, separatorLine);
    m_buffer.push_back('\n');
    AppendText(m_buffer, receivedLine);
}

void MboxEntryWriter::Append(const uint8_t* bytes, size_t length)
{
    if (!bytes) return;
    while (length > 0) {
        const size_t piece = length < kEntryPiece ? length : kEntryPiece;
        AppendPiece(bytes, piece);
        bytes += piece;
        length -= piece;
    }
}

void MboxEntryWriter::AppendPiece(const uint8_t* bytes, size_t length)
{
    const uint8_t* const end = bytes + length;
    if (!m_carry.empty()) {
        // Finish the line the last piece began. A carried CR ended it, taking
        // an LF that follows along.
        const uint8_t* next = bytes;
        if (m_carry.back() == '\r') {
            if (*next == '\n') ++next;
        } else {
            const uint8_t* stop = bytes;
            while (stop < end && *stop != '\n' && *stop != '\r') ++stop;
            if (stop == end || (*stop == '\r' && stop + 1 == end)) {
                m_carry.insert(m_carry.end(), bytes, end);
                return;
            }
            next = stop + (*stop == '\r' && stop[1] == '\n' ? 2 : 1);
        }
        m_carry.insert(m_carry.end(), bytes, next);
        Emit(m_carry.data(), m_carry.size());
        m_carry.clear();
        bytes = next;
    }
    // Whole lines go out now; a line the piece cuts (or a last CR that may be
    // the first half of CR LF) waits for the next piece.
    const uint8_t* cut = end;
    while (cut > bytes && cut[-1] != '\n' && !(cut[-1] == '\r' && cut != end)) --cut;
    Emit(bytes, static_cast<size_t>(cut - bytes));
    m_carry.assign(cut, end);
}

void MboxEntryWriter::Emit(const uint8_t* bytes, size_t length)
{
    AppendMboxLines(bytes, length, m_buffer);
    Drain(false);
}

void MboxEntryWriter::Drain(bool force)
{
    if (m_buffer.empty() || (!force && m_buffer.size() < kEntryPiece)) return;
    const size_t n = m_buffer.size();
    m_last[0] = n >= 2 ? m_buffer[n - 2] : m_last[1];
    m_last[1] = m_buffer[n - 1];
    m_out.write(reinterpret_cast<const char*>(m_buffer.data()), static_cast<std::streamsize>(n));
    m_buffer.clear();
}

WriteResult MboxEntryWriter::Finish(int trailingLineFeeds)
{
    if (!m_carry.empty()) {
        AppendMboxLines(m_carry.data(), m_carry.size(), m_buffer);
        m_carry.clear();
    }
    m_buffer.insert(m_buffer.end(), static_cast<size_t>(trailingLineFeeds > 0 ? trailingLineFeeds : 0), '\n');
    // The separator line is always there, so the entry holds two bytes.
    auto lastTwo = [this](size_t back) {
        const size_t n = m_buffer.size();
        if (back < n) return m_buffer[n - 1 - back];
        return m_last[1 - (back - n)];
    };
    while (lastTwo(0) != '\n' || lastTwo(1) != '\n') m_buffer.push_back('\n');
    Drain(true);
    m_out.flush();
    return m_out.fail() ? WriteResult::StreamFailed : WriteResult::Ok;
}

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

std::string MboxSeparatorLine(GMimeMessage* message)
{
    int64_t seconds = 0;
    if (message) {
        if (GDateTime* date = g_mime_message_get_date(message)) seconds = g_date_time_to_unix(date);
    }
    return MboxSeparatorLine(seconds);
}

std::string MboxSeparatorLine(int64_t seconds)
{
    if (seconds == 0) seconds = static_cast<int64_t>(std::time(nullptr));
    return "From - " + FormatMboxDate(seconds);
}

}  // namespace KestrinMIMEEngineCommon
