// The result sheet's rows from the export's own record, and the read-back
// check run off the main thread with its answer handed back to it.
#include <gtest/gtest.h>

#include <fstream>

#include <boost/filesystem.hpp>

#include "EventQueueDispatcher.h"
#include "app/ExportResultRows.h"
#include "support/TestSupport.h"

namespace {

using namespace KestrinApp;
namespace fs = boost::filesystem;

TEST(ExportResultRowsTest, OnlyFoldersWithProblemsAreListedWithTheirMessagesByName)
{
    ExportRecord record;
    ExportFolderRecord clean;
    clean.sourcePath = "/anna/Archive/";
    clean.processed = 4;
    ExportFolderRecord inbox;
    inbox.sourcePath = "/anna/INBOX/";
    inbox.failedNames = {"Broken one"};
    inbox.notDownloadedNames = {"Large attachment", "Second"};
    ExportFolderRecord sent;
    sent.sourcePath = "/anna/Sent/";
    sent.skippedNames = {"Skipped one"};
    record.folders = {clean, inbox, clean, sent};

    const auto rows = FolderIssueRows(record);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].folder, "/anna/INBOX/");
    EXPECT_EQ(rows[0].failed, std::vector<std::string>{"Broken one"});
    EXPECT_TRUE(rows[0].skipped.empty());
    EXPECT_EQ(rows[0].notDownloaded, (std::vector<std::string>{"Large attachment", "Second"}));
    EXPECT_EQ(rows[1].folder, "/anna/Sent/");
    EXPECT_EQ(rows[1].skipped, std::vector<std::string>{"Skipped one"});
    EXPECT_TRUE(FolderIssueRows(ExportRecord{}).empty());
}

TEST(ExportResultRowsTest, AFolderWhoseProblemsAreOnlyCountedStillHasARow)
{
    ExportRecord record;
    ExportFolderRecord late;
    late.sourcePath = "/anna/Old/";
    late.processed = 7;
    late.notDownloaded = 7;
    late.failed = 2;
    late.failedNames = {"Named one"};
    record.folders = {late};

    const auto rows = FolderIssueRows(record);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].failed, std::vector<std::string>{"Named one"});
    EXPECT_EQ(rows[0].unnamed, 8);
}

void WriteMessage(const fs::path& file, const std::string& subject)
{
    std::ofstream out(file.string(), std::ios::binary);
    out << "From: a@example.com\r\nTo: b@example.com\r\nSubject: " << subject
        << "\r\nMessage-ID: <" << subject << "@example.com>\r\n\r\nBody\r\n";
}

TEST(ExportResultRowsTest, TheBackgroundCheckAnswersOnTheMainThreadOncePerStart)
{
    kestrin_test::TempDir dir;
    fs::create_directories(dir / "INBOX");
    WriteMessage(dir / "INBOX" / "one.eml", "one");
    WriteMessage(dir / "INBOX" / "two.eml", "two");
    fs::create_directories(dir / "Sent");
    WriteMessage(dir / "Sent" / "three.eml", "three");

    auto record = std::make_shared<ExportRecord>();
    record->outputs = {{ExportOutputRecord::Kind::EmlDirectory, (dir / "INBOX").string(), 2, {"/INBOX/"}},
                       {ExportOutputRecord::Kind::EmlDirectory, (dir / "Sent").string(), 2, {"/Sent/"}},
                       {ExportOutputRecord::Kind::Mailbox, (dir / "Gone.mbox").string(), 1, {"/Gone/"}}};

    EventQueueDispatcher dispatcher;
    BackgroundVerify verify(dispatcher);
    std::vector<VerifyResult> answers;
    std::thread::id answeredOn;
    ASSERT_TRUE(verify.Start(record, [&](const VerifyResult& result) {
        answeredOn = std::this_thread::get_id();
        answers.push_back(result);
    }));
    EXPECT_FALSE(verify.Start(record, [](const VerifyResult&) {}));
    dispatcher.RunUntil([&] { return !answers.empty(); });
    EXPECT_FALSE(verify.IsRunning());
    EXPECT_EQ(answeredOn, std::this_thread::get_id());
    ASSERT_EQ(answers.size(), 1u);
    const VerifyResult& result = answers[0];
    EXPECT_FALSE(result.ok);
    ASSERT_EQ(result.folders.size(), 3u);
    EXPECT_TRUE(result.folders[0].Agrees());
    EXPECT_EQ(result.folders[0].found, 2);
    EXPECT_FALSE(result.folders[1].Agrees());
    EXPECT_EQ(result.folders[1].found, 1);
    EXPECT_FALSE(result.folders[2].Agrees());
    EXPECT_EQ(result.folders[2].problem, "the mailbox file is missing");

    // A second check after the first one answered runs again.
    fs::remove(dir / "INBOX" / "two.eml");
    ASSERT_TRUE(verify.Start(record, [&](const VerifyResult& again) { answers.push_back(again); }));
    dispatcher.RunUntil([&] { return answers.size() == 2; });
    EXPECT_EQ(answers[1].folders[0].found, 1);
    EXPECT_FALSE(answers[1].folders[0].Agrees());
}

TEST(ExportResultRowsTest, AnAnswerArrivingAfterTheCheckWasDestroyedIsDropped)
{
    EventQueueDispatcher dispatcher;
    bool answered = false;
    {
        BackgroundVerify verify(dispatcher);
        ASSERT_TRUE(verify.Start(std::make_shared<ExportRecord>(),
                                 [&](const VerifyResult&) { answered = true; }));
    }
    dispatcher.Drain();
    EXPECT_FALSE(answered);
}

}  // namespace
