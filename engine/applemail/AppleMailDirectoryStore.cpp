#include "applemail/AppleMailDirectoryStore.h"

#include <boost/algorithm/string/predicate.hpp>
#include <boost/filesystem/operations.hpp>
#include <boost/make_shared.hpp>

#include "applemail/AppleMailAssetFolderV1.h"
#include "formats/MBOXAssetFolder.h"
#include "formats/MBOXAssetStore.h"
#include "mime/KSCharsets.h"
#include "streams/KSDiagnostics.h"
#include "streams/KSFileSystem.h"

namespace fs = boost::filesystem;

namespace KestrinMIMEEngineCommon {

namespace {

// Gone (or never there) rather than unreadable: nothing of the user's is hidden.
bool IsMissing(const boost::system::error_code& ec)
{
    return ec == boost::system::errc::no_such_file_or_directory ||
           ec == boost::system::errc::not_a_directory;
}

}  // namespace

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

void AppleMailDirectoryStore::AddUnreadableFolder(const fs::path& dir,
                                                   const boost::shared_ptr<AssetFolderBase>& parent)
{
    auto folder = boost::make_shared<AppleMailAssetFolderV1>(std::wstring(), dir.string(),
                                                             shared_from_this(), parent);
    folder->StandForUnreadableDirectory();
    parent->AddChild(folder);
}

int AppleMailDirectoryStore::WalkGroupFolder(const fs::path& entry,
                                             const boost::shared_ptr<AssetFolderBase>& parent,
                                             const boost::shared_ptr<IProgressPresenter>& presenter,
                                             const boost::shared_ptr<ICancelable>& cancelable)
{
    boost::system::error_code ec;
    fs::directory_iterator probe(entry, ec);
    if (ec && !IsMissing(ec)) {
        AddUnreadableFolder(entry, parent);
        return kStatusOK;
    }
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
                                  const boost::shared_ptr<AssetFolderBase>& parent,
                                  bool insideMailbox,
                                  const boost::shared_ptr<IProgressPresenter>& presenter,
                                  const boost::shared_ptr<ICancelable>& cancelable)
{
    if (presenter) presenter->PostItemMessage(UTF8ToWide(dir.string()));
    int result = kStatusOK;
    boost::system::error_code ec;
    fs::directory_iterator listing(dir, ec);
    if (ec) {
        KSDiagnostic("%s ERROR: Cannot list mailbox folder %s - %s\n", dir.c_str(), ec.message().c_str());
        if (!insideMailbox && !IsMissing(ec)) AddUnreadableFolder(dir, parent);
        return result;
    }
    try {
        for (fs::directory_iterator it = listing, end; it != end; ++it) {
            if (cancelable && cancelable->IsCanceled()) return kStatusCanceled;
            if (SkipSymbolicLink(it->path().string())) continue;
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
                                          const boost::shared_ptr<AssetFolderBase>& parent,
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

boost::shared_ptr<AssetFolderBase> AppleMailDirectoryStore::AddExportedMailbox(const fs::path& entry,
                                                  const boost::shared_ptr<AssetFolderBase>& parent)
{
    boost::system::error_code ec;
    if (!MBOXAssetStore::HoldsMailboxFile((entry / "mbox").string()) ||
        fs::is_directory(entry / "Messages", ec))
        return {};
    auto mailbox = boost::make_shared<MBOXAssetFolder>(entry.string(), std::wstring(),
                                                       shared_from_this(), parent, false, true);
    mailbox->RefreshAssetCount();
    parent->AddChild(mailbox);
    return mailbox;
}

bool AppleMailDirectoryStore::IsBundleExtension(const fs::path& path, bool olderLayout)
{
    const std::string extension = path.extension().string();
    if (boost::algorithm::iequals(extension, ".mbox")) return true;
    return olderLayout && (boost::algorithm::iequals(extension, ".imapmbox") ||
                           boost::algorithm::iequals(extension, ".rssmbox"));
}

}  // namespace KestrinMIMEEngineCommon
