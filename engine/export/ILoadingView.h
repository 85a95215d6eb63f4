// What the loading presenters need of the loading window: a progress
// message, the path being read, and the cancel flag set from the main thread.
#pragma once

#include <atomic>
#include <string>

namespace KestrinMIMEEngineCommon {

class ILoadingView {
public:
    virtual ~ILoadingView() = default;

    virtual void SetProgressMessage(const std::wstring& text) = 0;
    virtual void SetFilePath(const std::wstring& text) = 0;

    bool IsCancelRequested() const { return m_cancelRequested.load(); }
    void SetCancelRequested(bool requested) { m_cancelRequested.store(requested); }

private:
    std::atomic<bool> m_cancelRequested{false};
};

}  // namespace KestrinMIMEEngineCommon
