#include "streams/KSDescriptorOut.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "streams/KSDiagnostics.h"

namespace KestrinMIMEEngineCommon {

KSDescriptorOut::KSDescriptorOut(FileDescriptor fd, std::string path)
    : m_fd(std::move(fd)), m_path(std::move(path))
{
}

size_t KSDescriptorOut::Write(const void* buffer, size_t n)
{
    if (!m_fd) return 0;
    const char* bytes = static_cast<const char*>(buffer);
    size_t done = 0;
    while (done < n) {
        const ssize_t wrote = ::write(m_fd.Get(), bytes + done, n - done);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) {
            if (wrote < 0 && m_error == 0) m_error = errno;
            KSDiagnostic("ERROR: Cannot write file %s - %s\n", m_path.c_str(),
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
    if (!m_fd) return false;
    if (!m_fd.Close()) {
        if (m_error == 0) m_error = errno;
        KSDiagnostic("ERROR: Cannot close file %s - %s\n", m_path.c_str(), std::strerror(errno));
        return false;
    }
    return !m_failed;
}

KSDescriptorStreamBuf::KSDescriptorStreamBuf(FileDescriptor fd, std::string path, int64_t position)
    : m_out(std::move(fd), std::move(path)), m_position(position)
{
}

std::streamsize KSDescriptorStreamBuf::xsputn(const char* bytes, std::streamsize count)
{
    if (count <= 0) return 0;
    const size_t wrote = m_out.Write(bytes, static_cast<size_t>(count));
    m_position += static_cast<int64_t>(wrote);
    return static_cast<std::streamsize>(wrote);
}

KSDescriptorStreamBuf::int_type KSDescriptorStreamBuf::overflow(int_type byte)
{
    if (traits_type::eq_int_type(byte, traits_type::eof())) return traits_type::not_eof(byte);
    const char one = traits_type::to_char_type(byte);
    return xsputn(&one, 1) == 1 ? byte : traits_type::eof();
}

KSDescriptorStreamBuf::pos_type KSDescriptorStreamBuf::seekoff(off_type offset,
                                                               std::ios_base::seekdir direction,
                                                               std::ios_base::openmode which)
{
    if (offset != 0 || direction != std::ios_base::cur || !(which & std::ios_base::out))
        return pos_type(off_type(-1));
    return pos_type(static_cast<off_type>(m_position));
}

}  // namespace KestrinMIMEEngineCommon
