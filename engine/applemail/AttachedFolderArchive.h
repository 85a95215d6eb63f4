// Zipping a folder attachment that Apple Mail keeps unpacked.
#pragma once

#include <string>

#include <boost/filesystem/path.hpp>

namespace KestrinMIMEEngineCommon {

// Finder's folder settings (".DS_Store...") and the AppleDouble companions
// ("._" + name, a few KB of resource-fork data that copies to exFAT or
// network disks leave beside every file): never part of an attachment.
bool IsFinderMetadata(const std::string& name);

// Creates the zip archive zipPath holding every file below folder, named
// entryPrefix + "/" + its path relative to folder ("Photos/a.jpg",
// "Photos/Trip/b.jpg"). Finder metadata is left out. Answers false, leaving
// no archive behind and saying why, when anything fails.
bool ZipAttachedFolder(const boost::filesystem::path& folder,
                       const boost::filesystem::path& zipPath, const std::string& entryPrefix,
                       std::string& why);

}  // namespace KestrinMIMEEngineCommon
