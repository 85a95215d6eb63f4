#include "assets/AssetStoreBase.h"

#include <stdexcept>

#include <boost/filesystem.hpp>
#include <boost/lexical_cast.hpp>
#include <boost/thread/lock_guard.hpp>

#include "mime/KSCharsets.h"
#include "streams/KSDiagnostics.h"

namespace KestrinMIMEEngineCommon {

namespace {

const char kMemoryDatabase[] = ":memory:";

const char kCreateSchemaInfo[] =
    "CREATE TABLE IF NOT EXISTS 'DBSchemaInfo' ('KEY' TEXT PRIMARY KEY, 'VALUE' TEXT);";
const char kSelectSchemaVersion[] =
    "SELECT VALUE from  'DBSchemaInfo' WHERE KEY='DB_SCHEMA_MINOR'";
const char kCreateFolderState[] =
    "CREATE TABLE IF NOT EXISTS `AssetStoreBase.FolderStateV1` (\t\t\t\t\t\t\t`NAME`\tTEXT,"
    "\t\t\t\t\t\t\t`FOLDERID`\tTEXT PRIMARY KEY UNIQUE,\t\t\t\t\t\t\t`PARENTFOLDERID`\tTEXT,"
    "\t\t\t\t\t\t\t`DEFAULTTYPE`\tINTEGER);";

// A locked state database is waited for rather than failed on: the store's
// own connection is the only writer, so the lock always clears.
int RetryWhenBusy(void*, int) { return 1; }

}  // namespace

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
                               int storeKind, const std::string& stateDatabasePath)
    : m_location(location),
      m_name(name),
      m_storeKind(storeKind),
      m_stateDatabasePath(stateDatabasePath.empty() ? kMemoryDatabase : stateDatabasePath)
{
    AssetStoreBase::OpenStateDatabase();
}

AssetStoreBase::~AssetStoreBase() = default;

int AssetStoreBase::GetSenderTypeId()
{
    static const int typeId = KSNextSenderTypeId();
    return typeId;
}

int AssetStoreBase::OpenStateDatabase()
{
    boost::lock_guard<boost::recursive_mutex> guard(m_stateMutex);
    if (m_stateDatabase || m_stateDatabasePath.empty()) return kStatusOK;

    bool existed = false;
    if (m_stateDatabasePath != kMemoryDatabase) {
        boost::system::error_code ec;
        existed = boost::filesystem::exists(m_stateDatabasePath, ec);
    }

    sqlite3* raw = nullptr;
    int rc = sqlite3_open_v2(m_stateDatabasePath.c_str(), &raw,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                             nullptr);
    SqliteHandle database(raw);
    if (rc != SQLITE_OK) return kStatusFailed;

    m_stateDatabase = std::move(database);
    if (!existed) WriteSchemaStamp();
    sqlite3_busy_handler(m_stateDatabase.get(), &RetryWhenBusy, nullptr);
    return kStatusOK;
}

void AssetStoreBase::WriteSchemaStamp()
{
    boost::lock_guard<boost::recursive_mutex> guard(m_stateMutex);
    sqlite3* database = m_stateDatabase.get();
    if (!database) return;
    const std::string stamp = "INSERT OR REPLACE INTO DBSchemaInfo VALUES('DB_SCHEMA_MINOR', '" +
                              std::to_string(kStateSchemaVersion) + "');";
    sqlite3_exec(database, kCreateSchemaInfo, nullptr, nullptr, nullptr);
    sqlite3_exec(database, stamp.c_str(), nullptr, nullptr, nullptr);
}

int AssetStoreBase::ReadDBSchemaVersion(sqlite3* database)
{
    if (!database) return 0;
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(database, kSelectSchemaVersion, -1, &raw, nullptr) != SQLITE_OK)
        return 0;
    SqliteStatement statement(raw);
    if (sqlite3_step(statement.get()) != SQLITE_ROW) return 0;
    const unsigned char* text = sqlite3_column_text(statement.get(), 0);
    if (!text) return 0;
    try {
        return boost::lexical_cast<int32_t>(reinterpret_cast<const char*>(text));
    } catch (const boost::bad_lexical_cast&) {
        KSDiagnostic("ERROR: BadCast: on minorVersion in ReadDBSchemaVersion\n");
        return 0;
    }
}

bool AssetStoreBase::IsStateSchemaOutdated()
{
    return ReadDBSchemaVersion(m_stateDatabase.get()) < kStateSchemaVersion;
}

int AssetStoreBase::Open(const boost::shared_ptr<IProgressPresenter>& presenter,
                         const boost::shared_ptr<ICancelable>& cancelable,
                         const boost::shared_ptr<ILogger>& logger, bool createLocation,
                         const boost::shared_ptr<void>& extra1,
                         const boost::shared_ptr<void>& extra2)
{
    boost::lock_guard<boost::recursive_mutex> guard(m_stateMutex);
    if (m_stateDatabase)
        sqlite3_exec(m_stateDatabase.get(), kCreateFolderState, nullptr, nullptr, nullptr);
    m_cancelable = cancelable;
    m_closing.store(false);
    return IsStateSchemaOutdated() ? kStatusFailed : kStatusOK;
}

int AssetStoreBase::OpenAndLoadTree(const boost::shared_ptr<IProgressPresenter>& presenter,
                                    const boost::shared_ptr<ICancelable>& cancelable,
                                    const boost::shared_ptr<ILogger>& logger, bool createLocation,
                                    const boost::shared_ptr<void>& extra1,
                                    const boost::shared_ptr<void>& extra2,
                                    const std::function<int()>& prepare)
{
    boost::lock_guard<boost::recursive_mutex> stateGuard(StateMutex());
    boost::lock_guard<boost::recursive_mutex> storeGuard(StoreMutex());
    if (IsOpen()) return kStatusOK;

    int result = AssetStoreBase::Open(presenter, cancelable, logger, createLocation, extra1, extra2);
    if (result == kStatusOK && prepare) result = prepare();
    if (result == kStatusOK) {
        if (presenter) presenter->PostStoreMessage(UTF8ToWide(GetLocation()));
        result = LoadFolderTree(presenter, cancelable, logger);
        if (result == kStatusOK && cancelable && cancelable->IsCanceled()) result = kStatusCanceled;
        if (result == kStatusOK)
            SetOpen(true);
        else
            SetRootFolder({});
    }
    ForgetCancelable();
    return result;
}

int AssetStoreBase::Close(const boost::shared_ptr<void>& extra1,
                          const boost::shared_ptr<void>& extra2)
{
    boost::lock_guard<boost::recursive_mutex> guard(m_stateMutex);
    if (!m_open) return kStatusOK;
    m_closing.store(true);
    {
        boost::lock_guard<boost::recursive_mutex> storeGuard(m_storeMutex);
        m_rootFolder.reset();
    }
    m_open = false;
    return kStatusOK;
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
    throw std::runtime_error("IAssetFolderMutable::GetDefaultFolderMutable : Not implemented.");
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
                                      : folder->GetName(true);

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
