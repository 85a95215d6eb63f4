#include "streams/KSLineReader.h"

#include <cstring>

namespace KestrinMIMEEngineCommon {

namespace {

constexpr uint8_t kCR = 0x0D;
constexpr uint8_t kLF = 0x0A;
constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7FULL;

// High bit set in exactly those bytes of v that are zero (no borrow between
// bytes, so the answer is exact per byte whatever the byte order).
inline uint64_t ZeroBytes(uint64_t v) { return ~(((v & kLow7) + kLow7) | v | kLow7); }

inline uint64_t Repeat(uint8_t b) { return 0x0101010101010101ULL * b; }

// Index in memory order of the first CR or LF among the first `valid` bytes,
// or `valid` when there is none.
size_t FindTerminator(const uint8_t* word, size_t valid)
{
    uint64_t v;
    std::memcpy(&v, word, 8);
    uint64_t hits = ZeroBytes(v ^ Repeat(kCR)) | ZeroBytes(v ^ Repeat(kLF));
    if (!hits) return valid;
    // Ask the bytes themselves for the order: mark byte i with the value i.
    static const uint8_t indexBytes[8] = {0, 1, 2, 3, 4, 5, 6, 7};
    uint64_t indexWord;
    std::memcpy(&indexWord, indexBytes, 8);
    size_t first = valid;
    for (uint64_t bits = hits; bits; bits &= bits - 1) {
        unsigned bit = static_cast<unsigned>(__builtin_ctzll(bits));
        size_t index = static_cast<size_t>((indexWord >> (bit & ~7u)) & 0xFF);
        if (index < first) first = index;
    }
    return first;
}

}  // namespace

KSLineReader::KSLineReader(boost::shared_ptr<KSDataStreamIn> source) : m_input(std::move(source)) {}

size_t KSLineReader::Fill(size_t from)
{
    if (from >= 8) return from;
    return from + m_input->Read(m_word + from, 8 - from);
}

void KSLineReader::Drop(size_t count)
{
    std::memmove(m_word, m_word + count, 8 - count);
}

bool KSLineReader::ReadLine(const KSDataLock<KSDataStreamOut>& sink)
{
    if (!m_input) return false;
    bool afterTerminator = m_count != 0;
    // Refill before dropping the previous terminator, so that a CR LF pair
    // split across two reads is still one terminator.
    size_t valid = Fill(m_count);
    if (afterTerminator && valid > 0) {
        size_t drop = (valid >= 2 && m_word[0] == kCR && m_word[1] == kLF) ? 2 : 1;
        Drop(drop);
        valid -= drop;
    }
    m_count = 0;
    // A source that answers short reads may leave the word empty after the
    // terminator although more input follows.
    if (afterTerminator && valid == 0) valid = Fill(0);

    while (valid > 0) {
        size_t at = FindTerminator(m_word, valid);
        if (at == valid) {
            sink->Write(m_word, valid);
            valid = Fill(0);
            continue;
        }
        if (at > 0) {
            sink->Write(m_word, at);
            Drop(at);
        }
        m_count = valid - at;
        return true;
    }
    return false;
}

}  // namespace KestrinMIMEEngineCommon
