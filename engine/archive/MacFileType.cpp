#include "archive/MacFileType.h"

#include "streams/Platform.h"

namespace KestrinMIMEEngineCommon {

namespace {

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
    // Finder flags and the rest stay as they are; a file without the
    // attribute starts from zeros.
    Platform::FinderInfo info{};
    if (!Platform::GetFinderInfo(path, info))
        info.fill(0);
    PutBigEndian(info.data(), type);
    PutBigEndian(info.data() + 4, creator);
    return Platform::SetFinderInfo(path, info);
}

}  // namespace KestrinMIMEEngineCommon
