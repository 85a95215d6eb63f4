// Reading SQLite databases of the user's mail folder without writing there.
// Opening a WAL-mode database, even read-only, creates "-shm" and "-wal"
// files beside it, and Apple Mail may be writing the database while we read.
// So the database and its "-wal" file are copied into a private folder and
// read from there.
//
// The private folder is "kestrin-<pid>-XXXXXX" in the system's temporary
// folder (TMPDIR, else /tmp), readable by the user only. It can hold a large
// part of someone's mail metadata, so it is removed when the copy is
// dropped, at exit, by the command line's second Ctrl-C
// (RemovePrivateCopiesNow), and, should the process have been killed, by the
// next start of the program (RemoveStaleCopies).
#pragma once

#include <memory>
#include <set>
#include <string>
#include <unordered_map>

#include <sqlite3.h>

namespace KestrinMIMEEngineCommon {

struct SqliteCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct SqliteFinalizer {
    void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
};
using SqliteHandle = std::unique_ptr<sqlite3, SqliteCloser>;
using SqliteStatement = std::unique_ptr<sqlite3_stmt, SqliteFinalizer>;

class SqliteReadCopy {
public:
    // Copies source (and source + "-wal" when present) into a new folder
    // below the system's temporary folder; null when that fails. The first
    // call of a process removes stale copies first.
    static std::unique_ptr<SqliteReadCopy> Create(const std::string& source);
    ~SqliteReadCopy();
    SqliteReadCopy(const SqliteReadCopy&) = delete;
    SqliteReadCopy& operator=(const SqliteReadCopy&) = delete;

    const std::string& DatabasePath() const { return m_databasePath; }
    const std::string& FolderPath() const { return m_folder; }

private:
    SqliteReadCopy(std::string folder, std::string databasePath);
    std::string m_folder;
    std::string m_databasePath;
};

// Removes the private folders of every copy still alive, with only calls
// that are safe in a signal handler (for a process about to end at once).
void RemovePrivateCopiesNow();
// Removes the private folders that processes of this program left behind
// (killed, crashed): those whose process no longer runs. Answers how many.
int RemoveStaleCopies();

// Opens a database read-only without SQLite's own mutex (flags 0x8001) and
// installs a busy handler that always retries. Null on failure.
SqliteHandle OpenReadOnlyDatabase(const std::string& path);

// Whether the database file opens, without creating anything beside it (the
// file is opened as immutable through a "file:" URI).
bool DatabaseOpensInPlace(const std::string& path);

// A prepared statement, or null when it does not prepare (a table or
// column the database lacks).
SqliteStatement PrepareStatement(sqlite3* db, const char* sql);
// Prepared statements handed from one user to the next by their SQL text.
// Preparing a listing's queries costs more than listing a mailbox of ten
// messages, and a library can hold thousands of mailboxes. Not thread-safe:
// callers hold the lock of the connection the statements belong to.
class StatementPool {
public:
    // A statement for sql on db, reset and without bindings: a kept one when
    // there is one, else a new one; null when it does not prepare.
    SqliteStatement Take(sqlite3* db, const std::string& sql);
    // Keeps statement for the next Take of sql, unless it belongs to a
    // connection other than current (the one it came from was closed).
    void GiveBack(sqlite3* current, const std::string& sql, SqliteStatement statement);
    // Finalizes every kept statement; due before their connection closes.
    void Clear() { m_idle.clear(); }

private:
    std::unordered_multimap<std::string, SqliteStatement> m_idle;
};

// Column text, empty for NULL.
std::string SqliteColumnText(sqlite3_stmt* stmt, int column);
bool SqliteTableExists(sqlite3* db, const char* table);
// The names of the table's columns; empty when there is no such table.
std::set<std::string> SqliteColumns(sqlite3* db, const char* table);

// "file:" URI of a file-system path, percent-encoding what URIs reserve.
std::string SqliteFileURI(const std::string& path);

}  // namespace KestrinMIMEEngineCommon
