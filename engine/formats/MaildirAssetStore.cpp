#include "formats/MaildirAssetStore.h"

#include <boost/make_shared.hpp>

namespace KestrinMIMEEngineCommon {

MaildirAssetStore::MaildirAssetStore(const std::string& location, const std::wstring& name)
    : FileTreeStoreBase(location, name.empty() ? std::wstring(L"Maildir") : name, StoreKind::Maildir)
{
}

MaildirAssetStore::~MaildirAssetStore() = default;

Status MaildirAssetStore::LoadFolderTree(const boost::shared_ptr<IProgressPresenter>& presenter,
                                         const boost::shared_ptr<ICancelable>& cancelable,
                                         const boost::shared_ptr<ILogger>& logger)
{
    if (!MakeMaildirDirectories(GetLocation(), false)) return Status::Failed;
    auto root = boost::make_shared<MaildirAssetFolder>(GetLocation(), std::string(), std::wstring(),
                                                       shared_from_this(),
                                                       boost::shared_ptr<IAssetFolder>(), true);
    root->RefreshAssetCount();
    SetRootFolder(root);
    return Status::Succeeded;
}

}  // namespace KestrinMIMEEngineCommon
