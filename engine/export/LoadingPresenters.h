// Progress and cancellation while a source store is opened: the store's
// messages go to the loading window, its cancel flag stops the load.
#pragma once

#include "assets/IProgressPresenter.h"
#include "export/ILoadingView.h"

namespace KestrinMIMEEngineCommon {

// Shows folder and item texts as the loading message and store messages as
// the path; counts are not shown while loading. The view must outlive it.
class LoadingProgressPresenterWrapper : public IProgressPresenter {
public:
    explicit LoadingProgressPresenterWrapper(ILoadingView& view) : m_view(&view) {}

    void BeginProgress() override {}
    void EndProgress() override {}
    void SetTotalUnits(int64_t) override {}
    void SetOverallTotalUnits(int64_t) override {}
    void AdvanceProgress(uint64_t) override {}
    void SetFolderText(const std::wstring& text) override { m_view->SetProgressMessage(text); }
    void SetOverallText(const std::wstring&) override {}
    void PostItemMessage(const std::wstring& text) override { m_view->SetProgressMessage(text); }
    void PostStoreMessage(const std::wstring& text) override { m_view->SetFilePath(text); }

private:
    ILoadingView* m_view;
};

class LoadingCancelable : public ICancelable {
public:
    explicit LoadingCancelable(ILoadingView& view) : m_view(&view) {}

    bool IsCanceled() override { return m_view->IsCancelRequested(); }
    void Cancel() override { m_view->SetCancelRequested(true); }

private:
    ILoadingView* m_view;
};

}  // namespace KestrinMIMEEngineCommon
