#include "streams/KSSubDataReadable.h"

#include <algorithm>

namespace KestrinMIMEEngineCommon {

KSSubDataReadable::KSSubDataReadable(boost::shared_ptr<KSDataReadable> source, int64_t start,
                                     int64_t length)
    : m_source(std::move(source)), m_start(std::max<int64_t>(start, 0)), m_length(length)
{
    if (auto inner = boost::dynamic_pointer_cast<KSSubDataReadable>(m_source)) {
        int64_t room = std::max<int64_t>(inner->m_length - m_start, 0);
        m_length = m_length < 0 ? room : std::min(m_length, room);
        m_start += inner->m_start;
        m_source = inner->m_source;
    } else if (m_length < 0) {
        m_length = std::max<int64_t>(m_source->GetSize() - m_start, 0);
    }
}

int64_t KSSubDataReadable::Seek(int64_t offset, int whence)
{
    int64_t target = 0;
    switch (whence) {
    case 0: target = m_start + offset; break;
    case 1: target = m_source->Seek(0, 1) + offset; break;
    case 2: target = m_start + m_length + offset; break;
    default: target = 0; break;
    }
    target = std::min(std::max(target, m_start), m_start + m_length);
    return m_source->Seek(target, 0) - m_start;
}

size_t KSSubDataReadable::Read(void* buffer, size_t n)
{
    int64_t position = Seek(0, 1);
    int64_t left = m_length - position;
    if (left <= 0) return 0;
    if (static_cast<uint64_t>(n) > static_cast<uint64_t>(left)) n = static_cast<size_t>(left);
    return m_source->Read(buffer, n);
}

}  // namespace KestrinMIMEEngineCommon
