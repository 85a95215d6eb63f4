#include "applemail/AppleMailDirectoryStore.h"

#include <boost/algorithm/string/predicate.hpp>
#include <boost/filesystem/operations.hpp>
#include <boost/make_shared.hpp>

#include "mime/KSCharsets.h"
#include "streams/KSDiagnostics.h"

namespace fs = boost::filesystem;

namespace KestrinMIMEEngineCommon {

AppleMailDirectoryStore::AppleMailDirectoryStore(const std::string& rootPath,
                                                 const std::wstring& name, int storeKind,
                                                 const std::string& stateDatabasePath)
    : AssetStoreBase(rootPath, name.empty() ? std::wstring(L"Apple Mail Database") : name,
                     storeKind, stateDatabasePath)
{
}

int AppleMailDirectoryStore::Open(const boost::shared_ptr<IProgressPresenter>& presenter,
                                  const boost::shared_ptr<ICancelable>& cancelable,
                                  const boost::shared_ptr<ILogger>& logger, bool createLocation,
                                  const boost::shared_ptr<void>& extra1,
                                  const boost::shared_ptr<void>& extra2)
{
    return OpenAndLoadTree(presenter, cancelable, logger, createLocation, extra1, extra2);
}

int AppleMailDirectoryStore::WalkGroupFolder(const fs::path& entry,
                                             const boost::shared_ptr<AppleAssetFolder>& parent,
                                             const boost::shared_ptr<IProgressPresenter>& presenter,
                                             const boost::shared_ptr<ICancelable>& cancelable)
{
    auto group = boost::make_shared<AppleAssetFolder>(std::wstring(), entry.string(),
                                                      shared_from_this(), parent);
    const int result = Walk(entry, group, false, presenter, cancelable);
    // A directory without any mailbox below it is not shown.
    if (result == kStatusOK && group->GetSubFolderCount() > 0) parent->AddChild(group);
    return result;
}

int AppleMailDirectoryStore::BuildFolderTree(const boost::shared_ptr<IProgressPresenter>& presenter,
                                             const boost::shared_ptr<ICancelable>& cancelable,
                                             bool olderLayout)
{
    auto root = boost::make_shared<AppleAssetFolder>(UTF8ToWide(GetLocation()), std::string(),
                                                     shared_from_this(),
                                                     boost::shared_ptr<IAssetFolder>());
    const fs::path rootPath(GetLocation());
    boost::system::error_code ec;
    int result;
    if (IsBundleExtension(rootPath, olderLayout) && fs::is_directory(rootPath, ec)) {
        result = VisitGuarded(rootPath, root, false, presenter, cancelable);
        if (result == kNotAFolder) result = kStatusOK;
    } else {
        result = Walk(rootPath, root, false, presenter, cancelable);
    }
    SetRootFolder(root);
    return result;
}

int AppleMailDirectoryStore::Walk(const fs::path& dir,
                                  const boost::shared_ptr<AppleAssetFolder>& parent,
                                  bool insideMailbox,
                                  const boost::shared_ptr<IProgressPresenter>& presenter,
                                  const boost::shared_ptr<ICancelable>& cancelable)
{
    if (presenter) presenter->PostItemMessage(UTF8ToWide(dir.string()));
    int result = kStatusOK;
    try {
        for (fs::directory_iterator it(dir), end; it != end; ++it) {
            if (cancelable && cancelable->IsCanceled()) return kStatusCanceled;
            const int visited = VisitGuarded(it->path(), parent, insideMailbox, presenter, cancelable);
            if (visited != kNotAFolder) result = visited;
        }
    } catch (const std::exception& error) {
        // The folders added so far stay; the store still opens.
        KSDiagnostic("%s ERROR: Cannot list mailbox folder %s - %s\n", dir.c_str(), error.what());
    }
    return result;
}

int AppleMailDirectoryStore::VisitGuarded(const fs::path& entry,
                                          const boost::shared_ptr<AppleAssetFolder>& parent,
                                          bool insideMailbox,
                                          const boost::shared_ptr<IProgressPresenter>& presenter,
                                          const boost::shared_ptr<ICancelable>& cancelable)
{
    try {
        return VisitEntry(entry, parent, insideMailbox, presenter, cancelable);
    } catch (const std::exception& error) {
        KSDiagnostic("%s ERROR: Skipped unreadable mailbox folder %s - %s\n", entry.c_str(),
                     error.what());
    }
    return kNotAFolder;
}

bool AppleMailDirectoryStore::IsBundleExtension(const fs::path& path, bool olderLayout)
{
    const std::string extension = path.extension().string();
    if (boost::algorithm::iequals(extension, ".mbox")) return true;
    return olderLayout && (boost::algorithm::iequals(extension, ".imapmbox") ||
                           boost::algorithm::iequals(extension, ".rssmbox"));
}

}  // namespace KestrinMIMEEngineCommon
