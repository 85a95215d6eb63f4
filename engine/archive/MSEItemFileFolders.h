// The package's "Contacts" and "Calendar" folders. Every item of an export is
// a message, so nothing is written to them; they are there because Outlook
// expects them, and they count the entries they find on disk.
#pragma once

#include "assets/AssetFolderBase.h"

namespace KestrinMIMEEngineCommon {

class MSEItemFileFolder : public AssetFolderBase {
public:
    MSEItemFileFolder(const std::string& path, const std::wstring& name,
                      const boost::shared_ptr<IAssetStore>& store,
                      const boost::shared_ptr<IAssetFolder>& parent, bool isDefaultFolder, int kind);

    // Counts the directory's entries whose names do not begin with "."
    // (any such entry is an item); answers succeeded. An unreadable directory
    // leaves the count as it was.
    Status RefreshAssetCount() override;
};

// "Contacts": a generic folder until a count finds entries, then a contacts
// folder.
class MSEVCFAssetFolder : public MSEItemFileFolder {
public:
    MSEVCFAssetFolder(const std::string& path, const std::wstring& name,
                      const boost::shared_ptr<IAssetStore>& store,
                      const boost::shared_ptr<IAssetFolder>& parent, bool isDefaultFolder);
    Status RefreshAssetCount() override;
};

// "Calendar": a calendar folder.
class MSEICSAssetFolder : public MSEItemFileFolder {
public:
    MSEICSAssetFolder(const std::string& path, const std::wstring& name,
                      const boost::shared_ptr<IAssetStore>& store,
                      const boost::shared_ptr<IAssetFolder>& parent, bool isDefaultFolder);
};

}  // namespace KestrinMIMEEngineCommon
