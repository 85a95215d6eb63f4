#include "applemail/AppleMailDBStoreV1.h"

#include <boost/filesystem/operations.hpp>
#include <boost/make_shared.hpp>

#include "applemail/AppleMailAssetFolderV1.h"
#include "mime/KSCharsets.h"

namespace fs = boost::filesystem;

namespace KestrinMIMEEngineCommon {

AppleMailDBStoreV1::AppleMailDBStoreV1(const std::string& rootPath, const std::wstring& name,
                                       const std::string& stateDatabasePath)
    : AppleMailDirectoryStore(rootPath, name, kStoreTypeAppleMailV1, stateDatabasePath)
{
}

int AppleMailDBStoreV1::LoadFolderTree(const boost::shared_ptr<IProgressPresenter>& presenter,
                                       const boost::shared_ptr<ICancelable>& cancelable,
                                       const boost::shared_ptr<ILogger>& logger)
{
    return BuildFolderTree(presenter, cancelable, true);
}

int AppleMailDBStoreV1::VisitEntry(const fs::path& entry,
                                   const boost::shared_ptr<AssetFolderBase>& parent, bool,
                                   const boost::shared_ptr<IProgressPresenter>& presenter,
                                   const boost::shared_ptr<ICancelable>& cancelable)
{
    boost::system::error_code ec;
    if (!fs::is_directory(entry, ec)) return kNotAFolder;

    // Exported mailboxes kept beside Apple Mail's own are read as well, and
    // so are mailboxes inside them.
    if (auto exported = AddExportedMailbox(entry, parent))
        return Walk(entry, exported, false, presenter, cancelable);
    if (IsBundleExtension(entry, true)) {
        const std::string extension = entry.extension().string();
        const bool twoMessageFolders = fs::is_directory(entry / "Messages", ec) &&
                                       fs::is_directory(entry / ("Messages" + extension), ec);
        if (!twoMessageFolders) {
            auto mailbox = boost::make_shared<AppleMailAssetFolderV1>(
                UTF8ToWide(entry.stem().string()), entry.string(), shared_from_this(), parent);
            parent->AddChild(mailbox);
            int result = mailbox->RefreshAssetCount();
            // Inside the bundle: an unreadable bundle is reported by its
            // own folder when exported, not a second time.
            if (result == kStatusOK) result = Walk(entry, mailbox, true, presenter, cancelable);
            return result;
        }
    }
    return WalkGroupFolder(entry, parent, presenter, cancelable);
}

}  // namespace KestrinMIMEEngineCommon
