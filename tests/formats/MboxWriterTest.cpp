// The mbox entry every raw-bytes message writes: escaping, line ends, the
// synthesized Received line, the separator, and failing output streams.
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "FormatsTestHelpers.h"
#include "formats/MboxWriter.h"
#include "streams/KSContainerData.h"
#include "support/FailingStream.h"

namespace formats_test {
namespace {

const char kReceivedPrefix[] = "Received: (Synthesized by Kestrin MIME Converter Same as Date. "
                               "Ignore in case of forensic analysis.); ";

boost::shared_ptr<KSDataReadable> Source(const std::string& bytes)
{
    return boost::make_shared<KSVectorData>(
        boost::make_shared<std::vector<uint8_t>>(bytes.begin(), bytes.end()));
}

std::string MboxBodyFromMemory(const std::string& source, GMimeMessage* message)
{
    std::vector<uint8_t> out;
    WriteMboxBody(reinterpret_cast<const uint8_t*>(source.data()), source.size(), message, out);
    return AsString(out);
}

// Messages held in memory take their own path through the writer; every
// case checks that it writes what the stream path writes.
std::string MboxBodyOf(const std::string& source, GMimeMessage* message = nullptr)
{
    std::vector<uint8_t> out;
    WriteMboxBody(Source(source), message, out);
    EXPECT_EQ(MboxBodyFromMemory(source, message), AsString(out)) << "source: " << source;
    return AsString(out);
}

struct EscapeCase {
    const char* name;
    const char* line;
    const char* escaped;
};

class MboxEscaping : public ::testing::TestWithParam<EscapeCase> {};

TEST_P(MboxEscaping, BodyLineIsEscapedAndUnescapesBack)
{
    const EscapeCase& c = GetParam();
    const std::string header = "Subject: x\n\n";
    EXPECT_EQ(MboxBodyOf(header + c.line + "\n"), header + c.escaped + "\n");

    // Reading back takes exactly the added ">" off again.
    const std::string escaped = c.escaped;
    const size_t skip = MboxUnescapePrefix(reinterpret_cast<const uint8_t*>(escaped.data()),
                                           escaped.size());
    EXPECT_EQ(escaped.substr(skip), c.line);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, MboxEscaping,
    ::testing::Values(EscapeCase{"FromSpaceGetsOneMark", "From here on", ">From here on"},
                      EscapeCase{"FromSpaceAloneGetsOneMark", "From ", ">From "},
                      EscapeCase{"EscapedFromGetsASecondMark", ">From here on", ">>From here on"},
                      EscapeCase{"LongRunGetsOneMore", ">>>From x", ">>>>From x"},
                      EscapeCase{"MarkAndFromWithoutSpaceUnchanged", ">From", ">From"},
                      EscapeCase{"FromAloneUnchanged", "From", "From"},
                      EscapeCase{"FromAsPartOfAWordUnchanged", "Fromage", "Fromage"},
                      EscapeCase{"LowerCaseFromUnchanged", "from here", "from here"},
                      EscapeCase{"IndentedFromUnchanged", " From here", " From here"},
                      EscapeCase{"MarkSpaceFromUnchanged", "> From here", "> From here"},
                      EscapeCase{"MarksAloneUnchanged", ">>>", ">>>"}),
    [](const ::testing::TestParamInfo<EscapeCase>& info) { return info.param.name; });

struct LineEndCase {
    const char* name;
    const char* source;
    const char* body;
};

class MboxLineEnds : public ::testing::TestWithParam<LineEndCase> {};

TEST_P(MboxLineEnds, BodyUsesLineFeedsOnly)
{
    EXPECT_EQ(MboxBodyOf(GetParam().source), GetParam().body);
}

INSTANTIATE_TEST_SUITE_P(
    Sources, MboxLineEnds,
    ::testing::Values(
        LineEndCase{"CrLf", "Subject: a\r\n\r\none\r\ntwo\r\n", "Subject: a\n\none\ntwo\n"},
        LineEndCase{"LoneCr", "Subject: a\r\rone\rtwo\r", "Subject: a\n\none\ntwo\n"},
        LineEndCase{"Mixed", "Subject: a\n\r\none\rtwo\r\n", "Subject: a\n\none\ntwo\n"},
        LineEndCase{"UnterminatedLastLineStaysWithoutLineEnd", "Subject: a\n\none\ntwo",
                    "Subject: a\n\none\ntwo"},
        LineEndCase{"UnterminatedLastFromLineIsEscaped", "Subject: a\n\none\nFrom the end",
                    "Subject: a\n\none\n>From the end"},
        LineEndCase{"EmptySource", "", ""}),
    [](const ::testing::TestParamInfo<LineEndCase>& info) { return info.param.name; });

TEST(MboxReceivedLine, GoesFirstWhenTheCallerParsedTheMessage)
{
    const std::string source = "Received-SPF: pass\r\nDate: Tue, 05 Mar 2019 14:07:09 +0000\r\n"
                               "Subject: spf\r\n\r\nbody\r\n";
    auto message = ParseMimeMessageFromBuffer(reinterpret_cast<const uint8_t*>(source.data()),
                                              source.size());
    ASSERT_TRUE(message);
    EXPECT_EQ(MboxBodyOf(source, message.get()),
              std::string(kReceivedPrefix) + "Tue, 05 Mar 2019 14:07:09 +0000\n" +
                  "Received-SPF: pass\nDate: Tue, 05 Mar 2019 14:07:09 +0000\nSubject: spf\n\nbody\n");
}

TEST(MboxReceivedLine, EndsTheHeaderBlockWhenNobodyParsedTheMessage)
{
    const std::string source = "Received-SPF: pass\r\nDate: Tue, 05 Mar 2019 14:07:09 +0000\r\n"
                               "Subject: spf\r\n\r\nbody\r\n\r\nlater paragraph\r\n";
    EXPECT_EQ(MboxBodyOf(source),
              "Received-SPF: pass\nDate: Tue, 05 Mar 2019 14:07:09 +0000\nSubject: spf\n" +
                  std::string(kReceivedPrefix) + "Tue, 05 Mar 2019 14:07:09 +0000\n" +
                  "\nbody\n\nlater paragraph\n");
}

TEST(MboxReceivedLine, NoneWhenAReceivedHeaderComesFirst)
{
    const std::string source = "Received: from a by b\r\nReceived-SPF: pass\r\n"
                               "Date: Tue, 05 Mar 2019 14:07:09 +0000\r\n\r\nbody\r\n";
    EXPECT_EQ(MboxBodyOf(source), "Received: from a by b\nReceived-SPF: pass\n"
                                  "Date: Tue, 05 Mar 2019 14:07:09 +0000\n\nbody\n");
}

// Line ends, escapes and header ends in every mix: up to maxPieces pieces,
// drawn by a fixed generator so that a failure repeats.
std::string MixedSource(uint32_t& seed, uint32_t maxPieces)
{
    const char* const pieces[] = {"\r", "\n", "\r\n", "From ", ">", "x", "Subject: s", ""};
    std::string source;
    const uint32_t count = seed % maxPieces;
    for (uint32_t i = 0; i < count; ++i) {
        seed = seed * 1103515245u + 12345u;
        source += pieces[(seed >> 16) % 8];
    }
    seed = seed * 1103515245u + 12345u;
    return source;
}

// Mixed input, also split where the stream path reads eight bytes at a time.
TEST(MboxMemoryPath, WritesWhatTheStreamPathWritesForMixedInput)
{
    uint32_t seed = 12345;
    for (int round = 0; round < 400; ++round) {
        const std::string source = MixedSource(seed, 24);
        std::vector<uint8_t> streamed;
        WriteMboxBody(Source(source), nullptr, streamed);
        EXPECT_EQ(MboxBodyFromMemory(source, nullptr), AsString(streamed)) << "source: " << source;
    }
}

// A message handed over in pieces (windows of a large file) may be cut
// anywhere: inside a line, between CR and LF, inside a run of ">" before
// "From ". Every cut must give the entry the whole message gives.
TEST(MboxEntryInPieces, EveryCutGivesTheEntryOfTheWholeMessage)
{
    uint32_t seed = 777;
    auto entryOf = [](const std::vector<std::pair<size_t, size_t>>& parts, const std::string& source) {
        std::ostringstream out;
        MboxEntryWriter writer(out, "From - sep", "Received: r\n");
        for (const auto& part : parts)
            writer.Append(reinterpret_cast<const uint8_t*>(source.data()) + part.first, part.second);
        EXPECT_EQ(writer.Finish(1), kWriteOK);
        return out.str();
    };
    for (int round = 0; round < 150; ++round) {
        const std::string source = MixedSource(seed, 20);
        SCOPED_TRACE("source: " + source);

        // The oracle: the line reader's body after the given head lines.
        std::vector<uint8_t> body;
        WriteMboxBody(Source(source), nullptr, body);
        std::string expected = "From - sep\nReceived: r\n" + AsString(body) + "\n";
        while (expected.size() < 2 || expected.compare(expected.size() - 2, 2, "\n\n") != 0) expected += '\n';

        EXPECT_EQ(entryOf({{0, source.size()}}, source), expected);
        for (size_t cut = 0; cut <= source.size(); ++cut)
            EXPECT_EQ(entryOf({{0, cut}, {cut, source.size() - cut}}, source), expected) << "cut at " << cut;
        std::vector<std::pair<size_t, size_t>> bytewise;
        for (size_t i = 0; i < source.size(); ++i) bytewise.push_back({i, 1});
        EXPECT_EQ(entryOf(bytewise, source), expected) << "byte by byte";
    }
}

TEST(MboxEntry, SeparatorCarriesTheMessageDateAndTheEntryEndsWithTwoLineFeeds)
{
    auto asset = EmlAsset(MessageText("Dated", {"From me", "bye"}));
    std::ostringstream out;
    EXPECT_EQ(asset->WriteMBOXMessage(out), kWriteOK);
    const std::string entry = out.str();
    const std::string expectedStart = "From - Tue Mar 05 14:07:09 2019\nFrom: Alice <alice@example.com>\n";
    EXPECT_EQ(entry.substr(0, expectedStart.size()), expectedStart);
    EXPECT_NE(entry.find("\n\n>From me\nbye\n\n\n"), std::string::npos) << entry;
    EXPECT_EQ(entry.find('\r'), std::string::npos);
}

TEST(MboxEntry, MessageWithoutDateUsesTheCurrentTime)
{
    const std::string source = "Subject: undated\r\n\r\nbody\r\n";
    auto message = ParseMimeMessageFromBuffer(reinterpret_cast<const uint8_t*>(source.data()),
                                              source.size());
    const std::string before = "From - " + FormatMboxDate(static_cast<int64_t>(std::time(nullptr)));
    const std::string line = MboxSeparatorLine(message.get());
    const std::string after = "From - " + FormatMboxDate(static_cast<int64_t>(std::time(nullptr)));
    EXPECT_TRUE(line == before || line == after) << line;
    EXPECT_EQ(MboxSeparatorLine(nullptr).substr(0, 7), "From - ");
}

TEST(MboxEntry, HelperWritesTheRequestedTrailingLineFeeds)
{
    auto bytes = boost::make_shared<std::vector<uint8_t>>();
    const std::string text = "Date: Tue, 05 Mar 2019 14:07:09 +0000\r\nSubject: s\r\n\r\nbody\r\n";
    bytes->assign(text.begin(), text.end());
    auto message = ParseMimeMessageFromBuffer(bytes->data(), bytes->size());
    std::ostringstream out;
    EXPECT_EQ(WriteMboxEntry(out, bytes, message.get(), 1), kWriteOK);
    EXPECT_EQ(out.str(), "From - Tue Mar 05 14:07:09 2019\n"
                         "Date: Tue, 05 Mar 2019 14:07:09 +0000\nSubject: s\n\nbody\n\n");
}

// Whatever the item's trailing line feeds and however the message ends, the
// entry ends with the last line ended and one empty line, so the next
// separator is a line of its own.
TEST(MboxEntry, EveryEntryEndsWithAnEmptyLineBeforeTheNextSeparator)
{
    struct Case {
        const char* name;
        std::string body;  // after the header block
        int trailingLineFeeds;
        std::string expectedEnd;
    };
    const Case cases[] = {
        {"line feed, one trailing", "last\n", 1, "\nlast\n\n"},
        {"no line end, one trailing", "last", 1, "\nlast\n\n"},
        {"CR LF, one trailing", "last\r\n", 1, "\nlast\n\n"},
        {"lone CR, one trailing", "last\r", 1, "\nlast\n\n"},
        {"no line end, two trailing", "last", 2, "\nlast\n\n"},
        {"line feed, two trailing", "last\n", 2, "\nlast\n\n\n"},
        {"no line end, none asked", "last", 0, "\nlast\n\n"},
        {"escaped last line without end", "From here", 1, "\n>From here\n\n"},
        {"empty body", "", 1, "Subject: s\n\n\n"},
    };
    const std::string headers = "Date: Tue, 05 Mar 2019 14:07:09 +0000\r\nSubject: s\r\n\r\n";
    for (const Case& c : cases) {
        const std::string text = headers + c.body;
        auto bytes = boost::make_shared<std::vector<uint8_t>>(text.begin(), text.end());
        auto message = ParseMimeMessageFromBuffer(bytes->data(), bytes->size());
        std::ostringstream fromMemory;
        std::ostringstream fromStream;
        ASSERT_EQ(WriteMboxEntry(fromMemory, bytes, message.get(), c.trailingLineFeeds), kWriteOK);
        ASSERT_EQ(WriteMboxEntry(fromStream, Source(text), message.get(), c.trailingLineFeeds),
                  kWriteOK);
        for (const std::string& entry : {fromMemory.str(), fromStream.str()}) {
            ASSERT_GE(entry.size(), c.expectedEnd.size()) << c.name;
            EXPECT_EQ(entry.substr(entry.size() - c.expectedEnd.size()), c.expectedEnd)
                << c.name << ": " << entry;
        }
    }
}

// A failed output must never pass for a written message.
TEST(MboxEntryFailure, FullDiskIsReported)
{
    std::ofstream full("/dev/full", std::ios::binary | std::ios::app);
    ASSERT_TRUE(full.is_open());
    auto asset = EmlAsset(MessageText("Lost", {"body"}));
    EXPECT_EQ(asset->WriteMBOXMessage(full), kWriteStreamFailed);

    MBOXEmailAsset fromMailbox(std::vector<uint8_t>(asset->GetRawBytes()->begin(),
                                                    asset->GetRawBytes()->end()));
    std::ofstream full2("/dev/full", std::ios::binary | std::ios::app);
    EXPECT_EQ(fromMailbox.WriteMBOXMessage(full2), kWriteStreamFailed);
}

TEST(MboxEntryFailure, StreamAlreadyFailedIsReported)
{
    std::ostringstream broken;
    broken.setstate(std::ios::badbit);
    EXPECT_EQ(EmlAsset(MessageText("Lost", {"body"}))->WriteMBOXMessage(broken), kWriteStreamFailed);
}

}  // namespace
}  // namespace formats_test
