// What the log, the file names and an mbox entry need to know about a
// message, worked out once while it is loaded, so that no parsed message has
// to be kept until it is written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "mime/MimeServices.h"

namespace KestrinMIMEEngineCommon {

struct MessageHead {
    MessageSummary summary;
    // "From - " + the mbox date of the Date header (the time the head was
    // made when there is none), without line end.
    std::string separatorLine;
    // The synthesized Received line with its line end; empty when the
    // message calls for none.
    std::string receivedLine;
};

// From a parsed message; null gives the head of a message without headers.
// declaredCharset as SummarizeMessage takes it.
MessageHead HeadOfMessage(GMimeMessage* message, const CharsetLookup& declaredCharset = {});

// The length of the header block of raw message bytes: up to and including
// the first empty line (LF or CR LF), the whole length when there is none.
size_t HeaderBlockLength(const uint8_t* bytes, size_t length);

// From the header block alone: the body is never parsed, and what the head
// holds is what a parse of the whole message would give, since the parser
// settles the headers before it looks at anything after them.
//
// Most header blocks are read directly, with GMime's own decoders applied to
// the few fields the head needs; any block the direct reader is not sure to
// read the way the parser would goes through a parse of the header block.
MessageHead HeadOfRawMessage(const uint8_t* bytes, size_t length);

// The charset a raw message declares for its text, as DeclaredCharset of a
// parsed one finds it: the charset of its Content-Type, else of its first
// text part that names one. Read from the Content-Type fields of the header
// blocks alone, without parsing the message.
std::string DeclaredCharsetOfRawMessage(const uint8_t* bytes, size_t length);

// The two ways HeadOfRawMessage works, callable on their own so that they can
// be checked against each other. The direct reader answers false, leaving the
// head as it was, for a header block it leaves to the parser. Both read a
// raw 8-bit subject in the charset declaredCharset names; without it, in the
// one the header block itself declares.
bool ReadHeadFromHeaderBlock(const uint8_t* bytes, size_t length, MessageHead& head,
                             const CharsetLookup& declaredCharset = {});
MessageHead ParseHeadFromHeaderBlock(const uint8_t* bytes, size_t length,
                                     const CharsetLookup& declaredCharset = {});

}  // namespace KestrinMIMEEngineCommon
