// Folders of the mailbox-directory stores. AppleAssetFolder is a grouping
// folder (a plain directory holding mailboxes) and the root; the mailbox
// folders derive from it.
#pragma once

#include <string>

#include "assets/AssetFolderBase.h"

namespace KestrinMIMEEngineCommon {

class AppleAssetFolder : public AssetFolderBase {
public:
    // An empty name is taken from the location's last component.
    AppleAssetFolder(const std::wstring& name, const std::string& location,
                     const boost::shared_ptr<IAssetStore>& store,
                     const boost::shared_ptr<IAssetFolder>& parent);

    // True for a message file: the extension ".emlx" in any case. Hidden
    // files, among them the AppleDouble companions ("._" + name) that copies
    // to non-Mac disks leave beside every file, are no messages.
    virtual bool IsAssetFile(const std::string& path);
};

// The heading of that block.
extern const wchar_t* const kNotDownloadedWarning;

// The WARNING block every Apple Mail folder writes to the conversion log for a
// message whose content (or some attachment) is not on disk: the heading, the
// message file's path and the message's description.
void LogIncompleteMessage(const boost::shared_ptr<ILogger>& logger, const std::string& path,
                          const boost::shared_ptr<IAsset>& asset);

// The log line of a message file that is there but cannot be read:
// "ERROR : Cannot read message file PATH - REASON".
std::wstring MessageFileError(const std::string& path, const std::string& reason);

}  // namespace KestrinMIMEEngineCommon
