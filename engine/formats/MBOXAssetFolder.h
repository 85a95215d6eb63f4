// One mailbox file of an mbox tree. A plain folder's mailbox is the file
// "Name.mbox" itself; a bundle folder (Apple Mail's mailbox-archive layout)
// is the directory "Name.mbox" holding the file "mbox". Sub-folders of
// Name.mbox live in the directory "Name" beside it.
#pragma once

#include <memory>
#include <mutex>
#include <ostream>

#include "assets/AssetFolderBase.h"
#include "formats/FormatsSupport.h"
#include "formats/OutputPaths.h"
#include "streams/KSDescriptorOut.h"

namespace KestrinMIMEEngineCommon {

class MBOXAssetFolder : public AssetFolderBase {
public:
    // path: the ".mbox" entry (file or bundle directory). An empty name
    // becomes the stem of the path. The kind is mail below a live parent,
    // root otherwise.
    MBOXAssetFolder(const std::string& path, const std::wstring& name,
                    const boost::shared_ptr<IAssetStore>& store,
                    const boost::shared_ptr<IAssetFolder>& parent, bool isDefaultFolder,
                    bool isBundle);
    ~MBOXAssetFolder() override;

    // The mailbox file's size in bytes: progress through a mailbox is
    // counted in bytes. A missing file leaves the count as it was.
    Status RefreshAssetCount() override;
    // Query kind 0: an iterator over the messages of the mailbox file.
    boost::shared_ptr<IAssetIterator> GetAssetIterator(
        unsigned queryKind, const boost::shared_ptr<IProgressPresenter>& presenter,
        const boost::shared_ptr<ICancelable>& cancelable,
        const boost::shared_ptr<ILogger>& logger) override;
    // Creates the sub-folder with a new, empty mailbox file on disk, named
    // as SubFolderNames says; asking again for the same wished name answers
    // the same sub-folder.
    boost::shared_ptr<IAssetFolderMutable> CreateSubFolder(const std::wstring& name, unsigned kind,
                                                           const std::string& sourceId) override;
    boost::shared_ptr<IAssetFolder> FindMappedSubFolder(const std::wstring& wishedName) override;
    bool BeginAddAssets(const boost::shared_ptr<IAssetFolder>& source,
                        const boost::shared_ptr<IProgressPresenter>& presenter,
                        const boost::shared_ptr<ILogger>& logger) override;
    void EndAddAssets(const boost::shared_ptr<IAssetFolder>& source,
                      const boost::shared_ptr<IProgressPresenter>& presenter,
                      const boost::shared_ptr<ILogger>& logger) override;
    // Appends the item's mbox entry: 0 written, 7 when the mailbox file
    // failed (the entry is taken back off the file), 3 otherwise.
    AddAssetResult AddAsset(const boost::shared_ptr<IAsset>& asset,
                            const boost::shared_ptr<IProgressPresenter>& presenter,
                            const boost::shared_ptr<ILogger>& logger,
                            const boost::shared_ptr<ICancelable>& cancelable,
                            const std::string& assetId) override;

    // A folder object for path + ".mbox", a bundle when the store's kind is
    // the mailbox-archive layout.
    virtual boost::shared_ptr<MBOXAssetFolder> CreateFolderObject(
        const std::string& path, const std::wstring& name,
        const boost::shared_ptr<IAssetStore>& store, const boost::shared_ptr<IAssetFolder>& parent,
        bool isDefaultFolder);
    virtual bool IsAssetFile(const std::string& path);

    const std::string& GetFolderPath() const { return m_location; }
    const std::string& GetMailboxPath() const { return m_mailboxPath; }
    bool IsBundle() const { return m_isBundle; }

    // Opens the mailbox file for appending (creating missing directories
    // the first time, while the store's folder exists); logs "Error while
    // opening file: " + path when that fails.
    bool OpenForWriting(const boost::shared_ptr<ILogger>& logger);

protected:
    // For folders that keep their mailbox file elsewhere than the two
    // layouts above (the archive package keeps it inside the folder's own
    // directory).
    MBOXAssetFolder(const std::string& path, const std::string& mailboxPath,
                    const std::wstring& name, const boost::shared_ptr<IAssetStore>& store,
                    const boost::shared_ptr<IAssetFolder>& parent, bool isDefaultFolder);

private:
    void CloseMailbox(const boost::shared_ptr<ILogger>& logger);
    // Closes the mailbox file; false when a write or the close failed.
    bool ReleaseMailbox();
    // Creates the empty mailbox file (and missing directories above it);
    // Taken when a file is already there.
    CreateOutcome CreateMailboxFile();
    std::string SubFolderPathFor(const std::wstring& safeName);

    // The mailbox file created last in an output tree, still open: its
    // folder's first opening takes it. Creating a mailbox, closing it and
    // opening it again, with the checks in between, cost two opens and
    // several file-system questions per folder. Shared by every folder of
    // the tree, so that a tree of many empty folders holds one descriptor,
    // not one per folder.
    class CreatedMailbox {
    public:
        // Keeps fd for path, closing the one kept before.
        void Put(const std::string& path, FileDescriptor fd);
        // The descriptor kept for path, else none.
        FileDescriptor Take(const std::string& path);

    private:
        std::mutex m_mutex;
        std::string m_path;
        FileDescriptor m_fd;
    };

    std::string m_mailboxPath;
    bool m_isBundle;
    std::shared_ptr<CreatedMailbox> m_created = std::make_shared<CreatedMailbox>();
    std::unique_ptr<KSDescriptorStreamBuf> m_buffer;
    std::ostream m_stream{nullptr};
    bool m_open = false;
    // Where the next entry begins: the file's end, counted as entries are
    // written (no question to the system per message); -1 when unknown.
    int64_t m_entryStart = -1;
    bool OutputFolderGone();
    bool m_mailboxMade = false;  // opened for writing once: never recreated
    SubFolderNames m_subFolderNames;
};

}  // namespace KestrinMIMEEngineCommon
