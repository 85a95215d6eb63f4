// The output store provider of the Outlook archive: one package
// "<base name>.rge" in the target folder (or "<base name> (n).rge" when that
// is taken), shared by every source store of the export.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "archive/MSEAssetStore.h"
#include "export/IOutputStoreProvider.h"
#include "export/OutputFolderCache.h"

namespace KestrinMIMEEngineCommon {

class OutputMSEStoreProvider : public IOutputStoreProvider {
public:
    // names: how the package's mail folders are named. Nothing is created
    // on disk until the first item arrives.
    OutputMSEStoreProvider(const std::string& targetFolder, const std::wstring& baseName,
                           NameStyle names = NameStyle::Ascii);
    ~OutputMSEStoreProvider() override;

    // Contacts and events (and every item when useDefaultFolder is set) go
    // to the package's default folder for their type; other items to the
    // source folder's counterpart below "Mail", mapped once per source
    // folder. Empty when the package could not be opened.
    boost::shared_ptr<IAssetFolderMutable> GetOutputFolder(
        const boost::shared_ptr<IAssetFolder>& source, const boost::shared_ptr<IAsset>& asset,
        bool useDefaultFolder) override;
    // Closes every created store, in creation order; answers succeeded.
    Status CloseStores() override;
    void KeepStoredBytes(bool keep) override { m_keepBytes = keep; }

    // Empty until the first item.
    boost::shared_ptr<MSEAssetStore> GetArchiveStore() const { return m_archive; }

private:
    bool OpenArchive(const boost::shared_ptr<IAssetStore>& sourceStore);

    std::string m_targetFolder;
    std::wstring m_baseName;
    NameStyle m_names;
    std::map<boost::shared_ptr<IAssetStore>, boost::shared_ptr<IAssetStoreMutable>> m_storeMap;
    std::vector<boost::shared_ptr<IAssetStoreMutable>> m_createdStores;
    boost::shared_ptr<MSEAssetStore> m_archive;
    OutputFolderCache m_mailFolders;
    bool m_openFailed = false;
    bool m_keepBytes = false;
};

}  // namespace KestrinMIMEEngineCommon
