// How the engine reports progress and learns about cancellation. The
// application supplies the implementations; the engine never touches a window.
#pragma once

#include <cstdint>
#include <string>

namespace KestrinMIMEEngineCommon {

class IProgressPresenter {
public:
    virtual ~IProgressPresenter() = default;
    virtual void BeginProgress() = 0;
    virtual void EndProgress() = 0;
    virtual void SetTotalUnits(int64_t units) = 0;
    virtual void SetOverallTotalUnits(int64_t units) = 0;
    virtual void AdvanceProgress(uint64_t units) = 0;
    virtual void SetFolderText(const std::wstring& text) = 0;
    virtual void SetOverallText(const std::wstring& text) = 0;
    virtual void PostItemMessage(const std::wstring& text) = 0;
    virtual void PostStoreMessage(const std::wstring& text) = 0;
};

class ICancelable {
public:
    virtual ~ICancelable() = default;
    virtual bool IsCanceled() = 0;
    virtual void Cancel() = 0;
};

class ICancelableProgressPresenter : public IProgressPresenter, public ICancelable {};

}  // namespace KestrinMIMEEngineCommon
