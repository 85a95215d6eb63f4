// The windows the workflow opens: the export progress sheet, the loading
// sheet and the result sheet. Their posts and flags are the engine's view
// interfaces; showing and hiding happen on the main thread.
//
// Threads: BeginProgress, EndProgress and ShowReport run on the main thread.
// The posts (postProgressMessage..., SetProgressMessage, SetFilePath) arrive
// on the worker or loading thread and must not wait for the main thread: a
// window hands them over with a queued call and keeps nothing the worker
// could see half-written. The cancel flags are atomic: set on the main
// thread, read on the worker.
#pragma once

#include <cmath>
#include <string>

#include "export/ILoadingView.h"
#include "export/IProgressView.h"

namespace KestrinApp {

// A progress post (a percentage; 0/0 gives NaN) as the fraction a bar shows:
// always within [0, 1].
inline double ProgressFraction(double percent)
{
    if (!std::isfinite(percent) || percent <= 0)
        return 0;
    return percent >= 100 ? 1.0 : percent / 100.0;
}

class IExportProgressSheet : public KestrinMIMEEngineCommon::IProgressView {
public:
    // Main thread: show the sheet on the main window / take it away.
    virtual void BeginProgress() = 0;
    virtual void EndProgress() = 0;
};

class ILoadingSheet : public KestrinMIMEEngineCommon::ILoadingView {
public:
    virtual void BeginProgress() = 0;
    virtual void EndProgress() = 0;
};

// What the result sheet shows after an export.
struct ReportData {
    int exportResult = 0;
    std::string title;    // by result: success, aborted, failed
    std::string report;   // the brief report text
    std::string footer1;  // where the converted data is
    std::string footer2;  // where the detailed log is
};

class IReportView {
public:
    virtual ~IReportView() = default;
    virtual void ShowReport(const ReportData& report) = 0;
};

}  // namespace KestrinApp
