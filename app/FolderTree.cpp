#include "app/FolderTree.h"

#include <algorithm>

namespace KestrinApp {

FolderNodeData::FolderNodeData(std::shared_ptr<const SourceFolder> source)
    : folderType(source->kind), contentCount(source->count), m_source(std::move(source))
{
}

bool FolderNodeData::CountsAreBytes() const
{
    using KestrinMIMEEngineCommon::StoreKind;
    const auto& folder = GetFolder();
    const auto store = folder ? folder->GetStore() : boost::shared_ptr<IAssetStore>();
    if (!store)
        return false;
    const StoreKind kind = store->GetStoreKind();
    return kind == StoreKind::MboxArchive || kind == StoreKind::Archive || kind == StoreKind::Mbox;
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
    m_liveDirty = true;
}

void TreeNode::RemoveChild(const std::shared_ptr<TreeNode>& child)
{
    const auto found = std::find(m_children.begin(), m_children.end(), child);
    if (found == m_children.end())
        return;
    child->m_parent.reset();
    m_children.erase(std::remove(m_children.begin(), m_children.end(), child), m_children.end());
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
    // A child no longer below this node keeps a stale row: check it.
    if (child->m_row < m_live.size() && m_live[child->m_row] == child)
        return static_cast<int>(child->m_row);
    return -1;
}

int TreeNode::Row() const
{
    const auto parent = m_parent.lock();
    return parent ? parent->IndexOfChild(this) : -1;
}

}  // namespace KestrinApp
