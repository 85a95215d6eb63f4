// The opening sequence the file-based stores (EML directories, mbox trees)
// share: base part, optional creation of the location, the store message to
// the presenter, the tree build, the cancel check.
#pragma once

#include "assets/AssetStoreBase.h"

namespace KestrinMIMEEngineCommon {

class FileTreeStoreBase : public AssetStoreBase {
public:
    using AssetStoreBase::AssetStoreBase;

    // 0 opened (also when already open), 1 canceled while the tree was
    // built (the store stays closed, without a tree), 2 when the location
    // was to be created and cannot be, otherwise the failure of the base
    // part or of LoadFolderTree.
    int Open(const boost::shared_ptr<IProgressPresenter>& presenter,
             const boost::shared_ptr<ICancelable>& cancelable,
             const boost::shared_ptr<ILogger>& logger, bool createLocation) override;
};

}  // namespace KestrinMIMEEngineCommon
