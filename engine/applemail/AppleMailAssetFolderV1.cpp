#include "applemail/AppleMailAssetFolderV1.h"

#include <algorithm>
#include <cctype>
#include <utility>

#include <boost/make_shared.hpp>
#include <boost/thread/lock_guard.hpp>

#include "applemail/EMLXEmailAsset.h"
#include "mime/KSCharsets.h"

namespace fs = boost::filesystem;

namespace KestrinMIMEEngineCommon {

AppleMailAssetFolderV1::AppleMailAssetFolderV1(const std::wstring& name,
                                               const std::string& location,
                                               const boost::shared_ptr<IAssetStore>& store,
                                               const boost::shared_ptr<IAssetFolder>& parent)
    : AppleAssetFolder(name, location, store, parent)
{
    SetFolderKind(kFolderKindMail);
    m_messageFolders.push_back((fs::path(location) / "Messages").string());
}

Status AppleMailAssetFolderV1::RefreshAssetCount()
{
    boost::lock_guard<boost::recursive_mutex> guard(Mutex());
    CountMessages();
    return Status::Succeeded;
}

void AppleMailAssetFolderV1::CountMessages()
{
    SetAssetCount(0);
    int64_t count = 0;
    for (const std::string& folder : m_messageFolders) {
        boost::system::error_code ec;
        count += static_cast<int64_t>(ListMessageFiles(folder, ec).size());
    }
    SetAssetCount(count);
}

std::vector<std::string> AppleMailAssetFolderV1::GetMessageFolders()
{
    boost::lock_guard<boost::recursive_mutex> guard(Mutex());
    return m_messageFolders;
}

void AppleMailAssetFolderV1::StandForUnreadableDirectory()
{
    boost::lock_guard<boost::recursive_mutex> guard(Mutex());
    m_messageFolders.assign(1, GetFolderId());
    SetAssetCount(0);
}

namespace {

// The leading digits of a message file's name without leading zeros ("" for
// none): compared by length first, any number of digits orders correctly.
std::string LeadingNumber(const fs::path& file)
{
    const std::string name = file.filename().string();
    size_t end = 0;
    while (end < name.size() && std::isdigit(static_cast<unsigned char>(name[end]))) ++end;
    size_t begin = 0;
    while (begin + 1 < end && name[begin] == '0') ++begin;
    return name.substr(begin, end - begin);
}

bool NumericOrder(const std::pair<std::string, fs::path>& a, const std::pair<std::string, fs::path>& b)
{
    if (a.first.empty() != b.first.empty()) return b.first.empty();
    if (a.first.size() != b.first.size()) return a.first.size() < b.first.size();
    if (a.first != b.first) return a.first < b.first;
    return a.second < b.second;
}

void SortNumerically(std::vector<fs::path>& files)
{
    std::vector<std::pair<std::string, fs::path>> keyed;
    keyed.reserve(files.size());
    for (fs::path& file : files) keyed.emplace_back(LeadingNumber(file), std::move(file));
    std::sort(keyed.begin(), keyed.end(), NumericOrder);
    files.clear();
    for (auto& entry : keyed) files.push_back(std::move(entry.second));
}

}  // namespace

std::vector<fs::path> AppleMailAssetFolderV1::ListMessageFiles(const std::string& folder,
                                                               boost::system::error_code& ec)
{
    ec.clear();
    std::vector<fs::path> files;
    fs::directory_iterator it(folder, ec), end;
    // A bundle without messages simply has none.
    if (ec == boost::system::errc::no_such_file_or_directory ||
        ec == boost::system::errc::not_a_directory) {
        ec.clear();
        return {};
    }
    for (; !ec && it != end; it.increment(ec))
        if (IsAssetFile(it->path().string())) files.push_back(it->path());
    SortNumerically(files);
    return files;
}

boost::shared_ptr<IAssetIterator> AppleMailAssetFolderV1::GetAssetIterator(
    unsigned queryKind, const boost::shared_ptr<IProgressPresenter>& presenter,
    const boost::shared_ptr<ICancelable>& cancelable, const boost::shared_ptr<ILogger>& logger)
{
    if (queryKind != kQueryKindNew) return {};
    // A folder that was never counted does not know its message folders yet.
    if (GetAssetCount() < 0) RefreshAssetCount();
    auto self = boost::static_pointer_cast<AppleMailAssetFolderV1>(shared_from_this());
    return boost::make_shared<AppleMailAssetFolderV1Iterator>(presenter, cancelable, logger, self);
}

AppleMailAssetFolderV1Iterator::AppleMailAssetFolderV1Iterator(
    const boost::shared_ptr<IProgressPresenter>& presenter,
    const boost::shared_ptr<ICancelable>& cancelable, const boost::shared_ptr<ILogger>& logger,
    const boost::shared_ptr<AppleMailAssetFolderV1>& folder)
    : m_presenter(presenter), m_cancelable(cancelable), m_logger(logger), m_folder(folder)
{
}

int AppleMailAssetFolderV1Iterator::Begin()
{
    if (m_begun) return 0;
    m_begun = true;
    // The newer layout spreads one mailbox over several message folders
    // (ids from 1000 on one level deeper): the whole mailbox is put in
    // numeric order, as Apple Mail numbered it.
    for (const std::string& folder : m_folder->GetMessageFolders()) {
        boost::system::error_code ec;
        std::vector<fs::path> files = m_folder->ListMessageFiles(folder, ec);
        // Its messages are unknown: one failed item names the folder.
        if (ec) m_unlisted.emplace_back(folder, ec.message());
        for (fs::path& file : files) m_entries.push_back(std::move(file));
    }
    SortNumerically(m_entries);
    m_index = 0;
    m_valid = m_index < m_unlisted.size() + m_entries.size();
    return 0;
}

void AppleMailAssetFolderV1Iterator::Increment()
{
    if (!m_valid) return;
    ++m_index;
    m_valid = m_index < m_unlisted.size() + m_entries.size();
}

boost::shared_ptr<IAssetQueryResult> AppleMailAssetFolderV1Iterator::GetCurrent()
{
    const auto failed = [](const std::string& what, const std::wstring& line) {
        return boost::make_shared<UnreadableAssetQueryResult>(UTF8ToWide(what), line);
    };
    if (!m_valid) return failed(std::string(), std::wstring());
    if (m_index < m_unlisted.size())
        return failed(m_unlisted[m_index].first,
                      L"ERROR : Cannot read mailbox folder " + UTF8ToWide(m_unlisted[m_index].first) +
                          L" - " + UTF8ToWide(m_unlisted[m_index].second));
    const std::string path = m_entries[m_index - m_unlisted.size()].string();
    auto asset = boost::make_shared<EMLXEmailAsset>(path);
    // A file that went away after listing or may not be read is a message
    // that could not be read, not an empty message written as converted.
    if (!asset->WasReadable()) return failed(path, MessageFileError(path, asset->ReadError()));
    if (!asset->HasMessage()) return failed(path, MessageFileError(path, asset->NoMessageReason()));
    if (asset->GetAssetFlags() & kAssetFlagIncomplete) LogIncompleteMessage(m_logger, path, asset);
    return boost::make_shared<NewAssetQueryResult>(asset, 1, std::string(), kQueryStatusReadable);
}

int AppleMailAssetFolderV1Iterator::GetUnitCount(int64_t* count)
{
    if (count) *count = m_folder->GetAssetCount();
    return 0;
}

}  // namespace KestrinMIMEEngineCommon
