// Header encoding, synthesized From mailboxes and the synthesized Received line.
#include <string>

#include <gtest/gtest.h>

#include "MimeTestHelpers.h"
#include "mime/MimeServices.h"

using namespace KestrinMIMEEngineCommon;

namespace {

template <typename Case>
std::string CaseName(const ::testing::TestParamInfo<Case>& info)
{
    return info.param.name;
}

}  // namespace

// ---------------------------------------------------------------------------
// Base64

struct Base64Case {
    const char* name;
    std::string input;
    const char* expected;
};

class Base64 : public ::testing::TestWithParam<Base64Case> {};

TEST_P(Base64, EncodesWithPaddingAndNoLineBreaks)
{
    const Base64Case& c = GetParam();
    EXPECT_EQ(c.expected, Base64Encode(c.input.data(), c.input.size()));
}

INSTANTIATE_TEST_SUITE_P(
    Rfc4648, Base64,
    ::testing::Values(Base64Case{"Empty", "", ""}, Base64Case{"OneByte", "f", "Zg=="},
                      Base64Case{"TwoBytes", "fo", "Zm8="}, Base64Case{"ThreeBytes", "foo", "Zm9v"},
                      Base64Case{"SixBytes", "foobar", "Zm9vYmFy"},
                      Base64Case{"HighBytesUseTheLastTwoSymbols", "\xfb\xff\xfe", "+//+"},
                      Base64Case{"LongInputStaysOneLine", std::string(60, 'a'),
                                 "YWFhYWFhYWFhYWFhYWFhYWFhYWFhYWFhYWFhYWFhYWFhYWFhYWFhYWFhYWFhYWFhYWFhYWFhYWFhYWFh"}),
    CaseName<Base64Case>);

// ---------------------------------------------------------------------------
// EncodeHeaderWord

struct WordCase {
    const char* name;
    std::wstring value;
    bool quote;
    const char* expected;
    bool plain;
};

class HeaderWord : public ::testing::TestWithParam<WordCase> {};

TEST_P(HeaderWord, AppendsQuotedOrEncoded)
{
    const WordCase& c = GetParam();
    std::string out = "From: ";
    EXPECT_EQ(c.plain, EncodeHeaderWord(c.value, c.quote, out));
    EXPECT_EQ(std::string("From: ") + c.expected, out);
}

INSTANTIATE_TEST_SUITE_P(
    Values, HeaderWord,
    ::testing::Values(WordCase{"NonAsciiNameIsEncoded", L"M\u00fcller", true, "=?utf-8?B?TcO8bGxlcg==?=", false},
                      WordCase{"AsciiQuoted", L"abc", true, "\"abc\"", true},
                      WordCase{"AsciiUnquoted", L"abc", false, "abc", true},
                      WordCase{"EmptyAddsNothing", L"", true, "", true},
                      WordCase{"EmbeddedQuotesAreKept", L"a \"b\"", true, "\"a \"b\"\"", true},
                      WordCase{"NonAsciiUnquotedIsEncodedToo", L"Zo\u00eb Wei\u00df", false,
                               "=?utf-8?B?Wm/DqyBXZWnDnw==?=", false},
                      WordCase{"CharacterBeyondTheBmp", L"\U0001F600", true, "=?utf-8?B?8J+YgA==?=", false}),
    CaseName<WordCase>);

TEST(HeaderWordLength, LongValueIsOneEncodedWord)
{
    std::wstring value(200, L'\u00e9');
    std::string out;
    EXPECT_FALSE(EncodeHeaderWord(value, true, out));
    EXPECT_EQ(0u, out.find("=?utf-8?B?"));
    EXPECT_EQ(out.size() - 2, out.find("?="));
    EXPECT_EQ(std::string::npos, out.find('\n'));
}

// ---------------------------------------------------------------------------
// EncodeHeaderText

struct TextCase {
    const char* name;
    std::string text;
    const char* expected;
    bool unchanged;
};

class HeaderText : public ::testing::TestWithParam<TextCase> {};

TEST_P(HeaderText, EncodesTheWholeTextWhenNeeded)
{
    const TextCase& c = GetParam();
    std::string text = c.text;
    EXPECT_EQ(c.unchanged, EncodeHeaderText(text));
    EXPECT_EQ(c.expected, text);
}

INSTANTIATE_TEST_SUITE_P(
    Values, HeaderText,
    ::testing::Values(TextCase{"PlainAscii", "Quarterly figures", "Quarterly figures", true},
                      TextCase{"Empty", "", "", true},
                      TextCase{"LineFeedEncodesAll", "Line one\nLine two", "=?utf-8?B?TGluZSBvbmUKTGluZSB0d28=?=", false},
                      TextCase{"CarriageReturn", "a\rb", "=?utf-8?B?YQ1i?=", false},
                      TextCase{"Utf8Bytes", "Gr\xc3\xbc\xc3\x9f" "e", "=?utf-8?B?R3LDvMOfZQ==?=", false}),
    CaseName<TextCase>);

// ---------------------------------------------------------------------------
// FormatMailbox

struct MailboxCase {
    const char* name;
    std::wstring displayName, address, addressType, alternate, fallback;
    const char* expected;
};

class Mailbox : public ::testing::TestWithParam<MailboxCase> {};

TEST_P(Mailbox, ChoosesTheAddress)
{
    const MailboxCase& c = GetParam();
    std::string out;
    FormatMailbox(c.displayName, c.address, c.addressType, c.alternate, c.fallback, out);
    EXPECT_EQ(c.expected, out);
}

INSTANTIATE_TEST_SUITE_P(
    Choices, Mailbox,
    ::testing::Values(
        MailboxCase{"NameAndSmtpAddress", L"Jane Doe", L"jane@example.com", L"SMTP", L"", L"",
                    "\"Jane Doe\" <jane@example.com>"},
        MailboxCase{"AddressWithoutType", L"Jane Doe", L"jane@example.com", L"", L"", L"",
                    "\"Jane Doe\" <jane@example.com>"},
        MailboxCase{"AddressAloneIsAlsoTheDisplayPart", L"", L"jane@example.com", L"SMTP", L"", L"",
                    "\"jane@example.com\" <jane@example.com>"},
        MailboxCase{"NonAsciiNameIsEncoded", L"J\u00fcrgen", L"j@example.com", L"SMTP", L"", L"",
                    "=?utf-8?B?SsO8cmdlbg==?= <j@example.com>"},
        MailboxCase{"OtherTypeUsesTheAlternate", L"", L"/o=Org/cn=jane", L"EX", L"jane@example.com", L"",
                    "\"jane@example.com\" <jane@example.com>"},
        MailboxCase{"TypeMustBeExactlySmtp", L"Jane", L"x@a.com", L"smtp", L"y@b.com", L"",
                    "\"Jane\" <y@b.com>"},
        MailboxCase{"FallbackWithDotAfterAt", L"Jane", L"", L"", L"", L"jane@example.com",
                    "\"Jane\" <jane@example.com>"},
        MailboxCase{"FallbackWithoutDotAfterAtGivesOnlyTheName", L"Jane", L"", L"", L"", L"first.last@localhost",
                    "\"Jane\""},
        MailboxCase{"NothingAtAll", L"", L"", L"", L"", L"", ""}),
    CaseName<MailboxCase>);

// ---------------------------------------------------------------------------
// Synthesized Received line

namespace {

const std::string kReceivedPrefix =
    "Received: (Synthesized by Kestrin MIME Converter Same as Date. Ignore in case of forensic analysis.); ";

}  // namespace

struct ReceivedCase {
    const char* name;
    std::string headers;
    bool synthesized;
};

class SynthesizedReceived : public ::testing::TestWithParam<ReceivedCase> {};

TEST_P(SynthesizedReceived, OnlyWhenReceivedSpfComesFirstAndThereIsADate)
{
    const ReceivedCase& c = GetParam();
    mime_test::DefaultZone zone("UTC");
    const std::string text = c.headers + "\nbody\n";
    const std::string expected =
        c.synthesized ? kReceivedPrefix + "Tue, 05 Mar 2019 13:07:09 +0000\n" : std::string();

    GMimeMessagePtr message = mime_test::Parse(text);
    ASSERT_TRUE(message);
    std::string out = "From - x\n";
    AppendSynthesizedReceived(message.get(), out);
    EXPECT_EQ("From - x\n" + expected, out);

    std::string fromBuffer;
    AppendSynthesizedReceivedFromBuffer(reinterpret_cast<const uint8_t*>(text.data()), text.size(), fromBuffer);
    EXPECT_EQ(expected, fromBuffer);
}

INSTANTIATE_TEST_SUITE_P(
    Orders, SynthesizedReceived,
    ::testing::Values(
        ReceivedCase{"SpfBeforeReceived",
                     "Received-SPF: pass\nReceived: from a by b\nDate: Tue, 05 Mar 2019 14:07:09 +0100\n", true},
        ReceivedCase{"SpfOnly", "Date: Tue, 05 Mar 2019 14:07:09 +0100\nReceived-SPF: pass\n", true},
        ReceivedCase{"NamesCompareWithoutCase", "received-spf: pass\nDate: Tue, 05 Mar 2019 14:07:09 +0100\n", true},
        ReceivedCase{"ReceivedBeforeSpf",
                     "Received: from a by b\nReceived-SPF: pass\nDate: Tue, 05 Mar 2019 14:07:09 +0100\n", false},
        ReceivedCase{"SpfWithoutDate", "Received-SPF: pass\nSubject: x\n", false},
        ReceivedCase{"NeitherHeader", "Subject: x\nDate: Tue, 05 Mar 2019 14:07:09 +0100\n", false},
        ReceivedCase{"OnlyWholeNamesCount",
                     "Received-SPF-Extra: x\nReceived: from a\nReceived-SPF: pass\n"
                     "Date: Tue, 05 Mar 2019 14:07:09 +0100\n",
                     false}),
    CaseName<ReceivedCase>);

TEST(SynthesizedReceivedText, PrefixIsTheFixed102Bytes)
{
    mime_test::DefaultZone zone("UTC");
    GMimeMessagePtr message = mime_test::Parse("Received-SPF: pass\nDate: Thu, 01 Jan 1970 00:00:10 +0000\n\nx\n");
    std::string out;
    AppendSynthesizedReceived(message.get(), out);
    ASSERT_GT(out.size(), 102u);
    EXPECT_EQ(kReceivedPrefix, out.substr(0, 102));
    EXPECT_EQ("Thu, 01 Jan 1970 00:00:10 +0000\n", out.substr(102));
}

TEST(SynthesizedReceivedText, NothingWithoutAMessage)
{
    std::string out;
    AppendSynthesizedReceived(nullptr, out);
    AppendSynthesizedReceivedFromBuffer(nullptr, 5, out);
    EXPECT_EQ("", out);
}
