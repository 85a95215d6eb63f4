// The conversion log: human-readable lines for "Detailed Conversion Report.txt"
// and, for selected lines, the brief report text.
#pragma once

#include <string>

namespace KestrinMIMEEngineCommon {

class ILogger {
public:
    virtual ~ILogger() = default;
    // Appends text to the report text when toReport, and to the log file
    // (followed by CR LF) when toFile.
    virtual void Log(const std::wstring& text, bool toReport, bool toFile) = 0;
    // Puts every line logged so far where it goes, for a logger that keeps
    // lines back for a while; an export calls it at its end.
    virtual void Flush() {}
};

}  // namespace KestrinMIMEEngineCommon
