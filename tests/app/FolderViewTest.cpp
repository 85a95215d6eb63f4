// The folder tree: what is shown, tri-state categories, option-click, empty
// folders, collecting the selection, removing stores.
#include <gtest/gtest.h>

#include "EventQueueDispatcher.h"
#include "app/FileSizeToStringTransformer.h"
#include "app/FolderViewController.h"
#include "AppFakes.h"

using namespace KestrinApp;
using namespace kestrin_app_fakes;

namespace {

class RecordingDelegate : public IStoreViewDelegate {
public:
    std::vector<boost::shared_ptr<IAssetStore>> removed;
    void RemovedStoreFromView(const boost::shared_ptr<IAssetStore>& store) override
    {
        removed.push_back(store);
    }
};

std::vector<std::wstring> Names(const FolderNodeList& nodes)
{
    std::vector<std::wstring> names;
    for (const auto& node : nodes)
        names.push_back(node->Name());
    return names;
}

// Finds the shown node of a folder name, searching live nodes only.
std::shared_ptr<TreeNode> Find(const std::shared_ptr<TreeNode>& from, const std::wstring& name)
{
    for (const auto& child : from->Children()) {
        if (child->NodeData() && child->NodeData()->Name() == name)
            return child;
        if (auto found = Find(child, name))
            return found;
    }
    return {};
}

// Apple Mail Database
//   Contacts (contacts, 5)
//   Inbox (mail, 3)
//     Work (mail, 2)
//   Sent (mail, 0)
class FolderViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        store = MakeKindStore("/lib", StoreKind::EnvelopeIndex);
        AddCounted(store, L"Contacts", kFolderKindContacts, 5);
        inbox = AddCounted(store, L"Inbox", kFolderKindMail, 3);
        AddCounted(store, L"Work", kFolderKindMail, 2, inbox);
        AddCounted(store, L"Sent", kFolderKindMail, 0);
        view.SetStoreViewDelegate(&delegate);
    }
    std::shared_ptr<TreeNode> Node(const std::wstring& name)
    {
        return Find(view.RootNode(), name);
    }
    std::vector<std::wstring> Selected()
    {
        FolderNodeList items;
        view.GetSelectedItems(nullptr, items);
        return Names(items);
    }

    EventQueueDispatcher dispatcher;
    FolderViewController view{dispatcher};
    RecordingDelegate delegate;
    boost::shared_ptr<KindStore> store;
    boost::shared_ptr<CountedFolder> inbox;
};

TEST_F(FolderViewTest, AddedStoreShowsStoreRowAndEveryFolderSelected)
{
    view.AddStoreToFolderView(Tree(store));

    const auto rows = view.RootNode()->Children();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0]->NodeData()->Name(), L"Apple Mail Database");
    EXPECT_EQ(rows[0]->NodeData()->folderType, kFolderKindRoot);
    EXPECT_EQ(Selected(), (std::vector<std::wstring>{L"Contacts", L"Inbox", L"Work", L"Sent"}));
    EXPECT_TRUE(view.HasOpenedStores());
    EXPECT_TRUE(view.HasSelectedFolders());

    const int expected[kCategoryCount] = {kCategoryAll, kCategoryAll, kCategoryAbsent,
                                          kCategoryAbsent, kCategoryAbsent};
    for (int category = 0; category < kCategoryCount; ++category) {
        EXPECT_EQ(view.CategoryValue(category), expected[category]) << category;
        EXPECT_EQ(view.HasCategoryFolders(category), expected[category] != kCategoryAbsent);
    }
}

TEST_F(FolderViewTest, NotesTasksAndUnusedKindsAreNotShownWithTheirSubtrees)
{
    auto notes = AddCounted(store, L"Notes", kFolderKindNotes, 4);
    AddCounted(store, L"Below Notes", kFolderKindMail, 4, notes);
    AddCounted(store, L"Tasks", kFolderKindTasks, 1);
    AddCounted(store, L"Unused", kFolderKindUnused, 1);
    auto generic = AddCounted(store, L"Generic", kFolderKindGeneric, 1);

    view.AddStoreToFolderView(Tree(store));

    EXPECT_EQ(Selected(),
              (std::vector<std::wstring>{L"Contacts", L"Generic", L"Inbox", L"Work", L"Sent"}));
    EXPECT_EQ(Node(L"Generic")->NodeData()->folderType, kFolderKindMail);
    EXPECT_FALSE(view.HasCategoryFolders(kCategoryNotes));
    EXPECT_FALSE(view.HasCategoryFolders(kCategoryTasks));
}

TEST_F(FolderViewTest, ClickingBoxesGivesTriStateCategories)
{
    struct Case {
        const char* name;
        std::vector<std::wstring> untick;
        int mail;
        int contacts;
        bool hasSelected;
    };
    const Case cases[] = {
        {"nothing unticked", {}, kCategoryAll, kCategoryAll, true},
        {"one mail folder of several", {L"Sent"}, kCategoryMixed, kCategoryAll, true},
        {"every mail folder", {L"Inbox", L"Sent"}, kCategoryNone, kCategoryAll, true},
        {"everything", {L"Inbox", L"Sent", L"Contacts"}, kCategoryNone, kCategoryNone, false},
        {"only contacts, mail stays", {L"Contacts"}, kCategoryAll, kCategoryNone, true},
    };
    for (const auto& c : cases) {
        FolderViewController fresh(dispatcher);
        fresh.AddStoreToFolderView(Tree(store));
        for (const auto& name : c.untick)
            fresh.ClickCheckBox(Find(fresh.RootNode(), name), false, false);
        EXPECT_EQ(fresh.CategoryValue(kCategoryMail), c.mail) << c.name;
        EXPECT_EQ(fresh.CategoryValue(kCategoryContacts), c.contacts) << c.name;
        EXPECT_EQ(fresh.HasSelectedFolders(), c.hasSelected) << c.name;
        EXPECT_EQ(dispatcher.Drain(), 0u) << c.name;
    }
}

TEST_F(FolderViewTest, CategoryBoxTicksEveryFolderOfItsKind)
{
    view.AddStoreToFolderView(Tree(store));
    view.SetCategoryValue(kCategoryMail, kCategoryNone);
    EXPECT_EQ(Selected(), (std::vector<std::wstring>{L"Contacts"}));
    EXPECT_TRUE(view.HasSelectedFolders());

    view.SetCategoryValue(kCategoryContacts, kCategoryNone);
    EXPECT_TRUE(Selected().empty());
    EXPECT_FALSE(view.HasSelectedFolders());

    view.SetCategoryValue(kCategoryMail, kCategoryAll);
    EXPECT_EQ(Selected(), (std::vector<std::wstring>{L"Inbox", L"Work", L"Sent"}));
}

TEST_F(FolderViewTest, MixedValueIsResetThroughTheDispatcherAfterTheObserver)
{
    struct Case {
        const char* name;
        int before;
        int after;
        size_t selectedMail;
    };
    const Case cases[] = {
        {"none selected becomes all", kCategoryNone, kCategoryAll, 3},
        {"all selected becomes none", kCategoryAll, kCategoryNone, 0},
    };
    for (const auto& c : cases) {
        FolderViewController fresh(dispatcher);
        fresh.AddStoreToFolderView(Tree(store));
        fresh.SetCategoryValue(kCategoryMail, c.before);

        fresh.SetCategoryValue(kCategoryMail, kCategoryMixed);
        // Nothing changes until the main thread's next turn.
        EXPECT_EQ(fresh.CategoryValue(kCategoryMail), kCategoryMixed) << c.name;

        EXPECT_EQ(dispatcher.Drain(), 1u) << c.name;
        EXPECT_EQ(fresh.CategoryValue(kCategoryMail), c.after) << c.name;
        FolderNodeList items;
        fresh.GetSelectedItems(nullptr, items);
        size_t mail = 0;
        for (const auto& item : items)
            mail += item->folderType == kFolderKindMail;
        EXPECT_EQ(mail, c.selectedMail) << c.name;
    }
}

TEST_F(FolderViewTest, MixedBoxAfterUserMixIsUnticked)
{
    view.AddStoreToFolderView(Tree(store));
    view.ClickCheckBox(Node(L"Sent"), false, false);
    ASSERT_EQ(view.CategoryValue(kCategoryMail), kCategoryMixed);

    // A box showing "mixed" that the user clicks clears.
    view.ClickCategoryBox(kCategoryMail);
    dispatcher.Drain();
    EXPECT_EQ(view.CategoryValue(kCategoryMail), kCategoryNone);
    EXPECT_EQ(Selected(), (std::vector<std::wstring>{L"Contacts"}));
    view.ClickCategoryBox(kCategoryMail);
    EXPECT_EQ(view.CategoryValue(kCategoryMail), kCategoryAll);
}

TEST_F(FolderViewTest, WritingBackTheValueHeldChangesNothing)
{
    // A tri-state box set from the program writes its value back.
    view.AddStoreToFolderView(Tree(store));
    view.ClickCheckBox(Node(L"Sent"), false, false);
    ASSERT_EQ(view.CategoryValue(kCategoryMail), kCategoryMixed);
    const auto before = Selected();

    view.SetCategoryValue(kCategoryMail, kCategoryMixed);
    view.SetCategoryValue(kCategoryContacts, kCategoryAll);
    EXPECT_EQ(dispatcher.Drain(), 0u);
    EXPECT_EQ(view.CategoryValue(kCategoryMail), kCategoryMixed);
    EXPECT_EQ(Selected(), before);
}

TEST_F(FolderViewTest, ResetNumbersOutOfRangeAreIgnored)
{
    view.AddStoreToFolderView(Tree(store));
    view.ResetCB(5 * 256);
    EXPECT_EQ(view.CategoryValue(kCategoryMail), kCategoryAll);
    view.ResetCB(0 * 256 + 0);
    EXPECT_EQ(view.CategoryValue(kCategoryMail), kCategoryAll);
    view.ResetCB(0 * 256 + 1);
    EXPECT_EQ(view.CategoryValue(kCategoryMail), kCategoryNone);
}

TEST_F(FolderViewTest, PendingResetDoesNotOutliveTheController)
{
    {
        FolderViewController shortLived(dispatcher);
        shortLived.AddStoreToFolderView(Tree(store));
        shortLived.SetCategoryValue(kCategoryMail, kCategoryMixed);
    }
    EXPECT_EQ(dispatcher.Drain(), 1u);
}

TEST_F(FolderViewTest, OptionClickChangesTheFolderAlone)
{
    view.AddStoreToFolderView(Tree(store));

    view.ClickCheckBox(Node(L"Inbox"), false, true);
    EXPECT_EQ(Selected(), (std::vector<std::wstring>{L"Contacts", L"Work", L"Sent"}));

    view.ClickCheckBox(Node(L"Inbox"), true, false);
    view.ClickCheckBox(Node(L"Inbox"), false, false);
    EXPECT_EQ(Selected(), (std::vector<std::wstring>{L"Contacts", L"Sent"}));
}

TEST_F(FolderViewTest, StoreRowIsNeverSelected)
{
    view.AddStoreToFolderView(Tree(store));
    const auto storeRow = view.RootNode()->Children().at(0);
    view.ClickCheckBox(storeRow, true, false);
    EXPECT_TRUE(storeRow->NodeData()->isSelected);
    for (const auto& name : Selected())
        EXPECT_NE(name, L"Apple Mail Database");

    view.ClickCheckBox(storeRow, false, false);
    EXPECT_TRUE(Selected().empty());
}

TEST(FolderViewEmptyFolders, IgnoringEmptyFoldersHidesAndSkipsThem)
{
    // A Parent: visible (a child has mail), not exported; B Uncounted and
    // what is below it: hidden; C Counted later: visible and exported.
    auto store = MakeKindStore("/lib", StoreKind::EnvelopeIndex);
    AddFoldersEmptyAndNot(store);

    EventQueueDispatcher dispatcher;
    FolderViewController view(dispatcher);
    view.AddStoreToFolderView(Tree(store));
    view.SetIgnoreEmptyFolders(true);

    EXPECT_TRUE(Find(view.RootNode(), L"A Parent"));
    EXPECT_FALSE(Find(view.RootNode(), L"B Uncounted"));
    EXPECT_FALSE(Find(view.RootNode(), L"Empty"));
    FolderNodeList items;
    view.GetSelectedItems(nullptr, items);
    EXPECT_EQ(Names(items),
              (std::vector<std::wstring>{L"Child", L"C Counted later", L"Full"}));

    view.SetIgnoreEmptyFolders(false);
    items.clear();
    view.GetSelectedItems(nullptr, items);
    EXPECT_EQ(Names(items), (std::vector<std::wstring>{L"A Parent", L"Child", L"B Uncounted",
                                                       L"Empty", L"C Counted later", L"Full"}));
}

TEST(FolderViewEmptyFolders, StoreWithNothingCountedLosesItsRow)
{
    auto store = MakeKindStore("/lib", StoreKind::EnvelopeIndex);
    AddCounted(store, L"Empty", kFolderKindMail, 0);
    EventQueueDispatcher dispatcher;
    FolderViewController view(dispatcher);
    view.SetIgnoreEmptyFolders(true);
    view.AddStoreToFolderView(Tree(store));
    EXPECT_EQ(view.RootNode()->NumberOfChildren(), 0u);
    EXPECT_EQ(view.RootNode()->AllChildren().size(), 1u);
}

TEST_F(FolderViewTest, RemovingTheStoreTellsTheDelegate)
{
    view.AddStoreToFolderView(Tree(store));
    view.RemoveStoreFromFolderView(store);
    ASSERT_EQ(delegate.removed.size(), 1u);
    EXPECT_EQ(delegate.removed[0], store);
    EXPECT_FALSE(view.HasOpenedStores());
    EXPECT_FALSE(view.HasSelectedFolders());
    EXPECT_EQ(view.CategoryValue(kCategoryMail), kCategoryAbsent);

    // A store that is not shown: nothing to tell.
    view.RemoveStoreFromFolderView(store);
    EXPECT_EQ(delegate.removed.size(), 1u);
}

TEST_F(FolderViewTest, ClosingTheHeaderRowRemovesTheStore)
{
    view.SetShowHeaderRows(true);
    view.AddStoreToFolderView(Tree(store));
    const auto storeRow = view.RootNode()->Children().at(0);
    EXPECT_TRUE(view.IsHeaderRow(storeRow));
    EXPECT_EQ(view.Tooltip(storeRow), "/lib");
    EXPECT_EQ(view.Tooltip(Node(L"Inbox")), "Option + click to exclude subfolders from selection.");
    EXPECT_EQ(view.Tooltip(Node(L"Work")), "");

    view.ClickHeaderRow(storeRow, false);
    EXPECT_EQ(delegate.removed.size(), 1u);
    EXPECT_FALSE(view.HasOpenedStores());
}

TEST_F(FolderViewTest, ParentsReadPartlyTickedAndTheTotalsFollowTheTicks)
{
    struct Case {
        const char* name;
        std::vector<std::wstring> untick;
        bool alone;  // the exclude-subfolders click
        TickState storeRow;
        TickState inboxRow;
        std::string totals;
    };
    const Case cases[] = {
        {"nothing unticked", {}, false, TickState::Ticked, TickState::Ticked,
         "10 messages in 4 folders selected"},
        {"a subfolder", {L"Work"}, false, TickState::PartlyTicked, TickState::PartlyTicked,
         "8 messages in 3 folders selected"},
        {"a parent alone, its subfolder stays", {L"Inbox"}, true, TickState::PartlyTicked,
         TickState::PartlyTicked, "7 messages in 3 folders selected"},
        {"a parent with its subfolder", {L"Inbox"}, false, TickState::PartlyTicked,
         TickState::Unticked, "5 messages in 2 folders selected"},
        {"all but one folder", {L"Inbox", L"Sent"}, false, TickState::PartlyTicked,
         TickState::Unticked, "5 messages in 1 folder selected"},
        {"everything", {L"Inbox", L"Sent", L"Contacts"}, false, TickState::Unticked,
         TickState::Unticked, "No folders selected"},
    };
    for (const auto& c : cases) {
        FolderViewController fresh(dispatcher);
        fresh.AddStoreToFolderView(Tree(store));
        for (const auto& name : c.untick)
            fresh.ClickCheckBox(Find(fresh.RootNode(), name), false, c.alone);
        EXPECT_EQ(fresh.GetTickState(fresh.RootNode()->Children().front()), c.storeRow) << c.name;
        EXPECT_EQ(fresh.GetTickState(Find(fresh.RootNode(), L"Inbox")), c.inboxRow) << c.name;
        EXPECT_EQ(fresh.SelectedTotalsText(), c.totals) << c.name;
    }

    // Ticking a partly ticked parent ticks everything below it.
    view.AddStoreToFolderView(Tree(store));
    view.ClickCheckBox(Node(L"Inbox"), false, true);
    view.ClickCheckBox(Node(L"Inbox"), true, false);
    EXPECT_EQ(view.GetTickState(Node(L"Inbox")), TickState::Ticked);
    EXPECT_EQ(view.SelectedTotalsText(), "10 messages in 4 folders selected");
}

TEST(FolderViewTotals, LargeCountsAndSizesOnlyStores)
{
    EventQueueDispatcher dispatcher;
    {
        auto store = MakeKindStore("/lib", StoreKind::EnvelopeIndex);
        AddCounted(store, L"Inbox", kFolderKindMail, 1234567);
        AddCounted(store, L"Sent", kFolderKindMail, 1);
        FolderViewController view(dispatcher);
        view.AddStoreToFolderView(Tree(store));
        EXPECT_EQ(view.SelectedTotalsText(), "1,234,568 messages in 2 folders selected");
    }
    {
        // Exported mailboxes are counted in bytes: no message total is made up.
        auto store = MakeKindStore("/export", StoreKind::MboxArchive);
        AddCounted(store, L"Inbox", kFolderKindMail, 1536);
        FolderViewController view(dispatcher);
        view.AddStoreToFolderView(Tree(store));
        EXPECT_EQ(view.SelectedTotalsText(), "1 folder selected");
        EXPECT_EQ(view.SpokenRowText(Find(view.RootNode(), L"Inbox"), true),
                  "Inbox, 1.5 KB, ticked");
    }
}

TEST_F(FolderViewTest, RowsAreReadAloudInWords)
{
    view.AddStoreToFolderView(Tree(store));
    view.ClickCheckBox(Node(L"Work"), false, false);
    EXPECT_EQ(view.SpokenRowText(Node(L"Inbox"), true), "Inbox, 3 messages, partly ticked");
    EXPECT_EQ(view.SpokenRowText(Node(L"Inbox"), false), "3 messages, partly ticked");
    EXPECT_EQ(view.SpokenRowText(Node(L"Work"), true), "Work, 2 messages, not ticked");
    EXPECT_EQ(view.SpokenRowText(Node(L"Sent"), true), "Sent, no messages, ticked");
    EXPECT_EQ(view.SpokenRowText(view.RootNode()->Children().front(), true),
              "Apple Mail Database, partly ticked");
}

TEST_F(FolderViewTest, TicksAreRememberedPerMailFolder)
{
    MemoryPreferences preferences;
    view.SetTickMemory(&preferences);
    view.AddStoreToFolderView(Tree(store));
    view.ClickCheckBox(Node(L"Inbox"), false, true);
    view.ClickCheckBox(Node(L"Sent"), false, false);
    // A category box counts as ticking too.
    view.ClickCategoryBox(kCategoryContacts);
    EXPECT_EQ(RememberedUntickedFolders(preferences, "/lib").size(), 3u);

    const auto selectedIn = [&](FolderViewController& controller) {
        FolderNodeList items;
        controller.GetSelectedItems(nullptr, items);
        return Names(items);
    };
    FolderViewController later(dispatcher);
    later.SetTickMemory(&preferences);
    later.AddStoreToFolderView(Tree(store));
    EXPECT_EQ(selectedIn(later), (std::vector<std::wstring>{L"Work"}));
    EXPECT_EQ(later.CategoryValue(kCategoryMail), kCategoryMixed);

    // Another mail folder starts with everything ticked.
    auto other = MakeKindStore("/other", StoreKind::EnvelopeIndex);
    AddCounted(other, L"Inbox", kFolderKindMail, 3);
    FolderViewController another(dispatcher);
    another.SetTickMemory(&preferences);
    another.AddStoreToFolderView(Tree(other));
    EXPECT_EQ(selectedIn(another), (std::vector<std::wstring>{L"Inbox"}));

    // Ticking everything again forgets the mail folder.
    later.ClickCheckBox(later.RootNode()->Children().front(), true, false);
    EXPECT_TRUE(RememberedUntickedFolders(preferences, "/lib").empty());
    EXPECT_TRUE(preferences.GetList(PreferenceKey::kUntickedFolders).empty());
}

TEST(GroupedNumberTest, GroupsOfThree)
{
    const std::pair<int64_t, const char*> cases[] = {
        {0, "0"}, {999, "999"}, {1000, "1,000"}, {1234567, "1,234,567"}, {-12345, "-12,345"}};
    for (const auto& [count, text] : cases)
        EXPECT_EQ(GroupedNumber(count), text) << count;
}

TEST(FolderNodeDataTest, RowTextsShowCountsOrSizes)
{
    struct Case {
        const char* name;
        StoreKind storeKind;
        int64_t count;
        std::wstring rowText;
    };
    const Case cases[] = {
        {"message count", StoreKind::EnvelopeIndex, 42, L"Inbox  [42]"},
        {"exported mailbox in bytes", StoreKind::MboxArchive, 1536, L"Inbox  [1.5 KB]"},
        {"archive store in bytes", StoreKind::Archive, 1048576, L"Inbox  [1.0 MB]"},
        {"mbox output in bytes", StoreKind::Mbox, 500, L"Inbox  [0.5 KB]"},
        {"empty folder has no count part", StoreKind::EnvelopeIndex, 0, L"Inbox"},
        {"uncounted folder", StoreKind::EnvelopeIndex, -1, L"Inbox"},
    };
    for (const auto& c : cases) {
        auto store = MakeKindStore("/lib", c.storeKind);
        FolderNodeData data(DescribeFolders(AddCounted(store, L"Inbox", kFolderKindMail, c.count)));
        EXPECT_EQ(data.RowText(), c.rowText) << c.name;
        EXPECT_EQ(data.contentCount, c.count) << c.name;
    }
}

TEST(FileSizeToStringTransformerTest, SizeTexts)
{
    struct Case {
        int64_t bytes;
        const char* text;
    };
    const Case cases[] = {
        {0, "0 BYTES"},
        {1, "1 BYTES"},
        {500, "0.5 KB"},
        {1536, "1.5 KB"},
        {2048, "2.0 KB"},
        {1048576, "1.0 MB"},
        {5LL * 1024 * 1024 * 1024, "5.0 GB"},
        {1023LL << 40, "1023.0 TB"},
        {1LL << 50, "1.0 PB"},
        {INT64_MAX, "8.0 EB"},
        {-5, "-5 BYTES"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FileSizeToStringTransformer::Transform(c.bytes), c.text) << c.bytes;
}

}  // namespace
