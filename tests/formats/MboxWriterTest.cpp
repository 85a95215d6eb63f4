// The mbox entry every raw-bytes message writes: escaping, line ends, the
// synthesized Received line, the separator, and failing output streams.
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "FormatsTestHelpers.h"
#include "formats/MboxWriter.h"
#include "mime/MimeServices.h"
#include "support/FailingStream.h"
#include "support/MboxReference.h"

namespace formats_test {
namespace {

const char kReceivedPrefix[] = "Received: (Synthesized by Kestrin MIME Converter Same as Date. "
                               "Ignore in case of forensic analysis.); ";

const char kSeparator[] = "From - sep";

// The entry of source through the writer, in one piece.
std::string EntryOf(const std::string& source, const std::string& receivedLine = std::string(),
                    int trailingLineFeeds = 0)
{
    std::ostringstream out;
    MboxEntryWriter writer(out, kSeparator, receivedLine);
    writer.Append(reinterpret_cast<const uint8_t*>(source.data()), source.size());
    EXPECT_EQ(writer.Finish(trailingLineFeeds), WriteResult::Ok);
    return out.str();
}

// The entry around a body: the separator line before it, line feeds after
// it until it ends with an empty line.
std::string EntryAround(const std::string& body)
{
    std::string entry = std::string(kSeparator) + "\n" + body;
    while (entry.compare(entry.size() - 2, 2, "\n\n") != 0) entry += '\n';
    return entry;
}

// The entry an item writes for a parsed message: its separator and
// synthesized Received line worked out first.
WriteResult WriteEntry(std::ostream& out, const std::string& text, GMimeMessage* message, int trailingLineFeeds)
{
    std::string received;
    AppendSynthesizedReceived(message, received);
    MboxEntryWriter writer(out, MboxSeparatorLine(message), received);
    writer.Append(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    return writer.Finish(trailingLineFeeds);
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
    EXPECT_EQ(EntryOf(header + c.line + "\n"), EntryAround(header + c.escaped + "\n"));

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
    EXPECT_EQ(EntryOf(GetParam().source), EntryAround(GetParam().body));
}

INSTANTIATE_TEST_SUITE_P(
    Sources, MboxLineEnds,
    ::testing::Values(
        LineEndCase{"CrLf", "Subject: a\r\n\r\none\r\ntwo\r\n", "Subject: a\n\none\ntwo\n"},
        LineEndCase{"LoneCr", "Subject: a\r\rone\rtwo\r", "Subject: a\n\none\ntwo\n"},
        LineEndCase{"Mixed", "Subject: a\n\r\none\rtwo\r\n", "Subject: a\n\none\ntwo\n"},
        LineEndCase{"UnterminatedLastLineGetsItsLineEnd", "Subject: a\n\none\ntwo",
                    "Subject: a\n\none\ntwo\n"},
        LineEndCase{"UnterminatedLastFromLineIsEscaped", "Subject: a\n\none\nFrom the end",
                    "Subject: a\n\none\n>From the end"},
        LineEndCase{"EmptySource", "", ""}),
    [](const ::testing::TestParamInfo<LineEndCase>& info) { return info.param.name; });

TEST(MboxReceivedLine, GoesRightAfterTheSeparator)
{
    const std::string source = "Received-SPF: pass\r\nDate: Tue, 05 Mar 2019 14:07:09 +0000\r\n"
                               "Subject: spf\r\n\r\nbody\r\n";
    auto message = ParseMimeMessageFromBuffer(reinterpret_cast<const uint8_t*>(source.data()),
                                              source.size());
    ASSERT_TRUE(message);
    std::ostringstream out;
    ASSERT_EQ(WriteEntry(out, source, message.get(), 1), WriteResult::Ok);
    EXPECT_EQ(out.str(), "From - Tue Mar 05 14:07:09 2019\n" + std::string(kReceivedPrefix) +
                             "Tue, 05 Mar 2019 14:07:09 +0000\n" +
                             "Received-SPF: pass\nDate: Tue, 05 Mar 2019 14:07:09 +0000\nSubject: spf\n\nbody\n\n");
}

TEST(MboxReceivedLine, NoneWhenAReceivedHeaderComesFirst)
{
    const std::string source = "Received: from a by b\r\nReceived-SPF: pass\r\n"
                               "Date: Tue, 05 Mar 2019 14:07:09 +0000\r\n\r\nbody\r\n";
    auto message = ParseMimeMessageFromBuffer(reinterpret_cast<const uint8_t*>(source.data()),
                                              source.size());
    ASSERT_TRUE(message);
    std::ostringstream out;
    ASSERT_EQ(WriteEntry(out, source, message.get(), 1), WriteResult::Ok);
    EXPECT_EQ(out.str(), "From - Tue Mar 05 14:07:09 2019\nReceived: from a by b\nReceived-SPF: pass\n"
                         "Date: Tue, 05 Mar 2019 14:07:09 +0000\n\nbody\n\n");
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
        EXPECT_EQ(writer.Finish(1), WriteResult::Ok);
        return out.str();
    };
    for (int round = 0; round < 150; ++round) {
        const std::string source = MixedSource(seed, 20);
        SCOPED_TRACE("source: " + source);

        const std::string expected = kestrin_test::MboxReferenceEntry("From - sep", "Received: r\n", source, 1);

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
    EXPECT_EQ(asset->WriteMBOXMessage(out), WriteResult::Ok);
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

TEST(MboxEntry, WritesTheRequestedTrailingLineFeeds)
{
    const std::string text = "Date: Tue, 05 Mar 2019 14:07:09 +0000\r\nSubject: s\r\n\r\nbody\r\n";
    auto message = ParseMimeMessageFromBuffer(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    std::ostringstream out;
    EXPECT_EQ(WriteEntry(out, text, message.get(), 1), WriteResult::Ok);
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
        auto message = ParseMimeMessageFromBuffer(reinterpret_cast<const uint8_t*>(text.data()), text.size());
        std::ostringstream out;
        ASSERT_EQ(WriteEntry(out, text, message.get(), c.trailingLineFeeds), WriteResult::Ok);
        const std::string entry = out.str();
        ASSERT_GE(entry.size(), c.expectedEnd.size()) << c.name;
        EXPECT_EQ(entry.substr(entry.size() - c.expectedEnd.size()), c.expectedEnd) << c.name << ": " << entry;
    }
}

// A failed output must never pass for a written message.
TEST(MboxEntryFailure, FullDiskIsReported)
{
    std::ofstream full("/dev/full", std::ios::binary | std::ios::app);
    ASSERT_TRUE(full.is_open());
    auto asset = EmlAsset(MessageText("Lost", {"body"}));
    EXPECT_EQ(asset->WriteMBOXMessage(full), WriteResult::StreamFailed);

    MBOXEmailAsset fromMailbox(std::vector<uint8_t>(asset->GetRawBytes()->begin(),
                                                    asset->GetRawBytes()->end()));
    std::ofstream full2("/dev/full", std::ios::binary | std::ios::app);
    EXPECT_EQ(fromMailbox.WriteMBOXMessage(full2), WriteResult::StreamFailed);
}

TEST(MboxEntryFailure, StreamAlreadyFailedIsReported)
{
    std::ostringstream broken;
    broken.setstate(std::ios::badbit);
    EXPECT_EQ(EmlAsset(MessageText("Lost", {"body"}))->WriteMBOXMessage(broken), WriteResult::StreamFailed);
}

}  // namespace
}  // namespace formats_test
