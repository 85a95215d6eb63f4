#include "app/ProgressPresenters.h"

namespace KestrinApp {

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

// A total of 0 yields a non-finite value; the observer is told exactly that.
double Percent(int64_t done, int64_t total)
{
    return static_cast<double>(done) * 100.0 / static_cast<double>(total);
}

}  // namespace

ExportProgressPresenter::ExportProgressPresenter(ExportObserver& observer, bool countUnits)
    : m_countUnits(countUnits), m_observer(&observer)
{
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
    ExportProgress progress;

    m_folderDone += delta;
    m_folderCounter = m_countUnits ? m_folderDone : m_folderCounter + 1;
    progress.folderLabel = CounterLabel(m_folderText, m_folderCounter, m_folderTotal, m_countUnits);
    progress.folderPercent = Percent(m_folderDone, m_folderTotal);

    m_overallDone += delta;
    m_overallCounter = m_countUnits ? m_overallDone : m_overallCounter + 1;
    progress.itemsLabel =
        CounterLabel(L"Overall: Items", m_overallCounter, m_overallTotal, m_countUnits);
    progress.overallPercent = Percent(m_overallDone, m_overallTotal);
    progress.foldersLabel = m_overallText;

    m_observer->ProgressChanged(progress);
}

}  // namespace KestrinApp
