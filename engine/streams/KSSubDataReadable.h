// A read-only window [start, start + length) of another readable stream.
// It has no cursor and no lock of its own: it moves and locks its source,
// so a window and its source must not be locked together on one thread.
#pragma once

#include <boost/shared_ptr.hpp>

#include "streams/KSData.h"

namespace KestrinMIMEEngineCommon {

class KSSubDataReadable : public KSDataReadable {
public:
    // length -1 reaches to the end of the source. A window on a window is
    // rebased onto the inner window's source and never reaches past the
    // inner window's end.
    KSSubDataReadable(boost::shared_ptr<KSDataReadable> source, int64_t start, int64_t length);

    void Lock() override { m_source->Lock(); }
    void Unlock() override { m_source->Unlock(); }
    int64_t GetSize() override { return m_length; }
    size_t Read(void* buffer, size_t n) override;
    int64_t Seek(int64_t offset, int whence) override;

    const boost::shared_ptr<KSDataReadable>& GetSource() const { return m_source; }

private:
    boost::shared_ptr<KSDataReadable> m_source;
    int64_t m_start;
    int64_t m_length;
};

}  // namespace KestrinMIMEEngineCommon
