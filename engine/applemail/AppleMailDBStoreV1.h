// The older mailbox-directory layout: every bundle (".mbox", ".imapmbox",
// ".rssmbox") holds a "Messages" folder of ".emlx" files; bundles nest, and
// plain directories group them.
#pragma once

#include "applemail/AppleMailDirectoryStore.h"

namespace KestrinMIMEEngineCommon {

class AppleMailDBStoreV1 : public AppleMailDirectoryStore {
public:
    AppleMailDBStoreV1(const std::string& rootPath, const std::wstring& name,
                       const std::string& stateDatabasePath);

    // Answers the walk's result (1 when canceled).
    int LoadFolderTree(const boost::shared_ptr<IProgressPresenter>& presenter,
                       const boost::shared_ptr<ICancelable>& cancelable,
                       const boost::shared_ptr<ILogger>& logger) override;

protected:
    int VisitEntry(const boost::filesystem::path& entry,
                   const boost::shared_ptr<AssetFolderBase>& parent, bool insideMailbox,
                   const boost::shared_ptr<IProgressPresenter>& presenter,
                   const boost::shared_ptr<ICancelable>& cancelable) override;
};

}  // namespace KestrinMIMEEngineCommon
