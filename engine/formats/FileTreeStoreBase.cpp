#include "formats/FileTreeStoreBase.h"

#include <boost/thread/lock_guard.hpp>

#include "formats/FormatsSupport.h"
#include "mime/KSCharsets.h"

namespace KestrinMIMEEngineCommon {

int FileTreeStoreBase::Open(const boost::shared_ptr<IProgressPresenter>& presenter,
                            const boost::shared_ptr<ICancelable>& cancelable,
                            const boost::shared_ptr<ILogger>& logger, bool createLocation,
                            const boost::shared_ptr<void>& extra1,
                            const boost::shared_ptr<void>& extra2)
{
    boost::lock_guard<boost::recursive_mutex> stateGuard(StateMutex());
    boost::lock_guard<boost::recursive_mutex> storeGuard(StoreMutex());
    if (IsOpen()) return kStatusOK;

    int result = AssetStoreBase::Open(presenter, cancelable, logger, createLocation, extra1, extra2);
    if (result == kStatusOK) {
        // A location that cannot be made is a store that cannot take items.
        if (createLocation && !CreateDirectoryTree(GetLocation())) result = kStatusFailed;
    }
    if (result == kStatusOK) {
        if (presenter) presenter->PostStoreMessage(UTF8ToWide(GetLocation()));
        result = LoadFolderTree(presenter, cancelable, logger);
        if (result == kStatusOK && cancelable && cancelable->IsCanceled()) result = kStatusCanceled;
        if (result == kStatusOK) {
            SetOpen(true);
        } else {
            SetRootFolder({});
        }
    }
    ForgetCancelable();
    return result;
}

boost::shared_ptr<IAssetFolderMutable> FileTreeStoreBase::GetDefaultFolderMutable(int assetType,
                                                                                  bool create)
{
    if (assetType != kAssetTypeEmail) return {};
    return boost::dynamic_pointer_cast<IAssetFolderMutable>(GetRootFolderImpl());
}

}  // namespace KestrinMIMEEngineCommon
