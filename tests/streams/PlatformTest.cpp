// The platform layer: exclusive creation, descriptor reads, and the Finder
// information that only macOS keeps.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <functional>

#include <boost/filesystem.hpp>

#include "streams/KSFileData.h"
#include "streams/Platform.h"
#include "support/TestSupport.h"

using namespace KestrinMIMEEngineCommon;
namespace fs = boost::filesystem;

namespace {

TEST(Platform, NewFilesAreCreatedOnlyWhereTheNameIsFree)
{
    kestrin_test::TempDir dir;
    const std::string path = (dir.path() / "a.eml").string();
    std::string error;
    EXPECT_EQ(Platform::CreateNewFile(path, error), Platform::CreateOutcome::Created);
    EXPECT_TRUE(fs::is_regular_file(path));
    EXPECT_EQ(fs::file_size(path), 0u);

    kestrin_test::WriteFile(path, "kept");
    EXPECT_EQ(Platform::CreateNewFile(path, error), Platform::CreateOutcome::Taken);
    EXPECT_EQ(kestrin_test::ReadFile(path), "kept");

    const std::string nowhere = (dir.path() / "missing" / "b.eml").string();
    EXPECT_EQ(Platform::CreateNewFile(nowhere, error), Platform::CreateOutcome::Failed);
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(fs::exists(dir.path() / "missing"));
}

TEST(Platform, ReadOnlyFileReadsToTheEnd)
{
    kestrin_test::TempDir dir;
    const std::string path = (dir.path() / "m.emlx").string();
    kestrin_test::WriteFile(path, "12\nHello");
    Platform::ReadOnlyFile file(path);
    ASSERT_TRUE(file.IsOpen());
    std::string read;
    char buffer[4];
    while (const size_t got = file.Read(buffer, sizeof buffer))
        read.append(buffer, got);
    EXPECT_EQ(read, "12\nHello");

    Platform::ReadOnlyFile missing((dir.path() / "none.emlx").string());
    EXPECT_FALSE(missing.IsOpen());
    EXPECT_EQ(missing.Read(buffer, sizeof buffer), 0u);
}

// What sits at a path in a mail folder, and whether it may be read as a file.
struct FileKindCase {
    const char* name;
    std::function<void(const fs::path&)> make;
    Platform::FileKind kind;  // of the path itself, links not followed
    bool opens;               // by OpenRegularFileForReading
    int error;                // the error when it does not open
};

TEST(Platform, OnlyRegularFilesOpenForReadingAndLinksAreSeenAsLinks)
{
    const FileKindCase cases[] = {
        {"regular file", [](const fs::path& p) { kestrin_test::WriteFile(p, "data"); },
         Platform::FileKind::Regular, true, 0},
        {"folder", [](const fs::path& p) { fs::create_directory(p); }, Platform::FileKind::Directory,
         false, Platform::kErrorNotRegularFile},
        {"missing", [](const fs::path&) {}, Platform::FileKind::Missing, false, ENOENT},
        // Opening a FIFO without a writer would block: it must answer at once.
        {"FIFO", [](const fs::path& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); },
         Platform::FileKind::Other, false, Platform::kErrorNotRegularFile},
        {"link to /dev/zero", [](const fs::path& p) { fs::create_symlink("/dev/zero", p); },
         Platform::FileKind::SymbolicLink, false, Platform::kErrorNotRegularFile},
        {"link to a regular file",
         [](const fs::path& p) {
             kestrin_test::WriteFile(p.string() + ".target", "data");
             fs::create_symlink(p.filename().string() + ".target", p);
         },
         Platform::FileKind::SymbolicLink, true, 0},
        {"link loop", [](const fs::path& p) { fs::create_symlink(".", p); },
         Platform::FileKind::SymbolicLink, false, Platform::kErrorNotRegularFile},
    };
    for (const FileKindCase& c : cases) {
        SCOPED_TRACE(c.name);
        kestrin_test::TempDir dir;
        const fs::path path = dir.path() / "entry";
        c.make(path);
        EXPECT_EQ(Platform::GetFileKind(path.string()), c.kind);
        int error = 0;
        int64_t size = -1;
        const FileDescriptor fd = Platform::OpenRegularFileForReading(path.string(), error, &size);
        EXPECT_EQ(fd.IsOpen(), c.opens);
        if (fd) {
            EXPECT_EQ(size, 4);
            // Blocking again once opened, and for reading only.
            const int flags = ::fcntl(fd.Get(), F_GETFL);
            EXPECT_EQ(flags & O_NONBLOCK, 0);
            EXPECT_EQ(flags & O_ACCMODE, O_RDONLY);
        } else {
            EXPECT_EQ(error, c.error) << Platform::ErrorText(error);
        }
        Platform::ReadOnlyFile file(path.string());
        EXPECT_EQ(file.IsOpen(), c.opens);
        if (!c.opens) {
            EXPECT_EQ(file.OpenError(), c.error);
        }
        // Through the directory's descriptor, after a file of that
        // directory was opened the same way: the same answers.
        kestrin_test::WriteFile(dir.path() / "neighbour", "data");
        Platform::DirectoryOpener opener;
        Platform::ReadOnlyFile neighbour((dir.path() / "neighbour").string(), &opener);
        EXPECT_TRUE(neighbour.IsOpen());
        Platform::ReadOnlyFile relative(path.string(), &opener);
        EXPECT_EQ(relative.IsOpen(), c.opens);
        if (c.opens) {
            EXPECT_EQ(relative.Size(), 4);
        } else {
            EXPECT_EQ(relative.OpenError(), c.error);
        }
    }
    EXPECT_EQ(Platform::ErrorText(Platform::kErrorNotRegularFile), "Not a regular file");
}

// One opener goes from directory to directory as a listing does, with the
// same answers as opening each path; a path it cannot split or whose
// directory is missing opens as given.
TEST(Platform, DirectoryOpenerFollowsTheListingFromDirectoryToDirectory)
{
    kestrin_test::TempDir dir;
    for (const char* sub : {"Data/1/Messages", "Data/2/Messages"})
        fs::create_directories(dir.path() / sub);
    kestrin_test::WriteFile(dir.path() / "Data/1/Messages/10.emlx", "one");
    kestrin_test::WriteFile(dir.path() / "Data/2/Messages/20.emlx", "two!");
    kestrin_test::WriteFile(dir.path() / "Data/1/Messages/11.emlx", "three");
    struct Step {
        std::string path;
        int64_t size;  // -1: does not open
    };
    const std::string root = dir.str();
    // The second file in a row of a directory goes through its descriptor.
    const Step steps[] = {
        {root + "/Data/1/Messages/10.emlx", 3},
        {root + "/Data/1/Messages/11.emlx", 5},
        {root + "/Data/1/Messages/12.emlx", -1},
        {root + "/Data/2/Messages/20.emlx", 4},
        {root + "/Data/1/Messages/11.emlx", 5},
        {root + "/Data/1/Messages/10.emlx", 3},
        {root + "/Data/3/Messages/30.emlx", -1},
        {root + "/Data/3/Messages/31.emlx", -1},
        {root + "/Data/1/Messages/", -1},
    };
    Platform::DirectoryOpener opener;
    for (const Step& step : steps) {
        SCOPED_TRACE(step.path);
        Platform::ReadOnlyFile file(step.path, &opener);
        EXPECT_EQ(file.IsOpen(), step.size >= 0);
        if (step.size >= 0) {
            EXPECT_EQ(file.Size(), step.size);
        } else {
            EXPECT_NE(file.OpenError(), 0);
        }
    }
}

// A failed read answers 0 like the end of the file; only ReadError tells
// the two apart, so that a reader never takes a failure for a short file.
TEST(Platform, AFailedReadIsToldApartFromTheEnd)
{
    kestrin_test::TempDir dir;
    const fs::path path = dir.path() / "message.emlx";
    kestrin_test::WriteFile(path, "12\nSubject: x\n\n");
    Platform::ReadOnlyFile file(path.string());
    ASSERT_TRUE(file.IsOpen());
    char buffer[64];
    EXPECT_EQ(file.ReadAt(buffer, sizeof buffer, 0), 15u);
    EXPECT_EQ(file.ReadAt(buffer, sizeof buffer, 15), 0u);  // the end
    EXPECT_EQ(file.ReadError(), 0);
    EXPECT_EQ(file.ReadAt(buffer, sizeof buffer, -1), 0u);  // refused by the system
    EXPECT_EQ(file.ReadError(), EINVAL);
}

// The access mode of the descriptor this process holds on path; -1 when none.
int OpenAccessMode(const fs::path& path)
{
    for (fs::directory_iterator it("/proc/self/fd"), end; it != end; ++it) {
        boost::system::error_code ec;
        if (fs::read_symlink(it->path(), ec) != path) continue;
        std::ifstream info("/proc/self/fdinfo/" + it->path().filename().string());
        std::string key;
        while (info >> key) {
            if (key == "flags:") {
                std::string octal;
                info >> octal;
                return static_cast<int>(std::stol(octal, nullptr, 8)) & O_ACCMODE;
            }
        }
    }
    return -1;
}

// A source file is never opened for writing, even where writing is allowed
// (as root the file modes would not show it); a FIFO is refused, not waited on.
TEST(KSFileDataReading, OpensRegularFilesReadOnlyAndRefusesOthers)
{
    if (!fs::exists("/proc/self/fdinfo")) GTEST_SKIP() << "no /proc to inspect descriptors";
    kestrin_test::TempDir dir;
    const fs::path path = fs::canonical(dir.path()) / "Inbox.mbox";
    kestrin_test::WriteFile(path, "From a\nbody\n");
    {
        KSFileData file(path.string());
        char buffer[4];
        ASSERT_EQ(file.Read(buffer, sizeof buffer), sizeof buffer);
        EXPECT_EQ(OpenAccessMode(path), O_RDONLY);
    }
    const fs::path fifo = dir.path() / "Pipe.mbox";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    KSFileData pipe(fifo.string());
    char buffer[4];
    EXPECT_EQ(pipe.Read(buffer, sizeof buffer), 0u);
}

TEST(Platform, FinderInformationRoundTripsWhereTheSystemKeepsIt)
{
    kestrin_test::TempDir dir;
    const std::string path = (dir.path() / "Archive.xml").string();
    kestrin_test::WriteFile(path, "<archive/>");
    Platform::FinderInfo info{};
    info[0] = 'T';
    info[8] = 0x40;
    const bool set = Platform::SetFinderInfo(path, info);
#ifdef __APPLE__
    ASSERT_TRUE(set);
    Platform::FinderInfo back{};
    ASSERT_TRUE(Platform::GetFinderInfo(path, back));
    EXPECT_EQ(back, info);
#else
    EXPECT_FALSE(set);
    Platform::FinderInfo back{};
    EXPECT_FALSE(Platform::GetFinderInfo(path, back));
#endif
    EXPECT_EQ(kestrin_test::ReadFile(path), "<archive/>");
}

}  // namespace
