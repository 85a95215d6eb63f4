// Bounds on what is read from the mail folder.
#pragma once

#include <cstdint>

namespace KestrinMIMEEngineCommon {

// The largest single message file (.emlx, .emlxpart, attachment file) that is
// read. Far beyond any real message, yet a file that never ends (a link to
// /dev/zero) or a damaged length cannot make a reader grow without bound;
// a larger file fails as one message with a report line.
constexpr int64_t kMaxMessageFileBytes = int64_t(2) << 30;  // 2 GiB

}  // namespace KestrinMIMEEngineCommon
