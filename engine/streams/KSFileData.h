// A file on disk as a read-write stream. The file is opened on the first
// Read or Write and stays open until the object goes away; the size is taken
// from the disk once and afterwards follows this object's own writes.
#pragma once

#include <cstdio>
#include <string>

#include <boost/thread/mutex.hpp>

#include "streams/FileDescriptor.h"
#include "streams/KSData.h"

namespace KestrinMIMEEngineCommon {

class KSFileData : public KSDataReadWrite {
public:
    explicit KSFileData(const std::string& path);
    KSFileData(const KSFileData&) = delete;
    KSFileData& operator=(const KSFileData&) = delete;

    void Lock() override;
    void Unlock() override;
    int64_t GetSize() override;
    size_t Read(void* buffer, size_t n) override;
    int64_t Seek(int64_t offset, int whence) override;
    size_t Write(const void* buffer, size_t n) override;
    bool Flush() override;
    // Flushes and closes the file, answering whether both worked: some file
    // systems report a failed write only when the file is closed. A later
    // Read or Write opens it again.
    bool Close();

    const std::string& GetPath() const { return m_path; }

private:
    enum class LastOp { None, Read, Write };

    bool OpenForRead();
    bool OpenForWrite();
    bool Adopt(UniqueFile handle, bool writable);
    void PrepareFor(LastOp next);

    std::string m_path;
    int64_t m_position = 0;
    int64_t m_size = 0;
    UniqueFile m_file;
    boost::mutex m_mutex;
    bool m_writable = false;
    LastOp m_lastOp = LastOp::None;
};

}  // namespace KestrinMIMEEngineCommon
