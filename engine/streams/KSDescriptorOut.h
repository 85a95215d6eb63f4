// An output stream over a file descriptor the caller has just opened (for
// instance by creating the file exclusively): the bytes go out through that
// very descriptor, with no second open of the path and no buffer in between.
#pragma once

#include <mutex>
#include <string>

#include "streams/KSData.h"

namespace KestrinMIMEEngineCommon {

class KSDescriptorOut : public KSDataStreamOut {
public:
    // Takes ownership of fd; path only names the file in diagnostics.
    KSDescriptorOut(int fd, std::string path);
    ~KSDescriptorOut() override;
    KSDescriptorOut(const KSDescriptorOut&) = delete;
    KSDescriptorOut& operator=(const KSDescriptorOut&) = delete;

    void Lock() override { m_mutex.lock(); }
    void Unlock() override { m_mutex.unlock(); }
    size_t Write(const void* buffer, size_t n) override;
    // Nothing is held back, so there is nothing to flush.
    bool Flush() override { return m_fd >= 0; }
    // Closes the descriptor, answering whether every write and the close
    // worked: some file systems report a failed write only at the close.
    bool Close();

private:
    int m_fd;
    std::string m_path;
    bool m_failed = false;
    std::recursive_mutex m_mutex;
};

}  // namespace KestrinMIMEEngineCommon
