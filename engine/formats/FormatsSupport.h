// Small pieces the EML and mbox stores share: directory creation through the
// file-system facade and extension tests.
#pragma once

#include <string>

namespace KestrinMIMEEngineCommon {

// Both answer whether the directory exists afterwards.
bool CreateDirectoryTree(const std::string& path);
bool CreateSingleDirectory(const std::string& path);
// A new directory below parent named name + suffix, or name + " (n)" +
// suffix for the first n free (see KSFileSystem::CreateUniqueFolder); empty
// when none could be made.
std::string CreateUniqueDirectory(const std::string& parent, const std::string& name,
                                  const std::string& suffix = std::string());

// True when the path's last extension equals extension (".eml", ".mbox"),
// compared ASCII case-insensitively.
bool HasExtension(const std::string& path, const char* extension);

}  // namespace KestrinMIMEEngineCommon
