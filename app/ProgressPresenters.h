// The engine's progress and cancel interfaces over the observers of a
// conversion and of a load: the export's labels and values are made here,
// in the words the progress display shows.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "app/Convert.h"
#include "app/Source.h"
#include "assets/IProgressPresenter.h"

namespace KestrinApp {

class ExportProgressPresenter : public KestrinMIMEEngineCommon::ICancelableProgressPresenter {
public:
    // The observer must outlive the presenter. countUnits shows "k / t" in
    // the labels (units are bytes for mbox sources, items otherwise); without
    // it the labels count calls to AdvanceProgress.
    ExportProgressPresenter(ExportObserver& observer, bool countUnits);

    void BeginProgress() override {}
    void EndProgress() override {}
    void SetTotalUnits(int64_t units) override;
    void SetOverallTotalUnits(int64_t units) override;
    void AdvanceProgress(uint64_t units) override;
    // Both texts reach the observer with the next AdvanceProgress.
    void SetFolderText(const std::wstring& text) override { m_folderText = text; }
    void SetOverallText(const std::wstring& text) override { m_overallText = text; }
    void PostItemMessage(const std::wstring& text) override { m_observer->ItemShown(text); }
    void PostStoreMessage(const std::wstring& text) override { m_observer->SourceShown(text); }

    // Canceled once Cancel was called or the observer asks for it.
    bool IsCanceled() override { return m_canceled.load() || m_observer->IsCanceled(); }
    void Cancel() override { m_canceled = true; }

private:
    int64_t m_folderTotal = 0;
    int64_t m_overallTotal = 0;
    int64_t m_folderDone = 0;
    int64_t m_overallDone = 0;
    int64_t m_overallCounter = 0;
    int64_t m_folderCounter = 0;
    bool m_countUnits;
    std::wstring m_folderText;
    std::wstring m_overallText;
    std::atomic<bool> m_canceled{false};
    ExportObserver* m_observer;
};

// Shows folder and item texts as the load's message and store messages as
// its path; counts are not shown while loading. The observer must outlive it.
class LoadingPresenter : public KestrinMIMEEngineCommon::IProgressPresenter {
public:
    explicit LoadingPresenter(LoadObserver& observer) : m_observer(&observer) {}

    void BeginProgress() override {}
    void EndProgress() override {}
    void SetTotalUnits(int64_t) override {}
    void SetOverallTotalUnits(int64_t) override {}
    void AdvanceProgress(uint64_t) override {}
    void SetFolderText(const std::wstring& text) override { m_observer->LoadMessage(text); }
    void SetOverallText(const std::wstring&) override {}
    void PostItemMessage(const std::wstring& text) override { m_observer->LoadMessage(text); }
    void PostStoreMessage(const std::wstring& text) override { m_observer->LoadPath(text); }

private:
    LoadObserver* m_observer;
};

class LoadingCancelable : public KestrinMIMEEngineCommon::ICancelable {
public:
    explicit LoadingCancelable(LoadObserver& observer) : m_observer(&observer) {}

    bool IsCanceled() override { return m_canceled.load() || m_observer->IsCanceled(); }
    void Cancel() override { m_canceled = true; }

private:
    std::atomic<bool> m_canceled{false};
    LoadObserver* m_observer;
};

}  // namespace KestrinApp
