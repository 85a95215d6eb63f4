// The descriptor files of an archive package: "Archive.xml" in the package,
// "Info.plist" and "PkgInfo" in its "Contents" folder, all taken from the
// embedded template.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/ArchiveTemplate.h"

namespace KestrinMIMEEngineCommon {

// Expands a template frame (the embedded one unless told otherwise) through
// the decompression filter. Answers the expanded bytes, or nothing when the
// frame does not expand far enough to hold all three files: a damaged
// template must not leave half-written descriptors in a package.
std::vector<uint8_t> ExpandArchiveTemplate(
    const std::array<uint8_t, kArchiveTemplateFrameSize>& frame = kArchiveTemplateFrame);

// Writes whichever descriptor files the package lacks, creating "Contents"
// when needed, and marks "Archive.xml" as Outlook's text file. Files that are
// already there are kept as they are: the package may be the user's.
// Answers false when a descriptor could not be written whole (full disk, the
// package gone); the cut file is removed, so the next call tries again.
bool WriteArchiveDescriptors(const std::string& packagePath);

}  // namespace KestrinMIMEEngineCommon
