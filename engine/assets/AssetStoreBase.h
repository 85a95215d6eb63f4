// The common implementation every store class derives from: open/close life
// cycle, root folder and folder mapping.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include <boost/enable_shared_from_this.hpp>
#include <boost/thread/recursive_mutex.hpp>
#include <boost/weak_ptr.hpp>

#include "assets/IAssetStore.h"

namespace KestrinMIMEEngineCommon {

// Maps a folder kind to the asset type of the store's default folder for it.
int AssetTypeForFolderKind(int kind);

class AssetStoreBase : public IAssetStoreMutable,
                       public boost::enable_shared_from_this<AssetStoreBase> {
public:
    AssetStoreBase(const std::string& location, const std::wstring& name, StoreKind storeKind);
    ~AssetStoreBase() override;

    int GetSenderTypeId() override;
    std::wstring GetStoreName() override { return m_name; }
    std::string GetLocation() override { return m_location; }
    StoreKind GetStoreKind() override { return m_storeKind; }
    NameStyle GetNameStyle() override { return m_nameStyle; }
    // Set before the store is opened.
    void SetNameStyle(NameStyle style) { m_nameStyle = style; }
    // The base part: remembers the cancelable.
    Status Open(const boost::shared_ptr<IProgressPresenter>& presenter,
             const boost::shared_ptr<ICancelable>& cancelable,
             const boost::shared_ptr<ILogger>& logger, bool createLocation) override;
    bool IsOpen() override { return m_open; }
    Status Close() override;
    boost::shared_ptr<IAssetFolder> GetRootFolder(int kind = kFolderKindMail) override
    {
        return GetRootFolderImpl();
    }
    boost::shared_ptr<IAssetFolder> GetRootFolderImpl() override;
    // The root folder takes the mail; other kinds of item have none.
    boost::shared_ptr<IAssetFolderMutable> GetDefaultFolderMutable(int assetType,
                                                                   bool create) override;
    boost::shared_ptr<IAssetFolderMutable> MapAssetFolderRelative(
        const boost::shared_ptr<IAssetFolder>& source, bool create) override;
    boost::shared_ptr<IAssetFolderMutable> MapAssetFolderRelative(
        const boost::shared_ptr<IAssetFolder>& source, boost::shared_ptr<IAssetFolderMutable>& start,
        bool create) override;

    virtual bool IsCanceled();
    virtual Status LoadFolderTree(const boost::shared_ptr<IProgressPresenter>& presenter,
                               const boost::shared_ptr<ICancelable>& cancelable,
                               const boost::shared_ptr<ILogger>& logger)
    {
        return Status::Succeeded;
    }

protected:
    // The opening sequence of stores whose tree is built by LoadFolderTree:
    // under both locks, nothing when already open; the base part; then
    // prepare (when given; a non-zero answer fails the open), the location
    // posted to the presenter, the tree, the cancel check. A store that did
    // not open is left without a tree; the remembered cancelable is cleared.
    Status OpenAndLoadTree(const boost::shared_ptr<IProgressPresenter>& presenter,
                        const boost::shared_ptr<ICancelable>& cancelable,
                        const boost::shared_ptr<ILogger>& logger, bool createLocation,
                        const std::function<Status()>& prepare = {});

    void SetRootFolder(const boost::shared_ptr<IAssetFolder>& root);
    void SetOpen(bool open) { m_open = open; }
    // Clears the cancelable remembered by Open; derived Opens call it last.
    void ForgetCancelable() { m_cancelable.reset(); }
    boost::recursive_mutex& StoreMutex() { return m_storeMutex; }
    boost::recursive_mutex& StateMutex() { return m_stateMutex; }

    boost::shared_ptr<IAssetFolder> m_rootFolder;
    boost::recursive_mutex m_storeMutex;
    std::string m_location;
    std::wstring m_name;
    StoreKind m_storeKind;
    NameStyle m_nameStyle = NameStyle::Ascii;
    bool m_open = false;
    boost::recursive_mutex m_stateMutex;
    boost::weak_ptr<ICancelable> m_cancelable;
};

}  // namespace KestrinMIMEEngineCommon
