// The mbox entry rules read the plain way, as the oracle the entry writer is
// checked against: lines end at CR, LF or CR LF and go out ended by LF; a
// line that, after any run of ">", starts with "From " gets one more ">"; an
// unterminated last line is escaped too and gets no line end of its own.
#pragma once

#include <algorithm>
#include <string>

namespace kestrin_test {

inline std::string MboxReferenceBody(const std::string& bytes)
{
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 64);
    auto emit = [&out](const std::string& line, bool terminated) {
        const size_t marks = line.find_first_not_of('>');
        if (marks != std::string::npos && line.compare(marks, 5, "From ") == 0) out += '>';
        out += line;
        if (terminated) out += '\n';
    };
    std::string line;
    for (size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c != '\r' && c != '\n') {
            line += c;
            continue;
        }
        if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
        emit(line, true);
        line.clear();
    }
    if (!line.empty()) emit(line, false);
    return out;
}

// A whole entry: the separator line, the received line as given (with its
// line end, or empty), the body, the trailing line feeds, and more until the
// entry ends with an empty line.
inline std::string MboxReferenceEntry(const std::string& separatorLine, const std::string& receivedLine,
                                      const std::string& bytes, int trailingLineFeeds)
{
    std::string entry = separatorLine + "\n" + receivedLine + MboxReferenceBody(bytes) +
                        std::string(static_cast<size_t>(std::max(trailingLineFeeds, 0)), '\n');
    while (entry.size() < 2 || entry.compare(entry.size() - 2, 2, "\n\n") != 0) entry += '\n';
    return entry;
}

}  // namespace kestrin_test
