// Message files as interrupted copies, edits and partial downloads leave
// them, one damage per library, converted with `kestrin convert --json
// --verify`: what reached the output, what the report and the JSON say of
// it, the totals and the exit status. Repairs and damage are named by the
// file's path in the report and the JSON, never only on standard error.
#include <gtest/gtest.h>

#include <functional>

#include <boost/filesystem.hpp>
#include <nlohmann/json.hpp>

#include "cli/CliRun.h"
#include "cli/KestrinCli.h"
#include "libbuilder/Emlx.h"
#include "libbuilder/Mailboxes.h"
#include "support/TestSupport.h"

namespace {

using namespace KestrinCli;
namespace fs = boost::filesystem;
namespace lb = kestrin_libbuilder;
using kestrin_cli_test::Contains;
using kestrin_cli_test::Kestrin;
using kestrin_cli_test::RunResult;
using nlohmann::json;

// A message with CR LF line ends: a reader that parses and writes it again
// turns them into LF, which the byte comparisons below would show.
const std::string kMessage =
    "From: Sender Example <sender@example.com>\r\nTo: receiver@example.com\r\n"
    "Subject: two\r\nDate: Fri, 14 Jul 2017 02:40:00 +0000\r\nMessage-Id: <two@example.com>\r\n"
    "\r\nbody of two\r\nsecond line\r\n";

std::string Trailer() { return lb::EmlxTrailer(lb::MakeMessage("two", lb::TextPart("x\n"))); }

std::string Count(size_t bytes) { return std::to_string(bytes) + "\n"; }

struct Totals {
    int64_t converted, repaired, damaged, notFullyDownloaded, failed;
};

struct DamagedFileCase {
    const char* name;
    // The bytes of message file 2 (message 1 is intact); empty when `write`
    // makes it.
    std::string file;
    std::function<void(const fs::path& messages)> write;
    int status;
    Totals totals;
    std::string written;  // what message 2's output file must hold; empty: not compared
    std::string reported;  // a line part the report must hold, beside the file's path
    const char* jsonList;  // the JSON list that names message 2, or null
};

std::string CaseName(const ::testing::TestParamInfo<DamagedFileCase>& info) { return info.param.name; }

const std::string kHalf = kMessage.substr(0, kMessage.size() / 2);

const DamagedFileCase kCases[] = {
    {"WholeFileIsSound", Count(kMessage.size()) + kMessage + Trailer(), {}, kExitSuccess,
     {2, 0, 0, 0, 0}, kMessage, "", nullptr},
    {"NoCountLineKeepsTheFirstLineAndItsLineEnds", kMessage + Trailer(), {}, kExitSuccess,
     {2, 1, 0, 0, 0}, kMessage, "NOTE : Message file ", "repairedMessages"},
    {"CountPastTheMessageIsWrittenAsStored", Count(kMessage.size() + 100) + kMessage + Trailer(), {},
     kExitSuccess, {2, 1, 0, 0, 0}, kMessage, "does not match the message", "repairedMessages"},
    {"CountBelowTheMessageTakesItUpToTheTrailer", Count(20) + kMessage + Trailer(), {}, kExitSuccess,
     {2, 1, 0, 0, 0}, kMessage, "does not match the message", "repairedMessages"},
    {"CutShortWithoutTrailerIsDamaged", Count(kMessage.size()) + kHalf, {}, kExitErrors,
     {2, 0, 1, 0, 0}, kHalf,
     "ERROR : Message file ", "damagedMessages"},
    {"NotAMessageFileFailsByItsPath", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16), {}, kExitErrors,
     {1, 0, 0, 0, 1}, "", "The file holds no message", "failedMessages"},
    {"EmptyFileFailsByItsPath", "", [](const fs::path& messages) { lb::WriteBinaryFile(messages / "2.emlx", ""); },
     kExitErrors, {1, 0, 0, 0, 1}, "", "The file is empty", "failedMessages"},
    {"FolderInPlaceOfTheFileFailsByItsPath", "",
     [](const fs::path& messages) { fs::create_directories(messages / "2.emlx"); }, kExitErrors,
     {1, 0, 0, 0, 1}, "", "ERROR : Cannot read message file ", "failedMessages"},
    {"HeaderlessMessageIsWrittenAndFoundAgain",
     Count(std::string("only a body line\r\n").size()) + "only a body line\r\n" + Trailer(), {},
     kExitSuccess, {2, 0, 0, 0, 0}, "only a body line\r\n", "", nullptr},
    {"MissingAttachmentIsNamedInItsPlace", "",
     [](const fs::path& messages) {
         const lb::MailboxMessage message = lb::AttachmentMailboxMessage(
             2, "two", lb::AttachmentPart("report.pdf", "application/pdf", "PDF BYTES", lb::PartStorage::Missing));
         lb::WriteMessage(messages, 2, message.message);
     },
     kExitSuccess, {2, 0, 0, 1, 0}, "", "Apple Mail has not downloaded", "notFullyDownloadedMessages"},
};

class DamagedMessageFileTest : public ::testing::TestWithParam<DamagedFileCase> {
protected:
    kestrin_test::TempDir home;
    kestrin_test::CapturedDiagnostics diagnostics;
};

// Message 2's output file (the one that is not message 1's).
std::string SecondOutput(const fs::path& mails)
{
    for (fs::recursive_directory_iterator it(mails), end; it != end; ++it) {
        if (!fs::is_regular_file(it->path())) continue;
        const std::string bytes = kestrin_test::ReadFile(it->path());
        if (!Contains(bytes, "Subject: one")) return bytes;
    }
    return "<none>";
}

TEST_P(DamagedMessageFileTest, IsWrittenNamedAndCounted)
{
    const DamagedFileCase& c = GetParam();
    const fs::path source = home.path() / "Mail";
    const fs::path bundle = lb::WriteV1Mailbox(source, "Inbox", {lb::TextMailboxMessage(1, "one", "body of one\n")});
    const fs::path messageFile = bundle / "Messages" / (c.write ? "" : "2.emlx");
    if (c.write)
        c.write(bundle / "Messages");
    else
        lb::WriteBinaryFile(messageFile, c.file);
    fs::path named = messageFile;
    if (c.write) {
        for (fs::directory_iterator it(bundle / "Messages"), end; it != end; ++it)
            if (it->path().filename().string().rfind("2.", 0) == 0) named = it->path();
    }

    const fs::path out = home.path() / "out";
    const RunResult run =
        Kestrin({"convert", source.string(), "--to", "eml", "--out", out.string(), "--json", "--verify"});
    EXPECT_EQ(run.status, c.status) << run.err;
    json result;
    ASSERT_NO_THROW(result = json::parse(run.out)) << run.out;
    const json& totals = result.at("totals");
    EXPECT_EQ(totals.at("listed").get<int64_t>(), 2);
    EXPECT_EQ(totals.at("converted").get<int64_t>(), c.totals.converted);
    EXPECT_EQ(totals.at("repaired").get<int64_t>(), c.totals.repaired);
    EXPECT_EQ(totals.at("damaged").get<int64_t>(), c.totals.damaged);
    EXPECT_EQ(totals.at("notFullyDownloaded").get<int64_t>(), c.totals.notFullyDownloaded);
    EXPECT_EQ(totals.at("failed").get<int64_t>(), c.totals.failed);
    // What was written is found again: no false alarm, nothing missing.
    EXPECT_TRUE(result.at("verify").at("ok").get<bool>()) << result.at("verify").dump(1);

    const std::string report =
        kestrin_test::ReadFile(out / "Converted Data" / "Detailed Conversion Report.txt");
    if (!c.reported.empty()) {
        EXPECT_TRUE(Contains(report, c.reported)) << report;
        EXPECT_TRUE(Contains(report, named.string())) << report;
    }
    if (c.jsonList) {
        const json& names = result.at("folders").at(0).at(c.jsonList);
        ASSERT_EQ(names.size(), 1u) << result.dump(1);
        EXPECT_TRUE(Contains(names.at(0).get<std::string>(),
                             std::string(c.jsonList) == "notFullyDownloadedMessages" ? "Subject : two"
                                                                                    : named.string()))
            << names.dump();
    }
    if (!c.written.empty()) {
        EXPECT_EQ(SecondOutput(out / "Converted Data" / "Mails"), c.written);
    }
    // Standard error is for the run as a whole: a message's story is in the
    // report.
    EXPECT_FALSE(Contains(diagnostics.text(), "2.emlx")) << diagnostics.text();
    EXPECT_FALSE(Contains(diagnostics.text(), "2.partial.emlx")) << diagnostics.text();
}

INSTANTIATE_TEST_SUITE_P(Table, DamagedMessageFileTest, ::testing::ValuesIn(kCases), CaseName);

// A message cut short ends the run with problems, not with success, and
// says how much of it was there.
TEST(DamagedMessageFiles, CutMessageEndsTheRunWithProblems)
{
    kestrin_test::TempDir home;
    kestrin_test::CapturedDiagnostics quiet;
    const fs::path bundle = lb::WriteV1Mailbox(home.path() / "Mail", "Inbox", {});
    lb::WriteBinaryFile(bundle / "Messages" / "5.emlx", Count(kMessage.size()) + kHalf);
    const RunResult run = Kestrin({"convert", (home.path() / "Mail").string(), "--to", "mbox", "--out",
                                   (home.path() / "out").string()});
    EXPECT_EQ(run.status, kExitErrors);
    EXPECT_TRUE(Contains(run.out, "Operation completed with problems.")) << run.out;
    EXPECT_TRUE(Contains(run.out, "it holds " + std::to_string(kHalf.size()) + " bytes of the " +
                                      std::to_string(kMessage.size()) + " bytes its byte count gives"))
        << run.out;
    EXPECT_TRUE(Contains(run.out, "Converted damaged (message file cut short): 1")) << run.out;
}

// The part Apple Mail never downloaded says so in the converted message,
// under its own name, instead of an empty attachment posing as the real one.
TEST(DamagedMessageFiles, MissingAttachmentBecomesANoticeInTheMessage)
{
    kestrin_test::TempDir home;
    kestrin_test::CapturedDiagnostics quiet;
    const lb::MailboxMessage message = lb::AttachmentMailboxMessage(
        3, "with report", lb::AttachmentPart("report.pdf", "application/pdf", "PDF BYTES", lb::PartStorage::Missing));
    lb::WriteV1Mailbox(home.path() / "Mail", "Inbox", {message});
    const RunResult run = Kestrin({"convert", (home.path() / "Mail").string(), "--to", "eml", "--out",
                                   (home.path() / "out").string()});
    EXPECT_EQ(run.status, kExitSuccess) << run.err;
    const std::string written = SecondOutput(home.path() / "out" / "Converted Data" / "Mails");
    EXPECT_TRUE(Contains(written, "Content-Type: text/plain")) << written;
    EXPECT_TRUE(Contains(written, "filename=\"report.pdf (not downloaded).txt\"")) << written;
    EXPECT_TRUE(Contains(written, "Apple Mail had not downloaded it")) << written;
    EXPECT_TRUE(Contains(written, "\"report.pdf\" (application/pdf)")) << written;
    EXPECT_FALSE(Contains(written, "application/pdf;")) << written;
    EXPECT_FALSE(Contains(written, "X-Apple-Content-Length")) << written;
    EXPECT_TRUE(Contains(run.out, "Converted without some attachments (not fully downloaded): 1")) << run.out;
}

}  // namespace
