// The conversion log of one export: a UTF-8 file with byte-order mark and
// CR LF line ends, plus the brief report text the application shows at the end.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <memory>
#include <string>

#include <boost/thread/mutex.hpp>

#include "assets/ILogger.h"
#include "streams/FileDescriptor.h"

namespace KestrinMIMEEngineCommon {

class KestrinLogger : public ILogger {
public:
    // A new file gets the byte-order mark at once. Lines never carry time
    // stamps and the file has no size limit.
    explicit KestrinLogger(const std::string& logPath);
    ~KestrinLogger() override;

    // The file stays open for appending. Lines reach it at most a quarter
    // of a second after they are logged, and at once on Flush() (an export
    // calls it at its end), HasWriteFailed() and the logger's end: a system
    // call for each of the two lines every message logs cost the writing
    // thread a tenth of its time, and the lines of each folder's end as much
    // again for many small folders. A file that cannot be opened loses the
    // line (the report text still gets it when asked for); the next line
    // tries to open it again.
    void Log(const std::wstring& text, bool toReport, bool toFile) override;
    void Flush() override;

    // The brief report: every line meant for it while it is small, then only
    // the last lines, with one line saying how many were left out and that
    // the log file holds them all. A library of 100,000 messages that were
    // never downloaded writes a warning block for each; kept whole, the
    // report alone would take hundreds of megabytes.
    std::wstring GetReportText();
    // How much of the report is kept whole (characters) and how many of the
    // last lines are kept after that.
    static constexpr size_t kReportHeadCharacters = 256 * 1024;
    static constexpr size_t kReportTailLines = 40;
    void SetReportLimits(size_t headCharacters, size_t tailLines);
    // True once a line meant for the file did not reach it whole (the file
    // could not be opened, or a full disk still refuses lines that wait):
    // the log is then no full account of the run, and the run must not be
    // called a success.
    bool HasWriteFailed();

private:
    boost::mutex m_mutex;
    std::wstring m_reportText;
    size_t m_reportHeadLimit = kReportHeadCharacters;
    size_t m_reportTailLimit = kReportTailLines;
    std::deque<std::wstring> m_reportTail;  // the last lines once the head is full
    uint64_t m_reportLinesLeftOut = 0;
    std::string m_logPath;
    // Writes what waits under m_mutex; false when some of it is still waiting.
    bool FlushLocked();

    FileDescriptor m_file;
    // Bytes logged but not yet in the file. A write the disk refused keeps
    // them here, to be written once there is room again (an export that
    // stops on a full disk frees the room it set aside for its report).
    std::string m_pending;
    bool m_writeFailed = false;  // lines were lost: the file could not be opened
    std::chrono::steady_clock::time_point m_lastFlush;
};

}  // namespace KestrinMIMEEngineCommon
