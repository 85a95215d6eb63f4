// The common implementation every folder class derives from.
#pragma once

#include <atomic>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include <boost/enable_shared_from_this.hpp>
#include <boost/thread/recursive_mutex.hpp>
#include <boost/weak_ptr.hpp>

#include "assets/IAssetFolder.h"
#include "assets/IAssetStore.h"

namespace KestrinMIMEEngineCommon {

// Orders children by their folder id, byte by byte.
struct FolderIdLess {
    bool operator()(const boost::shared_ptr<IAssetFolder>& a,
                    const boost::shared_ptr<IAssetFolder>& b) const;
};

class AssetFolderBase : public IAssetFolderMutable,
                        public boost::enable_shared_from_this<AssetFolderBase> {
public:
    // An empty name is taken from the location's last component. The kind is
    // 7 when the parent is alive, 9 otherwise.
    AssetFolderBase(const std::wstring& name, const std::string& location,
                    const boost::shared_ptr<IAssetStore>& store,
                    const boost::shared_ptr<IAssetFolder>& parent, bool isDefaultFolder);
    ~AssetFolderBase() override;

    int GetSenderTypeId() override;
    int GetFolderKind() override { return m_kind; }
    int64_t GetAssetCount() override { return m_assetCount.load(); }
    std::wstring GetName() override { return m_name; }
    std::wstring GetPath() override { return m_path; }
    std::string GetFolderId() override { return m_location; }
    boost::shared_ptr<IAssetFolder> GetParent() override { return m_parent.lock(); }
    boost::shared_ptr<IAssetStore> GetStore() override { return m_store.lock(); }
    Status RefreshAssetCount() override { return Status::Succeeded; }
    int LoadSubFolders() override;
    std::vector<boost::shared_ptr<IAssetFolder>> GetSubFolders() override;
    size_t GetSubFolderCount() override;
    boost::shared_ptr<IAssetFolder> FindSubFolder(const std::wstring& name) override;
    std::string GetPathUTF8() override;
    boost::shared_ptr<IAssetIterator> GetAssetIterator(
        unsigned queryKind, const boost::shared_ptr<IProgressPresenter>& presenter,
        const boost::shared_ptr<ICancelable>& cancelable,
        const boost::shared_ptr<ILogger>& logger) override
    {
        return {};
    }

    boost::shared_ptr<IAssetStoreMutable> GetStoreMutable() override;
    // Folders of stores that are only read make no sub-folders.
    boost::shared_ptr<IAssetFolderMutable> CreateSubFolder(const std::wstring& name, unsigned kind,
                                                           const std::string& sourceId) override;
    bool BeginAddAssets(const boost::shared_ptr<IAssetFolder>& source,
                        const boost::shared_ptr<IProgressPresenter>& presenter,
                        const boost::shared_ptr<ILogger>& logger) override
    {
        return true;
    }
    void EndAddAssets(const boost::shared_ptr<IAssetFolder>& source,
                      const boost::shared_ptr<IProgressPresenter>& presenter,
                      const boost::shared_ptr<ILogger>& logger) override
    {
    }
    AddAssetResult AddAsset(const boost::shared_ptr<IAsset>& asset,
                            const boost::shared_ptr<IProgressPresenter>& presenter,
                            const boost::shared_ptr<ILogger>& logger,
                            const boost::shared_ptr<ICancelable>& cancelable,
                            const std::string& assetId) override
    {
        return AddAssetResult{AddAssetCode::Failed, {}};
    }
    std::vector<boost::shared_ptr<IAssetFolderMutable>> GetSubFoldersMutable() override;
    std::wstring MakeUniqueSubFolderName(const std::wstring& wished, unsigned kind) override;
    void UpdatePath() override;

    // Links a child of the same store under this folder; a child of another
    // store is refused.
    bool AddChild(const boost::shared_ptr<AssetFolderBase>& child);

    // Whether a child's name equals name as file systems that ignore case
    // and Unicode normalisation compare (FileSystemNameKey). Looked up in
    // the children's index, not by a walk over every sibling.
    bool HasSubFolderNamedAlike(const std::wstring& name);

    bool IsDefaultFolder() const { return m_isDefaultFolder; }

protected:
    void SetFolderKind(int kind) { m_kind = kind; }
    void SetAssetCount(int64_t count) { m_assetCount.store(count); }
    void AddToAssetCount(int64_t delta) { m_assetCount.fetch_add(delta); }
    bool ChildrenLoaded() const { return m_childrenLoaded; }
    boost::recursive_mutex& Mutex() { return m_mutex; }
    // For classes that change the children set directly or change their
    // children's ids: the index is rebuilt on its next use.
    void ChildrenChanged() { m_indexValid = false; }
    // Takes a child out of the set and the index, and puts it back, so that
    // a child whose id is about to change is re-sorted without rebuilding
    // the index of all its siblings. Under the mutex.
    void RemoveChildEntry(const boost::shared_ptr<IAssetFolder>& child);
    void InsertChildEntry(const boost::shared_ptr<IAssetFolder>& child);

    std::set<boost::shared_ptr<IAssetFolder>, FolderIdLess> m_children;
    int m_kind;
    std::wstring m_name;
    std::wstring m_path;
    std::string m_id;  // the escaped path, see GetPathUTF8
    std::string m_location;
    boost::weak_ptr<IAssetStore> m_store;
    boost::weak_ptr<IAssetFolder> m_parent;
    bool m_childrenLoaded = false;
    bool m_isDefaultFolder;
    std::atomic<int64_t> m_assetCount{-1};
    boost::recursive_mutex m_mutex;

private:
    static std::string EscapedId(const std::wstring& path);

    // The children by the folded key of their names, so that finding or
    // creating one of thousands of siblings costs no walk over them. Guarded
    // by the mutex; rebuilt whenever it may have gone stale (the set changed
    // behind it).
    void IndexChild(const boost::shared_ptr<IAssetFolder>& child);
    void EnsureChildIndex();

    std::unordered_map<std::wstring, std::vector<boost::shared_ptr<IAssetFolder>>> m_childrenByKey;
    size_t m_indexedCount = 0;
    std::atomic<bool> m_indexValid{false};
};

}  // namespace KestrinMIMEEngineCommon
