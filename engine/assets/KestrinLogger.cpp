#include "assets/KestrinLogger.h"

#include <cstdio>
#include <memory>

#include <boost/filesystem.hpp>
#include <boost/thread/lock_guard.hpp>

#include "mime/KSCharsets.h"

namespace KestrinMIMEEngineCommon {

namespace {

// Lines wait in the stream's buffer for at most this long.
constexpr std::chrono::milliseconds kFlushInterval(250);
constexpr size_t kBufferBytes = 64 * 1024;

FILE* OpenForAppend(const std::string& path)
{
    FILE* file = std::fopen(path.c_str(), "ab");
    if (file) std::setvbuf(file, nullptr, _IOFBF, kBufferBytes);
    return file;
}

}  // namespace

KestrinLogger::KestrinLogger(const std::string& logPath)
    : m_logPath(logPath)
{
    boost::system::error_code ec;
    if (boost::filesystem::exists(m_logPath, ec)) return;
    m_file.reset(OpenForAppend(m_logPath));
    if (m_file) {
        static const unsigned char kByteOrderMark[] = {0xEF, 0xBB, 0xBF};
        const bool written =
            std::fwrite(kByteOrderMark, 1, sizeof kByteOrderMark, m_file.get()) ==
            sizeof kByteOrderMark;
        if (!written || std::fflush(m_file.get()) != 0) m_writeFailed = true;
    } else {
        m_writeFailed = true;
    }
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
    if (!m_file) m_file.reset(OpenForAppend(m_logPath));
    if (!m_file) {
        m_writeFailed = true;
        return;
    }
    std::string line = WideToUTF8(text);
    line += "\r\n";
    if (std::fwrite(line.data(), 1, line.size(), m_file.get()) != line.size()) {
        m_writeFailed = true;
        // A stream in error stays so; the next line tries a fresh one.
        m_file.reset();
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    if (now - m_lastFlush >= kFlushInterval) {
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
    if (!m_file) return true;
    if (std::fflush(m_file.get()) == 0) return true;
    m_writeFailed = true;
    m_file.reset();
    return false;
}

bool KestrinLogger::HasWriteFailed()
{
    boost::lock_guard<boost::mutex> guard(m_mutex);
    FlushLocked();
    return m_writeFailed;
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
