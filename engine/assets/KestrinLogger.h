// The conversion log of one export: a UTF-8 file with byte-order mark and
// CR LF line ends, plus the brief report text the application shows at the end.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include <boost/thread/mutex.hpp>

#include "assets/ILogger.h"

namespace KestrinMIMEEngineCommon {

class KestrinLogger : public ILogger {
public:
    // A new file gets the byte-order mark at once. Lines never carry time
    // stamps and the file has no size limit; the two trailing arguments are
    // accepted for callers that spell those choices out.
    explicit KestrinLogger(const std::string& logPath, bool timestamps = false,
                           uint64_t sizeLimit = 0);
    ~KestrinLogger() override;

    // The file stays open for appending and is flushed after every line, so
    // others may read it at any time. A file that cannot be opened loses the
    // line (the report text still gets it when asked for); the next line
    // tries to open it again.
    void Log(const std::wstring& text, bool toReport, bool toFile) override;

    std::wstring GetReportText();
    // True once a line meant for the file did not reach it whole (the file
    // could not be opened, a full disk): the log is then no full account of
    // the run, and the run must not be called a success.
    bool HasWriteFailed();
    const std::string& GetLogPath() const { return m_logPath; }

private:
    boost::mutex m_mutex;
    std::wstring m_reportText;
    std::string m_logPath;
    struct FileCloser {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    std::unique_ptr<std::FILE, FileCloser> m_file;
    bool m_writeFailed = false;
};

}  // namespace KestrinMIMEEngineCommon
