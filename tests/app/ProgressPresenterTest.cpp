// What the export and loading presenters tell their observers.
#include <cmath>

#include <gtest/gtest.h>

#include "app/ProgressPresenters.h"

using namespace KestrinApp;

namespace {

using Lines = std::vector<std::wstring>;

class RecordingExportObserver : public ExportObserver {
public:
    Lines calls;
    ExportProgress last;
    bool cancel = false;

    void SourceShown(const std::wstring& t) override { calls.push_back(L"path " + t); }
    void ItemShown(const std::wstring& t) override { calls.push_back(L"message " + t); }
    void ProgressChanged(const ExportProgress& progress) override
    {
        calls.push_back(L"progress");
        last = progress;
    }
    bool IsCanceled() override { return cancel; }
};

struct AdvanceCase {
    const char* name;
    bool countUnits;
    int64_t folderTotal;
    int64_t overallTotal;
    std::vector<uint64_t> advances;
    std::wstring folderLabel;
    std::wstring itemsLabel;
    double folderPercent;
    double overallPercent;
};

class AdvanceTest : public ::testing::TestWithParam<AdvanceCase> {};

TEST_P(AdvanceTest, LabelsAndValuesAfterTheLastAdvance)
{
    const AdvanceCase& c = GetParam();
    RecordingExportObserver observer;
    ExportProgressPresenter presenter(observer, c.countUnits);
    presenter.SetOverallTotalUnits(c.overallTotal);
    presenter.SetOverallText(L"Overall: Folders [ 1 / 2 ]");
    presenter.SetTotalUnits(c.folderTotal);
    presenter.SetFolderText(L"Folder: Inbox");
    for (uint64_t units : c.advances) presenter.AdvanceProgress(units);

    EXPECT_EQ(observer.last.folderLabel, c.folderLabel);
    EXPECT_EQ(observer.last.itemsLabel, c.itemsLabel);
    EXPECT_EQ(observer.last.foldersLabel, L"Overall: Folders [ 1 / 2 ]");
    EXPECT_DOUBLE_EQ(observer.last.folderPercent, c.folderPercent);
    EXPECT_DOUBLE_EQ(observer.last.overallPercent, c.overallPercent);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, AdvanceTest,
    ::testing::Values(
        AdvanceCase{"CountingUnits", true, 10, 50, {4}, L"Folder: Inbox [ 4 / 10 ]",
                    L"Overall: Items [ 4 / 50 ]", 40.0, 8.0},
        AdvanceCase{"CountingUnitsOfMboxBytes", true, 2000, 4000, {500, 1500},
                    L"Folder: Inbox [ 2000 / 2000 ]", L"Overall: Items [ 2000 / 4000 ]", 100.0, 50.0},
        AdvanceCase{"CountingCalls", false, 10, 20, {1, 1, 1}, L"Folder: Inbox [ 3 ]",
                    L"Overall: Items [ 3 ]", 30.0, 15.0},
        AdvanceCase{"CountingCallsOfLargeUnits", false, 1000, 1000, {300, 200},
                    L"Folder: Inbox [ 2 ]", L"Overall: Items [ 2 ]", 50.0, 50.0}),
    [](const ::testing::TestParamInfo<AdvanceCase>& info) { return std::string(info.param.name); });

TEST(ExportProgressPresenterTest, TellsProgressOnlyOnAdvanceOncePerAdvance)
{
    RecordingExportObserver observer;
    ExportProgressPresenter presenter(observer, true);
    presenter.SetOverallText(L"Overall: Folders [ 1 / 1 ]");
    presenter.SetFolderText(L"Folder: Inbox");
    presenter.SetTotalUnits(4);
    presenter.SetOverallTotalUnits(4);
    presenter.BeginProgress();
    presenter.EndProgress();
    EXPECT_TRUE(observer.calls.empty());

    presenter.AdvanceProgress(1);
    presenter.AdvanceProgress(1);
    EXPECT_EQ(observer.calls, (Lines{L"progress", L"progress"}));
}

TEST(ExportProgressPresenterTest, FolderCountersRestartPerFolderOverallOnesRunOn)
{
    RecordingExportObserver observer;
    ExportProgressPresenter presenter(observer, false);
    presenter.SetOverallTotalUnits(5);
    presenter.SetFolderText(L"Folder: Inbox");
    presenter.SetTotalUnits(2);
    presenter.AdvanceProgress(1);
    presenter.AdvanceProgress(1);
    presenter.SetFolderText(L"Folder: Sent");
    presenter.SetTotalUnits(3);
    presenter.AdvanceProgress(1);

    EXPECT_EQ(observer.last.folderLabel, L"Folder: Sent [ 1 ]");
    EXPECT_EQ(observer.last.itemsLabel, L"Overall: Items [ 3 ]");
    EXPECT_DOUBLE_EQ(observer.last.overallPercent, 60.0);
}

TEST(ExportProgressPresenterTest, ZeroTotalGivesNonFiniteValues)
{
    RecordingExportObserver observer;
    ExportProgressPresenter presenter(observer, true);
    presenter.AdvanceProgress(1);
    EXPECT_FALSE(std::isfinite(observer.last.folderPercent));
    EXPECT_FALSE(std::isfinite(observer.last.overallPercent));
}

TEST(ExportProgressPresenterTest, MessagesGoStraightToTheObserver)
{
    RecordingExportObserver observer;
    ExportProgressPresenter presenter(observer, true);
    presenter.PostStoreMessage(L"/Users/x/Library/Mail");
    presenter.PostItemMessage(L"From : a");
    EXPECT_EQ(observer.calls, (Lines{L"path /Users/x/Library/Mail", L"message From : a"}));
}

TEST(ExportProgressPresenterTest, CanceledByTheObserverOrByCancel)
{
    RecordingExportObserver observer;
    ExportProgressPresenter presenter(observer, true);
    EXPECT_FALSE(presenter.IsCanceled());
    observer.cancel = true;
    EXPECT_TRUE(presenter.IsCanceled());
    observer.cancel = false;
    EXPECT_FALSE(presenter.IsCanceled());
    presenter.Cancel();
    EXPECT_TRUE(presenter.IsCanceled());
}

class RecordingLoadObserver : public LoadObserver {
public:
    Lines calls;
    bool cancel = false;
    void LoadMessage(const std::wstring& t) override { calls.push_back(L"message " + t); }
    void LoadPath(const std::wstring& t) override { calls.push_back(L"path " + t); }
    bool IsCanceled() override { return cancel; }
};

TEST(LoadingPresentersTest, TextsGoToMessageAndPathCountsAreDropped)
{
    RecordingLoadObserver observer;
    LoadingPresenter presenter(observer);
    presenter.BeginProgress();
    presenter.SetTotalUnits(5);
    presenter.SetOverallTotalUnits(5);
    presenter.AdvanceProgress(1);
    presenter.SetOverallText(L"overall");
    presenter.SetFolderText(L"Inbox");
    presenter.PostItemMessage(L"item");
    presenter.PostStoreMessage(L"/Mail");
    presenter.EndProgress();
    EXPECT_EQ(observer.calls, (Lines{L"message Inbox", L"message item", L"path /Mail"}));
}

TEST(LoadingPresentersTest, CanceledByTheObserverOrByCancel)
{
    RecordingLoadObserver observer;
    LoadingCancelable cancelable(observer);
    EXPECT_FALSE(cancelable.IsCanceled());
    observer.cancel = true;
    EXPECT_TRUE(cancelable.IsCanceled());
    observer.cancel = false;
    cancelable.Cancel();
    EXPECT_TRUE(cancelable.IsCanceled());
}

}  // namespace
