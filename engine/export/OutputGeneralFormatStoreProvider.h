// The output store provider of the mail file formats: a directory of EML
// files or a tree of mbox files below "<output root>/Mails" (or "Mails (n)"
// when that exists), mirroring the source folders.
#pragma once

#include <map>
#include <string>
#include <vector>

#include <boost/enable_shared_from_this.hpp>
#include <boost/shared_ptr.hpp>

#include "assets/IAssetStore.h"
#include "export/ExportCodes.h"
#include "export/IOutputStoreProvider.h"
#include "export/OutputFolderCache.h"

namespace KestrinMIMEEngineCommon {

class OutputGeneralFormatStoreProvider
    : public IOutputStoreProvider,
      public boost::enable_shared_from_this<OutputGeneralFormatStoreProvider> {
public:
    // Mbox writes mbox files, any other target EML files. The merge
    // list (contact and calendar merge options) is not read by mail output.
    // names: how the folders and files are named. Nothing is created on disk
    // until the first item arrives.
    OutputGeneralFormatStoreProvider(const std::string& outputRoot, ExportTarget target,
                                     const std::vector<int>& mergeList,
                                     NameStyle names = NameStyle::Ascii);
    ~OutputGeneralFormatStoreProvider() override;

    // The output folder with the source folder's chain of names below the
    // mail store's root, created on first use; empty when the mail store
    // could not be opened. Every later item of the same source folder gets
    // the same folder object without mapping it again.
    boost::shared_ptr<IAssetFolderMutable> GetOutputFolder(
        const boost::shared_ptr<IAssetFolder>& source, const boost::shared_ptr<IAsset>& asset,
        bool useDefaultFolder) override;
    Status CloseStores() override;
    void KeepStoredBytes(bool keep) override { m_keepBytes = keep; }

    // "Mails", or "Mails (n)" when that is taken; empty until the first item.
    const std::string& GetMailDirectory() const { return m_mailDirectory; }
    // Empty until the first item.
    boost::shared_ptr<IAssetStoreMutable> GetMailStore() const { return m_mailStore; }

private:
    Status OpenMailStore();

    std::string m_outputRoot;
    std::string m_mailDirectory;
    std::map<boost::shared_ptr<IAssetStore>, boost::shared_ptr<IAssetFolderMutable>> m_sourceRoots;
    boost::shared_ptr<IAssetStoreMutable> m_mailStore;
    OutputFolderCache m_outputFolders;
    ExportTarget m_target;
    NameStyle m_names;
    Status m_openResult = Status::Succeeded;
    bool m_keepBytes = false;
};

}  // namespace KestrinMIMEEngineCommon
