// What a finished conversion says first: export endings run for real over a
// small Apple Mail library (a disk that refuses writes stands in for a full,
// read-only or over-quota one), each with its exact title, headline and what
// there is to open; and the notice for names written in ASCII.
#include <gtest/gtest.h>

#include <cerrno>
#include <functional>

#include <boost/filesystem.hpp>

#include "app/Application.h"
#include "app/Convert.h"
#include "app/ResultSummary.h"
#include "app/Source.h"
#include "libbuilder/Accounts.h"
#include "libbuilder/EnvelopeIndex.h"
#include "support/RefusingOutput.h"
#include "support/TestSupport.h"

using namespace KestrinApp;
namespace fs = boost::filesystem;
namespace lb = kestrin_libbuilder;

namespace {

// INBOX (3 messages) and Work (1). With problems, Apple Mail never
// downloaded one INBOX message, and the index lists Spam with 2 messages
// but Spam has no folder on disk. inboxName replaces "INBOX" (the URL holds
// it percent-encoded).
fs::path WriteLibrary(const fs::path& parent, bool problems,
                      const std::string& inboxName = "INBOX", const std::string& inboxUrlName = "INBOX")
{
    lb::EnvelopeIndexRecipe recipe;
    recipe.layout = 10;
    recipe.mailboxes = {
        lb::MakeEnvelopeMailbox(1, "imap://ACCOUNT/" + inboxUrlName, "V10/ACCOUNT/" + inboxName + ".mbox",
            {lb::MakeEnvelopeMessage(1, "One", 1500000000), lb::MakeEnvelopeMessage(2, "Two", 1500000100),
             lb::MakeEnvelopeMessage(3, "Three", 1500000200, !problems)}),
        lb::MakeEnvelopeMailbox(2, "imap://ACCOUNT/Work", "V10/ACCOUNT/Work.mbox",
            {lb::MakeEnvelopeMessage(4, "Four", 1500000300)}),
    };
    if (problems)
        recipe.mailboxes.push_back(lb::MakeEnvelopeMailbox(3, "imap://ACCOUNT/Spam", fs::path(),
                                       {lb::MakeEnvelopeMessage(5, "Five", 1500000400),
                                        lb::MakeEnvelopeMessage(6, "Six", 1500000500)}));
    const fs::path root = parent / "Mail";
    lb::WriteEnvelopeIndexLibrary(root, recipe);
    for (const auto& box : recipe.mailboxes)
        if (!box.bundle.empty())
            lb::WriteMailboxInfoPlist(root / box.bundle, box.bundle.stem().string(),
                                      lb::PlistFormat::Binary);
    return root;
}

class CancelingObserver : public ExportObserver {
public:
    explicit CancelingObserver(int after) : m_after(after) {}
    // Runs once the first message was shown.
    std::function<void()> afterFirst;
    void ItemShown(const std::wstring&) override
    {
        if (++m_items == 2 && afterFirst) afterFirst();
    }
    bool IsCanceled() override { return m_after > 0 && m_items >= m_after; }

private:
    int m_after;
    int m_items = 0;
};

struct Converted {
    ExportRecord record;
    std::shared_ptr<kestrin_test::RefusingDisk> disk;
};

Converted ConvertLibrary(const fs::path& mail, const fs::path& out, int cancelAfter = 0,
              std::shared_ptr<kestrin_test::RefusingDisk> disk = nullptr,
              NameStyle names = NameStyle::Ascii, std::function<void()> afterFirst = nullptr)
{
    LoadObserver loading;
    LoadResult loaded = OpenSource(mail.string(), loading);
    EXPECT_EQ(loaded.status, Status::Succeeded) << loaded.reason;
    ExportRequest request;
    request.source = loaded.source;
    if (loaded.source) request.folders = SelectFolders(loaded.source->Root(), {}, nullptr);
    request.outputFolder = out.string();
    request.names = names;
    CancelingObserver observer(cancelAfter);
    observer.afterFirst = std::move(afterFirst);
    Converted converted{Convert(request, observer,
                                disk ? kestrin_test::RefusingProviders(disk)
                                     : MakeStandardProviderFactory()),
                        disk};
    return converted;
}

std::shared_ptr<kestrin_test::RefusingDisk> Disk(int room, int error)
{
    auto disk = std::make_shared<kestrin_test::RefusingDisk>();
    disk->room = room;
    disk->error = error;
    return disk;
}

TEST(ResultSummaryTest, EachEndingHasItsTitleHeadlineAndWhatThereIsToOpen)
{
    InitializeApplication();
    struct Ending {
        const char* name;
        bool problems;  // a message not downloaded, a mailbox not on disk
        int cancelAfter;
        std::shared_ptr<kestrin_test::RefusingDisk> disk;
        bool removeOutput;  // the written messages' folder is taken away during the run
        ResultTitleKind kind;
        const char* title;
        const char* headline;
    };
    const Ending endings[] = {
        {"success", false, 0, nullptr, false, ResultTitleKind::Completed, "Conversion completed",
         "4 of 4 messages converted to EML"},
        {"not downloaded and not on disk", true, 0, nullptr, false, ResultTitleKind::CompletedWithProblems,
         "Conversion completed with problems",
         "4 of 6 messages converted to EML \u00B7 1 not downloaded by Apple Mail \u00B7 2 listed in "
         "Spam but not on this disk"},
        {"disk full", false, 0, Disk(1, ENOSPC), false, ResultTitleKind::Failed, "Conversion stopped",
         "No space left on device: 1 of 4 messages written"},
        {"read-only output", false, 0, Disk(0, EROFS), false, ResultTitleKind::Failed, "Conversion stopped",
         "The output's file system is read-only: 0 of 4 messages written"},
        {"quota used up", false, 0, Disk(3, EDQUOT), false, ResultTitleKind::Failed, "Conversion stopped",
         "The disk quota is used up: 3 of 4 messages written"},
        {"output removed", false, 0, nullptr, true, ResultTitleKind::Failed, "Conversion stopped",
         "The output folder was removed: 1 of 4 messages written"},
        {"cancel", false, 2, nullptr, false, ResultTitleKind::Cancelled, "Conversion cancelled",
         "Cancelled: 2 messages kept; INBOX stopped at 2 of 3; 1 folder not started"},
    };
    for (const Ending& ending : endings) {
        SCOPED_TRACE(ending.name);
        kestrin_test::TempDir home;
        kestrin_test::TempDir out;
        kestrin_test::CapturedDiagnostics quiet;
        const fs::path written = out.path() / "Converted Data" / "Mails";
        const Converted run = ConvertLibrary(
            WriteLibrary(home.path(), ending.problems), out.path(), ending.cancelAfter, ending.disk,
            NameStyle::Ascii, [&] {
                if (ending.removeOutput) fs::remove_all(written);
            });
        const ReportData report = MakeReport(run.record);
        const ResultSummary& summary = report.summary;
        EXPECT_EQ(summary.kind, ending.kind);
        EXPECT_EQ(summary.title, ending.title);
        EXPECT_EQ(report.title, ending.title);
        EXPECT_EQ(summary.headline, ending.headline);
        EXPECT_TRUE(summary.logExists);
        EXPECT_TRUE(summary.outputExists);
        EXPECT_TRUE(summary.notices.empty());

        const ExportTotals totals = run.record.Totals();
        EXPECT_EQ(totals.listed, totals.converted + totals.failed + totals.skipped + totals.notOnDisk)
            << "the totals add up";
        const std::string log = kestrin_test::ReadFile(run.record.logPath);
        // Nothing of the export's own is left behind in the output.
        for (fs::directory_iterator it(run.record.outputFolder), end; it != end; ++it)
            EXPECT_TRUE(it->path().filename() == "Mails" ||
                        it->path().filename() == "Detailed Conversion Report.txt")
                << it->path();
        if (ending.disk) {
            EXPECT_EQ(ending.disk->refused, 1) << "no message is tried after the disk refused one";
        }
        if (ending.disk || ending.removeOutput) {
            EXPECT_EQ(totals.failed, 1) << "no message is tried after the one refused";
            EXPECT_EQ(run.record.status, Status::Failed);
            // The report is whole: the status line as ever, then how far it got.
            EXPECT_NE(log.find("Operation completed with errors."), std::string::npos);
            const std::string last = std::string(ending.headline) + "\r\n";
            ASSERT_GE(log.size(), last.size());
            EXPECT_EQ(log.substr(log.size() - last.size()), last);
            ASSERT_FALSE(summary.problems.empty());
            EXPECT_EQ(summary.problems[0].rfind(StopCause(run.record.stop), 0), 0u)
                << summary.problems[0];
        }
        if (ending.problems) {
            EXPECT_EQ(totals.notOnDisk, 2);
            ASSERT_EQ(summary.problems.size(), 1u);
            EXPECT_NE(summary.problems[0].find("Spam: 2 messages listed"), std::string::npos)
                << summary.problems[0];
        }
    }
}

TEST(ResultSummaryTest, NothingMadeLeavesNothingToOpen)
{
    InitializeApplication();
    kestrin_test::CapturedDiagnostics quiet;
    kestrin_test::TempDir home;
    kestrin_test::WriteFile(home / "not a folder", "x");
    const Converted run = ConvertLibrary(WriteLibrary(home.path(), false), home / "not a folder");
    const ResultSummary summary = MakeResultSummary(run.record);
    EXPECT_EQ(summary.kind, ResultTitleKind::Failed);
    EXPECT_EQ(summary.title, "Conversion failed");
    EXPECT_EQ(summary.headline.rfind("Could not create the folder for the converted data in ", 0), 0u)
        << summary.headline;
    EXPECT_FALSE(summary.logExists);
    EXPECT_FALSE(summary.outputExists);
}

TEST(ResultSummaryTest, NamesWrittenInAsciiAreNoticedOnceAndOnlyWhenOneChanged)
{
    InitializeApplication();
    const std::string inbox = "\xD0\x92\xD1\x85\xD0\xBE\xD0\xB4\xD1\x8F\xD1\x89\xD0\xB8\xD0\xB5";  // Входящие
    const std::string inboxUrl = "%D0%92%D1%85%D0%BE%D0%B4%D1%8F%D1%89%D0%B8%D0%B5";
    struct Case {
        const char* name;
        bool cyrillic;
        NameStyle names;
        size_t notices;
    } const cases[] = {
        {"Cyrillic folder written in ASCII", true, NameStyle::Ascii, 1},
        {"Cyrillic folder written as it is", true, NameStyle::Unicode, 0},
        {"ASCII folders written in ASCII", false, NameStyle::Ascii, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        kestrin_test::CapturedDiagnostics quiet;
        kestrin_test::TempDir home;
        kestrin_test::TempDir out;
        const fs::path mail = c.cyrillic ? WriteLibrary(home.path(), false, inbox, inboxUrl)
                                         : WriteLibrary(home.path(), false);
        const ResultSummary summary =
            MakeResultSummary(ConvertLibrary(mail, out.path(), 0, nullptr, c.names).record);
        ASSERT_EQ(summary.notices.size(), c.notices);
        if (c.notices) {
            EXPECT_EQ(summary.notices[0],
                      "Folder and file names were written in ASCII; the report's 'Saved As' lines "
                      "map each folder");
        }
    }
}

TEST(ResultSummaryTest, NumbersAreGroupedByThousands)
{
    EXPECT_EQ(GroupedNumber(0), "0");
    EXPECT_EQ(GroupedNumber(999), "999");
    EXPECT_EQ(GroupedNumber(1000), "1,000");
    EXPECT_EQ(GroupedNumber(20039), "20,039");
    EXPECT_EQ(GroupedNumber(1234567), "1,234,567");
    EXPECT_EQ(GroupedNumber(-4167), "-4,167");
}

}  // namespace

namespace {

// The headline names the format as the window's format list does.
TEST(ResultSummaryTest, HeadlineNamesTheFormatWritten)
{
    const struct {
        const char* name;
        ExportTarget target;
        const char* headline;
    } cases[] = {
        {"eml", ExportTarget::Eml, "2 of 2 messages converted to EML"},
        {"mbox", ExportTarget::Mbox, "2 of 2 messages converted to mbox"},
        {"archive", ExportTarget::Archive, "2 of 2 messages converted to an Outlook archive"},
        {"maildir", ExportTarget::Maildir, "2 of 2 messages converted to Maildir"},
    };
    for (const auto& c : cases) {
        ExportRecord record;
        record.target = c.target;
        record.status = Status::Succeeded;
        record.folders.push_back(ExportFolderRecord{"/INBOX/", "INBOX", 2, "", 2, 0, 0});
        EXPECT_EQ(MakeResultSummary(record).headline, c.headline) << c.name;
    }
}

}  // namespace
