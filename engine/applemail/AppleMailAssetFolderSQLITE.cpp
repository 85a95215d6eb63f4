#include "applemail/AppleMailAssetFolderSQLITE.h"

#include <cstdio>
#include <set>
#include <vector>

#include <boost/lexical_cast.hpp>
#include <boost/make_shared.hpp>
#include <boost/thread/lock_guard.hpp>

#include "applemail/AppleAssetFolder.h"
#include "applemail/AppleMailFlags.h"
#include "applemail/AppleMailDBStoreSQLITE.h"
#include "applemail/EMLXEmailAsset.h"
#include "applemail/MailFolderPaths.h"
#include "applemail/SqliteReadCopy.h"
#include "formats/EMLEmailAsset.h"
#include "mime/KSCharsets.h"
#include "mime/MimeServices.h"
#include "streams/KSDiagnostics.h"

namespace KestrinMIMEEngineCommon {

AppleMailAssetFolderSQLITE::AppleMailAssetFolderSQLITE(
    const std::wstring& name, const std::string& location,
    const boost::shared_ptr<AppleMailDBStoreSQLITE>& store,
    const boost::shared_ptr<IAssetFolder>& parent, bool isRoot, int64_t mailboxRowId)
    : AssetFolderBase(name, location, store, parent, isRoot),
      m_dbStore(store),
      m_mailboxRowId(mailboxRowId)
{
}

int AppleMailAssetFolderSQLITE::LoadSubFolders()
{
    boost::lock_guard<boost::recursive_mutex> guard(Mutex());
    if (!ChildrenLoaded())
        return AssetFolderBase::LoadSubFolders();
    return 0;
}

std::string AppleMailAssetFolderSQLITE::GetPathUTF8()
{
    {
        std::lock_guard<std::mutex> guard(m_idMutex);
        if (m_idKnown)
            return m_id;
    }
    std::string id;
    if (m_mailboxRowId >= 1) {
        id = boost::lexical_cast<std::string>(m_mailboxRowId);
    } else {
        const std::string key = m_mailboxRowId == kAccountFolderRowID ? LastPathComponent(m_location)
                                                                      : WideToUTF8(m_name);
        const std::string digest = boost::lexical_cast<std::string>(Crc32(key.data(), key.size()));
        boost::shared_ptr<IAssetFolder> parent = GetParent();
        id = (parent ? parent->GetPathUTF8() + "." : std::string("placeholder.")) + digest;
    }
    std::lock_guard<std::mutex> guard(m_idMutex);
    m_id = id;
    m_idKnown = true;
    return id;
}

void AppleMailAssetFolderSQLITE::ForgetId()
{
    std::lock_guard<std::mutex> guard(m_idMutex);
    m_idKnown = false;
}

void AppleMailAssetFolderSQLITE::UpdatePath()
{
    ForgetId();
    AssetFolderBase::UpdatePath();
}

namespace {

// Re-sorts every children set below folder: the ids of grouping folders
// derive from their parent's id.
void RebuildChildOrder(std::set<boost::shared_ptr<IAssetFolder>, FolderIdLess>& children)
{
    std::vector<boost::shared_ptr<IAssetFolder>> all(children.begin(), children.end());
    children.clear();
    children.insert(all.begin(), all.end());
}

}  // namespace

void AppleMailAssetFolderSQLITE::BecomeMailbox(int64_t rowId)
{
    auto parent = boost::dynamic_pointer_cast<AppleMailAssetFolderSQLITE>(GetParent());
    auto self = boost::static_pointer_cast<AppleMailAssetFolderSQLITE>(shared_from_this());
    boost::shared_ptr<IAssetFolder> asChild = self;
    if (parent) {
        boost::lock_guard<boost::recursive_mutex> guard(parent->Mutex());
        parent->RemoveChildEntry(asChild);
    }
    m_mailboxRowId = rowId;
    ForgetId();
    if (rowId != kGroupingFolderRowID)
        SetFolderKind(kFolderKindMail);
    m_source = -1;

    // Every set below this folder may now be out of order.
    std::vector<boost::shared_ptr<AppleMailAssetFolderSQLITE>> pending{self};
    while (!pending.empty()) {
        auto folder = pending.back();
        pending.pop_back();
        boost::lock_guard<boost::recursive_mutex> guard(folder->Mutex());
        // Their ids derive from this folder's, which just changed.
        for (const auto& child : folder->m_children) {
            if (auto sub = boost::dynamic_pointer_cast<AppleMailAssetFolderSQLITE>(child))
                sub->ForgetId();
        }
        RebuildChildOrder(folder->m_children);
        folder->ChildrenChanged();
        for (const auto& child : folder->m_children) {
            if (auto sub = boost::dynamic_pointer_cast<AppleMailAssetFolderSQLITE>(child))
                pending.push_back(sub);
        }
    }
    if (parent) {
        boost::lock_guard<boost::recursive_mutex> guard(parent->Mutex());
        parent->InsertChildEntry(asChild);
    }
}

int64_t AppleMailAssetFolderSQLITE::GetSource()
{
    boost::lock_guard<boost::recursive_mutex> guard(Mutex());
    if (m_source != -1)
        return m_source;
    m_source = 0;
    auto store = m_dbStore.lock();
    if (!store || m_mailboxRowId < 1)
        return m_source;
    boost::lock_guard<boost::recursive_mutex> dbGuard(store->EnvelopeIndexMutex());
    // One statement for every folder: preparing it for each of thousands of
    // mailboxes was a fifth of the time the tree took to load.
    static const std::string kSql = "select source from mailboxes where ROWID=?1";
    sqlite3* db = store->GetEnvelopeIndexHandle();
    SqliteStatement stmt = store->Statements().Take(db, kSql);
    if (stmt) sqlite3_bind_int64(stmt.get(), 1, m_mailboxRowId);
    if (stmt && sqlite3_step(stmt.get()) == SQLITE_ROW &&
        sqlite3_column_type(stmt.get(), 0) != SQLITE_NULL)
        m_source = sqlite3_column_int64(stmt.get(), 0);
    store->Statements().GiveBack(db, kSql, std::move(stmt));
    return m_source;
}

AppleMailAssetFolderSQLITE::RowSelection AppleMailAssetFolderSQLITE::SelectRows()
{
    // Every row of the mailbox, whatever its ROWID: a bound such as
    // "ROWID > 0" would list fewer messages than the count announces.
    if (GetSource() < 1)
        return {"FROM messages WHERE mailbox=?1", "ROWID", "mailbox"};
    // A label that names no message row holds nothing to export.
    return {"FROM labels AS l JOIN messages AS m ON m.ROWID = l.message_id WHERE l.mailbox_id=?1",
            "l.message_id", "m.mailbox"};
}

std::string AppleMailAssetFolderSQLITE::GetCountError()
{
    boost::lock_guard<boost::recursive_mutex> guard(Mutex());
    return m_countError;
}

Status AppleMailAssetFolderSQLITE::RefreshAssetCount()
{
    boost::lock_guard<boost::recursive_mutex> guard(Mutex());
    m_countError.clear();
    if (m_mailboxRowId < 1) {
        SetAssetCount(0);
        return Status::Succeeded;
    }
    auto store = m_dbStore.lock();
    if (!store)
        return Status::Succeeded;
    const RowSelection rows = SelectRows();
    boost::lock_guard<boost::recursive_mutex> dbGuard(store->EnvelopeIndexMutex());
    sqlite3* db = store->GetEnvelopeIndexHandle();
    const std::string sql = "SELECT COUNT(*) " + rows.from;
    SqliteStatement stmt = store->Statements().Take(db, sql);
    int64_t count = 0;
    if (stmt) sqlite3_bind_int64(stmt.get(), 1, m_mailboxRowId);
    if (stmt && sqlite3_step(stmt.get()) == SQLITE_ROW)
        count = sqlite3_column_int64(stmt.get(), 0);
    else
        m_countError = db ? sqlite3_errmsg(db) : "the database is closed";
    store->Statements().GiveBack(db, sql, std::move(stmt));
    SetAssetCount(count);
    return m_countError.empty() ? Status::Succeeded : Status::Failed;
}

boost::optional<int64_t> AppleMailAssetFolderSQLITE::IndexUnreadCount()
{
    auto store = m_dbStore.lock();
    if (!store || m_mailboxRowId < 1) return boost::none;
    return store->MailboxUnreadCount(m_mailboxRowId);
}

boost::shared_ptr<IAssetIterator> AppleMailAssetFolderSQLITE::GetAssetIterator(
    unsigned queryKind, const boost::shared_ptr<IProgressPresenter>& presenter,
    const boost::shared_ptr<ICancelable>& cancelable, const boost::shared_ptr<ILogger>& logger)
{
    if (queryKind != kQueryKindNew)
        return {};
    return boost::make_shared<AppleMailAssetFolderSQLITEIterator>(
        presenter, cancelable, logger,
        boost::static_pointer_cast<AppleMailAssetFolderSQLITE>(shared_from_this()));
}

std::string AppleMailAssetFolderSQLITE::MessageStoreFolderName()
{
    boost::lock_guard<boost::recursive_mutex> guard(Mutex());
    if (!m_storeFolderKnown) {
        m_storeFolderName = FindUUIDFolderName(m_location);
        m_storeFolderKnown = true;
    }
    return m_storeFolderName;
}

std::string AppleMailAssetFolderSQLITE::DataParentName(const std::string& databaseUUID)
{
    boost::lock_guard<boost::recursive_mutex> guard(Mutex());
    const std::string base = GetFolderId();
    if (!m_dataParentKnown || m_dataParentUUID != databaseUUID || m_dataParentBase != base) {
        m_dataParentName = databaseUUID;
        if (databaseUUID.empty() || !IsSafePathComponent(databaseUUID) ||
            !IsDirectoryPath(JoinPath(base, databaseUUID)))
            m_dataParentName = MessageStoreFolderName();
        m_dataParentUUID = databaseUUID;
        m_dataParentBase = base;
        m_dataParentKnown = true;
    }
    return m_dataParentName;
}

std::string AppleMailAssetFolderSQLITE::ResolveMessageFile(int64_t messageRowId, bool& found)
{
    return ResolveMessageFile(messageRowId, 0, found);
}

std::string AppleMailAssetFolderSQLITE::PartialMessageFile(const std::string& wholePath)
{
    return wholePath.substr(0, wholePath.size() - 5) + ".partial.emlx";
}

std::string AppleMailAssetFolderSQLITE::WholeMessageFile(int64_t messageRowId, int64_t ownMailbox)
{
    auto store = m_dbStore.lock();
    AppleMailAssetFolderSQLITE* baseFolder = this;
    boost::shared_ptr<AppleMailAssetFolderSQLITE> sourceFolder;
    // A label mailbox lists messages of several mailboxes; each file lives
    // in the bundle of the mailbox its own row names.
    if (ownMailbox >= 1 && ownMailbox != m_mailboxRowId && GetSource() >= 1 && store) {
        sourceFolder = store->FindFolderByRowID(ownMailbox);
        if (sourceFolder)
            baseFolder = sourceFolder.get();
    }
    if (!sourceFolder && GetSource() >= 1 && store) {
        sourceFolder = m_sourceFolder.lock();
        if (!sourceFolder) {
            sourceFolder = store->FindFolderByRowID(GetSource());
            m_sourceFolder = sourceFolder;
        }
        if (sourceFolder)
            baseFolder = sourceFolder.get();
    }
    const std::string base = baseFolder->GetFolderId();
    const std::string id = boost::lexical_cast<std::string>(messageRowId);

    std::string path = base;
    if (store && store->GetLayoutVersion() >= 2) {
        const std::string uuid = baseFolder->DataParentName(WideToUTF8(store->GetDatabaseUUID()));
        path = JoinPath(uuid.empty() ? base : JoinPath(base, uuid), "Data");
        // The digits of ROWID / 1000, least significant first.
        for (size_t n = id.size(); n >= 4; --n)
            path = JoinPath(path, std::string(1, id[n - 4]));
    }
    return JoinPath(JoinPath(path, "Messages"), id + ".emlx");
}

std::string AppleMailAssetFolderSQLITE::ResolveMessageFile(int64_t messageRowId,
                                                           int64_t ownMailbox, bool& found)
{
    std::string path = WholeMessageFile(messageRowId, ownMailbox);
    // One probe for the usual case, a whole message file.
    found = PathExists(path);
    if (found) return path;
    path = PartialMessageFile(path);
    found = PathExists(path);
    return path;
}

sqlite3_stmt* ReusedStatement::Get(sqlite3* db)
{
    if (m_statement && sqlite3_db_handle(m_statement.get()) == db) {
        sqlite3_reset(m_statement.get());
        sqlite3_clear_bindings(m_statement.get());
        return m_statement.get();
    }
    m_statement = m_pool ? m_pool->Take(db, m_sql) : PrepareStatement(db, m_sql);
    return m_statement.get();
}

void ReusedStatement::Release(sqlite3* current)
{
    if (m_pool)
        m_pool->GiveBack(current, m_sql, std::move(m_statement));
    m_statement.reset();
}

MessageQueries::MessageQueries(StatementPool* pool)
    : globalMessageId("SELECT mgd.message_id_header FROM messages AS msg JOIN "
                      "message_global_data AS mgd ON mgd.ROWID = msg.global_message_id "
                      "WHERE msg.ROWID=?1",
                      pool),
      messageId("SELECT message_id FROM 'messages' WHERE ROWID=?1", pool),
      summary("SELECT adr.comment, adr.address, sub.SUBJECT, msg.date_sent, msg.date_received  FROM "
              "messages AS msg LEFT JOIN addresses AS adr ON adr.ROWID = msg.sender LEFT JOIN "
              "subjects AS sub ON sub.ROWID = msg.subject WHERE msg.ROWID=?1",
              pool),
      sender("SELECT adr.comment, adr.address FROM messages AS msg LEFT JOIN addresses AS adr ON "
             "adr.ROWID = msg.sender WHERE msg.ROWID=?1",
             pool),
      subject("SELECT sub.SUBJECT FROM messages AS msg LEFT JOIN subjects AS sub ON sub.ROWID = "
              "msg.subject WHERE msg.ROWID=?1",
              pool),
      dates("SELECT date_sent, date_received FROM messages WHERE ROWID=?1", pool)
{
}

void MessageQueries::Release(sqlite3* current)
{
    globalMessageId.Release(current);
    messageId.Release(current);
    summary.Release(current);
    sender.Release(current);
    subject.Release(current);
    dates.Release(current);
}

std::string AppleMailAssetFolderSQLITE::MessageIdText(sqlite3* db, int64_t messageRowId,
                                                      MessageQueries& queries)
{
    auto store = m_dbStore.lock();
    if (store && store->HasGlobalMessageData()) {
        if (sqlite3_stmt* stmt = queries.globalMessageId.Get(db)) {
            sqlite3_bind_int64(stmt, 1, messageRowId);
            if (sqlite3_step(stmt) == SQLITE_ROW) {
                const std::string header = SqliteColumnText(stmt, 0);
                if (!header.empty())
                    return header;
            }
        }
    }
    std::string text;
    if (sqlite3_stmt* stmt = queries.messageId.Get(db)) {
        sqlite3_bind_int64(stmt, 1, messageRowId);
        if (sqlite3_step(stmt) == SQLITE_ROW)
            text = SqliteColumnText(stmt, 0);
    }
    // 0 is the column's default: no Message-ID was recorded.
    return text == "0" ? std::string() : text;
}

boost::shared_ptr<IAsset> AppleMailAssetFolderSQLITE::LoadMessageAsset(int64_t messageRowId,
                                                                       std::string& path,
                                                                       std::string& assetId)
{
    auto store = m_dbStore.lock();
    MessageQueries queries(store ? &store->Statements() : nullptr);
    boost::shared_ptr<IAsset> asset = LoadMessageAsset(messageRowId, path, assetId, queries);
    if (store) {
        boost::lock_guard<boost::recursive_mutex> dbGuard(store->EnvelopeIndexMutex());
        queries.Release(store->GetEnvelopeIndexHandle());
    }
    return asset;
}

boost::shared_ptr<IAsset> AppleMailAssetFolderSQLITE::LoadMessageAsset(int64_t messageRowId,
                                                                       std::string& path,
                                                                       std::string& assetId,
                                                                       MessageQueries& queries,
                                                                       int64_t ownMailbox)
{
    queries.summaryError.clear();
    queries.fileError.clear();
    // The file is opened rather than looked up first: the whole message
    // file, else the partial one; only "not found" for both means there is
    // none.
    path = WholeMessageFile(messageRowId, ownMailbox);
    auto message = boost::make_shared<EMLXEmailAsset>(path, &queries.files);
    if (message->WasNotFound()) {
        path = PartialMessageFile(path);
        message = boost::make_shared<EMLXEmailAsset>(path, &queries.files);
    }
    const bool found = !message->WasNotFound();
    auto store = m_dbStore.lock();
    if (!store)
        return {};
    boost::lock_guard<boost::recursive_mutex> dbGuard(store->EnvelopeIndexMutex());
    sqlite3* db = store->GetEnvelopeIndexHandle();
    if (assetId.empty())
        assetId = MessageIdText(db, messageRowId, queries);

    boost::shared_ptr<IAsset> asset;
    bool headerOnly = true;
    if (found) {
        // Only a file that is absent leaves the database's summary to stand
        // for the message; one that is there but unreadable or blank is a
        // message lost, and a header alone would hide that.
        if (!message->WasReadable()) {
            queries.fileError = MessageFileError(path, message->ReadError());
            return {};
        }
        if (!message->HasMessage()) {
            queries.fileError = MessageFileError(path, message->NoMessageReason());
            return {};
        }
        headerOnly = false;
        asset = message;
        ApplyIndexState(*message, db, messageRowId, 0);
        if (!assetId.empty())
            return asset;
    }

    std::string comment, address, subject;
    int64_t dateSent = 0, dateReceived = 0;
    std::string key;  // sender name, address and subject, each left out when NULL
    sqlite3_stmt* stmt = queries.summary.Get(db);
    int rc = SQLITE_ERROR;
    if (stmt) {
        sqlite3_bind_int64(stmt, 1, messageRowId);
        rc = sqlite3_step(stmt);
    }
    if (rc == SQLITE_ROW) {
        comment = SqliteColumnText(stmt, 0);
        address = SqliteColumnText(stmt, 1);
        subject = SqliteColumnText(stmt, 2);
        dateSent = sqlite3_column_int64(stmt, 3);
        dateReceived = sqlite3_column_int64(stmt, 4);
        for (int column = 0; column < 3; ++column) {
            if (sqlite3_column_type(stmt, column) != SQLITE_NULL)
                key += SqliteColumnText(stmt, column);
        }
    } else if (rc == SQLITE_DONE) {
        return asset;  // the row is gone: nothing left to export
    } else {
        // A damaged sender or subject table must not cost the message, nor
        // what the other tables still hold of it: each part of the summary
        // is read from its own table.
        const std::string error = sqlite3_errmsg(db);
        std::string lost;
        const auto readRow = [&](ReusedStatement& query, const char* what, auto&& take) {
            sqlite3_stmt* row = query.Get(db);
            if (row) {
                sqlite3_bind_int64(row, 1, messageRowId);
                if (sqlite3_step(row) == SQLITE_ROW) {
                    take(row);
                    return;
                }
            }
            lost += lost.empty() ? what : std::string(", ") + what;
        };
        readRow(queries.sender, "sender", [&](sqlite3_stmt* row) {
            comment = SqliteColumnText(row, 0);
            address = SqliteColumnText(row, 1);
            for (int column = 0; column < 2; ++column)
                if (sqlite3_column_type(row, column) != SQLITE_NULL) key += SqliteColumnText(row, column);
        });
        readRow(queries.subject, "subject", [&](sqlite3_stmt* row) {
            subject = SqliteColumnText(row, 0);
            if (sqlite3_column_type(row, 0) != SQLITE_NULL) key += subject;
        });
        readRow(queries.dates, "dates", [&](sqlite3_stmt* row) {
            dateSent = sqlite3_column_int64(row, 0);
            dateReceived = sqlite3_column_int64(row, 1);
        });
        if (!lost.empty()) queries.summaryError = lost + " (" + error + ")";
    }

    if (assetId.empty()) {
        const uint32_t crc = Crc32(key.data(), key.size());
        assetId = "UID:" + boost::lexical_cast<std::string>(crc) + "|" +
                  boost::lexical_cast<std::string>(dateSent) + "|" +
                  boost::lexical_cast<std::string>(dateReceived);
    }

    if (headerOnly) {
        std::string text = "From: ";
        FormatMailbox(UTF8ToWide(comment), UTF8ToWide(address), L"SMTP", L"", L"", text);
        text += "\r\nDate: " + FormatRFC822Date(dateSent) + "\r\nSubject: ";
        EncodeHeaderText(subject);
        text += subject;
        auto bytes = boost::make_shared<std::vector<uint8_t>>(text.begin(), text.end());
        auto headers = boost::make_shared<EMLEmailAsset>(bytes, kAssetFlagIncomplete | kAssetFlagHeaderOnly);
        ApplyIndexState(*headers, db, messageRowId, dateSent);
        asset = headers;
    }
    return asset;
}

void AppleMailAssetFolderSQLITE::ApplyIndexState(EmailAssetBase& message, sqlite3* db, int64_t messageRowId,
                                                 int64_t dateSent)
{
    MessageState state = message.GetState();
    if (!state.received && dateSent > 0) state.received = dateSent;
    auto store = m_dbStore.lock();
    const std::string sql = store ? store->MessageStateSql() : std::string();
    if (sql.empty() || !db) {
        message.SetState(state);
        return;
    }
    SqliteStatement stmt = store->Statements().Take(db, sql);
    if (stmt) {
        sqlite3_bind_int64(stmt.get(), 1, messageRowId);
        if (sqlite3_step(stmt.get()) == SQLITE_ROW) {
            sqlite3_stmt* row = stmt.get();
            const auto has = [row](int column) { return sqlite3_column_type(row, column) != SQLITE_NULL; };
            // What Apple Mail shows comes from here, not from the file.
            const boost::optional<int64_t> received = state.received;
            if (has(0)) state = StateFromAppleFlags(static_cast<uint64_t>(sqlite3_column_int64(row, 0)));
            state.received = received;
            if (has(1) && sqlite3_column_int64(row, 1) > 0) state.received = sqlite3_column_int64(row, 1);
            // Newer layouts keep these apart, and they win over the word.
            if (has(2)) state.read = sqlite3_column_int64(row, 2) != 0;
            if (has(3)) state.flagged = sqlite3_column_int64(row, 3) != 0;
            if (has(4)) state.deleted = sqlite3_column_int64(row, 4) != 0;
            if (has(5) && state.flagged) state.flagColour = static_cast<int>(sqlite3_column_int64(row, 5));
            if (!state.flagged) state.flagColour = boost::none;
            if (has(0) || has(2) || has(3) || has(4)) state.known = true;
        }
    }
    store->Statements().GiveBack(db, sql, std::move(stmt));
    message.SetState(state);
}

// ---------------------------------------------------------------------------

AppleMailAssetFolderSQLITEIterator::AppleMailAssetFolderSQLITEIterator(
    const boost::shared_ptr<IProgressPresenter>& presenter,
    const boost::shared_ptr<ICancelable>& cancelable, const boost::shared_ptr<ILogger>& logger,
    const boost::shared_ptr<AppleMailAssetFolderSQLITE>& folder)
    : m_presenter(presenter),
      m_cancelable(cancelable),
      m_logger(logger),
      m_folder(folder),
      m_store(folder ? folder->GetDBStore() : boost::shared_ptr<AppleMailDBStoreSQLITE>()),
      m_queries(m_store ? &m_store->Statements() : nullptr)
{
}

AppleMailAssetFolderSQLITEIterator::~AppleMailAssetFolderSQLITEIterator()
{
    if (m_store) {
        boost::lock_guard<boost::recursive_mutex> dbGuard(m_store->EnvelopeIndexMutex());
        sqlite3* db = m_store->GetEnvelopeIndexHandle();
        m_store->Statements().GiveBack(db, m_listingSql, std::move(m_statement));
        m_queries.Release(db);
    }
}

int AppleMailAssetFolderSQLITEIterator::Begin()
{
    if (m_begun)
        return End();
    m_begun = true;
    if (!m_folder || !m_store || m_folder->GetMailboxRowID() < 1)
        return 0;
    // A count SQLite refused means the tree showed a wrong number: the
    // folder fails even if the listing itself goes through.
    const std::string countError = m_folder->GetCountError();
    if (!countError.empty())
        Fail(L"Failed to count the messages", countError);
    const AppleMailAssetFolderSQLITE::RowSelection rows = m_folder->SelectRows();
    {
        boost::lock_guard<boost::recursive_mutex> dbGuard(m_store->EnvelopeIndexMutex());
        sqlite3* db = m_store->GetEnvelopeIndexHandle();
        if (!db) {
            Fail(L"Failed to list the messages", "the database is closed");
            return End();
        }
        m_listingSql = "SELECT " + rows.rowColumn + ", " + rows.mailboxColumn + " " + rows.from +
                       " ORDER BY " + rows.rowColumn;
        m_statement = m_store->Statements().Take(db, m_listingSql);
        if (!m_statement) {
            Fail(L"Failed to list the messages", sqlite3_errmsg(db));
            return End();
        }
        sqlite3_bind_int64(m_statement.get(), 1, m_folder->GetMailboxRowID());
    }
    Step();
    return End();
}

void AppleMailAssetFolderSQLITEIterator::Fail(const wchar_t* what, const std::string& message)
{
    m_failed = true;
    if (m_logger)
        m_logger->Log(L"ERROR : " + std::wstring(what) + L" of folder " + m_folder->GetPath() +
                          L" : " + UTF8ToWide(message),
                      true, true);
}

void AppleMailAssetFolderSQLITEIterator::Step()
{
    m_hasRow = false;
    if (!m_statement || !m_store)
        return;
    boost::lock_guard<boost::recursive_mutex> dbGuard(m_store->EnvelopeIndexMutex());
    // A closed store's connection is gone; the listing ends there.
    if (m_store->GetEnvelopeIndexHandle() != sqlite3_db_handle(m_statement.get())) {
        m_statement.reset();
        Fail(L"Failed to list the messages", "the database was closed during the listing");
        return;
    }
    const int rc = sqlite3_step(m_statement.get());
    if (rc == SQLITE_ROW) {
        m_hasRow = true;
    } else if (rc != SQLITE_DONE) {
        // A corrupt page or a vanished table: the rest of the folder is
        // unread, which the export must not take for its end.
        Fail(L"Failed to list the messages", sqlite3_errmsg(sqlite3_db_handle(m_statement.get())));
        m_statement.reset();
    }
}

void AppleMailAssetFolderSQLITEIterator::Increment()
{
    Step();
}

boost::shared_ptr<IAssetQueryResult> AppleMailAssetFolderSQLITEIterator::GetCurrent()
{
    int64_t rowId = 0;
    int64_t ownMailbox = 0;
    if (!m_store || !m_folder)
        return {};
    {
        boost::lock_guard<boost::recursive_mutex> dbGuard(m_store->EnvelopeIndexMutex());
        if (!m_hasRow || !m_statement)
            return {};
        rowId = sqlite3_column_int64(m_statement.get(), 0);
        ownMailbox = sqlite3_column_int64(m_statement.get(), 1);
    }
    std::string path, assetId;
    boost::shared_ptr<IAsset> asset =
        m_folder->LoadMessageAsset(rowId, path, assetId, m_queries, ownMailbox);
    if (m_logger && !m_queries.summaryError.empty())
        m_logger->Log(L"WARNING : The summary of message " + boost::lexical_cast<std::wstring>(rowId) +
                          L" in folder " + m_folder->GetPath() +
                          L" could not be read whole from the database; left out: " +
                          UTF8ToWide(m_queries.summaryError),
                      true, true);
    if (!m_queries.fileError.empty())
        return boost::make_shared<UnreadableAssetQueryResult>(UTF8ToWide(path), m_queries.fileError, assetId);
    const bool incomplete = !asset || (asset->GetAssetFlags() & kAssetFlagIncomplete);
    if (incomplete) LogIncompleteMessage(m_logger, path, asset);
    if (asset)
        return boost::make_shared<NewAssetQueryResult>(asset, 1, assetId, kQueryStatusReadable);
    return boost::make_shared<DeleteAssetQueryResult>(assetId, 1);
}

int AppleMailAssetFolderSQLITEIterator::GetUnitCount(int64_t* count)
{
    if (count)
        *count = m_folder ? m_folder->GetAssetCount() : 0;
    return 0;
}

}  // namespace KestrinMIMEEngineCommon
