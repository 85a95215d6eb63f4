// Turns a subject or folder name into a short ASCII name every file system
// accepts.
#pragma once

#include <string>

namespace KestrinMIMEEngineCommon {

// The argument is consumed; its storage becomes the result. The result is
// never "", "." or "..", holds no control character (below 0x20, or 0x7F)
// and begins with neither a blank nor a dot, so joined to a folder it names
// something inside that folder. When nothing of the text survives (an
// empty subject, emoji only) the result is whenNothingLeft; a caller that
// uses the name only as a prefix may pass "".
std::wstring MakeSafeName(std::wstring name, const std::wstring& whenNothingLeft);
std::wstring MakeSafeName(std::wstring name);

// What MakeSafeName answers for a name with nothing usable in it.
extern const wchar_t kNamelessSafeName[];

// The form under which file systems that ignore case and Unicode
// normalisation (macOS, Windows) compare names: NFC, then case-folded.
// Two names with equal keys are one entry on such a disk.
std::wstring FileSystemNameKey(const std::wstring& name);

}  // namespace KestrinMIMEEngineCommon
