// The common implementation every store class derives from: open/close life
// cycle, root folder, folder mapping and the in-memory state database.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

#include <boost/enable_shared_from_this.hpp>
#include <boost/thread/recursive_mutex.hpp>
#include <boost/weak_ptr.hpp>

#include <sqlite3.h>

#include "assets/IAssetStore.h"

namespace KestrinMIMEEngineCommon {

constexpr int kStateSchemaVersion = 201020;

struct SqliteCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct SqliteFinalizer {
    void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
};
using SqliteHandle = std::unique_ptr<sqlite3, SqliteCloser>;
using SqliteStatement = std::unique_ptr<sqlite3_stmt, SqliteFinalizer>;

// Maps a folder kind to the asset type of the store's default folder for it.
int AssetTypeForFolderKind(int kind);

class AssetStoreBase : public IAssetStoreMutable,
                       public boost::enable_shared_from_this<AssetStoreBase> {
public:
    // An empty state-database path means ":memory:".
    AssetStoreBase(const std::string& location, const std::wstring& name, int storeKind,
                   const std::string& stateDatabasePath = std::string());
    ~AssetStoreBase() override;

    int GetSenderTypeId() override;
    std::wstring GetStoreName() override { return m_name; }
    std::string GetLocation() override { return m_location; }
    int GetStoreKind() override { return m_storeKind; }
    NameStyle GetNameStyle() override { return m_nameStyle; }
    // Set before the store is opened.
    void SetNameStyle(NameStyle style) { m_nameStyle = style; }
    // The base part: the folder-state table, remembering the cancelable.
    int Open(const boost::shared_ptr<IProgressPresenter>& presenter,
             const boost::shared_ptr<ICancelable>& cancelable,
             const boost::shared_ptr<ILogger>& logger, bool createLocation,
             const boost::shared_ptr<void>& extra1 = {},
             const boost::shared_ptr<void>& extra2 = {}) override;
    bool IsOpen() override { return m_open; }
    int Close(const boost::shared_ptr<void>& extra1 = {},
              const boost::shared_ptr<void>& extra2 = {}) override;
    boost::shared_ptr<IAssetFolder> GetRootFolder(int kind = kFolderKindMail) override
    {
        return GetRootFolderImpl();
    }
    boost::shared_ptr<IAssetFolder> GetRootFolderImpl() override;
    boost::shared_ptr<IAssetFolderMutable> GetDefaultFolderMutable(int assetType,
                                                                   bool create) override;
    boost::shared_ptr<IAssetFolderMutable> MapAssetFolderRelative(
        const boost::shared_ptr<IAssetFolder>& source, bool create) override;
    boost::shared_ptr<IAssetFolderMutable> MapAssetFolderRelative(
        const boost::shared_ptr<IAssetFolder>& source, boost::shared_ptr<IAssetFolderMutable>& start,
        bool create) override;

    virtual bool IsCanceled();
    virtual int OpenStateDatabase();
    virtual sqlite3* GetStateDatabase() { return m_stateDatabase.get(); }
    virtual int LoadFolderTree(const boost::shared_ptr<IProgressPresenter>& presenter,
                               const boost::shared_ptr<ICancelable>& cancelable,
                               const boost::shared_ptr<ILogger>& logger)
    {
        return kStatusOK;
    }
    virtual bool IsStateSchemaOutdated();

    static int ReadDBSchemaVersion(sqlite3* database);

protected:
    // The opening sequence of stores whose tree is built by LoadFolderTree:
    // under both locks, nothing when already open; the base part; then
    // prepare (when given; a non-zero answer fails the open), the location
    // posted to the presenter, the tree, the cancel check. A store that did
    // not open is left without a tree; the remembered cancelable is cleared.
    int OpenAndLoadTree(const boost::shared_ptr<IProgressPresenter>& presenter,
                        const boost::shared_ptr<ICancelable>& cancelable,
                        const boost::shared_ptr<ILogger>& logger, bool createLocation,
                        const boost::shared_ptr<void>& extra1,
                        const boost::shared_ptr<void>& extra2,
                        const std::function<int()>& prepare = {});

    void SetRootFolder(const boost::shared_ptr<IAssetFolder>& root);
    void SetOpen(bool open) { m_open = open; }
    // Clears the cancelable remembered by Open; derived Opens call it last.
    void ForgetCancelable() { m_cancelable.reset(); }
    boost::recursive_mutex& StoreMutex() { return m_storeMutex; }
    boost::recursive_mutex& StateMutex() { return m_stateMutex; }
    bool IsClosing() const { return m_closing.load(); }

    boost::shared_ptr<IAssetFolder> m_rootFolder;
    boost::recursive_mutex m_storeMutex;
    std::string m_location;
    std::wstring m_name;
    int m_storeKind;
    NameStyle m_nameStyle = NameStyle::Ascii;
    bool m_open = false;
    std::vector<boost::shared_ptr<void>> m_reserved;
    SqliteHandle m_stateDatabase;
    std::string m_stateDatabasePath;
    boost::recursive_mutex m_stateMutex;
    boost::weak_ptr<ICancelable> m_cancelable;
    std::atomic<bool> m_closing{false};

private:
    void WriteSchemaStamp();
};

}  // namespace KestrinMIMEEngineCommon
