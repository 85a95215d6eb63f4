// An output stream over a file descriptor the caller has just opened (for
// instance by creating the file exclusively): the bytes go out through that
// very descriptor, with no second open of the path and no buffer in between.
#pragma once

#include <cstdint>
#include <mutex>
#include <streambuf>
#include <string>

#include "streams/FileDescriptor.h"
#include "streams/KSData.h"

namespace KestrinMIMEEngineCommon {

class KSDescriptorOut : public KSDataStreamOut {
public:
    // path only names the file in diagnostics.
    KSDescriptorOut(FileDescriptor fd, std::string path);

    void Lock() override { m_mutex.lock(); }
    void Unlock() override { m_mutex.unlock(); }
    size_t Write(const void* buffer, size_t n) override;
    // Nothing is held back, so there is nothing to flush.
    bool Flush() override { return m_fd.IsOpen(); }
    // Closes the descriptor, answering whether every write and the close
    // worked: some file systems report a failed write only at the close.
    bool Close();
    // The system's error number of the first write or close that failed; 0
    // while none did. A full disk and a removed folder end the whole export,
    // not only this file, so the writer's caller must learn which it was.
    int Error() const { return m_error; }

private:
    FileDescriptor m_fd;
    std::string m_path;
    bool m_failed = false;
    int m_error = 0;
    std::recursive_mutex m_mutex;
};

// The same descriptor under a std::ostream, for writers that take one (the
// mbox entries): every write goes straight to the descriptor, and the
// position is counted rather than asked of the system after every entry.
class KSDescriptorStreamBuf : public std::streambuf {
public:
    // fd's end lies at position.
    KSDescriptorStreamBuf(FileDescriptor fd, std::string path, int64_t position);
    // Where the next byte goes.
    int64_t Position() const { return m_position; }
    // As KSDescriptorOut::Close.
    bool Close() { return m_out.Close(); }
    int Error() const { return m_out.Error(); }

protected:
    std::streamsize xsputn(const char* bytes, std::streamsize count) override;
    int_type overflow(int_type byte) override;
    // Only the position can be asked for (tellp); nothing can be sought.
    pos_type seekoff(off_type offset, std::ios_base::seekdir direction,
                     std::ios_base::openmode which) override;

private:
    KSDescriptorOut m_out;
    int64_t m_position;
};

}  // namespace KestrinMIMEEngineCommon
