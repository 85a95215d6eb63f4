#include "applemail/SqliteReadCopy.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <vector>

#include <boost/filesystem.hpp>

#include "streams/KSDiagnostics.h"
#include "streams/Platform.h"

namespace KestrinMIMEEngineCommon {

namespace fs = boost::filesystem;

namespace {

// fs::copy_file of this Boost gives up with "Invalid cross-device link" when
// the mail folder and the temporary folder lie on different file systems
// (the kernel's in-place copy refuses); the bytes are then copied by hand.
void CopyFile(const fs::path& source, const fs::path& target, boost::system::error_code& ec)
{
    fs::copy_file(source, target, ec);
    if (!ec) return;
    const boost::system::error_code copyError = ec;
    boost::system::error_code ignored;
    fs::remove(target, ignored);
    std::ifstream in(source.string(), std::ios::binary);
    std::ofstream out(target.string(), std::ios::binary | std::ios::trunc);
    if (in && out) {
        out << in.rdbuf();
        out.close();
        if (out && !in.bad()) {
            ec.clear();
            return;
        }
    }
    fs::remove(target, ignored);
    ec = copyError;
}

// SQLite and the copy open the file with a plain open(): a FIFO in place of
// the database would block there forever and a device never end. Answers the
// reason when path is not a regular file that may be read.
bool IsReadableRegularFile(const std::string& path, std::string& reason)
{
    int error = 0;
    if (!Platform::OpenRegularFileForReading(path, error)) {
        reason = Platform::ErrorText(error);
        return false;
    }
    return true;
}

const char kCopyFolderPrefix[] = "kestrin-";

// The copies alive in this process, kept where a signal handler can reach
// them: fixed slots of ready-made paths, published by an atomic flag, so that
// removing them needs nothing but unlink and rmdir.
constexpr size_t kMaxLiveCopies = 16;
constexpr size_t kMaxPathBytes = 4096;
// The copy and what SQLite makes beside it.
const char* const kCopySuffixes[] = {"", "-wal", "-shm", "-journal"};
constexpr size_t kCopyFiles = sizeof kCopySuffixes / sizeof kCopySuffixes[0];

struct LiveCopySlot {
    std::atomic<bool> used{false};
    char folder[kMaxPathBytes];
    char files[kCopyFiles][kMaxPathBytes];
};
static_assert(std::atomic<bool>::is_always_lock_free, "signal handlers need a lock-free flag");

LiveCopySlot g_liveCopies[kMaxLiveCopies];
std::mutex g_slotMutex;

bool CopyInto(char* target, const std::string& text)
{
    if (text.size() >= kMaxPathBytes) return false;
    std::memcpy(target, text.c_str(), text.size() + 1);
    return true;
}

void RegisterLiveCopy(const std::string& folder, const std::string& database)
{
    std::lock_guard<std::mutex> guard(g_slotMutex);
    for (LiveCopySlot& slot : g_liveCopies) {
        if (slot.used.load()) continue;
        bool fits = CopyInto(slot.folder, folder);
        for (size_t i = 0; i < kCopyFiles; ++i)
            fits = fits && CopyInto(slot.files[i], database + kCopySuffixes[i]);
        if (fits) slot.used.store(true);
        return;
    }
    // More copies than slots: the extra ones are still removed by their
    // owner and by the next start, only not by a second Ctrl-C.
}

void UnregisterLiveCopy(const std::string& folder)
{
    std::lock_guard<std::mutex> guard(g_slotMutex);
    for (LiveCopySlot& slot : g_liveCopies)
        if (slot.used.load() && folder == slot.folder) slot.used.store(false);
}

extern "C" void RemovePrivateCopiesAtExit() { RemovePrivateCopiesNow(); }

// "kestrin-<pid>-XXXXXX": the pid, or 0 for any other name.
pid_t OwnerOfCopyFolder(const std::string& name)
{
    const size_t prefix = sizeof kCopyFolderPrefix - 1;
    if (name.compare(0, prefix, kCopyFolderPrefix) != 0) return 0;
    size_t at = prefix;
    long long pid = 0;
    while (at < name.size() && std::isdigit(static_cast<unsigned char>(name[at])) && pid < 1LL << 32)
        pid = pid * 10 + (name[at++] - '0');
    if (at == prefix || at >= name.size() || name[at] != '-' || name.size() - at - 1 != 6) return 0;
    return pid > 0 && pid < 1LL << 31 ? static_cast<pid_t>(pid) : 0;
}

}  // namespace

void RemovePrivateCopiesNow()
{
    for (LiveCopySlot& slot : g_liveCopies) {
        if (!slot.used.load()) continue;
        for (const char* file : slot.files) ::unlink(file);
        ::rmdir(slot.folder);
    }
}

int RemoveStaleCopies()
{
    boost::system::error_code ec;
    const fs::path temporary = fs::temp_directory_path(ec);
    if (ec) return 0;
    int removed = 0;
    for (fs::directory_iterator entry(temporary, ec), end; !ec && entry != end; entry.increment(ec)) {
        const pid_t owner = OwnerOfCopyFolder(entry->path().filename().string());
        if (owner == 0 || owner == ::getpid()) continue;
        // Only a process that is gone: one of another user answers EPERM.
        if (::kill(owner, 0) == 0 || errno != ESRCH) continue;
        // Only our own real folders, never what a link points to.
        struct stat info {};
        if (::lstat(entry->path().c_str(), &info) != 0 || !S_ISDIR(info.st_mode) ||
            info.st_uid != ::getuid())
            continue;
        boost::system::error_code removeError;
        fs::remove_all(entry->path(), removeError);
        if (!removeError) ++removed;
    }
    return removed;
}

SqliteReadCopy::SqliteReadCopy(std::string folder, std::string databasePath)
    : m_folder(std::move(folder)), m_databasePath(std::move(databasePath))
{
    RegisterLiveCopy(m_folder, m_databasePath);
}

SqliteReadCopy::~SqliteReadCopy()
{
    UnregisterLiveCopy(m_folder);
    boost::system::error_code ec;
    fs::remove_all(m_folder, ec);
}

std::unique_ptr<SqliteReadCopy> SqliteReadCopy::Create(const std::string& source)
{
    static std::once_flag once;
    std::call_once(once, [] {
        RemoveStaleCopies();
        std::atexit(RemovePrivateCopiesAtExit);
    });

    std::string reason;
    if (!IsReadableRegularFile(source, reason)) {
        KSDiagnostic("ERROR: Cannot read database %s - %s\n", source.c_str(), reason.c_str());
        return nullptr;
    }
    boost::system::error_code ec;
    const fs::path temporary = fs::temp_directory_path(ec);
    std::string folderTemplate = (temporary / (std::string(kCopyFolderPrefix) +
                                               std::to_string(::getpid()) + "-XXXXXX"))
                                     .string();
    std::vector<char> buffer(folderTemplate.begin(), folderTemplate.end());
    buffer.push_back('\0');
    // mkdtemp makes the folder readable by the user only: mail data is private.
    if (ec || !::mkdtemp(buffer.data())) {
        KSDiagnostic("ERROR: Failed to create a private folder for [%s]\n", source.c_str());
        return nullptr;
    }
    const fs::path folder(buffer.data());
    std::unique_ptr<SqliteReadCopy> copy(
        new SqliteReadCopy(folder.string(), (folder / fs::path(source).filename()).string()));
    CopyFile(source, copy->m_databasePath, ec);
    if (ec) {
        KSDiagnostic("ERROR: Failed to copy database [%s]: %s\n", source.c_str(),
                     ec.message().c_str());
        return nullptr;
    }
    const std::string wal = source + "-wal";
    if (fs::exists(wal, ec) && IsReadableRegularFile(wal, reason)) {
        CopyFile(wal, copy->m_databasePath + "-wal", ec);
        if (ec)
            KSDiagnostic("ERROR: Failed to copy database journal [%s]: %s\n", wal.c_str(),
                         ec.message().c_str());
    }
    return copy;
}

namespace {

int AlwaysRetry(void*, int)
{
    return 1;
}

}  // namespace

SqliteHandle OpenReadOnlyDatabase(const std::string& path)
{
    std::string reason;
    if (!IsReadableRegularFile(path, reason))
        return SqliteHandle();
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX,
                                   nullptr);
    SqliteHandle db(raw);
    if (rc != SQLITE_OK)
        return SqliteHandle();
    sqlite3_busy_handler(db.get(), &AlwaysRetry, nullptr);
    return db;
}

SqliteStatement PrepareStatement(sqlite3* db, const char* sql)
{
    sqlite3_stmt* raw = nullptr;
    if (!db || sqlite3_prepare_v2(db, sql, -1, &raw, nullptr) != SQLITE_OK) {
        sqlite3_finalize(raw);
        return SqliteStatement();
    }
    return SqliteStatement(raw);
}

SqliteStatement StatementPool::Take(sqlite3* db, const std::string& sql)
{
    auto range = m_idle.equal_range(sql);
    for (auto it = range.first; it != range.second; ++it) {
        if (sqlite3_db_handle(it->second.get()) != db) continue;
        SqliteStatement statement = std::move(it->second);
        m_idle.erase(it);
        sqlite3_reset(statement.get());
        sqlite3_clear_bindings(statement.get());
        return statement;
    }
    return PrepareStatement(db, sql.c_str());
}

void StatementPool::GiveBack(sqlite3* current, const std::string& sql, SqliteStatement statement)
{
    if (!statement || !current || sqlite3_db_handle(statement.get()) != current) return;
    // A statement left mid-listing would keep its read transaction open.
    sqlite3_reset(statement.get());
    m_idle.emplace(sql, std::move(statement));
}

std::string SqliteColumnText(sqlite3_stmt* stmt, int column)
{
    const unsigned char* text = sqlite3_column_text(stmt, column);
    return text ? reinterpret_cast<const char*>(text) : std::string();
}

bool SqliteTableExists(sqlite3* db, const char* table)
{
    SqliteStatement stmt =
        PrepareStatement(db, "SELECT 1 FROM sqlite_master WHERE type='table' AND name=?1");
    if (!stmt)
        return false;
    sqlite3_bind_text(stmt.get(), 1, table, -1, SQLITE_TRANSIENT);
    return sqlite3_step(stmt.get()) == SQLITE_ROW;
}

std::set<std::string> SqliteColumns(sqlite3* db, const char* table)
{
    std::set<std::string> columns;
    const std::string sql = std::string("PRAGMA table_info('") + table + "')";
    SqliteStatement stmt = PrepareStatement(db, sql.c_str());
    while (stmt && sqlite3_step(stmt.get()) == SQLITE_ROW) {
        const unsigned char* name = sqlite3_column_text(stmt.get(), 1);
        if (name) columns.insert(reinterpret_cast<const char*>(name));
    }
    return columns;
}

std::string SqliteFileURI(const std::string& path)
{
    static const char* hex = "0123456789ABCDEF";
    std::string uri = "file:";
    for (unsigned char c : path) {
        if (std::isalnum(c) || c == '/' || c == '-' || c == '.' || c == '_' || c == '~' ||
            c >= 0x80) {
            uri.push_back(static_cast<char>(c));
        } else {
            uri.push_back('%');
            uri.push_back(hex[c >> 4]);
            uri.push_back(hex[c & 15]);
        }
    }
    return uri;
}

bool DatabaseOpensInPlace(const std::string& path)
{
    std::string reason;
    if (!IsReadableRegularFile(path, reason)) {
        KSDiagnostic("ERROR: Cannot read database %s - %s\n", path.c_str(), reason.c_str());
        return false;
    }
    const std::string uri = SqliteFileURI(path) + "?immutable=1";
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(
        uri.c_str(), &raw, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_URI, nullptr);
    SqliteHandle db(raw);
    return rc == SQLITE_OK;
}

}  // namespace KestrinMIMEEngineCommon
