#include "app/FolderViewController.h"

#include <algorithm>

#include "app/FileSizeToStringTransformer.h"
#include "mime/KSCharsets.h"

namespace KestrinApp {

using namespace KestrinMIMEEngineCommon;

namespace {

constexpr int kCategoryTypes[kCategoryCount] = {kFolderKindMail, kFolderKindContacts,
                                                kFolderKindCalendar, kFolderKindTasks,
                                                kFolderKindNotes};

bool IsStoreRow(const FolderNodeData& data)
{
    return data.folderType == kFolderKindRoot;
}

// Counts the ticked and unticked rows at and below a node, store rows with
// folders below them left out.
void CountTicks(const TreeNode& node, int64_t& ticked, int64_t& unticked)
{
    auto& mutableNode = const_cast<TreeNode&>(node);
    const auto children = mutableNode.Children();
    const auto& data = node.NodeData();
    if (data && (!IsStoreRow(*data) || children.empty()))
        ++(data->isSelected ? ticked : unticked);
    for (const auto& child : children) {
        CountTicks(*child, ticked, unticked);
        if (ticked > 0 && unticked > 0)
            return;
    }
}

void CollectUnticked(const TreeNode& node, std::vector<std::string>& out)
{
    const auto& data = node.NodeData();
    if (data && !IsStoreRow(*data) && !data->isSelected && !data->Source()->path.empty())
        out.push_back(data->Source()->path);
    for (const auto& child : node.AllChildren())
        CollectUnticked(*child, out);
}

void UntickPaths(const TreeNode& node, const std::vector<std::string>& paths)
{
    const auto& data = node.NodeData();
    if (data && !IsStoreRow(*data))
        data->isSelected =
            std::find(paths.begin(), paths.end(), data->Source()->path) == paths.end();
    for (const auto& child : node.AllChildren())
        UntickPaths(*child, paths);
}

std::string StoreLocation(const TreeNode& storeRow)
{
    const auto& data = storeRow.NodeData();
    const auto& folder = data ? data->GetFolder() : boost::shared_ptr<IAssetFolder>();
    const auto store = folder ? folder->GetStore() : boost::shared_ptr<IAssetStore>();
    return store ? store->GetLocation() : std::string();
}

std::string Plural(int64_t count, const char* one, const char* many)
{
    return GroupedNumber(count) + " " + (count == 1 ? one : many);
}

}  // namespace

FolderViewController::FolderViewController(IMainThreadDispatcher& dispatcher)
    : m_dispatcher(dispatcher), m_alive(std::make_shared<bool>(true))
{
}

void FolderViewController::TreeWillChange()
{
    if (m_view)
        m_view->TreeWillChange();
}

void FolderViewController::InvalidateView()
{
    if (m_view)
        m_view->ReloadTree();
}

void FolderViewController::UpdateDisplay()
{
    if (m_view)
        m_view->Redraw();
}

void FolderViewController::PopulateTree(const std::shared_ptr<const SourceFolder>& folder,
                                        const std::shared_ptr<TreeNode>& parent)
{
    if (!folder)
        return;
    auto node = TreeNode::WithData(std::make_shared<FolderNodeData>(folder));
    for (const auto& sub : folder->children)
        PopulateTree(sub, node);
    // Appended only once its own subtree is complete.
    parent->AddChild(node);
}

void FolderViewController::ShowTreeAfterChange()
{
    UpdateEmptyFolderStatus();
    InvalidateView();
    if (m_view)
        m_view->ExpandAll();
    UpdateDisplay();
    UpdateAllItemStatusForContainerClass(kAllCategories);
    m_hasOpenedStores = true;
    if (m_view)
        m_view->SelectionStateChanged();
}

void FolderViewController::AddStoreToFolderView(const std::shared_ptr<const SourceFolder>& storeRow)
{
    if (!storeRow)
        return;
    TreeWillChange();
    if (!m_rootNode)
        m_rootNode = TreeNode::WithData(nullptr);
    PopulateTree(storeRow, m_rootNode);
    if (m_tickMemory) {
        const auto row = m_rootNode->AllChildren().back();
        const std::string location = StoreLocation(*row);
        if (!location.empty())
            UntickPaths(*row, RememberedUntickedFolders(*m_tickMemory, location));
    }
    ShowTreeAfterChange();
}

std::shared_ptr<TreeNode> FolderViewController::FindStoreRow(
    const boost::shared_ptr<IAssetStore>& store, bool liveOnly) const
{
    if (!m_rootNode || !store)
        return {};
    const auto rows = liveOnly ? m_rootNode->Children() : m_rootNode->AllChildren();
    for (const auto& row : rows) {
        const auto& data = row->NodeData();
        if (data && data->GetFolder() && data->GetFolder()->GetStore() == store)
            return row;
    }
    return {};
}

void FolderViewController::RemoveStoreFromFolderView(const boost::shared_ptr<IAssetStore>& store)
{
    if (m_delegate && store && !m_delegate->CanRemoveStore(store))
        return;
    if (const auto row = FindStoreRow(store, false)) {
        TreeWillChange();
        m_rootNode->RemoveChild(row);
        InvalidateView();
        UpdateAllItemStatusForContainerClass(kAllCategories);
        if (m_delegate)
            m_delegate->RemovedStoreFromView(store);
    }
    m_hasOpenedStores = m_rootNode && m_rootNode->NumberOfChildren() > 0;
    if (m_view)
        m_view->SelectionStateChanged();
}

void FolderViewController::Clear()
{
    // The view must let go of the nodes before they are freed.
    TreeWillChange();
    m_rootNode.reset();
    InvalidateView();
    m_hasOpenedStores = false;
    UpdateAllItemStatusForContainerClass(kAllCategories);
}

void FolderViewController::SetSelected(const std::shared_ptr<TreeNode>& start, bool value,
                                       int folderType, bool includeChildren)
{
    const auto node = start ? start : m_rootNode;
    if (!node)
        return;
    const auto& data = node->NodeData();
    if (data && (folderType == kAnyFolderType || folderType == data->folderType))
        data->isSelected = value;
    if (includeChildren)
        for (const auto& child : node->Children())
            SetSelected(child, value, folderType, true);
}

int FolderViewController::GetSelected(const std::shared_ptr<TreeNode>& start, int folderType) const
{
    const auto node = start ? start : m_rootNode;
    if (!node)
        return kCategoryAbsent;
    const auto& data = node->NodeData();
    // The root has no data and reads as type 0.
    const int ownType = data ? data->folderType : 0;
    int result = ownType == folderType ? (data->isSelected ? 1 : 0) : kCategoryAbsent;
    for (const auto& child : node->Children()) {
        const int value = GetSelected(child, folderType);
        if (value == kCategoryAbsent)
            continue;
        if (result == kCategoryAbsent)
            result = value;
        else if (result != value)
            result = kCategoryMixed;
        if (result == kCategoryMixed)
            return kCategoryMixed;
    }
    return result;
}

void FolderViewController::GetSelectedItems(const std::shared_ptr<TreeNode>& start,
                                            FolderNodeList& out) const
{
    const auto node = start ? start : m_rootNode;
    if (!node)
        return;
    const auto& data = node->NodeData();
    if (data && data->isSelected && data->folderType != kFolderKindRoot &&
        (!m_ignoreEmptyFolders || data->contentCount != 0))
        out.push_back(data);
    for (const auto& child : node->Children())
        GetSelectedItems(child, out);
}

TickState FolderViewController::GetTickState(const std::shared_ptr<TreeNode>& node) const
{
    if (!node)
        return TickState::Unticked;
    int64_t ticked = 0;
    int64_t unticked = 0;
    CountTicks(*node, ticked, unticked);
    if (ticked > 0 && unticked > 0)
        return TickState::PartlyTicked;
    return ticked > 0 ? TickState::Ticked : TickState::Unticked;
}

SelectionTotals FolderViewController::SelectedTotals() const
{
    FolderNodeList selected;
    GetSelectedItems(m_rootNode, selected);
    SelectionTotals totals;
    for (const auto& data : selected) {
        ++totals.folders;
        if (data->CountsAreBytes())
            totals.sizesOnly = true;
        else if (data->contentCount > 0)
            totals.messages += data->contentCount;
    }
    return totals;
}

std::string FolderViewController::SelectedTotalsText() const
{
    const SelectionTotals totals = SelectedTotals();
    if (totals.folders == 0)
        return "No folders selected";
    const std::string folders = Plural(totals.folders, "folder", "folders");
    if (totals.sizesOnly && totals.messages == 0)
        return folders + " selected";
    return Plural(totals.messages, "message", "messages") + " in " + folders + " selected";
}

std::string FolderViewController::SpokenRowText(const std::shared_ptr<TreeNode>& node,
                                                bool nameIncluded) const
{
    if (!node || !node->NodeData())
        return {};
    const auto& data = *node->NodeData();
    std::vector<std::string> parts;
    if (nameIncluded)
        parts.push_back(WideToUTF8(data.Name()));
    if (data.contentCount >= 0 && !IsStoreRow(data)) {
        if (data.CountsAreBytes())
            parts.push_back(FileSizeToStringTransformer::Transform(data.contentCount));
        else
            parts.push_back(data.contentCount == 0
                                ? std::string("no messages")
                                : Plural(data.contentCount, "message", "messages"));
    }
    if (!IsHeaderRow(node)) {
        switch (GetTickState(node)) {
        case TickState::Ticked:
            parts.push_back("ticked");
            break;
        case TickState::PartlyTicked:
            parts.push_back("partly ticked");
            break;
        case TickState::Unticked:
            parts.push_back("not ticked");
            break;
        }
    }
    std::string text;
    for (const auto& part : parts)
        text += (text.empty() ? "" : ", ") + part;
    return text;
}

std::vector<std::string> FolderViewController::UntickedFolderPaths(
    const std::shared_ptr<TreeNode>& storeRow) const
{
    std::vector<std::string> paths;
    if (storeRow)
        CollectUnticked(*storeRow, paths);
    return paths;
}

void FolderViewController::RememberTicks() const
{
    if (!m_rootNode || !m_tickMemory)
        return;
    for (const auto& row : m_rootNode->AllChildren()) {
        const std::string location = StoreLocation(*row);
        if (!location.empty())
            RememberUntickedFolders(*m_tickMemory, location, UntickedFolderPaths(row));
    }
}

void FolderViewController::UpdateAllItemStatusForContainerClass(int folderType)
{
    m_isSelfUpdating = true;
    for (int category = 0; category < kCategoryCount; ++category) {
        const bool concerned = folderType == kAnyFolderType || folderType == 8 ||
                               folderType == kAllCategories ||
                               folderType == kCategoryTypes[category];
        if (!concerned)
            continue;
        const int value = GetSelected(m_rootNode, kCategoryTypes[category]);
        SetCategoryValue(category, value);
        m_hasCategory[category] = value != kCategoryAbsent;
    }
    UpdateHasSelectedFolders();
    m_isSelfUpdating = false;
}

void FolderViewController::UpdateHasSelectedFolders()
{
    bool any = false;
    for (int category = 0; category < kCategoryCount; ++category)
        if (m_hasCategory[category] && m_categoryValues[category] != kCategoryNone)
            any = true;
    m_hasSelectedFolders = any;
    if (m_view)
        m_view->SelectionStateChanged();
}

bool FolderViewController::MarkEmptyChildren(const std::shared_ptr<TreeNode>& node)
{
    bool anyLiveChild = false;
    for (const auto& child : node->Children())
        if (MarkEmptyChildren(child))
            anyLiveChild = true;
    const auto& data = node->NodeData();
    // The root counts as empty; an uncounted folder (-1) too.
    const int64_t count = data ? data->contentCount : 0;
    const bool live = count >= 1 || anyLiveChild;
    node->SetIsLive(live);
    return live;
}

void FolderViewController::UnmarkEmptyChildren(const std::shared_ptr<TreeNode>& node)
{
    node->SetIsLive(true);
    for (const auto& child : node->AllChildren())
        UnmarkEmptyChildren(child);
}

void FolderViewController::UpdateEmptyFolderStatus()
{
    if (!m_rootNode)
        return;
    if (m_ignoreEmptyFolders)
        MarkEmptyChildren(m_rootNode);
    else
        UnmarkEmptyChildren(m_rootNode);
}

void FolderViewController::ClickCheckBox(const std::shared_ptr<TreeNode>& node, bool value,
                                         bool optionKeyHeld)
{
    if (!node || !node->NodeData())
        return;
    SetSelected(node, value, kAnyFolderType, !optionKeyHeld);
    UpdateAllItemStatusForContainerClass(node->NodeData()->folderType);
    UpdateDisplay();
    RememberTicks();
}

void FolderViewController::ClickHeaderRow(const std::shared_ptr<TreeNode>& node, bool value)
{
    if (!node || !node->NodeData())
        return;
    node->NodeData()->isSelected = value;
    if (!value && node->NodeData()->GetFolder())
        RemoveStoreFromFolderView(node->NodeData()->GetFolder()->GetStore());
}

bool FolderViewController::IsHeaderRow(const std::shared_ptr<TreeNode>& node) const
{
    return m_showHeaderRows && node && node->NodeData() &&
           node->NodeData()->folderType == kFolderKindRoot;
}

std::string FolderViewController::Tooltip(const std::shared_ptr<TreeNode>& node) const
{
    if (!node || !node->NodeData())
        return {};
    if (IsHeaderRow(node)) {
        const auto& folder = node->NodeData()->GetFolder();
        const auto store = folder ? folder->GetStore() : boost::shared_ptr<IAssetStore>();
        return store ? store->GetLocation() : std::string();
    }
    if (node->NumberOfChildren() > 0)
        return "Option + click to exclude subfolders from selection.";
    return {};
}

void FolderViewController::SetIgnoreEmptyFolders(bool ignore)
{
    if (m_ignoreEmptyFolders == ignore)
        return;
    if (m_isSelfUpdating) {
        m_ignoreEmptyFolders = ignore;
        return;
    }
    // Hiding and showing rows changes the tree's shape.
    TreeWillChange();
    m_ignoreEmptyFolders = ignore;
    UpdateEmptyFolderStatus();
    InvalidateView();
    if (m_view)
        m_view->ExpandAll();
    UpdateHasSelectedFolders();
}

void FolderViewController::SetShowHeaderRows(bool show)
{
    if (m_showHeaderRows == show)
        return;
    m_showHeaderRows = show;
    if (m_isSelfUpdating)
        return;
    AfterObservedChange();
}

void FolderViewController::SetCategoryValue(int category, int value)
{
    const int old = m_categoryValues.at(category);
    if (old == value)
        return;
    m_categoryValues[category] = value;
    if (m_isSelfUpdating)
        return;
    CategoryChanged(category, value, old);
}

void FolderViewController::ClickCategoryBox(int category)
{
    const int value = CategoryValue(category);
    if (value == kCategoryAbsent)
        return;
    SetCategoryValue(category, value == kCategoryNone ? kCategoryAll : kCategoryNone);
}

void FolderViewController::CategoryChanged(int category, int newValue, int oldValue)
{
    if (SkipMixedStateForKey(category, newValue, oldValue)) {
        SetSelected(m_rootNode, newValue != 0, kCategoryTypes[category], true);
        RememberTicks();
    }
    AfterObservedChange();
}

void FolderViewController::AfterObservedChange()
{
    // Only tick marks changed: the rows, their expansion and the view's
    // selection stay.
    UpdateDisplay();
    UpdateHasSelectedFolders();
}

bool FolderViewController::SkipMixedStateForKey(int category, int newValue, int oldValue)
{
    if (newValue != kCategoryMixed)
        return true;
    // A box cannot be set to "mixed" by the user: flip it once the observer
    // that saw the mixed value has returned.
    const int number = category * 256 + (oldValue & 0xFF);
    std::weak_ptr<bool> alive = m_alive;
    m_dispatcher.Post([this, alive, number] {
        if (alive.lock())
            ResetCB(number);
    });
    return false;
}

void FolderViewController::ResetCB(int number)
{
    if (number < 0 || number >= kCategoryCount * 256)
        return;
    SetCategoryValue(number >> 8, (number & 0xFF) == 0 ? 1 : 0);
}

}  // namespace KestrinApp
