// The GMime stream adapter over the engine's data objects.
#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include <boost/make_shared.hpp>
#include <boost/weak_ptr.hpp>
#include <gtest/gtest.h>

#include "MimeTestHelpers.h"
#include "mime/KSGMimeStream.h"
#include "mime/MimeServices.h"
#include "streams/KSContainerData.h"
#include "streams/KSStringData.h"
#include "streams/KSSubDataReadable.h"
#include "support/FailingStream.h"
#include "support/TestSupport.h"

using namespace KestrinMIMEEngineCommon;
using kestrin_test::FailingStream;

namespace {

using mime_test::VectorData;

std::string ReadAll(GMimeStream* stream)
{
    std::string out;
    char buffer[7];  // small on purpose: several reads per test
    while (!g_mime_stream_eos(stream)) {
        ssize_t n = g_mime_stream_read(stream, buffer, sizeof buffer);
        if (n <= 0) break;
        out.append(buffer, static_cast<size_t>(n));
    }
    return out;
}

// Records how the adapter locks: every data call must happen under exactly
// one lock, and no lock may be left held between calls.
class LockCheckingData : public KSVectorData {
public:
    explicit LockCheckingData(const std::string& text)
        : KSVectorData(boost::make_shared<KSByteVector>(text.begin(), text.end()))
    {
    }
    void Lock() override
    {
        KSVectorData::Lock();
        ++depth;
        ++locks;
    }
    void Unlock() override
    {
        --depth;
        KSVectorData::Unlock();
    }
    int64_t GetSize() override
    {
        Check();
        return KSVectorData::GetSize();
    }
    size_t Read(void* buffer, size_t n) override
    {
        Check();
        if (throwOnRead) throw std::runtime_error("disk went away");
        return KSVectorData::Read(buffer, n);
    }
    size_t Write(const void* buffer, size_t n) override
    {
        Check();
        return KSVectorData::Write(buffer, n);
    }
    int64_t Seek(int64_t offset, int whence) override
    {
        Check();
        return KSVectorData::Seek(offset, whence);
    }
    bool Flush() override
    {
        Check();
        return KSVectorData::Flush();
    }

    int depth = 0;
    int locks = 0;
    int unlockedCalls = 0;
    bool throwOnRead = false;

private:
    void Check()
    {
        if (depth != 1) ++unlockedCalls;
    }
};

// An input that can neither seek nor report a position.
class InputOnlyData : public KSDataStreamIn {
public:
    explicit InputOnlyData(std::string text) : m_text(std::move(text)) {}
    void Lock() override {}
    void Unlock() override {}
    int64_t GetSize() override { return static_cast<int64_t>(m_text.size()); }
    size_t Read(void* buffer, size_t n) override
    {
        size_t count = std::min(n, m_text.size() - m_position);
        std::memcpy(buffer, m_text.data() + m_position, count);
        m_position += count;
        return count;
    }

private:
    std::string m_text;
    size_t m_position = 0;
};

}  // namespace

TEST(MimeStream, EmptyPointerGivesNoStream)
{
    EXPECT_FALSE(CreateMimeStream(boost::shared_ptr<KSLockable>()));
}

TEST(MimeStream, IsTheRegisteredKestrinStreamType)
{
    GMimeStreamPtr stream = CreateMimeStream(VectorData("abc"));
    ASSERT_TRUE(stream);
    EXPECT_STREQ("GMimeStreamKSData", G_OBJECT_TYPE_NAME(stream.get()));
    EXPECT_TRUE(GMIME_IS_STREAM(stream.get()));
}

TEST(MimeStream, ShortReadSetsEosWithoutAnotherRead)
{
    // Size 12, but the data object delivers only 4 bytes: the position never
    // reaches the size, so only the short read can tell GMime it is over.
    auto data = FailingStream::Reader("full content", 4);
    GMimeStreamPtr stream = CreateMimeStream(data);
    char buffer[8];
    EXPECT_EQ(4, g_mime_stream_read(stream.get(), buffer, sizeof buffer));
    size_t readsSoFar = data->ReadCalls();
    EXPECT_TRUE(g_mime_stream_eos(stream.get()));
    EXPECT_EQ(readsSoFar, data->ReadCalls());

    EXPECT_NE(-1, g_mime_stream_reset(stream.get()));
    EXPECT_FALSE(g_mime_stream_eos(stream.get()));
    EXPECT_EQ(0, g_mime_stream_tell(stream.get()));
}

TEST(MimeStream, EosFollowsThePosition)
{
    GMimeStreamPtr stream = CreateMimeStream(VectorData("0123456789"));
    char buffer[10];
    EXPECT_FALSE(g_mime_stream_eos(stream.get()));
    ASSERT_EQ(6, g_mime_stream_read(stream.get(), buffer, 6));
    EXPECT_FALSE(g_mime_stream_eos(stream.get()));
    ASSERT_EQ(4, g_mime_stream_read(stream.get(), buffer, 4));  // exact, not short
    EXPECT_TRUE(g_mime_stream_eos(stream.get()));
}

TEST(MimeStream, ZeroByteWriteIsAFailure)
{
    auto data = FailingStream::Writer(3);
    GMimeStreamPtr stream = CreateMimeStream(data);
    EXPECT_EQ(3, g_mime_stream_write(stream.get(), "hello", 5));
    EXPECT_EQ(-1, g_mime_stream_write(stream.get(), "lo", 2));
    EXPECT_EQ("hel", data->Written());
    // The data object's Flush reports the lost bytes; GMime must hear of it.
    EXPECT_EQ(-1, g_mime_stream_flush(stream.get()));
}

TEST(MimeStream, WriteFlushAndCloseOnAHealthyObject)
{
    auto data = VectorData("");
    GMimeStreamPtr stream = CreateMimeStream(data);
    EXPECT_EQ(5, g_mime_stream_write(stream.get(), "hello", 5));
    EXPECT_NE(-1, g_mime_stream_flush(stream.get()));
    EXPECT_EQ(0, g_mime_stream_close(stream.get()));
    EXPECT_EQ(5, data->GetSize());
}

TEST(MimeStream, FacetsTheObjectLacks)
{
    std::string target;
    GMimeStreamPtr outputOnly = CreateMimeStream(boost::make_shared<KSStringData>(&target));
    char buffer[4];
    EXPECT_EQ(0, g_mime_stream_read(outputOnly.get(), buffer, sizeof buffer));
    EXPECT_TRUE(g_mime_stream_eos(outputOnly.get()));
    EXPECT_EQ(0, g_mime_stream_length(outputOnly.get()));
    EXPECT_EQ(-1, g_mime_stream_tell(outputOnly.get()));
    EXPECT_EQ(-1, g_mime_stream_seek(outputOnly.get(), 0, GMIME_STREAM_SEEK_SET));

    auto window = boost::make_shared<KSSubDataReadable>(VectorData("abc"), 0, -1);
    GMimeStreamPtr inputOnly = CreateMimeStream(window);
    EXPECT_EQ(-1, g_mime_stream_write(inputOnly.get(), "x", 1));
    EXPECT_EQ(0, g_mime_stream_flush(inputOnly.get()));
}

struct SeekCase {
    const char* name;
    gint64 offset;
    GMimeSeekWhence whence;
    gint64 expected;
};

class MimeStreamSeek : public ::testing::TestWithParam<SeekCase> {};

TEST_P(MimeStreamSeek, MapsOriginsOneToOne)
{
    const SeekCase& c = GetParam();
    GMimeStreamPtr stream = CreateMimeStream(VectorData(std::string(100, 'x')));
    ASSERT_EQ(40, g_mime_stream_seek(stream.get(), 40, GMIME_STREAM_SEEK_SET));
    EXPECT_EQ(c.expected, g_mime_stream_seek(stream.get(), c.offset, c.whence));
    EXPECT_EQ(c.expected, g_mime_stream_tell(stream.get()));
    EXPECT_EQ(100, g_mime_stream_length(stream.get()));
}

INSTANTIATE_TEST_SUITE_P(
    Origins, MimeStreamSeek,
    ::testing::Values(SeekCase{"FromStart", 10, GMIME_STREAM_SEEK_SET, 10},
                      SeekCase{"FromCurrent", 5, GMIME_STREAM_SEEK_CUR, 45},
                      SeekCase{"BackFromCurrent", -15, GMIME_STREAM_SEEK_CUR, 25},
                      SeekCase{"FromEnd", -10, GMIME_STREAM_SEEK_END, 90},
                      SeekCase{"BeforeStartClamped", -10, GMIME_STREAM_SEEK_SET, 0}),
    [](const ::testing::TestParamInfo<SeekCase>& info) { return std::string(info.param.name); });

struct SubstreamCase {
    const char* name;
    gint64 start;
    gint64 end;
    const char* expected;
};

class MimeSubstream : public ::testing::TestWithParam<SubstreamCase> {};

TEST_P(MimeSubstream, ReadsTheWindow)
{
    const SubstreamCase& c = GetParam();
    GMimeStreamPtr stream = CreateMimeStream(VectorData("Hello, World!"));
    GMimeStreamPtr sub = AdoptGObject(g_mime_stream_substream(stream.get(), c.start, c.end));
    ASSERT_TRUE(sub);
    EXPECT_STREQ("GMimeStreamKSData", G_OBJECT_TYPE_NAME(sub.get()));
    EXPECT_EQ(static_cast<gint64>(std::string(c.expected).size()), g_mime_stream_length(sub.get()));
    EXPECT_EQ(c.expected, ReadAll(sub.get()));
    // A reset rewinds to the window's start, not the source's.
    g_mime_stream_reset(sub.get());
    EXPECT_EQ(c.expected, ReadAll(sub.get()));
}

INSTANTIATE_TEST_SUITE_P(
    Windows, MimeSubstream,
    ::testing::Values(SubstreamCase{"Middle", 7, 12, "World"},
                      SubstreamCase{"OpenEnd", 7, -1, "World!"},
                      SubstreamCase{"Whole", 0, -1, "Hello, World!"},
                      SubstreamCase{"EndBeforeStart", 5, 3, ""},
                      SubstreamCase{"Empty", 4, 4, ""}),
    [](const ::testing::TestParamInfo<SubstreamCase>& info) { return std::string(info.param.name); });

TEST(MimeStream, SubstreamOfSubstreamReadsTheSourceOffsets)
{
    GMimeStreamPtr stream = CreateMimeStream(VectorData("0123456789abcdef"));
    GMimeStreamPtr outer = AdoptGObject(g_mime_stream_substream(stream.get(), 4, -1));
    GMimeStreamPtr inner = AdoptGObject(g_mime_stream_substream(outer.get(), 2, 6));
    ASSERT_TRUE(inner);
    EXPECT_EQ("6789", ReadAll(inner.get()));
}

TEST(MimeStream, SubstreamOfAnUnreadableObjectIsLoggedAndNull)
{
    kestrin_test::CapturedDiagnostics diagnostics;
    std::string target;
    GMimeStreamPtr stream = CreateMimeStream(boost::make_shared<KSStringData>(&target));
    GMimeStream* sub = GMIME_STREAM_GET_CLASS(stream.get())->substream(stream.get(), 0, 4);
    EXPECT_EQ(nullptr, sub);
    EXPECT_NE(std::string::npos,
              diagnostics.text().find(" ERROR: Cannot create substream in KSGMimeStream\n"));
}

TEST(MimeStream, LocksAroundEachOperationOnly)
{
    auto data = boost::make_shared<LockCheckingData>("0123456789");
    GMimeStreamPtr stream = CreateMimeStream(data);
    char buffer[4];
    g_mime_stream_read(stream.get(), buffer, sizeof buffer);
    g_mime_stream_eos(stream.get());
    g_mime_stream_seek(stream.get(), 2, GMIME_STREAM_SEEK_SET);
    g_mime_stream_tell(stream.get());
    g_mime_stream_length(stream.get());
    g_mime_stream_write(stream.get(), "xy", 2);
    g_mime_stream_flush(stream.get());
    g_mime_stream_reset(stream.get());
    GMimeStreamPtr sub = AdoptGObject(g_mime_stream_substream(stream.get(), 1, -1));
    EXPECT_EQ("1xy456789", ReadAll(sub.get()));

    EXPECT_EQ(0, data->unlockedCalls);
    EXPECT_EQ(0, data->depth);
    EXPECT_GE(data->locks, 9);
}

TEST(MimeStream, ThrowingObjectFailsTheCallAndReleasesTheLock)
{
    kestrin_test::CapturedDiagnostics diagnostics;
    auto data = boost::make_shared<LockCheckingData>("0123456789");
    data->throwOnRead = true;
    GMimeStreamPtr stream = CreateMimeStream(data);
    char buffer[4];
    EXPECT_EQ(-1, g_mime_stream_read(stream.get(), buffer, sizeof buffer));
    EXPECT_EQ(0, data->depth);
    EXPECT_NE(std::string::npos, diagnostics.text().find("disk went away"));
}

TEST(MimeStream, HoldsTheDataObjectUntilFinalized)
{
    auto data = VectorData("abc");
    boost::weak_ptr<KSVectorData> watch = data;
    GMimeStreamPtr stream = CreateMimeStream(data);
    data.reset();
    EXPECT_FALSE(watch.expired());
    stream.reset();
    EXPECT_TRUE(watch.expired());
}

TEST(MimeStream, ParsesFromAnObjectThatCannotSeek)
{
    // Such an object has no position to give: GMime must copy the parts
    // instead of asking for substreams the object cannot provide.
    const std::string text = "Subject: Plain\n\nBody line\n";
    GMimeMessagePtr message = ParseMimeMessage(boost::make_shared<InputOnlyData>(text));
    ASSERT_TRUE(message);
    EXPECT_STREQ("Plain", g_mime_message_get_subject(message.get()));
    EXPECT_EQ(text, mime_test::MessageText(message.get()));
}
