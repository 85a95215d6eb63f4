// Splits an input stream into lines ended by CR, LF or CR LF. The source stays
// locked for the reader's whole life. Input is pulled eight bytes at a time and
// each 8-byte word is tested for CR and LF at once; mailbox files go through
// here byte for byte, so this is the hot path of mbox reading.
#pragma once

#include <cstdint>

#include <boost/shared_ptr.hpp>

#include "streams/KSData.h"

namespace KestrinMIMEEngineCommon {

class KSLineReader {
public:
    explicit KSLineReader(boost::shared_ptr<KSDataStreamIn> source);

    // Writes the next line, without its terminator, to the sink. Answers true
    // when the line ended with a terminator, false when the input ran out
    // (an unterminated last line has then been written).
    bool ReadLine(const KSDataLock<KSDataStreamOut>& sink);

private:
    size_t Fill(size_t from);
    void Drop(size_t count);

    KSDataLock<KSDataStreamIn> m_input;
    uint8_t m_word[8] = {0};
    // Valid bytes of the word while a line is being read; between calls, the
    // bytes kept from the previous line's end (the word then starts with that
    // line's terminator).
    size_t m_count = 0;
};

}  // namespace KestrinMIMEEngineCommon
