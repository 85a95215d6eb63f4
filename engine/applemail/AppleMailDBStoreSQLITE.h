// The store over a modern Apple Mail data folder: the "Envelope Index"
// database (layouts 1 to 10) lists the accounts' mailboxes and their
// messages; each mailbox becomes an AppleMailAssetFolderSQLITE.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <boost/optional.hpp>
#include <boost/shared_ptr.hpp>
#include <boost/thread/recursive_mutex.hpp>

#include "applemail/SqliteReadCopy.h"
#include "assets/AssetStoreBase.h"

namespace KestrinMIMEEngineCommon {

class AppleMailAssetFolderSQLITE;

class AppleMailDBStoreSQLITE : public AssetStoreBase {
public:
    // An empty name becomes "Apple Mail Store". Locates the database at once.
    AppleMailDBStoreSQLITE(const std::string& rootPath, const std::wstring& name);
    ~AppleMailDBStoreSQLITE() override;

    Status Open(const boost::shared_ptr<IProgressPresenter>& presenter,
             const boost::shared_ptr<ICancelable>& cancelable,
             const boost::shared_ptr<ILogger>& logger, bool createLocation) override;
    Status Close() override;
    bool SupportsFolderKind(int kind) override { return kind == kFolderKindMail; }
    // One line naming the accounts the account configuration could not name
    // (their mailboxes are kept under the account ids), and one per mailbox
    // the database lists but the mail folder does not hold.
    std::vector<std::wstring> GetReportNotes() override;
    std::vector<MailboxNotOnDisk> GetMailboxesNotOnDisk() override;
    Status LoadFolderTree(const boost::shared_ptr<IProgressPresenter>& presenter,
                       const boost::shared_ptr<ICancelable>& cancelable,
                       const boost::shared_ptr<ILogger>& logger) override;

    // The open connection (on the private copy), or null while closed.
    virtual sqlite3* GetEnvelopeIndexHandle();

    // Depth first, a folder before its subfolders; -1 finds the root.
    boost::shared_ptr<AppleMailAssetFolderSQLITE> FindFolderByRowID(int64_t rowId);

    // sqlite3_exec callback over "select ROWID, url from mailboxes"; the
    // context is the store. Always answers 0.
    static int mailboxes_sqlitecallback(void* context, int columnCount, char** values,
                                        char** names);
    // The last folder's count result; none for a row whose mailbox has no
    // folder on disk.
    boost::optional<Status> AddMailboxPath(const boost::shared_ptr<AppleMailAssetFolderSQLITE>& parent,
                       const std::vector<std::string>& components, size_t index, int64_t rowId,
                       const std::string& extension, const std::string& prefix);
    // Fills the account maps; failed when the layout-2 "Accounts.plist" is missing.
    Status ReadAccounts();

    int GetLayoutVersion() const { return m_layoutVersion; }
    // The folder all paths are joined to (the location without trailing '/').
    const std::string& GetRootPath() const { return m_rootPath; }
    int64_t GetMajorVersion() const { return m_majorVersion; }
    int64_t GetMinorVersion() const { return m_minorVersion; }
    const std::wstring& GetDatabaseUUID() const { return m_databaseUUID; }
    const std::map<std::wstring, std::wstring>& GetAccountFolders() const { return m_accountFolders; }
    const std::map<std::wstring, std::wstring>& GetAccountNames() const { return m_accountNames; }
    // Where the database is read from while open; empty while closed.
    std::string GetPrivateCopyFolder() const;
    // Whether messages carry their Message-ID in message_global_data.
    bool HasGlobalMessageData() const { return m_hasGlobalMessageData; }
    // One message row's state: flags, date_received, then read, flagged,
    // deleted and flag_color where the layout has those columns (NULL where
    // not); bound to the ROWID as ?1. Empty while closed.
    const std::string& MessageStateSql() const { return m_messageStateSql; }
    // The mailbox row's unread_count as Apple Mail shows it; none when the
    // layout has no such column or the row is gone.
    boost::optional<int64_t> MailboxUnreadCount(int64_t mailboxRowId);

    // Serialises every use of the Envelope Index connection, which SQLite
    // does not guard itself (it is opened without its mutex).
    boost::recursive_mutex& EnvelopeIndexMutex() { return m_envelopeIndexMutex; }
    // Statements of the connection kept between listings; used under
    // EnvelopeIndexMutex().
    StatementPool& Statements() { return m_statements; }

private:
    void ReadAccountsPlistV2();
    void ReadBackupTOC(void* dictionary, int depth);
    void ReadAccountDatabase();
    Status ReadProperties();
    void AddMailboxRow(const std::string& rowIdText, const std::string& urlText);
    // Layout 2: the folder of an account "Accounts.plist" does not list,
    // found by Apple Mail's folder naming; empty when none exists.
    std::string UnlistedAccountFolderV2(const std::string& scheme, const std::string& account);
    // Remembers a mailbox row that yields no folder, with its message count.
    void NoteMailboxWithoutFolder(int64_t rowId, const std::string& url);
    void CloseEnvelopeIndex();

    SqliteHandle m_envelopeIndex;
    StatementPool m_statements;  // emptied before the connection closes
    int64_t m_majorVersion = -1;
    int64_t m_minorVersion = -1;
    std::wstring m_databaseUUID;
    int m_layoutVersion = 1;
    std::string m_envelopeIndexPath;
    std::map<std::wstring, std::wstring> m_accountFolders;
    std::map<std::wstring, std::wstring> m_accountNames;

    std::string m_rootPath;
    std::unique_ptr<SqliteReadCopy> m_copy;
    bool m_hasGlobalMessageData = false;
    std::string m_messageStateSql;
    bool m_hasUnreadCount = false;
    // Account folders shown under their ids, in the order met.
    std::vector<std::wstring> m_unnamedAccounts;
    std::vector<std::wstring> m_mailboxesWithoutFolder;
    std::vector<MailboxNotOnDisk> m_mailboxesNotOnDisk;
    boost::recursive_mutex m_envelopeIndexMutex;
};

}  // namespace KestrinMIMEEngineCommon
