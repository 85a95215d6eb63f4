#include "applemail/AppleMailDBStoreV1.h"

namespace KestrinMIMEEngineCommon {

AppleMailDBStoreV1::AppleMailDBStoreV1(const std::string& rootPath, const std::wstring& name)
    : AppleMailDirectoryStore(rootPath, name, StoreKind::AppleMailV1)
{
}

Status AppleMailDBStoreV1::LoadFolderTree(const boost::shared_ptr<IProgressPresenter>& presenter,
                                       const boost::shared_ptr<ICancelable>& cancelable,
                                       const boost::shared_ptr<ILogger>& logger)
{
    return BuildFolderTree(presenter, cancelable);
}

}  // namespace KestrinMIMEEngineCommon
