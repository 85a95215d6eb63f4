#include "libbuilder/BuilderSqlite.h"

#include <stdexcept>

#include <boost/filesystem/operations.hpp>

namespace fs = boost::filesystem;

namespace kestrin_libbuilder {

BuilderDb CreateDatabase(const fs::path& path)
{
    fs::create_directories(path.parent_path());
    fs::remove(path);
    sqlite3* raw = nullptr;
    BuilderDb db;
    const int rc = sqlite3_open(path.string().c_str(), &raw);
    db.reset(raw);
    if (rc != SQLITE_OK)
        throw std::runtime_error("cannot create " + path.string());
    return db;
}

void Exec(sqlite3* db, const std::string& sql)
{
    char* error = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string message = error ? error : "";
        sqlite3_free(error);
        throw std::runtime_error("SQL failed: " + message + " in " + sql);
    }
}

BuilderStatement Prepare(sqlite3* db, const char* sql)
{
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &raw, nullptr) != SQLITE_OK)
        throw std::runtime_error(std::string("SQL failed: ") + sqlite3_errmsg(db) + " in " + sql);
    return BuilderStatement(raw, &sqlite3_finalize);
}

BuilderStatement NoStatement()
{
    return BuilderStatement(nullptr, &sqlite3_finalize);
}

void StepDone(sqlite3* db, const BuilderStatement& stmt)
{
    if (sqlite3_step(stmt.get()) != SQLITE_DONE)
        throw std::runtime_error(std::string("SQL step failed: ") + sqlite3_errmsg(db));
    sqlite3_reset(stmt.get());
    sqlite3_clear_bindings(stmt.get());
}

void BindText(const BuilderStatement& stmt, int index, const std::string& text)
{
    sqlite3_bind_text(stmt.get(), index, text.c_str(), -1, SQLITE_TRANSIENT);
}

}  // namespace kestrin_libbuilder
