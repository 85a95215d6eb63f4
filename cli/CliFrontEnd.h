// What the command line shows while it works: one progress line on a
// terminal, redrawn in place, for the load and for the conversion; alerts
// as text. Ctrl-C, SIGTERM and SIGHUP are its cancel button.
#pragma once

#include <chrono>
#include <functional>
#include <ostream>
#include <string>

#include "app/Convert.h"
#include "app/Seams.h"
#include "app/Source.h"

namespace KestrinCli {

// An alert as text on the error stream: "kestrin: <message>", then the
// informative text when there is one.
void PrintAlert(std::ostream& err, const KestrinApp::AlertText& alert);

// One status line, redrawn in place on a terminal while it is active;
// silent otherwise.
class ProgressLine {
public:
    ProgressLine(std::ostream& err, bool enabled) : m_err(err), m_enabled(enabled) {}
    void Begin() { m_active = true; }
    // Takes the line away for good.
    void End();
    // Whether a drawing now would show: the line is active and the last
    // drawing was not very recent. The texts cost something to make, so
    // they are made only when due.
    bool Due() const;
    void Draw(const std::string& text);

private:
    std::ostream& m_err;
    bool m_enabled;
    bool m_active = false;
    bool m_shown = false;
    std::chrono::steady_clock::time_point m_last{};
};

// The observer of the load and of the conversion, both run on the command's
// own thread. A pending stop signal is the cancel request.
class CliObserver : public KestrinApp::LoadObserver, public KestrinApp::ExportObserver {
public:
    CliObserver(std::ostream& err, bool showProgress) : m_line(err, showProgress) {}

    // Tests: called with every item the conversion shows.
    std::function<void(const std::wstring&)> onItemShown;

    ProgressLine& Line() { return m_line; }

    void LoadMessage(const std::wstring& text) override;
    void ItemShown(const std::wstring& description) override;
    void ProgressChanged(const KestrinApp::ExportProgress& progress) override;
    bool IsCanceled() override;

private:
    ProgressLine m_line;
};

}  // namespace KestrinCli
