// Where output stores may write, in one place. Every path a writer creates is
// its store's output root joined with names that passed MakeSafeName, and a
// last check before anything is created refuses a path that would not lie
// inside that root. Sibling folders get names that stay distinct on file
// systems that ignore case and Unicode normalisation.
#pragma once

#include "streams/Platform.h"

#include <functional>
#include <map>
#include <string>
#include <unordered_map>

#include <boost/shared_ptr.hpp>
#include <boost/weak_ptr.hpp>

#include "assets/AssetFolderBase.h"
#include "assets/IAssetFolder.h"
#include "assets/IAssetStore.h"
#include "assets/ILogger.h"

namespace KestrinMIMEEngineCommon {

// The folder a file-based output store writes into: its location, or, for a
// store opened on one mailbox (a file or a ".mbox" bundle), the folder that
// holds it.
std::string OutputRootOf(const boost::shared_ptr<IAssetStore>& store);

// Judged on the text alone: path is root + "/" + one or more names, none of
// them "", "." or "..", none holding a control character.
bool LiesInside(const std::string& root, const std::string& path);

// The last check before a writer creates a file or folder at path. A path
// outside the store's output root is refused: false, an ERROR diagnostic
// line and, when a logger is given, an ERROR line in the report.
bool ConfirmOutputPath(const boost::shared_ptr<IAssetStore>& store, const std::string& path,
                       const boost::shared_ptr<ILogger>& logger = {});
// The same against a root the caller took from OutputRootOf once: finding
// the root asks the file system, which every message paid for.
bool ConfirmOutputPath(const std::string& root, const std::string& path,
                       const boost::shared_ptr<ILogger>& logger = {});

using Platform::CreateOutcome;

// Creates an empty file that did not exist (O_EXCL: taking the name and
// creating the file are one step). Taken when anything is already there,
// a dangling link included.
CreateOutcome CreateNewFile(const std::string& path);
// The same, keeping the new file open for writing in fd.
CreateOutcome CreateNewFile(const std::string& path, FileDescriptor& fd);
// Creates one directory below an existing parent; Taken when anything is
// already at the path.
CreateOutcome CreateNewDirectory(const std::string& path);

// The name of a sub-folder whose wished name sanitises to nothing (a name of
// emoji only, for example): without it the folder's messages would land in
// its parent's directory or in a hidden ".mbox" file.
extern const wchar_t kUntitledFolderName[];

// The sub-folders an output folder made, by the name they were wished for
// (the source folder's name). Different wished names never share a
// sub-folder: when the sanitised name is taken by another sub-folder, as
// case- and normalisation-insensitive file systems compare, the next of
// "Name (1)", "Name (2)", ... is used. Asking again for the same wished name
// (every item of a source folder does) finds the same sub-folder. Names are
// looked up in the parent's children index, so a folder of thousands of
// siblings costs no more to make than the first.
// Used under the owning folder's mutex.
class SubFolderNames {
public:
    // Makes the folder named name, or answers Taken when something on disk
    // already holds that name.
    using MakeFolder = std::function<CreateOutcome(
        const std::wstring& name, boost::shared_ptr<IAssetFolderMutable>& made)>;

    // The sub-folder made for wishedName, or one found on disk under exactly
    // its sanitised name that no other wished name has claimed.
    boost::shared_ptr<IAssetFolderMutable> Find(AssetFolderBase& parent,
                                                const std::wstring& wishedName);
    // Find, or make the sub-folder under the first free name. Empty when
    // make fails.
    boost::shared_ptr<IAssetFolderMutable> FindOrMake(AssetFolderBase& parent,
                                                      const std::wstring& wishedName,
                                                      const MakeFolder& make);

private:
    bool Claimed(const IAssetFolder* folder) const;
    void Claim(const std::wstring& wishedName, const boost::shared_ptr<IAssetFolderMutable>& folder);

    std::map<std::wstring, boost::weak_ptr<IAssetFolderMutable>> m_folders;
    // The same folders by identity, for telling a claimed one at once.
    std::unordered_map<const IAssetFolder*, boost::weak_ptr<IAssetFolderMutable>> m_claimed;
};

}  // namespace KestrinMIMEEngineCommon
