// What the window remembers between runs, and which drops load a folder.
#include <gtest/gtest.h>

#include <fstream>

#include <boost/filesystem.hpp>
#include <boost/optional/optional_io.hpp>

#include "app/Preferences.h"
#include "support/TestSupport.h"

using namespace KestrinApp;

namespace {

TEST(PreferencesTest, RecentFoldersComeFirstOnceAndAreLimited)
{
    MemoryPreferences preferences;
    RememberRecentMailFolder(preferences, "/a");
    RememberRecentMailFolder(preferences, "/b");
    RememberRecentMailFolder(preferences, "/a");
    RememberRecentMailFolder(preferences, "");
    EXPECT_EQ(preferences.GetList(PreferenceKey::kRecentMailFolders),
              (std::vector<std::string>{"/a", "/b"}));
    EXPECT_EQ(preferences.Get(PreferenceKey::kLastMailFolder), std::string("/a"));

    for (int i = 0; i < 20; ++i)
        RememberRecentMailFolder(preferences, "/f" + std::to_string(i));
    const auto list = preferences.GetList(PreferenceKey::kRecentMailFolders);
    ASSERT_EQ(list.size(), kRecentMailFolderLimit);
    EXPECT_EQ(list.front(), "/f19");
}

TEST(PreferencesTest, DefaultsNeverOverwriteTheUsersValues)
{
    MemoryPreferences preferences;
    preferences.Set(PreferenceKey::kOutputFormat, "2");
    RegisterDefaultPreferences(preferences);
    EXPECT_EQ(RememberedOutputFormat(preferences), 2);
    EXPECT_TRUE(preferences.Get(PreferenceKey::kLastSaveFolder));

    struct Case {
        const char* name;
        std::string stored;
        int format;
    };
    const Case garbled[] = {{"Maildir, the last of the list", "3", 3},
                            {"out of range", "7", 0},
                            {"not a number", "mbox", 0},
                            {"empty", "", 0}};
    for (const auto& c : garbled) {
        preferences.Set(PreferenceKey::kOutputFormat, c.stored);
        EXPECT_EQ(RememberedOutputFormat(preferences), c.format) << c.name;
    }
}

TEST(PreferencesTest, NameStyleIsAsciiUnlessUnicodeWasChosen)
{
    using KestrinMIMEEngineCommon::NameStyle;
    MemoryPreferences preferences;
    RegisterDefaultPreferences(preferences);
    EXPECT_EQ(RememberedNameStyle(preferences), NameStyle::Ascii);
    preferences.Set(PreferenceKey::kNameStyle, "unicode");
    RegisterDefaultPreferences(preferences);
    EXPECT_EQ(RememberedNameStyle(preferences), NameStyle::Unicode);
    for (const char* garbled : {"", "UNICODE", "utf-8"}) {
        preferences.Set(PreferenceKey::kNameStyle, garbled);
        EXPECT_EQ(RememberedNameStyle(preferences), NameStyle::Ascii) << garbled;
    }
}

TEST(PreferencesTest, UntickedFoldersAreKeptPerMailFolderLatestFirst)
{
    MemoryPreferences preferences;
    // A file written before any ticks were kept reads as nothing unticked.
    EXPECT_TRUE(RememberedUntickedFolders(preferences, "/a").empty());
    RememberUntickedFolders(preferences, "/a", {"/INBOX/", "/Sent/"});
    RememberUntickedFolders(preferences, "/b", {"/Junk/"});
    EXPECT_EQ(RememberedUntickedFolders(preferences, "/a"),
              (std::vector<std::string>{"/INBOX/", "/Sent/"}));
    EXPECT_EQ(RememberedUntickedFolders(preferences, "/b"), (std::vector<std::string>{"/Junk/"}));
    EXPECT_TRUE(RememberedUntickedFolders(preferences, "/c").empty());

    for (int i = 0; i < 30; ++i)
        RememberUntickedFolders(preferences, "/f" + std::to_string(i), {"/INBOX/"});
    EXPECT_EQ(preferences.GetList(PreferenceKey::kUntickedFolders).size(), kRememberedTicksLimit);
    EXPECT_EQ(RememberedUntickedFolders(preferences, "/f29"),
              (std::vector<std::string>{"/INBOX/"}));
    EXPECT_TRUE(RememberedUntickedFolders(preferences, "/a").empty());
}

TEST(PreferencesTest, SaveChooserStartsInAnExistingFolder)
{
    kestrin_test::TempDir home;
    const std::string path = home.path().string();
    const char* savedHome = std::getenv("HOME");
    const std::string oldHome = savedHome ? savedHome : "";
    setenv("HOME", path.c_str(), 1);
    boost::filesystem::create_directories(home.path() / "kept");
    boost::filesystem::create_directories(home.path() / "Documents");
    EXPECT_EQ(SaveChooserStartFolder(path + "/kept"), path + "/kept");
    EXPECT_EQ(SaveChooserStartFolder(path + "/gone"), path + "/Documents");
    boost::filesystem::create_directories(home.path() / "Desktop");
    EXPECT_EQ(SaveChooserStartFolder(path + "/gone"), path + "/Desktop");
    EXPECT_EQ(SaveChooserStartFolder(""), path + "/Desktop");
    boost::filesystem::remove(home.path() / "Desktop");
    boost::filesystem::remove(home.path() / "Documents");
    EXPECT_EQ(SaveChooserStartFolder(path + "/gone"), path);
    setenv("HOME", oldHome.c_str(), 1);
}

TEST(DropTest, OnlyOneExistingFolderIsAccepted)
{
    kestrin_test::TempDir dir;
    const std::string folder = (dir.path() / "Mail").string();
    const std::string other = (dir.path() / "Other").string();
    const std::string file = (dir.path() / "note.txt").string();
    boost::filesystem::create_directories(folder);
    boost::filesystem::create_directories(other);
    std::ofstream(file) << "x";
    struct Case {
        const char* name;
        std::vector<std::string> paths;
        bool accepted;
    };
    const Case cases[] = {
        {"one folder", {folder}, true},
        {"two folders", {folder, other}, false},
        {"a file", {file}, false},
        {"a missing path", {(dir.path() / "gone").string()}, false},
        {"a web address (no local path)", {""}, false},
        {"nothing", {}, false},
    };
    for (const auto& c : cases) {
        const auto accepted = AcceptDroppedFolder(c.paths);
        EXPECT_EQ(bool(accepted), c.accepted) << c.name;
        if (accepted) {
            EXPECT_EQ(*accepted, folder) << c.name;
        }
    }
}

}  // namespace
