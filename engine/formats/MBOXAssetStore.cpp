#include "formats/MBOXAssetStore.h"

#include <cstring>
#include <fstream>

#include <boost/filesystem.hpp>
#include <boost/make_shared.hpp>

#include "mime/KSCharsets.h"
#include "streams/KSFileSystem.h"

namespace fs = boost::filesystem;

namespace KestrinMIMEEngineCommon {

namespace {

std::wstring DefaultName(StoreKind storeKind)
{
    return storeKind == StoreKind::MboxArchive ? L"Apple Mail Mailbox Archive" : L"MBOX Store";
}

std::string WithoutTrailingSlashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

bool IsDirectory(const fs::path& path)
{
    boost::system::error_code ec;
    return fs::is_directory(path, ec);
}

}  // namespace

MBOXAssetStore::MBOXAssetStore(const std::string& location, const std::wstring& name, StoreKind storeKind)
    : FileTreeStoreBase(location, name.empty() ? DefaultName(storeKind) : name, storeKind)
{
}

MBOXAssetStore::~MBOXAssetStore() = default;

bool MBOXAssetStore::HoldsMailboxFile(const std::string& path)
{
    boost::system::error_code ec;
    const fs::file_type type = fs::status(path, ec).type();
    return type != fs::status_error && type != fs::file_not_found && type != fs::directory_file;
}

bool MBOXAssetStore::LooksLikeMailbox(const std::string& path)
{
    boost::system::error_code ec;
    if (!fs::is_regular_file(path, ec)) return false;
    // A file that may not be read is listed: reading it names it as failed
    // rather than passing over it.
    std::ifstream in(path, std::ios::binary);
    if (!in) return true;
    char head[512];
    in.read(head, sizeof head);
    const size_t got = static_cast<size_t>(in.gcount());
    // A byte-order mark or blank lines may come before the first separator.
    size_t at = got >= 3 && std::memcmp(head, "\xEF\xBB\xBF", 3) == 0 ? 3 : 0;
    while (at < got && (head[at] == '\n' || head[at] == '\r' || head[at] == ' ' || head[at] == '\t'))
        ++at;
    return at == got || (got - at >= 5 && std::memcmp(head + at, "From ", 5) == 0);
}

Status MBOXAssetStore::LoadFolderTree(const boost::shared_ptr<IProgressPresenter>& presenter,
                                   const boost::shared_ptr<ICancelable>& cancelable,
                                   const boost::shared_ptr<ILogger>& logger)
{
    const fs::path location(WithoutTrailingSlashes(GetLocation()));
    const std::wstring locationName = UTF8ToWide(location.filename().string());
    const bool isDirectory = IsDirectory(location);
    auto self = shared_from_this();

    boost::shared_ptr<MBOXAssetFolder> root;
    Status result = Status::Succeeded;
    if (isDirectory && !HasExtension(location.string(), ".mbox")) {
        const std::string rootMailbox = location.string() + "/" + location.stem().string() + ".mbox";
        root = boost::make_shared<MBOXAssetFolder>(rootMailbox, locationName, self,
                                                   boost::shared_ptr<IAssetFolder>(), true, false);
        root->RefreshAssetCount();
        result = ScanDirectory(location.string(), root, rootMailbox, presenter, cancelable);
    } else {
        std::string parentDirectory = location.parent_path().string();
        if (parentDirectory.empty()) parentDirectory = ".";
        root = boost::make_shared<MBOXAssetFolder>(parentDirectory, locationName, self,
                                                   boost::shared_ptr<IAssetFolder>(), true, false);
        root->RefreshAssetCount();
        auto child = boost::make_shared<MBOXAssetFolder>(location.string(), std::wstring(), self,
                                                         root, false, isDirectory);
        child->RefreshAssetCount();
        root->AddChild(child);
        // A chosen bundle brings the mailboxes exported inside it.
        if (isDirectory) result = ScanDirectory(location.string(), child, std::string(), presenter, cancelable);
    }
    SetRootFolder(root);
    return result;
}

Status MBOXAssetStore::ScanDirectory(const std::string& directory,
                                  const boost::shared_ptr<MBOXAssetFolder>& parent,
                                  const std::string& rootMailbox,
                                  const boost::shared_ptr<IProgressPresenter>& presenter,
                                  const boost::shared_ptr<ICancelable>& cancelable)
{
    if (!IsDirectory(directory)) return Status::Succeeded;
    if (presenter) presenter->PostItemMessage(UTF8ToWide(directory));
    auto self = shared_from_this();

    // Apple Mail exports a mailbox's children inside its bundle, beside the
    // file "mbox"; they are read once every mailbox of this level is known.
    struct Bundle {
        fs::path path;
        boost::shared_ptr<MBOXAssetFolder> folder;
        bool added;
    };
    std::vector<Bundle> bundles;
    std::vector<fs::path> plainDirectories;
    boost::system::error_code ec;
    for (fs::directory_iterator it(directory, ec), end; !ec && it != end; it.increment(ec)) {
        if (cancelable && cancelable->IsCanceled()) return Status::Canceled;
        const fs::path entry = it->path();
        const std::string name = entry.filename().string();
        if (name.empty() || name[0] == '.') continue;
        if (SkipSymbolicLink(entry.string())) continue;
        const bool entryIsDirectory = IsDirectory(entry);
        if (HasExtension(name, ".mbox")) {
            // The root's own mailbox file sits in the scanned directory:
            // listing it again as a child would hand out its messages twice.
            // A bundle of the same name is not read by the root.
            if (entry.string() == rootMailbox && !entryIsDirectory) continue;
            // An exported bundle's "mbox" is a mailbox whatever it begins with.
            const bool holdsMailbox = entryIsDirectory ? HoldsMailboxFile((entry / "mbox").string())
                                                       : LooksLikeMailbox(entry.string());
            if (!holdsMailbox && !entryIsDirectory) continue;
            auto folder = boost::make_shared<MBOXAssetFolder>(entry.string(), std::wstring(), self,
                                                              parent, false, entryIsDirectory);
            if (entryIsDirectory) bundles.push_back({entry, folder, holdsMailbox});
            // A bundle without a mailbox of its own is shown only when
            // mailboxes lie inside it.
            if (!holdsMailbox) continue;
            parent->AddChild(folder);
            const Status result = folder->RefreshAssetCount();
            if (result != Status::Succeeded) return result;
        } else if (entryIsDirectory) {
            plainDirectories.push_back(entry);
        }
    }

    for (const Bundle& bundle : bundles) {
        if (cancelable && cancelable->IsCanceled()) return Status::Canceled;
        const Status result = ScanDirectory(bundle.path.string(), bundle.folder, rootMailbox, presenter, cancelable);
        if (result != Status::Succeeded) return result;
        if (!bundle.added && bundle.folder->GetSubFolderCount() > 0) parent->AddChild(bundle.folder);
    }

    for (const fs::path& sub : plainDirectories) {
        if (cancelable && cancelable->IsCanceled()) return Status::Canceled;
        auto folder = boost::dynamic_pointer_cast<MBOXAssetFolder>(
            parent->FindSubFolder(UTF8ToWide(sub.filename().string())));
        if (!folder) {
            folder = boost::make_shared<MBOXAssetFolder>(sub.string() + ".mbox", std::wstring(), self,
                                                         parent, false,
                                                         GetStoreKind() == StoreKind::MboxArchive);
            parent->AddChild(folder);
        }
        const Status result = ScanDirectory(sub.string(), folder, rootMailbox, presenter, cancelable);
        if (result != Status::Succeeded) return result;
    }
    return Status::Succeeded;
}

}  // namespace KestrinMIMEEngineCommon
