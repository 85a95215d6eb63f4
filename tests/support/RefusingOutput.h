// The engine's writers with a disk that refuses every write after the
// first few messages, with the system's error number a full disk, a
// read-only file system or a used-up quota gives: what the export does then
// can be seen without filling a real disk.
#pragma once

#include <map>
#include <memory>

#include <boost/make_shared.hpp>

#include "app/Convert.h"
#include "assets/AssetFolderBase.h"
#include "export/IOutputStoreProvider.h"

namespace kestrin_test {

// The disk's state, shared by every folder of one export.
struct RefusingDisk {
    int room = 0;     // messages still written
    int error = 0;    // the error number every later write answers
    int refused = 0;  // writes answered with the error
};

// Hands every item to the real output folder while the shared room lasts;
// then answers the stream failure with the error number.
class RefusingFolder : public KestrinMIMEEngineCommon::AssetFolderBase {
public:
    RefusingFolder(const boost::shared_ptr<KestrinMIMEEngineCommon::IAssetFolderMutable>& real,
                   std::shared_ptr<RefusingDisk> disk)
        : AssetFolderBase(real->GetName(), real->GetFolderId(), real->GetStore(), nullptr, false),
          m_real(real), m_disk(std::move(disk))
    {
    }
    std::wstring GetPath() override { return m_real->GetPath(); }
    bool BeginAddAssets(const boost::shared_ptr<KestrinMIMEEngineCommon::IAssetFolder>& source,
                        const boost::shared_ptr<KestrinMIMEEngineCommon::IProgressPresenter>& presenter,
                        const boost::shared_ptr<KestrinMIMEEngineCommon::ILogger>& logger) override
    {
        return m_real->BeginAddAssets(source, presenter, logger);
    }
    void EndAddAssets(const boost::shared_ptr<KestrinMIMEEngineCommon::IAssetFolder>& source,
                      const boost::shared_ptr<KestrinMIMEEngineCommon::IProgressPresenter>& presenter,
                      const boost::shared_ptr<KestrinMIMEEngineCommon::ILogger>& logger) override
    {
        m_real->EndAddAssets(source, presenter, logger);
    }
    KestrinMIMEEngineCommon::AddAssetResult AddAsset(
        const boost::shared_ptr<KestrinMIMEEngineCommon::IAsset>& asset,
        const boost::shared_ptr<KestrinMIMEEngineCommon::IProgressPresenter>& presenter,
        const boost::shared_ptr<KestrinMIMEEngineCommon::ILogger>& logger,
        const boost::shared_ptr<KestrinMIMEEngineCommon::ICancelable>& cancelable,
        const std::string& assetId) override
    {
        if (m_disk->room <= 0) {
            ++m_disk->refused;
            return {KestrinMIMEEngineCommon::AddAssetCode::StreamFailed,
                    m_real->GetFolderId() + "/next.eml", m_disk->error};
        }
        --m_disk->room;
        return m_real->AddAsset(asset, presenter, logger, cancelable, assetId);
    }

private:
    boost::shared_ptr<KestrinMIMEEngineCommon::IAssetFolderMutable> m_real;
    std::shared_ptr<RefusingDisk> m_disk;
};

class RefusingProvider : public KestrinMIMEEngineCommon::IOutputStoreProvider {
public:
    RefusingProvider(boost::shared_ptr<KestrinMIMEEngineCommon::IOutputStoreProvider> real,
                     std::shared_ptr<RefusingDisk> disk)
        : m_real(std::move(real)), m_disk(std::move(disk))
    {
    }
    boost::shared_ptr<KestrinMIMEEngineCommon::IAssetFolderMutable> GetOutputFolder(
        const boost::shared_ptr<KestrinMIMEEngineCommon::IAssetFolder>& source,
        const boost::shared_ptr<KestrinMIMEEngineCommon::IAsset>& asset,
        bool useDefaultFolder) override
    {
        auto real = m_real->GetOutputFolder(source, asset, useDefaultFolder);
        if (!real) return real;
        auto& wrapped = m_folders[real.get()];
        if (!wrapped) wrapped = boost::make_shared<RefusingFolder>(real, m_disk);
        return wrapped;
    }
    KestrinMIMEEngineCommon::Status CloseStores() override { return m_real->CloseStores(); }

private:
    boost::shared_ptr<KestrinMIMEEngineCommon::IOutputStoreProvider> m_real;
    std::shared_ptr<RefusingDisk> m_disk;
    std::map<KestrinMIMEEngineCommon::IAssetFolderMutable*, boost::shared_ptr<RefusingFolder>>
        m_folders;
};

// The engine's writers, refusing as the disk says.
inline KestrinApp::OutputProviderFactory RefusingProviders(std::shared_ptr<RefusingDisk> disk)
{
    return [disk](KestrinApp::ExportTarget target, const std::string& outputRoot,
                         const std::vector<int>& mergeList, KestrinApp::NameStyle names)
               -> boost::shared_ptr<KestrinMIMEEngineCommon::IOutputStoreProvider> {
        return boost::make_shared<RefusingProvider>(
            KestrinApp::MakeStandardProviderFactory()(target, outputRoot, mergeList, names), disk);
    };
}

}  // namespace kestrin_test
