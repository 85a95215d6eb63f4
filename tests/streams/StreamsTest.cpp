// The concrete byte streams: files, memory buffers, windows, strings, and the
// lock holder.
#include <unistd.h>

#include <functional>
#include <regex>
#include <string>
#include <vector>

#include <boost/filesystem.hpp>
#include <boost/make_shared.hpp>
#include <gtest/gtest.h>

#include "streams/KSContainerData.h"
#include "streams/KSData.h"
#include "streams/KSDiagnostics.h"
#include "streams/KSFileData.h"
#include "streams/KSStringData.h"
#include "streams/KSSubDataReadable.h"
#include "support/FailingStream.h"
#include "support/TestSupport.h"

using namespace KestrinMIMEEngineCommon;
namespace fs = boost::filesystem;

namespace {

// A block of fixed size, as the archive template frame is held.
using KSFixedBlock = std::array<uint8_t, 443>;
using KSFixedBlockData = KSContainerData<KSFixedBlock>;

std::string Bytes(size_t n)
{
    std::string s;
    for (size_t i = 0; i < n; ++i) s.push_back(static_cast<char>(i));
    return s;
}

boost::shared_ptr<KSByteVector> VectorOf(const std::string& s)
{
    return boost::make_shared<KSByteVector>(s.begin(), s.end());
}

std::string ReadAll(KSDataStreamIn& in, size_t chunk = 7)
{
    std::string out;
    std::vector<char> buffer(chunk);
    while (size_t got = in.Read(buffer.data(), chunk)) out.append(buffer.data(), got);
    return out;
}

std::string ReadN(KSDataStreamIn& in, size_t n)
{
    std::string out(n, '\0');
    out.resize(in.Read(&out[0], n));
    return out;
}

// Matches one diagnostic line: local time "%F %r", " ERROR: ", the text.
::testing::AssertionResult IsDiagnostic(const std::string& line, const std::string& text)
{
    std::regex stamp(R"(^\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2} (AM|PM) ERROR: )");
    std::smatch m;
    if (!std::regex_search(line, m, stamp)) return ::testing::AssertionFailure() << "no stamp in: " << line;
    if (line.substr(m.length()) != text + "\n")
        return ::testing::AssertionFailure() << "text was: " << line.substr(m.length());
    return ::testing::AssertionSuccess();
}

// A vector buffer that counts lock calls.
class CountingBuffer : public KSVectorData {
public:
    using KSVectorData::KSVectorData;
    void Lock() override { ++locks; KSVectorData::Lock(); }
    void Unlock() override { ++unlocks; KSVectorData::Unlock(); }
    int locks = 0;
    int unlocks = 0;
};

}  // namespace

// ---------------------------------------------------------------------------
// Seeking, the same operation asked of every kind of readable stream over the
// same 20 bytes (the window is 20 bytes cut from the middle of 40).

struct SeekCase {
    const char* name;
    const char* kind;
    int64_t from;  // position set first (whence 0)
    int64_t offset;
    int whence;
    int64_t expected;
};

void PrintTo(const SeekCase& c, std::ostream* os) { *os << c.name; }

class SeekTable : public ::testing::TestWithParam<SeekCase> {
protected:
    boost::shared_ptr<KSDataReadable> Make(const std::string& kind)
    {
        std::string content = Bytes(20);
        if (kind == "file") {
            kestrin_test::WriteFile(m_dir / "f", content);
            return boost::make_shared<KSFileData>((m_dir / "f").string());
        }
        if (kind == "open file") {
            kestrin_test::WriteFile(m_dir / "f", content);
            auto file = boost::make_shared<KSFileData>((m_dir / "f").string());
            char c;
            file->Read(&c, 1);
            return file;
        }
        if (kind == "vector") return boost::make_shared<KSVectorData>(VectorOf(content));
        if (kind == "fixed") {
            // The fixed block is always 443 bytes; callers only use its front.
            return boost::make_shared<KSFixedBlockData>(boost::make_shared<KSFixedBlock>());
        }
        if (kind == "window") {
            auto source = boost::make_shared<KSVectorData>(VectorOf(Bytes(40)));
            return boost::make_shared<KSSubDataReadable>(source, 10, 20);
        }
        throw std::logic_error(kind);
    }
    kestrin_test::TempDir m_dir;
};

TEST_P(SeekTable, AnswersThePosition)
{
    const SeekCase& c = GetParam();
    auto stream = Make(c.kind);
    stream->Seek(c.from, 0);
    EXPECT_EQ(stream->Seek(c.offset, c.whence), c.expected);
    EXPECT_EQ(stream->Seek(0, 1), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Streams, SeekTable,
    ::testing::Values(
        SeekCase{"file_negative_from_start", "file", 5, -10, 0, 0},
        SeekCase{"open_file_negative_from_start", "open file", 5, -10, 0, 0},
        SeekCase{"vector_negative_from_start", "vector", 5, -10, 0, 0},
        SeekCase{"fixed_negative_from_start", "fixed", 5, -10, 0, 0},
        SeekCase{"window_negative_from_start", "window", 5, -10, 0, 0},
        SeekCase{"file_unknown_whence_goes_to_start", "file", 5, 3, 9, 0},
        SeekCase{"vector_unknown_whence_keeps_position", "vector", 5, 3, 9, 5},
        SeekCase{"fixed_unknown_whence_keeps_position", "fixed", 5, 3, 9, 5},
        SeekCase{"window_unknown_whence_goes_to_start", "window", 5, 3, 9, 0},
        SeekCase{"file_relative", "file", 5, 3, 1, 8},
        SeekCase{"vector_relative", "vector", 5, 3, 1, 8},
        SeekCase{"window_relative", "window", 5, 3, 1, 8},
        SeekCase{"file_from_end", "file", 0, -4, 2, 16},
        SeekCase{"vector_from_end", "vector", 0, -4, 2, 16},
        SeekCase{"fixed_from_end", "fixed", 0, -3, 2, 440},
        SeekCase{"window_from_end", "window", 0, -4, 2, 16},
        SeekCase{"file_beyond_end_is_allowed", "file", 0, 50, 0, 50},
        SeekCase{"vector_beyond_end_grows", "vector", 0, 50, 0, 50},
        SeekCase{"fixed_beyond_end_clamps", "fixed", 0, 1000, 0, 443},
        SeekCase{"window_beyond_end_clamps", "window", 0, 50, 0, 20}),
    [](const ::testing::TestParamInfo<SeekCase>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// KSFileData

TEST(FileData, MissingFileHasSizeZeroFailsToReadAndIsCreatedByWrite)
{
    kestrin_test::TempDir dir;
    std::string path = (dir / "new.bin").string();
    KSFileData file(path);
    EXPECT_EQ(file.GetSize(), 0);

    {
        kestrin_test::CapturedDiagnostics diagnostics;
        char c;
        EXPECT_EQ(file.Read(&c, 1), 0u);
        EXPECT_TRUE(IsDiagnostic(diagnostics.text(), "KSFileData - fopen failed to open file - " + path));
    }
    EXPECT_FALSE(fs::exists(path));

    EXPECT_EQ(file.Write("hello", 5), 5u);
    EXPECT_TRUE(file.Flush());
    EXPECT_EQ(kestrin_test::ReadFile(path), "hello");
    EXPECT_EQ(file.GetSize(), 5);
}

TEST(FileData, WriteBeyondTheEndExtendsWithZeros)
{
    kestrin_test::TempDir dir;
    std::string path = (dir / "f").string();
    KSFileData file(path);
    EXPECT_EQ(file.Seek(10, 0), 10);
    EXPECT_EQ(file.Write("abcde", 5), 5u);
    EXPECT_EQ(file.GetSize(), 15);
    file.Flush();
    EXPECT_EQ(kestrin_test::ReadFile(path), std::string(10, '\0') + "abcde");
}

TEST(FileData, ExistingFileKeepsItsContentAndSizeUntilWritten)
{
    kestrin_test::TempDir dir;
    fs::path path = dir / "f";
    kestrin_test::WriteFile(path, "0123456789");
    KSFileData file(path.string());
    EXPECT_EQ(file.GetSize(), 10);
    // The size is taken once; growth by others is not seen.
    kestrin_test::WriteFile(path, "0123456789ABCDEF");
    EXPECT_EQ(file.GetSize(), 10);
    EXPECT_EQ(ReadN(file, 4), "0123");
    file.Seek(2, 0);
    EXPECT_EQ(file.Write("xy", 2), 2u);
    EXPECT_EQ(file.GetSize(), 10);
    file.Flush();
    EXPECT_EQ(kestrin_test::ReadFile(path), "01xy456789ABCDEF");
}

TEST(FileData, SwitchingBetweenReadAndWriteKeepsThePosition)
{
    kestrin_test::TempDir dir;
    fs::path path = dir / "f";
    kestrin_test::WriteFile(path, "hello world");
    KSFileData file(path.string());
    EXPECT_EQ(ReadN(file, 5), "hello");
    EXPECT_EQ(file.Write("XX", 2), 2u);
    EXPECT_EQ(file.Seek(0, 1), 7);
    EXPECT_EQ(ReadAll(file), "orld");
    file.Flush();
    EXPECT_EQ(kestrin_test::ReadFile(path), "helloXXorld");
}

TEST(FileData, ReadOnlyFileCanBeRead)
{
    if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
    kestrin_test::TempDir dir;
    fs::path path = dir / "f";
    kestrin_test::WriteFile(path, "mail");
    fs::permissions(path, fs::owner_read);
    KSFileData file(path.string());
    EXPECT_EQ(ReadAll(file), "mail");
    kestrin_test::CapturedDiagnostics diagnostics;
    EXPECT_EQ(file.Write("x", 1), 0u);
    EXPECT_TRUE(IsDiagnostic(diagnostics.text(), "KSFileData - fopen failed to open file - " + path.string()));
    EXPECT_EQ(kestrin_test::ReadFile(path), "mail");
}

TEST(FileData, WriteIntoMissingFolderReportsAndRetries)
{
    kestrin_test::TempDir dir;
    fs::path path = dir / "missing" / "f";
    KSFileData file(path.string());
    kestrin_test::CapturedDiagnostics diagnostics;
    EXPECT_EQ(file.Write("x", 1), 0u);
    EXPECT_EQ(file.GetSize(), 0);
    EXPECT_EQ(file.Seek(0, 1), 0);
    EXPECT_TRUE(IsDiagnostic(diagnostics.text(), "KSFileData - fopen failed to open file - " + path.string()));
    EXPECT_TRUE(file.Flush());

    // The handle stays closed after a failure, so the next call tries again.
    fs::create_directory(dir / "missing");
    EXPECT_EQ(file.Write("x", 1), 1u);
    file.Flush();
    EXPECT_EQ(kestrin_test::ReadFile(path), "x");
}

TEST(FileData, ShortWriteIsReportedAndCounted)
{
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    KSFileData file("/dev/full");
    kestrin_test::CapturedDiagnostics diagnostics;
    std::string big(1 << 16, 'x');
    size_t put = file.Write(big.data(), big.size());
    EXPECT_LT(put, big.size());
    EXPECT_EQ(file.Seek(0, 1), static_cast<int64_t>(put));
    EXPECT_TRUE(IsDiagnostic(diagnostics.text(), "KSFileData - fwrite wrote incomplete data to file - /dev/full"));
}

// ---------------------------------------------------------------------------
// Memory buffers

TEST(VectorData, SeekBeyondTheEndGrowsWithZerosAtOnce)
{
    auto bytes = boost::make_shared<KSByteVector>();
    KSVectorData data(bytes);
    EXPECT_EQ(data.Seek(100, 0), 100);
    EXPECT_EQ(data.GetSize(), 100);
    EXPECT_EQ(*bytes, KSByteVector(100, 0));
}

TEST(VectorData, WritesGrowAndOverwriteAndReadsStopAtTheEnd)
{
    auto bytes = VectorOf("abcdef");
    KSVectorData data(bytes);
    data.Seek(4, 0);
    EXPECT_EQ(data.Write("XYZW", 4), 4u);
    EXPECT_EQ(std::string(bytes->begin(), bytes->end()), "abcdXYZW");
    data.Seek(-3, 2);
    EXPECT_EQ(ReadN(data, 10), "YZW");
    char c;
    EXPECT_EQ(data.Read(&c, 1), 0u);
    EXPECT_TRUE(data.Flush());
}

struct FixedCase {
    const char* name;
    int64_t at;
    size_t n;
    size_t expected;
};

void PrintTo(const FixedCase& c, std::ostream* os) { *os << c.name; }

class FixedBlockWrite : public ::testing::TestWithParam<FixedCase> {};

TEST_P(FixedBlockWrite, ClampsToTheBlock)
{
    const FixedCase& c = GetParam();
    auto block = boost::make_shared<KSFixedBlock>();
    block->fill('.');
    KSFixedBlockData data(block);
    data.Seek(c.at, 0);
    std::string payload(c.n, 'w');
    EXPECT_EQ(data.Write(payload.data(), c.n), c.expected);
    EXPECT_EQ(data.Seek(0, 1), c.at + static_cast<int64_t>(c.expected));
    EXPECT_EQ(data.GetSize(), 443);
    std::string all(block->begin(), block->end());
    EXPECT_EQ(all, std::string(c.at, '.') + std::string(c.expected, 'w') +
                       std::string(443 - c.at - c.expected, '.'));

    data.Seek(c.at, 0);
    std::string back(c.n, '\0');
    EXPECT_EQ(data.Read(&back[0], c.n), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Streams, FixedBlockWrite,
    ::testing::Values(FixedCase{"inside", 100, 10, 10}, FixedCase{"crossing_the_end", 440, 10, 3},
                      FixedCase{"exactly_to_the_end", 433, 10, 10}, FixedCase{"at_the_end", 443, 10, 0},
                      FixedCase{"whole_block_and_more", 0, 500, 443}),
    [](const ::testing::TestParamInfo<FixedCase>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Windows

TEST(SubData, WindowToTheEndOfTheSource)
{
    auto source = boost::make_shared<KSVectorData>(VectorOf(Bytes(100)));
    KSSubDataReadable window(source, 10, -1);
    EXPECT_EQ(window.GetSize(), 90);
    EXPECT_EQ(window.Seek(0, 2), 90);
    EXPECT_EQ(window.Seek(80, 0), 80);
    std::string got = ReadN(window, 50);
    EXPECT_EQ(got, Bytes(100).substr(90));
    EXPECT_EQ(ReadN(window, 5), "");
}

TEST(SubData, ReadsStopAtTheWindowEndAndMoveWithTheSource)
{
    auto source = boost::make_shared<KSVectorData>(VectorOf(Bytes(100)));
    KSSubDataReadable window(source, 20, 30);
    window.Seek(0, 0);
    EXPECT_EQ(source->Seek(0, 1), 20);
    EXPECT_EQ(ReadAll(window), Bytes(100).substr(20, 30));
    // No cursor of its own: moving the source moves the window.
    source->Seek(45, 0);
    EXPECT_EQ(window.Seek(0, 1), 25);
    EXPECT_EQ(ReadAll(window), Bytes(100).substr(45, 5));
    // A source outside the window is pulled back into it.
    source->Seek(5, 0);
    EXPECT_EQ(window.Seek(0, 1), 0);
}

TEST(SubData, WindowOnWindowReadsFromTheInnerSource)
{
    auto source = boost::make_shared<KSVectorData>(VectorOf(Bytes(100)));
    auto inner = boost::make_shared<KSSubDataReadable>(source, 5, -1);
    KSSubDataReadable outer(inner, 10, 4);
    EXPECT_EQ(outer.GetSource(), boost::static_pointer_cast<KSDataReadable>(source));
    outer.Seek(0, 0);
    EXPECT_EQ(ReadAll(outer), Bytes(100).substr(15, 4));
}

TEST(SubData, WindowOnWindowStaysInsideTheInnerWindow)
{
    auto source = boost::make_shared<KSVectorData>(VectorOf(Bytes(100)));
    auto inner = boost::make_shared<KSSubDataReadable>(source, 5, 20);
    KSSubDataReadable toEnd(inner, 10, -1);
    EXPECT_EQ(toEnd.GetSize(), 10);
    toEnd.Seek(0, 0);
    EXPECT_EQ(ReadAll(toEnd), Bytes(100).substr(15, 10));
    KSSubDataReadable tooLong(inner, 10, 50);
    EXPECT_EQ(tooLong.GetSize(), 10);
    KSSubDataReadable beyond(inner, 30, -1);
    EXPECT_EQ(beyond.GetSize(), 0);
}

TEST(SubData, LocksTheSource)
{
    auto source = boost::make_shared<CountingBuffer>(VectorOf(Bytes(10)));
    auto window = boost::make_shared<KSSubDataReadable>(source, 2, 3);
    {
        KSDataLock<KSDataStreamIn> lock(window);
        EXPECT_EQ(source->locks, 1);
        EXPECT_EQ(source->unlocks, 0);
    }
    EXPECT_EQ(source->unlocks, 1);
}

// ---------------------------------------------------------------------------
// Lock holder and string sink

TEST(DataLock, CopiesShareOneLock)
{
    auto stream = boost::make_shared<CountingBuffer>(VectorOf("x"));
    auto first = std::make_unique<KSDataLock<KSDataStreamIn>>(stream);
    {
        KSDataLock<KSDataStreamIn> second = *first;
        first.reset();
        EXPECT_EQ(stream->locks, 1);
        EXPECT_EQ(stream->unlocks, 0);
        char c;
        EXPECT_EQ(second->Read(&c, 1), 1u);
    }
    EXPECT_EQ(stream->locks, 1);
    EXPECT_EQ(stream->unlocks, 1);

    KSDataLock<KSDataStreamOut> empty;
    EXPECT_FALSE(empty);
}

TEST(StringData, AppendsToTheCallersString)
{
    std::string target = "a";
    auto sink = boost::make_shared<KSStringData>(&target);
    KSDataLock<KSDataStreamOut> lock(sink);
    EXPECT_EQ(lock->Write("bc\0d", 4), 4u);
    EXPECT_TRUE(lock->Flush());
    EXPECT_EQ(target, std::string("abc\0d", 5));
}

// ---------------------------------------------------------------------------
// Diagnostic stream

TEST(Diagnostics, StampTakesTheLeadingPlaceAndArgumentsFollow)
{
    FILE* before = KSGetDiagnosticStream();
    {
        kestrin_test::CapturedDiagnostics diagnostics;
        EXPECT_NE(KSGetDiagnosticStream(), before);
        KSDiagnostic("ERROR: %d%% of %s\n", 50, "the file");
        KSDiagnostic("ERROR: second\n");
        std::string text = diagnostics.text();
        size_t split = text.find('\n') + 1;
        EXPECT_TRUE(IsDiagnostic(text.substr(0, split), "50% of the file"));
        EXPECT_TRUE(IsDiagnostic(text.substr(split), "second"));
    }
    EXPECT_EQ(KSGetDiagnosticStream(), before);
    FILE* previous = KSSetDiagnosticStream(nullptr);
    EXPECT_EQ(KSGetDiagnosticStream(), stderr);
    KSSetDiagnosticStream(previous);
}

// The helper other areas use for error paths must fail the way it promises.
TEST(FailingStreamHelper, WriterAcceptsItsBudgetThenFails)
{
    auto out = kestrin_test::FailingStream::Writer(5);
    EXPECT_EQ(out->Write("abc", 3), 3u);
    EXPECT_TRUE(out->Flush());
    EXPECT_EQ(out->Write("defg", 4), 2u);
    EXPECT_EQ(out->Write("h", 1), 0u);
    EXPECT_FALSE(out->Flush());
    EXPECT_EQ(out->Written(), "abcde");
}
