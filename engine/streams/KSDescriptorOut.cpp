#include "streams/KSDescriptorOut.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "streams/KSDiagnostics.h"

namespace KestrinMIMEEngineCommon {

KSDescriptorOut::KSDescriptorOut(int fd, std::string path) : m_fd(fd), m_path(std::move(path)) {}

KSDescriptorOut::~KSDescriptorOut()
{
    if (m_fd >= 0) ::close(m_fd);
}

size_t KSDescriptorOut::Write(const void* buffer, size_t n)
{
    if (m_fd < 0) return 0;
    const char* bytes = static_cast<const char*>(buffer);
    size_t done = 0;
    while (done < n) {
        const ssize_t wrote = ::write(m_fd, bytes + done, n - done);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) {
            KSDiagnostic("%s ERROR: Cannot write file %s - %s\n", m_path.c_str(),
                         wrote < 0 ? std::strerror(errno) : "nothing was written");
            m_failed = true;
            break;
        }
        done += static_cast<size_t>(wrote);
    }
    return done;
}

bool KSDescriptorOut::Close()
{
    if (m_fd < 0) return false;
    const int result = ::close(m_fd);
    m_fd = -1;
    if (result != 0) {
        KSDiagnostic("%s ERROR: Cannot close file %s - %s\n", m_path.c_str(), std::strerror(errno));
        return false;
    }
    return !m_failed;
}

}  // namespace KestrinMIMEEngineCommon
