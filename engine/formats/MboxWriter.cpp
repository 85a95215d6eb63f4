#include "formats/MboxWriter.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include <strings.h>

#include <boost/optional.hpp>

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
void AppendMboxLines(const uint8_t* bytes, size_t length, ByteVector& out,
                     MboxEntryWriter::HeaderEdit& edit)
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
        const uint8_t* next = stop + (stop + 1 < end && stop[0] == '\r' && stop[1] == '\n' ? 2 : 1);

        if (edit.inHeader) {
            if (lineLength == 0 && terminated) {
                // The end of the header block: the state goes last in it.
                AppendText(out, edit.stateLines);
                edit.inHeader = false;
            } else {
                const bool continuation = lineLength > 0 && (line[0] == ' ' || line[0] == '\t');
                if (!continuation) edit.dropping = IsMboxStateHeader(line, lineLength);
                if (edit.dropping) {
                    if (!terminated) break;
                    line = next;
                    continue;
                }
            }
        }
        if (NeedsMboxEscape(line, lineLength)) out.push_back('>');
        out.insert(out.end(), line, stop);
        if (!terminated) break;
        out.push_back('\n');
        line = next;
    }
}

// Output gathered before it goes to the stream, and input taken at a time.
constexpr size_t kEntryPiece = size_t(1) << 20;

}  // namespace

MboxEntryWriter::MboxEntryWriter(std::ostream& out, const std::string& separatorLine,
                                 const std::string& receivedLine, const std::string& stateLines)
    : m_out(out)
{
    m_edit.stateLines = stateLines;
    m_edit.inHeader = !stateLines.empty();
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
    AppendMboxLines(bytes, length, m_buffer, m_edit);
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
        AppendMboxLines(m_carry.data(), m_carry.size(), m_buffer, m_edit);
        m_carry.clear();
    }
    if (m_edit.inHeader) {
        // A message that is all header block: the state closes it.
        const bool lineOpen = !m_buffer.empty() ? m_buffer.back() != '\n' : m_last[1] != '\n';
        // The line end given here is the one the trailing line feeds would
        // have given: the entry keeps its shape.
        if (lineOpen) {
            m_buffer.push_back('\n');
            if (trailingLineFeeds > 0) --trailingLineFeeds;
        }
        AppendText(m_buffer, m_edit.stateLines);
        m_edit.inHeader = false;
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

std::string MboxStateLines(const MessageState& state)
{
    if (!state.known) return {};
    std::string lines = state.read ? "Status: RO\n" : "Status: O\n";
    std::string x;
    if (state.answered) x += 'A';
    if (state.flagged) x += 'F';
    if (state.deleted) x += 'D';
    if (state.draft) x += 'T';
    if (!x.empty()) lines += "X-Status: " + x + "\n";
    unsigned mozilla = 0;
    if (state.read) mozilla |= 0x0001;
    if (state.answered) mozilla |= 0x0002;
    if (state.flagged) mozilla |= 0x0004;
    if (state.forwarded) mozilla |= 0x1000;
    char hex[8];
    std::snprintf(hex, sizeof hex, "%04x", mozilla);
    lines += std::string("X-Mozilla-Status: ") + hex + "\n";
    return lines;
}

bool IsMboxStateHeader(const uint8_t* line, size_t length)
{
    const uint8_t* colon = static_cast<const uint8_t*>(std::memchr(line, ':', length));
    if (!colon) return false;
    // Field names may have blanks before the colon in old mail.
    size_t nameLength = static_cast<size_t>(colon - line);
    while (nameLength > 0 && (line[nameLength - 1] == ' ' || line[nameLength - 1] == '\t')) --nameLength;
    const std::string name(reinterpret_cast<const char*>(line), nameLength);
    return strcasecmp(name.c_str(), "Status") == 0 || strcasecmp(name.c_str(), "X-Status") == 0 ||
           strcasecmp(name.c_str(), "X-Mozilla-Status") == 0;
}

namespace {

// Calls take(name, value) for each field of the header block, value with
// its continuation lines joined.
template <typename Take>
void ForEachHeaderField(const uint8_t* bytes, size_t length, Take&& take)
{
    std::string name, value;
    bool open = false;
    const auto flush = [&] {
        if (open) take(name, value);
        open = false;
    };
    size_t at = 0;
    while (at < length) {
        const uint8_t* lf = static_cast<const uint8_t*>(std::memchr(bytes + at, '\n', length - at));
        const size_t end = lf ? static_cast<size_t>(lf - bytes) : length;
        size_t lineEnd = end;
        if (lineEnd > at && bytes[lineEnd - 1] == '\r') --lineEnd;
        if (lineEnd == at) break;  // the empty line ends the block
        const std::string line(reinterpret_cast<const char*>(bytes + at), lineEnd - at);
        if (line[0] == ' ' || line[0] == '\t') {
            value += line;
        } else {
            flush();
            const size_t colon = line.find(':');
            if (colon != std::string::npos) {
                name = line.substr(0, colon);
                while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.pop_back();
                value = line.substr(colon + 1);
                open = true;
            }
        }
        at = end + 1;
    }
    flush();
}

}  // namespace

MessageState StateFromMboxHeaders(const uint8_t* bytes, size_t length)
{
    MessageState state;
    bool berkeley = false;
    boost::optional<unsigned long> mozilla;
    ForEachHeaderField(bytes, length, [&](const std::string& name, const std::string& value) {
        if (strcasecmp(name.c_str(), "Status") == 0) {
            berkeley = true;
            if (value.find_first_of("Rr") != std::string::npos) state.read = true;
        } else if (strcasecmp(name.c_str(), "X-Status") == 0) {
            berkeley = true;
            for (char c : value) {
                switch (c) {
                case 'A': case 'a': state.answered = true; break;
                case 'F': case 'f': state.flagged = true; break;
                case 'D': case 'd': state.deleted = true; break;
                case 'T': case 't': state.draft = true; break;
                default: break;
                }
            }
        } else if (strcasecmp(name.c_str(), "X-Mozilla-Status") == 0) {
            char* end = nullptr;
            const unsigned long bits = std::strtoul(value.c_str(), &end, 16);
            if (end != value.c_str()) mozilla = bits;
        }
    });
    if (!berkeley && mozilla) {
        state.read = (*mozilla & 0x0001) != 0;
        state.answered = (*mozilla & 0x0002) != 0;
        state.flagged = (*mozilla & 0x0004) != 0;
        state.forwarded = (*mozilla & 0x1000) != 0;
    }
    state.known = berkeley || mozilla;
    return state;
}

size_t AppendEditedHeaderBlock(const uint8_t* bytes, size_t length, const std::string& stateLines,
                               std::vector<uint8_t>& out)
{
    bool dropping = false;
    size_t at = 0;
    while (at < length) {
        const uint8_t* lf = static_cast<const uint8_t*>(std::memchr(bytes + at, '\n', length - at));
        const size_t next = lf ? static_cast<size_t>(lf - bytes) + 1 : length;
        size_t lineLength = next - at - (lf ? 1 : 0);
        if (lineLength > 0 && bytes[at + lineLength - 1] == '\r') --lineLength;
        if (lineLength == 0 && lf) {
            AppendText(out, stateLines);
            out.insert(out.end(), bytes + at, bytes + next);
            return next;
        }
        const bool continuation = bytes[at] == ' ' || bytes[at] == '\t';
        if (!continuation) dropping = IsMboxStateHeader(bytes + at, lineLength);
        if (!dropping) {
            out.insert(out.end(), bytes + at, bytes + next);
            if (!lf) out.push_back('\n');
        }
        at = next;
    }
    // All header block: the state closes it.
    AppendText(out, stateLines);
    return length;
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
