#include "applemail/AppleMailDBStoreSQLITE.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <set>

#include <boost/algorithm/string/predicate.hpp>
#include <boost/filesystem.hpp>
#include <boost/lexical_cast.hpp>
#include <boost/make_shared.hpp>
#include <boost/thread/lock_guard.hpp>

#include "applemail/AppleMailAssetFolderSQLITE.h"
#include "applemail/AppleMailPlist.h"
#include "applemail/AppleMailStoreHelper.h"
#include "applemail/MailFolderPaths.h"
#include "mime/KSCharsets.h"
#include "streams/KSDiagnostics.h"
#include "streams/KSFileSystem.h"

namespace KestrinMIMEEngineCommon {

namespace fs = boost::filesystem;

namespace {

const wchar_t kZAccountsKey[] = L"ZACCOUNTS";
// Domain suffixes of Apple's hosted mail service in layout-1 IMAP URLs.
const char* const kHostedMailSuffixes[] = {"mac.com", "me.com", "icloud.com"};
// The host Apple Mail writes into the mailbox URLs of hosted-service accounts.
const char kHostedMailHost[] = "mail.mac.com";

// Whether the host part ("user@host" or "host") of a layout-1 IMAP URL
// belongs to the hosted service: the suffix must start a label, so that
// "acme.com" is not taken for "me.com".
bool IsHostedMailHost(const std::string& hostPart)
{
    for (const char* suffix : kHostedMailSuffixes) {
        if (!boost::algorithm::ends_with(hostPart, suffix))
            continue;
        const size_t at = hostPart.size() - std::strlen(suffix);
        if (at == 0 || hostPart[at - 1] == '.' || hostPart[at - 1] == '@')
            return true;
    }
    return false;
}

std::wstring JoinedList(const std::vector<std::wstring>& items)
{
    std::wstring out;
    for (const auto& item : items)
        out += (out.empty() ? L"" : L", ") + item;
    return out;
}

std::wstring Widen(const std::string& text)
{
    return UTF8ToWide(text);
}

bool StartsWith(const std::string& text, const char* prefix)
{
    return text.compare(0, std::strlen(prefix), prefix) == 0;
}

void ReplaceFirst(std::string& text, const std::string& what, const std::string& with)
{
    const size_t at = text.find(what);
    if (at != std::string::npos)
        text.replace(at, what.size(), with);
}

int SingleValueCallback(void* context, int columnCount, char** values, char**)
{
    auto* out = static_cast<std::pair<bool, std::string>*>(context);
    if (columnCount >= 1) {
        out->first = true;
        out->second = values[0] ? values[0] : "";
    }
    return 0;
}

}  // namespace

AppleMailDBStoreSQLITE::AppleMailDBStoreSQLITE(const std::string& rootPath,
                                               const std::wstring& name)
    : AssetStoreBase(NormaliseRootPath(rootPath),
                     name.empty() ? std::wstring(L"Apple Mail Store") : name,
                     StoreKind::EnvelopeIndex),
      // Account names are looked up by paths built from the root, and the
      // account database is found beside it: ".", ".." or "Mail/." must
      // lead to the same names as the absolute path.
      m_rootPath(NormaliseRootPath(rootPath))
{
    AppleMailStoreHelper::FindEnvelopeIndex(m_rootPath, m_layoutVersion, m_envelopeIndexPath);
}

std::vector<std::wstring> AppleMailDBStoreSQLITE::GetReportNotes()
{
    boost::lock_guard<boost::recursive_mutex> guard(StoreMutex());
    std::vector<std::wstring> notes;
    if (!m_unnamedAccounts.empty())
        notes.push_back(L"WARNING : The account configuration does not name every account; the "
                        L"mailboxes of these accounts are kept under the account ids: " +
                        JoinedList(m_unnamedAccounts));
    for (const auto& mailbox : m_mailboxesWithoutFolder)
        notes.push_back(mailbox);
    return notes;
}

std::vector<MailboxNotOnDisk> AppleMailDBStoreSQLITE::GetMailboxesNotOnDisk()
{
    boost::lock_guard<boost::recursive_mutex> guard(StoreMutex());
    return m_mailboxesNotOnDisk;
}

void AppleMailDBStoreSQLITE::NoteMailboxWithoutFolder(int64_t rowId, const std::string& url)
{
    int64_t count = -1;  // unknown when SQLite cannot count them
    if (m_envelopeIndex) {
        const std::string sql =
            "SELECT COUNT(*) FROM messages WHERE mailbox=" + boost::lexical_cast<std::string>(rowId);
        SqliteStatement stmt = PrepareStatement(m_envelopeIndex.get(), sql.c_str());
        if (stmt && sqlite3_step(stmt.get()) == SQLITE_ROW)
            count = sqlite3_column_int64(stmt.get(), 0);
    }
    // An empty mailbox loses nothing.
    if (count == 0)
        return;
    // The name is the URL's last part ("Spam" of "imap://id/Spam").
    const size_t slash = url.find_last_of('/');
    const std::string name = slash == std::string::npos ? url : url.substr(slash + 1);
    m_mailboxesNotOnDisk.push_back({Widen(name.empty() ? url : name), count});
    m_mailboxesWithoutFolder.push_back(
        L"Skipped : Mailbox " + Widen(url) + L" has no folder in the mail folder; its " +
        (count > 0 ? boost::lexical_cast<std::wstring>(count) + L" " : std::wstring()) +
        L"messages listed in the Envelope Index are not exported.");
}

AppleMailDBStoreSQLITE::~AppleMailDBStoreSQLITE()
{
    // Folders go before the connection, the connection before its copy.
    m_rootFolder.reset();
    m_statements.Clear();
    m_envelopeIndex.reset();
    m_copy.reset();
}

sqlite3* AppleMailDBStoreSQLITE::GetEnvelopeIndexHandle()
{
    return m_envelopeIndex.get();
}

std::string AppleMailDBStoreSQLITE::GetPrivateCopyFolder() const
{
    return m_copy ? m_copy->FolderPath() : std::string();
}

void AppleMailDBStoreSQLITE::CloseEnvelopeIndex()
{
    boost::lock_guard<boost::recursive_mutex> guard(m_envelopeIndexMutex);
    m_statements.Clear();
    m_envelopeIndex.reset();
    m_copy.reset();
}

Status AppleMailDBStoreSQLITE::Open(const boost::shared_ptr<IProgressPresenter>& presenter,
                                 const boost::shared_ptr<ICancelable>& cancelable,
                                 const boost::shared_ptr<ILogger>& logger, bool createLocation)
{
    Status result = Status::Succeeded;
    {
        // State mutex before store mutex, as the store base takes them.
        boost::lock_guard<boost::recursive_mutex> stateGuard(StateMutex());
        boost::lock_guard<boost::recursive_mutex> guard(StoreMutex());
        result = [&]() -> Status {
            if (IsOpen())
                return Status::Succeeded;
            const Status base =
                AssetStoreBase::Open(presenter, cancelable, logger, createLocation);
            if (base != Status::Succeeded)
                return base;
            if (createLocation)
                return Status::Failed;  // Apple Mail's data is only ever read
            if (presenter) {
                presenter->PostStoreMessage(Widen(m_rootPath));
                presenter->PostItemMessage(L"Reading Apple Mail database.");
            }
            if (m_envelopeIndexPath.empty() || m_layoutVersion == 0)
                return Status::Failed;

            {
                boost::lock_guard<boost::recursive_mutex> dbGuard(m_envelopeIndexMutex);
                m_copy = SqliteReadCopy::Create(m_envelopeIndexPath);
                if (!m_copy)
                    return Status::Failed;
                m_statements.Clear();
                m_envelopeIndex = OpenReadOnlyDatabase(m_copy->DatabasePath());
                if (!m_envelopeIndex) {
                    CloseEnvelopeIndex();
                    return Status::Failed;
                }
                if (ReadProperties() != Status::Succeeded) {
                    CloseEnvelopeIndex();
                    return Status::Failed;
                }
                m_hasGlobalMessageData = SqliteTableExists(m_envelopeIndex.get(), "message_global_data");
                const std::set<std::string> columns = SqliteColumns(m_envelopeIndex.get(), "messages");
                const auto column = [&](const char* name) {
                    return columns.count(name) ? std::string(name) : std::string("NULL");
                };
                m_messageStateSql = "SELECT " + column("flags") + ", " + column("date_received") + ", " +
                                    column("read") + ", " + column("flagged") + ", " + column("deleted") +
                                    ", " + column("flag_color") + " FROM messages WHERE ROWID=?1";
                m_hasUnreadCount = SqliteColumns(m_envelopeIndex.get(), "mailboxes").count("unread_count") > 0;
            }

            if (LoadFolderTree(presenter, cancelable, logger) != Status::Succeeded) {
                CloseEnvelopeIndex();
                SetRootFolder(boost::shared_ptr<IAssetFolder>());
                return Status::Failed;
            }
            if (cancelable && cancelable->IsCanceled()) {
                SetOpen(false);
                CloseEnvelopeIndex();
                SetRootFolder(boost::shared_ptr<IAssetFolder>());
                return Status::Canceled;
            }
            SetOpen(true);
            return Status::Succeeded;
        }();
    }
    ForgetCancelable();
    return result;
}

Status AppleMailDBStoreSQLITE::ReadProperties()
{
    sqlite3* db = m_envelopeIndex.get();
    // Layouts 8 and later have no properties table.
    if (m_layoutVersion >= 8 && !SqliteTableExists(db, "properties"))
        return Status::Succeeded;

    const char* const queries[] = {
        "select value from properties where key = 'version'",
        "select value from properties where key = 'minor_version'",
        "select value from properties where key = 'UUID'",
    };
    std::pair<bool, std::string> values[3];
    for (int i = 0; i < 3; ++i) {
        if (sqlite3_exec(db, queries[i], &SingleValueCallback, &values[i], nullptr) != SQLITE_OK)
            return Status::Failed;
    }
    if (values[0].first)
        m_majorVersion = std::atoll(values[0].second.c_str());
    if (values[1].first)
        m_minorVersion = std::atoll(values[1].second.c_str());
    if (values[2].first)
        m_databaseUUID = Widen(PercentDecode(values[2].second));
    return Status::Succeeded;
}

Status AppleMailDBStoreSQLITE::Close()
{
    boost::lock_guard<boost::recursive_mutex> stateGuard(StateMutex());
    boost::lock_guard<boost::recursive_mutex> guard(StoreMutex());
    if (IsOpen()) {
        CloseEnvelopeIndex();
        AssetStoreBase::Close();
    }
    return Status::Succeeded;
}

Status AppleMailDBStoreSQLITE::LoadFolderTree(const boost::shared_ptr<IProgressPresenter>& presenter,
                                           const boost::shared_ptr<ICancelable>& cancelable,
                                           const boost::shared_ptr<ILogger>& logger)
{
    boost::lock_guard<boost::recursive_mutex> guard(StoreMutex());
    if (ReadAccounts() == Status::Failed)
        return Status::Failed;

    auto self = boost::static_pointer_cast<AppleMailDBStoreSQLITE>(shared_from_this());
    auto root = boost::make_shared<AppleMailAssetFolderSQLITE>(
        Widen(m_rootPath), m_rootPath, self, boost::shared_ptr<IAssetFolder>(), true,
        kGroupingFolderRowID);
    SetRootFolder(root);

    boost::lock_guard<boost::recursive_mutex> dbGuard(m_envelopeIndexMutex);
    if (!m_envelopeIndex)
        return Status::Failed;
    char* error = nullptr;
    const int rc = sqlite3_exec(m_envelopeIndex.get(), "select ROWID, url from mailboxes order by ROWID",
                                &AppleMailDBStoreSQLITE::mailboxes_sqlitecallback, this, &error);
    if (rc != SQLITE_OK) {
        KSDiagnostic("ERROR: Failed to read the mailboxes of [%s]: %s\n",
                     m_envelopeIndexPath.c_str(), error ? error : "");
        sqlite3_free(error);
        return Status::Failed;
    }
    return Status::Succeeded;
}

// ---------------------------------------------------------------------------
// Accounts

Status AppleMailDBStoreSQLITE::ReadAccounts()
{
    boost::lock_guard<boost::recursive_mutex> guard(StoreMutex());
    if (m_layoutVersion == 2) {
        if (!PathExists(JoinPath(m_rootPath, "V2/MailData/Accounts.plist")))
            return Status::Failed;
        ReadAccountsPlistV2();
        return Status::Succeeded;
    }
    if (m_layoutVersion == 3) {
        PlistHandle toc = ReadPlistFile(JoinPath(m_rootPath, "V3/MailData/BackupTOC.plist"));
        if (toc)
            ReadBackupTOC(toc.get(), 0);
    }
    if (m_layoutVersion >= 3)
        ReadAccountDatabase();
    return Status::Succeeded;
}

void AppleMailDBStoreSQLITE::ReadAccountsPlistV2()
{
    PlistHandle root = ReadPlistFile(JoinPath(m_rootPath, "V2/MailData/Accounts.plist"));
    plist_t accounts = PlistDictItem(root.get(), "MailAccounts", PLIST_ARRAY);
    if (!accounts)
        return;
    const uint32_t count = plist_array_get_size(accounts);
    for (uint32_t i = 0; i < count; ++i) {
        plist_t account = plist_array_get_item(accounts, i);
        if (!account || plist_get_node_type(account) != PLIST_DICT)
            continue;
        std::string type, user, host, accountPath, canonical;
        PlistDictString(account, "AccountType", type);
        PlistDictString(account, "Username", user);
        PlistDictString(account, "Hostname", host);
        PlistDictString(account, "AccountPath", accountPath);
        const bool hasCanonical = PlistDictString(account, "CanonicalEmailAddress", canonical);
        const std::wstring shown = Widen(hasCanonical ? canonical : user);

        const std::wstring folder = Widen(LastPathComponent(accountPath));
        const std::wstring directory =
            Widen(JoinPath(JoinPath(m_rootPath, "V2"), LastPathComponent(accountPath)));

        if (type == "LocalAccount") {
            m_accountFolders[L"local://"] = folder;
            m_accountNames[directory] = L"On My Mac";
        }
        std::string key;
        if (type == "RSSAccount") {
            m_accountFolders[L"feed://"] = folder;
            m_accountNames[directory] = L"RSS Feeds";
        } else if (type == "AosImapAccount") {
            key = "imap://" + user + "@" + kHostedMailHost;
        } else if (type == "IMAPAccount") {
            key = "imap://" + user + "@" + host;
        } else if (type == "POPAccount") {
            key = "pop://" + user + "@" + host;
        }
        if (!key.empty()) {
            m_accountFolders[Widen(key)] = folder;
            m_accountNames[directory] = shown;
        }
    }
}

void AppleMailDBStoreSQLITE::ReadBackupTOC(void* dictionary, int depth)
{
    // Real tables of contents are a few levels deep; a deeper one is broken.
    if (depth > 64)
        return;
    plist_t mailboxes = PlistDictItem(static_cast<plist_t>(dictionary), "mailboxes", PLIST_ARRAY);
    if (!mailboxes)
        return;
    const uint32_t count = plist_array_get_size(mailboxes);
    for (uint32_t i = 0; i < count; ++i) {
        plist_t item = plist_array_get_item(mailboxes, i);
        if (!item || plist_get_node_type(item) != PLIST_DICT)
            continue;
        int64_t type = 0;
        PlistDictInteger(item, "type", type);
        if (type != 8) {
            ReadBackupTOC(item, depth + 1);
            continue;
        }
        std::string accountId, path;
        PlistDictString(item, "account-id", accountId);
        if (!PlistDictString(item, "path", path))
            continue;
        const std::wstring key = Widen(accountId);
        if (m_accountFolders.count(key))
            continue;
        std::vector<std::string> parts;
        for (const auto& part : fs::path(path)) {
            const std::string text = part.string();
            if (text != "." && text != "/" && !text.empty())
                parts.push_back(text);
        }
        if (parts.size() < 2)
            continue;
        m_accountFolders[key] = Widen(parts[1]);
    }
}

void AppleMailDBStoreSQLITE::ReadAccountDatabase()
{
    int version = 0;
    std::string databasePath;
    const std::string parent = fs::path(m_rootPath).parent_path().string();
    if (AppleMailStoreHelper::DetermineAccountsInfo(parent.empty() ? "." : parent, version,
                                                    databasePath) != Status::Succeeded)
        return;
    const std::string versioned =
        JoinPath(m_rootPath, "V" + boost::lexical_cast<std::string>(m_layoutVersion));

    std::unique_ptr<SqliteReadCopy> copy = SqliteReadCopy::Create(databasePath);
    if (!copy)
        return;
    SqliteHandle db = OpenReadOnlyDatabase(copy->DatabasePath());
    if (!db)
        return;

    sqlite3_stmt* rawTop = nullptr;
    sqlite3_stmt* rawChildren = nullptr;
    sqlite3_prepare_v2(db.get(),
                       "SELECT `ZIDENTIFIER`, `ZACCOUNTDESCRIPTION`, `ZUSERNAME`, `Z_PK` FROM "
                       "`ZACCOUNT` WHERE `ZPARENTACCOUNT` IS NULL",
                       -1, &rawTop, nullptr);
    SqliteStatement top(rawTop);
    sqlite3_prepare_v2(db.get(), "SELECT ZIDENTIFIER,Z_PK FROM ZACCOUNT WHERE ZPARENTACCOUNT=?1;",
                       -1, &rawChildren, nullptr);
    SqliteStatement children(rawChildren);

    if (top && children) {
        while (sqlite3_step(top.get()) == SQLITE_ROW) {
            const std::string identifier = SqliteColumnText(top.get(), 0);
            const std::string description = SqliteColumnText(top.get(), 1);
            const std::string user = SqliteColumnText(top.get(), 2);
            const std::string name = !user.empty() ? user : description;
            if (name.empty())
                continue;
            const std::wstring wideName = Widen(name);
            m_accountNames[Widen(JoinPath(versioned, identifier))] = wideName;

            // Children carry the top-level account's name, at any depth.
            std::vector<int64_t> pending{sqlite3_column_int64(top.get(), 3)};
            std::set<int64_t> visited(pending.begin(), pending.end());
            while (!pending.empty()) {
                const int64_t parentKey = pending.back();
                pending.pop_back();
                sqlite3_bind_int64(children.get(), 1, parentKey);
                std::vector<int64_t> found;
                while (sqlite3_step(children.get()) == SQLITE_ROW) {
                    m_accountNames[Widen(JoinPath(versioned, SqliteColumnText(children.get(), 0)))] =
                        wideName;
                    const int64_t key = sqlite3_column_int64(children.get(), 1);
                    if (visited.insert(key).second)
                        found.push_back(key);
                }
                sqlite3_reset(children.get());
                pending.insert(pending.end(), found.rbegin(), found.rend());
            }
        }
    }
    top.reset();
    children.reset();
    db.reset();
    m_accountNames[kZAccountsKey] = L"TRUE";
}

// ---------------------------------------------------------------------------
// Mailbox tree

boost::shared_ptr<AppleMailAssetFolderSQLITE> AppleMailDBStoreSQLITE::FindFolderByRowID(int64_t rowId)
{
    boost::lock_guard<boost::recursive_mutex> guard(StoreMutex());
    auto root = boost::dynamic_pointer_cast<AppleMailAssetFolderSQLITE>(GetRootFolderImpl());
    if (!root)
        return {};
    std::vector<boost::shared_ptr<AppleMailAssetFolderSQLITE>> stack{root};
    while (!stack.empty()) {
        auto folder = stack.back();
        stack.pop_back();
        if (folder->GetMailboxRowID() == rowId)
            return folder;
        const auto subfolders = folder->GetSubFolders();
        for (auto it = subfolders.rbegin(); it != subfolders.rend(); ++it) {
            if (auto sub = boost::dynamic_pointer_cast<AppleMailAssetFolderSQLITE>(*it))
                stack.push_back(sub);
        }
    }
    return {};
}

int AppleMailDBStoreSQLITE::mailboxes_sqlitecallback(void* context, int columnCount,
                                                     char** values, char** names)
{
    auto* store = static_cast<AppleMailDBStoreSQLITE*>(context);
    std::string rowIdText, url;
    for (int i = 0; i < columnCount; ++i) {
        if (!names[i])
            continue;
        if (boost::iequals(names[i], "ROWID"))
            rowIdText = values[i] ? values[i] : "";
        else if (boost::iequals(names[i], "url"))
            url = values[i] ? values[i] : "";
    }
    try {
        store->AddMailboxRow(rowIdText, url);
    } catch (const std::exception& e) {
        // One broken row must not end the whole tree.
        KSDiagnostic("ERROR: Mailbox row %s skipped: %s\n", rowIdText.c_str(), e.what());
    }
    return 0;
}

void AppleMailDBStoreSQLITE::AddMailboxRow(const std::string& rowIdText, const std::string& urlText)
{
    auto root = FindFolderByRowID(kGroupingFolderRowID);
    int64_t rowId = -1;
    try {
        rowId = boost::lexical_cast<int64_t>(rowIdText);
    } catch (const boost::bad_lexical_cast&) {
        KSDiagnostic("ERROR: BadCast: On folderId in mailboxes_sqlitecallback\n");
        rowId = -1;
    }
    if (urlText.empty() || !root)
        return;

    std::string url = PercentDecode(urlText);
    std::string extension = "mbox";
    std::string prefix;
    if (m_layoutVersion != 1)
        prefix = "V" + boost::lexical_cast<std::string>(m_layoutVersion);

    if (m_layoutVersion >= 2) {
        const size_t schemeEnd = url.find("://");
        if (schemeEnd == std::string::npos) {
            KSDiagnostic("ERROR: Mailbox URL without scheme skipped: %s\n", url.c_str());
            NoteMailboxWithoutFolder(rowId, url);
            return;
        }
        const size_t host = schemeEnd + 3;
        size_t pathStart = url.find('/', host);
        if (pathStart == std::string::npos)
            pathStart = url.size();

        if (m_layoutVersion == 2) {
            auto it = m_accountFolders.find(Widen(url.substr(0, pathStart)));
            if (it != m_accountFolders.end()) {
                url = WideToUTF8(it->second) + url.substr(pathStart);
            } else {
                // An account removed from the settings may still have its
                // mail on disk: keep it, named by the URL's account part.
                const std::string account = url.substr(host, pathStart - host);
                const std::string folder = UnlistedAccountFolderV2(url.substr(0, schemeEnd), account);
                if (folder.empty()) {
                    NoteMailboxWithoutFolder(rowId, url);
                    return;
                }
                const std::wstring directory = Widen(JoinPath(JoinPath(m_rootPath, "V2"), folder));
                if (!m_accountNames.count(directory)) {
                    m_accountNames[directory] = Widen(account);
                    m_unnamedAccounts.push_back(Widen(account));
                }
                url = folder + url.substr(pathStart);
            }
        } else {
            const std::string scheme = url.substr(0, schemeEnd);
            const std::string accountId = url.substr(host, pathStart - host);
            std::string accountFolder = accountId;
            if (m_layoutVersion == 3) {
                auto it = m_accountFolders.find(Widen(accountId));
                if (it != m_accountFolders.end())
                    accountFolder = WideToUTF8(it->second);
            }
            if (boost::iequals(scheme, "local")) {
                // Local mailboxes without an account part live in "Mailboxes".
                if (accountFolder.empty())
                    accountFolder = "Mailboxes";
                if (m_layoutVersion == 3 &&
                    !PathExists(JoinPath(JoinPath(m_rootPath, prefix), accountFolder)) &&
                    PathExists(JoinPath(JoinPath(m_rootPath, "V2"), accountFolder)))
                    prefix = "V2";
                // "On My Mac" mail is kept whether or not the account
                // database lists the local account.
                const std::wstring key =
                    Widen(JoinPath(JoinPath(m_rootPath, prefix), accountFolder));
                if (!m_accountNames.count(key))
                    m_accountNames[key] = L"On My Mac (" + Widen(accountFolder) + L")";
            }
            if (!accountFolder.empty() && accountFolder[0] == '/')
                accountFolder.erase(0, 1);
            url = accountFolder + url.substr(pathStart);
        }
    } else {
        if (StartsWith(url, "imap://")) {
            extension = "imapmbox";
            const size_t slash = url.find('/', 8);
            if (slash == std::string::npos || slash >= 8) {
                const std::string hostPart =
                    url.substr(7, slash == std::string::npos ? std::string::npos : slash - 7);
                if (IsHostedMailHost(hostPart)) {
                    const std::string rest =
                        slash == std::string::npos ? std::string() : url.substr(slash);
                    url = "AosIMAP-" + hostPart.substr(0, hostPart.find('@')) + rest;
                } else {
                    ReplaceFirst(url, "imap://", "IMAP-");
                }
            }
        } else if (StartsWith(url, "feed://")) {
            extension = "rssmbox";
            ReplaceFirst(url, "feed://", "RSS");
        } else if (StartsWith(url, "local://")) {
            ReplaceFirst(url, "local://", "Mailboxes");
        } else if (StartsWith(url, "ews://")) {
            ReplaceFirst(url, "ews://", "EWS-");
        } else if (StartsWith(url, "pop://")) {
            ReplaceFirst(url, "pop://", "POP-");
        }
    }

    std::vector<std::string> components;
    if (!SplitMailboxPath(url, components)) {
        // "..", empty or absolute components would lead out of the mail folder.
        KSDiagnostic("ERROR: Mailbox URL with an unsafe path skipped: %s\n", urlText.c_str());
        NoteMailboxWithoutFolder(rowId, PercentDecode(urlText));
        return;
    }
    if (!AddMailboxPath(root, components, 0, rowId, extension, prefix))
        NoteMailboxWithoutFolder(rowId, PercentDecode(urlText));
}

boost::optional<Status> AppleMailDBStoreSQLITE::AddMailboxPath(const boost::shared_ptr<AppleMailAssetFolderSQLITE>& parent,
                                           const std::vector<std::string>& components,
                                           size_t index, int64_t rowId,
                                           const std::string& extension, const std::string& prefix)
{
    const std::string& component = components[index];
    std::wstring name = Widen(component);
    std::string base = parent->GetFolderId();
    if (!prefix.empty())
        base = JoinPath(base, prefix);

    int64_t folderKind = kGroupingFolderRowID;
    const std::string plainPath = JoinPath(base, component);
    auto named = m_accountNames.find(Widen(plainPath));
    if (named != m_accountNames.end()) {
        name = named->second;
        folderKind = kAccountFolderRowID;
    }

    boost::shared_ptr<AppleMailAssetFolderSQLITE> folder;
    if (folderKind == kAccountFolderRowID) {
        // Two accounts may share a display name; they stay apart by folder,
        // and the second gets a name of its own so that the output and the
        // tree paths keep them apart too.
        for (const auto& sub : parent->GetSubFolders()) {
            if (sub->GetFolderId() == plainPath) {
                folder = boost::dynamic_pointer_cast<AppleMailAssetFolderSQLITE>(sub);
                break;
            }
        }
        if (!folder)
            name = parent->MakeUniqueSubFolderName(name, kFolderKindGeneric);
    } else {
        folder = boost::dynamic_pointer_cast<AppleMailAssetFolderSQLITE>(parent->FindSubFolder(name));
    }

    // Each candidate path is asked about once: with thousands of mailboxes
    // these checks were most of the time the tree took to load.
    std::string location;
    bool exists = false;
    if (folder) {
        location = folder->GetFolderId();
        exists = PathExists(location);
    } else {
        location = plainPath;
        exists = PathExists(location);
        if (!exists) {
            const std::string resolved = FindNormalizedChild(base, component);
            if (!resolved.empty()) {
                location = resolved;
                exists = true;
            }
        }
    }

    if (index > 0 && !exists) {
        const std::string resolved = ResolveChildPath(base, component + "." + extension);
        location = resolved.empty() ? location + "." + extension : resolved;
        exists = !resolved.empty() || PathExists(location);
    }

    if (!exists) {
        if (index > 0)
            return boost::none;
        // A first-level folder may be known only by its "Info.plist".
        std::string match;
        boost::system::error_code ec;
        std::vector<std::string> candidates;
        for (fs::directory_iterator it(base, ec), end; !ec && it != end; it.increment(ec)) {
            if (!SkipSymbolicLink(it->path().string()) && IsDirectoryPath(it->path().string()))
                candidates.push_back(it->path().string());
        }
        std::sort(candidates.begin(), candidates.end());
        for (const auto& candidate : candidates) {
            PlistHandle info = ReadPlistFile(JoinPath(candidate, "Info.plist"), 1024 * 1024);
            std::string mailboxName;
            if (info && PlistDictString(info.get(), "MailboxName", mailboxName) &&
                mailboxName == component) {
                match = candidate;
                break;
            }
        }
        if (match.empty())
            return boost::none;
        location = match;
    }

    const bool last = index + 1 == components.size();
    // Two rows whose URLs lead to the same path: both mailboxes keep their
    // messages, the second under a name of its own.
    const bool twin =
        folder && last && folder->GetMailboxRowID() >= 1 && folder->GetMailboxRowID() != rowId;
    if (!folder || twin) {
        auto self = boost::static_pointer_cast<AppleMailDBStoreSQLITE>(shared_from_this());
        auto added = boost::make_shared<AppleMailAssetFolderSQLITE>(
            twin ? parent->MakeUniqueSubFolderName(name, kFolderKindGeneric) : name, location, self,
            parent, false, folderKind);
        if (!parent->AddChild(added)) {
            KSDiagnostic("ERROR: Folder %s could not be added to the tree\n", location.c_str());
            return boost::none;
        }
        folder = added;
        // An account folder the account configuration does not name is
        // shown under its id; the report says so once.
        if (!twin && index == 0 && m_layoutVersion >= 3 && folderKind != kAccountFolderRowID &&
            std::find(m_unnamedAccounts.begin(), m_unnamedAccounts.end(), name) ==
                m_unnamedAccounts.end())
            m_unnamedAccounts.push_back(name);
    }

    if (last) {
        folder->BecomeMailbox(rowId);
        return folder->RefreshAssetCount();
    }
    return AddMailboxPath(folder, components, index + 1, rowId, extension, std::string());
}

std::string AppleMailDBStoreSQLITE::UnlistedAccountFolderV2(const std::string& scheme,
                                                            const std::string& account)
{
    if (!IsSafePathComponent(account))
        return {};
    const char* prefix = boost::iequals(scheme, "imap")  ? "IMAP-"
                         : boost::iequals(scheme, "pop") ? "POP-"
                         : boost::iequals(scheme, "ews") ? "EWS-"
                                                         : nullptr;
    if (!prefix)
        return {};
    const std::string folder = prefix + account;
    return IsDirectoryPath(JoinPath(JoinPath(m_rootPath, "V2"), folder)) ? folder : std::string();
}

boost::optional<int64_t> AppleMailDBStoreSQLITE::MailboxUnreadCount(int64_t mailboxRowId)
{
    boost::lock_guard<boost::recursive_mutex> dbGuard(m_envelopeIndexMutex);
    if (!m_hasUnreadCount || !m_envelopeIndex || mailboxRowId < 1) return boost::none;
    static const std::string kSql = "SELECT unread_count FROM mailboxes WHERE ROWID=?1";
    sqlite3* db = m_envelopeIndex.get();
    SqliteStatement stmt = m_statements.Take(db, kSql);
    boost::optional<int64_t> count;
    if (stmt) {
        sqlite3_bind_int64(stmt.get(), 1, mailboxRowId);
        if (sqlite3_step(stmt.get()) == SQLITE_ROW && sqlite3_column_type(stmt.get(), 0) != SQLITE_NULL)
            count = sqlite3_column_int64(stmt.get(), 0);
    }
    m_statements.GiveBack(db, kSql, std::move(stmt));
    return count;
}

}  // namespace KestrinMIMEEngineCommon
