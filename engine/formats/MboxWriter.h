// The mbox entry format shared by every e-mail item that holds its message as
// raw RFC 822 bytes (the EML message, the Apple Mail message, ...).
//
// An entry is
//     "From - " + date + "\n"      the separator line
//     [Received: (Synthesized ...) line]
//     the message, LF line ends, separator-like lines escaped
//     "\n" x trailingLineFeeds, and more until the entry ends with an empty
//     line (an unterminated last line gets its line end first)
//
// Escaping: a line that, after any run of ">", starts with "From " gets one
// more ">" in front, so readers never take a body line for a separator and
// the writer of the EML form can take exactly one ">" off again
// (UnescapeMboxLine).
#pragma once

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include <gmime/gmime.h>

#include "assets/Codes.h"
#include "assets/MessageState.h"

namespace KestrinMIMEEngineCommon {

// "From - " + the mbox date of the message's Date header, without line end.
// The current time stands in when there is no message, no Date, or a Date
// that converts to 0.
std::string MboxSeparatorLine(GMimeMessage* message);
// The same for a date in seconds since 1970 (0: none).
std::string MboxSeparatorLine(int64_t seconds);

// Writes one mbox entry to a stream piece by piece: the separator line and
// the synthesized Received line worked out beforehand, then the message bytes
// in as many pieces as the caller likes (split anywhere, even inside a line
// or between CR and LF), then the trailing line feeds. Escaping and line ends
// follow the rules above. Memory stays at about one buffer of output however
// large the message, so a message read from its file in windows is never
// held whole.
class MboxEntryWriter {
public:
    // receivedLine is written as given (with its line end), right after the
    // separator line; empty when the message calls for none.
    // stateLines (from MboxStateLines), when not empty, take the place of
    // the state lines the message's own header block carries, at the end of
    // that block; nothing else of the message changes.
    MboxEntryWriter(std::ostream& out, const std::string& separatorLine,
                    const std::string& receivedLine, const std::string& stateLines = std::string());
    void Append(const uint8_t* bytes, size_t length);
    // Ends the entry with the trailing line feeds, and more until it ends
    // with an empty line (the Apple Mail item asks for one, the EML item for
    // two), and flushes: WriteResult::Ok, or WriteResult::StreamFailed when the stream is
    // in a failed state afterwards (disk full, I/O error): the caller must not
    // count the message as written.
    WriteResult Finish(int trailingLineFeeds);

private:
    void AppendPiece(const uint8_t* bytes, size_t length);
    void Emit(const uint8_t* bytes, size_t length);
    void Drain(bool force);

    std::ostream& m_out;
    std::vector<uint8_t> m_buffer;
    // The start of a line that the previous piece did not finish.
    std::vector<uint8_t> m_carry;
    // The last two bytes that went into the entry (for its closing empty line).
    uint8_t m_last[2] = {0, 0};

public:
    // Where the writer is in the message's header block while it puts
    // state lines in.
    struct HeaderEdit {
        std::string stateLines;
        bool inHeader = false;
        bool dropping = false;  // inside a state line being replaced
    };

private:
    HeaderEdit m_edit;
};

// The lines that carry a message's state in a mailbox, each ended by LF:
//   "Status: RO" for a read message, "Status: O" for an unread one;
//   "X-Status: " with A answered, F flagged, D deleted, T draft (left out
//   when none applies);
//   "X-Mozilla-Status: " and four hex digits: 0001 read, 0002 answered,
//   0004 flagged, 1000 forwarded. Deleted is left out of it on purpose: that
//   reader hides such messages and drops them when it compacts.
// Empty when the state is not known.
std::string MboxStateLines(const MessageState& state);

// True when the header line (without line end) is one of the fields
// MboxStateLines writes: Status, X-Status, X-Mozilla-Status (any case).
bool IsMboxStateHeader(const uint8_t* line, size_t length);

// The state a message read from a mailbox carries in its header block
// (LF or CR LF line ends): Status R read; X-Status A answered, F flagged,
// D deleted, T draft; X-Mozilla-Status only when neither of those is there.
// Known when any of them is present; received is left unset.
MessageState StateFromMboxHeaders(const uint8_t* bytes, size_t length);

// The header block of bytes (LF line ends, as in a mailbox) with its state
// lines replaced by stateLines at the block's end; appended to out, the
// body after it unchanged. Answers the length of bytes taken as header
// block (up to and including its empty line).
size_t AppendEditedHeaderBlock(const uint8_t* bytes, size_t length, const std::string& stateLines,
                               std::vector<uint8_t>& out);

// True when the line (without its line end), after any run of leading ">",
// starts with "From ": the writer puts one more ">" in front of it.
bool NeedsMboxEscape(const uint8_t* line, size_t length);

// Number of leading bytes (0 or 1) to drop from a line read from a mailbox to
// undo the writer's escaping: 1 for one or more ">" followed by "From ".
size_t MboxUnescapePrefix(const uint8_t* line, size_t length);

}  // namespace KestrinMIMEEngineCommon
