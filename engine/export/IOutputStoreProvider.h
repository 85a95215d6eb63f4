// Decides, for one export, which output folder receives each item.
#pragma once

#include <boost/shared_ptr.hpp>

#include "assets/IAssetFolder.h"

namespace KestrinMIMEEngineCommon {

class IOutputStoreProvider {
public:
    virtual ~IOutputStoreProvider() = default;
    // The folder that mirrors the source folder below the output store; empty
    // when there is none.
    virtual boost::shared_ptr<IAssetFolderMutable> GetOutputFolder(
        const boost::shared_ptr<IAssetFolder>& source, const boost::shared_ptr<IAsset>& asset,
        bool useDefaultFolder) = 0;
    virtual Status CloseStores() = 0;
    // Write each message exactly as the source stored it, leaving out the
    // read/answered/flagged headers mailbox targets add. Before the first
    // item; targets that never add anything ignore it.
    virtual void KeepStoredBytes(bool keep) {}
};

}  // namespace KestrinMIMEEngineCommon
