// What the two mailbox-directory stores share: the opening sequence, the
// mail-only folder kind, the root folder and the directory walk. They read
// mailbox bundles straight from the file system when a folder has no usable
// Envelope Index, and keep no listing state.
#pragma once

#include <string>

#include <boost/filesystem/path.hpp>

#include "applemail/AppleAssetFolder.h"
#include "assets/AssetStoreBase.h"

namespace KestrinMIMEEngineCommon {

class AppleMailDirectoryStore : public AssetStoreBase {
public:
    // An empty display name becomes "Apple Mail Database".
    AppleMailDirectoryStore(const std::string& rootPath, const std::wstring& name, int storeKind,
                            const std::string& stateDatabasePath);

    // Builds the folder tree; 0 opened (also when already open), 1 canceled
    // (no tree), otherwise the failure. The mail folder is only read, so a
    // create flag changes nothing.
    int Open(const boost::shared_ptr<IProgressPresenter>& presenter,
             const boost::shared_ptr<ICancelable>& cancelable,
             const boost::shared_ptr<ILogger>& logger, bool createLocation,
             const boost::shared_ptr<void>& extra1 = {},
             const boost::shared_ptr<void>& extra2 = {}) override;
    bool SupportsFolderKind(int kind) override { return kind == kFolderKindMail; }

protected:
    // What a visit answers for an entry that is no mailbox folder at all.
    static constexpr int kNotAFolder = -1;

    // Turns one directory entry into folders below parent (walking deeper
    // as the layout's rules say); answers the entry's result or kNotAFolder.
    virtual int VisitEntry(const boost::filesystem::path& entry,
                           const boost::shared_ptr<AssetFolderBase>& parent, bool insideMailbox,
                           const boost::shared_ptr<IProgressPresenter>& presenter,
                           const boost::shared_ptr<ICancelable>& cancelable) = 0;

    // Creates the root folder (named with the root path, no location), walks
    // the root below it and installs it. When the root is itself a mailbox
    // bundle (the user chose one bundle rather than the folder holding it),
    // that bundle becomes the root's one child instead of being looked into.
    // Answers the walk's result.
    int BuildFolderTree(const boost::shared_ptr<IProgressPresenter>& presenter,
                        const boost::shared_ptr<ICancelable>& cancelable, bool olderLayout);

    // Posts dir to the presenter and visits its entries in listing order.
    // Answers 1 as soon as the cancel object reports cancellation, else the
    // last visit result other than kNotAFolder (0 when there was none). An
    // entry whose visit fails is reported on the diagnostic stream and
    // skipped, so one unreadable folder does not hide its siblings. Outside a
    // mailbox, a dir that cannot be listed becomes a folder of its own below
    // parent, which the export reports as failed: mail may be inside.
    int Walk(const boost::filesystem::path& dir, const boost::shared_ptr<AssetFolderBase>& parent,
             bool insideMailbox, const boost::shared_ptr<IProgressPresenter>& presenter,
             const boost::shared_ptr<ICancelable>& cancelable);

    // A plain directory that groups mailboxes: walked below a new grouping
    // folder, which joins parent only when it ends up with sub-folders.
    int WalkGroupFolder(const boost::filesystem::path& entry,
                        const boost::shared_ptr<AssetFolderBase>& parent,
                        const boost::shared_ptr<IProgressPresenter>& presenter,
                        const boost::shared_ptr<ICancelable>& cancelable);

    // A mailbox exported from Apple Mail (a folder holding the mbox file
    // "mbox" and no "Messages" folder) found among the bundles: added below
    // parent as an mbox folder, which answers. Null for any other entry.
    boost::shared_ptr<AssetFolderBase> AddExportedMailbox(const boost::filesystem::path& entry,
                            const boost::shared_ptr<AssetFolderBase>& parent);

    // ".mbox" in any case; the older layout also ".imapmbox" and ".rssmbox".
    static bool IsBundleExtension(const boost::filesystem::path& path, bool olderLayout);

private:
    void AddUnreadableFolder(const boost::filesystem::path& dir,
                             const boost::shared_ptr<AssetFolderBase>& parent);

    int VisitGuarded(const boost::filesystem::path& entry,
                     const boost::shared_ptr<AssetFolderBase>& parent, bool insideMailbox,
                     const boost::shared_ptr<IProgressPresenter>& presenter,
                     const boost::shared_ptr<ICancelable>& cancelable);
};

}  // namespace KestrinMIMEEngineCommon
