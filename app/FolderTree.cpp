#include "app/FolderTree.h"

#include <algorithm>

#include "app/FileSizeToStringTransformer.h"
#include "mime/KSCharsets.h"

namespace KestrinApp {

using namespace KestrinMIMEEngineCommon;

FolderNodeData::FolderNodeData(const boost::shared_ptr<IAssetFolder>& folder) : m_folder(folder)
{
    const int kind = folder->GetFolderKind();
    folderType = kind == kFolderKindGeneric ? kFolderKindMail : kind;
    contentCount = folder->GetAssetCount();

    const auto store = folder->GetStore();
    if (store)
        m_storeKind = store->GetStoreKind();
    m_folderName = folder->GetName();
    m_name = (folderType == kFolderKindRoot && store) ? store->GetStoreName() : m_folderName;

    if (contentCount > 0) {
        const bool countsAreBytes = m_storeKind == kStoreTypeMboxArchive ||
                                    m_storeKind == kStoreTypeArchive ||
                                    m_storeKind == kStoreTypeMbox;
        const std::string count = countsAreBytes
                                      ? FileSizeToStringTransformer::Transform(contentCount)
                                      : std::to_string(contentCount);
        m_countText = L"  [" + UTF8ToWide(count) + L"]";
    }
}

std::wstring FolderNodeData::Description() const
{
    if (contentCount < 0)
        return m_folderName;
    return m_folderName + L" [" + std::to_wstring(contentCount) + L"]";
}

std::shared_ptr<TreeNode> TreeNode::WithData(std::shared_ptr<FolderNodeData> data)
{
    auto node = std::make_shared<TreeNode>();
    node->m_data = std::move(data);
    return node;
}

void TreeNode::AddChild(const std::shared_ptr<TreeNode>& child)
{
    m_children.push_back(child);
    child->m_parent = shared_from_this();
    m_isLeaf = m_children.empty();
    m_liveDirty = true;
}

void TreeNode::RemoveChild(const std::shared_ptr<TreeNode>& child)
{
    const auto found = std::find(m_children.begin(), m_children.end(), child);
    if (found == m_children.end())
        return;
    child->m_parent.reset();
    m_children.erase(std::remove(m_children.begin(), m_children.end(), child), m_children.end());
    m_isLeaf = m_children.empty();
    m_liveDirty = true;
}

void TreeNode::RemoveAllChildren()
{
    m_children.clear();
    m_isLeaf = true;
    m_liveDirty = true;
}

void TreeNode::SetIsLive(bool live)
{
    if (m_isLive == live)
        return;
    m_isLive = live;
    if (const auto parent = m_parent.lock())
        parent->m_liveDirty = true;
}

void TreeNode::EnsureLiveCache() const
{
    if (!m_liveDirty)
        return;
    m_live.clear();
    for (const auto& child : m_children) {
        if (!child->m_isLive)
            continue;
        child->m_row = m_live.size();
        m_live.push_back(child.get());
    }
    m_liveDirty = false;
}

std::vector<std::shared_ptr<TreeNode>> TreeNode::Children()
{
    EnsureLiveCache();
    std::vector<std::shared_ptr<TreeNode>> live;
    live.reserve(m_live.size());
    for (TreeNode* child : m_live)
        live.push_back(child->shared_from_this());
    m_isLeaf = live.empty();
    return live;
}

size_t TreeNode::NumberOfChildren() const
{
    EnsureLiveCache();
    return m_live.size();
}

std::shared_ptr<TreeNode> TreeNode::ChildAtIndex(size_t index) const
{
    EnsureLiveCache();
    if (index >= m_live.size())
        return {};
    return m_live[index]->shared_from_this();
}

int TreeNode::IndexOfChild(const TreeNode* child) const
{
    if (!child)
        return -1;
    EnsureLiveCache();
    // A child dropped by RemoveAllChildren keeps a stale row: check it.
    if (child->m_row < m_live.size() && m_live[child->m_row] == child)
        return static_cast<int>(child->m_row);
    return -1;
}

int TreeNode::Row() const
{
    const auto parent = m_parent.lock();
    return parent ? parent->IndexOfChild(this) : -1;
}

std::string FolderIconName(int folderType, int storeKind)
{
    switch (folderType) {
    case 1:
        return "Calendar.png";
    case 2:
        return "Contact.png";
    case 7:
        return "AssetFolder.png";
    case 8:
        return "Store.png";
    case 9:
        return "AppleMailLogo.png";
    default:
        return "Folder.png";
    }
}

}  // namespace KestrinApp
