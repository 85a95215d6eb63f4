// The windows the workflow opens: the export progress sheet, the loading
// sheet and the result sheet. Their posts and flags are the engine's view
// interfaces; showing and hiding happen on the main thread.
#pragma once

#include <string>

#include "export/ILoadingView.h"
#include "export/IProgressView.h"

namespace KestrinApp {

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
