// Loading a source folder in the window on the loading thread: the store,
// the error texts, reloading the same path, cancelling; naming the folder.
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>

#include <unistd.h>

#include <boost/filesystem.hpp>

#include "AppFakes.h"
#include "EventQueueDispatcher.h"
#include "app/Application.h"
#include "app/MainWindowController.h"
#include "app/StoreContentViewController.h"
#include "libbuilder/EnvelopeSamples.h"
#include "libbuilder/Mailboxes.h"
#include "support/TestSupport.h"

using namespace KestrinApp;
using namespace kestrin_app_fakes;

namespace KestrinMIMEEngineCommon {
// For the failure messages of results compared as optionals.
std::ostream& operator<<(std::ostream& out, Status status)
{
    return out << ToString(status);
}
}  // namespace KestrinMIMEEngineCommon

namespace {


class LoadingTest : public ::testing::Test {
protected:
    void SetUp() override { InitializeApplication(); }

    // A factory handing out a store for each path, counting the calls.
    StoreFactory Factory()
    {
        return [this](const std::string& path, const boost::shared_ptr<ICancelable>& cancelable)
                   -> boost::shared_ptr<IAssetStore> {
            ++created;
            if (onCreate)
                onCreate(cancelable);
            if (path == "/missing")
                return {};
            auto store = MakeKindStore(path, path == "/mbox" ? StoreKind::MboxArchive
                                                            : StoreKind::EnvelopeIndex);
            AddCounted(store, L"Inbox", kFolderKindMail, 1);
            store->openResult = openResult;
            stores.push_back(store);
            return store;
        };
    }
    // Loads and runs the main thread until the result is in.
    boost::optional<Status> Load(const std::string& path)
    {
        boost::optional<Status> result;
        content.SetLoadFinishedHandler([&](Status r) { result = r; });
        content.LoadStore(path);
        dispatcher.RunUntil([&] { return !content.IsLoading(); });
        return result;
    }

    EventQueueDispatcher dispatcher;
    RecordingAlerts alerts;
    RecordingLoadingSheet sheet;
    std::atomic<int> created{0};
    Status openResult = Status::Succeeded;
    std::function<void(const boost::shared_ptr<ICancelable>&)> onCreate;
    std::vector<boost::shared_ptr<KindStore>> stores;
    StoreContentViewController content{dispatcher, alerts, sheet, Factory()};
};

TEST_F(LoadingTest, LoadedStoreIsShownAndItsKindRemembered)
{
    EXPECT_EQ(Load("/mbox"), Status::Succeeded);
    ASSERT_TRUE(content.SourceStore());
    EXPECT_EQ(content.SourceStore()->GetLocation(), "/mbox");
    EXPECT_EQ(content.Source()->StoreKind(), StoreKind::MboxArchive);
    EXPECT_TRUE(content.HideIgnoreEmptyFolders());
    EXPECT_FALSE(content.FolderLoading());
    EXPECT_EQ(content.GetSelectedItems().size(), 1u);
    EXPECT_EQ(sheet.Events(), (std::vector<std::wstring>{L"begin", L"end"}));
    EXPECT_TRUE(alerts.alerts.empty());
}

TEST_F(LoadingTest, SamePathIsNotReloadedButAnotherReplacesTheStore)
{
    ASSERT_EQ(Load("/lib"), Status::Succeeded);
    content.LoadStore("/lib");
    EXPECT_FALSE(content.IsLoading());
    EXPECT_EQ(created, 1);

    // A trailing separator names another path.
    ASSERT_EQ(Load("/lib/"), Status::Succeeded);
    EXPECT_EQ(created, 2);
    EXPECT_EQ(stores[0]->closeCalls, 1);
    EXPECT_EQ(content.SourceStore(), stores[1]);
    EXPECT_EQ(content.FolderView().RootNode()->NumberOfChildren(), 1u);
    EXPECT_FALSE(content.HideIgnoreEmptyFolders());
}

TEST_F(LoadingTest, FailuresShowTheLoadErrorAndLeaveNoStore)
{
    struct Case {
        const char* name;
        std::string path;
        Status openResult;
    };
    const Case cases[] = {
        {"no store for the folder", "/missing", Status::Succeeded},
        {"store does not open", "/broken", Status::Failed},
    };
    for (const auto& c : cases) {
        alerts.alerts.clear();
        openResult = c.openResult;
        EXPECT_EQ(Load(c.path), Status::Failed) << c.name;
        EXPECT_FALSE(content.SourceStore()) << c.name;
        ASSERT_EQ(alerts.alerts.size(), 1u) << c.name;
        EXPECT_EQ(alerts.alerts[0].message, "Error occurred while loading your email data.");
        EXPECT_EQ(alerts.alerts[0].button, "Ok");
        EXPECT_TRUE(alerts.alerts[0].applicationModal);
        // The fake paths do not exist: that is the reason given.
        EXPECT_EQ(alerts.alerts[0].informative,
                  "The folder \"" + c.path + "\" does not exist.\n\n" + LoadErrorAdvice())
            << c.name;
        EXPECT_FALSE(content.FolderLoading()) << c.name;
    }
    ASSERT_EQ(stores.size(), 1u);
    EXPECT_EQ(stores[0]->closeCalls, 1);
}

TEST_F(LoadingTest, CancelledLoadKeepsTheLoadedStoreAndShowsNoAlert)
{
    ASSERT_EQ(Load("/lib"), Status::Succeeded);
    // The user presses cancel while the store is being read.
    onCreate = [](const boost::shared_ptr<ICancelable>& cancelable) { cancelable->Cancel(); };

    EXPECT_EQ(Load("/other"), Status::Canceled);
    EXPECT_EQ(content.SourceStore(), stores.at(0));
    EXPECT_EQ(stores.at(0)->closeCalls, 0);
    EXPECT_EQ(stores.at(1)->closeCalls, 1);
    EXPECT_TRUE(alerts.alerts.empty());
    EXPECT_EQ(content.FolderView().RootNode()->NumberOfChildren(), 1u);

    // Cancelled before any store was made: no alert either.
    EXPECT_EQ(Load("/missing"), Status::Canceled);
    EXPECT_TRUE(alerts.alerts.empty());
}

TEST_F(LoadingTest, FailedLoadKeepsTheLoadedStoreAndSaysWhy)
{
    struct Case {
        const char* name;
        std::string path;
        std::function<void(const boost::shared_ptr<ICancelable>&)> onCreate;
        Status openResult;
        std::string message;
        std::string informativeStart;
    };
    const Case cases[] = {
        {"store does not open", "/broken", nullptr, Status::Failed,
         "Error occurred while loading your email data.", "The folder \"/broken\" does not exist."},
        {"no mail in the folder", "/docs",
         [](const boost::shared_ptr<ICancelable>&) { throw NoMailDataFound("/docs"); },
         Status::Succeeded, NoMailDataMessage("/docs"), ""},
    };
    int loads = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        onCreate = nullptr;
        openResult = Status::Succeeded;
        ASSERT_EQ(Load("/lib" + std::to_string(++loads)), Status::Succeeded);
        const auto loaded = content.SourceStore();
        alerts.alerts.clear();

        onCreate = c.onCreate;
        openResult = c.openResult;
        EXPECT_EQ(Load(c.path), Status::Failed);
        EXPECT_EQ(content.SourceStore(), loaded);
        EXPECT_EQ(content.FolderView().RootNode()->NumberOfChildren(), 1u);
        ASSERT_EQ(alerts.alerts.size(), 1u);
        EXPECT_EQ(alerts.alerts[0].message, c.message);
        EXPECT_EQ(alerts.alerts[0].informative.substr(0, c.informativeStart.size()),
                  c.informativeStart);
        EXPECT_FALSE(content.IsLoading());
    }
}

// The Apple Mail reader on folders as a person may choose them.
TEST(OpenSourceTest, FoldersWithoutMailOrWithADamagedIndexSayWhy)
{
    namespace fs = boost::filesystem;
    namespace lb = kestrin_libbuilder;
    InitializeApplication();
    kestrin_test::TempDir dir;
    kestrin_test::CapturedDiagnostics diagnostics;
    const fs::path empty = dir.path() / "Empty";
    fs::create_directories(empty);
    const fs::path documents = dir.path() / "Documents";
    kestrin_test::WriteFile(documents / "letter.txt", "Dear Sir,\n");
    kestrin_test::WriteFile(documents / "Photos" / "trip.jpg", "not really a picture");
    // A folder named like a mailbox that holds no mail.
    kestrin_test::WriteFile(documents / "Notes.mbox" / "readme.txt", "nothing\n");
    const fs::path good = lb::BuildEnvelopeSampleLibrary(dir.path() / "Good", 10).root;
    const fs::path cut = lb::BuildEnvelopeSampleLibrary(dir.path() / "Cut", 10).root;
    const fs::path index = cut / "V10" / "MailData" / "Envelope Index";
    fs::resize_file(index, fs::file_size(index) / 2);
    const fs::path exported = dir.path() / "Export";
    lb::WriteExportedMailbox(exported, "Inbox", {lb::MakeMessage("Hi", lb::TextPart("hi\n"))});

    struct Case {
        const char* name;
        fs::path folder;
        Status status;
        LoadFailure failure;
        std::string reason;
    };
    const Case cases[] = {
        {"empty folder", empty, Status::Failed, LoadFailure::NoMailData,
         NoMailDataMessage(empty.string())},
        {"documents folder", documents, Status::Failed, LoadFailure::NoMailData,
         NoMailDataMessage(documents.string())},
        {"Envelope Index cut to half its size", cut, Status::Failed, LoadFailure::ReadFailed,
         index.string() + ": database disk image is malformed"},
        {"sound library", good, Status::Succeeded, LoadFailure::None, ""},
        {"exported mailboxes", exported, Status::Succeeded, LoadFailure::None, ""},
    };
    for (const auto& c : cases) {
        LoadObserver observer;
        const LoadResult result = OpenSource(c.folder.string(), observer);
        EXPECT_EQ(result.status, c.status) << c.name;
        EXPECT_STREQ(ToString(result.failure), ToString(c.failure)) << c.name;
        EXPECT_EQ(result.reason, c.reason) << c.name;
        EXPECT_EQ(result.source != nullptr, c.status == Status::Succeeded) << c.name;
    }
}

TEST_F(LoadingTest, CancelPressedAtOnceIsNotLost)
{
    boost::optional<Status> result;
    content.SetLoadFinishedHandler([&](Status r) { result = r; });
    ASSERT_TRUE(content.LoadStore("/lib"));
    // Before the loading thread has even shown its sheet.
    content.CancelLoad();
    dispatcher.RunUntil([&] { return !content.IsLoading(); });
    EXPECT_EQ(result, Status::Canceled);
    EXPECT_FALSE(content.SourceStore());
}

TEST_F(LoadingTest, CancelPressedAfterTheLoadFinishedIsHonoured)
{
    boost::optional<Status> result;
    content.SetLoadFinishedHandler([&](Status r) { result = r; });
    ASSERT_TRUE(content.LoadStore("/lib"));
    // The loaded source is on its way to the main thread when Cancel is
    // pressed: the person never sees it.
    dispatcher.WaitForWork();
    content.CancelLoad();
    dispatcher.RunUntil([&] { return !content.IsLoading(); });
    EXPECT_EQ(result, Status::Canceled);
    EXPECT_FALSE(content.SourceStore());
    ASSERT_EQ(stores.size(), 1u);
    EXPECT_EQ(stores[0]->closeCalls, 1);
}

TEST(LoadFailureTest, ReasonsInTheUsersTerms)
{
    kestrin_test::TempDir dir;
    const auto root = dir.path();
    boost::filesystem::create_directories(root / "good/V10/MailData");
    boost::filesystem::create_directories(root / "garbled/V10/MailData");
    boost::filesystem::create_directories(root / "locked");
    std::ofstream(((root / "good/V10/MailData/Envelope Index").string()))
        << std::string("SQLite format 3\0", 16) << "rest";
    std::ofstream(((root / "garbled/V10/MailData/Envelope Index").string())) << "not sqlite at all";
    std::ofstream(((root / "a file").string())) << "x";
    boost::filesystem::permissions(root / "locked", boost::filesystem::no_perms);
    const auto sound = kestrin_libbuilder::BuildEnvelopeSampleLibrary(root / "sound", 10).root;
    struct Case {
        const char* name;
        std::string path;
        std::string reason;
    };
    const std::string base = root.string();
    const Case cases[] = {
        {"missing", base + "/nothing", "The folder \"" + base + "/nothing\" does not exist."},
        {"a file", base + "/a file", "\"" + base + "/a file\" is not a folder."},
        {"not a database", base + "/garbled",
         base + "/garbled/V10/MailData/Envelope Index: file is not a database"},
        // SQLite's own words for a file with a header and nothing after it.
        {"header only", base + "/good", base + "/good/V10/MailData/Envelope Index: file is not a database"},
        {"nothing wrong to see", sound.string(), ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DescribeLoadFailure(c.path), c.reason) << c.name;
    // Root reads everything; the check means something only for others.
    if (::geteuid() != 0) {
        EXPECT_EQ(DescribeLoadFailure(base + "/locked"), "Permission denied: " + base + "/locked");
    }
    boost::filesystem::permissions(root / "locked", boost::filesystem::owner_all);
}

TEST_F(LoadingTest, ExceptionFromTheReaderIsALoadFailure)
{
    onCreate = [](const boost::shared_ptr<ICancelable>&) { throw std::runtime_error("bad"); };
    kestrin_test::CapturedDiagnostics diagnostics;
    EXPECT_EQ(Load("/lib"), Status::Failed);
    EXPECT_EQ(alerts.alerts.size(), 1u);
    EXPECT_NE(diagnostics.text().find("ERROR: Loading /lib failed: bad"), std::string::npos);
}

TEST_F(LoadingTest, IgnoreEmptyFoldersReachesTheTree)
{
    content.SetIgnoreEmptyFolders(true);
    ASSERT_EQ(Load("/lib"), Status::Succeeded);
    EXPECT_TRUE(content.FolderView().IgnoreEmptyFolders());
}

class SelectionSheetTest : public ::testing::Test {
protected:
    void SetUp() override { InitializeApplication(); }
    RecordingAlerts alerts;
    FixedChoosers choosers;
    int completed = 0;
    boost::optional<std::string> chosen;
    OpenDatabaseController sheet{alerts, choosers, [this](const boost::optional<std::string>& path) {
                                     ++completed;
                                     chosen = path;
                                 }};
};

TEST_F(SelectionSheetTest, BrowsedFolderMustBeAnExistingLibraryMail)
{
    kestrin_test::TempDir home;
    boost::filesystem::create_directories(home.path() / "Library" / "Mail" / "V10");
    struct Case {
        const char* name;
        std::string chosen;
        bool accepted;
    };
    const Case cases[] = {
        {"the mail folder", (home.path() / "Library/Mail").string(), true},
        {"with a trailing separator", (home.path() / "Library/Mail/").string(), true},
        {"a folder inside it", (home.path() / "Library/Mail/V10").string(), false},
        {"missing", (home.path() / "Other/Library/Mail").string(), false},
        {"name merely ending alike", (home.path() / "Library/XMail").string(), false},
    };
    for (const auto& c : cases) {
        alerts.alerts.clear();
        chosen = boost::none;
        choosers.source = c.chosen;
        sheet.ClickBrowseLibrary();
        EXPECT_EQ(chosen.has_value(), c.accepted) << c.name;
        EXPECT_EQ(alerts.alerts.size(), c.accepted ? 0u : 1u) << c.name;
    }
    EXPECT_EQ(completed, 5);
    EXPECT_EQ(alerts.alerts.at(0).message, "Failed to Access [User Home]/Library/Mail folder.");
    EXPECT_EQ(alerts.alerts.at(0).informative.rfind(
                  "Please ensure that you select \"Library/Mail\" folder located in your User "
                  "Home Directory.\n\nIf you are having trouble locating  your",
                  0),
              0u);
}

TEST_F(SelectionSheetTest, MissingDefaultMailFolderIsNamedInsteadOfLoaded)
{
    kestrin_test::TempDir home;
    const std::string oldHome = HomeDirectory();
    ::setenv("HOME", home.str().c_str(), 1);
    sheet.ClickLoadMailDatabase();
    EXPECT_FALSE(chosen);
    EXPECT_EQ(completed, 0);
    ASSERT_EQ(alerts.alerts.size(), 1u);
    EXPECT_EQ(alerts.alerts[0].message, "Your mail folder was not found.");
    EXPECT_NE(alerts.alerts[0].informative.find(home.str() + "/Library/Mail"), std::string::npos);

    boost::filesystem::create_directories(home.path() / "Library" / "Mail");
    sheet.ClickLoadMailDatabase();
    EXPECT_EQ(chosen, home.str() + "/Library/Mail");
    EXPECT_EQ(completed, 1);
    ::setenv("HOME", oldHome.c_str(), 1);
}

TEST_F(SelectionSheetTest, OpenTakesAnyFolderAndBackingOutDoesNothing)
{
    choosers.source = std::string("/anywhere");
    sheet.ClickOpen();
    EXPECT_EQ(chosen, std::string("/anywhere"));
    EXPECT_EQ(completed, 1);
    choosers.source = boost::none;
    sheet.ClickOpen();
    sheet.ClickBrowseLibrary();
    EXPECT_EQ(completed, 1);
}

}  // namespace
