// Directory creation through the file-system facade.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <atomic>
#include <thread>
#include <vector>
#include <string>

#include <boost/filesystem.hpp>
#include <boost/make_shared.hpp>
#include <gtest/gtest.h>

#include "streams/KSFileSystem.h"
#include "support/TestSupport.h"

using namespace KestrinMIMEEngineCommon;
namespace fs = boost::filesystem;

namespace {

class UmaskGuard {
public:
    explicit UmaskGuard(mode_t mask) : m_previous(::umask(mask)) {}
    ~UmaskGuard() { ::umask(m_previous); }

private:
    mode_t m_previous;
};

KSFileSystemPath Local(const fs::path& path)
{
    return KSFileSystemPath(boost::make_shared<KSPathTraitsFile>(), path.string());
}

unsigned Mode(const fs::path& path) { return static_cast<unsigned>(fs::status(path).permissions()) & 07777; }

// Strips the time stamp of every diagnostic line.
std::string Texts(const std::string& diagnostics)
{
    std::string out;
    size_t at = 0;
    while (at < diagnostics.size()) {
        size_t end = diagnostics.find('\n', at);
        if (end == std::string::npos) end = diagnostics.size();
        std::string line = diagnostics.substr(at, end - at);
        size_t marker = line.find(" ERROR: ");
        out += (marker == std::string::npos ? line : line.substr(marker + 1)) + "\n";
        at = end + 1;
    }
    return out;
}

}  // namespace

struct FolderCase {
    const char* name;
    bool tree;
    const char* existing;  // relative folder there beforehand (mode 0755), or ""
    bool expected;         // the answer
};

void PrintTo(const FolderCase& c, std::ostream* os) { *os << c.name; }

class FolderCreation : public ::testing::TestWithParam<FolderCase> {};

// Folders made here get exactly 0770 whatever the umask; a folder that was
// there (the user's output folder, their Desktop) keeps its own mode.
TEST_P(FolderCreation, MadeFoldersGet0770AndExistingOnesKeepTheirMode)
{
    const FolderCase& c = GetParam();
    kestrin_test::TempDir dir;
    const fs::path target = c.tree ? dir / "a" / "b" / "c" : dir / "a";
    const std::string existing = c.existing;
    if (!existing.empty()) {
        fs::create_directories(dir / existing);
        for (fs::path at = dir / existing; at != dir.path(); at = at.parent_path())
            fs::permissions(at, fs::perms(0755));
    }
    UmaskGuard restrictive(0077);
    kestrin_test::CapturedDiagnostics diagnostics;
    bool answer = c.tree ? KSFileSystem::CreateFolderTree(Local(target)) : KSFileSystem::CreateFolder(Local(target));
    EXPECT_EQ(answer, c.expected);
    EXPECT_TRUE(fs::is_directory(target));
    for (fs::path at = target; at != dir.path(); at = at.parent_path()) {
        const bool wasThere = !existing.empty() && (dir / existing).string().compare(0, at.string().size(), at.string()) == 0;
        EXPECT_EQ(Mode(at), wasThere ? 0755u : 0770u) << at;
    }
    EXPECT_EQ(diagnostics.text(), "");
}

INSTANTIATE_TEST_SUITE_P(Streams, FolderCreation,
                         ::testing::Values(FolderCase{"folder_new", false, "", true},
                                           FolderCase{"folder_existing_is_kept", false, "a", false},
                                           FolderCase{"tree_new", true, "", true},
                                           FolderCase{"tree_below_an_existing_parent", true, "a", true},
                                           FolderCase{"tree_existing_is_kept", true, "a/b/c", true}),
                         [](const ::testing::TestParamInfo<FolderCase>& info) { return std::string(info.param.name); });

namespace {

int RefuseChangeMode(const char*, unsigned)
{
    errno = EPERM;
    return -1;
}

}  // namespace

// A disk that keeps no permissions (FAT) refuses every mode change: folders
// are still made, and the whole run notes it once, not once per folder.
TEST(FileSystem, ADiskWithoutPermissionsIsNotedOnce)
{
    kestrin_test::TempDir dir;
    KSFileSystem::SetChangeModeForTesting(RefuseChangeMode);
    kestrin_test::CapturedDiagnostics diagnostics;
    EXPECT_TRUE(KSFileSystem::CreateFolderTree(Local(dir / "a" / "b" / "c")));
    EXPECT_TRUE(KSFileSystem::CreateFolder(Local(dir / "d")));
    std::string error;
    EXPECT_EQ(KSFileSystem::CreateUniqueFolder(Local(dir / "e"), "Converted Data", error),
              (dir / "e" / "Converted Data").string());
    KSFileSystem::SetChangeModeForTesting(nullptr);
    EXPECT_TRUE(fs::is_directory(dir / "a" / "b" / "c"));
    EXPECT_TRUE(fs::is_directory(dir / "d"));
    const std::string text = diagnostics.text();
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
    EXPECT_NE(text.find("Folder permissions could not be set ("), std::string::npos) << text;
    EXPECT_EQ(text.find(" ERROR: "), std::string::npos) << text;
}

struct FolderFailure {
    const char* name;
    bool tree;
    const char* relative;   // below a temporary folder that holds the file "file"
    const char* message;    // the diagnostic text before the system's reason
};

void PrintTo(const FolderFailure& c, std::ostream* os) { *os << c.name; }

class FolderCreationFailure : public ::testing::TestWithParam<FolderFailure> {};

TEST_P(FolderCreationFailure, ReportsAndAnswersFalse)
{
    const FolderFailure& c = GetParam();
    kestrin_test::TempDir dir;
    kestrin_test::WriteFile(dir / "file", "x");
    fs::path target = dir / c.relative;
    kestrin_test::CapturedDiagnostics diagnostics;
    bool answer = c.tree ? KSFileSystem::CreateFolderTree(Local(target)) : KSFileSystem::CreateFolder(Local(target));
    EXPECT_FALSE(answer);
    std::string text = Texts(diagnostics.text());
    EXPECT_EQ(text.rfind(c.message, 0), 0u) << text;
    EXPECT_GT(text.size(), std::string(c.message).size() + 1) << "the system's reason is missing: " << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
    EXPECT_FALSE(fs::is_directory(target));
}

INSTANTIATE_TEST_SUITE_P(
    Streams, FolderCreationFailure,
    ::testing::Values(
        FolderFailure{"folder_missing_parent", false, "missing/a", "ERROR: Unable to create directory - "},
        FolderFailure{"folder_over_a_file", false, "file", "ERROR: Unable to create directory - "},
        FolderFailure{"tree_below_a_file", true, "file/a/b", "ERROR: Unable to create directories - "}),
    [](const ::testing::TestParamInfo<FolderFailure>& info) { return std::string(info.param.name); });

TEST(FileSystem, MissingParentNamesTheSystemsReason)
{
    kestrin_test::TempDir dir;
    kestrin_test::CapturedDiagnostics diagnostics;
    EXPECT_FALSE(KSFileSystem::CreateFolder(Local(dir / "missing" / "a")));
    EXPECT_EQ(Texts(diagnostics.text()), "ERROR: Unable to create directory - No such file or directory\n");
}

TEST(FileSystem, OtherSchemesAndEmptyLocationsAreRefused)
{
    kestrin_test::TempDir dir;
    KSFileSystemPath remote(boost::make_shared<KSPathTraits>(5), (dir / "r").string());
    {
        kestrin_test::CapturedDiagnostics diagnostics;
        EXPECT_FALSE(KSFileSystem::CreateFolder(remote));
        EXPECT_FALSE(KSFileSystem::CreateFolderTree(remote));
        EXPECT_EQ(Texts(diagnostics.text()),
                  "ERROR: KSFileSystem : CreateFolder - Unsupported scheme for operation\n"
                  "ERROR: KSFileSystem : CreateFolderTree - Unsupported scheme for operation\n");
    }
    EXPECT_FALSE(fs::exists(dir / "r"));

    kestrin_test::CapturedDiagnostics diagnostics;
    EXPECT_FALSE(KSFileSystem::CreateFolder(KSFileSystemPath()));
    EXPECT_FALSE(KSFileSystem::CreateFolderTree(KSFileSystemPath()));
    EXPECT_EQ(diagnostics.text(), "");
}

TEST(FileSystem, TreeWithTrailingSeparatorIsCreated)
{
    kestrin_test::TempDir dir;
    UmaskGuard restrictive(0077);
    kestrin_test::CapturedDiagnostics diagnostics;
    EXPECT_TRUE(KSFileSystem::CreateFolderTree(Local(dir.str() + "/x/y/")));
    EXPECT_TRUE(fs::is_directory(dir / "x" / "y"));
    EXPECT_EQ(Mode(dir / "x" / "y"), 0770u);
    EXPECT_EQ(diagnostics.text(), "");
}

// "Converted Data" and its numbered variants: every call gets a folder of its
// own, never one that was there before.
struct UniqueFolderCase {
    const char* name;
    std::vector<std::string> existingDirectories;
    std::vector<std::string> existingFiles;
    const char* expected;
};

class UniqueFolder : public ::testing::TestWithParam<UniqueFolderCase> {};

TEST_P(UniqueFolder, TakesTheFirstFreeNameAndLeavesWhatWasThere)
{
    kestrin_test::TempDir dir;
    for (const auto& name : GetParam().existingDirectories) fs::create_directories(dir / name / "keep");
    for (const auto& name : GetParam().existingFiles) kestrin_test::WriteFile(dir / name, "mine");
    std::string error;
    const std::string made = KSFileSystem::CreateUniqueFolder(Local(dir.path()), "Converted Data", error);
    EXPECT_EQ(made, (dir / GetParam().expected).string());
    EXPECT_EQ(error, "");
    EXPECT_TRUE(fs::is_directory(made));
    EXPECT_TRUE(fs::is_empty(made));
    for (const auto& name : GetParam().existingDirectories) EXPECT_TRUE(fs::exists(dir / name / "keep"));
    for (const auto& name : GetParam().existingFiles) EXPECT_EQ(kestrin_test::ReadFile(dir / name), "mine");
}

INSTANTIATE_TEST_SUITE_P(
    Names, UniqueFolder,
    ::testing::Values(UniqueFolderCase{"Free", {}, {}, "Converted Data"},
                      UniqueFolderCase{"Taken", {"Converted Data"}, {}, "Converted Data (1)"},
                      UniqueFolderCase{"FileInTheWay", {}, {"Converted Data"}, "Converted Data (1)"},
                      UniqueFolderCase{"TwoTaken", {"Converted Data", "Converted Data (1)"}, {},
                                       "Converted Data (2)"}),
    [](const ::testing::TestParamInfo<UniqueFolderCase>& info) { return info.param.name; });

TEST(UniqueFolderCreation, TheChosenFolderKeepsItsMode)
{
    for (const unsigned mode : {0755u, 0700u, 0750u}) {
        kestrin_test::TempDir dir;
        const fs::path chosen = dir / "Desktop";
        fs::create_directory(chosen);
        fs::permissions(chosen, fs::perms(mode));
        std::string error;
        const std::string first = KSFileSystem::CreateUniqueFolder(Local(chosen), "Converted Data", error);
        const std::string second = KSFileSystem::CreateUniqueFolder(Local(chosen), "Converted Data", error);
        EXPECT_EQ(second, (chosen / "Converted Data (1)").string());
        EXPECT_EQ(Mode(chosen), mode) << std::oct << mode;
        EXPECT_EQ(Mode(first), 0770u);
        EXPECT_EQ(Mode(second), 0770u);
    }
}

TEST(UniqueFolderCreation, MissingParentIsCreatedAndAnUnusableOneIsReported)
{
    kestrin_test::TempDir dir;
    std::string error;
    EXPECT_EQ(KSFileSystem::CreateUniqueFolder(Local(dir / "a" / "b"), "Converted Data", error),
              (dir / "a" / "b" / "Converted Data").string());

    kestrin_test::WriteFile(dir / "blocker", "a file where a folder is needed");
    kestrin_test::CapturedDiagnostics diagnostics;
    EXPECT_EQ(KSFileSystem::CreateUniqueFolder(Local(dir / "blocker"), "Converted Data", error), "");
    EXPECT_NE(error, "");
}

// Two exports started at once into one folder: both ask for "Converted
// Data" at the same moment and must end up with different folders.
TEST(UniqueFolderCreation, CallersRacingForOneNameGetDistinctFolders)
{
    constexpr int kCallers = 8;
    for (int round = 0; round < 20; ++round) {
        kestrin_test::TempDir dir;
        std::vector<std::string> made(kCallers);
        std::atomic<int> ready{0};
        std::vector<std::thread> callers;
        for (int i = 0; i < kCallers; ++i)
            callers.emplace_back([&, i] {
                ready.fetch_add(1);
                while (ready.load() < kCallers) std::this_thread::yield();
                std::string error;
                made[i] = KSFileSystem::CreateUniqueFolder(Local(dir.path()), "Converted Data", error);
            });
        for (auto& caller : callers) caller.join();
        std::sort(made.begin(), made.end());
        EXPECT_EQ(std::unique(made.begin(), made.end()), made.end());
        EXPECT_EQ(std::count(made.begin(), made.end(), std::string()), 0);
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), kCallers);
    }
}
