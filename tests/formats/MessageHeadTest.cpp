// The head of a raw message read straight from its header block must be the
// head a GMime parse of that block gives, field by field; blocks the direct
// reader is unsure of go to the parser.
#include <fstream>
#include <iterator>
#include <string>

#include <boost/filesystem.hpp>
#include <gtest/gtest.h>

#include "formats/MessageHead.h"
#include "mime/KSCharsets.h"
#include "support/TestSupport.h"

using namespace KestrinMIMEEngineCommon;

namespace {

struct HeadCase {
    const char* name;
    std::string message;  // header block and body
    bool readDirectly;    // whether the direct reader takes the block
};

void PrintTo(const HeadCase& c, std::ostream* out) { *out << c.name; }

const uint8_t* Bytes(const std::string& text) { return reinterpret_cast<const uint8_t*>(text.data()); }

// Both heads, with the separator compared only where it does not come from
// the clock (no date, or a date of 0).
void ExpectSameHead(const MessageHead& expected, const MessageHead& actual)
{
    EXPECT_EQ(WideToUTF8(expected.summary.from), WideToUTF8(actual.summary.from));
    EXPECT_EQ(expected.summary.date, actual.summary.date);
    EXPECT_EQ(expected.summary.hasDate, actual.summary.hasDate);
    EXPECT_EQ(WideToUTF8(expected.summary.subject), WideToUTF8(actual.summary.subject));
    EXPECT_EQ(expected.summary.messageId, actual.summary.messageId);
    EXPECT_EQ(expected.receivedLine, actual.receivedLine);
    if (expected.summary.date != 0) {
        EXPECT_EQ(expected.separatorLine, actual.separatorLine);
    } else {
        EXPECT_EQ(0u, actual.separatorLine.rfind("From - ", 0)) << actual.separatorLine;
    }
}

void CheckCase(const HeadCase& c)
{
    const size_t blockLength = HeaderBlockLength(Bytes(c.message), c.message.size());
    // A raw 8-bit subject is read in the charset the whole message declares,
    // the way HeadOfRawMessage asks for it.
    const CharsetLookup declared = [&c] { return DeclaredCharsetOfRawMessage(Bytes(c.message), c.message.size()); };
    const MessageHead parsed = ParseHeadFromHeaderBlock(Bytes(c.message), blockLength, declared);

    MessageHead direct;
    EXPECT_EQ(c.readDirectly, ReadHeadFromHeaderBlock(Bytes(c.message), blockLength, direct, declared));
    if (c.readDirectly) ExpectSameHead(parsed, direct);

    ExpectSameHead(parsed, HeadOfRawMessage(Bytes(c.message), c.message.size()));
}

std::string CaseName(const ::testing::TestParamInfo<HeadCase>& info) { return info.param.name; }

const std::string kLongWord(5000, 'x');

class WellFormedHead : public ::testing::TestWithParam<HeadCase> {};

TEST_P(WellFormedHead, IsReadDirectlyAndMatchesTheParse) { CheckCase(GetParam()); }

INSTANTIATE_TEST_SUITE_P(
    HeaderBlocks, WellFormedHead,
    ::testing::Values(
        HeadCase{"Plain",
                 "From: Jane Doe <jane@example.com>\nTo: bob@example.com\nSubject: Lunch\n"
                 "Date: Tue, 05 Mar 2019 14:07:09 +0100\nMessage-ID: <abc.123@example.com>\n\nbody\n",
                 true},
        HeadCase{"CrLfLineEnds",
                 "From: Jane Doe <jane@example.com>\r\nSubject: Lunch\r\n"
                 "Date: Tue, 05 Mar 2019 14:07:09 +0100\r\nMessage-ID: <abc.123@example.com>\r\n\r\nbody\r\n",
                 true},
        HeadCase{"FoldedFields",
                 "From: Jane Doe\n <jane@example.com>,\n\tbob@example.com\nSubject: a long\n  folded\n\tsubject\n"
                 "Date: Tue, 05 Mar 2019\n 14:07:09 +0100\nMessage-ID:\n <folded@example.com>\n\nbody\n",
                 true},
        HeadCase{"FoldedFieldsWithCrLf",
                 "Subject: a long\r\n  folded\r\n\tsubject\r\nFrom: Jane\r\n <jane@example.com>\r\n\r\n", true},
        HeadCase{"TwoFromFieldsAddUp", "From: a@example.com\nSubject: s\nFrom: B <b@example.com>\n\nbody\n", true},
        HeadCase{"RepeatedSubjectLastWins", "Subject: first\nFrom: a@example.com\nSubject: second\n\nbody\n",
                 true},
        HeadCase{"RepeatedDateLastWins",
                 "Date: Tue, 05 Mar 2019 14:07:09 +0100\nDate: Wed, 06 Mar 2019 10:00:00 -0500\n\nbody\n", true},
        HeadCase{"RepeatedMessageIdLastWins", "Message-ID: <one@example.com>\nMessage-ID: <two@example.com>\n\n",
                 true},
        HeadCase{"EncodedWordsInSubject",
                 "Subject: =?utf-8?B?R3LDvMOfZQ==?= =?iso-8859-1?Q?aus_M=FCnchen?= and plain\n\nbody\n", true},
        HeadCase{"EncodedDisplayNameInFrom",
                 "From: =?utf-8?B?SsO8cmdlbg==?= <j@example.com>, \"=?iso-8859-1?Q?Ren=E9?=\" <r@example.com>\n\n",
                 true},
        HeadCase{"Utf8Values",
                 "From: J\xC3\xBCrgen M\xC3\xBCller <j@example.com>\nSubject: Gr\xC3\xBC\xC3\x9F"
                 "e aus K\xC3\xB6ln \xE2\x82\xAC\n\nbody\n",
                 true},
        HeadCase{"Latin1Values", "From: J\xFCrgen <j@example.com>\nSubject: Gr\xFC\xDF" "e\n\nbody\n", true},
        HeadCase{"RawSubjectInTheMessagesCharset",
                 "Subject: \xBB\xE1\xD2\xE9\xCD\xA8\xD6\xAA\nContent-Type: text/plain; charset=gb2312\n\nbody\n",
                 true},
        HeadCase{"RawSubjectInTheFirstTextPartsCharset",
                 "Subject: \xBB\xE1\xD2\xE9\nContent-Type: multipart/mixed; boundary=b\n\n--b\n"
                 "Content-Type: text/plain; charset=gb2312\n\nx\n--b--\n",
                 true},
        HeadCase{"RawSubjectNotValidInTheDeclaredCharset",
                 "Subject: Gr\xFC\xDF" "e\nContent-Type: text/plain; charset=utf-8\n\nbody\n", true},
        HeadCase{"GroupAddress", "From: Team: a@example.com, B <b@example.com>;\n\n", true},
        HeadCase{"EmptyGroupAddress", "From: undisclosed-recipients:;\nSender: s@example.com\n\n", true},
        HeadCase{"SenderWithoutFrom", "Sender: Bot <bot@example.com>\nSubject: s\n\nbody\n", true},
        HeadCase{"EmptyFromGivesSender", "From: \nSender: bot@example.com\n\nbody\n", true},
        HeadCase{"FromWinsOverSender", "Sender: b@example.com\nFrom: a@example.com\n\n", true},
        HeadCase{"AddressWithoutDomain", "From: postmaster\n\n", true},
        HeadCase{"MissingDate", "From: a@example.com\nSubject: no date\n\nbody\n", true},
        HeadCase{"DateAtTheEpoch", "Date: Thu, 01 Jan 1970 00:00:00 +0000\nReceived-SPF: pass\n\n", true},
        HeadCase{"ReceivedSPFFirst",
                 "Received-SPF: pass (example.com)\nReceived: from a by b; Tue, 05 Mar 2019 14:07:00 +0100\n"
                 "Date: Tue, 05 Mar 2019 14:07:09 +0100\n\n",
                 true},
        HeadCase{"ReceivedBeforeReceivedSPF",
                 "Received: from a by b; Tue, 05 Mar 2019 14:07:00 +0100\nReceived-SPF: pass\n"
                 "Date: Tue, 05 Mar 2019 14:07:09 +0100\n\n",
                 true},
        HeadCase{"ReceivedSPFWithoutDate", "Received-SPF: pass\nSubject: s\n\n", true},
        HeadCase{"LowerCaseNames",
                 "from: a@example.com\nsubject: lower\ndate: Tue, 05 Mar 2019 14:07:09 +0100\n"
                 "message-id: <l@example.com>\nreceived-spf: pass\n\n",
                 true},
        HeadCase{"UpperCaseNames",
                 "FROM: a@example.com\nSUBJECT: upper\nDATE: Tue, 05 Mar 2019 14:07:09 +0100\n"
                 "MESSAGE-ID: <u@example.com>\nRECEIVED-SPF: pass\n\n",
                 true},
        HeadCase{"EncodedWordsInDateAndMessageId",
                 "Date: =?us-ascii?Q?Tue=2C_05_Mar_2019_14=3A07=3A09_+0100?=\n"
                 "Message-ID: =?us-ascii?Q?=3Cencoded=40example=2Ecom=3E?=\n\n",
                 true},
        HeadCase{"InternationalDomains",
                 "From: M\xC3\xBCller <m@m\xC3\xBCller.example>, p@xn--mller-kva.example\n\n", true},
        HeadCase{"MessageIdWithoutBrackets", "Message-Id: plain@example.com\n\n", true},
        HeadCase{"MessageIdWithComment", "Message-Id: (note) <c@example.com> (more)\n\n", true},
        HeadCase{"EmptyValues", "From:\nSubject:\nDate:\nMessage-ID:\n\n", true},
        HeadCase{"NoSpaceAfterColonAndTabs", "Subject:\ttabbed  \t\nFrom:a@example.com\n\n", true},
        HeadCase{"ContentHeaders",
                 "Content-Type: multipart/mixed; boundary=\"b\"\nSubject: mixed\nContent-Transfer-Encoding: 7bit\n\n"
                 "--b\nContent-Type: text/plain\n\nx\n--b--\n",
                 true},
        HeadCase{"OnlyABody", "\nSubject: not a header\n", true},
        HeadCase{"NoBodyAndNoBlankLine", "From: a@example.com\nSubject: only headers\n", true},
        HeadCase{"LinesLongerThanTheParserBuffer",
                 "References: <" + kLongWord + "@example.com>\nSubject: " + kLongWord + " end\nFrom: \"" +
                     kLongWord + "\" <long@example.com>\n\nbody\n",
                 true},
        HeadCase{"ManyFoldedLines",
                 "Subject: start\n" + std::string(200, ' ') + "\n" + [] {
                     std::string lines;
                     for (int i = 0; i < 300; ++i) lines += " word" + std::to_string(i) + "\n";
                     return lines;
                 }() + "From: a@example.com\n\n",
                 true}),
    CaseName);

// The parser reads its input 4 KiB at a time and keeps a line cut by a read
// (even between CR and LF) for the next; the direct reader never cuts. Every
// cut around the first read boundaries, in a field name, a value, a line
// end and a continuation line, must give the same head.
// The sender text is remembered by the raw bytes of the From and Sender
// fields: blocks whose fields differ only in how the same bytes are split
// between fields, or between From and Sender, each get their own answer, and
// asking again gives the same.
TEST(HeadSenderMemory, BlocksThatShareBytesButNotFieldsKeepTheirOwnSender)
{
    const std::string blocks[] = {
        "From: a@example.com,\r\n b@example.com\r\n\r\n",
        "From: a@example.com,\r\nFrom: b@example.com\r\n\r\n",
        "Sender: a@example.com\r\n\r\n",
        "From: a@example.com\r\n\r\n",
        "From:\r\nSender: a@example.com\r\n\r\n",
        "From: a@example.com,\r\n b@example.com\r\n\r\n",
    };
    for (int round = 0; round < 2; ++round) {
        for (const std::string& block : blocks) {
            SCOPED_TRACE(block);
            MessageHead direct;
            ASSERT_TRUE(ReadHeadFromHeaderBlock(Bytes(block), block.size(), direct));
            ExpectSameHead(ParseHeadFromHeaderBlock(Bytes(block), block.size()), direct);
        }
    }
}

TEST(HeadAcrossParserReads, MatchesTheParseWhereverAReadEnds)
{
    for (size_t padding = 4000; padding <= 4250; ++padding) {
        for (const char* lineEnd : {"\n", "\r\n"}) {
            const std::string filler(padding, 'f');
            const std::string message = "X-Filler: " + filler + lineEnd + "Subject: cut" + lineEnd +
                                        " folded =?utf-8?Q?K=C3=B6ln?=" + lineEnd +
                                        "From: Jane <jane@example.com>" + lineEnd +
                                        "Date: Tue, 05 Mar 2019 14:07:09 +0100" + lineEnd + lineEnd + "body";
            SCOPED_TRACE("padding " + std::to_string(padding) + (lineEnd[0] == '\r' ? " CR LF" : " LF"));
            CheckCase(HeadCase{"cut", message, true});
        }
    }
}

// Real Apple Mail message files: the message after the byte-count line.
TEST(HeadOfAppleMailSamples, MatchesTheParse)
{
    namespace fs = boost::filesystem;
    if (kestrin_test::SamplesDir().empty()) GTEST_SKIP() << "no Apple Mail samples";
    int messages = 0;
    int readDirectly = 0;
    for (fs::recursive_directory_iterator it(kestrin_test::SamplesDir()), end; it != end; ++it) {
        if (!fs::is_regular_file(it->path()) || it->path().extension() != ".emlx") continue;
        std::ifstream in(it->path().string(), std::ios::binary);
        const std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const size_t countEnd = file.find('\n');
        ASSERT_NE(std::string::npos, countEnd) << it->path();
        const std::string message = file.substr(countEnd + 1, std::stoul(file.substr(0, countEnd)));
        SCOPED_TRACE(it->path().string());
        MessageHead direct;
        const bool read = ReadHeadFromHeaderBlock(Bytes(message), HeaderBlockLength(Bytes(message), message.size()),
                                                  direct);
        CheckCase(HeadCase{"sample", message, read});
        ++messages;
        readDirectly += read ? 1 : 0;
    }
    EXPECT_GT(messages, 0);
    // Ordinary mail takes the direct way.
    EXPECT_EQ(messages, readDirectly);
}

// What the direct reader gives, spelled out for a few blocks, so that the
// comparisons above compare real values.
struct ReadCase {
    const char* name;
    std::string message;
    std::wstring from;
    std::wstring subject;
    std::string messageId;
    int64_t date;
    bool received;
};

void PrintTo(const ReadCase& c, std::ostream* out) { *out << c.name; }

class DirectlyReadHead : public ::testing::TestWithParam<ReadCase> {};

TEST_P(DirectlyReadHead, HoldsTheDecodedFields)
{
    const ReadCase& c = GetParam();
    MessageHead head;
    ASSERT_TRUE(ReadHeadFromHeaderBlock(Bytes(c.message), HeaderBlockLength(Bytes(c.message), c.message.size()),
                                        head));
    EXPECT_EQ(WideToUTF8(c.from), WideToUTF8(head.summary.from));
    EXPECT_EQ(WideToUTF8(c.subject), WideToUTF8(head.summary.subject));
    EXPECT_EQ(c.messageId, head.summary.messageId);
    EXPECT_EQ(c.date, head.summary.date);
    EXPECT_EQ(c.received, head.receivedLine.rfind("Received: (Synthesized by ", 0) == 0) << head.receivedLine;
    if (c.date != 0) {
        EXPECT_EQ("From - " + FormatMboxDate(c.date), head.separatorLine);
    }
}

INSTANTIATE_TEST_SUITE_P(
    HeaderBlocks, DirectlyReadHead,
    ::testing::Values(
        ReadCase{"Plain",
                 "From: Jane Doe <jane@example.com>\r\nSubject: Lunch\r\nDate: Tue, 05 Mar 2019 14:07:09 +0100\r\n"
                 "Message-ID: <abc.123@example.com>\r\n\r\n",
                 L"Jane Doe <jane@example.com>", L"Lunch", "abc.123@example.com", 1551791229, false},
        ReadCase{"FoldedAndEncoded",
                 "Subject: =?utf-8?B?R3LDvMOfZQ==?=\n =?utf-8?Q?_aus_K=C3=B6ln?=\nFrom: a@example.com\n"
                 "From: =?utf-8?B?SsO8cmdlbg==?= <j@example.com>\nReceived-SPF: pass\n"
                 "Date: Tue, 05 Mar 2019 14:07:09 +0100\n\n",
                 L"a@example.com, J\u00fcrgen <j@example.com>", L"Gr\u00fc\u00dfe aus K\u00f6ln", "", 1551791229,
                 true},
        ReadCase{"RawGb2312Subject",
                 "Subject: \xBB\xE1\xD2\xE9\xCD\xA8\xD6\xAA\nContent-Type: text/plain; charset=\"GB2312\"\n\n",
                 L"", L"\u4F1A\u8BAE\u901A\u77E5", "", 0, false},
        ReadCase{"RawKoi8Subject", "Content-Type: text/plain; charset=koi8-r\nSubject: \xF0\xD2\xC9\xD7\xC5\xD4\n\n",
                 L"", L"\u041F\u0440\u0438\u0432\u0435\u0442", "", 0, false},
        // An encoded word beside the raw bytes is still decoded.
        ReadCase{"RawSubjectWithEncodedWord",
                 "Subject: \xBB\xE1\xD2\xE9 =?utf-8?Q?caf=C3=A9?=\nContent-Type: text/plain; charset=gb2312\n\n",
                 L"", L"\u4F1A\u8BAE caf\u00E9", "", 0, false},
        ReadCase{"LastOfRepeatedFields",
                 "Subject: one\nSubject: two\nMessage-ID: <1@x>\nmessage-id: <2@x>\nSender: s@example.com\n\n",
                 L"s@example.com", L"two", "2@x", 0, false}),
    [](const ::testing::TestParamInfo<ReadCase>& info) { return std::string(info.param.name); });

// Damaged or unusual blocks: the head is still the parse's, whether the
// direct reader takes the block or leaves it to the parser.
class DamagedHead : public ::testing::TestWithParam<HeadCase> {};

TEST_P(DamagedHead, MatchesTheParse) { CheckCase(GetParam()); }

INSTANTIATE_TEST_SUITE_P(
    HeaderBlocks, DamagedHead,
    ::testing::Values(
        HeadCase{"UnparsableDate", "Date: sometime last week\nSubject: s\n\n", true},
        HeadCase{"GoodDateThenBadDate", "Date: Tue, 05 Mar 2019 14:07:09 +0100\nDate: never\n\n", true},
        HeadCase{"DateWithTrailingGarbage", "Date: Tue, 05 Mar 2019 14:07:09 +0100 (CET) trailing junk\n\n",
                 true},
        HeadCase{"MalformedAddress", "From: <<<@@>>, \"unbalanced <x@example.com>\n\n", true},
        HeadCase{"AddressCutByUnclosedComment", "Sender: Jane <j@example.com> (unclosed\nSubject: s\n\n",
                 false},
        HeadCase{"BrokenEncodedWords",
                 "Subject: =?utf-8?B?###?= =?unknown-charset?Q?abc?= =?utf-8?Q?unterminated\n"
                 "From: =?utf-8?B?broken <b@example.com>\n\n",
                 true},
        HeadCase{"ControlCharactersInValue", "Subject: bell\x07 and escape\x1B\nFrom: a@example.com\n\n", true},
        HeadCase{"LeadingFromLine", "From jane@example.com Tue Mar  5 14:07:09 2019\nSubject: s\n\nbody\n", false},
        HeadCase{"LeadingEscapedFromLine", ">From jane@example.com Tue Mar  5 14:07:09 2019\nSubject: s\n\n",
                 false},
        HeadCase{"LineWithoutColon", "Subject: s\nthis is no header\nFrom: a@example.com\n\n", false},
        HeadCase{"FirstLineWithoutColon", "no header here\nSubject: s\n\n", false},
        HeadCase{"BlankBeforeColon", "Subject : spaced\nFrom\t: a@example.com\n\n", false},
        HeadCase{"EmptyFieldName", "Subject: s\n: nameless\n\n", false},
        HeadCase{"EightBitFieldName", "Subj\xE9" "ct: s\nSubject: t\n\n", false},
        HeadCase{"NulInValue", std::string("Subject: before\0after\nFrom: a@example.com\n\n", 43), false},
        HeadCase{"LoneCrInValue", "Subject: one\rtwo\nFrom: a@example.com\n\n", false},
        HeadCase{"CrOnlyLineEnds", "Subject: s\rFrom: a@example.com\r\rbody\r", false},
        HeadCase{"FirstLineFolded", " folded\nSubject: s\n\n", false},
        HeadCase{"NoBlankLineBeforeTheBody", "Subject: s\nFrom: a@example.com\nThe body starts here.\n", false},
        HeadCase{"UnterminatedLastLine", "From: a@example.com\nSubject: cut", false},
        HeadCase{"EmptyInput", "", false}),
    CaseName);

// Where a raw message declares its charset, found without parsing it, and
// what a parse of the whole message finds.
struct CharsetCase {
    const char* name;
    std::string message;
    std::string charset;
};

void PrintTo(const CharsetCase& c, std::ostream* out) { *out << c.name; }

class DeclaredCharsetOfMessage : public ::testing::TestWithParam<CharsetCase> {};

TEST_P(DeclaredCharsetOfMessage, IsFoundAsTheParseFindsIt)
{
    const CharsetCase& c = GetParam();
    EXPECT_EQ(c.charset, DeclaredCharsetOfRawMessage(Bytes(c.message), c.message.size()));
    const GMimeMessagePtr message = ParseMimeMessageFromBuffer(Bytes(c.message), c.message.size());
    ASSERT_TRUE(message);
    EXPECT_EQ(c.charset, DeclaredCharset(message.get()));
}

INSTANTIATE_TEST_SUITE_P(
    Messages, DeclaredCharsetOfMessage,
    ::testing::Values(
        CharsetCase{"TopLevel", "Content-Type: text/plain; charset=gb2312\n\nbody\n", "gb2312"},
        CharsetCase{"FoldedAndQuoted", "content-type: text/plain;\n\tcharset=\"koi8-r\"\n\nbody\n", "koi8-r"},
        CharsetCase{"NoContentType", "Subject: s\n\nbody\n", ""},
        CharsetCase{"TextWithoutCharset", "Content-Type: text/plain\n\nbody\n", ""},
        CharsetCase{"FirstTextPart",
                    "Content-Type: multipart/alternative; boundary=\"b\"\n\npreamble\n--b\n"
                    "Content-Type: text/plain; charset=big5\n\nx\n--b\nContent-Type: text/html; charset=utf-8\n\n"
                    "y\n--b--\n",
                    "big5"},
        CharsetCase{"FirstTextPartThatNamesOne",
                    "Content-Type: multipart/mixed; boundary=b\n\n--b\nContent-Type: text/plain\n\nx\n--b\n"
                    "Content-Type: text/plain; charset=euc-kr\n\ny\n--b--\n",
                    "euc-kr"},
        CharsetCase{"NestedMultipart",
                    "Content-Type: multipart/mixed; boundary=outer\n\n--outer\n"
                    "Content-Type: multipart/alternative; boundary=inner\n\n--inner\n"
                    "Content-Type: text/plain; charset=shift_jis\n\nx\n--inner--\n--outer--\n",
                    "shift_jis"},
        CharsetCase{"AttachedMessageIsAnothers",
                    "Content-Type: multipart/mixed; boundary=b\n\n--b\nContent-Type: message/rfc822\n\n"
                    "Content-Type: text/plain; charset=koi8-r\n\nx\n--b--\n",
                    ""},
        CharsetCase{"NotABoundaryLine",
                    "Content-Type: multipart/mixed; boundary=b\n\n--bb\nContent-Type: text/plain; charset=big5\n\n"
                    "x\n--b\nContent-Type: text/plain; charset=gb2312\n\ny\n--b--\n",
                    "gb2312"},
        CharsetCase{"PartsAfterTheClosingLine",
                    "Content-Type: multipart/mixed; boundary=b\n\n--b\nContent-Type: image/png\n\nx\n--b--\n"
                    "--b\nContent-Type: text/plain; charset=big5\n\ny\n",
                    ""}),
    [](const ::testing::TestParamInfo<CharsetCase>& info) { return std::string(info.param.name); });

}  // namespace
