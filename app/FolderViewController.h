// The folder tree's logic: which folders are shown, which are ticked, the
// tri-state category boxes, hiding empty folders and collecting the selection
// for an export. Drawing is the front end's business.
//
// Threads: every operation here, and every call it makes on the view and the
// delegate, runs on the main thread. The nodes are not locked; a worker never
// touches them (an export reads only the FolderNodeData it was handed).
#pragma once

#include <array>
#include <memory>
#include <string>

#include "app/FolderTree.h"
#include "app/Preferences.h"
#include "app/Seams.h"

namespace KestrinApp {

// The outline on screen. Structural changes come in pairs: TreeWillChange
// before any node is added, removed, hidden or freed, ReloadTree after; a
// view model must stop handing out its node pointers at the first. Changes
// of tick marks and texts alone come as Redraw, so that a view keeps its
// expansion, selection and scroll position.
class IFolderTreeView {
public:
    virtual ~IFolderTreeView() = default;
    // The rows are about to change: forget every node.
    virtual void TreeWillChange() {}
    // Reload the rows from the tree and redraw.
    virtual void ReloadTree() = 0;
    // Tick marks or texts changed, the rows did not: redraw only.
    virtual void Redraw() = 0;
    // Expand every row, children included.
    virtual void ExpandAll() = 0;
    // A category value or one of the has-flags changed.
    virtual void SelectionStateChanged() {}
};

// Whoever owns the stores shown in the tree.
class IStoreViewDelegate {
public:
    virtual ~IStoreViewDelegate() = default;
    // The store's row went away: close and release the store.
    virtual void RemovedStoreFromView(const boost::shared_ptr<IAssetStore>& store) = 0;
    // False while the store must stay open (an export reads it); its row
    // then stays too.
    virtual bool CanRemoveStore(const boost::shared_ptr<IAssetStore>& store) { return true; }
};

// The five categories with their folder types.
enum Category : int {
    kCategoryMail = 0,
    kCategoryContacts = 1,
    kCategoryCalendars = 2,
    kCategoryTasks = 3,
    kCategoryNotes = 4,
    kCategoryCount = 5,
};

// Tri-state category values.
enum : int {
    kCategoryAbsent = -2,  // no folder of the category is shown
    kCategoryMixed = -1,
    kCategoryNone = 0,
    kCategoryAll = 1,
};

// Folder type meaning "every type" for SetSelected.
constexpr int kAnyFolderType = 7;
// Folder type meaning "all categories" for UpdateAllItemStatusForContainerClass.
constexpr int kAllCategories = 9;

// How a row's box reads. A folder with folders below it reads partly ticked
// when some of them (or it itself) are ticked and some are not; a store's
// own row reads after its folders alone.
enum class TickState { Unticked, PartlyTicked, Ticked };

// What the ticks add up to; the store rows are never counted.
struct SelectionTotals {
    int64_t messages = 0;
    int64_t folders = 0;
    // Some ticked folder counts bytes, not messages.
    bool sizesOnly = false;
};

class FolderViewController {
public:
    explicit FolderViewController(IMainThreadDispatcher& dispatcher);

    void SetView(IFolderTreeView* view) { m_view = view; }
    void SetStoreViewDelegate(IStoreViewDelegate* delegate) { m_delegate = delegate; }
    // Where the folders left unticked are kept per mail folder: every tick
    // the user changes is written there, and a store added later starts
    // with the ticks it had. None keeps nothing.
    void SetTickMemory(IPreferences* preferences) { m_tickMemory = preferences; }

    // Stores: a loaded store's tree from its own row down, every folder ticked.
    void AddStoreToFolderView(const std::shared_ptr<const SourceFolder>& storeRow);
    void RemoveStoreFromFolderView(const boost::shared_ptr<IAssetStore>& store);
    // Drops the whole tree.
    void Clear();

    // The root node (no data); empty before the first store.
    const std::shared_ptr<TreeNode>& RootNode() const { return m_rootNode; }

    // Selection. A null node means the root.
    void SetSelected(const std::shared_ptr<TreeNode>& node, bool value, int folderType,
                     bool includeChildren);
    int GetSelected(const std::shared_ptr<TreeNode>& node, int folderType) const;
    // Selected folders in pre-order, the store rows never among them; with
    // empty folders ignored, folders counted 0 are left out.
    void GetSelectedItems(const std::shared_ptr<TreeNode>& start, FolderNodeList& out) const;

    // The box of a row, for the tree on screen.
    TickState GetTickState(const std::shared_ptr<TreeNode>& node) const;
    // The folders an export would take now and their messages.
    SelectionTotals SelectedTotals() const;
    // "1,234 messages in 12 folders selected".
    std::string SelectedTotalsText() const;
    // A row read aloud: "INBOX, 11 messages, ticked"; the part after the
    // name alone with nameIncluded false.
    std::string SpokenRowText(const std::shared_ptr<TreeNode>& node, bool nameIncluded) const;

    // The folders (by their path in the store, hidden ones too) left unticked
    // below a store's row.
    std::vector<std::string> UntickedFolderPaths(const std::shared_ptr<TreeNode>& storeRow) const;

    void UpdateAllItemStatusForContainerClass(int folderType);
    void UpdateHasSelectedFolders();
    void UpdateEmptyFolderStatus();
    bool MarkEmptyChildren(const std::shared_ptr<TreeNode>& node);
    void UnmarkEmptyChildren(const std::shared_ptr<TreeNode>& node);

    // User actions on rows.
    // A folder's check box; with the Option key held only that folder changes.
    void ClickCheckBox(const std::shared_ptr<TreeNode>& node, bool value, bool optionKeyHeld);
    // The close button of a store's header row (value false closes the store).
    void ClickHeaderRow(const std::shared_ptr<TreeNode>& node, bool value);
    bool IsHeaderRow(const std::shared_ptr<TreeNode>& node) const;
    // The row's tool tip, empty when it has none.
    std::string Tooltip(const std::shared_ptr<TreeNode>& node) const;

    // Observed properties: every setter that changes a value runs the change
    // observer; writing back the value already held does nothing (a tri-state
    // box set from the program writes its value back).
    bool IgnoreEmptyFolders() const { return m_ignoreEmptyFolders; }
    void SetIgnoreEmptyFolders(bool ignore);
    void SetShowHeaderRows(bool show);
    int CategoryValue(int category) const { return m_categoryValues.at(category); }
    void SetCategoryValue(int category, int value);
    // The user clicked a category box: a box that reads none ticks every
    // folder of the category, one that reads all or mixed unticks them.
    void ClickCategoryBox(int category);

    bool HasCategoryFolders(int category) const { return m_hasCategory.at(category); }
    bool HasOpenedStores() const { return m_hasOpenedStores; }
    bool HasSelectedFolders() const { return m_hasSelectedFolders; }

    // True when a category change is applied to the folders at once; a mixed
    // value instead schedules ResetCB for after the observer returns.
    bool SkipMixedStateForKey(int category, int newValue, int oldValue);
    void ResetCB(int number);

private:
    void PopulateTree(const std::shared_ptr<const SourceFolder>& folder,
                      const std::shared_ptr<TreeNode>& parent);
    std::shared_ptr<TreeNode> FindStoreRow(const boost::shared_ptr<IAssetStore>& store,
                                           bool liveOnly) const;
    void ShowTreeAfterChange();
    void CategoryChanged(int category, int newValue, int oldValue);
    void AfterObservedChange();
    void TreeWillChange();
    void InvalidateView();
    void UpdateDisplay();
    void RememberTicks() const;

    IMainThreadDispatcher& m_dispatcher;
    IFolderTreeView* m_view = nullptr;
    IStoreViewDelegate* m_delegate = nullptr;
    IPreferences* m_tickMemory = nullptr;
    std::shared_ptr<TreeNode> m_rootNode;
    bool m_isSelfUpdating = false;
    bool m_ignoreEmptyFolders = false;
    bool m_showHeaderRows = false;
    std::array<int, kCategoryCount> m_categoryValues{};
    std::array<bool, kCategoryCount> m_hasCategory{};
    bool m_hasOpenedStores = false;
    bool m_hasSelectedFolders = false;
    // Deferred resets check this so that they never outlive the controller.
    std::shared_ptr<bool> m_alive;
};

}  // namespace KestrinApp
