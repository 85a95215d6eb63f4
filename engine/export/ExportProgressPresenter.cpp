#include "export/ExportProgressPresenter.h"

#include <string>

namespace KestrinMIMEEngineCommon {

namespace {

// "<text> [ k ]" or, when counting units, "<text> [ k / t ]". Made twice
// for every message: std::to_wstring, not a stream-based cast, which alone
// took a few percent of an export's time.
std::wstring CounterLabel(const std::wstring& text, int64_t counter, int64_t total,
                          bool withTotal)
{
    std::wstring label = text + L" [ " + std::to_wstring(counter);
    if (withTotal) label += L" / " + std::to_wstring(total);
    label += L" ]";
    return label;
}

// A total of 0 yields a non-finite value; the view is told exactly that.
double Percent(int64_t done, int64_t total)
{
    return static_cast<double>(done) * 100.0 / static_cast<double>(total);
}

}  // namespace

ExportProgressPresenter::ExportProgressPresenter(IProgressView& view, bool countUnits)
    : m_countUnits(countUnits), m_view(&view)
{
    m_view->SetCancelRequested(false);
}

void ExportProgressPresenter::SetTotalUnits(int64_t units)
{
    m_folderTotal = units;
    m_folderDone = 0;
    m_folderCounter = 0;
}

void ExportProgressPresenter::SetOverallTotalUnits(int64_t units)
{
    m_overallTotal = units;
    m_overallDone = 0;
    m_overallCounter = 0;
}

void ExportProgressPresenter::AdvanceProgress(uint64_t units)
{
    const int64_t delta = static_cast<int64_t>(units);

    m_folderDone += delta;
    m_folderCounter = m_countUnits ? m_folderDone : m_folderCounter + 1;
    const std::wstring folderLabel =
        CounterLabel(m_folderText, m_folderCounter, m_folderTotal, m_countUnits);

    m_overallDone += delta;
    m_overallCounter = m_countUnits ? m_overallDone : m_overallCounter + 1;
    const std::wstring itemsLabel =
        CounterLabel(L"Overall: Items", m_overallCounter, m_overallTotal, m_countUnits);

    m_view->postCurrentProgressValue(Percent(m_folderDone, m_folderTotal));
    m_view->postCurrentProgressLabel(folderLabel);
    m_view->postOverallFoldersLabel(m_overallText);
    m_view->postOverallProgressValue(Percent(m_overallDone, m_overallTotal));
    m_view->postOverallItemsLabel(itemsLabel);
}

}  // namespace KestrinMIMEEngineCommon
