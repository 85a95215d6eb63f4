#include "formats/FileTreeStoreBase.h"


#include "formats/FormatsSupport.h"

namespace KestrinMIMEEngineCommon {

int FileTreeStoreBase::Open(const boost::shared_ptr<IProgressPresenter>& presenter,
                            const boost::shared_ptr<ICancelable>& cancelable,
                            const boost::shared_ptr<ILogger>& logger, bool createLocation,
                            const boost::shared_ptr<void>& extra1,
                            const boost::shared_ptr<void>& extra2)
{
    return OpenAndLoadTree(presenter, cancelable, logger, createLocation, extra1, extra2, [&] {
        // A location that cannot be made is a store that cannot take items.
        return createLocation && !CreateDirectoryTree(GetLocation()) ? kStatusFailed : kStatusOK;
    });
}

boost::shared_ptr<IAssetFolderMutable> FileTreeStoreBase::GetDefaultFolderMutable(int assetType,
                                                                                  bool create)
{
    if (assetType != kAssetTypeEmail) return {};
    return boost::dynamic_pointer_cast<IAssetFolderMutable>(GetRootFolderImpl());
}

}  // namespace KestrinMIMEEngineCommon
