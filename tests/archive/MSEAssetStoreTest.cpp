// The archive store: package layout, its folder tree, default folders,
// folder mapping below "Mail" and the mailbox files of the mail folders.
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ArchiveTestHelpers.h"

namespace archive_test {
namespace {

const std::vector<std::string> kNewPackage = {
    "Archive.xml (269)", "Calendar/", "Contacts/", "Contents/", "Contents/Info.plist (424)",
    "Contents/PkgInfo (8)", "Mail/"};

// A source folder of a chosen kind (calendar and contacts folders come from
// stores this system does not read).
class KindFolder : public AssetFolderBase {
public:
    KindFolder(const std::wstring& name, int kind) : AssetFolderBase(name, "", nullptr, nullptr, false)
    {
        SetFolderKind(kind);
    }
};

// Open descriptors of this process that point at path.
int OpenDescriptorsOn(const fs::path& path)
{
    int count = 0;
    const fs::path wanted = fs::canonical(path);
    for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
        boost::system::error_code ec;
        const fs::path target = fs::read_symlink(entry.path(), ec);
        if (!ec && target == wanted) ++count;
    }
    return count;
}

TEST(MSEAssetStore, NewPackageHasDescriptorsAndEmptyFolders)
{
    kestrin_test::TempDir dir;
    const fs::path package = dir / "Apple Mail Export.rge";
    auto store = CreatePackage(package.string());

    EXPECT_EQ(Listing(package), kNewPackage);
    EXPECT_EQ(kestrin_test::ReadFile(package / "Archive.xml"), TemplateFile("Archive.xml"));
    EXPECT_EQ(kestrin_test::ReadFile(package / "Contents/Info.plist"), TemplateFile("Info.plist"));
    EXPECT_EQ(kestrin_test::ReadFile(package / "Contents/PkgInfo"), "rge OPIM");

    EXPECT_EQ(store->GetStoreKind(), StoreKind::Archive);
    EXPECT_EQ(store->GetStoreName(), L"Entourage Archive");
    auto root = store->GetRootFolder();
    ASSERT_TRUE(root);
    EXPECT_EQ(root->GetFolderKind(), kFolderKindRoot);
    EXPECT_EQ(root->GetPath(), L"/");
    ASSERT_TRUE(store->GetMailFolder());
    EXPECT_EQ(store->GetMailFolder()->GetPath(), L"/Mail/");
    EXPECT_EQ(store->GetMailFolder()->GetFolderKind(), kFolderKindMail);
    EXPECT_EQ(store->GetMailFolder()->GetMailboxPath(), (package / "Mail/Mail.mbox").string());
    ASSERT_TRUE(store->GetContactsFolder());
    EXPECT_EQ(store->GetContactsFolder()->GetFolderKind(), kFolderKindGeneric);
    EXPECT_EQ(store->GetContactsFolder()->GetAssetCount(), 0);
    ASSERT_TRUE(store->GetCalendarFolder());
    EXPECT_EQ(store->GetCalendarFolder()->GetFolderKind(), kFolderKindCalendar);
    EXPECT_EQ(root->GetSubFolderCount(), 3u);
}

TEST(MSEAssetStore, DefaultFolderForEachItemType)
{
    kestrin_test::TempDir dir;
    auto store = CreatePackage((dir / "A.rge").string());
    struct Row {
        int assetType;
        boost::shared_ptr<IAssetFolderMutable> expected;
    };
    for (const Row& row : {Row{kAssetTypeEmail, store->GetMailFolder()},
                           Row{kAssetTypeContact, store->GetContactsFolder()},
                           Row{kAssetTypeCalendarEvent, store->GetCalendarFolder()},
                           Row{kAssetTypeTask, store->GetMailFolder()},
                           Row{kAssetTypeNote, store->GetMailFolder()}}) {
        SCOPED_TRACE(row.assetType);
        EXPECT_EQ(store->GetDefaultFolderMutable(row.assetType, true), row.expected);
    }
    EXPECT_TRUE(store->SupportsFolderKind(kFolderKindCalendar));
    EXPECT_TRUE(store->SupportsFolderKind(kFolderKindContacts));
    EXPECT_FALSE(store->SupportsFolderKind(kFolderKindMail));

    // Calendar and contacts folders of a source map onto the package's own.
    EXPECT_EQ(store->MapAssetFolderRelative(boost::make_shared<KindFolder>(L"Cal", kFolderKindCalendar),
                                            true),
              store->GetCalendarFolder());
    EXPECT_EQ(store->MapAssetFolderRelative(
                  boost::make_shared<KindFolder>(L"People", kFolderKindContacts), true),
              store->GetContactsFolder());
    EXPECT_EQ(Listing(dir / "A.rge"), kNewPackage);
}

TEST(MSEAssetStore, MissingDefaultFoldersAndDescriptorsAreMadeOnDemand)
{
    kestrin_test::TempDir dir;
    const fs::path package = dir / "Old.rge";
    fs::create_directories(package / "Mail");
    kestrin_test::WriteFile(package / "Archive.xml", "kept");
    auto store = boost::make_shared<MSEAssetStore>(package.string(), L"Old");
    ASSERT_EQ(store->Open({}, {}, {}, false), Status::Succeeded);
    EXPECT_FALSE(store->GetContactsFolder());
    EXPECT_FALSE(store->GetDefaultFolderMutable(kAssetTypeCalendarEvent, false));
    EXPECT_EQ(Listing(package), (std::vector<std::string>{"Archive.xml (4)", "Mail/"}));

    auto contacts = store->GetDefaultFolderMutable(kAssetTypeContact, true);
    ASSERT_TRUE(contacts);
    EXPECT_EQ(contacts, store->GetContactsFolder());
    EXPECT_EQ(contacts->GetParent(), store->GetRootFolder());
    EXPECT_EQ(contacts->GetPath(), L"/Contacts/");
    EXPECT_EQ(Listing(package), (std::vector<std::string>{"Archive.xml (4)", "Contacts/", "Contents/",
                                                          "Contents/Info.plist (424)",
                                                          "Contents/PkgInfo (8)", "Mail/"}));
}

TEST(MSEAssetStore, ReopenedPackageShowsWhatIsOnDisk)
{
    kestrin_test::TempDir dir;
    const fs::path package = dir / "Back.rge";
    fs::create_directories(package / "Mail/Inbox/Work");
    fs::create_directories(package / "Mail/.hidden");
    kestrin_test::WriteFile(package / "Mail/Inbox/Inbox.mbox", MessageText("x", "y"));
    fs::create_directories(package / "Contacts");
    kestrin_test::WriteFile(package / "Contacts/a.vcf", "BEGIN:VCARD");
    kestrin_test::WriteFile(package / "Contacts/b", "");
    kestrin_test::WriteFile(package / "Contacts/.DS_Store", "");
    const std::vector<std::string> before = Listing(package);

    auto store = boost::make_shared<MSEAssetStore>(package.string(), L"Back");
    ASSERT_EQ(store->Open({}, {}, {}, false), Status::Succeeded);
    EXPECT_EQ(Listing(package), before);  // opening without create writes nothing

    auto mail = store->GetMailFolder();
    ASSERT_TRUE(mail);
    ASSERT_EQ(mail->GetSubFolderCount(), 1u);
    auto inbox = boost::dynamic_pointer_cast<MSEMailAssetFolder>(mail->FindSubFolder(L"Inbox"));
    ASSERT_TRUE(inbox);
    EXPECT_EQ(inbox->GetPath(), L"/Mail/Inbox/");
    EXPECT_EQ(inbox->GetAssetCount(), static_cast<int64_t>(MessageText("x", "y").size()));
    EXPECT_EQ(inbox->GetFolderKind(), kFolderKindMail);
    EXPECT_TRUE(inbox->FindSubFolder(L"Work"));
    EXPECT_EQ(store->GetContactsFolder()->GetAssetCount(), 2);
    EXPECT_EQ(store->GetContactsFolder()->GetFolderKind(), kFolderKindContacts);
    EXPECT_FALSE(store->GetCalendarFolder());

    // The existing mailbox reads back through the folder.
    auto iterator = inbox->GetAssetIterator(kQueryKindNew, {}, {}, {});
    ASSERT_TRUE(iterator);
    iterator->Begin();
    ASSERT_TRUE(iterator->HasCurrent());
    EXPECT_EQ(iterator->GetCurrent()->GetAsset()->GetTitle(NameStyle::Ascii), L"x");
}

class MSEAssetStoreWriting : public ::testing::Test {
protected:
    void SetUp() override
    {
        package = dir / "P.rge";
        store = CreatePackage(package.string());
        source = MboxSource(dir / "source", L"Source",
                           {{"Inbox", {}}, {"Inbox/Work", {"w1"}}, {"Sent", {}}});
    }

    AddAssetResult AddTo(const boost::shared_ptr<IAssetFolderMutable>& folder,
                         const std::string& subject)
    {
        folder->BeginAddAssets({}, {}, {});
        AddAssetResult result = folder->AddAsset(Message(subject), {}, {}, {}, "");
        folder->EndAddAssets({}, {}, {});
        return result;
    }

    kestrin_test::TempDir dir;
    fs::path package;
    boost::shared_ptr<MSEAssetStore> store;
    boost::shared_ptr<MBOXAssetStore> source;
};

TEST_F(MSEAssetStoreWriting, ParentThatReceivedNoMessageHasAnEmptyMailbox)
{
    auto work = store->MapAssetFolderRelative(SourceFolder(source, {L"Inbox", L"Work"}), true);
    ASSERT_TRUE(work);
    EXPECT_EQ(work->GetPath(), L"/Mail/Inbox/Work/");
    EXPECT_EQ(work->GetParent()->GetParent(), store->GetMailFolder());
    EXPECT_EQ(AddTo(work, "w1").code, AddAssetCode::Written);
    // Mapping again finds the same folder.
    EXPECT_EQ(store->MapAssetFolderRelative(SourceFolder(source, {L"Inbox", L"Work"}), true), work);

    std::vector<std::string> expected = kNewPackage;
    expected.insert(expected.end(), {"Mail/Inbox/", "Mail/Inbox/Inbox.mbox (0)", "Mail/Inbox/Work/"});
    const std::vector<std::string> listing = Listing(package);
    ASSERT_EQ(listing.size(), expected.size() + 1);
    EXPECT_EQ(std::vector<std::string>(listing.begin(), listing.end() - 1), expected);
    EXPECT_EQ(listing.back().rfind("Mail/Inbox/Work/Work.mbox (", 0), 0u) << listing.back();
}

TEST_F(MSEAssetStoreWriting, MailFolderGetsMailboxOnlyWhenAMessageIsMappedToIt)
{
    // A source root maps onto "Mail" itself.
    auto mail = store->MapAssetFolderRelative(source->GetRootFolder(), true);
    EXPECT_EQ(mail, store->GetMailFolder());
    mail->BeginAddAssets({}, {}, {});
    mail->EndAddAssets({}, {}, {});
    EXPECT_EQ(Listing(package), kNewPackage);

    EXPECT_EQ(AddTo(mail, "top").code, AddAssetCode::Written);
    EXPECT_TRUE(fs::file_size(package / "Mail/Mail.mbox") > 0);
}

TEST_F(MSEAssetStoreWriting, MailboxIsClosedBetweenRunsAndAppendedTo)
{
    auto sent = store->MapAssetFolderRelative(SourceFolder(source, {L"Sent"}), true);
    ASSERT_TRUE(sent);
    const fs::path mailbox = package / "Mail/Sent/Sent.mbox";
    // The mailbox just created stays open for its first pass.
    EXPECT_EQ(OpenDescriptorsOn(mailbox), 1);

    sent->BeginAddAssets({}, {}, {});
    EXPECT_EQ(sent->AddAsset(Message("one"), {}, {}, {}, "").code, AddAssetCode::Written);
    EXPECT_EQ(OpenDescriptorsOn(mailbox), 1);
    sent->EndAddAssets({}, {}, {});
    EXPECT_EQ(OpenDescriptorsOn(mailbox), 0);
    EXPECT_EQ(AddTo(sent, "two").code, AddAssetCode::Written);

    const std::string text = kestrin_test::ReadFile(mailbox);
    EXPECT_EQ(text.rfind("From - ", 0), 0u);
    EXPECT_LT(text.find("Subject: one"), text.find("Subject: two"));
    EXPECT_NE(text.find("Subject: two"), std::string::npos);
}

TEST_F(MSEAssetStoreWriting, FailedMailboxWriteIsReportedAsStreamFailure)
{
    auto sent = store->MapAssetFolderRelative(SourceFolder(source, {L"Sent"}), true);
    ASSERT_TRUE(sent);
    const fs::path mailbox = package / "Mail/Sent/Sent.mbox";
    // Swapped after it was made: the descriptor kept from its creation no
    // longer leads to it, so the path is opened again.
    fs::remove(mailbox);
    fs::create_symlink("/dev/full", mailbox);

    kestrin_test::CapturedDiagnostics diagnostics;
    EXPECT_EQ(AddTo(sent, "lost").code, AddAssetCode::StreamFailed);
}

TEST_F(MSEAssetStoreWriting, CloseLetsGoOfTheTree)
{
    auto work = store->MapAssetFolderRelative(SourceFolder(source, {L"Inbox", L"Work"}), true);
    work->BeginAddAssets({}, {}, {});
    work->AddAsset(Message("held"), {}, {}, {}, "");
    const fs::path mailbox = package / "Mail/Inbox/Work/Work.mbox";
    EXPECT_EQ(OpenDescriptorsOn(mailbox), 1);
    work.reset();

    EXPECT_EQ(store->Close(), Status::Succeeded);
    EXPECT_FALSE(store->IsOpen());
    EXPECT_FALSE(store->GetRootFolder());
    EXPECT_FALSE(store->GetMailFolder());
    EXPECT_EQ(OpenDescriptorsOn(mailbox), 0);
}

}  // namespace
}  // namespace archive_test
