// One mailbox of the Envelope Index: counts and lists its messages from the
// database in ascending row order and finds each message's file on disk.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include <boost/shared_ptr.hpp>
#include <boost/weak_ptr.hpp>

#include "applemail/SqliteReadCopy.h"
#include "assets/AssetFolderBase.h"
#include "assets/AssetStoreBase.h"
#include "streams/Platform.h"

namespace KestrinMIMEEngineCommon {

class AppleMailDBStoreSQLITE;

// Mailbox ROWIDs of folders that only group others.
constexpr int64_t kGroupingFolderRowID = -1;
constexpr int64_t kAccountFolderRowID = -2;  // named from the account names

// A statement run once per message, prepared on first use and reused for the
// following messages as long as the connection stays the same.
class ReusedStatement {
public:
    // With a pool, the statement comes from it and goes back to it, so the
    // next listing need not prepare it again.
    ReusedStatement(const char* sql, StatementPool* pool) : m_sql(sql), m_pool(pool) {}
    // The statement, reset with its bindings cleared; null when it does not
    // prepare on this connection. The caller holds the connection's mutex.
    sqlite3_stmt* Get(sqlite3* db);
    // Gives the statement back (to the pool when it is still of current).
    void Release(sqlite3* current);

private:
    const char* m_sql;
    StatementPool* m_pool;
    SqliteStatement m_statement;
};

// The per-message look-ups of a listing.
struct MessageQueries {
    explicit MessageQueries(StatementPool* pool = nullptr);
    ReusedStatement globalMessageId;
    ReusedStatement messageId;
    ReusedStatement summary;
    // One table each, for when the summary's join fails: what survives of
    // a damaged index is still read.
    ReusedStatement sender;
    ReusedStatement subject;
    ReusedStatement dates;
    // When the last message's summary could not be read whole: what was
    // lost ("sender, subject") and SQLite's message.
    std::string summaryError;
    // The report line when the last message's file is there but could not
    // be read or holds no message: that message failed.
    std::wstring fileError;
    // The listing's message files, opened through their directory.
    Platform::DirectoryOpener files;
    // The caller holds the connection's mutex; current is the connection.
    void Release(sqlite3* current);
};

class AppleMailAssetFolderSQLITE : public AssetFolderBase {
public:
    AppleMailAssetFolderSQLITE(const std::wstring& name, const std::string& location,
                               const boost::shared_ptr<AppleMailDBStoreSQLITE>& store,
                               const boost::shared_ptr<IAssetFolder>& parent, bool isRoot,
                               int64_t mailboxRowId);

    // A count that SQLite refuses is remembered and reported when the folder
    // is listed (the folder then counts as failed); answers 2 then.
    Status RefreshAssetCount() override;
    // The unread count Apple Mail keeps for this mailbox in its index; none
    // for a folder that is no mailbox or a layout without the count.
    boost::optional<int64_t> IndexUnreadCount();
    int LoadSubFolders() override;
    // Worked out once and kept: sibling sets compare ids at every insertion,
    // and a grouping folder's id asks all its ancestors for theirs.
    std::string GetPathUTF8() override;
    // The id follows the parent's, so it is worked out again after a move.
    void UpdatePath() override;
    boost::shared_ptr<IAssetIterator> GetAssetIterator(
        unsigned queryKind, const boost::shared_ptr<IProgressPresenter>& presenter,
        const boost::shared_ptr<ICancelable>& cancelable,
        const boost::shared_ptr<ILogger>& logger) override;

    int64_t GetMailboxRowID() const { return m_mailboxRowId; }
    // Turns a grouping folder into the mailbox of that row (kind 4 unless
    // the id is -1). The folder id depends on the row, so the folder is
    // taken out of its parent's children and put back around the change.
    void BecomeMailbox(int64_t rowId);
    // The row's source column (label mailboxes point at the mailbox that
    // holds their files); 0 when empty.
    int64_t GetSource();

    // The message file of a row: base/UUID/Data/<digits>/Messages/<id>.emlx
    // (or ".partial.emlx"); found tells whether it exists.
    std::string ResolveMessageFile(int64_t messageRowId, bool& found);
    // The same below the bundle of the mailbox that holds the message row
    // (a label mailbox lists messages stored in other mailboxes); 0 or an
    // unknown mailbox falls back to the source folder.
    std::string ResolveMessageFile(int64_t messageRowId, int64_t ownMailbox, bool& found);
    // The whole message file's path of a row (".emlx"), without looking at
    // the disk, and its partial counterpart (".partial.emlx").
    std::string WholeMessageFile(int64_t messageRowId, int64_t ownMailbox);
    static std::string PartialMessageFile(const std::string& wholePath);
    // The item for a row: the .emlx message, or a header-only message built
    // from the database; null when neither exists. assetId is filled when
    // empty.
    boost::shared_ptr<IAsset> LoadMessageAsset(int64_t messageRowId, std::string& path,
                                               std::string& assetId);
    // The same, with statements kept by the caller from one message to the
    // next.
    boost::shared_ptr<IAsset> LoadMessageAsset(int64_t messageRowId, std::string& path,
                                               std::string& assetId, MessageQueries& queries,
                                               int64_t ownMailbox = 0);

    boost::shared_ptr<AppleMailDBStoreSQLITE> GetDBStore() const { return m_dbStore.lock(); }
    // SQLite's message when the last count failed; empty when it succeeded.
    std::string GetCountError();
    // The rows a listing visits, in the same form for the count and the
    // listing so that both always select the same rows: the FROM and WHERE
    // part (the mailbox's row id bound as ?1, so one prepared statement
    // serves every mailbox), the ROWID column and the column of the row's
    // own mailbox.
    struct RowSelection {
        std::string from;
        std::string rowColumn;
        std::string mailboxColumn;
    };
    RowSelection SelectRows();

private:
    // The UUID-named folder below this mailbox that holds its "Data" tree.
    std::string MessageStoreFolderName();
    // The folder below this mailbox that holds its "Data" tree for the
    // database's UUID: that UUID's folder when there is one, else
    // MessageStoreFolderName. Looked up once per mailbox, not per message.
    std::string DataParentName(const std::string& databaseUUID);
    std::string MessageIdText(sqlite3* db, int64_t messageRowId, MessageQueries& queries);
    // Puts the row's read/answered/flagged state and received date on the
    // message (the index is what Apple Mail shows); what the message's own
    // file said stands where the row says nothing. dateSent stands in for a
    // received date nothing else gives (0: none).
    void ApplyIndexState(EmailAssetBase& message, sqlite3* db, int64_t messageRowId, int64_t dateSent);
    void ForgetId();

    boost::weak_ptr<AppleMailDBStoreSQLITE> m_dbStore;
    // Guards only the kept id, never held while an ancestor's is asked for.
    std::mutex m_idMutex;
    bool m_idKnown = false;
    std::string m_id;
    int64_t m_mailboxRowId;
    int64_t m_source = -1;
    bool m_storeFolderKnown = false;
    std::string m_storeFolderName;
    bool m_dataParentKnown = false;
    std::string m_dataParentUUID;
    std::string m_dataParentBase;
    std::string m_dataParentName;
    boost::weak_ptr<AppleMailAssetFolderSQLITE> m_sourceFolder;
    std::string m_countError;
};

class AppleMailAssetFolderSQLITEIterator : public IAssetIterator {
public:
    AppleMailAssetFolderSQLITEIterator(const boost::shared_ptr<IProgressPresenter>& presenter,
                                       const boost::shared_ptr<ICancelable>& cancelable,
                                       const boost::shared_ptr<ILogger>& logger,
                                       const boost::shared_ptr<AppleMailAssetFolderSQLITE>& folder);
    ~AppleMailAssetFolderSQLITEIterator() override;

    int Begin() override;
    // failed when the listing broke off (SQLite refused the count, the statement
    // or a step): the folder has not been read completely.
    int End() override { return m_failed ? 2 : 0; }
    boost::shared_ptr<IAssetQueryResult> GetCurrent() override;
    void Increment() override;
    bool IsValid() override { return m_hasRow; }
    int GetUnitCount(int64_t* count) override;

private:
    void Step();
    // Marks the folder failed and logs what failed with SQLite's message.
    void Fail(const wchar_t* what, const std::string& message);

    boost::shared_ptr<IProgressPresenter> m_presenter;
    boost::shared_ptr<ICancelable> m_cancelable;
    boost::shared_ptr<ILogger> m_logger;
    boost::shared_ptr<AppleMailAssetFolderSQLITE> m_folder;
    bool m_hasRow = false;
    bool m_begun = false;
    bool m_failed = false;
    // The statements belong to this store's connection; holding the store
    // keeps the connection (and its private copy) alive while we step.
    boost::shared_ptr<AppleMailDBStoreSQLITE> m_store;
    std::string m_listingSql;
    SqliteStatement m_statement;
    MessageQueries m_queries;
};

// The header block logged before every message that Apple Mail has not
// downloaded.
extern const wchar_t* const kNotDownloadedWarning;

}  // namespace KestrinMIMEEngineCommon
