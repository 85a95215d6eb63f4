// The export driver's whole conversion log, line by line, for the paths an
// export can take.
#include <gtest/gtest.h>

#include "export/AppInfo.h"
#include "export/ExportDriver.h"
#include "export/FakeEngine.h"

using namespace KestrinMIMEEngineCommon;
using namespace kestrin_fakes;

namespace {

using Lines = std::vector<std::wstring>;

const std::wstring kEq(70, L'=');
const std::wstring kDash(70, L'-');
const std::wstring kRetrievalError =
    L"-F ERROR : Failed to retrieve item from data source. Please check if backup location is "
    L"accessible or network issue in case backup is stored at cloud.";

Lines operator+(Lines a, const Lines& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Lines StoreLine(const std::wstring& location) { return {L"RF Processing Content From: " + location}; }
Lines BeginFolder(const std::wstring& path)
{
    return {L"RF " + kEq, L"RF Begin processing Folder: " + path, L"-F " + kEq};
}
Lines ItemLines(const std::wstring& description) { return {L"-F " + description, L"-F "}; }
Lines SavedAs(const std::wstring& where) { return {L"-F " + kDash, L"-F Saved As: " + where, L"RF "}; }
Lines EndFolder(const std::wstring& name, int processed)
{
    return {L"-F " + kDash, L"-F End processing Folder: " + name,
            L"RF Processed Item Count: " + std::to_wstring(processed), L"RF "};
}
Lines Success() { return {L"RF " + kDash, L"RF Operation completed successfully.\n"}; }
Lines WithErrors()
{
    return {L"RF " + kDash,
            L"RF Operation completed with errors. Please look for ERROR in export log emitted "
            L"above.\n"};
}
Lines Canceled() { return {L"RF " + kDash, L"RF Operation canceled by user.\n"}; }
Lines ProcessedTotal(int n) { return {L"RF Total number of items processed:" + std::to_wstring(n)}; }
Lines FailedTotal(int n)
{
    return {L"RF Total number of items failed:" + std::to_wstring(n) +
            L" (Please contact our Support Team for assistance at support@kestrin-mail.app)"};
}

// A source store "/src" with folders, and an output store "/out" whose
// folder "Inbox" receives everything unless a test routes otherwise.
class DriverTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetAppInfo(boost::make_shared<TaviAppInfo>());
        source = MakeOpenStore("/src", L"Source");
        output = MakeOpenStore("/out", L"Output");
        outInbox = output->AddFolder(L"Inbox");
        outInbox->journal = journal;
        provider = boost::make_shared<FakeProvider>(
            [this](const boost::shared_ptr<IAssetFolder>&, const boost::shared_ptr<IAsset>&) {
                return boost::static_pointer_cast<IAssetFolderMutable>(outInbox);
            });
    }

    boost::shared_ptr<FakeFolder> SourceFolder(const std::wstring& name,
                                               std::vector<FakeEntry> entries)
    {
        auto folder = source->AddFolder(name);
        folder->entries = std::move(entries);
        return folder;
    }

    void Run(const std::vector<boost::shared_ptr<IAssetFolder>>& folders,
             boost::shared_ptr<ICancelable> cancelable = {},
             boost::shared_ptr<ICancelableProgressPresenter> presenter = {})
    {
        const int64_t total = static_cast<int64_t>(folders.size());
        // A stale outcome the run must replace.
        summary.status = Status::Failed;
        RunExport(summary, &total, presenter, folders, logger, cancelable, provider, 0, true,
                  &counter);
    }

    boost::shared_ptr<FakeStore> source;
    boost::shared_ptr<FakeStore> output;
    boost::shared_ptr<FakeFolder> outInbox;
    Journal journal = MakeJournal();
    boost::shared_ptr<FakeProvider> provider;
    boost::shared_ptr<RecordingLogger> logger = boost::make_shared<RecordingLogger>();
    ExportSummary summary;
    int64_t counter = 0;
};

TEST_F(DriverTest, EmptySelectionLogsOnlyTheSuccessSummary)
{
    Run({});
    EXPECT_EQ(logger->lines, Success());
    EXPECT_EQ(summary.status, Status::Succeeded);
    EXPECT_EQ(summary.processed, 0);
    EXPECT_EQ(summary.failed, 0);
    EXPECT_EQ(counter, 0);
}

TEST_F(DriverTest, StoreLineAppearsOncePerStoreSwitch)
{
    auto inbox = SourceFolder(L"Inbox", {ItemEntry(L"one")});
    auto sent = SourceFolder(L"Sent", {ItemEntry(L"two")});
    auto other = MakeOpenStore("/other", L"Other");
    auto archive = other->AddFolder(L"Archive");
    archive->entries = {ItemEntry(L"three")};

    Run({inbox, sent, archive});

    const Lines expected = StoreLine(L"/src") + BeginFolder(L"/Inbox/") + ItemLines(L"one") +
                           SavedAs(L"/out/Inbox/") + EndFolder(L"Inbox", 1) + BeginFolder(L"/Sent/") +
                           ItemLines(L"two") + SavedAs(L"/out/Inbox/") + EndFolder(L"Sent", 1) +
                           StoreLine(L"/other") + BeginFolder(L"/Archive/") + ItemLines(L"three") +
                           SavedAs(L"/out/Inbox/") + EndFolder(L"Archive", 1) + Success() +
                           ProcessedTotal(3);
    EXPECT_EQ(logger->lines, expected);
    EXPECT_EQ(summary.status, Status::Succeeded);
    EXPECT_EQ(summary.processed, 3);
    EXPECT_EQ(counter, 3);
    EXPECT_EQ(outInbox->received, (Lines{L"one", L"two", L"three"}));
    // Hierarchy preserved: the provider is never asked for default folders.
    EXPECT_EQ(provider->useDefaultFolderFlags, (std::vector<bool>{false, false, false}));
}

TEST_F(DriverTest, UnreadableItemIsCountedAsFailedAndTheFolderGoesOn)
{
    auto inbox = SourceFolder(L"Inbox", {ItemEntry(L"a"), UnreadableEntry(), ItemEntry(L"b")});
    Run({inbox});

    const Lines expected = StoreLine(L"/src") + BeginFolder(L"/Inbox/") + ItemLines(L"a") +
                           Lines{kRetrievalError} + ItemLines(L"b") + SavedAs(L"/out/Inbox/") +
                           EndFolder(L"Inbox", 2) + WithErrors() + ProcessedTotal(2) + FailedTotal(1);
    EXPECT_EQ(logger->lines, expected);
    EXPECT_EQ(summary.status, Status::Failed);
    EXPECT_EQ(summary.processed, 2);
    EXPECT_EQ(summary.failed, 1);
    EXPECT_EQ(outInbox->received, (Lines{L"a", L"b"}));
}

TEST_F(DriverTest, ReadableEntryWithoutItemIsTreatedAsUnreadable)
{
    auto inbox = SourceFolder(L"Inbox", {NoAssetEntry()});
    Run({inbox});

    const Lines expected = StoreLine(L"/src") + BeginFolder(L"/Inbox/") + Lines{kRetrievalError} +
                           EndFolder(L"Inbox", 0) + WithErrors() + FailedTotal(1);
    EXPECT_EQ(logger->lines, expected);
    EXPECT_EQ(summary.failed, 1);
}

TEST_F(DriverTest, DeletedEntryIsSkippedSilently)
{
    auto inbox = SourceFolder(L"Inbox", {DeletedEntry(), ItemEntry(L"a"), DeletedEntry()});
    Run({inbox});

    const Lines expected = StoreLine(L"/src") + BeginFolder(L"/Inbox/") + ItemLines(L"a") +
                           SavedAs(L"/out/Inbox/") + EndFolder(L"Inbox", 1) + Success() +
                           ProcessedTotal(1);
    EXPECT_EQ(logger->lines, expected);
    EXPECT_EQ(summary.status, Status::Succeeded);
    EXPECT_EQ(summary.failed, 0);
}

TEST_F(DriverTest, RefusedItemIsLoggedAsConversionError)
{
    outInbox->addCode = AddAssetCode::StreamFailed;
    auto inbox = SourceFolder(L"Inbox", {ItemEntry(L"a")});
    Run({inbox});

    const Lines expected = StoreLine(L"/src") + BeginFolder(L"/Inbox/") + ItemLines(L"a") +
                           Lines{L"-F ERROR : Error occurred while converting this item.\r\n"} +
                           SavedAs(L"/out/Inbox/") + EndFolder(L"Inbox", 0) + WithErrors() +
                           FailedTotal(1);
    EXPECT_EQ(logger->lines, expected);
    EXPECT_EQ(summary.status, Status::Failed);
    EXPECT_EQ(summary.processed, 0);
    EXPECT_EQ(summary.failed, 1);
}

TEST_F(DriverTest, CancelStopsBeforeTheNextItemAndNoFurtherFolderStarts)
{
    auto inbox = SourceFolder(L"Inbox", {ItemEntry(L"a"), ItemEntry(L"b"), ItemEntry(L"c")});
    auto sent = SourceFolder(L"Sent", {ItemEntry(L"d")});
    auto cancelable = boost::make_shared<FakeCancelable>(2);
    Run({inbox, sent}, cancelable);

    const Lines expected = StoreLine(L"/src") + BeginFolder(L"/Inbox/") + ItemLines(L"a") +
                           ItemLines(L"b") + SavedAs(L"/out/Inbox/") + EndFolder(L"Inbox", 2) +
                           Canceled() + ProcessedTotal(2);
    EXPECT_EQ(logger->lines, expected);
    EXPECT_EQ(summary.status, Status::Canceled);
    EXPECT_EQ(summary.processed, 2);
    EXPECT_EQ(counter, 1);
    EXPECT_EQ(outInbox->received, (Lines{L"a", L"b"}));
}

TEST_F(DriverTest, AlternatingOutputFoldersCloseAndReopenWithSavedAsEachTime)
{
    auto outSent = output->AddFolder(L"Sent");
    outSent->journal = journal;
    provider = boost::make_shared<FakeProvider>(
        [&](const boost::shared_ptr<IAssetFolder>&, const boost::shared_ptr<IAsset>& asset)
            -> boost::shared_ptr<IAssetFolderMutable> {
            if (asset->GetDescription() == L"to sent") return outSent;
            return outInbox;
        });
    auto inbox = SourceFolder(L"Inbox", {ItemEntry(L"to inbox"), ItemEntry(L"to sent"),
                                         ItemEntry(L"to inbox")});
    Run({inbox});

    const Lines expected = StoreLine(L"/src") + BeginFolder(L"/Inbox/") + ItemLines(L"to inbox") +
                           ItemLines(L"to sent") + SavedAs(L"/out/Inbox/") + ItemLines(L"to inbox") +
                           SavedAs(L"/out/Sent/") + SavedAs(L"/out/Inbox/") + EndFolder(L"Inbox", 3) +
                           Success() + ProcessedTotal(3);
    EXPECT_EQ(logger->lines, expected);
    EXPECT_EQ(*journal, (Lines{L"begin /Inbox/", L"add to inbox to /Inbox/", L"end /Inbox/",
                               L"begin /Sent/", L"add to sent to /Sent/", L"end /Sent/",
                               L"begin /Inbox/", L"add to inbox to /Inbox/", L"end /Inbox/"}));
}

struct ThrowCase {
    const char* name;
    FakeEntry thrower;
    std::wstring line;
};

class DriverThrowTest : public DriverTest, public ::testing::WithParamInterface<ThrowCase> {};

TEST_P(DriverThrowTest, ExceptionEndsTheFolderLoopWithoutClosingTheOutputFolder)
{
    auto inbox = SourceFolder(L"Inbox", {ItemEntry(L"a"), GetParam().thrower, ItemEntry(L"b")});
    auto sent = SourceFolder(L"Sent", {ItemEntry(L"c")});
    Run({inbox, sent});

    const Lines expected = StoreLine(L"/src") + BeginFolder(L"/Inbox/") + ItemLines(L"a") +
                           Lines{GetParam().line} + WithErrors() + ProcessedTotal(1);
    EXPECT_EQ(logger->lines, expected);
    EXPECT_EQ(summary.status, Status::Failed);
    EXPECT_EQ(counter, 1);
    EXPECT_EQ(*journal, (Lines{L"begin /Inbox/", L"add a to /Inbox/"}));
}

INSTANTIATE_TEST_SUITE_P(
    Throwers, DriverThrowTest,
    ::testing::Values(
        ThrowCase{"StdException", ThrowingEntry(L"disk gone"),
                  L"RF Exception occurred during conversion - disk gone"},
        ThrowCase{"SomethingElse", ThrowingOtherEntry(),
                  L"RF Unknown error occurred during conversion."}),
    [](const ::testing::TestParamInfo<ThrowCase>& info) { return std::string(info.param.name); });

TEST_F(DriverTest, ItemWithoutOutputFolderCountsAsFailed)
{
    // Unmapped messages reach no output; the export must not call that a
    // success.
    provider = boost::make_shared<FakeProvider>(nullptr);
    auto inbox = SourceFolder(L"Inbox", {ItemEntry(L"a"), ItemEntry(L"b")});
    Run({inbox});

    const Lines expected = StoreLine(L"/src") + BeginFolder(L"/Inbox/") + ItemLines(L"a") +
                           Lines{L"-F Failed to map this folder for current asset."} +
                           ItemLines(L"b") +
                           Lines{L"-F Failed to map this folder for current asset."} +
                           EndFolder(L"Inbox", 0) + WithErrors() + FailedTotal(2);
    EXPECT_EQ(logger->lines, expected);
    EXPECT_EQ(summary.status, Status::Failed);
    EXPECT_EQ(summary.processed, 0);
    EXPECT_EQ(summary.failed, 2);
}

TEST_F(DriverTest, FolderWithoutIteratorIsPassedOverAfterItsBeginLines)
{
    auto empty = SourceFolder(L"Empty", {});
    empty->hasIterator = false;
    auto inbox = SourceFolder(L"Inbox", {ItemEntry(L"a")});
    Run({empty, inbox});

    const Lines expected = StoreLine(L"/src") + BeginFolder(L"/Empty/") + BeginFolder(L"/Inbox/") +
                           ItemLines(L"a") + SavedAs(L"/out/Inbox/") + EndFolder(L"Inbox", 1) +
                           Success() + ProcessedTotal(1);
    EXPECT_EQ(logger->lines, expected);
    EXPECT_EQ(counter, 2);
}

TEST_F(DriverTest, PresenterHearsStoreFolderItemAndUnits)
{
    auto inbox = SourceFolder(L"Inbox", {ItemEntry(L"a", 7), DeletedEntry(), ItemEntry(L"b", 5)});
    inbox->unitCount = 12;
    auto presenter = boost::make_shared<RecordingPresenter>();
    Run({inbox}, presenter, presenter);

    EXPECT_EQ(presenter->calls,
              (Lines{L"PostStoreMessage /src", L"SetOverallText Overall: Folders [ 1 / 1 ]",
                     L"SetTotalUnits 12", L"SetFolderText Folder: Inbox", L"PostItemMessage a",
                     L"AdvanceProgress 7", L"PostItemMessage b", L"AdvanceProgress 5"}));
}

TEST_F(DriverTest, FailedSummaryUsesTheRegisteredSupportAddress)
{
    struct OtherInfo : IAppInfo {
        std::string GetSupportAddress() override { return "help@example.org"; }
    };
    SetAppInfo(boost::make_shared<OtherInfo>());
    auto inbox = SourceFolder(L"Inbox", {UnreadableEntry()});
    Run({inbox});
    SetAppInfo(boost::make_shared<TaviAppInfo>());

    EXPECT_EQ(logger->lines.back(),
              L"RF Total number of items failed:1 (Please contact our Support Team for assistance "
              L"at help@example.org)");
}

}  // namespace
