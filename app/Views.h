// The windows the workflow opens: the export progress sheet, the loading
// sheet and the result sheet. The two progress sheets are the observers of
// the export and of the load; showing and hiding happen on the main thread.
//
// Threads: BeginProgress, EndProgress and ShowReport run on the main thread.
// The observer calls arrive on the export's or the load's worker and must
// not wait for the main thread: a window hands them over through a throttle
// (ProgressPresenters.h), which keeps nothing the worker could see
// half-written and posts a few times a second at most. The cancel flags are
// atomic: set on the main thread, read on the worker.
#pragma once

#include <atomic>
#include <cmath>
#include <string>

#include "app/Convert.h"
#include "app/Source.h"

namespace KestrinApp {

// A progress value (a percentage; 0/0 gives NaN) as the fraction a bar
// shows: always within [0, 1].
inline double ProgressFraction(double percent)
{
    if (!std::isfinite(percent) || percent <= 0)
        return 0;
    return percent >= 100 ? 1.0 : percent / 100.0;
}

// The sheet's cancel button.
class CancelRequest {
public:
    bool IsCancelRequested() const { return m_requested.load(); }
    void SetCancelRequested(bool requested) { m_requested.store(requested); }

private:
    std::atomic<bool> m_requested{false};
};

class IExportProgressSheet : public ExportObserver, public CancelRequest {
public:
    // Main thread: show the sheet on the main window / take it away.
    virtual void BeginProgress() = 0;
    virtual void EndProgress() = 0;
    bool IsCanceled() override { return IsCancelRequested(); }
};

class ILoadingSheet : public LoadObserver, public CancelRequest {
public:
    virtual void BeginProgress() = 0;
    virtual void EndProgress() = 0;
    bool IsCanceled() override { return IsCancelRequested(); }
};

class IReportView {
public:
    virtual ~IReportView() = default;
    virtual void ShowReport(const ReportData& report) = 0;
};

}  // namespace KestrinApp
