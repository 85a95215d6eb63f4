#include "streams/FileDescriptor.h"

#include <unistd.h>

namespace KestrinMIMEEngineCommon {

void FileDescriptor::Reset(int fd) noexcept
{
    // A close that fails still frees the number: closing it again could
    // close a file another thread has opened since.
    if (m_fd >= 0) ::close(m_fd);
    m_fd = fd < 0 ? -1 : fd;
}

bool FileDescriptor::Close() noexcept
{
    if (m_fd < 0) return false;
    return ::close(Release()) == 0;
}

}  // namespace KestrinMIMEEngineCommon
