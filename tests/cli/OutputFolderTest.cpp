// Where the converted data may go: never into the mail folder being
// converted, however that folder is reached, and never at the cost of the
// modes of the user's own folders.
#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <map>

#include <boost/filesystem.hpp>

#include "cli/CliRun.h"
#include "cli/KestrinCli.h"
#include "streams/KSFileSystem.h"
#include "support/TestSupport.h"

using namespace KestrinCli;
using namespace kestrin_cli_test;
using KestrinMIMEEngineCommon::KSFileSystem;
namespace fs = boost::filesystem;

namespace {

unsigned Mode(const fs::path& path) { return static_cast<unsigned>(fs::status(path).permissions()) & 07777; }

// Every entry below folder (the folder included) with its kind, mode, size
// and time: anything added, removed or changed shows.
std::map<std::string, std::string> Snapshot(const fs::path& folder)
{
    std::map<std::string, std::string> entries;
    const auto describe = [](const fs::path& path) {
        const fs::file_status status = fs::symlink_status(path);
        std::string text = std::to_string(static_cast<int>(status.type())) + " " +
                           std::to_string(static_cast<unsigned>(status.permissions()));
        if (fs::is_regular_file(status))
            text += " " + std::to_string(fs::file_size(path)) + " " +
                    std::to_string(fs::last_write_time(path));
        return text;
    };
    entries["."] = describe(folder);
    for (fs::recursive_directory_iterator it(folder), end; it != end; ++it)
        entries[fs::relative(it->path(), folder).string()] = describe(it->path());
    return entries;
}

bool HoldsConvertedData(const fs::path& folder)
{
    for (fs::recursive_directory_iterator it(folder), end; it != end; ++it)
        if (it->path().filename().string().compare(0, 14, "Converted Data") == 0)
            return true;
    return false;
}

fs::path FirstBundle(const fs::path& mail)
{
    for (fs::recursive_directory_iterator it(mail), end; it != end; ++it)
        if (fs::is_directory(it->path()) && it->path().extension() == ".mbox")
            return it->path();
    return {};
}

// A library of its own, away from the other tests' folders.
class OutputFolderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        library = kestrin_libbuilder::BuildEnvelopeSampleLibrary(home.path() / "Library", 10);
        mail = library.root;
    }

    kestrin_test::TempDir home;
    kestrin_libbuilder::EnvelopeSampleLibrary library;
    fs::path mail;
    // The samples hold rows the reader reports and skips.
    kestrin_test::CapturedDiagnostics diagnostics;
};

struct Placement {
    const char* name;
    // Answers {source, output} for the home folder and the mail folder in it.
    std::function<std::pair<fs::path, fs::path>(const fs::path& home, const fs::path& mail)> place;
    bool refused;
};

TEST_F(OutputFolderTest, AnOutputFolderInsideTheMailFolderIsRefusedBeforeAnythingIsMade)
{
    const Placement placements[] = {
        {"the mail folder itself", [](const fs::path&, const fs::path& m) { return std::make_pair(m, m); }, true},
        {"its V10", [](const fs::path&, const fs::path& m) { return std::make_pair(m, m / "V10"); }, true},
        {"a mailbox bundle",
         [](const fs::path&, const fs::path& m) { return std::make_pair(m, FirstBundle(m)); }, true},
        {"a folder still to be made deep below it",
         [](const fs::path&, const fs::path& m) { return std::make_pair(m, m / "V10" / "new" / "deeper"); },
         true},
        {"a link pointing inside",
         [](const fs::path& h, const fs::path& m) {
             fs::create_directory_symlink(m / "V10", h / "inside");
             return std::make_pair(m, h / "inside");
         },
         true},
        {"the mail folder reached through a link",
         [](const fs::path& h, const fs::path& m) {
             fs::create_directory_symlink(m, h / "MailLink");
             return std::make_pair(h / "MailLink", m / "V10");
         },
         true},
        {"a trailing separator", [](const fs::path&, const fs::path& m) {
             return std::make_pair(m, fs::path(m.string() + "/"));
         }, true},
        {"a sibling", [](const fs::path&, const fs::path& m) { return std::make_pair(m, m.parent_path() / "Converted"); },
         false},
        {"the parent", [](const fs::path&, const fs::path& m) { return std::make_pair(m, m.parent_path()); },
         false},
        {"a name that starts with the mail folder's",
         [](const fs::path&, const fs::path& m) { return std::make_pair(m, fs::path(m.string() + "2")); },
         false},
        {"out of the mail folder again by ..",
         [](const fs::path& h, const fs::path& m) { return std::make_pair(m, m / "V10" / ".." / ".." / "Out"); },
         false},
    };
    for (const auto& placement : placements) {
        SCOPED_TRACE(placement.name);
        kestrin_test::TempDir run;
        const fs::path mailFolder =
            kestrin_libbuilder::BuildEnvelopeSampleLibrary(run.path() / "Library", 10).root;
        const auto [source, output] = placement.place(run.path(), mailFolder);
        ASSERT_FALSE(output.empty());
        const bool outputExisted = fs::exists(output);
        const auto before = Snapshot(mailFolder);

        const RunResult convert =
            Kestrin({"convert", source.string(), "--to", "mbox", "--out", output.string()});
        if (placement.refused) {
            EXPECT_EQ(convert.status, kExitUsage) << convert.err;
            EXPECT_TRUE(Contains(convert.err, "The output folder is inside the mail folder being converted."))
                << convert.err;
            EXPECT_TRUE(Contains(convert.err, "Choose a folder outside the mail folder")) << convert.err;
            EXPECT_EQ(convert.out, "");
            EXPECT_FALSE(HoldsConvertedData(run.path()));
            EXPECT_EQ(fs::exists(output), outputExisted);
        } else {
            EXPECT_EQ(convert.status, kExitSuccess) << convert.err << convert.out;
            EXPECT_TRUE(fs::is_directory(output / "Converted Data"));
        }
        EXPECT_EQ(Snapshot(mailFolder), before);
    }
}

// The user's folder keeps its mode, run after run; only the folders the
// export makes get rwxrwx---.
TEST_F(OutputFolderTest, TheChosenFolderKeepsItsModeForEveryTarget)
{
    for (const char* target : {"eml", "mbox", "archive"}) {
        for (const unsigned mode : {0755u, 0700u, 0750u}) {
            SCOPED_TRACE(std::string(target) + " into a folder of mode " + std::to_string(mode));
            kestrin_test::TempDir run;
            const fs::path desktop = run.path() / "Desktop";
            fs::create_directory(desktop);
            fs::permissions(desktop, fs::perms(mode));
            for (const char* made : {"Converted Data", "Converted Data (1)"}) {
                const RunResult convert =
                    Kestrin({"convert", mail.string(), "--to", target, "--out", desktop.string()});
                EXPECT_EQ(convert.status, kExitSuccess) << convert.err << convert.out;
                EXPECT_EQ(Mode(desktop), mode);
                EXPECT_EQ(Mode(desktop / made), 0770u);
            }
        }
    }
}

int RefuseChangeMode(const char*, unsigned)
{
    errno = EPERM;
    return -1;
}

// A disk that keeps no permissions (FAT) refuses the mode of every folder
// the export makes: that is no error, and the run notes it once at most.
TEST_F(OutputFolderTest, ADiskWithoutPermissionsIsNotAnErrorPerFolder)
{
    for (const char* target : {"eml", "mbox", "archive"}) {
        SCOPED_TRACE(target);
        kestrin_test::TempDir run;
        KSFileSystem::SetChangeModeForTesting(RefuseChangeMode);
        kestrin_test::CapturedDiagnostics noted;
        const RunResult convert =
            Kestrin({"convert", mail.string(), "--to", target, "--out", run.str()});
        KSFileSystem::SetChangeModeForTesting(nullptr);
        EXPECT_EQ(convert.status, kExitSuccess) << convert.err << convert.out;
        const std::string text = noted.text();
        size_t notes = 0;
        for (size_t at = text.find("permission"); at != std::string::npos; at = text.find("permission", at + 1))
            ++notes;
        EXPECT_EQ(notes, 1u) << text;
        EXPECT_FALSE(Contains(text, "Unable to change permission")) << text;
    }
}

}  // namespace
