// The read-back check of ".eml" folders counts every message file that
// holds bytes. The writers put each message into its file as the source held
// it, so a file a MIME reader would refuse (a message without headers among
// them, which once raised a false alarm) is still a message written.
#include <gtest/gtest.h>

#include <boost/filesystem.hpp>

#include "app/VerifyExport.h"
#include "support/TestSupport.h"

namespace {

using namespace KestrinApp;
namespace fs = boost::filesystem;

struct EmlCase {
    const char* name;
    std::string bytes;
};

std::string Headers(const std::string& lineEnd)
{
    return "From: Alice <alice@example.com>" + lineEnd + "To: bob@example.com" + lineEnd +
           "Subject: read back" + lineEnd + "Message-ID: <r@example.com>" + lineEnd;
}

std::string LongBody()
{
    std::string body;
    while (body.size() < 1024 * 1024) body += "a body line well past the header window of the check\r\n";
    return body;
}

std::string MultipartMessage(const std::string& parts)
{
    return "From: a@example.com\r\nSubject: parts\r\nMIME-Version: 1.0\r\n"
           "Content-Type: multipart/mixed; boundary=\"XX\"\r\n\r\n" +
           parts;
}

int64_t FoundIn(const fs::path& directory)
{
    ExportOutputRecord output{ExportOutputRecord::Kind::EmlDirectory, directory.string(), 1, {}};
    std::string reason;
    const int64_t found = CountMessagesInOutput(output, &reason);
    EXPECT_GE(found, 0) << reason;
    return found;
}

class VerifyEml : public ::testing::TestWithParam<EmlCase> {
protected:
    // The count for a folder holding only this file.
    int64_t Found()
    {
        kestrin_test::WriteFile(m_dir / "message_1.eml", GetParam().bytes);
        return FoundIn(m_dir.path());
    }

private:
    kestrin_test::TempDir m_dir;
};

std::string CaseName(const ::testing::TestParamInfo<EmlCase>& info) { return info.param.name; }

class WellFormedEml : public VerifyEml {};

TEST_P(WellFormedEml, IsFound) { EXPECT_EQ(Found(), 1); }

INSTANTIATE_TEST_SUITE_P(
    Table, WellFormedEml,
    ::testing::Values(
        EmlCase{"CrLfWithBody", Headers("\r\n") + "\r\nHello\r\n"},
        EmlCase{"LfWithBody", Headers("\n") + "\nHello\n"},
        EmlCase{"HeadersOnlyNoBlankLine", Headers("\r\n")},
        EmlCase{"HeadersOnlyWithBlankLine", Headers("\r\n") + "\r\n"},
        EmlCase{"BodyFarLongerThanTheWindow", Headers("\r\n") + "\r\n" + LongBody()},
        EmlCase{"HeaderBlockLongerThanTheWindow",
                [] {
                    std::string received;
                    while (received.size() < 300 * 1024)
                        received += "Received: from relay.example.com by mx.example.com\r\n";
                    return received + Headers("\r\n") + "\r\nHello\r\n";
                }()},
        EmlCase{"MultipartWithAttachment",
                MultipartMessage("--XX\r\nContent-Type: text/plain\r\n\r\nsee attached\r\n--XX\r\n"
                                 "Content-Type: application/octet-stream\r\n"
                                 "Content-Transfer-Encoding: base64\r\n\r\nAAECAwQF\r\n--XX--\r\n")}),
    CaseName);

// Messages that are damaged somewhere, or have no headers at all: each was
// written as the source held it, and is found.
class DamagedEml : public VerifyEml {};

TEST_P(DamagedEml, IsFound) { EXPECT_EQ(Found(), 1); }

INSTANTIATE_TEST_SUITE_P(
    Table, DamagedEml,
    ::testing::Values(EmlCase{"NotAHeaderLine", "this is not a header\r\n\r\nbody\r\n"},
                      EmlCase{"HeaderlessBodyOnly", "a message of one body line and no headers\r\n"},
                      EmlCase{"OnlyABlankLine", "\r\n"},
                      EmlCase{"BinaryNoise", std::string("\x00\x01\xfe\xff\x00\r\n\r\n\x80", 9)},
                      EmlCase{"MultipartCutShort", MultipartMessage("--XX\r\nContent-Type: text/pl")},
                      EmlCase{"MultipartWithoutBoundaries", MultipartMessage("no parts at all\r\n")},
                      EmlCase{"ContinuationFirst", " folded\r\nSubject: x\r\n\r\nbody\r\n"}),
    CaseName);

TEST(VerifyEmlFolder, CountsEveryMessageFileAndOnlyThose)
{
    kestrin_test::TempDir dir;
    kestrin_test::WriteFile(dir / "a_1.eml", Headers("\r\n") + "\r\none\r\n");
    kestrin_test::WriteFile(dir / "b_2.eml", Headers("\n") + "\n" + LongBody());
    kestrin_test::WriteFile(dir / "c_3.eml", Headers("\r\n"));
    kestrin_test::WriteFile(dir / "empty_4.eml", "");
    kestrin_test::WriteFile(dir / "._a_1.eml", Headers("\r\n"));
    kestrin_test::WriteFile(dir / "notes.txt", Headers("\r\n"));
    fs::create_directories(dir / "folder.eml");
    EXPECT_EQ(FoundIn(dir.path()), 3);
}

}  // namespace
