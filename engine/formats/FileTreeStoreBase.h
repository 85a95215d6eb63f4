// The opening sequence the file-based stores (EML directories, mbox trees)
// share: base part, optional creation of the location, the store message to
// the presenter, the tree build, the cancel check.
#pragma once

#include "assets/AssetStoreBase.h"

namespace KestrinMIMEEngineCommon {

class FileTreeStoreBase : public AssetStoreBase {
public:
    using AssetStoreBase::AssetStoreBase;

    // Succeeded (also when already open), canceled while the tree was
    // built (the store stays closed, without a tree), failed when the location
    // was to be created and cannot be, otherwise the failure of the base
    // part or of LoadFolderTree.
    Status Open(const boost::shared_ptr<IProgressPresenter>& presenter,
             const boost::shared_ptr<ICancelable>& cancelable,
             const boost::shared_ptr<ILogger>& logger, bool createLocation) override;

    // Whether mailbox files of this store carry each message's read,
    // answered and flagged state in its header block (when the source kept
    // one); false writes the messages exactly as the source stored them.
    void SetWriteState(bool write) { m_writeState = write; }
    bool WritesState() const { return m_writeState; }

private:
    bool m_writeState = true;
};

}  // namespace KestrinMIMEEngineCommon
