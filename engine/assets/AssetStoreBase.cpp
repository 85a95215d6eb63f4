#include "assets/AssetStoreBase.h"

#include <boost/thread/lock_guard.hpp>

#include "mime/KSCharsets.h"
#include "streams/KSDiagnostics.h"

namespace KestrinMIMEEngineCommon {

int AssetTypeForFolderKind(int kind)
{
    switch (kind) {
    case kFolderKindCalendar: return kAssetTypeCalendarEvent;
    case kFolderKindContacts: return kAssetTypeContact;
    case kFolderKindUnused: return 7;
    case kFolderKindMail: return kAssetTypeEmail;
    case kFolderKindNotes: return kAssetTypeNote;
    case kFolderKindTasks: return kAssetTypeTask;
    default: return 1;
    }
}

AssetStoreBase::AssetStoreBase(const std::string& location, const std::wstring& name,
                               StoreKind storeKind)
    : m_location(location), m_name(name), m_storeKind(storeKind)
{
}

AssetStoreBase::~AssetStoreBase() = default;

int AssetStoreBase::GetSenderTypeId()
{
    static const int typeId = KSNextSenderTypeId();
    return typeId;
}

Status AssetStoreBase::Open(const boost::shared_ptr<IProgressPresenter>& presenter,
                         const boost::shared_ptr<ICancelable>& cancelable,
                         const boost::shared_ptr<ILogger>& logger, bool createLocation)
{
    boost::lock_guard<boost::recursive_mutex> guard(m_stateMutex);
    m_cancelable = cancelable;
    return Status::Succeeded;
}

Status AssetStoreBase::OpenAndLoadTree(const boost::shared_ptr<IProgressPresenter>& presenter,
                                    const boost::shared_ptr<ICancelable>& cancelable,
                                    const boost::shared_ptr<ILogger>& logger, bool createLocation,
                                    const std::function<Status()>& prepare)
{
    boost::lock_guard<boost::recursive_mutex> stateGuard(StateMutex());
    boost::lock_guard<boost::recursive_mutex> storeGuard(StoreMutex());
    if (IsOpen()) return Status::Succeeded;

    Status result = AssetStoreBase::Open(presenter, cancelable, logger, createLocation);
    if (result == Status::Succeeded && prepare) result = prepare();
    if (result == Status::Succeeded) {
        if (presenter) presenter->PostStoreMessage(UTF8ToWide(GetLocation()));
        result = LoadFolderTree(presenter, cancelable, logger);
        if (result == Status::Succeeded && cancelable && cancelable->IsCanceled()) result = Status::Canceled;
        if (result == Status::Succeeded)
            SetOpen(true);
        else
            SetRootFolder({});
    }
    ForgetCancelable();
    return result;
}

Status AssetStoreBase::Close()
{
    boost::lock_guard<boost::recursive_mutex> guard(m_stateMutex);
    if (!m_open) return Status::Succeeded;
    {
        boost::lock_guard<boost::recursive_mutex> storeGuard(m_storeMutex);
        m_rootFolder.reset();
    }
    m_open = false;
    return Status::Succeeded;
}

boost::shared_ptr<IAssetFolder> AssetStoreBase::GetRootFolderImpl()
{
    boost::lock_guard<boost::recursive_mutex> guard(m_storeMutex);
    return m_rootFolder;
}

void AssetStoreBase::SetRootFolder(const boost::shared_ptr<IAssetFolder>& root)
{
    boost::lock_guard<boost::recursive_mutex> guard(m_storeMutex);
    m_rootFolder = root;
}

boost::shared_ptr<IAssetFolderMutable> AssetStoreBase::GetDefaultFolderMutable(int assetType,
                                                                               bool create)
{
    if (assetType != kAssetTypeEmail) return {};
    return boost::dynamic_pointer_cast<IAssetFolderMutable>(GetRootFolderImpl());
}

bool AssetStoreBase::IsCanceled()
{
    boost::shared_ptr<ICancelable> cancelable = m_cancelable.lock();
    return cancelable ? cancelable->IsCanceled() : false;
}

boost::shared_ptr<IAssetFolderMutable> AssetStoreBase::MapAssetFolderRelative(
    const boost::shared_ptr<IAssetFolder>& source, bool create)
{
    boost::shared_ptr<IAssetFolderMutable> start;
    return MapAssetFolderRelative(source, start, create);
}

boost::shared_ptr<IAssetFolderMutable> AssetStoreBase::MapAssetFolderRelative(
    const boost::shared_ptr<IAssetFolder>& source, boost::shared_ptr<IAssetFolderMutable>& start,
    bool create)
{
    if (!source) return {};
    boost::lock_guard<boost::recursive_mutex> guard(m_storeMutex);

    if (!start) start = boost::dynamic_pointer_cast<IAssetFolderMutable>(GetRootFolderImpl());
    if (!start) return {};

    // The chain of source folders below the source store's root, S first.
    const boost::shared_ptr<IAssetStore> sourceStore = source->GetStore();
    const boost::shared_ptr<IAssetFolder> sourceRoot =
        sourceStore ? sourceStore->GetRootFolder(source->GetFolderKind())
                    : boost::shared_ptr<IAssetFolder>();
    std::vector<boost::shared_ptr<IAssetFolder>> chain;
    boost::shared_ptr<IAssetFolder> walker = source;
    while (walker && walker != sourceRoot) {
        chain.push_back(walker);
        walker = walker->GetParent();
    }
    if (!walker)
        KSDiagnostic("ERROR: Failed to traverse to root in MapAssetFolderRelative\n");

    boost::shared_ptr<IAssetFolderMutable> base = start;
    for (auto level = chain.rbegin(); level != chain.rend(); ++level) {
        const boost::shared_ptr<IAssetFolder>& folder = *level;
        const int kind = folder->GetFolderKind();
        const std::wstring name = (kind == kFolderKindRoot && sourceStore)
                                      ? sourceStore->GetStoreName()
                                      : folder->GetName();

        boost::shared_ptr<IAssetFolderMutable> next =
            boost::dynamic_pointer_cast<IAssetFolderMutable>(base->FindMappedSubFolder(name));
        if (!next && create) {
            next = base->CreateSubFolder(name, static_cast<unsigned>(kind), folder->GetPathUTF8());
            if (!next)
                next = base->CreateSubFolder(name, static_cast<unsigned>(source->GetFolderKind()),
                                             source->GetPathUTF8());
            if (!next) {
                KSDiagnostic("ERROR: CreateAssetFolder failed - creating the folder in "
                             "defaultfolder instead\n");
                boost::shared_ptr<IAssetFolderMutable> defaultFolder =
                    GetDefaultFolderMutable(AssetTypeForFolderKind(kind), true);
                if (defaultFolder)
                    next = defaultFolder->CreateSubFolder(name, static_cast<unsigned>(kind),
                                                          folder->GetPathUTF8());
                else
                    KSDiagnostic("ERROR: CreateAssetFolder failed - unable to get default "
                                 "folder\n");
            }
        }
        base = next;
        if (!base) return {};
    }
    return base;
}

}  // namespace KestrinMIMEEngineCommon
