// What the export and loading presenters post to their windows.
#include <cmath>

#include <gtest/gtest.h>

#include "export/ExportProgressPresenter.h"
#include "export/LoadingPresenters.h"

using namespace KestrinMIMEEngineCommon;

namespace {

using Lines = std::vector<std::wstring>;

class RecordingProgressView : public IProgressView {
public:
    Lines posts;
    std::wstring currentLabel, foldersLabel, itemsLabel;
    double currentValue = -1, overallValue = -1;

    void postProgressMessage(const std::wstring& t) override { posts.push_back(L"message " + t); }
    void postFilePath(const std::wstring& t) override { posts.push_back(L"path " + t); }
    void postCurrentProgressLabel(const std::wstring& t) override
    {
        posts.push_back(L"currentLabel");
        currentLabel = t;
    }
    void postCurrentProgressValue(double v) override
    {
        posts.push_back(L"currentValue");
        currentValue = v;
    }
    void postOverallFoldersLabel(const std::wstring& t) override
    {
        posts.push_back(L"foldersLabel");
        foldersLabel = t;
    }
    void postOverallItemsLabel(const std::wstring& t) override
    {
        posts.push_back(L"itemsLabel");
        itemsLabel = t;
    }
    void postOverallProgressValue(double v) override
    {
        posts.push_back(L"overallValue");
        overallValue = v;
    }
};

struct AdvanceCase {
    const char* name;
    bool countUnits;
    int64_t folderTotal;
    int64_t overallTotal;
    std::vector<uint64_t> advances;
    std::wstring folderLabel;
    std::wstring itemsLabel;
    double currentValue;
    double overallValue;
};

class AdvanceTest : public ::testing::TestWithParam<AdvanceCase> {};

TEST_P(AdvanceTest, LabelsAndValuesAfterTheLastAdvance)
{
    const AdvanceCase& c = GetParam();
    RecordingProgressView view;
    ExportProgressPresenter presenter(view, c.countUnits);
    presenter.SetOverallTotalUnits(c.overallTotal);
    presenter.SetOverallText(L"Overall: Folders [ 1 / 2 ]");
    presenter.SetTotalUnits(c.folderTotal);
    presenter.SetFolderText(L"Folder: Inbox");
    for (uint64_t units : c.advances) presenter.AdvanceProgress(units);

    EXPECT_EQ(view.currentLabel, c.folderLabel);
    EXPECT_EQ(view.itemsLabel, c.itemsLabel);
    EXPECT_EQ(view.foldersLabel, L"Overall: Folders [ 1 / 2 ]");
    EXPECT_DOUBLE_EQ(view.currentValue, c.currentValue);
    EXPECT_DOUBLE_EQ(view.overallValue, c.overallValue);
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

TEST(ExportProgressPresenterTest, PostsInWindowOrderAndOnlyOnAdvance)
{
    RecordingProgressView view;
    ExportProgressPresenter presenter(view, true);
    presenter.SetOverallText(L"Overall: Folders [ 1 / 1 ]");
    presenter.SetFolderText(L"Folder: Inbox");
    presenter.SetTotalUnits(4);
    presenter.SetOverallTotalUnits(4);
    EXPECT_TRUE(view.posts.empty());

    presenter.AdvanceProgress(1);
    EXPECT_EQ(view.posts, (Lines{L"currentValue", L"currentLabel", L"foldersLabel",
                                 L"overallValue", L"itemsLabel"}));
}

TEST(ExportProgressPresenterTest, FolderCountersRestartPerFolderOverallOnesRunOn)
{
    RecordingProgressView view;
    ExportProgressPresenter presenter(view, false);
    presenter.SetOverallTotalUnits(5);
    presenter.SetFolderText(L"Folder: Inbox");
    presenter.SetTotalUnits(2);
    presenter.AdvanceProgress(1);
    presenter.AdvanceProgress(1);
    presenter.SetFolderText(L"Folder: Sent");
    presenter.SetTotalUnits(3);
    presenter.AdvanceProgress(1);

    EXPECT_EQ(view.currentLabel, L"Folder: Sent [ 1 ]");
    EXPECT_EQ(view.itemsLabel, L"Overall: Items [ 3 ]");
    EXPECT_DOUBLE_EQ(view.overallValue, 60.0);
}

TEST(ExportProgressPresenterTest, ZeroTotalPostsNonFiniteValue)
{
    RecordingProgressView view;
    ExportProgressPresenter presenter(view, true);
    presenter.AdvanceProgress(1);
    EXPECT_FALSE(std::isfinite(view.currentValue));
    EXPECT_FALSE(std::isfinite(view.overallValue));
}

TEST(ExportProgressPresenterTest, MessagesGoStraightToTheWindow)
{
    RecordingProgressView view;
    ExportProgressPresenter presenter(view, true);
    presenter.PostStoreMessage(L"/Users/x/Library/Mail");
    presenter.PostItemMessage(L"From : a");
    presenter.BeginProgress();
    presenter.EndProgress();
    EXPECT_EQ(view.posts, (Lines{L"path /Users/x/Library/Mail", L"message From : a"}));
}

TEST(ExportProgressPresenterTest, ConstructionClearsAnOldCancelAndCancelSetsIt)
{
    RecordingProgressView view;
    view.SetCancelRequested(true);
    ExportProgressPresenter presenter(view, true);
    EXPECT_FALSE(presenter.IsCanceled());
    EXPECT_FALSE(view.IsCancelRequested());

    view.SetCancelRequested(true);
    EXPECT_TRUE(presenter.IsCanceled());
    view.SetCancelRequested(false);
    presenter.Cancel();
    EXPECT_TRUE(view.IsCancelRequested());
}

class RecordingLoadingView : public ILoadingView {
public:
    Lines posts;
    void SetProgressMessage(const std::wstring& t) override { posts.push_back(L"message " + t); }
    void SetFilePath(const std::wstring& t) override { posts.push_back(L"path " + t); }
};

TEST(LoadingPresentersTest, TextsGoToMessageAndPathCountsAreDropped)
{
    RecordingLoadingView view;
    LoadingProgressPresenterWrapper presenter(view);
    presenter.BeginProgress();
    presenter.SetTotalUnits(5);
    presenter.SetOverallTotalUnits(5);
    presenter.AdvanceProgress(1);
    presenter.SetOverallText(L"overall");
    presenter.SetFolderText(L"Inbox");
    presenter.PostItemMessage(L"item");
    presenter.PostStoreMessage(L"/Mail");
    presenter.EndProgress();
    EXPECT_EQ(view.posts, (Lines{L"message Inbox", L"message item", L"path /Mail"}));
}

TEST(LoadingPresentersTest, CancelableFollowsTheViewFlag)
{
    RecordingLoadingView view;
    LoadingCancelable cancelable(view);
    EXPECT_FALSE(cancelable.IsCanceled());
    view.SetCancelRequested(true);
    EXPECT_TRUE(cancelable.IsCanceled());
    view.SetCancelRequested(false);
    cancelable.Cancel();
    EXPECT_TRUE(view.IsCancelRequested());
}

}  // namespace
