// A mail folder of the archive package. Unlike a plain mbox tree, every
// folder is a directory, and its mailbox file lies inside it, named after
// the directory: "Mail/Inbox/Inbox.mbox", with Inbox's sub-folders beside
// that file ("Mail/Inbox/Work/Work.mbox").
#pragma once

#include "formats/MBOXAssetFolder.h"

namespace KestrinMIMEEngineCommon {

class MSEMailAssetFolder : public MBOXAssetFolder {
public:
    // path: the folder's directory. An empty name becomes the directory's
    // name.
    MSEMailAssetFolder(const std::string& path, const std::wstring& name,
                       const boost::shared_ptr<IAssetStore>& store,
                       const boost::shared_ptr<IAssetFolder>& parent, bool isDefaultFolder);
    ~MSEMailAssetFolder() override;

    // The mailbox file is opened by the first item, not in advance: a
    // folder the store made (such as "Mail") gets no mailbox file unless a
    // message is mapped to it.
    bool BeginAddAssets(const boost::shared_ptr<IAssetFolder>& source,
                        const boost::shared_ptr<IProgressPresenter>& presenter,
                        const boost::shared_ptr<ILogger>& logger) override;
    // Marks the mailbox file as Outlook's mailbox and closes it; the next
    // item reopens it for appending.
    void EndAddAssets(const boost::shared_ptr<IAssetFolder>& source,
                      const boost::shared_ptr<IProgressPresenter>& presenter,
                      const boost::shared_ptr<ILogger>& logger) override;

    // A sub-folder over path itself (no extension added).
    boost::shared_ptr<MBOXAssetFolder> CreateFolderObject(
        const std::string& path, const std::wstring& name,
        const boost::shared_ptr<IAssetStore>& store, const boost::shared_ptr<IAssetFolder>& parent,
        bool isDefaultFolder) override;

    // path/<last component of path>.mbox
    static std::string MailboxPathFor(const std::string& path);
};

}  // namespace KestrinMIMEEngineCommon
