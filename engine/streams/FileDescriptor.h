// The one owner of an open file descriptor, and of a C stdio stream: each
// is closed exactly once, by whoever holds it last, on every path out
// (errors and exceptions included).
#pragma once

#include <cstdio>
#include <memory>

namespace KestrinMIMEEngineCommon {

class FileDescriptor {
public:
    FileDescriptor() noexcept = default;
    // Takes ownership of fd; a negative fd means none.
    explicit FileDescriptor(int fd) noexcept : m_fd(fd < 0 ? -1 : fd) {}
    ~FileDescriptor() { Reset(); }

    FileDescriptor(FileDescriptor&& other) noexcept : m_fd(other.Release()) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept
    {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int Get() const noexcept { return m_fd; }
    bool IsOpen() const noexcept { return m_fd >= 0; }
    explicit operator bool() const noexcept { return IsOpen(); }

    // Gives up ownership: the caller closes the answer.
    int Release() noexcept
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    // Closes the descriptor held, if any, and takes fd instead.
    void Reset(int fd = -1) noexcept;
    // Closes now, answering whether the close worked (errno tells why not):
    // some file systems report a failed write only at the close. The
    // descriptor is given up either way; false when none was held.
    bool Close() noexcept;

private:
    int m_fd = -1;
};

struct FileCloser {
    void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};
// To see whether the close worked, std::fclose(file.release()).
using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace KestrinMIMEEngineCommon
