// Walks the messages of one mailbox file. Only the current message is held
// in memory; the file is read line by line from where the last message
// ended.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "assets/IAssetFolder.h"

namespace KestrinMIMEEngineCommon {

class KSLineReader;
class KSDataStreamOut;
template <typename T>
class KSDataLock;
template <typename Container>
class KSContainerData;
class MBOXAssetFolder;

class MBOXAssetFolderIterator : public IAssetIterator {
public:
    MBOXAssetFolderIterator(const boost::shared_ptr<IProgressPresenter>& presenter,
                            const boost::shared_ptr<ICancelable>& cancelable,
                            const boost::shared_ptr<ILogger>& logger,
                            const boost::shared_ptr<MBOXAssetFolder>& folder);
    ~MBOXAssetFolderIterator() override;

    int Begin() override;
    int End() override { return 0; }
    // A new-item result: the message with its byte count as units, or an
    // unreadable result (no item, status 2) when there is no message.
    boost::shared_ptr<IAssetQueryResult> GetCurrent() override;
    // Moves to the next message. A byte-order mark and blank lines at the
    // start are passed over; the first other line is the first separator when
    // it begins with "From ", else the first message's first line. A message
    // runs up to the next line beginning with "From ", without the one empty
    // line that ends an entry (before the next separator or at the end of
    // the file): that line belongs to the mailbox, not to the message. Empty
    // entries (two separators in a row) are passed over. A mailbox file that
    // may not be read gives one unreadable result naming it in the log.
    void Increment() override;
    bool IsValid() override { return m_valid; }
    // The folder's asset count: the mailbox size in bytes.
    int GetUnitCount(int64_t* count) override;

private:
    // Reads the next entry into the buffer; false at the end of the file.
    bool ReadEntry(const KSDataLock<KSDataStreamOut>& sink);
    // Reads up to the first separator; false when the file holds no line
    // but blank ones. A first line that is no separator is left in the buffer.
    bool SkipToFirstEntry(const boost::shared_ptr<KSContainerData<std::vector<uint8_t>>>& buffer,
                          const KSDataLock<KSDataStreamOut>& sink);
    // Takes the entry's closing empty line off the message read last.
    void DropSeparatorBlankLine();

    boost::shared_ptr<IProgressPresenter> m_presenter;
    boost::shared_ptr<ICancelable> m_cancelable;
    boost::shared_ptr<ILogger> m_logger;
    boost::shared_ptr<MBOXAssetFolder> m_folder;
    boost::shared_ptr<KSLineReader> m_reader;
    bool m_started = false;
    std::vector<uint8_t> m_message;
    // The separator lines of the current message and of the next one, as
    // the file has them (without line end); empty where there was none.
    std::string m_separator;
    std::string m_nextSeparator;
    bool m_valid = false;
    bool m_begun = false;
    std::string m_unreadable;  // why the mailbox file may not be read
};

}  // namespace KestrinMIMEEngineCommon
