// Convert and the export run: checks, state keys, output folder, provider
// choice, progress, results and the result sheet.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include <boost/filesystem.hpp>

#include "AppFakes.h"
#include "app/Application.h"
#include "app/EventQueueDispatcher.h"
#include "app/ExportRun.h"
#include "export/AppInfo.h"
#include "app/MainWindowController.h"
#include "support/TestSupport.h"

using namespace KestrinApp;
using namespace kestrin_app_fakes;
using KestrinMIMEEngineCommon::NameStyle;
namespace fs = boost::filesystem;

namespace {

class NoLoadingSheet : public ILoadingSheet {
public:
    void BeginProgress() override {}
    void EndProgress() override {}
    void SetProgressMessage(const std::wstring&) override {}
    void SetFilePath(const std::wstring&) override {}
};

// What the provider factory was asked for, and the folders the export wrote.
struct ProviderLog {
    std::vector<int> targetCodes;
    std::vector<std::string> roots;
    std::vector<std::vector<int>> mergeLists;
    std::vector<NameStyle> nameStyles;
    boost::shared_ptr<FakeStore> output;
};

OutputProviderFactory RecordingFactory(ProviderLog& log)
{
    return [&log](int targetCode, const std::string& root, const std::vector<int>& merge,
                  NameStyle names) {
        log.targetCodes.push_back(targetCode);
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
        source = MakeKindStore("/lib", kStoreTypeEnvelopeIndex);
        inbox = AddCounted(source, L"Inbox", kFolderKindMail, 2);
        inbox->entries = {ItemEntry(L"first"), ItemEntry(L"second")};
        sent = AddCounted(source, L"Sent", kFolderKindMail, 1);
        sent->entries = {ItemEntry(L"third")};
        content.FolderView().AddStoreToFolderView(source);
        state.Set(StateKey::kSourceFormatKey, int64_t{kStoreTypeEnvelopeIndex});
        choosers.save = target.str();
    }
    // When the export shows its first item, the user does something on the
    // main thread; the worker goes on only after that.
    void OnMainThreadAtFirstItem(std::function<void()> action)
    {
        progress.onPost = [this, action](const std::wstring& event) {
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
    void ConvertAndWait()
    {
        window.ClickConvert();
        dispatcher.RunUntil([&] { return !window.IsExporting(); });
    }

    kestrin_test::TempDir target;
    AppStateData state;
    EventQueueDispatcher dispatcher;
    RecordingAlerts alerts;
    FixedChoosers choosers;
    RecordingWorkspace workspace;
    RecordingReportView reports;
    RecordingProgressSheet progress;
    NoLoadingSheet loading;
    ProviderLog providers;
    StoreContentViewController content{state, dispatcher, alerts, loading, {}};
    MainWindowController window{
        MainWindowSeams{state, dispatcher, alerts, choosers, workspace, reports, progress}, content,
        RecordingFactory(providers)};
    boost::shared_ptr<KindStore> source;
    boost::shared_ptr<CountedFolder> inbox;
    boost::shared_ptr<CountedFolder> sent;
};

TEST(TargetCodeTest, FormatIndexMapsToTargetCode)
{
    const std::pair<int, int> cases[] = {{0, 2}, {1, 13}, {2, 6}, {3, 7}, {5, 7}, {-1, 7}};
    for (const auto& c : cases)
        EXPECT_EQ(TargetCodeForFormatIndex(c.first), c.second) << c.first;
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
    EXPECT_FALSE(state.Has(StateKey::kSelectedItems));
}

TEST_F(ExportWorkflowTest, ExportWritesIntoConvertedDataAndShowsTheResult)
{
    window.SetOutputFormatIndex(1);
    ConvertAndWait();

    const std::string root = (target.path() / "Converted Data").string();
    EXPECT_EQ(state.GetString(StateKey::kExportPath), root);
    EXPECT_EQ(state.GetString(StateKey::kLogReportPath),
              root + "/Detailed Conversion Report.txt");
    EXPECT_TRUE(fs::is_regular_file(root + "/Detailed Conversion Report.txt"));
    EXPECT_EQ(state.GetInteger(StateKey::kExportResult).value_or(-99), 0);
    EXPECT_EQ(state.GetInteger(StateKey::kTargetFormatKey).value_or(-99), kTargetEML);
    EXPECT_EQ(providers.targetCodes, (std::vector<int>{kTargetEML}));
    EXPECT_EQ(providers.roots, (std::vector<std::string>{root}));
    EXPECT_EQ(providers.mergeLists, (std::vector<std::vector<int>>{{3, 4}}));
    EXPECT_EQ(state.GetNodes(StateKey::kSelectedItems).size(), 2u);

    ASSERT_EQ(reports.reports.size(), 1u);
    const ReportData& report = reports.reports[0];
    EXPECT_EQ(report.title, "Operation Completed Successfully.");
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
}

TEST_F(ExportWorkflowTest, SecondExportGetsANumberedOutputFolder)
{
    fs::create_directory(target.path() / "Converted Data");
    fs::create_directory(target.path() / "Converted Data (1)");
    ConvertAndWait();
    EXPECT_EQ(state.GetString(StateKey::kExportPath),
              (target.path() / "Converted Data (2)").string());
}

TEST_F(ExportWorkflowTest, MergeKeysStaySetAfterTheOptionsAreTurnedOff)
{
    ConvertAndWait();
    content.mergeContacts = false;
    content.mergeCalendar = false;
    ConvertAndWait();
    EXPECT_TRUE(state.IsSet(StateKey::kMergeContacts));
    EXPECT_TRUE(state.IsSet(StateKey::kMergeCalendar));
    ASSERT_EQ(providers.mergeLists.size(), 2u);
    EXPECT_EQ(providers.mergeLists[1], (std::vector<int>{3, 4}));
    // The confirmed folder is remembered for the next chooser.
    EXPECT_EQ(choosers.saveStartFolders.at(1), target.str());
}

TEST_F(ExportWorkflowTest, NameStyleReachesTheProviderAndStaysForLaterExports)
{
    ConvertAndWait();
    window.SetNameStyle(NameStyle::Unicode);
    ConvertAndWait();
    EXPECT_EQ(state.GetString(StateKey::kNameStyle), std::string("unicode"));
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
        {5, {}},
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
    window.ClickConvert();
    EXPECT_FALSE(window.IsExporting());
    EXPECT_TRUE(state.Has(StateKey::kSelectedItems));
    EXPECT_FALSE(state.Has(StateKey::kExportPath));
    EXPECT_TRUE(progress.Events().empty());
}

// The folder chosen to save into lies in the mail folder: the alert says so
// and nothing starts, nothing is made.
TEST_F(ExportWorkflowTest, OutputFolderInsideTheMailFolderStartsNothing)
{
    fs::create_directories(target.path() / "Mail" / "V10");
    state.Set(StateKey::kMailFolderPath, (target.path() / "Mail").string());
    choosers.save = (target.path() / "Mail" / "V10").string();
    EXPECT_EQ(window.ClickConvert(), ConvertStart::kOutputInMailFolder);
    EXPECT_FALSE(window.IsExporting());
    ASSERT_EQ(alerts.alerts.size(), 1u);
    EXPECT_EQ(alerts.alerts[0].message, "The output folder is inside the mail folder being converted.");
    EXPECT_FALSE(state.Has(StateKey::kExportPath));
    EXPECT_TRUE(providers.targetCodes.empty());
    EXPECT_TRUE(fs::is_empty(target.path() / "Mail" / "V10"));

    choosers.save = target.str();
    EXPECT_EQ(window.ClickConvert(), ConvertStart::kStarted);
    dispatcher.RunUntil([&] { return !window.IsExporting(); });
    EXPECT_EQ(state.GetInteger(StateKey::kExportResult).value_or(-99), 0);
}

TEST_F(ExportWorkflowTest, CancelDuringTheExportAbortsIt)
{
    // The user presses cancel as soon as the first item shows.
    progress.onPost = [&](const std::wstring& event) {
        if (event == L"message first")
            window.ClickCancel();
    };
    ConvertAndWait();
    EXPECT_EQ(state.GetInteger(StateKey::kExportResult).value_or(-99), 1);
    ASSERT_EQ(reports.reports.size(), 1u);
    EXPECT_EQ(reports.reports[0].title, "Operation aborted. Data was Partially exported.");
    EXPECT_NE(reports.reports[0].report.find("Operation canceled by user."), std::string::npos);
}

TEST_F(ExportWorkflowTest, CancelPressedAsSoonAsTheSheetShowsCounts)
{
    progress.onPost = [&](const std::wstring& event) {
        if (event == L"begin")
            window.ClickCancel();
    };
    ConvertAndWait();
    EXPECT_EQ(state.GetInteger(StateKey::kExportResult).value_or(-99), 1);
}

TEST_F(ExportWorkflowTest, FailedItemsMakeTheExportFail)
{
    sent->entries = {UnreadableEntry()};
    ConvertAndWait();
    EXPECT_EQ(state.GetInteger(StateKey::kExportResult).value_or(-99), 2);
    EXPECT_EQ(reports.reports.at(0).title, "Operation failed.");
}

TEST_F(ExportWorkflowTest, MboxSourceCountsCallsNotUnits)
{
    state.Set(StateKey::kSourceFormatKey, int64_t{kStoreTypeMboxArchive});
    ConvertAndWait();
    const auto events = progress.Events();
    EXPECT_NE(std::find(events.begin(), events.end(), L"items Overall: Items [ 3 ]"), events.end());
}

TEST_F(ExportWorkflowTest, UncreatableOutputFolderFailsInsteadOfSucceeding)
{
    kestrin_test::WriteFile(target.path() / "file", "not a folder");
    choosers.save = (target.path() / "file").string();
    ConvertAndWait();
    EXPECT_EQ(state.GetInteger(StateKey::kExportResult).value_or(-99), 2);
    EXPECT_TRUE(providers.targetCodes.empty());
    ASSERT_EQ(reports.reports.size(), 1u);
    EXPECT_EQ(reports.reports[0].title, "Operation failed.");
    EXPECT_NE(reports.reports[0].report.find("Could not create the folder for the converted data"),
              std::string::npos);
}

// A set-up that failed made no output folder and no log: the result must
// name neither the chosen path nor the log of the export before.
TEST_F(ExportWorkflowTest, FailedSetUpNamesNoFolderAndNoEarlierLog)
{
    ConvertAndWait();
    ASSERT_EQ(state.GetInteger(StateKey::kExportResult).value_or(-99), 0);
    const std::string earlierLog = state.GetString(StateKey::kLogReportPath).value_or("");
    ASSERT_FALSE(earlierLog.empty());

    kestrin_test::WriteFile(target.path() / "file", "not a folder");
    choosers.save = (target.path() / "file").string();
    ConvertAndWait();
    ASSERT_EQ(reports.reports.size(), 2u);
    const ReportData& failed = reports.reports[1];
    EXPECT_EQ(failed.title, "Operation failed.");
    EXPECT_EQ(failed.footer1, "No converted data was saved.");
    EXPECT_EQ(failed.footer2, "No detailed Log Report was written.");
    EXPECT_EQ(failed.report.find(earlierLog), std::string::npos);
    const auto record = window.LastExport();
    ASSERT_TRUE(record);
    EXPECT_TRUE(record->outputFolder.empty());
    EXPECT_TRUE(record->logPath.empty());
    EXPECT_EQ(record->status, 2);
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
    EXPECT_EQ(record->status, 2);
    EXPECT_EQ(record->outputFolder, state.GetString(StateKey::kExportPath).value_or("?"));
}

TEST_F(ExportWorkflowTest, ExceptionOutsideTheDriverEndsAsFailure)
{
    AppStateData runState;
    runState.Set(StateKey::kExportPath, target.str());
    runState.Set(StateKey::kSelectedItems, content.GetSelectedItems());
    ExportRunContext context{runState, progress, dispatcher,
                             [](int, const std::string&, const std::vector<int>&, NameStyle)
                                 -> boost::shared_ptr<IOutputStoreProvider> {
                                 throw std::runtime_error("no provider today");
                             },
                             {}};
    EXPECT_EQ(DoExport(context), 2);
    EXPECT_EQ(runState.GetInteger(StateKey::kExportResult).value_or(-99), 2);
    EXPECT_NE(runState.GetString(StateKey::kBriefReportPath)
                  ->find("Exception occurred during conversion - no provider today"),
              std::string::npos);
    const auto events = progress.Events();
    EXPECT_EQ(events.back(), L"end");
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
    EXPECT_EQ(state.GetInteger(StateKey::kExportResult).value_or(-99), 0);
    EXPECT_NE(state.GetString(StateKey::kBriefReportPath)->find("Total number of items processed:3"),
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
    EXPECT_EQ(state.GetInteger(StateKey::kExportResult).value_or(-99), 1);
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
    const std::pair<int64_t, const char*> cases[] = {
        {0, "Operation Completed Successfully."},
        {1, "Operation aborted. Data was Partially exported."},
        {2, "Operation failed."},
    };
    for (const auto& c : cases) {
        AppStateData state;
        state.Set(StateKey::kExportResult, c.first);
        state.Set(StateKey::kExportPath, std::string("/out/Converted Data"));
        state.Set(StateKey::kLogReportPath, std::string("/out/Converted Data/log.txt"));
        state.Set(StateKey::kBriefReportPath, std::string("brief"));
        const ReportData report = MainWindowController::MakeReport(state);
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

TEST(AppStateDataTest, KeysKeepTheirValuesUntilOverwrittenOrReset)
{
    AppStateData state;
    state.Set(StateKey::kMergeContacts, true);
    state.Set(StateKey::kTargetFormatKey, int64_t{6});
    state.Set(StateKey::kMailFolderPath, std::string("/lib"));
    EXPECT_TRUE(state.IsSet(StateKey::kMergeContacts));
    EXPECT_FALSE(state.IsSet(StateKey::kMergeCalendar));
    EXPECT_EQ(state.GetInteger(StateKey::kTargetFormatKey).value_or(-99), 6);
    EXPECT_EQ(state.GetString(StateKey::kTargetFormatKey), boost::none);
    EXPECT_EQ(state.GetString(StateKey::kMailFolderPath), std::string("/lib"));
    state.ResetData();
    EXPECT_FALSE(state.Has(StateKey::kMailFolderPath));
    EXPECT_EQ(&AppStateData::GetSingleton(), &AppStateData::GetSingleton());
}

}  // namespace
