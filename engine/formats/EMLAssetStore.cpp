#include "formats/EMLAssetStore.h"

#include <boost/filesystem.hpp>
#include <boost/make_shared.hpp>

#include "mime/KSCharsets.h"
#include "streams/KSFileSystem.h"

namespace fs = boost::filesystem;

namespace KestrinMIMEEngineCommon {

EMLAssetStore::EMLAssetStore(const std::string& location, const std::wstring& name,
                             bool keepEmptyFolders)
    : FileTreeStoreBase(location, name.empty() ? std::wstring(L"EML Store") : name, StoreKind::Eml),
      m_keepEmptyFolders(keepEmptyFolders)
{
}

EMLAssetStore::~EMLAssetStore() = default;

Status EMLAssetStore::LoadFolderTree(const boost::shared_ptr<IProgressPresenter>& presenter,
                                  const boost::shared_ptr<ICancelable>& cancelable,
                                  const boost::shared_ptr<ILogger>& logger)
{
    auto root = boost::make_shared<EMLAssetFolder>(GetLocation(), shared_from_this(),
                                                   boost::shared_ptr<IAssetFolder>(), true);
    root->RefreshAssetCount();
    SetRootFolder(root);
    return ScanDirectory(root, presenter, cancelable);
}

Status EMLAssetStore::ScanDirectory(const boost::shared_ptr<EMLAssetFolder>& parent,
                                 const boost::shared_ptr<IProgressPresenter>& presenter,
                                 const boost::shared_ptr<ICancelable>& cancelable)
{
    if (presenter) presenter->PostItemMessage(UTF8ToWide(parent->GetDirectory()));
    boost::system::error_code ec;
    for (fs::directory_iterator it(parent->GetDirectory(), ec), end; !ec && it != end;
         it.increment(ec)) {
        if (cancelable && cancelable->IsCanceled()) return Status::Canceled;
        boost::system::error_code statusError;
        if (SkipSymbolicLink(it->path().string()) || !fs::is_directory(it->path(), statusError))
            continue;

        auto folder = boost::make_shared<EMLAssetFolder>(it->path().string(), shared_from_this(),
                                                         parent, false);
        folder->RefreshAssetCount();
        const Status result = ScanDirectory(folder, presenter, cancelable);
        if (result != Status::Succeeded) return result;
        if (m_keepEmptyFolders || folder->GetAssetCount() != 0 || folder->GetSubFolderCount() != 0)
            parent->AddChild(folder);
    }
    return Status::Succeeded;
}

}  // namespace KestrinMIMEEngineCommon
