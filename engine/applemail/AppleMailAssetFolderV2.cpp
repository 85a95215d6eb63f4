#include "applemail/AppleMailAssetFolderV2.h"

#include <algorithm>

#include <boost/algorithm/string/predicate.hpp>
#include <boost/thread/lock_guard.hpp>

#include "streams/KSFileSystem.h"

namespace fs = boost::filesystem;

namespace KestrinMIMEEngineCommon {

namespace {

// A level of the store folder has a few entries (digit folders, Messages,
// Attachments); sorted, the message folders come out in the same order on
// every file system.
std::vector<fs::path> SortedFolderEntries(const fs::path& folder, boost::system::error_code& ec)
{
    std::vector<fs::path> entries;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        if (!SkipSymbolicLink(it->path().string())) entries.push_back(it->path());
    std::sort(entries.begin(), entries.end());
    return entries;
}

}  // namespace

bool AppleMailAssetFolderV2::IsStoreUUIDName(const std::string& name)
{
    return name.size() == 36 && name[8] == '-' && name[13] == '-';
}

Status AppleMailAssetFolderV2::RefreshAssetCount()
{
    boost::lock_guard<boost::recursive_mutex> guard(Mutex());
    m_messageFolders.clear();
    boost::system::error_code ec;
    const std::vector<fs::path> entries = SortedFolderEntries(GetFolderId(), ec);
    // A bundle that cannot be read stays a folder of its own; listing it
    // again at export time names it as failed.
    if (ec) m_messageFolders.push_back(GetFolderId());
    // A bundle moved between Macs or accounts can hold more than one store
    // folder: the messages of each are the mailbox's, and so are those an
    // older Mail left in the bundle's own "Messages" folder.
    for (const fs::path& entry : entries) {
        const std::string name = entry.filename().string();
        if (IsStoreUUIDName(name) || boost::algorithm::iequals(name, "Messages")) CollectMessageFolders(entry);
    }
    CountMessages();
    return Status::Succeeded;
}

void AppleMailAssetFolderV2::CollectMessageFolders(const fs::path& path)
{
    boost::system::error_code ec;
    if (!fs::is_directory(path, ec)) return;
    const std::string name = path.filename().string();
    if (boost::algorithm::iequals(name, "Attachments")) return;
    if (boost::algorithm::iequals(name, "Messages")) {
        m_messageFolders.push_back(path.string());
        // Only message files live inside; no need to look at each of them.
        return;
    }
    const std::vector<fs::path> entries = SortedFolderEntries(path, ec);
    // Messages may lie below a level that cannot be listed: the export
    // reports it instead of passing over it.
    if (ec) m_messageFolders.push_back(path.string());
    for (const fs::path& entry : entries) CollectMessageFolders(entry);
}

}  // namespace KestrinMIMEEngineCommon
