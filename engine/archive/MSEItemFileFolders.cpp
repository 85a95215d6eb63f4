#include "archive/MSEItemFileFolders.h"

#include <boost/filesystem.hpp>
#include <boost/thread/lock_guard.hpp>

namespace fs = boost::filesystem;

namespace KestrinMIMEEngineCommon {

MSEItemFileFolder::MSEItemFileFolder(const std::string& path, const std::wstring& name,
                                     const boost::shared_ptr<IAssetStore>& store,
                                     const boost::shared_ptr<IAssetFolder>& parent,
                                     bool isDefaultFolder, int kind)
    : AssetFolderBase(name, path, store, parent, isDefaultFolder)
{
    SetFolderKind(kind);
}

Status MSEItemFileFolder::RefreshAssetCount()
{
    boost::lock_guard<boost::recursive_mutex> guard(Mutex());
    boost::system::error_code ec;
    fs::directory_iterator entry(GetFolderId(), ec);
    if (ec) return Status::Succeeded;
    int64_t count = 0;
    for (; entry != fs::directory_iterator(); entry.increment(ec)) {
        if (ec) return Status::Succeeded;
        const std::string name = entry->path().filename().string();
        if (!name.empty() && name[0] != '.') ++count;
    }
    SetAssetCount(count);
    return Status::Succeeded;
}

MSEVCFAssetFolder::MSEVCFAssetFolder(const std::string& path, const std::wstring& name,
                                     const boost::shared_ptr<IAssetStore>& store,
                                     const boost::shared_ptr<IAssetFolder>& parent,
                                     bool isDefaultFolder)
    : MSEItemFileFolder(path, name, store, parent, isDefaultFolder, kFolderKindGeneric)
{
}

Status MSEVCFAssetFolder::RefreshAssetCount()
{
    boost::lock_guard<boost::recursive_mutex> guard(Mutex());
    const Status result = MSEItemFileFolder::RefreshAssetCount();
    if (GetAssetCount() > 0) SetFolderKind(kFolderKindContacts);
    return result;
}

MSEICSAssetFolder::MSEICSAssetFolder(const std::string& path, const std::wstring& name,
                                     const boost::shared_ptr<IAssetStore>& store,
                                     const boost::shared_ptr<IAssetFolder>& parent,
                                     bool isDefaultFolder)
    : MSEItemFileFolder(path, name, store, parent, isDefaultFolder, kFolderKindCalendar)
{
}

}  // namespace KestrinMIMEEngineCommon
