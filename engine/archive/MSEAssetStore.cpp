#include "archive/MSEAssetStore.h"

#include <boost/filesystem.hpp>
#include <boost/make_shared.hpp>
#include <boost/thread/lock_guard.hpp>

#include "archive/ArchiveDescriptors.h"
#include "formats/FormatsSupport.h"
#include "mime/KSCharsets.h"

namespace fs = boost::filesystem;

namespace KestrinMIMEEngineCommon {

namespace {

const wchar_t kMailFolderName[] = L"Mail";
const wchar_t kContactsFolderName[] = L"Contacts";
const wchar_t kCalendarFolderName[] = L"Calendar";

bool IsDirectory(const std::string& path)
{
    boost::system::error_code ec;
    return fs::is_directory(path, ec);
}

}  // namespace

MSEAssetStore::MSEAssetStore(const std::string& packagePath, const std::wstring& name)
    : FileTreeStoreBase(packagePath, name.empty() ? std::wstring(L"Entourage Archive") : name,
                        StoreKind::Archive)
{
}

MSEAssetStore::~MSEAssetStore() = default;

std::string MSEAssetStore::PathInPackage(const std::wstring& name) const
{
    return m_location + "/" + WideToUTF8(name);
}

Status MSEAssetStore::Open(const boost::shared_ptr<IProgressPresenter>& presenter,
                        const boost::shared_ptr<ICancelable>& cancelable,
                        const boost::shared_ptr<ILogger>& logger, bool createLocation)
{
    boost::lock_guard<boost::recursive_mutex> stateGuard(StateMutex());
    boost::lock_guard<boost::recursive_mutex> storeGuard(StoreMutex());
    // The package's folders and descriptors are made by the tree build that
    // the base Open runs.
    m_createPackage = createLocation && !IsOpen();
    const Status result =
        FileTreeStoreBase::Open(presenter, cancelable, logger, createLocation);
    m_createPackage = false;
    return result;
}

Status MSEAssetStore::Close()
{
    boost::lock_guard<boost::recursive_mutex> stateGuard(StateMutex());
    boost::lock_guard<boost::recursive_mutex> storeGuard(StoreMutex());
    m_mailFolder.reset();
    m_contactsFolder.reset();
    m_calendarFolder.reset();
    return FileTreeStoreBase::Close();
}

bool MSEAssetStore::CreatePackage()
{
    for (const wchar_t* folder : {kMailFolderName, kContactsFolderName, kCalendarFolderName})
        CreateDirectoryTree(PathInPackage(folder));
    return WriteArchiveDescriptors(m_location);
}

Status MSEAssetStore::LoadFolderTree(const boost::shared_ptr<IProgressPresenter>& presenter,
                                  const boost::shared_ptr<ICancelable>& cancelable,
                                  const boost::shared_ptr<ILogger>& logger)
{
    boost::lock_guard<boost::recursive_mutex> guard(StoreMutex());
    // A package without its descriptors is no archive: nothing may be
    // counted as written into it.
    if (m_createPackage && !CreatePackage()) return Status::Failed;
    const boost::shared_ptr<IAssetStore> self = shared_from_this();

    // The root stands for the package itself; nothing is written to it.
    auto root = boost::make_shared<MSEMailAssetFolder>(m_location, L"", self, nullptr, false);
    auto mail = boost::make_shared<MSEMailAssetFolder>(PathInPackage(kMailFolderName),
                                                       kMailFolderName, self, root, true);
    root->AddChild(mail);
    if (IsDirectory(mail->GetFolderPath())) {
        const Status result = LoadMailFolders(mail, presenter, cancelable);
        if (result != Status::Succeeded) return result;
    }

    Status result = LoadItemFolder<MSEVCFAssetFolder>(root, kContactsFolderName);
    if (result == Status::Succeeded) result = LoadItemFolder<MSEICSAssetFolder>(root, kCalendarFolderName);
    if (result != Status::Succeeded) return result;

    m_mailFolder = boost::dynamic_pointer_cast<MSEMailAssetFolder>(root->FindSubFolder(kMailFolderName));
    m_contactsFolder =
        boost::dynamic_pointer_cast<MSEVCFAssetFolder>(root->FindSubFolder(kContactsFolderName));
    m_calendarFolder =
        boost::dynamic_pointer_cast<MSEICSAssetFolder>(root->FindSubFolder(kCalendarFolderName));
    SetRootFolder(root);
    return Status::Succeeded;
}

// Every directory below "Mail" is a mail folder; its mailbox file, if any,
// lies inside it.
Status MSEAssetStore::LoadMailFolders(const boost::shared_ptr<MSEMailAssetFolder>& parent,
                                   const boost::shared_ptr<IProgressPresenter>& presenter,
                                   const boost::shared_ptr<ICancelable>& cancelable)
{
    if (presenter) presenter->PostItemMessage(UTF8ToWide(parent->GetFolderPath()));
    boost::system::error_code ec;
    fs::directory_iterator entry(parent->GetFolderPath(), ec);
    if (ec) return Status::Succeeded;
    std::vector<boost::shared_ptr<MSEMailAssetFolder>> children;
    for (; entry != fs::directory_iterator(); entry.increment(ec)) {
        if (ec) break;
        if (cancelable && cancelable->IsCanceled()) return Status::Canceled;
        const std::string name = entry->path().filename().string();
        if (name.empty() || name[0] == '.' || !IsDirectory(entry->path().string())) continue;
        auto child = boost::make_shared<MSEMailAssetFolder>(entry->path().string(), UTF8ToWide(name),
                                                            shared_from_this(), parent, false);
        parent->AddChild(child);
        child->RefreshAssetCount();
        children.push_back(child);
    }
    // Descend only once this directory's listing is done, so that at most
    // one directory stream is open per level.
    for (const auto& child : children) {
        const Status result = LoadMailFolders(child, presenter, cancelable);
        if (result != Status::Succeeded) return result;
    }
    return Status::Succeeded;
}

template <typename Folder>
Status MSEAssetStore::LoadItemFolder(const boost::shared_ptr<MSEMailAssetFolder>& root,
                                  const std::wstring& name)
{
    const std::string path = PathInPackage(name);
    if (!IsDirectory(path)) return Status::Succeeded;
    auto folder = boost::make_shared<Folder>(path, name, shared_from_this(), root, true);
    root->AddChild(folder);
    return folder->RefreshAssetCount();
}

template <typename Folder>
boost::shared_ptr<Folder> MSEAssetStore::MakeDefaultFolder(const std::wstring& name)
{
    auto root = boost::dynamic_pointer_cast<AssetFolderBase>(GetRootFolderImpl());
    if (!root) return {};
    const std::string path = PathInPackage(name);
    CreateDirectoryTree(path);
    root->AddChild(boost::make_shared<Folder>(path, name, shared_from_this(), root, true));
    return boost::dynamic_pointer_cast<Folder>(root->FindSubFolder(name));
}

boost::shared_ptr<IAssetFolderMutable> MSEAssetStore::GetDefaultFolderMutable(int assetType,
                                                                              bool create)
{
    boost::lock_guard<boost::recursive_mutex> guard(StoreMutex());
    // The package was made when the store was opened; one removed or moved
    // since is not made again (its items fail), nor is one left without
    // its descriptors used.
    if (create && (!IsDirectory(m_location) || !WriteArchiveDescriptors(m_location))) return {};
    switch (assetType) {
    case kAssetTypeContact:
        if (!m_contactsFolder && create)
            m_contactsFolder = MakeDefaultFolder<MSEVCFAssetFolder>(kContactsFolderName);
        return m_contactsFolder;
    case kAssetTypeCalendarEvent:
        if (!m_calendarFolder && create)
            m_calendarFolder = MakeDefaultFolder<MSEICSAssetFolder>(kCalendarFolderName);
        return m_calendarFolder;
    default:
        if (!m_mailFolder && create) m_mailFolder = MakeDefaultFolder<MSEMailAssetFolder>(kMailFolderName);
        return m_mailFolder;
    }
}

boost::shared_ptr<IAssetFolderMutable> MSEAssetStore::MapAssetFolderRelative(
    const boost::shared_ptr<IAssetFolder>& source, bool create)
{
    if (!source) return {};
    boost::lock_guard<boost::recursive_mutex> guard(StoreMutex());
    switch (source->GetFolderKind()) {
    case kFolderKindCalendar: return GetDefaultFolderMutable(kAssetTypeCalendarEvent, create);
    case kFolderKindContacts: return GetDefaultFolderMutable(kAssetTypeContact, create);
    default: break;
    }
    boost::shared_ptr<IAssetFolderMutable> start = m_mailFolder;
    if (!start) start = GetDefaultFolderMutable(kAssetTypeEmail, create);
    if (!start) return {};
    return AssetStoreBase::MapAssetFolderRelative(source, start, create);
}

boost::shared_ptr<MSEMailAssetFolder> MSEAssetStore::GetMailFolder()
{
    boost::lock_guard<boost::recursive_mutex> guard(StoreMutex());
    return m_mailFolder;
}

boost::shared_ptr<MSEVCFAssetFolder> MSEAssetStore::GetContactsFolder()
{
    boost::lock_guard<boost::recursive_mutex> guard(StoreMutex());
    return m_contactsFolder;
}

boost::shared_ptr<MSEICSAssetFolder> MSEAssetStore::GetCalendarFolder()
{
    boost::lock_guard<boost::recursive_mutex> guard(StoreMutex());
    return m_calendarFolder;
}

}  // namespace KestrinMIMEEngineCommon
