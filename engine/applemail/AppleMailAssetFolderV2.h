// A mailbox bundle of the newer layout: <bundle>/<store UUID>/ holds the
// message folders, e.g. Data/Messages, Data/1/Messages, Data/3/2/1/Messages,
// each with an "Attachments" folder beside it.
#pragma once

#include "applemail/AppleMailAssetFolderV1.h"

namespace KestrinMIMEEngineCommon {

class AppleMailAssetFolderV2 : public AppleMailAssetFolderV1 {
public:
    using AppleMailAssetFolderV1::AppleMailAssetFolderV1;

    // Finds the store-UUID folders, collects every "Messages" folder below them
    // (never looking into "Attachments") and the bundle's own "Messages"
    // folder, then counts as the older layout.
    Status RefreshAssetCount() override;

    // A name of 36 characters with '-' at positions 8 and 13.
    static bool IsStoreUUIDName(const std::string& name);

private:
    void CollectMessageFolders(const boost::filesystem::path& path);
};

}  // namespace KestrinMIMEEngineCommon
