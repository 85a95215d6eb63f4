// A mailbox bundle read straight from the file system: its messages are the
// ".emlx" files of its message folders. In the older layout the one message
// folder is <bundle>/Messages; the newer layout (AppleMailAssetFolderV2)
// spreads them below a store-UUID folder.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include <boost/filesystem/operations.hpp>

#include "applemail/AppleAssetFolder.h"

namespace KestrinMIMEEngineCommon {

class AppleMailAssetFolderV1 : public AppleAssetFolder {
public:
    AppleMailAssetFolderV1(const std::wstring& name, const std::string& location,
                           const boost::shared_ptr<IAssetStore>& store,
                           const boost::shared_ptr<IAssetFolder>& parent);

    // Counts the message files of every message folder (a missing folder
    // counts nothing, one that cannot be listed is reported when the folder
    // is exported); answers succeeded.
    Status RefreshAssetCount() override;
    // Query kind 0: every message; other kinds: none.
    boost::shared_ptr<IAssetIterator> GetAssetIterator(
        unsigned queryKind, const boost::shared_ptr<IProgressPresenter>& presenter,
        const boost::shared_ptr<ICancelable>& cancelable,
        const boost::shared_ptr<ILogger>& logger) override;

    std::vector<std::string> GetMessageFolders();
    // Makes the folder stand for a directory that could not be read: its one
    // "message folder" is the location, which the export reports as failed.
    void StandForUnreadableDirectory();

    // The message files of one message folder in the order Apple Mail gave
    // them ids: numeric order of the names (1, 2, ..., 999, 1000), names
    // without digits last. A folder that does not exist has none; any other
    // listing failure sets ec. Several message folders' files together are
    // ordered the same way by the iterator.
    std::vector<boost::filesystem::path> ListMessageFiles(const std::string& folder,
                                                          boost::system::error_code& ec);

protected:
    // Counts with the folder lock held.
    void CountMessages();

    std::vector<std::string> m_messageFolders;
};

// One pass over a mailbox's message files, all its message folders together
// in numeric order. A message folder that cannot be listed and a message file
// that cannot be read or holds no message are failed items, each named in
// the log; incomplete messages get the WARNING block.
class AppleMailAssetFolderV1Iterator : public IAssetIterator {
public:
    AppleMailAssetFolderV1Iterator(const boost::shared_ptr<IProgressPresenter>& presenter,
                                   const boost::shared_ptr<ICancelable>& cancelable,
                                   const boost::shared_ptr<ILogger>& logger,
                                   const boost::shared_ptr<AppleMailAssetFolderV1>& folder);

    int Begin() override;
    int End() override { return 0; }
    // The message at the current position; status 2 with no item when the
    // iterator stands on nothing or the file can no longer be read.
    boost::shared_ptr<IAssetQueryResult> GetCurrent() override;
    void Increment() override;
    bool IsValid() override { return m_valid; }
    int GetUnitCount(int64_t* count) override;

private:
    boost::shared_ptr<IProgressPresenter> m_presenter;
    boost::shared_ptr<ICancelable> m_cancelable;
    boost::shared_ptr<ILogger> m_logger;
    boost::shared_ptr<AppleMailAssetFolderV1> m_folder;
    // Message folders that could not be listed, and why: the first items.
    std::vector<std::pair<std::string, std::string>> m_unlisted;
    std::vector<boost::filesystem::path> m_entries;
    size_t m_index = 0;
    bool m_valid = false;
    bool m_begun = false;
};

}  // namespace KestrinMIMEEngineCommon
