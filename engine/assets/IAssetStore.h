// Stores: one source or target of assets with its folder tree.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "assets/Codes.h"
#include "assets/IAssetFolder.h"
#include "mime/MakeSafeName.h"

namespace KestrinMIMEEngineCommon {

// A mailbox the source's index lists with messages but whose folder is not
// on the disk read: its messages cannot be converted, yet they are the
// user's mail and count among what was listed.
struct MailboxNotOnDisk {
    std::wstring name;   // the mailbox's own name, as its owner would call it
    int64_t count = -1;  // messages the index lists in it; -1 when unknown
};

class IAssetStore : public IKSNotificationSender {
public:
    virtual std::wstring GetStoreName() = 0;
    virtual std::string GetLocation() = 0;
    virtual StoreKind GetStoreKind() = 0;
    // Canceled: asked to stop while loading.
    virtual Status Open(const boost::shared_ptr<IProgressPresenter>& presenter,
                     const boost::shared_ptr<ICancelable>& cancelable,
                     const boost::shared_ptr<ILogger>& logger, bool createLocation) = 0;
    virtual bool IsOpen() = 0;
    virtual Status Close() = 0;
    virtual boost::shared_ptr<IAssetFolder> GetRootFolder(int kind = kFolderKindMail) = 0;
    virtual bool SupportsFolderKind(int kind) = 0;
    // Lines for the conversion report about what loading the store could
    // not do fully (for example accounts it could not name); the export
    // writes them once for every store it reads from.
    virtual std::vector<std::wstring> GetReportNotes() { return {}; }
    // The mailboxes the store lists but could not find on disk.
    virtual std::vector<MailboxNotOnDisk> GetMailboxesNotOnDisk() { return {}; }
    // How the files and folders the store creates are named.
    virtual NameStyle GetNameStyle() { return NameStyle::Ascii; }
};

// The store's name style; ASCII when there is no store.
inline NameStyle NameStyleOf(const boost::shared_ptr<IAssetStore>& store)
{
    return store ? store->GetNameStyle() : NameStyle::Ascii;
}

class IAssetStoreMutable : public IAssetStore {
public:
    virtual boost::shared_ptr<IAssetFolder> GetRootFolderImpl() = 0;
    virtual boost::shared_ptr<IAssetFolderMutable> GetDefaultFolderMutable(int assetType,
                                                                           bool create) = 0;
    virtual boost::shared_ptr<IAssetFolderMutable> MapAssetFolderRelative(
        const boost::shared_ptr<IAssetFolder>& source, bool create) = 0;
    virtual boost::shared_ptr<IAssetFolderMutable> MapAssetFolderRelative(
        const boost::shared_ptr<IAssetFolder>& source, boost::shared_ptr<IAssetFolderMutable>& start,
        bool create) = 0;
};

}  // namespace KestrinMIMEEngineCommon
