// The two raw-bytes message items: what they show (summary, flags, size) and
// how they write themselves as RFC 822 bytes.
#include <sstream>

#include <gtest/gtest.h>

#include "FormatsTestHelpers.h"
#include "streams/KSContainerData.h"
#include "support/FailingStream.h"

namespace formats_test {
namespace {

std::string RawOf(IEmailAsset& asset)
{
    auto bytes = boost::make_shared<std::vector<uint8_t>>();
    EXPECT_EQ(asset.WriteRawMessage(boost::make_shared<KSVectorData>(bytes)), WriteResult::Ok);
    return AsString(*bytes);
}

TEST(EMLEmailAsset, HeaderOnlyMessageCarriesItsFlagsAndSummary)
{
    const std::string headers = "From: Alice <alice@example.com>\r\nSubject: Status/Report\r\n"
                                "Date: Tue, 05 Mar 2019 14:07:09 +0000\r\nMessage-ID: <id-1@x>\r\n\r\n";
    auto asset = EmlAsset(headers, kAssetFlagIncomplete);
    EXPECT_EQ(asset->GetAssetFlags(), kAssetFlagIncomplete);
    EXPECT_EQ(asset->GetAssetType(), kAssetTypeEmail);
    EXPECT_EQ(asset->GetDescription(), L"From : Alice <alice@example.com>\r\n"
                                       L"Date : Tue, 05 Mar 2019 14:07:09 +0000\r\n"
                                       L"Subject : Status/Report");
    EXPECT_EQ(asset->GetTitle(NameStyle::Ascii), L"Status\u2215Report");
    EXPECT_EQ(asset->GetUniqueId(), "id-1@x");
    EXPECT_EQ(asset->GetSize(), headers.size());
    EXPECT_EQ(RawOf(*asset), headers);
}

TEST(EMLEmailAsset, BytesWithoutMessageStillMakeAnItemWrittenUnchanged)
{
    auto empty = boost::make_shared<EMLEmailAsset>(boost::shared_ptr<std::vector<uint8_t>>());
    EXPECT_EQ(empty->GetSize(), 0u);
    EXPECT_EQ(empty->GetTitle(NameStyle::Ascii), L"");
    EXPECT_EQ(empty->GetUniqueId(), "");
    EXPECT_EQ(RawOf(*empty), "");

    const std::string noise = "\x01\x02 not a header\r\n";
    auto garbage = EmlAsset(noise);
    EXPECT_EQ(garbage->GetAssetFlags(), 0);
    EXPECT_EQ(RawOf(*garbage), noise);
}

TEST(EMLEmailAsset, ShortWriteIsReported)
{
    auto asset = EmlAsset(MessageText("Short", {"body"}));
    auto stream = kestrin_test::FailingStream::Writer(10);
    EXPECT_EQ(asset->WriteRawMessage(stream), WriteResult::Short);
    EXPECT_EQ(stream->Written().size(), 10u);
}

struct RawCase {
    const char* name;
    const char* mailboxBytes;
    const char* rfc822;
};

class MBOXEmailAssetRaw : public ::testing::TestWithParam<RawCase> {};

TEST_P(MBOXEmailAssetRaw, KeepsTheBytesAndTakesTheEscapingOff)
{
    const std::string bytes = GetParam().mailboxBytes;
    MBOXEmailAsset asset(std::vector<uint8_t>(bytes.begin(), bytes.end()));
    EXPECT_EQ(RawOf(asset), GetParam().rfc822);
}

INSTANTIATE_TEST_SUITE_P(
    Messages, MBOXEmailAssetRaw,
    ::testing::Values(
        RawCase{"LineFeedsStay", "Subject: a\n\none\ntwo\n", "Subject: a\n\none\ntwo\n"},
        RawCase{"EscapedFromLosesOneMark", "Subject: a\n\n>From x\n>>From y\n",
                "Subject: a\n\nFrom x\n>From y\n"},
        RawCase{"MarkWithoutFromSpaceKept", "Subject: a\n\n>From\n> From x\n",
                "Subject: a\n\n>From\n> From x\n"},
        RawCase{"LastLineWithoutLineFeedStaysSo", "Subject: a\n\n>From last", "Subject: a\n\nFrom last"},
        RawCase{"TrailingEmptyLinesStay", "Subject: a\n\nbody\n\n\n", "Subject: a\n\nbody\n\n\n"},
        RawCase{"CrLfStays", "Subject: a\r\n\r\n>From b\r\n", "Subject: a\r\n\r\nFrom b\r\n"}),
    [](const ::testing::TestParamInfo<RawCase>& info) { return info.param.name; });

TEST(MBOXEmailAsset, SummaryAndSeparatorComeFromTheMessage)
{
    const std::string text = MessageText("Hello", {"body"}, "\n");
    MBOXEmailAsset asset(std::vector<uint8_t>(text.begin(), text.end()));
    EXPECT_EQ(asset.GetTitle(NameStyle::Ascii), L"Hello");
    EXPECT_EQ(asset.GetSeparatorLine(), "From - Tue Mar 05 14:07:09 2019");
    EXPECT_EQ(asset.GetSize(), text.size());
    auto stream = kestrin_test::FailingStream::Writer(5);
    EXPECT_EQ(asset.WriteRawMessage(stream), WriteResult::Short);
}

struct EntryCase {
    const char* name;
    const char* separator;  // the line the message came with; "" for none
    const char* bytes;
    const char* entry;
};

class MBOXEmailAssetEntry : public ::testing::TestWithParam<EntryCase> {};

// What a reader takes off (the separator, the closing empty line) is put
// back, and nothing else: a message read back from the entry is the same.
TEST_P(MBOXEmailAssetEntry, KeepsTheBytesAndTheSeparator)
{
    const std::string bytes = GetParam().bytes;
    MBOXEmailAsset asset(std::vector<uint8_t>(bytes.begin(), bytes.end()), GetParam().separator);
    std::ostringstream out;
    EXPECT_EQ(asset.WriteMBOXMessage(out), WriteResult::Ok);
    EXPECT_EQ(out.str(), GetParam().entry);
}

INSTANTIATE_TEST_SUITE_P(
    Entries, MBOXEmailAssetEntry,
    ::testing::Values(
        EntryCase{"OwnSeparatorKept", "From alice@example.com Wed Oct 31 17:21:13 2012",
                  "Date: Tue, 05 Mar 2019 14:07:09 +0000\n\nbody\n",
                  "From alice@example.com Wed Oct 31 17:21:13 2012\n"
                  "Date: Tue, 05 Mar 2019 14:07:09 +0000\n\nbody\n\n"},
        EntryCase{"WithoutOneTheDateMakesIt", "", "Date: Tue, 05 Mar 2019 14:07:09 +0000\n\nbody\n",
                  "From - Tue Mar 05 14:07:09 2019\nDate: Tue, 05 Mar 2019 14:07:09 +0000\n\nbody\n\n"},
        EntryCase{"EmptyLinesOfTheMessageStay", "From x", "Subject: a\n\nbody\n\n\n",
                  "From x\nSubject: a\n\nbody\n\n\n\n"},
        EntryCase{"UnterminatedFromLineGuarded", "",
                  "Date: Tue, 05 Mar 2019 14:07:09 +0000\n\n>From a\nFrom the end",
                  "From - Tue Mar 05 14:07:09 2019\n"
                  "Date: Tue, 05 Mar 2019 14:07:09 +0000\n\n>From a\n>From the end\n\n"}),
    [](const ::testing::TestParamInfo<EntryCase>& info) { return info.param.name; });

}  // namespace
}  // namespace formats_test
