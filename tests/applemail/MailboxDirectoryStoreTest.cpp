// The mailbox-directory stores: which folders a tree of mailbox bundles
// becomes, what each folder counts, and that its iterator yields exactly what
// it counted.
#include <gtest/gtest.h>

#include <algorithm>

#include "EmlxTestSupport.h"
#include "applemail/AppleMailDBStoreV1.h"
#include "applemail/AppleMailDBStoreV2.h"
#include "libbuilder/Mailboxes.h"
#include "mime/KSCharsets.h"
#include "support/TestSupport.h"

namespace fs = boost::filesystem;
using namespace KestrinMIMEEngineCommon;
using namespace kestrin_libbuilder;

namespace {

MailboxMessage Message(uint64_t id, const std::string& subject)
{
    return TextMailboxMessage(id, subject, "text of " + subject + "\n");
}

MailboxMessage PartialMessage(uint64_t id, const std::string& subject)
{
    return AttachmentMailboxMessage(
        id, subject, AttachmentPart("a.pdf", "application/pdf", "PDF of " + subject, PartStorage::Attachments));
}

// Every folder below the root as "path count".
void Describe(const boost::shared_ptr<IAssetFolder>& folder, std::vector<std::string>& out)
{
    for (const auto& child : folder->GetSubFolders()) {
        out.push_back(WideToUTF8(child->GetPath()) + " " + std::to_string(child->GetAssetCount()));
        Describe(child, out);
    }
}

std::vector<std::string> Describe(IAssetStore& store)
{
    std::vector<std::string> out;
    if (auto root = store.GetRootFolder()) Describe(root, out);
    return out;
}

boost::shared_ptr<IAssetFolder> Find(IAssetStore& store, const std::wstring& path)
{
    std::vector<boost::shared_ptr<IAssetFolder>> pending = {store.GetRootFolder()};
    while (!pending.empty()) {
        auto folder = pending.back();
        pending.pop_back();
        if (!folder) continue;
        if (folder->GetPath() == path) return folder;
        for (const auto& child : folder->GetSubFolders()) pending.push_back(child);
    }
    return {};
}

// The subjects the folder's iterator yields, sorted.
std::vector<std::string> Listed(const boost::shared_ptr<IAssetFolder>& folder, bool inListingOrder = false)
{
    std::vector<std::string> subjects;
    auto iterator = folder->GetAssetIterator(kQueryKindNew, {}, {}, {});
    if (!iterator) return subjects;
    iterator->Begin();
    for (; iterator->HasCurrent(); iterator->Increment()) {
        auto result = iterator->GetCurrent();
        EXPECT_EQ(result->GetStatus(), kQueryStatusReadable);
        EXPECT_EQ(result->GetUnits(), 1u);
        if (auto asset = result->GetAsset()) subjects.push_back(WideToUTF8(asset->GetTitle(NameStyle::Ascii)));
    }
    if (!inListingOrder) std::sort(subjects.begin(), subjects.end());
    return subjects;
}

// The newer layout with everything the walk and the counting must get right.
fs::path BuildV2Tree(const fs::path& root)
{
    const std::string inboxUuid = MakeStoreUuid(1);
    const fs::path inbox = WriteV2Mailbox(
        root, "Inbox", inboxUuid,
        {Message(5, "five"), PartialMessage(1498, "fourteen ninety-eight"), Message(123456, "big")});
    const fs::path data = inbox / inboxUuid / "Data";
    // Neither AppleDouble companions, hidden files nor anything below
    // "Attachments" are messages.
    kestrin_test::WriteFile(data / "Messages" / "._5.emlx", "resource fork");
    kestrin_test::WriteFile(data / "Messages" / ".hidden.emlx", "hidden");
    kestrin_test::WriteFile(data / "1" / "Attachments" / "1498" / "stray.emlx", "not a message");
    kestrin_test::WriteFile(data / "Messages" / "notes.txt", "not a message");
    WriteV2Mailbox(inbox, "Sub", MakeStoreUuid(2), {Message(7, "nested")});
    WriteV2Mailbox(root / "Account", "Work", MakeStoreUuid(3),
                   {Message(1, "work one"), Message(2000, "work two")});
    fs::create_directories(root / "Empty" / "Deeper");
    WriteV2Mailbox(root, ".Hidden", MakeStoreUuid(4), {Message(1, "hidden box")});
    WriteV2Mailbox(root, "._Companion", MakeStoreUuid(5), {Message(1, "companion box")});
    return inbox;
}

// The older layout, with the three bundle extensions and an exported mailbox.
void BuildV1Tree(const fs::path& root)
{
    const fs::path sent =
        WriteV1Mailbox(root, "Sent", {Message(1, "sent one"), PartialMessage(2, "sent two")}, ".imapmbox");
    kestrin_test::WriteFile(sent / "Messages" / "._1.emlx", "resource fork");
    kestrin_test::WriteFile(sent / "Messages" / ".hidden.emlx", "hidden");
    kestrin_test::WriteFile(sent / "Attachments" / "2" / "stray.emlx", "not a message");
    WriteV1Mailbox(sent, "Old", {Message(3, "old")});
    WriteV1Mailbox(root / "IMAP-user@host", "INBOX", {Message(4, "imap")}, ".imapmbox");
    WriteV1Mailbox(root / "IMAP-user@host", "Feeds", {Message(5, "feed")}, ".rssmbox");
    // A folder holding an exported mailbox file belongs to another reader,
    // bundles inside it included.
    kestrin_test::WriteFile(root / "Exported" / "mbox", "From x\n\nbody\n");
    WriteV1Mailbox(root / "Exported", "Inside", {Message(6, "inside export")});
    fs::create_directories(root / "Nothing" / "Here");
}

class CancelAlways : public ICancelable {
public:
    bool IsCanceled() override { return true; }
    void Cancel() override {}
};

}  // namespace

TEST(MailboxDirectoryStoreTest, V2TreeListsEveryMessageOnce)
{
    kestrin_test::TempDir dir;
    BuildV2Tree(dir / "Mail");
    auto store = boost::make_shared<AppleMailDBStoreV2>((dir / "Mail").string(), L"");
    ASSERT_EQ(store->Open({}, {}, {}, false), Status::Succeeded);
    EXPECT_TRUE(store->IsOpen());

    const std::vector<std::string> expected = {
        "/Account/ -1", "/Account/Work/ 2", "/Inbox/ 3", "/Inbox/Sub/ 1",
    };
    EXPECT_EQ(Describe(*store), expected);

    const std::vector<std::string> inbox = {"big", "five", "fourteen ninety-eight"};
    EXPECT_EQ(Listed(Find(*store, L"/Inbox/")), inbox);
    EXPECT_EQ(Listed(Find(*store, L"/Inbox/Sub/")), std::vector<std::string>{"nested"});
    const std::vector<std::string> work = {"work one", "work two"};
    EXPECT_EQ(Listed(Find(*store, L"/Account/Work/")), work);
    EXPECT_EQ(Find(*store, L"/Inbox/")->GetFolderKind(), kFolderKindMail);
    EXPECT_EQ(Find(*store, L"/Account/")->GetFolderKind(), kFolderKindGeneric);
}

// Bundles of both layouts, exported mailboxes and mailbox files in one tree:
// every bundle is read by its own layout whichever store the tree was given
// to, and a mailbox only the store's own layout could hold is still listed.
TEST(MailboxDirectoryStoreTest, EveryBundleIsReadByItsOwnLayoutWhateverTheStore)
{
    kestrin_test::TempDir dir;
    const fs::path root = dir / "Mail";
    const fs::path older = WriteV1Mailbox(root, "Older", {Message(1, "older one"), Message(2, "older two")});
    WriteV2Mailbox(older, "NewerInside", MakeStoreUuid(1), {Message(3, "newer inside")});
    const fs::path newer = WriteV2Mailbox(root, "Newer", MakeStoreUuid(2), {Message(1000, "newer one")});
    WriteV1Mailbox(newer, "OlderInside", {Message(4, "older inside")}, ".imapmbox");
    fs::create_directories(root / "Container.mbox");
    WriteV1Mailbox(root / "Container.mbox", "Kid", {Message(5, "kid")});
    const std::string entry = "From a@example.com Wed Oct 31 17:21:13 2012\nSubject: exported\n\nbody\n\n";
    kestrin_test::WriteFile(root / "Exported.mbox" / "mbox", entry);
    kestrin_test::WriteFile(root / "Exported.mbox" / "Child.mbox" / "mbox", entry);
    kestrin_test::WriteFile(root / "Exported" / "Beside.mbox" / "mbox", entry);
    kestrin_test::WriteFile(root / "Loose.mbox", entry);
    kestrin_test::WriteFile(root / "Loose" / "Under.mbox", entry);
    kestrin_test::WriteFile(root / "._Loose.mbox", "AppleDouble");

    const std::string bytes = std::to_string(entry.size());
    const std::vector<std::string> expected = {
        "/Container/ 0",
        "/Container/Kid/ 1",
        "/Exported/ " + bytes,
        "/Exported/Beside/ " + bytes,
        "/Exported/Child/ " + bytes,
        "/Loose/ " + bytes,
        "/Loose/Under/ " + bytes,
        "/Newer/ 1",
        "/Newer/OlderInside/ 1",
        "/Older/ 2",
        "/Older/NewerInside/ 1",
    };
    for (bool olderStore : {true, false}) {
        SCOPED_TRACE(olderStore ? "older store" : "newer store");
        boost::shared_ptr<AssetStoreBase> store;
        if (olderStore) store = boost::make_shared<AppleMailDBStoreV1>(root.string(), L"");
        else store = boost::make_shared<AppleMailDBStoreV2>(root.string(), L"");
        ASSERT_EQ(store->Open({}, {}, {}, false), Status::Succeeded);
        EXPECT_EQ(Describe(*store), expected);
        EXPECT_EQ(Listed(Find(*store, L"/Older/")), (std::vector<std::string>{"older one", "older two"}));
        EXPECT_EQ(Listed(Find(*store, L"/Older/NewerInside/")), std::vector<std::string>{"newer inside"});
        EXPECT_EQ(Listed(Find(*store, L"/Newer/")), std::vector<std::string>{"newer one"});
        EXPECT_EQ(Listed(Find(*store, L"/Newer/OlderInside/")), std::vector<std::string>{"older inside"});
        EXPECT_EQ(Listed(Find(*store, L"/Container/Kid/")), std::vector<std::string>{"kid"});
    }
}

// Two bundles of one name but different extensions: neither hides the other.
TEST(MailboxDirectoryStoreTest, BundlesOfOneNameAreBothListed)
{
    kestrin_test::TempDir dir;
    WriteV1Mailbox(dir / "Mail", "Inbox", {Message(1, "local")});
    WriteV1Mailbox(dir / "Mail", "Inbox", {Message(1, "server one"), Message(2, "server two")}, ".imapmbox");
    auto store = boost::make_shared<AppleMailDBStoreV1>((dir / "Mail").string(), L"");
    ASSERT_EQ(store->Open({}, {}, {}, false), Status::Succeeded);
    std::vector<std::string> listed;
    for (const auto& folder : store->GetRootFolder()->GetSubFolders())
        for (const std::string& subject : Listed(folder)) listed.push_back(subject);
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, (std::vector<std::string>{"local", "server one", "server two"}));
    std::vector<std::string> names = Describe(*store);
    std::sort(names.begin(), names.end());
    EXPECT_TRUE(names == (std::vector<std::string>{"/Inbox (1)/ 1", "/Inbox/ 2"}) ||
                names == (std::vector<std::string>{"/Inbox (1)/ 2", "/Inbox/ 1"}))
        << ::testing::PrintToString(names);
}

TEST(MailboxDirectoryStoreTest, MessagesComeInNumericOrderOfTheirFileNames)
{
    kestrin_test::TempDir dir;
    WriteV1Mailbox(dir / "Mail", "Inbox",
                   {Message(1000, "1000"), Message(2, "2"), Message(999, "999"), Message(1, "1"),
                    Message(10, "10")});
    WriteV2Mailbox(dir / "Mail2", "Inbox", MakeStoreUuid(1),
                   {Message(1000, "1000"), Message(2, "2"), Message(999, "999"), Message(1, "1"),
                    Message(10, "10")});
    const std::vector<std::string> numeric = {"1", "2", "10", "999", "1000"};
    auto v1 = boost::make_shared<AppleMailDBStoreV1>((dir / "Mail").string(), L"");
    ASSERT_EQ(v1->Open({}, {}, {}, false), Status::Succeeded);
    EXPECT_EQ(Listed(Find(*v1, L"/Inbox/"), true), numeric);
    // In the newer layout ids from 1000 on live one folder deeper.
    auto v2 = boost::make_shared<AppleMailDBStoreV2>((dir / "Mail2").string(), L"");
    ASSERT_EQ(v2->Open({}, {}, {}, false), Status::Succeeded);
    EXPECT_EQ(Listed(Find(*v2, L"/Inbox/"), true), numeric);
}

TEST(MailboxDirectoryStoreTest, V1TreeListsEveryMessageOnce)
{
    kestrin_test::TempDir dir;
    BuildV1Tree(dir / "Mail");
    auto store = boost::make_shared<AppleMailDBStoreV1>((dir / "Mail").string(), L"");
    ASSERT_EQ(store->Open({}, {}, {}, false), Status::Succeeded);

    // The exported mailbox (an mbox folder, counted in bytes) and the bundle
    // inside its folder are mail too.
    const std::vector<std::string> expected = {
        "/Exported/ 13", "/Exported/Inside/ 1", "/IMAP-user@host/ -1", "/IMAP-user@host/Feeds/ 1",
        "/IMAP-user@host/INBOX/ 1", "/Sent/ 2", "/Sent/Old/ 1",
    };
    EXPECT_EQ(Describe(*store), expected);
    const std::vector<std::string> sent = {"sent one", "sent two"};
    EXPECT_EQ(Listed(Find(*store, L"/Sent/")), sent);
    EXPECT_EQ(Listed(Find(*store, L"/Sent/Old/")), std::vector<std::string>{"old"});
    EXPECT_EQ(Listed(Find(*store, L"/IMAP-user@host/Feeds/")), std::vector<std::string>{"feed"});
}

TEST(MailboxDirectoryStoreTest, ChosenBundleIsItsOwnFolder)
{
    kestrin_test::TempDir dir;
    const fs::path inbox = BuildV2Tree(dir / "Mail");
    BuildV1Tree(dir / "Old");
    auto v2 = boost::make_shared<AppleMailDBStoreV2>(inbox.string(), L"");
    ASSERT_EQ(v2->Open({}, {}, {}, false), Status::Succeeded);
    EXPECT_EQ(Describe(*v2), (std::vector<std::string>{"/Inbox/ 3", "/Inbox/Sub/ 1"}));

    auto v1 = boost::make_shared<AppleMailDBStoreV1>((dir / "Old" / "Sent.imapmbox").string(), L"");
    ASSERT_EQ(v1->Open({}, {}, {}, false), Status::Succeeded);
    EXPECT_EQ(Describe(*v1), (std::vector<std::string>{"/Sent/ 2", "/Sent/Old/ 1"}));
}

TEST(MailboxDirectoryStoreTest, StoresIdentifyThemselves)
{
    kestrin_test::TempDir dir;
    auto v1 = boost::make_shared<AppleMailDBStoreV1>(dir.str(), L"");
    auto v2 = boost::make_shared<AppleMailDBStoreV2>(dir.str(), L"Named");
    EXPECT_EQ(v1->GetStoreKind(), StoreKind::AppleMailV1);
    EXPECT_EQ(v2->GetStoreKind(), StoreKind::AppleMailV2);
    EXPECT_EQ(v1->GetStoreName(), L"Apple Mail Database");
    EXPECT_EQ(v2->GetStoreName(), L"Named");
    EXPECT_TRUE(v1->SupportsFolderKind(kFolderKindMail));
    EXPECT_FALSE(v2->SupportsFolderKind(kFolderKindContacts));

    ASSERT_EQ(v1->Open({}, {}, {}, false), Status::Succeeded);
    auto root = v1->GetRootFolder();
    ASSERT_TRUE(root);
    EXPECT_EQ(root->GetName(), UTF8ToWide(dir.str()));
    EXPECT_EQ(root->GetPath(), L"/");
    EXPECT_EQ(root->GetFolderKind(), kFolderKindRoot);
}

TEST(MailboxDirectoryStoreTest, OpeningEdgeCases)
{
    kestrin_test::TempDir dir;
    BuildV2Tree(dir / "Mail");
    for (bool older : {true, false}) {
        SCOPED_TRACE(older ? "V1" : "V2");
        auto make = [&](const fs::path& root) -> boost::shared_ptr<AssetStoreBase> {
            if (older) return boost::make_shared<AppleMailDBStoreV1>(root.string(), L"");
            return boost::make_shared<AppleMailDBStoreV2>(root.string(), L"");
        };
        // A missing root opens with an empty tree.
        auto missing = make(dir / "nowhere");
        kestrin_test::CapturedDiagnostics diagnostics;
        EXPECT_EQ(missing->Open({}, {}, {}, false), Status::Succeeded);
        EXPECT_NE(diagnostics.text().find("ERROR: Cannot list mailbox folder"), std::string::npos);
        ASSERT_TRUE(missing->GetRootFolder());
        EXPECT_EQ(missing->GetRootFolder()->GetSubFolderCount(), 0u);
        EXPECT_FALSE(fs::exists(dir / "nowhere")) << "the mail folder is never created";

        // Canceled while loading: closed, without a tree.
        auto canceled = make(dir / "Mail");
        EXPECT_EQ(canceled->Open({}, boost::make_shared<CancelAlways>(), {}, true), Status::Canceled);
        EXPECT_FALSE(canceled->IsOpen());
        EXPECT_FALSE(canceled->GetRootFolder());
    }
}

TEST(MailboxDirectoryStoreTest, IteratorEdgeCases)
{
    kestrin_test::TempDir dir;
    const fs::path box = WriteV1Mailbox(dir / "Mail", "Box", {Message(1, "one"), Message(2, "two")});
    auto store = boost::make_shared<AppleMailDBStoreV1>((dir / "Mail").string(), L"");
    ASSERT_EQ(store->Open({}, {}, {}, false), Status::Succeeded);
    auto folder = Find(*store, L"/Box/");
    ASSERT_TRUE(folder);
    EXPECT_FALSE(folder->GetAssetIterator(kQueryKindDeleted, {}, {}, {}));

    auto iterator = folder->GetAssetIterator(kQueryKindNew, {}, {}, {});
    int64_t units = -5;
    iterator->Begin();
    EXPECT_EQ(iterator->GetUnitCount(&units), 0);
    EXPECT_EQ(units, 2);
    ASSERT_TRUE(iterator->HasCurrent());
    iterator->Begin();  // a second Begin does not restart or skip
    ASSERT_TRUE(iterator->HasCurrent());

    // Both files go away after listing: each is reported unreadable, not
    // handed on as an empty message.
    fs::remove(box / "Messages" / "1.emlx");
    fs::remove(box / "Messages" / "2.emlx");
    int yielded = 0;
    for (; iterator->HasCurrent(); iterator->Increment()) {
        ++yielded;
        auto result = iterator->GetCurrent();
        EXPECT_EQ(result->GetStatus(), kQueryStatusUnreadable);
        EXPECT_FALSE(result->GetAsset());
        EXPECT_EQ(result->GetUnits(), 0u);
    }
    EXPECT_LE(yielded, 2);
    EXPECT_EQ(iterator->GetCurrent()->GetStatus(), kQueryStatusUnreadable);
}
