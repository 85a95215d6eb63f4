// FailingStream: an in-memory KSDataReadWrite that stops working after a byte
// budget, for testing how writers and readers handle a stream that fails
// part-way (full disk, truncated file).
//
//   auto out = kestrin_test::FailingStream::Writer(10);
//       Accepts the first 10 bytes written. The Write that crosses the budget
//       stores and returns only the bytes that still fit; every later Write
//       returns 0 and Flush returns false from then on. out->Written() holds
//       what was accepted.
//
//   auto in = kestrin_test::FailingStream::Reader("full content", 4);
//       GetSize answers the full content's length, but reads deliver only the
//       first 4 bytes; the Read that reaches the budget returns the part that
//       fits and every later Read returns 0 (as a file cut short would).
//
// Seek moves within [0, content size] (whence 0/1/2; other values keep the
// position). The budgets count bytes delivered or accepted in total, not
// positions, so seeking back does not refill them. Lock/Unlock use a plain
// mutex like the engine's own streams. WriteCalls()/ReadCalls() count calls.
#pragma once

#include <algorithm>
#include <cstring>
#include <limits>
#include <mutex>
#include <string>

#include <boost/make_shared.hpp>
#include <boost/shared_ptr.hpp>

#include "streams/KSData.h"

namespace kestrin_test {

class FailingStream : public KestrinMIMEEngineCommon::KSDataReadWrite {
public:
    static constexpr size_t kUnlimited = std::numeric_limits<size_t>::max();

    static boost::shared_ptr<FailingStream> Writer(size_t writeBudget)
    {
        return boost::make_shared<FailingStream>(std::string(), kUnlimited, writeBudget);
    }
    static boost::shared_ptr<FailingStream> Reader(const std::string& content, size_t readBudget)
    {
        return boost::make_shared<FailingStream>(content, readBudget, kUnlimited);
    }

    FailingStream(std::string content, size_t readBudget, size_t writeBudget)
        : m_data(std::move(content)), m_readBudget(readBudget), m_writeBudget(writeBudget)
    {
    }

    void Lock() override { m_mutex.lock(); }
    void Unlock() override { m_mutex.unlock(); }

    int64_t GetSize() override { return static_cast<int64_t>(m_data.size()); }

    size_t Read(void* buffer, size_t n) override
    {
        ++m_readCalls;
        size_t available = m_position < m_data.size() ? m_data.size() - m_position : 0;
        size_t count = std::min({n, available, m_readBudget});
        if (count) std::memcpy(buffer, m_data.data() + m_position, count);
        m_position += count;
        m_readBudget -= count;
        return count;
    }

    size_t Write(const void* buffer, size_t n) override
    {
        ++m_writeCalls;
        size_t count = std::min(n, m_writeBudget);
        if (count < n) m_failed = true;
        if (count) {
            if (m_position + count > m_data.size()) m_data.resize(m_position + count, '\0');
            std::memcpy(&m_data[m_position], buffer, count);
        }
        m_position += count;
        m_writeBudget -= count;
        return count;
    }

    bool Flush() override { return !m_failed; }

    int64_t Seek(int64_t offset, int whence) override
    {
        int64_t target = static_cast<int64_t>(m_position);
        if (whence == 0) target = offset;
        else if (whence == 1) target += offset;
        else if (whence == 2) target = static_cast<int64_t>(m_data.size()) + offset;
        target = std::max<int64_t>(0, std::min<int64_t>(target, static_cast<int64_t>(m_data.size())));
        m_position = static_cast<size_t>(target);
        return target;
    }

    const std::string& Written() const { return m_data; }
    bool Failed() const { return m_failed; }
    size_t WriteCalls() const { return m_writeCalls; }
    size_t ReadCalls() const { return m_readCalls; }

private:
    std::string m_data;
    size_t m_position = 0;
    size_t m_readBudget;
    size_t m_writeBudget;
    bool m_failed = false;
    size_t m_writeCalls = 0;
    size_t m_readCalls = 0;
    std::mutex m_mutex;
};

}  // namespace kestrin_test
