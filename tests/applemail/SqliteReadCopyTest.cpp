// The private copy of a mail database, wherever the temporary folder lies.
#include <sys/stat.h>

#include <cstdlib>

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

}  // namespace
