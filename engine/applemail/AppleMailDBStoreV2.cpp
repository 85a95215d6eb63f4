#include "applemail/AppleMailDBStoreV2.h"

namespace KestrinMIMEEngineCommon {

AppleMailDBStoreV2::AppleMailDBStoreV2(const std::string& rootPath, const std::wstring& name)
    : AppleMailDirectoryStore(rootPath, name, StoreKind::AppleMailV2)
{
}

Status AppleMailDBStoreV2::LoadFolderTree(const boost::shared_ptr<IProgressPresenter>& presenter,
                                       const boost::shared_ptr<ICancelable>& cancelable,
                                       const boost::shared_ptr<ILogger>& logger)
{
    BuildFolderTree(presenter, cancelable);
    return cancelable && cancelable->IsCanceled() ? Status::Canceled : Status::Succeeded;
}

}  // namespace KestrinMIMEEngineCommon
