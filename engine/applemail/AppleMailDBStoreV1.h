// The older mailbox-directory layout: every bundle (".mbox", ".imapmbox",
// ".rssmbox") holds a "Messages" folder of ".emlx" files; bundles nest, and
// plain directories group them. A bundle of the newer layout among them is
// read as such, and so is an exported mailbox.
#pragma once

#include "applemail/AppleMailDirectoryStore.h"

namespace KestrinMIMEEngineCommon {

class AppleMailDBStoreV1 : public AppleMailDirectoryStore {
public:
    AppleMailDBStoreV1(const std::string& rootPath, const std::wstring& name);

    // Answers the walk's result (1 when canceled).
    Status LoadFolderTree(const boost::shared_ptr<IProgressPresenter>& presenter,
                       const boost::shared_ptr<ICancelable>& cancelable,
                       const boost::shared_ptr<ILogger>& logger) override;
};

}  // namespace KestrinMIMEEngineCommon
