// Apple Mail's message flags word, as kept in the Envelope Index
// (messages.flags) and in the "flags" key of an .emlx file's trailer.
//
//   bit 0 read, 1 deleted, 2 answered, 3 encrypted, 4 flagged, 5 recent,
//   6 draft, 8 forwarded, 9 redirected, 10-15 attachment count,
//   16-22 priority, 23 signed, 24 junk, 25 not junk,
//   41-43 flag colour (newer versions; 0 when the message is not flagged).
#pragma once

#include <cstdint>

#include "assets/MessageState.h"

namespace KestrinMIMEEngineCommon {

// The state the word gives, marked known; received is left unset.
MessageState StateFromAppleFlags(uint64_t flags);

}  // namespace KestrinMIMEEngineCommon
