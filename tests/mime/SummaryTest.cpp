// The summary every e-mail item takes from its parsed message.
#include <string>

#include <gtest/gtest.h>

#include "MimeTestHelpers.h"
#include "mime/MimeServices.h"

using namespace KestrinMIMEEngineCommon;

struct SummaryCase {
    const char* name;
    std::string message;
    std::wstring from;
    int64_t date;
    bool hasDate;
    std::wstring subject;
    std::string messageId;
};

class Summary : public ::testing::TestWithParam<SummaryCase> {};

TEST_P(Summary, TakesTheListColumnsFromTheMessage)
{
    const SummaryCase& c = GetParam();
    GMimeMessagePtr message = mime_test::Parse(c.message);
    ASSERT_TRUE(message);
    MessageSummary summary = SummarizeMessage(message.get());
    EXPECT_EQ(c.from, summary.from);
    EXPECT_EQ(c.date, summary.date);
    EXPECT_EQ(c.hasDate, summary.hasDate);
    EXPECT_EQ(c.subject, summary.subject);
    EXPECT_EQ(c.messageId, summary.messageId);
}

INSTANTIATE_TEST_SUITE_P(
    Messages, Summary,
    ::testing::Values(
        SummaryCase{"Complete",
                    "From: Jane Doe <jane@example.com>\nDate: Tue, 05 Mar 2019 14:07:09 +0100\n"
                    "Subject: =?utf-8?B?R3LDvMOfZQ==?=\nMessage-ID: <abc.123@example.com>\n\nbody\n",
                    L"Jane Doe <jane@example.com>", 1551791229, true, L"Gr\u00fc\u00dfe", "abc.123@example.com"},
        SummaryCase{"NoHeadersAtAll", "\nonly a body\n", L"", 0, false, L"", ""},
        SummaryCase{"SenderWhenFromIsMissing", "Sender: Bot <bot@example.com>\nSubject: s\n\nbody\n",
                    L"Bot <bot@example.com>", 0, false, L"s", ""},
        SummaryCase{"SenderWhenFromIsEmpty", "From: \nSender: bot@example.com\n\nbody\n", L"bot@example.com", 0,
                    false, L"", ""},
        SummaryCase{"FromWinsOverSender", "From: a@example.com\nSender: b@example.com\n\nbody\n",
                    L"a@example.com", 0, false, L"", ""},
        SummaryCase{"SeveralAddressesAndAnEncodedName",
                    "From: =?utf-8?B?SsO8cmdlbg==?= <j@example.com>, x@example.com\n\nbody\n",
                    L"J\u00fcrgen <j@example.com>, x@example.com", 0, false, L"", ""},
        // A raw 8-bit subject in the charset the message (or its first text
        // part) declares; the last Subject field counts.
        SummaryCase{"RawSubjectInTheTextPartsCharset",
                    "Subject: first\nSubject: \xBB\xE1\xD2\xE9\nContent-Type: multipart/mixed; boundary=b\n\n"
                    "--b\nContent-Type: text/plain; charset=gb2312\n\nx\n--b--\n",
                    L"", 0, false, L"\u4F1A\u8BAE", ""}),
    [](const ::testing::TestParamInfo<SummaryCase>& info) { return std::string(info.param.name); });

TEST(SummaryOfNothing, NullMessageGivesEmptySummary)
{
    MessageSummary summary = SummarizeMessage(nullptr);
    EXPECT_TRUE(summary.from.empty());
    EXPECT_EQ(0, summary.date);
    EXPECT_FALSE(summary.hasDate);
}
