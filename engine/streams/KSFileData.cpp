#include "streams/KSFileData.h"

#include <sys/types.h>
#include <unistd.h>

#include <cerrno>

#include <boost/filesystem.hpp>

#include "streams/KSDiagnostics.h"
#include "streams/Platform.h"

namespace fs = boost::filesystem;

namespace KestrinMIMEEngineCommon {

KSFileData::KSFileData(const std::string& path) : m_path(path)
{
    boost::system::error_code ec;
    fs::file_status status = fs::status(m_path, ec);
    if (ec && ec != boost::system::errc::no_such_file_or_directory &&
        ec != boost::system::errc::not_a_directory) {
        throw fs::filesystem_error("KSFileData", m_path, ec);
    }
    if (fs::is_regular_file(status)) m_size = static_cast<int64_t>(fs::file_size(m_path));
}

void KSFileData::Lock() { m_mutex.lock(); }
void KSFileData::Unlock() { m_mutex.unlock(); }

int64_t KSFileData::GetSize() { return m_size; }

bool KSFileData::Adopt(UniqueFile handle, bool writable)
{
    m_file = std::move(handle);
    m_writable = writable;
    m_lastOp = LastOp::None;
    return fseeko(m_file.get(), static_cast<off_t>(m_position), SEEK_SET) == 0;
}

bool KSFileData::OpenForRead()
{
    if (m_file) return true;
    // Reading never asks for write access (a source is never opened for
    // writing; a later Write reopens in update mode), and reads only a
    // regular file: a FIFO would block and a device never end.
    int error = 0;
    FileDescriptor fd = Platform::OpenRegularFileForReading(m_path, error);
    if (fd) {
        if (UniqueFile handle{fdopen(fd.Get(), "rb")}) {
            fd.Release();
            return Adopt(std::move(handle), false);
        }
        error = errno;
    }
    // The reason goes on a line of its own: the first line's wording is one
    // that log readers already look for.
    KSDiagnostic("ERROR: KSFileData - fopen failed to open file - %s\n", m_path.c_str());
    if (error == Platform::kErrorNotRegularFile)
        KSDiagnostic("ERROR: KSFileData - not a regular file, not read - %s\n", m_path.c_str());
    return false;
}

bool KSFileData::OpenForWrite()
{
    if (m_file && m_writable) return true;
    UniqueFile handle{std::fopen(m_path.c_str(), "rb+")};
    // Only a file that was never opened may be created; an open read-only
    // handle means the file exists and must not be truncated.
    if (!handle && !m_file) handle.reset(std::fopen(m_path.c_str(), "wb+"));
    if (!handle) {
        KSDiagnostic("ERROR: KSFileData - fopen failed to open file - %s\n", m_path.c_str());
        return false;
    }
    return Adopt(std::move(handle), true);
}

// C stdio requires a positioning call between reading and writing on an
// update stream.
void KSFileData::PrepareFor(LastOp next)
{
    if (m_lastOp != LastOp::None && m_lastOp != next)
        fseeko(m_file.get(), static_cast<off_t>(m_position), SEEK_SET);
    m_lastOp = next;
}

size_t KSFileData::Read(void* buffer, size_t n)
{
    if (!OpenForRead()) return 0;
    if (n == 0) return 0;
    PrepareFor(LastOp::Read);
    size_t got = std::fread(buffer, 1, n, m_file.get());
    m_position += static_cast<int64_t>(got);
    return got;
}

size_t KSFileData::Write(const void* buffer, size_t n)
{
    if (!OpenForWrite()) return 0;
    if (n == 0) return 0;
    PrepareFor(LastOp::Write);
    size_t put = std::fwrite(buffer, 1, n, m_file.get());
    if (put < n)
        KSDiagnostic("ERROR: KSFileData - fwrite wrote incomplete data to file - %s\n", m_path.c_str());
    m_position += static_cast<int64_t>(put);
    if (m_position > m_size) m_size = m_position;
    return put;
}

int64_t KSFileData::Seek(int64_t offset, int whence)
{
    int64_t target = 0;
    switch (whence) {
    case 0: target = offset; break;
    case 1: target = m_position + offset; break;
    case 2: target = m_size + offset; break;
    default: target = 0; break;
    }
    if (target < 0) target = 0;
    if (m_file) {
        fseeko(m_file.get(), static_cast<off_t>(target), SEEK_SET);
        m_lastOp = LastOp::None;
    }
    m_position = target;
    return target;
}

bool KSFileData::Flush()
{
    if (!m_file) return true;
    return std::fflush(m_file.get()) == 0;
}

bool KSFileData::Close()
{
    if (!m_file) return true;
    const bool flushed = std::fflush(m_file.get()) == 0;
    const bool closed = std::fclose(m_file.release()) == 0;
    m_lastOp = LastOp::None;
    return flushed && closed;
}

}  // namespace KestrinMIMEEngineCommon
