#include "assets/KestrinLogger.h"

#include <cstdio>
#include <memory>

#include <boost/filesystem.hpp>
#include <boost/thread/lock_guard.hpp>

#include "mime/KSCharsets.h"

namespace KestrinMIMEEngineCommon {

namespace {

FILE* OpenForAppend(const std::string& path)
{
    return std::fopen(path.c_str(), "ab");
}

}  // namespace

KestrinLogger::KestrinLogger(const std::string& logPath, bool timestamps, uint64_t sizeLimit)
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

KestrinLogger::~KestrinLogger() = default;

void KestrinLogger::Log(const std::wstring& text, bool toReport, bool toFile)
{
    boost::lock_guard<boost::mutex> guard(m_mutex);
    if (toReport) {
        m_reportText += text;
        m_reportText += L"\r\n";
    }
    if (!toFile) return;
    // Opening the file for every line cost more than writing it.
    if (!m_file) m_file.reset(OpenForAppend(m_logPath));
    if (!m_file) {
        m_writeFailed = true;
        return;
    }
    bool written = true;
    if (!text.empty()) {
        const std::string utf8 = WideToUTF8(text);
        written = std::fwrite(utf8.data(), 1, utf8.size(), m_file.get()) == utf8.size();
    }
    written = std::fwrite("\r\n", 1, 2, m_file.get()) == 2 && written;
    if (std::fflush(m_file.get()) != 0 || !written) {
        m_writeFailed = true;
        // A stream in error stays so; the next line tries a fresh one.
        m_file.reset();
    }
}

bool KestrinLogger::HasWriteFailed()
{
    boost::lock_guard<boost::mutex> guard(m_mutex);
    return m_writeFailed;
}

std::wstring KestrinLogger::GetReportText()
{
    boost::lock_guard<boost::mutex> guard(m_mutex);
    return m_reportText;
}

}  // namespace KestrinMIMEEngineCommon
