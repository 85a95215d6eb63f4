// What the two mailbox-directory stores share: the opening sequence, the
// mail-only folder kind, the root folder and the directory walk, which
// decides the layout of every bundle on its own. They read mailbox bundles
// straight from the file system when a folder has no usable Envelope Index,
// and keep no listing state.
#pragma once

#include <string>

#include <boost/filesystem/path.hpp>
#include <boost/optional.hpp>

#include "applemail/AppleAssetFolder.h"
#include "assets/AssetStoreBase.h"

namespace KestrinMIMEEngineCommon {

class AppleMailDirectoryStore : public AssetStoreBase {
public:
    // An empty display name becomes "Apple Mail Database".
    AppleMailDirectoryStore(const std::string& rootPath, const std::wstring& name, StoreKind storeKind);

    // Builds the folder tree; succeeded (also when already open), canceled
    // (no tree), otherwise the failure. The mail folder is only read, so a
    // create flag changes nothing.
    Status Open(const boost::shared_ptr<IProgressPresenter>& presenter,
             const boost::shared_ptr<ICancelable>& cancelable,
             const boost::shared_ptr<ILogger>& logger, bool createLocation) override;
    bool SupportsFolderKind(int kind) override { return kind == kFolderKindMail; }

protected:
    // Creates the root folder (named with the root path, no location), walks
    // the root below it and installs it. When the root is itself a mailbox
    // bundle (the user chose one bundle rather than the folder holding it),
    // that bundle becomes the root's one child instead of being looked into.
    // Answers the walk's result.
    Status BuildFolderTree(const boost::shared_ptr<IProgressPresenter>& presenter,
                        const boost::shared_ptr<ICancelable>& cancelable);

private:
    // Posts dir to the presenter and visits its entries: the bundles first,
    // then the other folders, so that a plain folder "X" beside "X.mbox"
    // finds the mailbox it belongs below whatever the listing order.
    // Answers canceled as soon as the cancel object reports cancellation, else the
    // last result of a visit to a folder (succeeded when there was none). An
    // entry whose visit fails is reported on the diagnostic stream and
    // skipped, so one unreadable folder does not hide its siblings. Outside a
    // mailbox, a dir that cannot be listed becomes a folder of its own below
    // parent, which the export reports as failed: mail may be inside.
    Status Walk(const boost::filesystem::path& dir, const boost::shared_ptr<AssetFolderBase>& parent,
             bool insideMailbox, const boost::shared_ptr<IProgressPresenter>& presenter,
             const boost::shared_ptr<ICancelable>& cancelable);

    // How one bundle keeps its messages. A tree copied together from several
    // Macs or Mail versions mixes them, so each bundle is asked on its own.
    // A mailbox file ("Inbox.mbox" itself an mbox file) is read as well.
    enum class BundleLayout { Exported, Older, Newer, MailboxFile };

    // Turns one directory entry into folders below parent (walking deeper
    // as the bundle's layout says); answers the entry's result, or none for an entry that is no mailbox
    // folder at all.
    boost::optional<Status> VisitEntry(const boost::filesystem::path& entry,
                   const boost::shared_ptr<AssetFolderBase>& parent, bool insideMailbox,
                   const boost::shared_ptr<IProgressPresenter>& presenter,
                   const boost::shared_ptr<ICancelable>& cancelable);
    Status VisitBundle(const boost::filesystem::path& entry, BundleLayout layout,
                    const boost::shared_ptr<AssetFolderBase>& parent,
                    const boost::shared_ptr<IProgressPresenter>& presenter,
                    const boost::shared_ptr<ICancelable>& cancelable);

    // A bundle holding a store-UUID folder is of the newer layout, one
    // holding "Messages" of the older; a bundle holding neither (a mailbox
    // without messages, or one that only holds other mailboxes) is read as
    // this store's own layout.
    BundleLayout LayoutOfBundle(const boost::filesystem::path& bundle);
    bool OlderLayoutByDefault() const;

    // A plain directory that groups mailboxes: walked below a new grouping
    // folder, which joins parent only when it ends up with sub-folders.
    Status WalkGroupFolder(const boost::filesystem::path& entry,
                        const boost::shared_ptr<AssetFolderBase>& parent,
                        const boost::shared_ptr<IProgressPresenter>& presenter,
                        const boost::shared_ptr<ICancelable>& cancelable);

    // A mailbox exported from Apple Mail (a folder holding the mbox file
    // "mbox" and no "Messages" folder).
    static bool IsExportedMailbox(const boost::filesystem::path& entry);

    // The name a mailbox folder for entry gets below parent: the bundle's
    // name without its extension, numbered when a sibling has it already
    // ("Inbox.mbox" beside "Inbox.imapmbox"), so that neither is dropped.
    static std::wstring MailboxName(const boost::filesystem::path& entry,
                                    const boost::shared_ptr<AssetFolderBase>& parent);

    // ".mbox", ".imapmbox" or ".rssmbox", in any case.
    static bool IsBundleExtension(const boost::filesystem::path& path);

    void AddUnreadableFolder(const boost::filesystem::path& dir,
                             const boost::shared_ptr<AssetFolderBase>& parent);

    boost::optional<Status> VisitGuarded(const boost::filesystem::path& entry,
                     const boost::shared_ptr<AssetFolderBase>& parent, bool insideMailbox,
                     const boost::shared_ptr<IProgressPresenter>& presenter,
                     const boost::shared_ptr<ICancelable>& cancelable);
};

}  // namespace KestrinMIMEEngineCommon
