#include "applemail/AppleMailStoreHelper.h"

#include <boost/algorithm/string/predicate.hpp>
#include <boost/filesystem.hpp>
#include <boost/lexical_cast.hpp>
#include <boost/make_shared.hpp>

#include "applemail/AppleMailDBStoreSQLITE.h"
#include "applemail/AppleMailDBStoreV1.h"
#include "applemail/AppleMailDBStoreV2.h"
#include "applemail/MailFolderPaths.h"
#include "applemail/SqliteReadCopy.h"
#include "formats/MBOXAssetStore.h"
#include "streams/KSDiagnostics.h"

namespace KestrinMIMEEngineCommon {

namespace fs = boost::filesystem;

namespace {

// The text from the last '.' of the file name (".mbox" for "Inbox.mbox").
std::string Extension(const std::string& fileName)
{
    const size_t dot = fileName.find_last_of('.');
    return dot == std::string::npos ? std::string() : fileName.substr(dot);
}

bool Canceled(const boost::shared_ptr<ICancelable>& cancel)
{
    return cancel && cancel->IsCanceled();
}

struct EnvelopeIndexPlace {
    const char* path;
    int version;
};

// Newest first: a library upgraded by Apple Mail keeps its older folders.
const EnvelopeIndexPlace kEnvelopeIndexPlaces[] = {
    {"V10/MailData/Envelope Index", 10}, {"V9/MailData/Envelope Index", 9},
    {"V8/MailData/Envelope Index", 8},   {"V7/MailData/Envelope Index", 7},
    {"V6/MailData/Envelope Index", 6},   {"V5/MailData/Envelope Index", 5},
    {"V4/MailData/Envelope Index", 4},   {"V3/MailData/Envelope Index", 3},
    {"V2/MailData/Envelope Index", 2},   {"V2/Envelope Index", 2},
    {"MailData/Envelope Index", 2},      {"Envelope Index", 1},
};

// The store that reads the mailboxes a layout scan found.
StoreKind KindOfLayout(int scan)
{
    switch (scan) {
    case kScanExportedMbox: return StoreKind::MboxArchive;
    case kScanUUIDFolder:
    case kScanV2Layout: return StoreKind::AppleMailV2;
    default: return StoreKind::AppleMailV1;
    }
}

}  // namespace

boost::shared_ptr<IAssetStore> AppleMailStoreHelper::CreateStore(
    const std::string& rootPath, const std::wstring& displayName,
    const boost::shared_ptr<ICancelable>& cancel)
{
    StoreKind type = StoreKind::AppleMailV1;
    if (DetermineStoreType(rootPath, cancel, type) != 0)
        return {};
    if (Canceled(cancel))
        return {};
    switch (type) {
    case StoreKind::EnvelopeIndex:
        return boost::make_shared<AppleMailDBStoreSQLITE>(rootPath, displayName);
    case StoreKind::AppleMailV2:
        return boost::make_shared<AppleMailDBStoreV2>(rootPath, displayName);
    case StoreKind::MboxArchive:
        return boost::make_shared<MBOXAssetStore>(rootPath, displayName, StoreKind::MboxArchive);
    default:
        return boost::make_shared<AppleMailDBStoreV1>(rootPath, displayName);
    }
}

int AppleMailStoreHelper::DetermineStoreType(std::string rootPath,
                                             const boost::shared_ptr<ICancelable>& cancel,
                                             StoreKind& kind)
{
    int version = 0;
    std::string databasePath;
    const int status = FindEnvelopeIndex(rootPath, version, databasePath);
    if (status != 0)
        return status;
    if (version == 0 || databasePath.empty()) {
        const int scan = DetectMailboxLayout(rootPath, cancel);
        kind = KindOfLayout(scan);
    } else {
        kind = StoreKind::EnvelopeIndex;
    }
    return 0;
}

int AppleMailStoreHelper::FindEnvelopeIndex(const std::string& rootPath, int& version,
                                            std::string& databasePath)
{
    version = 0;
    databasePath.clear();
    for (const auto& place : kEnvelopeIndexPlaces) {
        const std::string candidate = JoinPath(rootPath, place.path);
        if (PathExists(candidate)) {
            version = place.version;
            databasePath = candidate;
            break;
        }
    }
    if (version == 0)
        return 0;
    // Probed in place as immutable: nothing may appear in the mail folder.
    if (!DatabaseOpensInPlace(databasePath))
        return 4;
    if (version == 2 && !PathExists(JoinPath(rootPath, "V2/MailData/Accounts.plist")))
        databasePath.clear();
    return 0;
}

bool AppleMailStoreHelper::IsV2Layout(const std::string& rootPath)
{
    return PathExists(JoinPath(rootPath, "V2")) && PathExists(JoinPath(rootPath, "V2/Mailboxes")) &&
           PathExists(JoinPath(rootPath, "V2/MailData"));
}

int AppleMailStoreHelper::DetectMailboxLayout(const std::string& rootPath,
                                              const boost::shared_ptr<ICancelable>& cancel)
{
    if (IsV2Layout(rootPath))
        return kScanV2Layout;
    return ScanForMailboxes(rootPath, cancel);
}

int AppleMailStoreHelper::ScanForMailboxes(const std::string& path,
                                           const boost::shared_ptr<ICancelable>& cancel)
{
    try {
        const std::string fileName = fs::path(path).filename().string();
        const std::string extension = Extension(fileName);
        if (!fs::is_directory(path)) {
            // Mailbox files as mbox tools write them (an export of this
            // program among them) are read by the mbox store.
            const bool mailboxFile = boost::iequals(extension, ".mbox") && fileName.front() != '.' &&
                                     MBOXAssetStore::LooksLikeMailbox(path);
            return mailboxFile ? kScanExportedMbox : kScanNothing;
        }
        const bool bundle = boost::iequals(extension, ".mbox") || boost::iequals(extension, ".imapmbox");
        // Exported mailboxes may sit beside Apple Mail's own bundles, or hold
        // them: the Apple Mail stores read both kinds, the mbox store only its
        // own, so an Apple Mail bundle anywhere decides, whatever the listing
        // order.
        const bool exportedBundle = bundle && PathExists(JoinPath(path, "mbox"));
        bool exported = exportedBundle;
        for (fs::directory_iterator it(path), end; it != end; ++it) {
            const std::string name = it->path().filename().string();
            // The "mbox" file decides for its own bundle, not for the bundles inside.
            if (bundle && !exportedBundle) {
                if (boost::iequals(name, "Messages"))
                    return kScanMessagesFolder;
                if (HasUUIDShape(name))
                    return kScanUUIDFolder;
            }
            // Symbolic links to folders are not followed: a link back up
            // the tree would never end the scan.
            if (fs::is_symlink(it->symlink_status()))
                continue;
            const int result = ScanForMailboxes(it->path().string(), cancel);
            if (result == kScanExportedMbox)
                exported = true;
            else if (result != kScanNothing)
                return result;
            if (Canceled(cancel))
                return kScanNothing;
        }
        if (exported)
            return kScanExportedMbox;
    } catch (const std::exception&) {
        KSDiagnostic("ERROR: Exception while attempting to iterate directory - possible "
                     "permission error.\n");
    }
    return kScanNothing;
}

Status AppleMailStoreHelper::DetermineAccountsInfo(const std::string& directory, int& version,
                                                std::string& databasePath)
{
    version = 0;
    databasePath.clear();
    Status result = Status::Failed;
    const fs::path accounts = fs::path(directory) / "Accounts";
    boost::system::error_code ec;
    fs::directory_iterator it(accounts, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (!boost::iequals(Extension(name), ".sqlite") || name.size() < 8 ||
            !boost::istarts_with(name, "Accounts"))
            continue;
        int number = 0;
        if (name.size() >= 16) {
            const std::string digits = name.substr(8, name.size() - 15);
            try {
                number = boost::lexical_cast<int>(digits);
            } catch (const boost::bad_lexical_cast&) {
                // A stray copy such as "Accounts-old.sqlite" is not the
                // account database; it must not stop the whole load.
                KSDiagnostic("ERROR: AppleMailStoreHelper::DetermineAccountsInfo - ignoring "
                             "[%s]\n",
                             name.c_str());
                continue;
            }
        }
        if (number > version) {
            version = number;
            databasePath = it->path().string();
            result = Status::Succeeded;
        }
    }
    if (ec)
        KSDiagnostic("ERROR: AppleMailStoreHelper::DetermineAccountsInfo - Failed to iterate "
                     "accounts dir [%s]\n",
                     ec.message().c_str());
    return result;
}

}  // namespace KestrinMIMEEngineCommon
