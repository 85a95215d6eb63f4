#include "applemail/AppleMailFlags.h"

namespace KestrinMIMEEngineCommon {

namespace {

constexpr uint64_t kRead = uint64_t(1) << 0;
constexpr uint64_t kDeleted = uint64_t(1) << 1;
constexpr uint64_t kAnswered = uint64_t(1) << 2;
constexpr uint64_t kFlagged = uint64_t(1) << 4;
constexpr uint64_t kDraft = uint64_t(1) << 6;
constexpr uint64_t kForwarded = uint64_t(1) << 8;
constexpr uint64_t kJunk = uint64_t(1) << 24;
constexpr int kColourShift = 41;
constexpr uint64_t kColourMask = 7;

}  // namespace

MessageState StateFromAppleFlags(uint64_t flags)
{
    MessageState state;
    state.read = (flags & kRead) != 0;
    state.deleted = (flags & kDeleted) != 0;
    state.answered = (flags & kAnswered) != 0;
    state.flagged = (flags & kFlagged) != 0;
    state.draft = (flags & kDraft) != 0;
    state.forwarded = (flags & kForwarded) != 0;
    state.junk = (flags & kJunk) != 0;
    // Red is colour 0, so the colour bits only mean something on a flagged
    // message.
    if (state.flagged) state.flagColour = static_cast<int>((flags >> kColourShift) & kColourMask);
    state.known = true;
    return state;
}

}  // namespace KestrinMIMEEngineCommon
