// Damage as real backups carry it, applied to a library already written:
// one kind per test library, so that a reader's answer to each can be seen.
#pragma once

#include <string>

#include <boost/filesystem/path.hpp>

namespace kestrin_libbuilder {

// Runs statements on an existing database (dropping a table, renaming a
// column, moving a row to another ROWID, ...).
void AlterDatabase(const boost::filesystem::path& database, const std::string& sql);

// Keeps the first bytes (the header, so the file still opens) and fills the
// rest with bytes no SQLite page starts with; keepBytes 0 spoils the header
// as well.
void SpoilFile(const boost::filesystem::path& file, size_t keepBytes);

// Spoils the last leaf page of a table or index that spans several pages:
// entries on the earlier pages still read, a step onto that page fails with
// SQLite's corruption error, and every other b-tree stays intact.
void SpoilLastLeafPage(const boost::filesystem::path& database, const std::string& name);

}  // namespace kestrin_libbuilder
