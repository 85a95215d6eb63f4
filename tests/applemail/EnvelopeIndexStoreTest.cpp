// The Envelope Index store over generated libraries of every layout: the
// folder tree with its names and counts, the listing of each mailbox, the
// message files found on disk, header-only messages and their ids.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include <boost/crc.hpp>
#include <boost/filesystem.hpp>
#include <boost/make_shared.hpp>

#include "applemail/AppleMailAssetFolderSQLITE.h"
#include "applemail/AppleMailDBStoreSQLITE.h"
#include "applemail/AppleMailStoreHelper.h"
#include "applemail/MailFolderPaths.h"
#include "formats/EMLEmailAsset.h"
#include "EmlxTestSupport.h"
#include "EnvelopeTestSupport.h"
#include "libbuilder/Accounts.h"
#include "libbuilder/Emlx.h"
#include "libbuilder/EnvelopeIndex.h"
#include "libbuilder/EnvelopeSamples.h"
#include "libbuilder/Mailboxes.h"
#include "mime/KSCharsets.h"
#include "mime/MimeServices.h"
#include "streams/KSContainerData.h"
#include "support/TestSupport.h"

namespace fs = boost::filesystem;
using namespace KestrinMIMEEngineCommon;
using namespace envelope_test;
namespace lb = kestrin_libbuilder;

namespace {

boost::shared_ptr<AppleMailDBStoreSQLITE> OpenStore(const fs::path& root)
{
    auto store = boost::dynamic_pointer_cast<AppleMailDBStoreSQLITE>(
        AppleMailStoreHelper::CreateStore(root.string(), L"Apple Mail Database", {}));
    if (store && store->Open({}, {}, {}, false) != Status::Succeeded)
        return {};
    return store;
}

std::string RawText(const boost::shared_ptr<IAsset>& asset)
{
    auto email = boost::dynamic_pointer_cast<IEmailAsset>(asset);
    if (!email)
        return "<not an e-mail>";
    auto bytes = boost::make_shared<KSByteVector>();
    email->WriteRawMessage(boost::make_shared<KSVectorData>(bytes));
    return std::string(bytes->begin(), bytes->end());
}

struct LayoutCase {
    const char* name;
    int layout;
    lb::PlistFormat format;
};

class EnvelopeLibraryTest : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(EnvelopeLibraryTest, OpensWithNamedAccountsCountsAndEveryMessage)
{
    const LayoutCase& c = GetParam();
    kestrin_test::TempDir dir;
    const lb::EnvelopeSampleLibrary library = lb::BuildEnvelopeSampleLibrary(dir.path(), c.layout, c.format);

    kestrin_test::CapturedDiagnostics diagnostics;
    auto store = OpenStore(library.root);
    ASSERT_TRUE(store);
    EXPECT_EQ(StoreKind::EnvelopeIndex, store->GetStoreKind());
    EXPECT_EQ(c.layout, store->GetLayoutVersion());
    EXPECT_TRUE(store->IsOpen());

    const auto folders = FoldersByPath(store->GetRootFolder());
    int64_t mailboxes = 0;
    for (const auto& entry : folders)
        mailboxes += entry.second->GetFolderKind() == kFolderKindMail;
    EXPECT_EQ(static_cast<int64_t>(library.folders.size()), mailboxes);

    for (const auto& expected : library.folders) {
        SCOPED_TRACE(expected.path);
        auto it = folders.find(expected.path);
        ASSERT_NE(folders.end(), it);
        EXPECT_EQ(kFolderKindMail, it->second->GetFolderKind());
        EXPECT_EQ(expected.count, it->second->GetAssetCount());

        const auto items = ListFolder(it->second);
        ASSERT_EQ(static_cast<size_t>(expected.count), items.size());
        std::set<std::string> ids;
        int64_t headerOnly = 0;
        for (const auto& item : items) {
            ASSERT_TRUE(item.asset);
            EXPECT_EQ(kQueryKindNew, item.queryKind);
            EXPECT_FALSE(item.id.empty());
            ids.insert(item.id);
            headerOnly += boost::dynamic_pointer_cast<EMLEmailAsset>(item.asset) != nullptr;
        }
        EXPECT_EQ(items.size(), ids.size());
        EXPECT_EQ(expected.headerOnly, headerOnly);
    }
    for (const auto& absent : library.absentPaths)
        EXPECT_EQ(0u, folders.count(absent)) << absent;

    // The row that tries to climb out of the mail folder is refused aloud.
    EXPECT_NE(std::string::npos, diagnostics.text().find("ERROR: Mailbox URL with an unsafe path skipped"));
    // The account the configuration cannot name is said so in the report,
    // and the mailboxes without a folder are named there as skipped.
    const std::vector<std::wstring> notes = store->GetReportNotes();
    std::wstring joined;
    for (const auto& note : notes)
        joined += note + L"\n";
    if (c.layout >= 7) {
        EXPECT_NE(std::wstring::npos, joined.find(UTF8ToWide(lb::kSampleNamelessAccount)));
    }
    if (c.layout == 2) {
        EXPECT_NE(std::wstring::npos, joined.find(L"stranger@imap.other.com"));
    }
    EXPECT_NE(std::wstring::npos, joined.find(L"Skipped : Mailbox "));
    EXPECT_EQ(Status::Succeeded, store->Close());
    EXPECT_FALSE(store->IsOpen());
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, EnvelopeLibraryTest,
    ::testing::Values(LayoutCase{"V1", 1, lb::PlistFormat::Binary},
                      LayoutCase{"V2BinaryPlist", 2, lb::PlistFormat::Binary},
                      LayoutCase{"V2XMLPlist", 2, lb::PlistFormat::XML},
                      LayoutCase{"V3", 3, lb::PlistFormat::XML},
                      LayoutCase{"V7", 7, lb::PlistFormat::Binary},
                      LayoutCase{"V8", 8, lb::PlistFormat::Binary},
                      LayoutCase{"V10", 10, lb::PlistFormat::XML}),
    [](const ::testing::TestParamInfo<LayoutCase>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// One V10 library, looked at closely

class V10LibraryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        library = lb::BuildEnvelopeSampleLibrary(dir.path(), 10);
        kestrin_test::CapturedDiagnostics quiet;
        store = OpenStore(library.root);
        ASSERT_TRUE(store);
        folders = FoldersByPath(store->GetRootFolder());
    }

    boost::shared_ptr<AppleMailAssetFolderSQLITE> Folder(const std::string& path)
    {
        auto it = folders.find(path);
        return it == folders.end() ? nullptr
                                   : boost::dynamic_pointer_cast<AppleMailAssetFolderSQLITE>(it->second);
    }

    kestrin_test::TempDir dir;
    lb::EnvelopeSampleLibrary library;
    boost::shared_ptr<AppleMailDBStoreSQLITE> store;
    std::map<std::string, boost::shared_ptr<IAssetFolder>> folders;
};

TEST_F(V10LibraryTest, DatabaseWithoutPropertiesTableOpens)
{
    EXPECT_EQ(-1, store->GetMajorVersion());
    EXPECT_EQ(-1, store->GetMinorVersion());
    EXPECT_EQ(L"", store->GetDatabaseUUID());
}

TEST_F(V10LibraryTest, MailboxListsItsRowsInAscendingOrder)
{
    const auto items = ListFolder(Folder("/john@example.com/INBOX/"));
    std::vector<std::string> ids;
    for (const auto& item : items)
        ids.push_back(item.id);
    // Message-IDs come from message_global_data, not the numeric message_id.
    EXPECT_EQ((std::vector<std::string>{"<message-5@libbuilder.example>", "<message-9@libbuilder.example>",
                                        "<message-12@libbuilder.example>", "<message-1000@libbuilder.example>",
                                        "<message-1234567@libbuilder.example>"}),
              ids);
}

TEST_F(V10LibraryTest, MessageFilesAreFoundInDigitFolders)
{
    auto inbox = Folder("/john@example.com/INBOX/");
    ASSERT_TRUE(inbox);
    const std::string data = (library.root / "V10" / lb::kSampleImapAccount / "INBOX.mbox" /
                              lb::MakeStoreUuid(7) / "Data")
                                 .string();
    struct Case {
        int64_t rowId;
        std::string path;
        bool found;
    };
    const Case cases[] = {
        {999, data + "/Messages/999.partial.emlx", false},
        {1000, data + "/1/Messages/1000.emlx", true},
        {1234567, data + "/4/3/2/1/Messages/1234567.emlx", true},
        // Only the partial download exists.
        {12, data + "/Messages/12.partial.emlx", true},
    };
    for (const auto& c : cases) {
        bool found = !c.found;
        EXPECT_EQ(c.path, inbox->ResolveMessageFile(c.rowId, found)) << c.rowId;
        EXPECT_EQ(c.found, found) << c.rowId;
    }
}

TEST_F(V10LibraryTest, MissingFileBecomesHeaderOnlyMessageWithWarning)
{
    auto logger = boost::make_shared<CollectingLogger>();
    const auto items = ListFolder(Folder("/john@example.com/INBOX/"), logger);
    ASSERT_EQ(5u, items.size());

    const auto& headerOnly = items[1];  // ROWID 9
    EXPECT_TRUE(headerOnly.incomplete);
    const int64_t date = 1500000000 + 9 * 60;
    EXPECT_EQ("From: \"Sender Example\" <sender@example.com>\r\nDate: " + FormatRFC822Date(date) +
                  "\r\nSubject: Message 9",
              RawText(headerOnly.asset));
    EXPECT_TRUE(items[2].incomplete);  // ROWID 12: its attachment was never downloaded
    EXPECT_FALSE(items[0].incomplete);

    // Four lines for each incomplete message: the block, the file, the
    // message's description and a line end.
    ASSERT_EQ(8u, logger->lines.size());
    EXPECT_EQ(L"\n---------------------------------------- WARNING ----------------------------------------\n"
              L"Apple Mail has not downloaded email content or attachments for following email: ",
              logger->lines[0]);
    EXPECT_NE(std::wstring::npos, logger->lines[1].find(L"/Data/Messages/9.partial.emlx"));
    EXPECT_EQ(headerOnly.asset->GetDescription(), logger->lines[2]);
    EXPECT_NE(std::wstring::npos, logger->lines[2].find(L"Subject : Message 9"));
    EXPECT_EQ(L"\n", logger->lines[3]);
    EXPECT_EQ(kNotDownloadedWarning, logger->lines[4]);
    EXPECT_NE(std::wstring::npos, logger->lines[5].find(L"/Data/Messages/12.partial.emlx"));
}

std::string ExpectedUid(uint64_t rowId)
{
    const std::string bytes = "Sender Example" "sender@example.com" "Message " + std::to_string(rowId);
    boost::crc_32_type crc;
    crc.process_bytes(bytes.data(), bytes.size());
    const int64_t sent = 1500000000 + static_cast<int64_t>(rowId) * 60;
    return "UID:" + std::to_string(crc.checksum()) + "|" + std::to_string(sent) + "|" +
           std::to_string(sent + 2);
}

TEST_F(V10LibraryTest, MessagesWithoutMessageIdGetStableUidIds)
{
    auto allMail = Folder("/john@example.com/[Gmail]/All Mail/");
    const auto first = ListFolder(allMail);
    const auto second = ListFolder(allMail);
    ASSERT_EQ(4u, first.size());
    EXPECT_EQ("<message-20@libbuilder.example>", first[0].id);
    EXPECT_EQ(ExpectedUid(22), first[2].id);  // with a file
    EXPECT_EQ(ExpectedUid(23), first[3].id);  // header-only
    for (size_t i = 0; i < first.size(); ++i)
        EXPECT_EQ(first[i].id, second[i].id);
}

TEST_F(V10LibraryTest, LabelMailboxListsLabelledMessagesFromTheSourceMailbox)
{
    auto label = Folder("/john@example.com/Work/");
    ASSERT_TRUE(label);
    EXPECT_EQ(2, label->GetSource());
    const auto items = ListFolder(label);
    ASSERT_EQ(2u, items.size());
    EXPECT_EQ("<message-20@libbuilder.example>", items[0].id);
    EXPECT_EQ(ExpectedUid(22), items[1].id);
    for (const auto& item : items)
        EXPECT_FALSE(item.incomplete);
    bool found = false;
    EXPECT_NE(std::string::npos, label->ResolveMessageFile(20, found).find("/All Mail.mbox/"));
    EXPECT_TRUE(found);
}

TEST_F(V10LibraryTest, FolderIdsFollowTheMailboxRows)
{
    // "Projects" was a grouping folder until its own row came after its child's.
    auto projects = Folder("/john@example.com/Projects/");
    ASSERT_TRUE(projects);
    EXPECT_EQ("5", projects->GetPathUTF8());
    EXPECT_EQ(projects, store->FindFolderByRowID(5));
    EXPECT_EQ(Folder("/john@example.com/Projects/Q1/"), store->FindFolderByRowID(4));
    EXPECT_EQ(store->GetRootFolder(), store->FindFolderByRowID(-1));
    EXPECT_FALSE(store->FindFolderByRowID(8));  // its bundle is missing

    auto account = Folder("/john@example.com/");
    ASSERT_TRUE(account);
    EXPECT_EQ(kAccountFolderRowID, account->GetMailboxRowID());
    const std::string uuid = lb::kSampleImapAccount;
    boost::crc_32_type crc;
    crc.process_bytes(uuid.data(), uuid.size());
    EXPECT_EQ(store->GetRootFolder()->GetPathUTF8() + "." + std::to_string(crc.checksum()),
              account->GetPathUTF8());
    EXPECT_EQ(0u, account->GetPathUTF8().find("placeholder."));

    // Every children set is still in id order after the late change.
    for (const auto& entry : folders) {
        std::vector<std::string> ids;
        for (const auto& sub : entry.second->GetSubFolders())
            ids.push_back(sub->GetPathUTF8());
        EXPECT_TRUE(std::is_sorted(ids.begin(), ids.end())) << entry.first;
        for (const auto& sub : entry.second->GetSubFolders()) {
            const auto found = entry.second->FindSubFolder(sub->GetName());
            ASSERT_TRUE(found) << entry.first;
            EXPECT_EQ(found->GetName(), sub->GetName());
        }
    }
}

TEST_F(V10LibraryTest, GroupingFoldersListNothing)
{
    EXPECT_TRUE(ListFolder(Folder("/john@example.com/")).empty());
    EXPECT_TRUE(ListFolder(Folder("/john@example.com/[Gmail]/")).empty());
    // The grouping folder stays although its only mailbox has no bundle.
    auto archive = Folder("/john@example.com/Archive/");
    ASSERT_TRUE(archive);
    EXPECT_EQ(kGroupingFolderRowID, archive->GetMailboxRowID());
    EXPECT_EQ(0u, archive->GetSubFolderCount());
}

// ---------------------------------------------------------------------------
// Libraries that go wrong

lb::EnvelopeMailbox Box(uint64_t rowId, const std::string& url, const fs::path& bundle,
                        std::vector<lb::EnvelopeMessage> messages)
{
    lb::EnvelopeMailbox box;
    box.rowId = rowId;
    box.url = url;
    box.bundle = bundle;
    box.messages = std::move(messages);
    return box;
}

TEST(EnvelopeIndexStore, BundleWithoutStoreFolderGivesHeaderOnlyMessages)
{
    kestrin_test::TempDir dir;
    lb::EnvelopeIndexRecipe recipe;
    recipe.layout = 10;
    recipe.mailboxes = {Box(1, "imap://ACCOUNT/INBOX", "V10/ACCOUNT/INBOX.mbox",
                          {lb::MakeEnvelopeMessage(5, "Five", 1500000000, false),
                           lb::MakeEnvelopeMessage(6, "Six", 1500000100, false)})};
    const fs::path root = dir / "Mail";
    lb::WriteEnvelopeIndexLibrary(root, recipe);
    // Listed in any order, none of these is the store folder.
    const fs::path bundle = root / "V10" / "ACCOUNT" / "INBOX.mbox";
    kestrin_test::WriteFile(bundle / ".DS_Store", "Bud1");
    lb::WriteMailboxInfoPlist(bundle, "INBOX", lb::PlistFormat::Binary);
    fs::create_directories(bundle / "Backup" / "Data" / "Messages");
    lb::WriteMessage(bundle / "Backup" / "Data" / "Messages", 5, recipe.mailboxes[0].messages[0].file);

    kestrin_test::CapturedDiagnostics quiet;
    auto store = OpenStore(root);
    ASSERT_TRUE(store);
    const auto items = ListFolder(FoldersByPath(store->GetRootFolder()).at("/ACCOUNT/INBOX/"));
    ASSERT_EQ(2u, items.size());
    for (const auto& item : items)
        EXPECT_TRUE(item.incomplete);
}

TEST(EnvelopeIndexStore, StoreFolderOtherThanTheDatabaseUUIDIsFound)
{
    kestrin_test::TempDir dir;
    lb::EnvelopeIndexRecipe recipe;
    recipe.layout = 7;
    recipe.databaseUUID = "11111111-2222-4333-8444-555555555555";
    recipe.storeUUID = lb::MakeStoreUuid(3);  // a library copied from another Mac
    recipe.mailboxes = {Box(1, "imap://ACCOUNT/INBOX", "V7/ACCOUNT/INBOX.mbox",
                          {lb::MakeEnvelopeMessage(5, "Five", 1500000000)})};
    const fs::path root = dir / "Mail";
    lb::WriteEnvelopeIndexLibrary(root, recipe);
    kestrin_test::WriteFile(root / "V7" / "ACCOUNT" / "INBOX.mbox" / ".DS_Store", "Bud1");

    kestrin_test::CapturedDiagnostics quiet;
    auto store = OpenStore(root);
    ASSERT_TRUE(store);
    EXPECT_EQ(UTF8ToWide(recipe.databaseUUID), store->GetDatabaseUUID());
    const auto items = ListFolder(FoldersByPath(store->GetRootFolder()).at("/ACCOUNT/INBOX/"));
    ASSERT_EQ(1u, items.size());
    EXPECT_FALSE(items[0].incomplete);
}

TEST(EnvelopeIndexStore, AccountFolderKnownOnlyByItsInfoPlist)
{
    kestrin_test::TempDir dir;
    lb::EnvelopeIndexRecipe recipe;
    recipe.layout = 10;
    recipe.storeUUID = lb::MakeStoreUuid(1);
    recipe.mailboxes = {Box(1, "imap://ACCOUNT/INBOX", "V10/Renamed/INBOX.mbox",
                          {lb::MakeEnvelopeMessage(5, "Five", 1500000000)})};
    const fs::path root = dir / "Mail";
    lb::WriteEnvelopeIndexLibrary(root, recipe);
    lb::WriteMailboxInfoPlist(root / "V10" / "Renamed", "ACCOUNT", lb::PlistFormat::XML);
    fs::create_directories(root / "V10" / "Other");

    kestrin_test::CapturedDiagnostics quiet;
    auto store = OpenStore(root);
    ASSERT_TRUE(store);
    const auto folders = FoldersByPath(store->GetRootFolder());
    ASSERT_EQ(1u, folders.count("/ACCOUNT/INBOX/"));
    EXPECT_EQ(1, folders.at("/ACCOUNT/INBOX/")->GetAssetCount());
    EXPECT_EQ((root / "V10" / "Renamed").string(), folders.at("/ACCOUNT/")->GetFolderId());
}

struct UrlCase {
    const char* name;
    const char* url;
    const char* bundle;    // below the root, "" for none
    const char* expected;  // folder path in the tree
};

class LayoutOneUrlTest : public ::testing::TestWithParam<UrlCase> {};

TEST_P(LayoutOneUrlTest, UrlPrefixNamesTheAccountFolder)
{
    const UrlCase& c = GetParam();
    kestrin_test::TempDir dir;
    lb::EnvelopeIndexRecipe recipe;
    recipe.layout = 1;
    recipe.mailboxes = {Box(1, c.url, c.bundle, {lb::MakeEnvelopeMessage(5, "Five", 1500000000)})};
    const fs::path root = dir / "Mail";
    lb::WriteEnvelopeIndexLibrary(root, recipe);
    auto store = OpenStore(root);
    ASSERT_TRUE(store);
    const auto folders = FoldersByPath(store->GetRootFolder());
    ASSERT_EQ(1u, folders.count(c.expected));
    const auto items = ListFolder(folders.at(c.expected));
    ASSERT_EQ(1u, items.size());
    EXPECT_FALSE(items[0].incomplete);
}

INSTANTIATE_TEST_SUITE_P(
    Urls, LayoutOneUrlTest,
    ::testing::Values(
        UrlCase{"Imap", "imap://john@imap.example.com/INBOX", "IMAP-john@imap.example.com/INBOX.imapmbox",
                "/IMAP-john@imap.example.com/INBOX/"},
        UrlCase{"HostedMac", "imap://jane@mail.mac.com/INBOX", "AosIMAP-jane/INBOX.imapmbox",
                "/AosIMAP-jane/INBOX/"},
        UrlCase{"HostedMe", "imap://jim@imap.mail.me.com/Sent", "AosIMAP-jim/Sent.imapmbox",
                "/AosIMAP-jim/Sent/"},
        UrlCase{"HostedICloud", "imap://joe@p01-imap.mail.icloud.com/INBOX", "AosIMAP-joe/INBOX.imapmbox",
                "/AosIMAP-joe/INBOX/"},
        // A host that merely ends in a hosted-service domain is not hosted.
        UrlCase{"EndsInMeButNotHosted", "imap://joe@acme.com/INBOX", "IMAP-joe@acme.com/INBOX.imapmbox",
                "/IMAP-joe@acme.com/INBOX/"},
        UrlCase{"EndsInMacButNotHosted", "imap://kim@imap.bigmac.com/INBOX",
                "IMAP-kim@imap.bigmac.com/INBOX.imapmbox", "/IMAP-kim@imap.bigmac.com/INBOX/"},
        UrlCase{"HostedDomainItself", "imap://lee@me.com/INBOX", "AosIMAP-lee/INBOX.imapmbox",
                "/AosIMAP-lee/INBOX/"},
        UrlCase{"Pop", "pop://bob@pop.example.com/INBOX", "POP-bob@pop.example.com/INBOX.mbox",
                "/POP-bob@pop.example.com/INBOX/"},
        UrlCase{"Exchange", "ews://ann@ews.example.com/Inbox", "EWS-ann@ews.example.com/Inbox.mbox",
                "/EWS-ann@ews.example.com/Inbox/"},
        UrlCase{"Feed", "feed://news.example.com/Headlines", "RSSnews.example.com/Headlines.rssmbox",
                "/RSSnews.example.com/Headlines/"},
        UrlCase{"Local", "local:///Archive%202019", "Mailboxes/Archive 2019.mbox", "/Mailboxes/Archive 2019/"}),
    [](const ::testing::TestParamInfo<UrlCase>& info) { return std::string(info.param.name); });

TEST(EnvelopeIndexStore, OpenRefusesCreationAndHonoursCancel)
{
    kestrin_test::TempDir dir;
    const lb::EnvelopeSampleLibrary library = lb::BuildEnvelopeSampleLibrary(dir.path(), 10);
    kestrin_test::CapturedDiagnostics quiet;

    AppleMailDBStoreSQLITE* raw = nullptr;
    auto creating = boost::make_shared<AppleMailDBStoreSQLITE>(library.root.string(), L"");
    raw = creating.get();
    EXPECT_EQ(L"Apple Mail Store", raw->GetStoreName());
    EXPECT_EQ(Status::Failed, creating->Open({}, {}, {}, true));
    EXPECT_FALSE(creating->IsOpen());

    struct Canceled : ICancelable {
        bool IsCanceled() override { return true; }
        void Cancel() override {}
    };
    auto canceled = boost::make_shared<AppleMailDBStoreSQLITE>(library.root.string(), L"");
    EXPECT_EQ(Status::Canceled, canceled->Open({}, boost::make_shared<Canceled>(), {}, false));
    EXPECT_FALSE(canceled->IsOpen());
    EXPECT_FALSE(canceled->GetRootFolder());
    EXPECT_EQ("", canceled->GetPrivateCopyFolder());
}

TEST(EnvelopeIndexStore, RealMailboxBundleIsReadThroughItsRow)
{
    const std::string samples = kestrin_test::SamplesDir();
    if (samples.empty())
        GTEST_SKIP() << "no samples";
    kestrin_test::TempDir dir;
    lb::EnvelopeIndexRecipe recipe;
    recipe.layout = 10;
    recipe.mailboxes = {Box(1, "imap://ACCOUNT/lists", "",
                          {lb::MakeEnvelopeMessage(1498, "Real message", 1430000000, false)})};
    const fs::path root = dir / "Mail";
    lb::WriteEnvelopeIndexLibrary(root, recipe);
    // A real bundle: store UUID folder, ROWID 1498 in Data/1, a stripped PDF
    // part kept in "1498.3.emlxpart".
    emlx_test::CopyTree(fs::path(samples) / "hoover-testdata" / "data" / "lists.mbox",
                        root / "V10" / "ACCOUNT" / "lists.mbox");

    kestrin_test::CapturedDiagnostics quiet;
    auto store = OpenStore(root);
    ASSERT_TRUE(store);
    auto logger = boost::make_shared<CollectingLogger>();
    const auto items = ListFolder(FoldersByPath(store->GetRootFolder()).at("/ACCOUNT/lists/"), logger);
    ASSERT_EQ(1u, items.size());
    EXPECT_FALSE(items[0].incomplete);
    EXPECT_TRUE(logger->lines.empty());
    EXPECT_EQ("<message-1498@libbuilder.example>", items[0].id);
    const std::string raw = RawText(items[0].asset);
    EXPECT_EQ(std::string::npos, raw.find("X-Apple-Content-Length"));
    EXPECT_GT(raw.size(), 44126u);
}

// ---------------------------------------------------------------------------
// Never writing into the mail folder

struct FileState {
    uintmax_t size;
    std::string bytes;
};

std::map<std::string, FileState> Snapshot(const fs::path& root)
{
    std::map<std::string, FileState> out;
    for (fs::recursive_directory_iterator it(root), end; it != end; ++it) {
        const std::string relative = it->path().string().substr(root.string().size());
        if (fs::is_regular_file(it->path()))
            out[relative] = {fs::file_size(it->path()), kestrin_test::ReadFile(it->path())};
        else
            out[relative] = {0, "<folder>"};
    }
    return out;
}

TEST(EnvelopeIndexStore, ReadingLeavesTheMailFolderUntouched)
{
    kestrin_test::TempDir dir;
    lb::EnvelopeSampleLibrary library = lb::BuildEnvelopeSampleLibrary(dir.path(), 10);
    const fs::path db = lb::EnvelopeIndexPath(library.root, 10);

    // Put the database in WAL mode with a mailbox that so far exists only
    // in its "-wal" file, as a running Apple Mail leaves it: the files are
    // copied aside while the writer still holds them.
    const fs::path staging = dir / "staging";
    fs::create_directories(staging);
    fs::copy_file(db, staging / "Envelope Index");
    sqlite3* writer = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open((staging / "Envelope Index").string().c_str(), &writer));
    SqliteHandle writerHandle(writer);
    ASSERT_EQ(SQLITE_OK, sqlite3_exec(writer, "PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0;"
                                              "INSERT INTO mailboxes (ROWID, url) VALUES (40, 'imap://"
                                              "7A1B2C3D-0000-4000-8000-00000000A001/Fresh')",
                                      nullptr, nullptr, nullptr));
    fs::create_directories(library.root / "V10" / lb::kSampleImapAccount / "Fresh.mbox");
    fs::copy_file(staging / "Envelope Index", db, fs::copy_option::overwrite_if_exists);
    fs::copy_file(staging / "Envelope Index-wal", library.root / "V10" / "MailData" / "Envelope Index-wal");
    writerHandle.reset();

    const auto before = Snapshot(dir.path() / "Mail");
    const auto accountsBefore = Snapshot(dir.path() / "Accounts");
    std::string copyFolder;
    {
        kestrin_test::CapturedDiagnostics quiet;
        auto store = OpenStore(library.root);
        ASSERT_TRUE(store);
        copyFolder = store->GetPrivateCopyFolder();
        EXPECT_FALSE(copyFolder.empty());
        EXPECT_EQ(std::string::npos, copyFolder.find(dir.str()));
        const auto folders = FoldersByPath(store->GetRootFolder());
        EXPECT_EQ(1u, folders.count("/john@example.com/Fresh/"));
        for (const auto& entry : folders)
            ListFolder(entry.second);
        store->Close();
        EXPECT_EQ(Status::Succeeded, store->Open({}, {}, {}, false));
    }
    EXPECT_FALSE(fs::exists(copyFolder));
    const auto after = Snapshot(dir.path() / "Mail");
    ASSERT_EQ(before.size(), after.size());
    for (const auto& entry : before) {
        auto it = after.find(entry.first);
        ASSERT_NE(after.end(), it) << entry.first;
        EXPECT_EQ(entry.second.size, it->second.size) << entry.first;
        EXPECT_TRUE(entry.second.bytes == it->second.bytes) << entry.first;
    }
    EXPECT_EQ(accountsBefore.size(), Snapshot(dir.path() / "Accounts").size());
}

// ---------------------------------------------------------------------------
// Path helpers

TEST(MailFolderPaths, PercentDecoding)
{
    const std::pair<const char*, const char*> cases[] = {
        {"%5BGmail%5D/All%20Mail", "[Gmail]/All Mail"},
        {"%C3%9Cberweisungen", "\xC3\x9C" "berweisungen"},
        {"%41%4a", "AJ"},
        {"100%", "100%"},
        {"%zz%4", "%zz%4"},
        {"plain", "plain"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.second, PercentDecode(c.first)) << c.first;
}

TEST(MailFolderPaths, SafeMailboxPathsSplit)
{
    const std::pair<const char*, std::vector<std::string>> cases[] = {
        {"ACCOUNT/INBOX", {"ACCOUNT", "INBOX"}},
        {"ACCOUNT/./[Gmail]/All Mail/", {"ACCOUNT", "[Gmail]", "All Mail"}},
        {"Mailboxes/..hidden", {"Mailboxes", "..hidden"}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> parts;
        EXPECT_TRUE(SplitMailboxPath(c.first, parts)) << c.first;
        EXPECT_EQ(c.second, parts) << c.first;
    }
}

TEST(MailFolderPaths, UnsafeMailboxPathsAreRefused)
{
    const std::string cases[] = {"ACCOUNT/../../etc", "..", "/etc/passwd", "ACCOUNT//INBOX",
                                 std::string("ACCOUNT/IN\0BOX", 14), "", "."};
    for (const auto& c : cases) {
        std::vector<std::string> parts;
        EXPECT_FALSE(SplitMailboxPath(c, parts)) << c;
    }
}

TEST(MailFolderPaths, NamesMatchAcrossUnicodeNormalization)
{
    kestrin_test::TempDir dir;
    fs::create_directories(dir / (std::string(lb::kTransfersNFD) + ".mbox"));
    EXPECT_TRUE(SameNormalizedName(lb::kTransfersNFC, lb::kTransfersNFD));
    EXPECT_FALSE(SameNormalizedName(lb::kTransfersNFC, "Uberweisungen"));
    EXPECT_EQ((dir / (std::string(lb::kTransfersNFD) + ".mbox")).string(),
              ResolveChildPath(dir.str(), std::string(lb::kTransfersNFC) + ".mbox"));
    EXPECT_EQ("", ResolveChildPath(dir.str(), "Uberweisungen.mbox"));
}

}  // namespace

// The same library named through ".", ".." or a trailing "/." comes out
// with the same accounts and folders as through its absolute path.
struct RootSpelling {
    const char* name;
    const char* workingFolder;  // below the library's parent folder
    const char* root;
};

class RootSpellingTest : public ::testing::TestWithParam<RootSpelling> {};

TEST_P(RootSpellingTest, AccountNamesDoNotDependOnHowTheRootIsWritten)
{
    const RootSpelling& c = GetParam();
    kestrin_test::TempDir dir;
    const lb::EnvelopeSampleLibrary library = lb::BuildEnvelopeSampleLibrary(dir.path(), 7);
    kestrin_test::CapturedDiagnostics quiet;

    std::set<std::string> expected;
    {
        auto store = OpenStore(library.root);
        ASSERT_TRUE(store);
        for (const auto& entry : FoldersByPath(store->GetRootFolder()))
            expected.insert(entry.first);
    }
    ASSERT_TRUE(expected.count("/john@example.com/INBOX/"));

    const fs::path previous = fs::current_path();
    fs::current_path(dir / c.workingFolder);
    auto store = AppleMailStoreHelper::CreateStore(c.root, L"", {});
    const Status opened = store ? store->Open({}, {}, {}, false) : Status::Failed;
    std::set<std::string> actual;
    if (opened == Status::Succeeded)
        for (const auto& entry : FoldersByPath(store->GetRootFolder()))
            actual.insert(entry.first);
    fs::current_path(previous);

    ASSERT_EQ(Status::Succeeded, opened);
    EXPECT_EQ(expected, actual);
    EXPECT_EQ(fs::canonical(library.root).string(), store->GetLocation());
}

INSTANTIATE_TEST_SUITE_P(
    Spellings, RootSpellingTest,
    ::testing::Values(RootSpelling{"Dot", "Mail", "."}, RootSpelling{"DotDot", "Mail/V7", ".."},
                      RootSpelling{"TrailingDot", ".", "Mail/."},
                      RootSpelling{"TrailingDotSlash", ".", "Mail/./"},
                      RootSpelling{"DotDotInside", "Mail", "../Mail"},
                      RootSpelling{"Relative", ".", "Mail"}),
    [](const ::testing::TestParamInfo<RootSpelling>& info) { return std::string(info.param.name); });
