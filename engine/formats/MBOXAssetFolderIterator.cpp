#include "formats/MBOXAssetFolderIterator.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <unistd.h>

#include <boost/core/null_deleter.hpp>
#include <boost/filesystem.hpp>
#include <boost/make_shared.hpp>

#include "formats/MBOXAssetFolder.h"
#include "formats/MBOXEmailAsset.h"
#include "streams/KSContainerData.h"
#include "streams/KSFileData.h"
#include "streams/Platform.h"
#include "mime/KSCharsets.h"
#include "streams/KSLineReader.h"

namespace fs = boost::filesystem;

namespace KestrinMIMEEngineCommon {

MBOXAssetFolderIterator::MBOXAssetFolderIterator(
    const boost::shared_ptr<IProgressPresenter>& presenter,
    const boost::shared_ptr<ICancelable>& cancelable, const boost::shared_ptr<ILogger>& logger,
    const boost::shared_ptr<MBOXAssetFolder>& folder)
    : m_presenter(presenter), m_cancelable(cancelable), m_logger(logger), m_folder(folder)
{
}

MBOXAssetFolderIterator::~MBOXAssetFolderIterator() = default;

int MBOXAssetFolderIterator::Begin()
{
    if (!m_begun) {
        m_begun = true;
        Increment();
    }
    return 0;
}

int MBOXAssetFolderIterator::GetUnitCount(int64_t* count)
{
    if (count) *count = m_folder ? m_folder->GetAssetCount() : 0;
    return 0;
}

boost::shared_ptr<IAssetQueryResult> MBOXAssetFolderIterator::GetCurrent()
{
    if (!m_unreadable.empty()) {
        const std::wstring mailbox = UTF8ToWide(m_folder->GetMailboxPath());
        return boost::make_shared<UnreadableAssetQueryResult>(
            mailbox, L"ERROR : Cannot read mailbox file " + mailbox + L" - " + UTF8ToWide(m_unreadable));
    }
    if (m_message.empty()) {
        return boost::make_shared<NewAssetQueryResult>(boost::shared_ptr<IAsset>(), 0, std::string(),
                                                       kQueryStatusUnreadable);
    }
    auto asset = boost::make_shared<MBOXEmailAsset>(m_message, m_separator);
    const uint64_t units = asset->GetSize();
    return boost::make_shared<NewAssetQueryResult>(asset, units, std::string(),
                                                   kQueryStatusReadable);
}

void MBOXAssetFolderIterator::Increment()
{
    m_valid = false;
    m_unreadable.clear();
    m_message.clear();
    if (!m_folder) return;
    const std::string& path = m_folder->GetMailboxPath();

    // The sink writes into the iterator's own buffer.
    auto buffer = boost::make_shared<KSContainerData<std::vector<uint8_t>>>(
        boost::shared_ptr<std::vector<uint8_t>>(&m_message, boost::null_deleter()));
    KSDataLock<KSDataStreamOut> sink(buffer);

    if (!m_started) {
        m_started = true;
        boost::system::error_code ec;
        // A folder that stands for a directory, or whose mailbox file was
        // never written, simply has no messages.
        const fs::file_type type = fs::status(path, ec).type();
        if (type == fs::file_not_found || type == fs::directory_file) return;
        // A mailbox file that may not be read, or a FIFO, socket or device in
        // its place, holds messages nobody can count: one failed item names it.
        int error = 0;
        if (!Platform::OpenRegularFileForReading(path, error)) {
            m_unreadable = Platform::ErrorText(error);
            m_valid = true;
            return;
        }
        m_reader = boost::make_shared<KSLineReader>(boost::make_shared<KSFileData>(path));
        if (!SkipToFirstEntry(buffer, sink)) {
            m_reader.reset();
            return;
        }
    }
    if (!m_reader) return;

    // An empty entry is skipped rather than taken for the end of the file:
    // every message after it would otherwise be lost without a word.
    for (;;) {
        m_separator.swap(m_nextSeparator);
        m_nextSeparator.clear();
        const bool more = ReadEntry(sink);
        if (!m_message.empty()) {
            m_valid = true;
            return;
        }
        if (!more) {
            m_reader.reset();
            return;
        }
        buffer->Seek(0, 0);
    }
}

bool MBOXAssetFolderIterator::SkipToFirstEntry(
    const boost::shared_ptr<KSContainerData<std::vector<uint8_t>>>& buffer,
    const KSDataLock<KSDataStreamOut>& sink)
{
    static const uint8_t kByteOrderMark[] = {0xEF, 0xBB, 0xBF};
    bool first = true;
    for (;;) {
        m_message.clear();
        buffer->Seek(0, 0);
        const bool terminated = m_reader->ReadLine(sink);
        if (!terminated && m_message.empty()) return false;
        // Editors and some exporters put a byte-order mark or blank lines
        // before the first separator.
        size_t skip = 0;
        if (first && m_message.size() >= 3 && std::equal(kByteOrderMark, kByteOrderMark + 3, m_message.begin()))
            skip = 3;
        first = false;
        const std::vector<uint8_t> line(m_message.begin() + static_cast<std::ptrdiff_t>(skip), m_message.end());
        const bool blank = std::all_of(line.begin(), line.end(), [](uint8_t c) {
            return c == ' ' || c == '\t' || c == '\r';
        });
        if (blank) {
            if (!terminated) return false;
            continue;
        }
        m_message.clear();
        buffer->Seek(0, 0);
        // The separator is not part of the message; any other first line is
        // the first message's first header.
        if (line.size() >= 5 && std::memcmp(line.data(), "From ", 5) == 0) {
            m_nextSeparator.assign(line.begin(), line.end());
            return true;
        }
        // The first message had no separator: its first line stays part of
        // it, with a line end only where the file had one.
        sink->Write(line.data(), line.size());
        if (terminated) sink->Write("\n", 1);
        return true;
    }
}

bool MBOXAssetFolderIterator::ReadEntry(const KSDataLock<KSDataStreamOut>& sink)
{
    for (;;) {
        const size_t lineStart = m_message.size();
        if (!m_reader->ReadLine(sink)) {
            // A last line without line end is the message's own.
            if (m_message.size() == lineStart) DropSeparatorBlankLine();
            return false;
        }
        if (m_message.size() - lineStart >= 5 &&
            std::memcmp(m_message.data() + lineStart, "From ", 5) == 0) {
            // The next entry's separator: not part of this message.
            m_nextSeparator.assign(m_message.begin() + static_cast<std::ptrdiff_t>(lineStart), m_message.end());
            m_message.resize(lineStart);
            DropSeparatorBlankLine();
            return true;
        }
        sink->Write("\n", 1);
    }
}

void MBOXAssetFolderIterator::DropSeparatorBlankLine()
{
    const size_t n = m_message.size();
    if ((n == 1 && m_message[0] == '\n') || (n >= 2 && m_message[n - 1] == '\n' && m_message[n - 2] == '\n'))
        m_message.pop_back();
}

}  // namespace KestrinMIMEEngineCommon
