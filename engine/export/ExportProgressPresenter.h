// Turns the export driver's progress into the labels and values of the
// export progress window, and its cancel flag into ICancelable.
#pragma once

#include <cstdint>
#include <string>

#include "assets/IProgressPresenter.h"
#include "export/IProgressView.h"

namespace KestrinMIMEEngineCommon {

class ExportProgressPresenter : public ICancelableProgressPresenter {
public:
    // The view must outlive the presenter. countUnits shows "k / t" in the
    // labels (units are bytes for mbox sources, items otherwise); without it
    // the labels count calls to AdvanceProgress. Clears a cancel request left
    // from an earlier export.
    ExportProgressPresenter(IProgressView& view, bool countUnits);

    void BeginProgress() override {}
    void EndProgress() override {}
    void SetTotalUnits(int64_t units) override;
    void SetOverallTotalUnits(int64_t units) override;
    void AdvanceProgress(uint64_t units) override;
    // Both texts reach the window with the next AdvanceProgress.
    void SetFolderText(const std::wstring& text) override { m_folderText = text; }
    void SetOverallText(const std::wstring& text) override { m_overallText = text; }
    void PostItemMessage(const std::wstring& text) override { m_view->postProgressMessage(text); }
    void PostStoreMessage(const std::wstring& text) override { m_view->postFilePath(text); }

    bool IsCanceled() override { return m_view->IsCancelRequested(); }
    void Cancel() override { m_view->SetCancelRequested(true); }

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
    IProgressView* m_view;
};

}  // namespace KestrinMIMEEngineCommon
