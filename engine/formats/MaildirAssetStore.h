// A Maildir++ tree as an export target: the root Maildir at the location,
// every folder a Maildir ".Parent.Child" beside it (see MaildirAssetFolder).
#pragma once

#include "formats/FileTreeStoreBase.h"
#include "formats/MaildirAssetFolder.h"

namespace KestrinMIMEEngineCommon {

class MaildirAssetStore : public FileTreeStoreBase {
public:
    // An empty name becomes "Maildir".
    MaildirAssetStore(const std::string& location, const std::wstring& name);
    ~MaildirAssetStore() override;

    bool SupportsFolderKind(int kind) override { return kind == kFolderKindMail; }
    // Makes the location a Maildir (cur/, new/, tmp/) and its root folder.
    // The tree starts there: the store holds the folders it makes, so a
    // location is given to it fresh.
    Status LoadFolderTree(const boost::shared_ptr<IProgressPresenter>& presenter,
                          const boost::shared_ptr<ICancelable>& cancelable,
                          const boost::shared_ptr<ILogger>& logger) override;
};

}  // namespace KestrinMIMEEngineCommon
