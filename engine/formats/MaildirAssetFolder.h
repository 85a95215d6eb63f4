// One Maildir of a Maildir++ tree: the root Maildir is the store's root
// folder, and every folder below it is a Maildir of its own directly under
// the root, named "." + the names of its chain of folders joined by "."
// (".Parent.Child"), with an empty "maildirfolder" file, as Dovecot's stock
// "maildir:" location, Courier, mutt and notmuch expect.
#pragma once

#include <atomic>

#include "assets/AssetFolderBase.h"
#include "formats/OutputPaths.h"

namespace KestrinMIMEEngineCommon {

class MaildirAssetFolder : public AssetFolderBase {
public:
    // directory: the Maildir (holding cur/, new/ and tmp/); dottedName: its
    // Maildir++ name below the root (".Parent.Child"), empty for the root.
    // name: the folder's own name.
    MaildirAssetFolder(const std::string& directory, const std::string& dottedName,
                       const std::wstring& name, const boost::shared_ptr<IAssetStore>& store,
                       const boost::shared_ptr<IAssetFolder>& parent, bool isDefaultFolder);
    ~MaildirAssetFolder() override;

    // The Maildir's own place below the store's location ("/.Parent.Child/",
    // "/" for the root and the inbox), so that the log names the directory a
    // person opens.
    std::wstring GetPath() override;
    // Counts the messages in cur/ and new/. Always answers succeeded.
    Status RefreshAssetCount() override;
    // A new Maildir beside this one's, named this folder's dotted name + "."
    // + the sanitised name (numbered when another wished name took it, see
    // SubFolderNames); asking again for the same wished name answers the same
    // sub-folder. A folder named INBOX (in any case) directly below the root
    // writes into the root Maildir, which readers show as INBOX, and its
    // sub-folders are ".INBOX.Child".
    boost::shared_ptr<IAssetFolderMutable> CreateSubFolder(const std::wstring& name, unsigned kind,
                                                           const std::string& sourceId) override;
    boost::shared_ptr<IAssetFolder> FindMappedSubFolder(const std::wstring& wishedName) override;
    // Writes the stored bytes into tmp/, gives the file the received time,
    // and moves it into cur/ under its Maildir name with the message's flags.
    // Nothing already on disk is written over. The text of the result is the
    // file's path in cur/.
    AddAssetResult AddAsset(const boost::shared_ptr<IAsset>& asset,
                            const boost::shared_ptr<IProgressPresenter>& presenter,
                            const boost::shared_ptr<ILogger>& logger,
                            const boost::shared_ptr<ICancelable>& cancelable,
                            const std::string& assetId) override;

    const std::string& GetDirectory() const { return m_location; }

private:
    std::string m_dottedName;
    SubFolderNames m_subFolderNames;
    // The store's output root and the host part of file names, found at the
    // first message.
    std::string m_outputRoot;
    std::string m_host;
};

// Makes cur/, new/ and tmp/ in an existing directory (those already there
// are kept); with subFolder also the empty "maildirfolder" file. False, with
// a diagnostic, when one of them cannot be made.
bool MakeMaildirDirectories(const std::string& directory, bool subFolder);

}  // namespace KestrinMIMEEngineCommon
