// What a view model relies on: rows found both ways in constant time, the
// view told before nodes go away, tick changes that keep the rows, and
// progress values a bar can show.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "AppFakes.h"
#include "EventQueueDispatcher.h"
#include "app/FolderViewController.h"
#include "app/Views.h"

using namespace KestrinApp;
using namespace kestrin_app_fakes;

namespace {

// Records the view calls and, at each, whether the tree still had its root.
class RecordingTreeView : public IFolderTreeView {
public:
    explicit RecordingTreeView(FolderViewController& controller) : m_controller(controller) {}
    std::vector<std::string> events;
    void TreeWillChange() override { Note("will"); }
    void ReloadTree() override { Note("reload"); }
    void Redraw() override { Note("redraw"); }
    void ExpandAll() override { Note("expand"); }

private:
    void Note(const std::string& event)
    {
        events.push_back(event + (m_controller.RootNode() ? "" : " (no root)"));
    }
    FolderViewController& m_controller;
};

size_t Count(const std::vector<std::string>& events, const std::string& event)
{
    return static_cast<size_t>(std::count(events.begin(), events.end(), event));
}

class TreeViewContractTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        store = MakeKindStore("/lib", StoreKind::EnvelopeIndex);
        AddCounted(store, L"Inbox", kFolderKindMail, 3);
        AddCounted(store, L"Empty", kFolderKindMail, 0);
        AddCounted(store, L"Contacts", kFolderKindContacts, 2);
        controller.SetView(&view);
        controller.AddStoreToFolderView(Tree(store));
        view.events.clear();
    }
    EventQueueDispatcher dispatcher;
    FolderViewController controller{dispatcher};
    RecordingTreeView view{controller};
    boost::shared_ptr<KindStore> store;
};

TEST(TreeNodeRowsTest, RowsAndChildrenAgreeWhileChildrenHideAndGo)
{
    auto root = TreeNode::WithData(nullptr);
    std::vector<std::shared_ptr<TreeNode>> kids;
    for (int i = 0; i < 6; ++i) {
        kids.push_back(TreeNode::WithData(nullptr));
        root->AddChild(kids.back());
    }
    kids[1]->SetIsLive(false);
    kids[4]->SetIsLive(false);

    ASSERT_EQ(root->NumberOfChildren(), 4u);
    for (size_t row = 0; row < root->NumberOfChildren(); ++row)
        EXPECT_EQ(root->ChildAtIndex(row)->Row(), static_cast<int>(row)) << row;
    EXPECT_EQ(root->ChildAtIndex(1), kids[2]);
    EXPECT_EQ(root->IndexOfChild(kids[1].get()), -1);
    EXPECT_EQ(root->ChildAtIndex(4), nullptr);
    EXPECT_EQ(root->Row(), -1);

    kids[1]->SetIsLive(true);
    EXPECT_EQ(kids[2]->Row(), 2);
    root->RemoveChild(kids[0]);
    EXPECT_EQ(kids[0]->Row(), -1);
    EXPECT_EQ(root->IndexOfChild(kids[0].get()), -1);
    EXPECT_EQ(kids[1]->Row(), 0);
}

TEST_F(TreeViewContractTest, ViewLetsGoOfTheNodesBeforeTheyAreFreedOrMoved)
{
    struct Case {
        const char* name;
        std::function<void(FolderViewController&)> change;
    };
    const Case cases[] = {
        {"clear", [](FolderViewController& c) { c.Clear(); }},
        {"ignore empty folders", [](FolderViewController& c) { c.SetIgnoreEmptyFolders(true); }},
        {"remove store", [this](FolderViewController& c) { c.RemoveStoreFromFolderView(store); }},
    };
    for (const auto& c : cases) {
        controller.Clear();
        controller.AddStoreToFolderView(Tree(store));
        view.events.clear();
        c.change(controller);
        ASSERT_FALSE(view.events.empty()) << c.name;
        // The root is still there when the view is warned.
        EXPECT_EQ(view.events.front(), "will") << c.name;
        EXPECT_EQ(Count(view.events, "will"), 1u) << c.name;
        const bool reloaded = Count(view.events, "reload") + Count(view.events, "reload (no root)");
        EXPECT_TRUE(reloaded) << c.name;
    }
}

TEST_F(TreeViewContractTest, TickChangesRedrawWithoutReloadingTheRows)
{
    controller.SetCategoryValue(kCategoryMail, kCategoryNone);
    controller.ClickCheckBox(controller.RootNode()->ChildAtIndex(0)->ChildAtIndex(0), true, false);
    controller.ClickCategoryBox(kCategoryContacts);
    controller.SetShowHeaderRows(true);
    dispatcher.Drain();
    EXPECT_EQ(Count(view.events, "will"), 0u);
    EXPECT_EQ(Count(view.events, "reload"), 0u);
    EXPECT_GE(Count(view.events, "redraw"), 3u);

    // Values already held change nothing at all.
    view.events.clear();
    controller.SetShowHeaderRows(true);
    controller.SetIgnoreEmptyFolders(false);
    controller.SetCategoryValue(kCategoryContacts, kCategoryNone);
    EXPECT_TRUE(view.events.empty());
}

TEST_F(TreeViewContractTest, HiddenRowsComeBackExpanded)
{
    controller.SetIgnoreEmptyFolders(true);
    EXPECT_EQ(view.events, (std::vector<std::string>{"will", "reload", "expand"}));
    EXPECT_EQ(controller.RootNode()->ChildAtIndex(0)->NumberOfChildren(), 2u);
}

TEST(ProgressFractionTest, EveryPostBecomesAFractionABarCanShow)
{
    struct Case {
        const char* name;
        double percent;
        double fraction;
    };
    const Case cases[] = {
        {"start", 0, 0},
        {"half", 50, 0.5},
        {"done", 100, 1},
        {"overshoot", 250, 1},
        {"negative", -3, 0},
        {"nothing to do (0/0)", std::nan(""), 0},
        {"infinite", std::numeric_limits<double>::infinity(), 0},
    };
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(ProgressFraction(c.percent), c.fraction) << c.name;
}

}  // namespace
