#include "assets/KestrinLogger.h"

#include <cstdio>
#include <memory>

#include <boost/filesystem.hpp>
#include <boost/thread/lock_guard.hpp>

#include "mime/KSCharsets.h"

namespace KestrinMIMEEngineCommon {

namespace {

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<FILE, FileCloser>;

FileHandle OpenForAppend(const std::string& path)
{
    return FileHandle(std::fopen(path.c_str(), "ab"));
}

}  // namespace

KestrinLogger::KestrinLogger(const std::string& logPath, bool timestamps, uint64_t sizeLimit)
    : m_logPath(logPath)
{
    boost::system::error_code ec;
    if (boost::filesystem::exists(m_logPath, ec)) return;
    if (FileHandle file = OpenForAppend(m_logPath)) {
        static const unsigned char kByteOrderMark[] = {0xEF, 0xBB, 0xBF};
        std::fwrite(kByteOrderMark, 1, sizeof kByteOrderMark, file.get());
    }
}

void KestrinLogger::Log(const std::wstring& text, bool toReport, bool toFile)
{
    boost::lock_guard<boost::mutex> guard(m_mutex);
    if (toReport) {
        m_reportText += text;
        m_reportText += L"\r\n";
    }
    if (!toFile) return;
    FileHandle file = OpenForAppend(m_logPath);
    if (!file) return;
    if (!text.empty()) {
        const std::string utf8 = WideToUTF8(text);
        std::fwrite(utf8.data(), 1, utf8.size(), file.get());
    }
    std::fwrite("\r\n", 1, 2, file.get());
}

std::wstring KestrinLogger::GetReportText()
{
    boost::lock_guard<boost::mutex> guard(m_mutex);
    return m_reportText;
}

}  // namespace KestrinMIMEEngineCommon
