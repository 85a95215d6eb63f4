// Records the export driver's events, one line each, to compare runs.
#pragma once

#include <string>
#include <vector>

#include "export/ExportDriver.h"

namespace kestrin_fakes {

class RecordingEvents : public KestrinMIMEEngineCommon::IExportEvents {
public:
    std::vector<std::wstring> calls;
    void FolderBegun(const boost::shared_ptr<KestrinMIMEEngineCommon::IAssetFolder>& source) override
    {
        calls.push_back(L"begun " + source->GetPath());
    }
    void ItemDone(KestrinMIMEEngineCommon::ExportItemOutcome outcome, const std::wstring& name,
                  const boost::shared_ptr<KestrinMIMEEngineCommon::IAssetFolderMutable>& output) override
    {
        calls.push_back(L"item " + std::to_wstring(static_cast<int>(outcome)) + L" " + name + L" -> " +
                        (output ? output->GetPath() : L"none"));
    }
    void FolderEnded(const boost::shared_ptr<KestrinMIMEEngineCommon::IAssetFolder>& source) override
    {
        calls.push_back(L"ended " + source->GetPath());
    }
};

}  // namespace kestrin_fakes
