// What the export presenter needs of the export progress window: seven
// posts that must not wait for the window, and the cancel flag that the
// window's cancel button sets on the main thread and the export reads.
#pragma once

#include <atomic>
#include <string>

namespace KestrinMIMEEngineCommon {

class IProgressView {
public:
    virtual ~IProgressView() = default;

    virtual void postProgressMessage(const std::wstring& text) = 0;
    virtual void postFilePath(const std::wstring& text) = 0;
    virtual void postCurrentProgressLabel(const std::wstring& text) = 0;
    virtual void postCurrentProgressValue(double percent) = 0;
    virtual void postOverallFoldersLabel(const std::wstring& text) = 0;
    virtual void postOverallItemsLabel(const std::wstring& text) = 0;
    virtual void postOverallProgressValue(double percent) = 0;

    bool IsCancelRequested() const { return m_cancelRequested.load(); }
    void SetCancelRequested(bool requested) { m_cancelRequested.store(requested); }

private:
    std::atomic<bool> m_cancelRequested{false};
};

}  // namespace KestrinMIMEEngineCommon
