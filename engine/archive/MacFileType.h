// Classic Mac type and creator codes, which Outlook looks at when it imports
// an archive package. macOS keeps them in the first eight bytes of a file's
// "com.apple.FinderInfo" extended attribute; other systems have no such
// attribute and the codes are left out there.
#pragma once

#include <cstdint>
#include <string>

namespace KestrinMIMEEngineCommon {

// Four-character codes, most significant byte first: 'TEXT' is 0x54455854.
constexpr uint32_t kMacTypeText = 0x54455854;     // "TEXT"
constexpr uint32_t kMacTypeMailbox = 0x4D424F58;  // "MBOX"
constexpr uint32_t kMacCreatorOutlook = 0x4F50494D;  // "OPIM"

// Sets the codes, keeping the rest of the Finder information. Answers true
// when they were set; false on failure and on systems without Finder
// information (the archive is still importable without them).
bool SetMacFileTypeAndCreator(const std::string& path, uint32_t type, uint32_t creator);

}  // namespace KestrinMIMEEngineCommon
