#include "libbuilder/Damage.h"

#include <cstdint>
#include <fstream>
#include <stdexcept>
#include <vector>

#include <sqlite3.h>

#include "libbuilder/BuilderSqlite.h"

namespace fs = boost::filesystem;

namespace kestrin_libbuilder {

namespace {

BuilderDb OpenExisting(const fs::path& database)
{
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(database.string().c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
    BuilderDb db(raw);
    if (rc != SQLITE_OK)
        throw std::runtime_error("cannot open " + database.string());
    return db;
}

int64_t SingleInteger(sqlite3* db, const std::string& sql)
{
    BuilderStatement stmt = Prepare(db, sql.c_str());
    if (sqlite3_step(stmt.get()) != SQLITE_ROW)
        throw std::runtime_error("no value for " + sql);
    return sqlite3_column_int64(stmt.get(), 0);
}

std::vector<char> ReadAll(const fs::path& file)
{
    std::ifstream in(file.string(), std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteAll(const fs::path& file, const std::vector<char>& bytes)
{
    std::ofstream out(file.string(), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush())
        throw std::runtime_error("cannot write " + file.string());
}

}  // namespace

void AlterDatabase(const fs::path& database, const std::string& sql)
{
    BuilderDb db = OpenExisting(database);
    Exec(db.get(), sql);
    // A database in WAL mode keeps the change beside the file until then.
    Exec(db.get(), "PRAGMA wal_checkpoint(TRUNCATE)");
}

void SpoilFile(const fs::path& file, size_t keepBytes)
{
    std::vector<char> bytes = ReadAll(file);
    for (size_t i = keepBytes; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(0xA5 ^ (i & 0x3F));
    WriteAll(file, bytes);
}

void SpoilLastLeafPage(const fs::path& database, const std::string& name)
{
    int64_t pageSize = 0, rootPage = 0;
    {
        BuilderDb db = OpenExisting(database);
        Exec(db.get(), "PRAGMA wal_checkpoint(TRUNCATE)");
        pageSize = SingleInteger(db.get(), "PRAGMA page_size");
        rootPage = SingleInteger(db.get(), "SELECT rootpage FROM sqlite_master WHERE name='" + name + "'");
    }
    std::vector<char> bytes = ReadAll(database);
    const size_t root = static_cast<size_t>((rootPage - 1) * pageSize);
    // 0x05 and 0x02: interior table and index pages, whose right-most child
    // pointer (bytes 8 to 11, big-endian) leads to the highest keys.
    auto interior = [&](size_t at) {
        const unsigned char type = static_cast<unsigned char>(bytes[at]);
        return type == 0x05 || type == 0x02;
    };
    if (root + 12 > bytes.size() || !interior(root))
        throw std::runtime_error(name + " fits in one page");
    size_t page = root;
    while (interior(page)) {
        uint32_t child = 0;
        for (int i = 8; i < 12; ++i)
            child = (child << 8) | static_cast<unsigned char>(bytes[page + i]);
        page = static_cast<size_t>((child - 1) * static_cast<uint64_t>(pageSize));
        if (page + pageSize > bytes.size())
            throw std::runtime_error("child page outside the file");
    }
    for (size_t i = 0; i < static_cast<size_t>(pageSize); ++i)
        bytes[page + i] = static_cast<char>(0xFF);
    WriteAll(database, bytes);
}

}  // namespace kestrin_libbuilder
