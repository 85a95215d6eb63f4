#include "applemail/AppleMailDirectoryStore.h"

#include <vector>

#include <boost/algorithm/string/predicate.hpp>
#include <boost/filesystem/operations.hpp>
#include <boost/make_shared.hpp>

#include "applemail/AppleMailAssetFolderV2.h"
#include "applemail/MailFolderPaths.h"
#include "formats/FormatsSupport.h"
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
                                                 const std::wstring& name, StoreKind storeKind)
    : AssetStoreBase(rootPath, name.empty() ? std::wstring(L"Apple Mail Database") : name,
                     storeKind)
{
}

Status AppleMailDirectoryStore::Open(const boost::shared_ptr<IProgressPresenter>& presenter,
                                  const boost::shared_ptr<ICancelable>& cancelable,
                                  const boost::shared_ptr<ILogger>& logger, bool createLocation)
{
    return OpenAndLoadTree(presenter, cancelable, logger, createLocation);
}

void AppleMailDirectoryStore::AddUnreadableFolder(const fs::path& dir,
                                                   const boost::shared_ptr<AssetFolderBase>& parent)
{
    auto folder = boost::make_shared<AppleMailAssetFolderV1>(std::wstring(), dir.string(),
                                                             shared_from_this(), parent);
    folder->StandForUnreadableDirectory();
    parent->AddChild(folder);
}

Status AppleMailDirectoryStore::WalkGroupFolder(const fs::path& entry,
                                             const boost::shared_ptr<AssetFolderBase>& parent,
                                             const boost::shared_ptr<IProgressPresenter>& presenter,
                                             const boost::shared_ptr<ICancelable>& cancelable)
{
    boost::system::error_code ec;
    fs::directory_iterator probe(entry, ec);
    if (ec && !IsMissing(ec)) {
        AddUnreadableFolder(entry, parent);
        return Status::Succeeded;
    }
    auto group = boost::make_shared<AppleAssetFolder>(std::wstring(), entry.string(),
                                                      shared_from_this(), parent);
    const Status result = Walk(entry, group, false, presenter, cancelable);
    // A directory without any mailbox below it is not shown.
    if (result == Status::Succeeded && group->GetSubFolderCount() > 0) parent->AddChild(group);
    return result;
}

Status AppleMailDirectoryStore::BuildFolderTree(const boost::shared_ptr<IProgressPresenter>& presenter,
                                             const boost::shared_ptr<ICancelable>& cancelable)
{
    auto root = boost::make_shared<AppleAssetFolder>(UTF8ToWide(GetLocation()), std::string(),
                                                     shared_from_this(),
                                                     boost::shared_ptr<IAssetFolder>());
    const fs::path rootPath(GetLocation());
    boost::system::error_code ec;
    Status result;
    if (IsBundleExtension(rootPath) && fs::is_directory(rootPath, ec)) {
        result = VisitGuarded(rootPath, root, false, presenter, cancelable).value_or(Status::Succeeded);
    } else {
        result = Walk(rootPath, root, false, presenter, cancelable);
    }
    SetRootFolder(root);
    return result;
}

Status AppleMailDirectoryStore::Walk(const fs::path& dir,
                                  const boost::shared_ptr<AssetFolderBase>& parent,
                                  bool insideMailbox,
                                  const boost::shared_ptr<IProgressPresenter>& presenter,
                                  const boost::shared_ptr<ICancelable>& cancelable)
{
    if (presenter) presenter->PostItemMessage(UTF8ToWide(dir.string()));
    Status result = Status::Succeeded;
    boost::system::error_code ec;
    fs::directory_iterator listing(dir, ec);
    if (ec) {
        KSDiagnostic("ERROR: Cannot list mailbox folder %s - %s\n", dir.c_str(), ec.message().c_str());
        if (!insideMailbox && !IsMissing(ec)) AddUnreadableFolder(dir, parent);
        return result;
    }
    std::vector<fs::path> bundles;
    std::vector<fs::path> others;
    try {
        for (fs::directory_iterator it = listing, end; it != end; ++it) {
            if (cancelable && cancelable->IsCanceled()) return Status::Canceled;
            (IsBundleExtension(it->path()) ? bundles : others).push_back(it->path());
        }
    } catch (const std::exception& error) {
        // What was listed is still read; the store still opens.
        KSDiagnostic("ERROR: Cannot list mailbox folder %s - %s\n", dir.c_str(), error.what());
    }
    for (const std::vector<fs::path>* entries : {&bundles, &others}) {
        for (const fs::path& entry : *entries) {
            if (cancelable && cancelable->IsCanceled()) return Status::Canceled;
            if (SkipSymbolicLink(entry.string())) continue;
            if (const auto visited = VisitGuarded(entry, parent, insideMailbox, presenter, cancelable))
                result = *visited;
        }
    }
    return result;
}

boost::optional<Status> AppleMailDirectoryStore::VisitGuarded(const fs::path& entry,
                                          const boost::shared_ptr<AssetFolderBase>& parent,
                                          bool insideMailbox,
                                          const boost::shared_ptr<IProgressPresenter>& presenter,
                                          const boost::shared_ptr<ICancelable>& cancelable)
{
    try {
        return VisitEntry(entry, parent, insideMailbox, presenter, cancelable);
    } catch (const std::exception& error) {
        KSDiagnostic("ERROR: Skipped unreadable mailbox folder %s - %s\n", entry.c_str(),
                     error.what());
    }
    return boost::none;
}

boost::optional<Status> AppleMailDirectoryStore::VisitEntry(const fs::path& entry,
                                        const boost::shared_ptr<AssetFolderBase>& parent,
                                        bool insideMailbox,
                                        const boost::shared_ptr<IProgressPresenter>& presenter,
                                        const boost::shared_ptr<ICancelable>& cancelable)
{
    boost::system::error_code ec;
    const std::string name = entry.filename().string();
    if (!fs::is_directory(entry, ec)) {
        // A mailbox file as mbox tools (this one among them) write them.
        if (!name.empty() && name[0] != '.' && HasExtension(name, ".mbox") &&
            MBOXAssetStore::LooksLikeMailbox(entry.string()))
            return VisitBundle(entry, BundleLayout::MailboxFile, parent, presenter, cancelable);
        return boost::none;
    }
    // Hidden folders of the newer layout, AppleDouble companions ("._") among them.
    if (!OlderLayoutByDefault() && (name.empty() || name[0] == '.')) return boost::none;
    if (presenter) presenter->PostItemMessage(UTF8ToWide(entry.string()));

    // Exported mailboxes kept beside Apple Mail's own are read as well.
    if (IsExportedMailbox(entry))
        return VisitBundle(entry, BundleLayout::Exported, parent, presenter, cancelable);
    if (IsBundleExtension(entry))
        return VisitBundle(entry, LayoutOfBundle(entry), parent, presenter, cancelable);
    // Inside a bundle of the newer layout the store folder, "Messages" and
    // "Attachments" are no folders of the tree.
    if (insideMailbox && boost::dynamic_pointer_cast<AppleMailAssetFolderV2>(parent)) return boost::none;
    // A plain folder "X" beside the mailbox "X.mbox" holds that mailbox's
    // children (as mailboxes exported and written back by mbox tools lie).
    if (auto mailbox = boost::dynamic_pointer_cast<AssetFolderBase>(parent->FindSubFolder(UTF8ToWide(name))))
        return Walk(entry, mailbox, false, presenter, cancelable);
    return WalkGroupFolder(entry, parent, presenter, cancelable);
}

Status AppleMailDirectoryStore::VisitBundle(const fs::path& entry, BundleLayout layout,
                                         const boost::shared_ptr<AssetFolderBase>& parent,
                                         const boost::shared_ptr<IProgressPresenter>& presenter,
                                         const boost::shared_ptr<ICancelable>& cancelable)
{
    const std::wstring name = MailboxName(entry, parent);
    const auto self = shared_from_this();
    boost::shared_ptr<AssetFolderBase> mailbox;
    switch (layout) {
    case BundleLayout::Exported:
    case BundleLayout::MailboxFile:
        mailbox = boost::make_shared<MBOXAssetFolder>(entry.string(), name, self, parent, false,
                                                      layout == BundleLayout::Exported);
        break;
    case BundleLayout::Older:
        mailbox = boost::make_shared<AppleMailAssetFolderV1>(name, entry.string(), self, parent);
        break;
    case BundleLayout::Newer:
        mailbox = boost::make_shared<AppleMailAssetFolderV2>(name, entry.string(), self, parent);
        break;
    }
    parent->AddChild(mailbox);
    const Status result = mailbox->RefreshAssetCount();
    if (result != Status::Succeeded || layout == BundleLayout::MailboxFile) return result;
    // Mailboxes nest inside their parent's bundle. Inside an exported bundle
    // every folder counts as outside one; an unreadable Apple Mail bundle is
    // reported by its own folder when exported, not a second time.
    return Walk(entry, mailbox, layout != BundleLayout::Exported, presenter, cancelable);
}

AppleMailDirectoryStore::BundleLayout AppleMailDirectoryStore::LayoutOfBundle(const fs::path& bundle)
{
    bool messages = false;
    boost::system::error_code ec;
    for (fs::directory_iterator it(bundle, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        boost::system::error_code typeError;
        if (HasUUIDShape(name) && fs::is_directory(it->path(), typeError)) return BundleLayout::Newer;
        if (boost::algorithm::iequals(name, "Messages")) messages = true;
    }
    if (messages) return BundleLayout::Older;
    return OlderLayoutByDefault() ? BundleLayout::Older : BundleLayout::Newer;
}

bool AppleMailDirectoryStore::OlderLayoutByDefault() const
{
    return m_storeKind == StoreKind::AppleMailV1;
}

bool AppleMailDirectoryStore::IsExportedMailbox(const fs::path& entry)
{
    boost::system::error_code ec;
    return MBOXAssetStore::HoldsMailboxFile((entry / "mbox").string()) &&
           !fs::is_directory(entry / "Messages", ec);
}

std::wstring AppleMailDirectoryStore::MailboxName(const fs::path& entry,
                                                  const boost::shared_ptr<AssetFolderBase>& parent)
{
    const std::wstring stem = UTF8ToWide(IsBundleExtension(entry) ? entry.stem().string()
                                                                 : entry.filename().string());
    return parent->MakeUniqueSubFolderName(stem, kFolderKindMail);
}

bool AppleMailDirectoryStore::IsBundleExtension(const fs::path& path)
{
    const std::string extension = path.extension().string();
    return boost::algorithm::iequals(extension, ".mbox") ||
           boost::algorithm::iequals(extension, ".imapmbox") ||
           boost::algorithm::iequals(extension, ".rssmbox");
}

}  // namespace KestrinMIMEEngineCommon
