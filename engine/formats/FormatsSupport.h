// Small pieces the EML and mbox stores share: directory creation through the
// file-system facade and extension tests.
#pragma once

#include <string>

namespace KestrinMIMEEngineCommon {

// Both answer whether the directory exists afterwards.
bool CreateDirectoryTree(const std::string& path);
bool CreateSingleDirectory(const std::string& path);

// True when the path's last extension equals extension (".eml", ".mbox"),
// compared ASCII case-insensitively.
bool HasExtension(const std::string& path, const char* extension);

}  // namespace KestrinMIMEEngineCommon
