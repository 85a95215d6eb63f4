// The private copy of a mail database, wherever the temporary folder lies.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include <boost/filesystem.hpp>
#include <gtest/gtest.h>

#include "applemail/SqliteReadCopy.h"
#include "support/TestSupport.h"

using namespace KestrinMIMEEngineCommon;
namespace fs = boost::filesystem;

namespace {

dev_t DeviceOf(const fs::path& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_dev : dev_t(-1);
}

// Points the temporary folder elsewhere for the test's life.
class TemporaryFolderAt {
public:
    explicit TemporaryFolderAt(const fs::path& folder)
    {
        if (const char* previous = std::getenv("TMPDIR")) m_previous = previous;
        m_had = std::getenv("TMPDIR") != nullptr;
        setenv("TMPDIR", folder.c_str(), 1);
    }
    ~TemporaryFolderAt()
    {
        if (m_had)
            setenv("TMPDIR", m_previous.c_str(), 1);
        else
            unsetenv("TMPDIR");
    }

private:
    bool m_had = false;
    std::string m_previous;
};

// A mail folder on another file system than the temporary folder (an
// external disk, a temporary folder in memory) still gets its copy, journal
// included.
TEST(SqliteReadCopyTest, CopyCrossesFileSystems)
{
    kestrin_test::TempDir mail;
    const fs::path memory = "/dev/shm";
    if (!fs::is_directory(memory) || DeviceOf(memory) == DeviceOf(mail.path()))
        GTEST_SKIP() << "no second file system to copy to";
    const fs::path temporary = memory / fs::unique_path("kestrin-test-%%%%-%%%%");
    fs::create_directory(temporary);
    struct Cleanup {
        fs::path path;
        ~Cleanup()
        {
            boost::system::error_code ignored;
            fs::remove_all(path, ignored);
        }
    } cleanup{temporary};

    const std::string database(70000, 'd');
    kestrin_test::WriteFile(mail / "Envelope Index", database);
    kestrin_test::WriteFile(mail / "Envelope Index-wal", "journal");
    TemporaryFolderAt redirect(temporary);
    kestrin_test::CapturedDiagnostics diagnostics;
    std::unique_ptr<SqliteReadCopy> copy = SqliteReadCopy::Create((mail / "Envelope Index").string());
    ASSERT_TRUE(copy) << diagnostics.text();
    EXPECT_EQ(DeviceOf(copy->DatabasePath()), DeviceOf(temporary));
    EXPECT_EQ(kestrin_test::ReadFile(copy->DatabasePath()), database);
    EXPECT_EQ(kestrin_test::ReadFile(copy->DatabasePath() + "-wal"), "journal");
    EXPECT_EQ(diagnostics.text(), "");
}

// A mail folder with its database and a temporary folder of the test's own.
class SqliteReadCopyFolder : public ::testing::Test {
protected:
    SqliteReadCopyFolder() { kestrin_test::WriteFile(mail / "Envelope Index", "database"); }

    std::unique_ptr<SqliteReadCopy> CopyDatabase()
    {
        return SqliteReadCopy::Create((mail / "Envelope Index").string());
    }

    kestrin_test::TempDir mail;
    kestrin_test::TempDir temporary;
    TemporaryFolderAt redirect{temporary.path()};
};

// The copy lives in a folder of its own, named after the program and the
// process, readable by the user only, and gone with the copy.
TEST_F(SqliteReadCopyFolder, IsPrivateNamedAfterTheProcessAndRemovedWithTheCopy)
{
    std::unique_ptr<SqliteReadCopy> copy = CopyDatabase();
    ASSERT_TRUE(copy);
    const fs::path folder = copy->FolderPath();
    EXPECT_EQ(folder.parent_path(), temporary.path());
    const std::string prefix = "kestrin-" + std::to_string(::getpid()) + "-";
    EXPECT_EQ(folder.filename().string().rfind(prefix, 0), 0u) << folder;
    EXPECT_EQ(folder.filename().string().size(), prefix.size() + 6);
    struct stat info {};
    ASSERT_EQ(::stat(folder.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    copy.reset();
    EXPECT_FALSE(fs::exists(folder));
}

// What a process that was killed left behind goes at the next start; the
// copies of running processes, other names and links stay.
TEST_F(SqliteReadCopyFolder, StaleCopiesOfEndedProcessesAreRemoved)
{
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) ::_exit(0);
    ASSERT_EQ(::waitpid(child, nullptr, 0), child);
    ASSERT_NE(::kill(child, 0), 0);  // gone: its pid is free

    const fs::path elsewhere = mail / "elsewhere";  // outside the temporary folder
    const fs::path ended = temporary / ("kestrin-" + std::to_string(child) + "-a1B2c3");
    const fs::path running = temporary / ("kestrin-" + std::to_string(::getppid()) + "-d4E5f6");
    const fs::path mine = temporary / ("kestrin-" + std::to_string(::getpid()) + "-g7H8i9");
    const fs::path link = temporary / ("kestrin-" + std::to_string(child) + "-linked");
    const std::vector<fs::path> kept = {running, mine, temporary / "kestrin-test-1234",
                                        temporary / ("kestrin-" + std::to_string(child) + "-toolong1")};
    kestrin_test::WriteFile(ended / "Envelope Index", "old copy");
    kestrin_test::WriteFile(ended / "Envelope Index-shm", "old");
    for (const auto& folder : kept) kestrin_test::WriteFile(folder / "file", "keep");
    kestrin_test::WriteFile(elsewhere / "precious", "keep");
    fs::create_directory_symlink(elsewhere, link);

    EXPECT_EQ(RemoveStaleCopies(), 1);
    EXPECT_FALSE(fs::exists(ended));
    for (const auto& folder : kept) EXPECT_TRUE(fs::exists(folder / "file")) << folder;
    EXPECT_EQ(kestrin_test::ReadFile(elsewhere / "precious"), "keep");
}

// A second Ctrl-C ends the process without destructors: the copies are
// removed by what a signal handler may call.
TEST_F(SqliteReadCopyFolder, RemovedAtOnceWithWhatSQLiteMadeBesideIt)
{
    std::unique_ptr<SqliteReadCopy> first = CopyDatabase();
    std::unique_ptr<SqliteReadCopy> second = CopyDatabase();
    ASSERT_TRUE(first && second);
    for (const char* suffix : {"-wal", "-shm", "-journal"})
        kestrin_test::WriteFile(first->DatabasePath() + suffix, "made by SQLite");
    RemovePrivateCopiesNow();
    EXPECT_TRUE(fs::is_empty(temporary.path()));
    first.reset();
    second.reset();
}

}  // namespace

// Statements handed from one listing to the next: the same one comes back
// reset, a half-stepped one does not keep its place, and one of a closed
// connection is never handed out on another.
TEST(StatementPoolTest, KeptStatementsComeBackResetAndOnlyOnTheirConnection)
{
    auto open = [] {
        sqlite3* raw = nullptr;
        EXPECT_EQ(sqlite3_open(":memory:", &raw), SQLITE_OK);
        SqliteHandle db(raw);
        EXPECT_EQ(sqlite3_exec(db.get(), "CREATE TABLE t(x); INSERT INTO t VALUES (1), (2), (3);",
                               nullptr, nullptr, nullptr),
                  SQLITE_OK);
        return db;
    };
    SqliteHandle first = open();
    SqliteHandle second = open();
    const std::string sql = "SELECT x FROM t WHERE x >= ?1 ORDER BY x";
    StatementPool pool;

    SqliteStatement taken = pool.Take(first.get(), sql);
    ASSERT_TRUE(taken);
    sqlite3_stmt* const raw = taken.get();
    sqlite3_bind_int64(raw, 1, 2);
    ASSERT_EQ(sqlite3_step(raw), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int64(raw, 0), 2);
    pool.GiveBack(first.get(), sql, std::move(taken));

    SqliteStatement again = pool.Take(first.get(), sql);
    EXPECT_EQ(again.get(), raw);
    // Reset and unbound: NULL matches no row, a new binding starts afresh.
    EXPECT_EQ(sqlite3_step(again.get()), SQLITE_DONE);
    sqlite3_reset(again.get());
    sqlite3_bind_int64(again.get(), 1, 1);
    ASSERT_EQ(sqlite3_step(again.get()), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int64(again.get(), 0), 1);

    // Given back against another connection (its own was closed): dropped.
    pool.GiveBack(second.get(), sql, std::move(again));
    SqliteStatement onSecond = pool.Take(second.get(), sql);
    ASSERT_TRUE(onSecond);
    EXPECT_EQ(sqlite3_db_handle(onSecond.get()), second.get());
    EXPECT_FALSE(pool.Take(first.get(), "SELECT nothing FROM nowhere"));
    pool.GiveBack(second.get(), sql, std::move(onSecond));
    pool.Clear();
}
