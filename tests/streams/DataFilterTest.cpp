// The zstd decompression filter over frames made here with the zstd library.
#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#define ZSTD_STATIC_LINKING_ONLY  // ZSTD_frameHeaderSize, to find a block to damage
#include <zstd.h>

#include <boost/make_shared.hpp>
#include <gtest/gtest.h>

#include "streams/KSContainerData.h"
#include "streams/KSDataFilter.h"
#include "support/FailingStream.h"
#include "support/TestSupport.h"

using namespace KestrinMIMEEngineCommon;

namespace {

// Half text, half noise, so that the frame spans several blocks and many
// 4096-byte source reads.
std::string Payload(size_t size)
{
    std::string out;
    uint32_t state = 12345;
    while (out.size() < size) {
        out += "Line " + std::to_string(out.size()) + " of the template\r\n";
        for (int i = 0; i < 24; ++i) {
            state = state * 1103515245u + 12345u;
            out.push_back(static_cast<char>(state >> 24));
        }
    }
    out.resize(size);
    return out;
}

std::string Compress(const std::string& data)
{
    std::string frame(ZSTD_compressBound(data.size()), '\0');
    size_t size = ZSTD_compress(&frame[0], frame.size(), data.data(), data.size(), 3);
    if (ZSTD_isError(size)) throw std::runtime_error(ZSTD_getErrorName(size));
    frame.resize(size);
    return frame;
}

boost::shared_ptr<KSVectorData> Memory(const std::string& bytes)
{
    return boost::make_shared<KSVectorData>(boost::make_shared<KSByteVector>(bytes.begin(), bytes.end()));
}

// Reads the filter to its end under its lock, `chunk` bytes per call.
std::string Expand(const boost::shared_ptr<KSDataStreamIn>& filter, size_t chunk)
{
    KSDataLock<KSDataStreamIn> lock(filter);
    std::string out;
    std::vector<char> buffer(chunk);
    while (size_t got = lock->Read(buffer.data(), chunk)) out.append(buffer.data(), got);
    return out;
}

// Overwrites the header of the frame's second block with a reserved block
// type, so decoding fails after the first block's bytes.
std::string DamageSecondBlock(std::string frame)
{
    size_t at = ZSTD_frameHeaderSize(frame.data(), frame.size());
    auto byte = [&](size_t i) { return static_cast<uint32_t>(static_cast<uint8_t>(frame[i])); };
    uint32_t header = byte(at) | byte(at + 1) << 8 | byte(at + 2) << 16;
    bool rle = ((header >> 1) & 3) == 1;
    at += 3 + (rle ? 1 : header >> 3);
    for (size_t i = at; i < at + 3; ++i) frame[i] = '\xff';
    return frame;
}

const std::string& Original()
{
    static const std::string data = Payload(300000);
    return data;
}

const std::string& Frame()
{
    static const std::string frame = Compress(Original());
    return frame;
}

}  // namespace

class ZStdChunks : public ::testing::TestWithParam<size_t> {};

TEST_P(ZStdChunks, ExpandsTheWholeFrame)
{
    auto filter = boost::make_shared<ZStdDecompressionFilter>(Memory(Frame()), 300000);
    EXPECT_EQ(filter->GetSize(), 300000);
    kestrin_test::CapturedDiagnostics diagnostics;
    EXPECT_EQ(Expand(filter, GetParam()), Original());
    EXPECT_EQ(filter->GetConsumed(), static_cast<int64_t>(Frame().size()));
    EXPECT_EQ(diagnostics.text(), "");
}

INSTANTIATE_TEST_SUITE_P(Streams, ZStdChunks, ::testing::Values(1, 4095, 4096, 65536, 1 << 20));

TEST(ZStdFilter, StopsAtTheEndOfTheFrame)
{
    auto source = Memory(Frame() + "trailing bytes");
    auto filter = boost::make_shared<ZStdDecompressionFilter>(source, 0);
    EXPECT_EQ(Expand(filter, 10000), Original());
    // The frame's end is found without reading past it.
    EXPECT_EQ(source->Seek(0, 1), static_cast<int64_t>(Frame().size()));
    KSDataLock<KSDataStreamIn> lock(filter);
    char c;
    EXPECT_EQ(lock->Read(&c, 1), 0u);
}

TEST(ZStdFilter, FramesTakeTurnsOverOneSource)
{
    // Two filters over one source, each locked around a batch of reads; each
    // must find the source where it left it.
    auto source = Memory(Frame());
    auto first = boost::make_shared<ZStdDecompressionFilter>(source, 300000);
    auto second = boost::make_shared<ZStdDecompressionFilter>(source, 300000);
    std::string a, b;
    std::vector<char> buffer(7000);
    for (bool done = false; !done;) {
        done = true;
        for (auto* job : {&first, &second}) {
            KSDataLock<KSDataStreamIn> lock(*job);
            size_t got = lock->Read(buffer.data(), buffer.size());
            (job == &first ? a : b).append(buffer.data(), got);
            if (got) done = false;
        }
    }
    EXPECT_EQ(a, Original());
    EXPECT_EQ(b, Original());
}

TEST(DataFilter, PassesBytesThroughAndCountsThem)
{
    auto source = Memory("0123456789");
    auto filter = boost::make_shared<KSDataFilter>(source);
    EXPECT_EQ(filter->GetSize(), 10);
    {
        KSDataLock<KSDataStreamIn> lock(filter);
        char buffer[4];
        EXPECT_EQ(lock->Read(buffer, 4), 4u);
    }
    source->Seek(8, 0);  // someone else moved the source meanwhile
    EXPECT_EQ(Expand(filter, 3), "456789");
    EXPECT_EQ(filter->GetConsumed(), 10);
}

// Broken input: the filter hands out what it decoded before the damage, then
// nothing more.
struct BrokenFrame {
    const char* name;
    std::function<boost::shared_ptr<KSDataStreamIn>()> source;
    bool reported;  // a decoding error reaches the diagnostic stream
    bool partial;   // some bytes come out before the damage
};

void PrintTo(const BrokenFrame& c, std::ostream* os) { *os << c.name; }

class ZStdBroken : public ::testing::TestWithParam<BrokenFrame> {};

TEST_P(ZStdBroken, GivesTheBytesDecodedSoFarThenNothing)
{
    const BrokenFrame& c = GetParam();
    auto filter = boost::make_shared<ZStdDecompressionFilter>(c.source(), 300000);
    kestrin_test::CapturedDiagnostics diagnostics;
    std::string got = Expand(filter, 4096);
    EXPECT_LT(got.size(), Original().size());
    EXPECT_EQ(!got.empty(), c.partial) << got.size();
    EXPECT_EQ(got, Original().substr(0, got.size()));
    EXPECT_EQ(Expand(filter, 4096), "");
    std::string text = diagnostics.text();
    if (c.reported) {
        EXPECT_NE(text.find(" ERROR: Decompression error : Error in asset stream.\n"), std::string::npos) << text;
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
    } else {
        EXPECT_EQ(text, "");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Streams, ZStdBroken,
    ::testing::Values(
        BrokenFrame{"truncated_frame", [] { return Memory(Frame().substr(0, Frame().size() / 2)); }, false, true},
        BrokenFrame{"source_failing_midway",
                    [] { return kestrin_test::FailingStream::Reader(Frame(), Frame().size() * 2 / 3); }, false, true},
        BrokenFrame{"empty_source", [] { return Memory(""); }, false, false},
        BrokenFrame{"not_a_frame", [] { return Memory("this is plain text, not zstd"); }, true, false},
        BrokenFrame{"damaged_second_block", [] { return Memory(DamageSecondBlock(Frame())); }, true, true}),
    [](const ::testing::TestParamInfo<BrokenFrame>& info) { return std::string(info.param.name); });
