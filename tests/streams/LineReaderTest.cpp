// Line splitting: terminators CR, LF and CR LF, including pairs split across
// the reader's 8-byte reads, and sources that hand out fewer bytes than asked.
#include <string>
#include <utility>
#include <vector>

#include <boost/make_shared.hpp>
#include <gtest/gtest.h>

#include "streams/KSContainerData.h"
#include "streams/KSLineReader.h"
#include "streams/KSStringData.h"

using namespace KestrinMIMEEngineCommon;

namespace {

// Hands out one byte per Read, like a slow pipe.
class TrickleSource : public KSDataStreamIn {
public:
    explicit TrickleSource(std::string data) : m_data(std::move(data)) {}
    void Lock() override {}
    void Unlock() override {}
    int64_t GetSize() override { return static_cast<int64_t>(m_data.size()); }
    size_t Read(void* buffer, size_t n) override
    {
        if (n == 0 || m_at >= m_data.size()) return 0;
        static_cast<char*>(buffer)[0] = m_data[m_at++];
        return 1;
    }

private:
    std::string m_data;
    size_t m_at = 0;
};

using Lines = std::vector<std::pair<std::string, bool>>;

// Reads until ReadLine answers false; the last entry is what that call wrote.
Lines Split(boost::shared_ptr<KSDataStreamIn> source)
{
    KSLineReader reader(source);
    Lines lines;
    for (int guard = 0; guard < 100; ++guard) {
        std::string text;
        KSDataLock<KSDataStreamOut> sink(boost::make_shared<KSStringData>(&text));
        bool ended = reader.ReadLine(sink);
        lines.emplace_back(text, ended);
        if (!ended) break;
    }
    return lines;
}

struct LineCase {
    const char* name;
    std::string input;
    Lines expected;
};

void PrintTo(const LineCase& c, std::ostream* os) { *os << c.name; }

class LineSplitting : public ::testing::TestWithParam<std::tuple<LineCase, bool>> {};

TEST_P(LineSplitting, GivesEachLineOnce)
{
    const LineCase& c = std::get<0>(GetParam());
    boost::shared_ptr<KSDataStreamIn> source;
    if (std::get<1>(GetParam()))
        source = boost::make_shared<TrickleSource>(c.input);
    else
        source = boost::make_shared<KSVectorData>(boost::make_shared<KSByteVector>(c.input.begin(), c.input.end()));
    EXPECT_EQ(Split(source), c.expected);
}

const LineCase kLineCases[] = {
    {"crlf_then_lf", "a\r\nb\n", {{"a", true}, {"b", true}, {"", false}}},
    {"empty_line_then_unterminated", "a\n\nb", {{"a", true}, {"", true}, {"b", false}}},
    {"lf_cr_is_two_ends", "a\n\rb", {{"a", true}, {"", true}, {"b", false}}},
    {"cr_alone", "a\rb\r", {{"a", true}, {"b", true}, {"", false}}},
    {"cr_cr_lf", "\r\r\n", {{"", true}, {"", true}, {"", false}}},
    {"empty_input", "", {{"", false}}},
    {"crlf_split_across_reads", "1234567\r\nX\n", {{"1234567", true}, {"X", true}, {"", false}}},
    {"crlf_split_after_long_line", "0123456789abcde\r\nz", {{"0123456789abcde", true}, {"z", false}}},
    {"cr_last_byte_of_word_then_end", "1234567\r", {{"1234567", true}, {"", false}}},
    {"line_of_exactly_eight", "abcdefgh\nij", {{"abcdefgh", true}, {"ij", false}}},
    {"line_over_several_words", "0123456789abcdefghijklmnop\r\nq\r\n",
     {{"0123456789abcdefghijklmnop", true}, {"q", true}, {"", false}}},
    {"many_terminators_in_one_word", "a\nb\nc\nd\ne\n",
     {{"a", true}, {"b", true}, {"c", true}, {"d", true}, {"e", true}, {"", false}}},
    // Bytes that differ from CR or LF in one bit only, and zero bytes, are text.
    {"near_misses_are_text", std::string("\x8d\x8a\x0c\x0e\x1d\x1a\x00x\n", 9),
     {{std::string("\x8d\x8a\x0c\x0e\x1d\x1a\x00x", 8), true}, {"", false}}},
    {"zero_bytes_in_line", std::string("a\0\0b\r\n\0", 7),
     {{std::string("a\0\0b", 4), true}, {std::string("\0", 1), false}}},
};

INSTANTIATE_TEST_SUITE_P(
    Streams, LineSplitting, ::testing::Combine(::testing::ValuesIn(kLineCases), ::testing::Bool()),
    [](const ::testing::TestParamInfo<std::tuple<LineCase, bool>>& info) {
        return std::string(std::get<0>(info.param).name) + (std::get<1>(info.param) ? "_trickle" : "_buffer");
    });

TEST(LineReader, KeepsTheSourceLockedForItsLife)
{
    class CountingSource : public TrickleSource {
    public:
        using TrickleSource::TrickleSource;
        void Lock() override { ++locks; }
        void Unlock() override { ++unlocks; }
        int locks = 0, unlocks = 0;
    };
    auto source = boost::make_shared<CountingSource>("a\nb");
    {
        KSLineReader reader(source);
        std::string text;
        KSDataLock<KSDataStreamOut> sink(boost::make_shared<KSStringData>(&text));
        reader.ReadLine(sink);
        EXPECT_EQ(source->locks, 1);
        EXPECT_EQ(source->unlocks, 0);
    }
    EXPECT_EQ(source->unlocks, 1);
}

}  // namespace
