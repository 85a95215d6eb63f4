// The newer mailbox-directory layout: every ".mbox" bundle holds a
// store-UUID folder with the message folders nested inside; bundles nest,
// and plain directories outside bundles group them. A bundle of the older
// layout among them is read as such, and so is an exported mailbox.
#pragma once

#include "applemail/AppleMailDirectoryStore.h"

namespace KestrinMIMEEngineCommon {

class AppleMailDBStoreV2 : public AppleMailDirectoryStore {
public:
    AppleMailDBStoreV2(const std::string& rootPath, const std::wstring& name);

    // Answers 1 when canceled, else 0.
    Status LoadFolderTree(const boost::shared_ptr<IProgressPresenter>& presenter,
                       const boost::shared_ptr<ICancelable>& cancelable,
                       const boost::shared_ptr<ILogger>& logger) override;
};

}  // namespace KestrinMIMEEngineCommon
