#include "assets/KestrinLogger.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include <boost/filesystem.hpp>
#include <boost/thread/lock_guard.hpp>

#include "mime/KSCharsets.h"

namespace KestrinMIMEEngineCommon {

namespace {

// Lines wait in memory for at most this long, or until this many bytes wait.
constexpr std::chrono::milliseconds kFlushInterval(250);
constexpr size_t kBufferBytes = 64 * 1024;
// What a disk that stays full may hold back before lines are given up.
constexpr size_t kPendingLimit = 16 * 1024 * 1024;

FileDescriptor OpenForAppend(const std::string& path)
{
    return FileDescriptor(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666));
}

}  // namespace

KestrinLogger::KestrinLogger(const std::string& logPath)
    : m_logPath(logPath)
{
    boost::system::error_code ec;
    if (boost::filesystem::exists(m_logPath, ec)) return;
    m_file = OpenForAppend(m_logPath);
    if (!m_file) {
        m_writeFailed = true;
        return;
    }
    m_pending = "\xEF\xBB\xBF";  // the byte-order mark
    FlushLocked();
}

KestrinLogger::~KestrinLogger()
{
    boost::lock_guard<boost::mutex> guard(m_mutex);
    FlushLocked();
}

void KestrinLogger::Log(const std::wstring& text, bool toReport, bool toFile)
{
    boost::lock_guard<boost::mutex> guard(m_mutex);
    if (toReport) {
        if (m_reportTail.empty() && m_reportText.size() + text.size() + 2 <= m_reportHeadLimit) {
            m_reportText += text;
            m_reportText += L"\r\n";
        } else {
            m_reportTail.push_back(text);
            if (m_reportTail.size() > m_reportTailLimit) {
                m_reportTail.pop_front();
                ++m_reportLinesLeftOut;
            }
        }
    }
    if (!toFile) return;
    // Opening the file for every line cost more than writing it.
    if (!m_file) m_file = OpenForAppend(m_logPath);
    if (!m_file) {
        m_writeFailed = true;
        return;
    }
    if (m_pending.size() >= kPendingLimit) {
        m_writeFailed = true;
        return;
    }
    m_pending += WideToUTF8(text);
    m_pending += "\r\n";
    const auto now = std::chrono::steady_clock::now();
    if (m_pending.size() >= kBufferBytes || now - m_lastFlush >= kFlushInterval) {
        m_lastFlush = now;
        FlushLocked();
    }
}

void KestrinLogger::Flush()
{
    boost::lock_guard<boost::mutex> guard(m_mutex);
    FlushLocked();
}

bool KestrinLogger::FlushLocked()
{
    if (m_pending.empty()) return true;
    if (!m_file) return false;
    size_t done = 0;
    while (done < m_pending.size()) {
        const ssize_t wrote = ::write(m_file.Get(), m_pending.data() + done, m_pending.size() - done);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) break;
        done += static_cast<size_t>(wrote);
    }
    m_pending.erase(0, done);
    return m_pending.empty();
}

bool KestrinLogger::HasWriteFailed()
{
    boost::lock_guard<boost::mutex> guard(m_mutex);
    const bool whole = FlushLocked();
    return m_writeFailed || !whole;
}

std::wstring KestrinLogger::GetReportText()
{
    boost::lock_guard<boost::mutex> guard(m_mutex);
    std::wstring report = m_reportText;
    if (m_reportLinesLeftOut > 0)
        report += L"[" + std::to_wstring(m_reportLinesLeftOut) +
                  L" more lines are in the detailed report: " + UTF8ToWide(m_logPath) + L"]\r\n";
    for (const auto& line : m_reportTail) {
        report += line;
        report += L"\r\n";
    }
    return report;
}

void KestrinLogger::SetReportLimits(size_t headCharacters, size_t tailLines)
{
    boost::lock_guard<boost::mutex> guard(m_mutex);
    m_reportHeadLimit = headCharacters;
    m_reportTailLimit = tailLines;
}

}  // namespace KestrinMIMEEngineCommon
