// Small pieces the EML and mbox stores share: directory creation through the
// file-system facade, extension tests, and the naming of sub-folders whose
// wished name leaves nothing a file system can take.
#pragma once

#include <map>
#include <string>

#include <boost/shared_ptr.hpp>
#include <boost/weak_ptr.hpp>

#include "assets/IAssetFolder.h"

namespace KestrinMIMEEngineCommon {

// Both answer whether the directory exists afterwards.
bool CreateDirectoryTree(const std::string& path);
bool CreateSingleDirectory(const std::string& path);

// True when the path's last extension equals extension (".eml", ".mbox"),
// compared ASCII case-insensitively.
bool HasExtension(const std::string& path, const char* extension);

// The name of a sub-folder whose wished name sanitises to nothing (a name of
// emoji only, for example): without it the folder's messages would land in
// its parent's directory or in a hidden ".mbox" file.
extern const wchar_t kUntitledFolderName[];

// Remembers which wished name got a folder under another name (an untitled
// one, or a numbered one), so that asking again for the same wished name
// (every item of that source folder does) finds the same folder instead of
// making "Untitled Folder (1)", (2), ...
// Used under the owning folder's mutex.
class UntitledSubFolders {
public:
    struct Resolution {
        // The sub-folder to answer as it is, when there is one already.
        boost::shared_ptr<IAssetFolderMutable> existing;
        // Otherwise the name to create it under.
        std::wstring name;
        // Remember the new folder under the wished name once it exists.
        bool untitled = false;
    };

    // The sanitised wished name, or a fresh "Untitled Folder" name of the
    // parent; an existing sub-folder of that name (or the untitled folder
    // made earlier for the same wished name) comes back as existing.
    Resolution Resolve(IAssetFolderMutable& parent, const std::wstring& wishedName,
                       unsigned kind) const;
    void Remember(const std::wstring& wishedName,
                  const boost::shared_ptr<IAssetFolderMutable>& folder);

private:
    std::map<std::wstring, boost::weak_ptr<IAssetFolderMutable>> m_folders;
};

}  // namespace KestrinMIMEEngineCommon
