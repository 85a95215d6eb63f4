// A directory tree of EML files: every directory a folder, every ".eml" file
// a message. The EML export target, and readable again as a store.
#pragma once

#include "formats/EMLAssetFolder.h"
#include "formats/FileTreeStoreBase.h"

namespace KestrinMIMEEngineCommon {

class EMLAssetStore : public FileTreeStoreBase {
public:
    // An empty name becomes "EML Store". With keepEmptyFolders, directories
    // without messages and sub-directories stay in the tree (the export
    // target wants every directory it finds).
    EMLAssetStore(const std::string& location, const std::wstring& name, bool keepEmptyFolders);
    ~EMLAssetStore() override;

    bool SupportsFolderKind(int kind) override { return kind == kFolderKindMail; }
    Status LoadFolderTree(const boost::shared_ptr<IProgressPresenter>& presenter,
                       const boost::shared_ptr<ICancelable>& cancelable,
                       const boost::shared_ptr<ILogger>& logger) override;

private:
    Status ScanDirectory(const boost::shared_ptr<EMLAssetFolder>& parent,
                      const boost::shared_ptr<IProgressPresenter>& presenter,
                      const boost::shared_ptr<ICancelable>& cancelable);

    bool m_keepEmptyFolders;
};

}  // namespace KestrinMIMEEngineCommon
