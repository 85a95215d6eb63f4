// Turns a subject or folder name into a short ASCII name every file system
// accepts.
#pragma once

#include <string>

namespace KestrinMIMEEngineCommon {

// The argument is consumed; its storage becomes the result.
std::wstring MakeSafeName(std::wstring name);

}  // namespace KestrinMIMEEngineCommon
