// Parsing a message from a memory buffer and a file range.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "MimeTestHelpers.h"
#include "mime/MimeServices.h"
#include "support/TestSupport.h"

using namespace KestrinMIMEEngineCommon;
using mime_test::MessageText;

namespace {

const std::string kMessage =
    "From: Jane Doe <jane@example.com>\n"
    "Subject: Quarterly figures\n"
    "Date: Tue, 05 Mar 2019 14:07:09 +0100\n"
    "MIME-Version: 1.0\n"
    "Content-Type: multipart/mixed; boundary=\"b1\"\n"
    "\n"
    "--b1\n"
    "Content-Type: text/plain\n"
    "\n"
    "First part\n"
    "--b1\n"
    "Content-Type: application/octet-stream\n"
    "Content-Transfer-Encoding: base64\n"
    "\n"
    "AAECAwQ=\n"
    "--b1--\n";

}  // namespace

TEST(MimeParse, FromABufferThatIsGoneAfterTheParse)
{
    auto* bytes = new std::vector<uint8_t>(kMessage.begin(), kMessage.end());
    GMimeMessagePtr message = ParseMimeMessageFromBuffer(bytes->data(), bytes->size());
    // The message must not read the caller's bytes later (the sanitizer
    // catches it if it does).
    std::fill(bytes->begin(), bytes->end(), 'X');
    delete bytes;
    ASSERT_TRUE(message);
    EXPECT_STREQ("Quarterly figures", g_mime_message_get_subject(message.get()));
    EXPECT_EQ(kMessage, MessageText(message.get()));
}

TEST(MimeParse, FromAByteRangeInTheMiddleOfAFile)
{
    kestrin_test::TempDir dir;
    const std::string before = "From - Mon Jan 01 00:00:00 2018\nSubject: earlier\n\nearlier body\n\n";
    const std::string after = "\nFrom - Tue Jan 02 00:00:00 2018\nSubject: later\n\nlater body\n";
    kestrin_test::WriteFile(dir / "mailbox", before + kMessage + after);

    GMimeMessagePtr message = ParseMimeMessageFromFile(
        (dir / "mailbox").string(), static_cast<int64_t>(before.size()),
        static_cast<int64_t>(kMessage.size()));
    ASSERT_TRUE(message);
    EXPECT_STREQ("Quarterly figures", g_mime_message_get_subject(message.get()));
    EXPECT_EQ(kMessage, MessageText(message.get()));
}

TEST(MimeParse, FileRangeWithoutLengthRunsToTheEnd)
{
    kestrin_test::TempDir dir;
    const std::string before = "junk line\n";
    kestrin_test::WriteFile(dir / "tail.eml", before + kMessage);
    GMimeMessagePtr message = ParseMimeMessageFromFile((dir / "tail.eml").string(),
                                                       static_cast<int64_t>(before.size()), -1);
    ASSERT_TRUE(message);
    EXPECT_EQ(kMessage, MessageText(message.get()));
}

TEST(MimeParse, UnusableSources)
{
    EXPECT_FALSE(ParseMimeMessageFromBuffer(nullptr, 10));

    kestrin_test::CapturedDiagnostics diagnostics;
    kestrin_test::TempDir dir;
    const std::string missing = (dir / "missing.eml").string();
    EXPECT_FALSE(ParseMimeMessageFromFile(missing, 0, 100));
    EXPECT_NE(std::string::npos, diagnostics.text().find(missing));
}
