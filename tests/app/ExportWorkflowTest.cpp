// The window's Convert: checks, the choice of target folder, the export on
// its worker with the progress sheet, the options later exports keep, the
// result sheet and the guides.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include <boost/filesystem.hpp>

#include "AppFakes.h"
#include "EventQueueDispatcher.h"
#include "app/Application.h"
#include "app/Convert.h"
#include "app/MainWindowController.h"
#include "export/AppInfo.h"
#include "support/TestSupport.h"

using namespace KestrinApp;
using namespace kestrin_app_fakes;
namespace fs = boost::filesystem;

namespace {

// What the provider factory was asked for, and the folders the export wrote.
struct ProviderLog {
    std::vector<ExportTarget> targets;
    std::vector<std::string> roots;
    std::vector<std::vector<int>> mergeLists;
    std::vector<NameStyle> nameStyles;
    boost::shared_ptr<FakeStore> output;
};

OutputProviderFactory RecordingFactory(ProviderLog& log)
{
    return [&log](ExportTarget target, const std::string& root, const std::vector<int>& merge,
                  NameStyle names) {
        log.targets.push_back(target);
        log.roots.push_back(root);
        log.mergeLists.push_back(merge);
        log.nameStyles.push_back(names);
        log.output = MakeOpenStore(root, L"Out", true);
        auto output = log.output;
        return boost::make_shared<FakeProvider>(
            [output](const boost::shared_ptr<IAssetFolder>& source, const boost::shared_ptr<IAsset>&) {
                return output->MapAssetFolderRelative(source, true);
            });
    };
}

class ExportWorkflowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        InitializeApplication();
        LoadSource("/lib", StoreKind::EnvelopeIndex);
        choosers.save = target.str();
    }
    // Loads a store of the kind with two folders, as the window loads one.
    void LoadSource(const std::string& path, StoreKind kind)
    {
        source = MakeKindStore(path, kind);
        inbox = AddCounted(source, L"Inbox", kFolderKindMail, 2);
        inbox->entries = {ItemEntry(L"first"), ItemEntry(L"second")};
        sent = AddCounted(source, L"Sent", kFolderKindMail, 1);
        sent->entries = {ItemEntry(L"third")};
        ASSERT_TRUE(content.LoadStore(path));
        dispatcher.RunUntil([&] { return !content.IsLoading(); });
        ASSERT_TRUE(content.Source());
    }
    // When the export shows its first item, the user does something on the
    // main thread; the worker goes on only after that.
    void OnMainThreadAtFirstItem(std::function<void()> action)
    {
        progress.onEvent = [this, action](const std::wstring& event) {
            if (event != L"message first")
                return;
            auto done = std::make_shared<std::atomic<bool>>(false);
            dispatcher.Post([action, done] {
                action();
                *done = true;
            });
            while (!done->load())
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        };
    }
    // Convert, then run the main thread until the result sheet was shown.
    // The user presses Cancel when the progress sheet shows trigger.
    void CancelAt(const std::wstring& trigger)
    {
        progress.onEvent = [this, trigger](const std::wstring& event) {
            if (event == trigger)
                window.ClickCancel();
        };
    }
    void ConvertAndWait()
    {
        window.ClickConvert();
        dispatcher.RunUntil([&] { return !window.IsExporting(); });
    }
    Status LastStatus() const
    {
        const auto record = window.LastExport();
        return record ? record->status : Status::Failed;
    }

    kestrin_test::TempDir target;
    EventQueueDispatcher dispatcher;
    RecordingAlerts alerts;
    FixedChoosers choosers;
    RecordingWorkspace workspace;
    RecordingReportView reports;
    RecordingProgressSheet progress;
    RecordingLoadingSheet loading;
    ProviderLog providers;
    boost::shared_ptr<KindStore> source;
    StoreContentViewController content{dispatcher, alerts, loading,
                                       [this](const std::string&, const boost::shared_ptr<ICancelable>&)
                                           -> boost::shared_ptr<IAssetStore> { return source; }};
    MainWindowController window{
        MainWindowSeams{dispatcher, alerts, choosers, workspace, reports, progress}, content,
        RecordingFactory(providers)};
    boost::shared_ptr<CountedFolder> inbox;
    boost::shared_ptr<CountedFolder> sent;
};

TEST(TargetTest, FormatIndexMapsToTarget)
{
    const std::pair<int, ExportTarget> cases[] = {
        {0, ExportTarget::Archive}, {1, ExportTarget::Eml}, {2, ExportTarget::Mbox},
        {3, ExportTarget::Maildir}, {4, ExportTarget::Eml},     {-1, ExportTarget::Eml},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TargetForFormatIndex(c.first), c.second) << c.first;
}

TEST_F(ExportWorkflowTest, ConvertWithNothingSelectedShowsTheAlertAndDoesNotExport)
{
    content.FolderView().SetCategoryValue(kCategoryMail, kCategoryNone);
    window.ClickConvert();
    ASSERT_EQ(alerts.alerts.size(), 1u);
    EXPECT_EQ(alerts.alerts[0].message, "Please select one or more folders for processing.");
    EXPECT_EQ(alerts.alerts[0].button, "Ok");
    EXPECT_EQ(alerts.alerts[0].informative, "");
    EXPECT_FALSE(window.IsExporting());
    EXPECT_TRUE(choosers.saveStartFolders.empty());
    EXPECT_TRUE(providers.targets.empty());
}

TEST_F(ExportWorkflowTest, ExportWritesIntoConvertedDataAndShowsTheResult)
{
    window.SetOutputFormatIndex(1);
    ConvertAndWait();

    const std::string root = (target.path() / "Converted Data").string();
    const auto record = window.LastExport();
    ASSERT_TRUE(record);
    EXPECT_EQ(record->outputFolder, root);
    EXPECT_EQ(record->logPath, root + "/Detailed Conversion Report.txt");
    EXPECT_TRUE(fs::is_regular_file(root + "/Detailed Conversion Report.txt"));
    EXPECT_EQ(record->status, Status::Succeeded);
    EXPECT_EQ(record->target, ExportTarget::Eml);
    EXPECT_EQ(record->source, "/lib");
    EXPECT_EQ(providers.targets, (std::vector<ExportTarget>{ExportTarget::Eml}));
    EXPECT_EQ(providers.roots, (std::vector<std::string>{root}));
    EXPECT_EQ(providers.mergeLists, (std::vector<std::vector<int>>{{3, 4}}));
    EXPECT_EQ(record->folders.size(), 2u);

    ASSERT_EQ(reports.reports.size(), 1u);
    const ReportData& report = reports.reports[0];
    EXPECT_EQ(report.title, "Conversion completed");
    EXPECT_NE(report.report.find("Operation completed successfully."), std::string::npos);
    EXPECT_NE(report.report.find("Total number of items processed:3"), std::string::npos);
    EXPECT_EQ(report.footer1, "Converted Data is saved at following path:\n" + root);
    EXPECT_EQ(report.footer2, "A detailed Log Report is saved at following path:\n" + root +
                                  "/Detailed Conversion Report.txt");
    EXPECT_EQ(workspace.calls,
              (std::vector<std::string>{"document Thunderbird Import Guide EML.pdf"}));

    const auto events = progress.Events();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.front(), L"begin");
    EXPECT_EQ(events.back(), L"end");
    EXPECT_NE(std::find(events.begin(), events.end(), L"items Overall: Items [ 3 / 3 ]"),
              events.end());

    // The result sheet's buttons name this export's folder and log.
    workspace.calls.clear();
    window.LocateOutput();
    window.OpenLogReport();
    EXPECT_EQ(workspace.calls, (std::vector<std::string>{"reveal " + root,
                                                         "open " + root + "/Detailed Conversion Report.txt"}));
}

TEST_F(ExportWorkflowTest, SecondExportGetsANumberedOutputFolder)
{
    fs::create_directory(target.path() / "Converted Data");
    fs::create_directory(target.path() / "Converted Data (1)");
    ConvertAndWait();
    ASSERT_TRUE(window.LastExport());
    EXPECT_EQ(window.LastExport()->outputFolder, (target.path() / "Converted Data (2)").string());
}

TEST_F(ExportWorkflowTest, MergeOptionsStayOnAfterTheyAreTurnedOff)
{
    ConvertAndWait();
    content.mergeContacts = false;
    content.mergeCalendar = false;
    ConvertAndWait();
    ASSERT_EQ(providers.mergeLists.size(), 2u);
    EXPECT_EQ(providers.mergeLists[1], (std::vector<int>{3, 4}));
    // The confirmed folder is remembered for the next chooser.
    EXPECT_EQ(choosers.saveStartFolders.at(1), target.str());
}

TEST_F(ExportWorkflowTest, NameStyleReachesTheProviderForEachExport)
{
    ConvertAndWait();
    window.SetNameStyle(NameStyle::Unicode);
    ConvertAndWait();
    window.SetNameStyle(NameStyle::Ascii);
    ConvertAndWait();
    EXPECT_EQ(providers.nameStyles,
              (std::vector<NameStyle>{NameStyle::Ascii, NameStyle::Unicode, NameStyle::Ascii}));
}

TEST_F(ExportWorkflowTest, GuidesFollowTheResultByTarget)
{
    const std::pair<int, std::vector<std::string>> cases[] = {
        {0, {"document Outlook Import Guide.pdf"}},
        {1, {"document Thunderbird Import Guide EML.pdf"}},
        {2, {}},
    };
    for (const auto& c : cases) {
        workspace.calls.clear();
        window.SetOutputFormatIndex(c.first);
        ConvertAndWait();
        EXPECT_EQ(workspace.calls, c.second) << c.first;
    }
}

TEST_F(ExportWorkflowTest, CancelledChooserStartsNothing)
{
    choosers.save = boost::none;
    EXPECT_EQ(window.ClickConvert(), ConvertStart::kNoSaveFolder);
    EXPECT_FALSE(window.IsExporting());
    EXPECT_FALSE(window.LastExport());
    EXPECT_TRUE(progress.Events().empty());
}

// The folder chosen to save into lies in the mail folder: the alert says so
// and nothing starts, nothing is made.
TEST_F(ExportWorkflowTest, OutputFolderInsideTheMailFolderStartsNothing)
{
    const fs::path mail = target.path() / "Mail";
    fs::create_directories(mail / "V10");
    LoadSource(mail.string(), StoreKind::EnvelopeIndex);
    choosers.save = (mail / "V10").string();
    EXPECT_EQ(window.ClickConvert(), ConvertStart::kOutputInMailFolder);
    EXPECT_FALSE(window.IsExporting());
    ASSERT_EQ(alerts.alerts.size(), 1u);
    EXPECT_EQ(alerts.alerts[0].message, "The output folder is inside the mail folder being converted.");
    EXPECT_FALSE(window.LastExport());
    EXPECT_TRUE(providers.targets.empty());
    EXPECT_TRUE(fs::is_empty(mail / "V10"));

    choosers.save = target.str();
    EXPECT_EQ(window.ClickConvert(), ConvertStart::kStarted);
    dispatcher.RunUntil([&] { return !window.IsExporting(); });
    EXPECT_EQ(LastStatus(), Status::Succeeded);
}

// A folder chosen to load whose load was refused (an export was reading the
// loaded one) still counts as the mail folder.
TEST_F(ExportWorkflowTest, OutputFolderInsideAChosenMailFolderIsRefusedToo)
{
    const fs::path chosen = target.path() / "Other Mail";
    fs::create_directories(chosen);
    content.SetStoreInUse(true);
    window.FolderChosen(chosen.string());
    content.SetStoreInUse(false);
    EXPECT_EQ(window.MailFolderPath(), chosen.string());
    EXPECT_EQ(content.SourceStore(), source);

    choosers.save = chosen.string();
    EXPECT_EQ(window.ClickConvert(), ConvertStart::kOutputInMailFolder);
    EXPECT_TRUE(fs::is_empty(chosen));
}

TEST_F(ExportWorkflowTest, CancelDuringTheExportAbortsIt)
{
    // The user presses cancel as soon as the first item shows.
    CancelAt(L"message first");
    ConvertAndWait();
    EXPECT_EQ(LastStatus(), Status::Canceled);
    ASSERT_EQ(reports.reports.size(), 1u);
    EXPECT_EQ(reports.reports[0].title, "Conversion cancelled");
    EXPECT_NE(reports.reports[0].report.find("Operation canceled by user."), std::string::npos);
}

TEST_F(ExportWorkflowTest, CancelPressedAsSoonAsTheSheetShowsCounts)
{
    CancelAt(L"begin");
    ConvertAndWait();
    EXPECT_EQ(LastStatus(), Status::Canceled);
}

TEST_F(ExportWorkflowTest, CancelOfAnEarlierExportDoesNotStopTheNext)
{
    CancelAt(L"message first");
    ConvertAndWait();
    ASSERT_EQ(LastStatus(), Status::Canceled);
    progress.onEvent = nullptr;
    ConvertAndWait();
    EXPECT_EQ(LastStatus(), Status::Succeeded);
}

TEST_F(ExportWorkflowTest, FailedItemsMakeTheExportFail)
{
    sent->entries = {UnreadableEntry()};
    ConvertAndWait();
    EXPECT_EQ(LastStatus(), Status::Failed);
    EXPECT_EQ(reports.reports.at(0).title, "Conversion completed with errors");
}

TEST_F(ExportWorkflowTest, MboxSourceCountsCallsNotUnits)
{
    LoadSource("/mbox", StoreKind::MboxArchive);
    ConvertAndWait();
    const auto events = progress.Events();
    EXPECT_NE(std::find(events.begin(), events.end(), L"items Overall: Items [ 3 ]"), events.end());
}

TEST_F(ExportWorkflowTest, UncreatableOutputFolderFailsInsteadOfSucceeding)
{
    kestrin_test::WriteFile(target.path() / "file", "not a folder");
    choosers.save = (target.path() / "file").string();
    ConvertAndWait();
    EXPECT_EQ(LastStatus(), Status::Failed);
    EXPECT_TRUE(providers.targets.empty());
    ASSERT_EQ(reports.reports.size(), 1u);
    EXPECT_EQ(reports.reports[0].title, "Conversion failed");
    EXPECT_NE(reports.reports[0].report.find("Could not create the folder for the converted data"),
              std::string::npos);
}

// A set-up that failed made no output folder and no log: the result must
// name neither the chosen path nor the log of the export before.
TEST_F(ExportWorkflowTest, FailedSetUpNamesNoFolderAndNoEarlierLog)
{
    ConvertAndWait();
    ASSERT_EQ(LastStatus(), Status::Succeeded);
    const std::string earlierLog = window.LastExport()->logPath;
    ASSERT_FALSE(earlierLog.empty());

    kestrin_test::WriteFile(target.path() / "file", "not a folder");
    choosers.save = (target.path() / "file").string();
    ConvertAndWait();
    ASSERT_EQ(reports.reports.size(), 2u);
    const ReportData& failed = reports.reports[1];
    EXPECT_EQ(failed.title, "Conversion failed");
    EXPECT_EQ(failed.footer1, "No converted data was saved.");
    EXPECT_EQ(failed.footer2, "No detailed Log Report was written.");
    EXPECT_EQ(failed.report.find(earlierLog), std::string::npos);
    const auto record = window.LastExport();
    ASSERT_TRUE(record);
    EXPECT_TRUE(record->outputFolder.empty());
    EXPECT_TRUE(record->logPath.empty());
    EXPECT_EQ(record->status, Status::Failed);
    // Nothing to show or open.
    workspace.calls.clear();
    window.LocateOutput();
    window.OpenLogReport();
    EXPECT_TRUE(workspace.calls.empty());
}

// The export's own account: per source folder, from the driver's events.
TEST_F(ExportWorkflowTest, RecordCountsEveryItemPerFolder)
{
    sent->entries = {ItemEntry(L"third"), UnreadableEntry()};
    ConvertAndWait();
    const auto record = window.LastExport();
    ASSERT_TRUE(record);
    ASSERT_EQ(record->folders.size(), 2u);
    EXPECT_EQ(record->folders[0].processed, 2);
    EXPECT_EQ(record->folders[1].processed, 1);
    EXPECT_EQ(record->folders[1].failed, 1);
    EXPECT_EQ(record->folders[1].failedNames.size(), 1u);
    const ExportTotals totals = record->Totals();
    EXPECT_EQ(totals.listed, 4);
    EXPECT_EQ(totals.converted, 3);
    EXPECT_EQ(totals.failed, 1);
    EXPECT_EQ(record->status, Status::Failed);
    EXPECT_EQ(record->outputFolder, (target.path() / "Converted Data").string());
}

TEST_F(ExportWorkflowTest, TheStoreStaysWhileTheExportReadsIt)
{
    // A load or a close asked for while the export runs is refused; the
    // export ends with every item.
    bool loadAccepted = true;
    OnMainThreadAtFirstItem([&] {
        loadAccepted = content.LoadStore("/elsewhere");
        content.FolderView().RemoveStoreFromFolderView(source);
    });
    ConvertAndWait();
    EXPECT_FALSE(loadAccepted);
    EXPECT_EQ(source->closeCalls, 0);
    EXPECT_EQ(content.FolderView().RootNode()->NumberOfChildren(), 1u);
    EXPECT_EQ(LastStatus(), Status::Succeeded);
    EXPECT_NE(window.LastExport()->reportText.find("Total number of items processed:3"),
              std::string::npos);
    EXPECT_TRUE(alerts.alerts.empty());
    EXPECT_FALSE(content.StoreInUse());
}

TEST_F(ExportWorkflowTest, ShutdownDuringTheExportCancelsItAndEndsWithoutDeadlock)
{
    bool idle = false;
    OnMainThreadAtFirstItem([&] { window.RequestShutdown([&] { idle = true; }); });
    window.ClickConvert();
    dispatcher.RunUntil([&] { return idle; });
    EXPECT_FALSE(window.IsBusy());
    EXPECT_EQ(LastStatus(), Status::Canceled);
    // Quitting shows no result sheet and opens no guide.
    EXPECT_TRUE(reports.reports.empty());
    EXPECT_TRUE(workspace.calls.empty());
    // Convert is refused once shutting down.
    window.ClickConvert();
    EXPECT_FALSE(window.IsExporting());
}

TEST_F(ExportWorkflowTest, ShutdownWhenIdleIsImmediate)
{
    bool idle = false;
    window.RequestShutdown([&] { idle = true; });
    EXPECT_TRUE(idle);
}

TEST(ReportTest, TitlesAndFootersByResult)
{
    const std::pair<Status, const char*> cases[] = {
        {Status::Succeeded, "Conversion completed"},
        {Status::Canceled, "Conversion cancelled"},
        {Status::Failed, "Conversion failed"},
    };
    for (const auto& c : cases) {
        ExportRecord record;
        record.status = c.first;
        record.outputFolder = "/out/Converted Data";
        record.logPath = "/out/Converted Data/log.txt";
        record.reportText = "brief";
        const ReportData report = MakeReport(record);
        EXPECT_EQ(report.status, c.first);
        EXPECT_EQ(report.title, c.second);
        EXPECT_EQ(report.report, "brief");
        EXPECT_EQ(report.footer1, "Converted Data is saved at following path:\n/out/Converted Data");
        EXPECT_EQ(report.footer2,
                  "A detailed Log Report is saved at following path:\n/out/Converted Data/log.txt");
    }
}

TEST(StartUpTest, ApplicationInformationIsRegisteredOnce)
{
    InitializeApplication();
    const auto info = KestrinMIMEEngineCommon::GetAppInfo();
    ASSERT_TRUE(info);
    InitializeApplication();
    EXPECT_EQ(KestrinMIMEEngineCommon::GetAppInfo(), info);
    EXPECT_EQ(SupportAddress(), info->GetSupportAddress());
    EXPECT_NE(SupportAddress().find('@'), std::string::npos);
}

}  // namespace
