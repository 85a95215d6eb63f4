// The command line's side of the application's seams: alerts and reports
// become text, choosers answer from the arguments, the sheets draw one
// progress line on a terminal.
#pragma once

#include <chrono>
#include <functional>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include <boost/optional.hpp>

#include "app/Seams.h"
#include "app/Views.h"

namespace KestrinCli {

// Alerts go to the error stream as they are shown.
class CliAlerts : public KestrinApp::IAlertPresenter {
public:
    explicit CliAlerts(std::ostream& err) : m_err(err) {}
    void ShowAlert(const KestrinApp::AlertText& alert) override;
    const std::vector<KestrinApp::AlertText>& Shown() const { return m_shown; }

private:
    std::ostream& m_err;
    std::vector<KestrinApp::AlertText> m_shown;
};

class CliReportView : public KestrinApp::IReportView {
public:
    void ShowReport(const KestrinApp::ReportData& report) override { m_report = report; }
    const boost::optional<KestrinApp::ReportData>& Report() const { return m_report; }

private:
    boost::optional<KestrinApp::ReportData> m_report;
};

// One status line of a sheet, redrawn in place on a terminal while the sheet
// is up; silent otherwise. Main thread only.
class ProgressLine {
public:
    ProgressLine(std::ostream& err, bool enabled) : m_err(err), m_enabled(enabled) {}
    void Begin() { m_active = true; }
    // Takes the line away for good.
    void End();
    bool Active() const { return m_active; }
    // Draws the text unless the last drawing was very recent.
    void Draw(const std::string& text);

private:
    std::ostream& m_err;
    bool m_enabled;
    bool m_active = false;
    bool m_shown = false;
    std::chrono::steady_clock::time_point m_last{};
};

// A pending Ctrl-C becomes the sheet's cancel request.
template <class Sheet>
void PassOnInterrupt(Sheet& sheet);

// The export progress: posts arrive on the worker and are kept; the main
// loop draws them. Each post also passes on a pending Ctrl-C at once, so the
// export stops before its next item.
class CliProgressSheet : public KestrinApp::IExportProgressSheet {
public:
    CliProgressSheet(std::ostream& err, bool enabled) : m_line(err, enabled) {}

    // Tests: called with every item the export shows, on the worker thread.
    std::function<void(const std::wstring&)> onItemShown;

    void BeginProgress() override { m_line.Begin(); }
    void EndProgress() override { m_line.End(); }
    void postProgressMessage(const std::wstring& text) override;
    void postFilePath(const std::wstring&) override { PassOnInterrupt(*this); }
    void postCurrentProgressLabel(const std::wstring& text) override;
    void postCurrentProgressValue(double) override { PassOnInterrupt(*this); }
    void postOverallFoldersLabel(const std::wstring& text) override;
    void postOverallItemsLabel(const std::wstring& text) override;
    void postOverallProgressValue(double percent) override;

    // Main thread.
    void Draw();

private:
    std::mutex m_mutex;
    std::wstring m_folderLabel;
    std::wstring m_foldersLabel;
    std::wstring m_itemsLabel;
    double m_percent = 0;
    ProgressLine m_line;
};

class CliLoadingSheet : public KestrinApp::ILoadingSheet {
public:
    CliLoadingSheet(std::ostream& err, bool enabled) : m_line(err, enabled) {}
    void BeginProgress() override { m_line.Begin(); }
    void EndProgress() override { m_line.End(); }
    void SetProgressMessage(const std::wstring& text) override;
    void SetFilePath(const std::wstring&) override { PassOnInterrupt(*this); }

    void Draw();

private:
    std::mutex m_mutex;
    std::wstring m_message;
    ProgressLine m_line;
};

}  // namespace KestrinCli
