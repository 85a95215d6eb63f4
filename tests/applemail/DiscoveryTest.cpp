// Which store a chosen folder gets, where its Envelope Index is, and how the
// account configuration names the accounts.
#include <gtest/gtest.h>

#include <boost/filesystem.hpp>
#include <boost/make_shared.hpp>

#include "applemail/AppleMailDBStoreSQLITE.h"
#include "applemail/AppleMailStoreHelper.h"
#include "libbuilder/Accounts.h"
#include "libbuilder/EnvelopeIndex.h"
#include "libbuilder/EnvelopeSamples.h"
#include "libbuilder/Mailboxes.h"
#include "mime/KSCharsets.h"
#include "support/TestSupport.h"

namespace fs = boost::filesystem;
using namespace KestrinMIMEEngineCommon;
namespace lb = kestrin_libbuilder;

namespace {

void Touch(const fs::path& path)
{
    fs::create_directories(path.parent_path());
    kestrin_test::WriteFile(path, "");
}

// A minimal real database, so that probes that open it succeed.
void WriteDatabase(const fs::path& path, int layout)
{
    lb::EnvelopeIndexRecipe recipe;
    recipe.layout = layout;
    lb::WriteEnvelopeIndexDatabase(path, recipe);
}

struct ProbeCase {
    const char* name;
    std::vector<std::string> databases;  // relative paths of Envelope Index files
    int version;
    const char* chosen;  // relative path of the database found; "" for none
};

class FindEnvelopeIndexTest : public ::testing::TestWithParam<ProbeCase> {};

TEST_P(FindEnvelopeIndexTest, ProbesNewestLayoutFirst)
{
    const ProbeCase& c = GetParam();
    kestrin_test::TempDir dir;
    for (const auto& relative : c.databases)
        WriteDatabase(dir / relative, 7);
    Touch(dir / "V2" / "MailData" / "Accounts.plist");

    int version = -1;
    std::string path;
    EXPECT_EQ(0, AppleMailStoreHelper::FindEnvelopeIndex(dir.str(), version, path));
    EXPECT_EQ(c.version, version);
    EXPECT_EQ(std::string(c.chosen).empty() ? std::string() : (dir / c.chosen).string(), path);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, FindEnvelopeIndexTest,
    ::testing::Values(
        ProbeCase{"V7OverV2", {"V2/MailData/Envelope Index", "V7/MailData/Envelope Index"}, 7,
                  "V7/MailData/Envelope Index"},
        ProbeCase{"V10OverV7", {"V7/MailData/Envelope Index", "V10/MailData/Envelope Index"}, 10,
                  "V10/MailData/Envelope Index"},
        ProbeCase{"V9", {"V9/MailData/Envelope Index"}, 9, "V9/MailData/Envelope Index"},
        ProbeCase{"V8OverV3", {"V3/MailData/Envelope Index", "V8/MailData/Envelope Index"}, 8,
                  "V8/MailData/Envelope Index"},
        ProbeCase{"V2WithoutMailData", {"V2/Envelope Index"}, 2, "V2/Envelope Index"},
        ProbeCase{"MailDataOnly", {"MailData/Envelope Index"}, 2, "MailData/Envelope Index"},
        ProbeCase{"RootDatabaseIsLayout1", {"Envelope Index"}, 1, "Envelope Index"},
        ProbeCase{"V10WithoutMailDataIsNotProbed", {"V10/Envelope Index"}, 0, ""},
        ProbeCase{"Nothing", {}, 0, ""}),
    [](const ::testing::TestParamInfo<ProbeCase>& info) { return std::string(info.param.name); });

TEST(FindEnvelopeIndex, ProbeLeavesNothingBesideTheDatabase)
{
    kestrin_test::TempDir dir;
    const fs::path db = dir / "V10" / "MailData" / "Envelope Index";
    WriteDatabase(db, 10);
    int version = 0;
    std::string path;
    ASSERT_EQ(0, AppleMailStoreHelper::FindEnvelopeIndex(dir.str(), version, path));
    std::vector<std::string> names;
    for (fs::directory_iterator it(db.parent_path()), end; it != end; ++it)
        names.push_back(it->path().filename().string());
    EXPECT_EQ(std::vector<std::string>{"Envelope Index"}, names);
}

TEST(FindEnvelopeIndex, DatabaseThatDoesNotOpenGivesNoStore)
{
    kestrin_test::TempDir dir;
    // A folder where the database file should be cannot be opened.
    fs::create_directories(dir / "V7" / "MailData" / "Envelope Index");
    int version = 0;
    std::string path;
    EXPECT_EQ(4, AppleMailStoreHelper::FindEnvelopeIndex(dir.str(), version, path));
    StoreKind type = StoreKind::AppleMailV1;
    EXPECT_EQ(4, AppleMailStoreHelper::DetermineStoreType(dir.str(), {}, type));
    EXPECT_FALSE(AppleMailStoreHelper::CreateStore(dir.str(), L"Apple Mail Database", {}));
}

TEST(FindEnvelopeIndex, V2WithoutAccountsPlistFallsBackToTheMailboxScan)
{
    kestrin_test::TempDir dir;
    WriteDatabase(dir / "V2" / "MailData" / "Envelope Index", 2);
    fs::create_directories(dir / "V2" / "Mailboxes");
    int version = 0;
    std::string path;
    EXPECT_EQ(0, AppleMailStoreHelper::FindEnvelopeIndex(dir.str(), version, path));
    EXPECT_EQ(2, version);
    EXPECT_EQ("", path);
    StoreKind type = StoreKind::AppleMailV1;
    EXPECT_EQ(0, AppleMailStoreHelper::DetermineStoreType(dir.str(), {}, type));
    EXPECT_EQ(StoreKind::AppleMailV2, type);
    auto store = AppleMailStoreHelper::CreateStore(dir.str(), L"Apple Mail Database", {});
    ASSERT_TRUE(store);
    EXPECT_EQ(StoreKind::AppleMailV2, store->GetStoreKind());
}

// ---------------------------------------------------------------------------
// The mailbox scan

struct ScanCase {
    const char* name;
    std::vector<std::string> files;    // relative paths of empty files
    std::vector<std::string> folders;  // relative paths of folders
    int scan;
    StoreKind type;
};

class ScanForMailboxesTest : public ::testing::TestWithParam<ScanCase> {};

TEST_P(ScanForMailboxesTest, RecognisesTheBundleKind)
{
    const ScanCase& c = GetParam();
    kestrin_test::TempDir dir;
    for (const auto& f : c.files)
        Touch(dir / f);
    for (const auto& f : c.folders)
        fs::create_directories(dir / f);
    EXPECT_EQ(c.scan, AppleMailStoreHelper::ScanForMailboxes(dir.str(), {}));
    StoreKind type = StoreKind::AppleMailV1;
    ASSERT_EQ(0, AppleMailStoreHelper::DetermineStoreType(dir.str(), {}, type));
    EXPECT_EQ(c.type, type);
    auto store = AppleMailStoreHelper::CreateStore(dir.str(), L"", {});
    ASSERT_TRUE(store);
    EXPECT_EQ(c.type, store->GetStoreKind());
}

INSTANTIATE_TEST_SUITE_P(
    Trees, ScanForMailboxesTest,
    ::testing::Values(
        ScanCase{"ExportedMailbox", {"Inbox.mbox/mbox"}, {}, 0, StoreKind::MboxArchive},
        // The "mbox" file is checked before the bundle is listed.
        ScanCase{"MboxFileBeforeMessagesFolder", {"Inbox.mbox/mbox"}, {"Inbox.mbox/Messages"}, 0,
                 StoreKind::MboxArchive},
        // Apple Mail bundles inside an exported one are read by the Apple
        // Mail stores, which read the exported mailboxes as well.
        ScanCase{"AppleMailBundleInsideAnExportedOne", {"Inbox.mbox/mbox"},
                 {"Inbox.mbox/Child.mbox/Messages"}, 1, StoreKind::AppleMailV1},
        // Mailbox files as mbox tools (and this program's mbox target) write them.
        ScanCase{"MailboxFile", {"Mails/Inbox.mbox"}, {}, 0, StoreKind::MboxArchive},
        ScanCase{"MailboxFileBesideAnAppleMailBundle", {"Inbox.mbox"}, {"Old.mbox/Messages"}, 1,
                 StoreKind::AppleMailV1},
        ScanCase{"AppleDoubleCompanionIsNoMailbox", {"._Inbox.mbox"}, {}, 4, StoreKind::AppleMailV1},
        ScanCase{"MessagesFolder", {}, {"Work/Inbox.mbox/Messages"}, 1, StoreKind::AppleMailV1},
        ScanCase{"MessagesInLowerCase", {}, {"Inbox.mbox/messages"}, 1, StoreKind::AppleMailV1},
        ScanCase{"ExtensionInCapitals", {}, {"Inbox.MBOX/Messages"}, 1, StoreKind::AppleMailV1},
        ScanCase{"ImapBundle", {}, {"INBOX.imapmbox/Messages"}, 1, StoreKind::AppleMailV1},
        ScanCase{"UUIDFolder", {}, {"Inbox.mbox/F2D0D67E-7B19-4C30-B2E9-B58FE4780001/Data"}, 2,
                 StoreKind::AppleMailV2},
        // Only the length and the dashes at 8 and 13 are looked at.
        ScanCase{"UUIDShapedName", {}, {"Inbox.mbox/zzzzzzzz-zzzz-zzzzzzzzzzzzzzzzzzzzzz"}, 2,
                 StoreKind::AppleMailV2},
        ScanCase{"ThirtyFiveCharacters", {}, {"Inbox.mbox/zzzzzzzz-zzzz-zzzzzzzzzzzzzzzzzzzzz"},
                 4, StoreKind::AppleMailV1},
        ScanCase{"MessagesOutsideABundle", {}, {"Inbox/Messages"}, 4, StoreKind::AppleMailV1},
        ScanCase{"EmptyFolder", {}, {}, 4, StoreKind::AppleMailV1}),
    [](const ::testing::TestParamInfo<ScanCase>& info) { return std::string(info.param.name); });

TEST(ScanForMailboxes, V2LayoutFoldersGiveTheNewerStore)
{
    kestrin_test::TempDir dir;
    fs::create_directories(dir / "V2" / "Mailboxes");
    fs::create_directories(dir / "V2" / "MailData");
    EXPECT_TRUE(AppleMailStoreHelper::IsV2Layout(dir.str()));
    EXPECT_EQ(kScanV2Layout, AppleMailStoreHelper::DetectMailboxLayout(dir.str(), {}));
}

TEST(ScanForMailboxes, ALinkBackUpTheTreeEndsTheScan)
{
    kestrin_test::TempDir dir;
    fs::create_directories(dir / "Inbox.mbox");
    fs::create_directory_symlink(dir.path(), dir / "Inbox.mbox" / "loop");
    EXPECT_EQ(kScanNothing, AppleMailStoreHelper::ScanForMailboxes(dir.str(), {}));
}

// ---------------------------------------------------------------------------
// Account database discovery

struct AccountsCase {
    const char* name;
    std::vector<std::string> files;
    Status result;
    int version;
    const char* chosen;
};

class DetermineAccountsInfoTest : public ::testing::TestWithParam<AccountsCase> {};

TEST_P(DetermineAccountsInfoTest, TakesTheHighestNumber)
{
    const AccountsCase& c = GetParam();
    kestrin_test::TempDir dir;
    fs::create_directories(dir / "Accounts");
    for (const auto& f : c.files)
        Touch(dir / "Accounts" / f);
    int version = -1;
    std::string path;
    kestrin_test::CapturedDiagnostics diagnostics;
    EXPECT_EQ(c.result, AppleMailStoreHelper::DetermineAccountsInfo(dir.str(), version, path));
    EXPECT_EQ(c.version, version);
    EXPECT_EQ(std::string(c.chosen).empty() ? std::string() : (dir / "Accounts" / c.chosen).string(),
              path);
}

INSTANTIATE_TEST_SUITE_P(
    Folders, DetermineAccountsInfoTest,
    ::testing::Values(
        AccountsCase{"FourOverThree", {"Accounts3.sqlite", "Accounts4.sqlite"}, Status::Succeeded, 4, "Accounts4.sqlite"},
        AccountsCase{"CaseInsensitive", {"ACCOUNTS4.SQLITE"}, Status::Succeeded, 4, "ACCOUNTS4.SQLITE"},
        AccountsCase{"UnnumberedAlone", {"Accounts.sqlite"}, Status::Failed, 0, ""},
        AccountsCase{"CompanionFilesIgnored",
                     {"Accounts4.sqlite-wal", "Accounts4.sqlite-shm", "Accounts3.sqlite"}, Status::Succeeded, 3,
                     "Accounts3.sqlite"},
        // A stray copy does not stop the load.
        AccountsCase{"StrayCopyIgnored", {"Accounts-old.sqlite", "Accounts4.sqlite"}, Status::Succeeded, 4,
                     "Accounts4.sqlite"},
        AccountsCase{"Empty", {}, Status::Failed, 0, ""}),
    [](const ::testing::TestParamInfo<AccountsCase>& info) { return std::string(info.param.name); });

TEST(DetermineAccountsInfo, MissingFolderIsReported)
{
    kestrin_test::TempDir dir;
    kestrin_test::CapturedDiagnostics diagnostics;
    int version = 0;
    std::string path;
    EXPECT_EQ(Status::Failed, AppleMailStoreHelper::DetermineAccountsInfo(dir.str(), version, path));
    EXPECT_NE(std::string::npos,
              diagnostics.text().find("ERROR: AppleMailStoreHelper::DetermineAccountsInfo - Failed "
                                      "to iterate accounts dir ["));
}

// ---------------------------------------------------------------------------
// Reading the accounts

boost::shared_ptr<AppleMailDBStoreSQLITE> StoreFor(const fs::path& root)
{
    return boost::make_shared<AppleMailDBStoreSQLITE>(root.string(), L"");
}

std::wstring W(const std::string& text)
{
    return UTF8ToWide(text);
}

class AccountsPlistTest : public ::testing::TestWithParam<lb::PlistFormat> {};

TEST_P(AccountsPlistTest, LayoutTwoNamesAccountsFromAccountsPlist)
{
    kestrin_test::TempDir dir;
    const fs::path root = dir / "Mail";
    WriteDatabase(root / "V2" / "MailData" / "Envelope Index", 2);
    lb::WriteAccountsPlist(
        root / "V2" / "MailData" / "Accounts.plist",
        {
            {"IMAPAccount", "john", true, "imap.example.com", "~/Library/Mail/V2/IMAP-john@imap.example.com",
             "john@example.com", true},
            {"POPAccount", "bob", true, "pop.example.com", "~/Library/Mail/V2/POP-bob@pop.example.com", "", false},
            {"AosImapAccount", "", false, "", "~/Library/Mail/V2/AosIMAP-jane", "jane@me.com", true},
            {"LocalAccount", "", false, "", "~/Library/Mail/V2/Mailboxes", "", false},
            {"RSSAccount", "", false, "", "~/Library/Mail/V2/RSS", "", false},
            {"ExchangeAccount", "x", true, "ews.example.com", "~/Library/Mail/V2/EWS-x", "x@example.com", true},
        },
        GetParam());
    auto store = StoreFor(root);
    ASSERT_EQ(2, store->GetLayoutVersion());
    ASSERT_EQ(Status::Succeeded, store->ReadAccounts());

    const std::map<std::wstring, std::wstring> folders = {
        {L"imap://john@imap.example.com", L"IMAP-john@imap.example.com"},
        {L"pop://bob@pop.example.com", L"POP-bob@pop.example.com"},
        // No user name: the key still names the hosted service's host.
        {L"imap://@mail.mac.com", L"AosIMAP-jane"},
        {L"local://", L"Mailboxes"},
        {L"feed://", L"RSS"},
    };
    EXPECT_EQ(folders, store->GetAccountFolders());
    const std::string v2 = (root / "V2").string();
    const std::map<std::wstring, std::wstring> names = {
        {W(v2 + "/IMAP-john@imap.example.com"), L"john@example.com"},
        {W(v2 + "/POP-bob@pop.example.com"), L"bob"},
        {W(v2 + "/AosIMAP-jane"), L"jane@me.com"},
        {W(v2 + "/Mailboxes"), L"On My Mac"},
        {W(v2 + "/RSS"), L"RSS Feeds"},
    };
    EXPECT_EQ(names, store->GetAccountNames());
}

INSTANTIATE_TEST_SUITE_P(Formats, AccountsPlistTest,
                         ::testing::Values(lb::PlistFormat::Binary, lb::PlistFormat::XML),
                         [](const ::testing::TestParamInfo<lb::PlistFormat>& info) {
                             return std::string(info.param == lb::PlistFormat::Binary ? "Binary" : "XML");
                         });

TEST(ReadAccounts, LayoutTwoWithoutAccountsPlistFails)
{
    kestrin_test::TempDir dir;
    WriteDatabase(dir / "V2" / "MailData" / "Envelope Index", 2);
    Touch(dir / "V2" / "MailData" / "Accounts.plist");
    auto store = StoreFor(dir.path());
    fs::remove(dir / "V2" / "MailData" / "Accounts.plist");
    EXPECT_EQ(Status::Failed, store->ReadAccounts());
    EXPECT_EQ(Status::Failed, store->Open({}, {}, {}, false));
}

TEST(ReadAccounts, LayoutThreeMapsAccountIdsThroughBackupTOC)
{
    kestrin_test::TempDir dir;
    WriteDatabase(dir / "V3" / "MailData" / "Envelope Index", 3);
    lb::BackupTOCEntry group;
    group.type = 1;
    group.mailboxes = {
        {8, "ACCOUNT-1", "./V3/IMAP-john@example.com/INBOX.mbox", {}},
        {8, "ACCOUNT-1", "V3/Ignored/INBOX.mbox", {}},  // the first entry of an id wins
        {8, "ACCOUNT-2", "OnlyOne", {}},                 // fewer than two components
        {8, "ACCOUNT-3", "V3/EWS-work", {}},
    };
    lb::WriteBackupTOC(dir / "V3" / "MailData" / "BackupTOC.plist", {group, {8, "ACCOUNT-4", "V3/POP-x", {}}},
                       lb::PlistFormat::XML);
    auto store = StoreFor(dir.path());
    ASSERT_EQ(Status::Succeeded, store->ReadAccounts());
    const std::map<std::wstring, std::wstring> folders = {
        {L"ACCOUNT-1", L"IMAP-john@example.com"},
        {L"ACCOUNT-3", L"EWS-work"},
        {L"ACCOUNT-4", L"POP-x"},
    };
    EXPECT_EQ(folders, store->GetAccountFolders());
}

TEST(ReadAccounts, AccountDatabaseNamesAccountsAndTheirChildren)
{
    kestrin_test::TempDir dir;
    lb::EnvelopeSampleLibrary library = lb::BuildEnvelopeSampleLibrary(dir.path(), 10);
    auto store = StoreFor(library.root);
    ASSERT_EQ(Status::Succeeded, store->ReadAccounts());
    const std::string v10 = (library.root / "V10").string() + "/";
    const std::map<std::wstring, std::wstring> names = {
        {W(v10 + lb::kSampleParentAccount), L"john@example.com"},
        // Children and grandchildren carry the top-level name.
        {W(v10 + lb::kSampleImapAccount), L"john@example.com"},
        {W(v10 + lb::kSampleGrandchildAccount), L"john@example.com"},
        // An empty user name falls back to the description.
        {W(v10 + lb::kSampleWorkAccount), L"Work"},
        // A row with neither adds nothing, and its children are not walked.
        {L"ZACCOUNTS", L"TRUE"},
    };
    EXPECT_EQ(names, store->GetAccountNames());
}

TEST(ReadAccounts, AccountDatabaseIsReadFromACopy)
{
    kestrin_test::TempDir dir;
    lb::EnvelopeSampleLibrary library = lb::BuildEnvelopeSampleLibrary(dir.path(), 7);
    const fs::path accounts = dir / "Accounts";
    const std::string before = kestrin_test::ReadFile(accounts / "Accounts4.sqlite");
    auto store = StoreFor(library.root);
    ASSERT_EQ(Status::Succeeded, store->ReadAccounts());
    EXPECT_EQ(L"john@example.com",
              store->GetAccountNames().at(W((library.root / "V7").string() + "/" + lb::kSampleImapAccount)));
    std::vector<std::string> names;
    for (fs::directory_iterator it(accounts), end; it != end; ++it)
        names.push_back(it->path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ((std::vector<std::string>{"Accounts.sqlite", "Accounts3.sqlite", "Accounts4.sqlite"}), names);
    EXPECT_EQ(before, kestrin_test::ReadFile(accounts / "Accounts4.sqlite"));
}

}  // namespace
