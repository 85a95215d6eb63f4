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
};

}  // namespace KestrinMIMEEngineCommon
