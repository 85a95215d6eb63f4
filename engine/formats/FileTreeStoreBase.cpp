#include "formats/FileTreeStoreBase.h"


#include "formats/FormatsSupport.h"

namespace KestrinMIMEEngineCommon {

Status FileTreeStoreBase::Open(const boost::shared_ptr<IProgressPresenter>& presenter,
                            const boost::shared_ptr<ICancelable>& cancelable,
                            const boost::shared_ptr<ILogger>& logger, bool createLocation)
{
    return OpenAndLoadTree(presenter, cancelable, logger, createLocation, [&] {
        // A location that cannot be made is a store that cannot take items.
        return createLocation && !CreateDirectoryTree(GetLocation()) ? Status::Failed : Status::Succeeded;
    });
}

}  // namespace KestrinMIMEEngineCommon
