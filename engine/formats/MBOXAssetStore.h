// A tree of mailbox files. Kind 6: plain "Name.mbox" files (the mbox export
// target). Kind 1: Apple Mail's mailbox-archive layout, "Name.mbox/mbox"
// (how Apple Mail exports mailboxes; also readable as a source).
#pragma once

#include "formats/FileTreeStoreBase.h"
#include "formats/MBOXAssetFolder.h"

namespace KestrinMIMEEngineCommon {

class MBOXAssetStore : public FileTreeStoreBase {
public:
    // An empty name becomes "MBOX Store" (kind 6) or "Apple Mail Mailbox
    // Archive" (kind 1).
    MBOXAssetStore(const std::string& location, const std::wstring& name, StoreKind storeKind);
    ~MBOXAssetStore() override;

    bool SupportsFolderKind(int kind) override { return false; }
    // A directory (not itself ".mbox") is scanned for mailboxes below a
    // root whose own mailbox is location/<stem>.mbox; a mailbox file or
    // bundle becomes the one child of a root standing for its directory.
    // The mailboxes inside a bundle ("X.mbox/Child.mbox/mbox") and in a
    // plain directory beside it ("X/Child.mbox") are X's children.
    Status LoadFolderTree(const boost::shared_ptr<IProgressPresenter>& presenter,
                       const boost::shared_ptr<ICancelable>& cancelable,
                       const boost::shared_ptr<ILogger>& logger) override;

    // A file looks like a mailbox when it can be read and is empty or starts
    // with "From ".
    static bool LooksLikeMailbox(const std::string& path);
    // Whether path holds a bundle's mailbox file: a regular file, or a FIFO,
    // socket or device in its place, which is listed so that reading it
    // names it as failed rather than passing over it.
    static bool HoldsMailboxFile(const std::string& path);

private:
    Status ScanDirectory(const std::string& directory, const boost::shared_ptr<MBOXAssetFolder>& parent,
                      const std::string& rootMailbox,
                      const boost::shared_ptr<IProgressPresenter>& presenter,
                      const boost::shared_ptr<ICancelable>& cancelable);
};

}  // namespace KestrinMIMEEngineCommon
