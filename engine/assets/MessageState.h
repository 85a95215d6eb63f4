// What Apple Mail knew about a message beyond its bytes: whether it was read,
// answered, flagged, and when it arrived. Carried to targets that can hold it
// (mbox Status lines, Maildir file names, file times).
#pragma once

#include <cstdint>

#include <boost/optional.hpp>

namespace KestrinMIMEEngineCommon {

struct MessageState {
    bool read = false;
    bool answered = false;
    bool flagged = false;
    bool deleted = false;
    bool draft = false;
    bool forwarded = false;
    bool junk = false;
    // Apple Mail's flag colour index, where the store keeps one.
    boost::optional<int> flagColour;
    // Seconds since 1970 (UTC) the message was received; unset when no
    // source (index, .emlx trailer, Date header) gave one.
    boost::optional<int64_t> received;
    // False when nothing about the state was found (a source that keeps
    // none): targets then write the message as stored.
    bool known = false;
};

}  // namespace KestrinMIMEEngineCommon
