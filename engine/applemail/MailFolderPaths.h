// File-system helpers for reading a mail folder copied from a Mac: existence
// probes that never throw, UUID-named entries, names that differ only in
// their Unicode normalization, and mailbox URL components that must never
// lead out of the mail folder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace KestrinMIMEEngineCommon {

// Anything but "not found" or a status error counts as existing.
bool PathExists(const std::string& path);
bool IsDirectoryPath(const std::string& path);
std::string JoinPath(const std::string& base, const std::string& name);
// The absolute form of a folder path without ".", ".." or trailing
// separators, so that ".", "Mail/." and "/Users/x/Library/Mail" name the
// same folder in the same words (symbolic links are left as they are).
std::string NormaliseRootPath(const std::string& path);
// The last component, ignoring trailing separators.
std::string LastPathComponent(const std::string& path);

// 36 characters with '-' at positions 8 and 13; the rest is not looked at.
bool HasUUIDShape(const std::string& name);
// The canonical text form: 8-4-4-4-12 hexadecimal digits.
bool IsUUIDText(const std::string& name);

// The first sub-folder of dir (in byte order of the names, so the answer
// does not depend on the listing order) whose name is a UUID; empty when none.
std::string FindUUIDFolderName(const std::string& dir);

// True when both names are the same after Unicode normalization (NFC); Mac
// file systems store names decomposed while URLs may carry them composed.
bool SameNormalizedName(const std::string& a, const std::string& b);

// dir / name when it exists; otherwise the sibling whose name equals name
// after normalization; empty when neither exists.
std::string ResolveChildPath(const std::string& dir, const std::string& name);
// The same once dir/name is known to be missing: only another normalization
// of name is looked for.
std::string FindNormalizedChild(const std::string& dir, const std::string& name);

// Replaces every "%" followed by two hexadecimal digits by that byte.
std::string PercentDecode(const std::string& text);

// A component that may be joined below a folder: not empty, not "." or
// "..", and without '/' or NUL.
bool IsSafePathComponent(const std::string& component);

// Splits at '/', dropping "." components and one trailing separator. False
// (with nothing to rely on in out) when a component is unsafe: empty (an
// absolute path or "//"), "..", or holding a NUL byte.
bool SplitMailboxPath(const std::string& path, std::vector<std::string>& out);

// The CRC-32 of the bytes (reflected 0x04C11DB7, initial value and final
// XOR 0xFFFFFFFF).
uint32_t Crc32(const void* bytes, size_t length);

}  // namespace KestrinMIMEEngineCommon
