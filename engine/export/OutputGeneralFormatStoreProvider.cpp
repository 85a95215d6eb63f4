#include "export/OutputGeneralFormatStoreProvider.h"

#include <boost/filesystem.hpp>
#include <boost/make_shared.hpp>

#include "formats/EMLAssetStore.h"
#include "formats/FormatsSupport.h"
#include "formats/MBOXAssetStore.h"
#include "formats/MaildirAssetStore.h"
#include "mime/KSCharsets.h"

namespace fs = boost::filesystem;

namespace KestrinMIMEEngineCommon {

OutputGeneralFormatStoreProvider::OutputGeneralFormatStoreProvider(
    const std::string& outputRoot, ExportTarget target, const std::vector<int>& mergeList, NameStyle names)
    : m_outputRoot(outputRoot),
      m_target(target),
      m_names(names)
{
}

OutputGeneralFormatStoreProvider::~OutputGeneralFormatStoreProvider() = default;

Status OutputGeneralFormatStoreProvider::OpenMailStore()
{
    if (m_mailStore || m_openResult != Status::Succeeded) return m_openResult;
    // Taking the name and making the folder are one step: "Mails" of
    // another export, or the user's own, is never written into.
    m_mailDirectory = CreateUniqueDirectory(m_outputRoot, "Mails");
    if (m_mailDirectory.empty()) {
        m_openResult = Status::Failed;
        return m_openResult;
    }
    const std::wstring name = UTF8ToWide(fs::path(m_mailDirectory).filename().string());
    boost::shared_ptr<FileTreeStoreBase> store;
    if (m_target == ExportTarget::Mbox) {
        store = boost::make_shared<MBOXAssetStore>(m_mailDirectory, name, StoreKind::Mbox);
    } else if (m_target == ExportTarget::Maildir) {
        store = boost::make_shared<MaildirAssetStore>(m_mailDirectory, name);
    } else {
        store = boost::make_shared<EMLAssetStore>(m_mailDirectory, name, true);
    }
    store->SetNameStyle(m_names);
    store->SetWriteState(!m_keepBytes);
    m_mailStore = store;
    m_openResult = m_mailStore->Open({}, {}, {}, true);
    return m_openResult;
}

boost::shared_ptr<IAssetFolderMutable> OutputGeneralFormatStoreProvider::GetOutputFolder(
    const boost::shared_ptr<IAssetFolder>& source, const boost::shared_ptr<IAsset>& asset,
    bool useDefaultFolder)
{
    if (OpenMailStore() != Status::Succeeded) return {};
    return m_outputFolders.Find(source, [&]() -> boost::shared_ptr<IAssetFolderMutable> {
        const boost::shared_ptr<IAssetStore> sourceStore = source ? source->GetStore() : nullptr;
        auto bound = m_sourceRoots.find(sourceStore);
        if (bound == m_sourceRoots.end()) {
            bound = m_sourceRoots
                        .emplace(sourceStore, boost::dynamic_pointer_cast<IAssetFolderMutable>(
                                                  m_mailStore->GetRootFolderImpl()))
                        .first;
        }
        boost::shared_ptr<IAssetFolderMutable> start = bound->second;
        return m_mailStore->MapAssetFolderRelative(source, start, true);
    });
}

Status OutputGeneralFormatStoreProvider::CloseStores()
{
    if (m_mailStore) m_mailStore->Close();
    m_outputFolders.Clear();
    return Status::Succeeded;
}

}  // namespace KestrinMIMEEngineCommon
