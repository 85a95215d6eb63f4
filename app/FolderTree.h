// The node model between the engine's folders and the folder tree on screen.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "app/Source.h"

namespace KestrinApp {

// One shown folder: the loaded folder with the tick and type the tree
// keeps for it. Counts and names are those of load time.
class FolderNodeData {
public:
    explicit FolderNodeData(std::shared_ptr<const SourceFolder> source);

    const boost::shared_ptr<IAssetFolder>& GetFolder() const { return m_source->folder; }
    const std::shared_ptr<const SourceFolder>& Source() const { return m_source; }

    bool isSelected = true;
    // The folder's kind, a generic folder (7) shown as a mail folder (4).
    int folderType = 0;
    // -1 when the folder was not counted.
    int64_t contentCount = -1;

    // The store's name for a store row, the folder's display name otherwise.
    const std::wstring& Name() const { return m_source->name; }
    // The emphasised count part of the row text: "  [42]", or "  [1.5 KB]"
    // for stores whose counts are byte sizes; empty unless the count is above 0.
    const std::wstring& CountText() const { return m_source->countText; }
    // The row text: name followed by the count part.
    std::wstring RowText() const { return m_source->RowText(); }
    // True for stores (exported mailboxes, archives) whose counts are byte
    // sizes rather than messages.
    bool CountsAreBytes() const;

private:
    std::shared_ptr<const SourceFolder> m_source;
};

using FolderNodeList = std::vector<std::shared_ptr<FolderNodeData>>;

// A node of the tree: the root has no data, each loaded store is one child of
// the root (the store row), folders below. Hidden nodes ("not live") keep
// their selection but every traversal passes them by.
//
// The live children are cached with each child's row, so that a view model
// finds a child by row and a row by child in constant time; the cache is
// rebuilt once after the children or their liveness change. Main thread only.
class TreeNode : public std::enable_shared_from_this<TreeNode> {
public:
    static std::shared_ptr<TreeNode> WithData(std::shared_ptr<FolderNodeData> data);

    const std::shared_ptr<FolderNodeData>& NodeData() const { return m_data; }
    std::shared_ptr<TreeNode> Parent() const { return m_parent.lock(); }

    void AddChild(const std::shared_ptr<TreeNode>& child);
    // Removes every occurrence of the child and clears its parent link.
    void RemoveChild(const std::shared_ptr<TreeNode>& child);

    // The live children, in order.
    std::vector<std::shared_ptr<TreeNode>> Children();
    // Every child, live or not.
    std::vector<std::shared_ptr<TreeNode>> AllChildren() const { return m_children; }
    size_t NumberOfChildren() const;
    // The i-th live child, empty when there is none.
    std::shared_ptr<TreeNode> ChildAtIndex(size_t index) const;
    // The row of a live child among the live children, -1 when it is not one.
    int IndexOfChild(const TreeNode* child) const;
    // This node's row below its parent, -1 for the root or a hidden node.
    int Row() const;

    // Also tells the parent that its live children changed.
    void SetIsLive(bool live);

private:
    void EnsureLiveCache() const;

    std::shared_ptr<FolderNodeData> m_data;
    std::weak_ptr<TreeNode> m_parent;
    std::vector<std::shared_ptr<TreeNode>> m_children;
    bool m_isLive = true;
    mutable std::vector<TreeNode*> m_live;
    mutable bool m_liveDirty = true;
    mutable size_t m_row = 0;
};

}  // namespace KestrinApp
