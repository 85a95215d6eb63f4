#include "archive/OutputMSEStoreProvider.h"

#include <boost/filesystem.hpp>
#include <boost/make_shared.hpp>

#include "formats/FormatsSupport.h"
#include "mime/KSCharsets.h"

namespace fs = boost::filesystem;

namespace KestrinMIMEEngineCommon {

OutputMSEStoreProvider::OutputMSEStoreProvider(const std::string& targetFolder,
                                               const std::wstring& baseName, NameStyle names)
    : m_targetFolder(targetFolder), m_baseName(baseName), m_names(names)
{
}

OutputMSEStoreProvider::~OutputMSEStoreProvider() = default;

bool OutputMSEStoreProvider::OpenArchive(const boost::shared_ptr<IAssetStore>& sourceStore)
{
    if (m_archive) return true;
    // A package that failed to open is not tried again: every retry would
    // leave another numbered package behind.
    if (m_openFailed) return false;
    // Taking the name and making the package folder are one step.
    const std::string packagePath = CreateUniqueDirectory(m_targetFolder, WideToUTF8(m_baseName), ".rge");
    if (packagePath.empty()) {
        m_openFailed = true;
        return false;
    }
    auto archive = boost::make_shared<MSEAssetStore>(
        packagePath, UTF8ToWide(fs::path(packagePath).filename().string()));
    archive->SetNameStyle(m_names);
    archive->SetWriteState(!m_keepBytes);
    if (archive->Open({}, {}, {}, true) != Status::Succeeded) {
        m_openFailed = true;
        return false;
    }
    m_archive = archive;
    m_storeMap[sourceStore] = archive;
    m_createdStores.push_back(archive);
    return true;
}

boost::shared_ptr<IAssetFolderMutable> OutputMSEStoreProvider::GetOutputFolder(
    const boost::shared_ptr<IAssetFolder>& source, const boost::shared_ptr<IAsset>& asset,
    bool useDefaultFolder)
{
    if (!OpenArchive(source ? source->GetStore() : boost::shared_ptr<IAssetStore>())) return {};
    const int assetType = asset ? asset->GetAssetType() : kAssetTypeEmail;
    if (assetType == kAssetTypeContact || assetType == kAssetTypeCalendarEvent || useDefaultFolder)
        return m_archive->GetDefaultFolderMutable(assetType, true);
    return m_mailFolders.Find(source, [&] { return m_archive->MapAssetFolderRelative(source, true); });
}

Status OutputMSEStoreProvider::CloseStores()
{
    for (const auto& store : m_createdStores) store->Close();
    m_mailFolders.Clear();
    return Status::Succeeded;
}

}  // namespace KestrinMIMEEngineCommon
