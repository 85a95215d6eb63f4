#include "cli/CliFrontEnd.h"

#include <cmath>

#include "app/StopSignals.h"
#include "mime/KSCharsets.h"
#include "streams/Platform.h"

namespace KestrinCli {

using KestrinMIMEEngineCommon::WideToUTF8;

namespace {

size_t TerminalWidth()
{
    const size_t columns = KestrinMIMEEngineCommon::Platform::StandardErrorColumns();
    return columns > 10 ? columns : 80;
}

// Cuts UTF-8 text to a number of characters, never inside one.
std::string Cut(const std::string& text, size_t characters)
{
    size_t count = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80)
            continue;
        if (count++ == characters)
            return text.substr(0, i);
    }
    return text;
}

std::string Bar(double percent, size_t width)
{
    if (!std::isfinite(percent) || percent < 0)
        percent = 0;
    if (percent > 100)
        percent = 100;
    const size_t filled = static_cast<size_t>(percent * width / 100);
    return "[" + std::string(filled, '#') + std::string(width - filled, '.') + "]";
}

}  // namespace

void PrintAlert(std::ostream& err, const KestrinApp::AlertText& alert)
{
    err << "kestrin: " << alert.message << "\n";
    if (!alert.informative.empty())
        err << alert.informative << "\n";
    err.flush();
}

bool ProgressLine::Due() const
{
    if (!m_enabled || !m_active)
        return false;
    return !m_shown || std::chrono::steady_clock::now() - m_last >= std::chrono::milliseconds(100);
}

void ProgressLine::Draw(const std::string& text)
{
    if (!Due())
        return;
    m_last = std::chrono::steady_clock::now();
    m_shown = true;
    m_err << "\r" << Cut(text, TerminalWidth() - 1) << "\033[K" << std::flush;
}

void ProgressLine::End()
{
    m_active = false;
    if (!m_enabled || !m_shown)
        return;
    m_shown = false;
    m_err << "\r\033[K" << std::flush;
}

void CliObserver::LoadMessage(const std::wstring& text)
{
    if (!text.empty() && m_line.Due())
        m_line.Draw("Loading: " + WideToUTF8(text));
}

void CliObserver::ItemShown(const std::wstring& description)
{
    if (onItemShown)
        onItemShown(description);
}

void CliObserver::ProgressChanged(const KestrinApp::ExportProgress& progress)
{
    if (!m_line.Due())
        return;
    m_line.Draw(Bar(progress.overallPercent, 20) + " " + WideToUTF8(progress.itemsLabel) + "  " +
                WideToUTF8(progress.folderLabel) + "  " + WideToUTF8(progress.foldersLabel));
}

bool CliObserver::IsCanceled()
{
    return KestrinApp::InterruptCount() > 0;
}

}  // namespace KestrinCli
