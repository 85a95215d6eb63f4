// A memory buffer as a read-write stream. The creator keeps its own shared
// pointer to the container and reads the result from it after writing.
// A growable vector grows on writes and on seeks beyond its end; a fixed
// array keeps its size and clamps reads, writes and seeks to it.
#pragma once

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include <boost/shared_ptr.hpp>
#include <boost/thread/mutex.hpp>

#include "streams/KSData.h"

namespace KestrinMIMEEngineCommon {

namespace detail {

template <typename C>
struct KSContainerTraits;

template <>
struct KSContainerTraits<std::vector<uint8_t>> {
    static constexpr bool fixed = false;
    static void Grow(std::vector<uint8_t>& c, int64_t length)
    {
        if (length > static_cast<int64_t>(c.size())) c.resize(static_cast<size_t>(length), 0);
    }
};

template <size_t N>
struct KSContainerTraits<std::array<uint8_t, N>> {
    static constexpr bool fixed = true;
    static void Grow(std::array<uint8_t, N>&, int64_t) {}
};

}  // namespace detail

template <typename C>
class KSContainerData : public KSDataReadWrite {
public:
    explicit KSContainerData(boost::shared_ptr<C> container) : m_container(std::move(container)) {}
    KSContainerData(const KSContainerData&) = delete;
    KSContainerData& operator=(const KSContainerData&) = delete;

    void Lock() override { m_mutex.lock(); }
    void Unlock() override { m_mutex.unlock(); }

    int64_t GetSize() override { return Length(); }

    size_t Read(void* buffer, size_t n) override
    {
        int64_t available = Length() - m_position;
        if (available <= 0 || n == 0) return 0;
        size_t count = std::min(n, static_cast<size_t>(available));
        std::memcpy(buffer, m_container->data() + m_position, count);
        m_position += static_cast<int64_t>(count);
        return count;
    }

    size_t Write(const void* buffer, size_t n) override
    {
        if (n == 0) return 0;
        size_t count = n;
        if (Traits::fixed) {
            int64_t room = Length() - m_position;
            if (room <= 0) return 0;
            count = std::min(n, static_cast<size_t>(room));
        } else {
            Traits::Grow(*m_container, m_position + static_cast<int64_t>(n));
        }
        std::memcpy(m_container->data() + m_position, buffer, count);
        m_position += static_cast<int64_t>(count);
        return count;
    }

    int64_t Seek(int64_t offset, int whence) override
    {
        int64_t target = m_position;
        switch (whence) {
        case 0: target = offset; break;
        case 1: target = m_position + offset; break;
        case 2: target = Length() + offset; break;
        default: break;
        }
        if (target < 0) target = 0;
        if (Traits::fixed)
            target = std::min(target, Length());
        else
            Traits::Grow(*m_container, target);
        m_position = target;
        return target;
    }

    bool Flush() override { return true; }

private:
    using Traits = detail::KSContainerTraits<C>;
    int64_t Length() const { return static_cast<int64_t>(m_container->size()); }

    boost::shared_ptr<C> m_container;
    int64_t m_position = 0;
    boost::mutex m_mutex;
};

using KSByteVector = std::vector<uint8_t>;
using KSVectorData = KSContainerData<KSByteVector>;

}  // namespace KestrinMIMEEngineCommon
