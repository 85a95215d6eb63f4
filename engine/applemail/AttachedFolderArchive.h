// Zipping a folder attachment that Apple Mail keeps unpacked.
#pragma once

#include <string>

#include <boost/filesystem/path.hpp>

namespace KestrinMIMEEngineCommon {

// Creates the zip archive zipPath holding every file below folder, named
// entryPrefix + "/" + its path relative to folder ("Photos/a.jpg",
// "Photos/Trip/b.jpg"). Finder litter (".DS_Store...") is left out. Answers
// false, leaving no archive behind, when anything fails.
bool ZipAttachedFolder(const boost::filesystem::path& folder,
                       const boost::filesystem::path& zipPath, const std::string& entryPrefix);

}  // namespace KestrinMIMEEngineCommon
