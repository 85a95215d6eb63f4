// The Outlook archive package ("<name>.rge"): a folder holding the
// descriptor files, the mail as one mailbox file per folder below "Mail",
// and the (empty) "Contacts" and "Calendar" folders Outlook expects.
#pragma once

#include "archive/MSEItemFileFolders.h"
#include "archive/MSEMailAssetFolder.h"
#include "formats/FileTreeStoreBase.h"

namespace KestrinMIMEEngineCommon {

class MSEAssetStore : public FileTreeStoreBase {
public:
    // An empty name becomes "Entourage Archive".
    MSEAssetStore(const std::string& packagePath, const std::wstring& name);
    ~MSEAssetStore() override;

    // With createLocation the package gets its folders and descriptor files
    // (any that are there already are kept), then the tree is built from
    // what is on disk.
    Status Open(const boost::shared_ptr<IProgressPresenter>& presenter,
             const boost::shared_ptr<ICancelable>& cancelable,
             const boost::shared_ptr<ILogger>& logger, bool createLocation) override;
    // Also lets go of the three default folders, so every mailbox file is
    // closed.
    Status Close() override;

    bool SupportsFolderKind(int kind) override
    {
        return kind == kFolderKindCalendar || kind == kFolderKindContacts;
    }
    // Contacts for contact items, Calendar for events, Mail for anything
    // else. With create, the package's descriptor files and the folder are
    // made when missing.
    boost::shared_ptr<IAssetFolderMutable> GetDefaultFolderMutable(int assetType,
                                                                   bool create) override;
    // Calendar and contacts folders map onto the package's own; every other
    // folder is rebuilt with its chain of names below "Mail".
    using AssetStoreBase::MapAssetFolderRelative;
    boost::shared_ptr<IAssetFolderMutable> MapAssetFolderRelative(
        const boost::shared_ptr<IAssetFolder>& source, bool create) override;
    Status LoadFolderTree(const boost::shared_ptr<IProgressPresenter>& presenter,
                       const boost::shared_ptr<ICancelable>& cancelable,
                       const boost::shared_ptr<ILogger>& logger) override;

    boost::shared_ptr<MSEMailAssetFolder> GetMailFolder();
    boost::shared_ptr<MSEVCFAssetFolder> GetContactsFolder();
    boost::shared_ptr<MSEICSAssetFolder> GetCalendarFolder();

private:
    bool CreatePackage();
    Status LoadMailFolders(const boost::shared_ptr<MSEMailAssetFolder>& parent,
                        const boost::shared_ptr<IProgressPresenter>& presenter,
                        const boost::shared_ptr<ICancelable>& cancelable);
    // The folder of an existing "Contacts" or "Calendar" directory, counted.
    template <typename Folder>
    Status LoadItemFolder(const boost::shared_ptr<MSEMailAssetFolder>& root, const std::wstring& name);
    template <typename Folder>
    boost::shared_ptr<Folder> MakeDefaultFolder(const std::wstring& name);
    std::string PathInPackage(const std::wstring& name) const;

    bool m_createPackage = false;
    boost::shared_ptr<MSEMailAssetFolder> m_mailFolder;
    boost::shared_ptr<MSEVCFAssetFolder> m_contactsFolder;
    boost::shared_ptr<MSEICSAssetFolder> m_calendarFolder;
};

}  // namespace KestrinMIMEEngineCommon
