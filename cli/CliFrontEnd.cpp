#include "cli/CliFrontEnd.h"

#include <cmath>

#include "app/StopSignals.h"
#include "mime/KSCharsets.h"
#include "streams/Platform.h"

namespace KestrinCli {

using KestrinApp::InterruptCount;

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

void CliAlerts::ShowAlert(const KestrinApp::AlertText& alert)
{
    m_shown.push_back(alert);
    m_err << "kestrin: " << alert.message << "\n";
    if (!alert.informative.empty())
        m_err << alert.informative << "\n";
    m_err.flush();
}

template <class Sheet>
void PassOnInterrupt(Sheet& sheet)
{
    if (InterruptCount() > 0)
        sheet.SetCancelRequested(true);
}
template void PassOnInterrupt(CliProgressSheet&);
template void PassOnInterrupt(CliLoadingSheet&);

void ProgressLine::Draw(const std::string& text)
{
    if (!m_enabled || !m_active)
        return;
    const auto now = std::chrono::steady_clock::now();
    if (m_shown && now - m_last < std::chrono::milliseconds(100))
        return;
    m_last = now;
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

void CliProgressSheet::postProgressMessage(const std::wstring& text)
{
    if (onItemShown)
        onItemShown(text);
    PassOnInterrupt(*this);
}

void CliProgressSheet::postCurrentProgressLabel(const std::wstring& text)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_folderLabel = text;
}

void CliProgressSheet::postOverallFoldersLabel(const std::wstring& text)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_foldersLabel = text;
}

void CliProgressSheet::postOverallItemsLabel(const std::wstring& text)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_itemsLabel = text;
}

void CliProgressSheet::postOverallProgressValue(double percent)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_percent = percent;
}

void CliProgressSheet::Draw()
{
    if (!m_line.Active())
        return;
    std::string text;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_folderLabel.empty() && m_itemsLabel.empty())
            return;
        text = Bar(m_percent, 20) + " " + WideToUTF8(m_itemsLabel) + "  " +
               WideToUTF8(m_folderLabel) + "  " + WideToUTF8(m_foldersLabel);
    }
    m_line.Draw(text);
}

void CliLoadingSheet::SetProgressMessage(const std::wstring& text)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_message = text;
    }
    PassOnInterrupt(*this);
}

void CliLoadingSheet::Draw()
{
    if (!m_line.Active())
        return;
    std::string text;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_message.empty())
            return;
        text = "Loading: " + WideToUTF8(m_message);
    }
    m_line.Draw(text);
}

}  // namespace KestrinCli
