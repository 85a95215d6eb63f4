// The few SQLite calls the library builder's database writers share; every
// failure throws, since a test library that is not what it claims is useless.
#pragma once

#include <memory>
#include <string>

#include <boost/filesystem/path.hpp>
#include <sqlite3.h>

namespace kestrin_libbuilder {

struct BuilderDbClose {
    void operator()(sqlite3* db) const { sqlite3_close(db); }
};
using BuilderDb = std::unique_ptr<sqlite3, BuilderDbClose>;
using BuilderStatement = std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)>;

// A new, empty database at path (its folders created, an old file replaced).
BuilderDb CreateDatabase(const boost::filesystem::path& path);
void Exec(sqlite3* db, const std::string& sql);
BuilderStatement Prepare(sqlite3* db, const char* sql);
BuilderStatement NoStatement();
// Steps to completion, then resets the statement and clears its bindings.
void StepDone(sqlite3* db, const BuilderStatement& stmt);
void BindText(const BuilderStatement& stmt, int index, const std::string& text);

}  // namespace kestrin_libbuilder
