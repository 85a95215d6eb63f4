#include "applemail/SqliteReadCopy.h"

#include <cctype>
#include <fstream>

#include <boost/filesystem.hpp>

#include "streams/KSDiagnostics.h"

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

}  // namespace

SqliteReadCopy::SqliteReadCopy(std::string folder, std::string databasePath)
    : m_folder(std::move(folder)), m_databasePath(std::move(databasePath))
{
}

SqliteReadCopy::~SqliteReadCopy()
{
    boost::system::error_code ec;
    fs::remove_all(m_folder, ec);
}

std::unique_ptr<SqliteReadCopy> SqliteReadCopy::Create(const std::string& source)
{
    boost::system::error_code ec;
    const fs::path folder =
        fs::temp_directory_path(ec) / fs::unique_path("kestrin-db-%%%%-%%%%-%%%%-%%%%");
    if (ec || !fs::create_directory(folder, ec) || ec) {
        KSDiagnostic("%s ERROR: Failed to create a private folder for [%s]\n", source.c_str());
        return nullptr;
    }
    // Mail data is private: only the user may read the copy.
    fs::permissions(folder, fs::owner_all, ec);
    std::unique_ptr<SqliteReadCopy> copy(
        new SqliteReadCopy(folder.string(), (folder / fs::path(source).filename()).string()));
    CopyFile(source, copy->m_databasePath, ec);
    if (ec) {
        KSDiagnostic("%s ERROR: Failed to copy database [%s]: %s\n", source.c_str(),
                     ec.message().c_str());
        return nullptr;
    }
    const std::string wal = source + "-wal";
    if (fs::exists(wal, ec)) {
        CopyFile(wal, copy->m_databasePath + "-wal", ec);
        if (ec)
            KSDiagnostic("%s ERROR: Failed to copy database journal [%s]: %s\n", wal.c_str(),
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
    const std::string uri = SqliteFileURI(path) + "?immutable=1";
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(
        uri.c_str(), &raw, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_URI, nullptr);
    SqliteHandle db(raw);
    return rc == SQLITE_OK;
}

}  // namespace KestrinMIMEEngineCommon
