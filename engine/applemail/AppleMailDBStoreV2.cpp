#include "applemail/AppleMailDBStoreV2.h"

#include <boost/filesystem/operations.hpp>
#include <boost/make_shared.hpp>

#include "applemail/AppleMailAssetFolderV2.h"
#include "mime/KSCharsets.h"

namespace fs = boost::filesystem;

namespace KestrinMIMEEngineCommon {

AppleMailDBStoreV2::AppleMailDBStoreV2(const std::string& rootPath, const std::wstring& name,
                                       const std::string& stateDatabasePath)
    : AppleMailDirectoryStore(rootPath, name, kStoreTypeAppleMailV2, stateDatabasePath)
{
}

int AppleMailDBStoreV2::LoadFolderTree(const boost::shared_ptr<IProgressPresenter>& presenter,
                                       const boost::shared_ptr<ICancelable>& cancelable,
                                       const boost::shared_ptr<ILogger>& logger)
{
    BuildFolderTree(presenter, cancelable, false);
    return cancelable && cancelable->IsCanceled() ? kStatusCanceled : kStatusOK;
}

int AppleMailDBStoreV2::VisitEntry(const fs::path& entry,
                                   const boost::shared_ptr<AssetFolderBase>& parent,
                                   bool insideMailbox,
                                   const boost::shared_ptr<IProgressPresenter>& presenter,
                                   const boost::shared_ptr<ICancelable>& cancelable)
{
    boost::system::error_code ec;
    if (!fs::is_directory(entry, ec)) return kNotAFolder;
    // Hidden folders, AppleDouble companions ("._") among them.
    const std::string name = entry.filename().string();
    if (name.empty() || name[0] == '.') return kNotAFolder;
    if (presenter) presenter->PostItemMessage(UTF8ToWide(entry.string()));

    // Exported mailboxes kept beside Apple Mail's own are read as well, and
    // so are mailboxes inside them.
    if (auto exported = AddExportedMailbox(entry, parent))
        return Walk(entry, exported, false, presenter, cancelable);
    if (IsBundleExtension(entry, false)) {
        auto mailbox = boost::make_shared<AppleMailAssetFolderV2>(
            UTF8ToWide(entry.stem().string()), entry.string(), shared_from_this(), parent);
        const int result = mailbox->RefreshAssetCount();
        if (result == kStatusOK) {
            parent->AddChild(mailbox);
            Walk(entry, mailbox, true, presenter, cancelable);
        }
        return result;
    }
    // Inside a bundle the store folder, "Messages" and "Attachments" are no
    // folders of the tree.
    if (insideMailbox) return kNotAFolder;
    return WalkGroupFolder(entry, parent, presenter, cancelable);
}

}  // namespace KestrinMIMEEngineCommon
