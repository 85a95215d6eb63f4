// Kept apart so that only front ends that read real libraries pull in the
// Apple Mail reader.
#include <sqlite3.h>

#include "app/Source.h"
#include "applemail/AppleMailStoreHelper.h"
#include "applemail/SqliteReadCopy.h"

namespace KestrinApp {

using KestrinMIMEEngineCommon::AppleMailStoreHelper;

namespace {

// Whether the folder holds anything the reader knows: an Envelope Index
// (even one that will not open: that failure has its own words), or mailbox
// bundles, mailbox trees or exported mailboxes anywhere below it.
bool HoldsMailData(const std::string& path, const boost::shared_ptr<ICancelable>& cancelable)
{
    int version = 0;
    std::string database;
    if (AppleMailStoreHelper::FindEnvelopeIndex(path, version, database) != 0 || version != 0)
        return true;
    return AppleMailStoreHelper::DetectMailboxLayout(path, cancelable) !=
           KestrinMIMEEngineCommon::kScanNothing;
}

}  // namespace

StoreFactory MakeAppleMailStoreFactory()
{
    return [](const std::string& path, const boost::shared_ptr<ICancelable>& cancelable) {
        if (!HoldsMailData(path, cancelable) && !(cancelable && cancelable->IsCanceled()))
            throw NoMailDataFound(path);
        return AppleMailStoreHelper::CreateStore(path, L"Apple Mail Database", cancelable);
    };
}

std::string DescribeDatabaseDamage(const std::string& databasePath)
{
    namespace engine = KestrinMIMEEngineCommon;
    // Immutable: nothing may appear beside the Envelope Index.
    const std::string uri = engine::SqliteFileURI(databasePath) + "?immutable=1";
    sqlite3* raw = nullptr;
    const int opened = sqlite3_open_v2(
        uri.c_str(), &raw, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_URI, nullptr);
    const engine::SqliteHandle db(raw);
    if (opened != SQLITE_OK)
        return databasePath + ": " + (raw ? sqlite3_errmsg(raw) : sqlite3_errstr(opened));
    // The schema is read first by every query: a file cut short or
    // overwritten fails here already.
    if (sqlite3_exec(db.get(), "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr) !=
        SQLITE_OK)
        return databasePath + ": " + sqlite3_errmsg(db.get());
    return {};
}

}  // namespace KestrinApp
