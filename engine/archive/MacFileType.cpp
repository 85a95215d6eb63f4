#include "archive/MacFileType.h"

#ifdef __APPLE__
#include <sys/xattr.h>

#include <cstring>
#endif

namespace KestrinMIMEEngineCommon {

#ifdef __APPLE__

namespace {

constexpr const char kFinderInfoAttribute[] = "com.apple.FinderInfo";
constexpr size_t kFinderInfoSize = 32;

void PutBigEndian(uint8_t* at, uint32_t value)
{
    at[0] = static_cast<uint8_t>(value >> 24);
    at[1] = static_cast<uint8_t>(value >> 16);
    at[2] = static_cast<uint8_t>(value >> 8);
    at[3] = static_cast<uint8_t>(value);
}

}  // namespace

bool SetMacFileTypeAndCreator(const std::string& path, uint32_t type, uint32_t creator)
{
    uint8_t info[kFinderInfoSize];
    std::memset(info, 0, sizeof info);
    // Finder flags and the rest stay as they are; a file without the
    // attribute starts from zeros.
    const ssize_t got = getxattr(path.c_str(), kFinderInfoAttribute, info, sizeof info, 0, 0);
    if (got != static_cast<ssize_t>(sizeof info)) std::memset(info, 0, sizeof info);
    PutBigEndian(info, type);
    PutBigEndian(info + 4, creator);
    return setxattr(path.c_str(), kFinderInfoAttribute, info, sizeof info, 0, 0) == 0;
}

#else

bool SetMacFileTypeAndCreator(const std::string&, uint32_t, uint32_t) { return false; }

#endif

}  // namespace KestrinMIMEEngineCommon
