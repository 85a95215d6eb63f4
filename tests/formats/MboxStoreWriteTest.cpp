// Writing mbox trees: where each folder's mailbox file goes, appending to
// existing mailboxes, and what a failing mailbox file answers.
#include <gtest/gtest.h>

#include "FormatsTestHelpers.h"

namespace formats_test {
namespace {

AddAssetResult Add(const boost::shared_ptr<IAssetFolderMutable>& folder,
                   const boost::shared_ptr<IAsset>& asset,
                   const boost::shared_ptr<ILogger>& logger = {})
{
    return folder->AddAsset(asset, {}, logger, {}, "id");
}

struct LayoutCase {
    const char* name;
    StoreKind storeKind;
    const char* sentMailbox;
    const char* draftsMailbox;
};

class MboxLayout : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(MboxLayout, SubFoldersGetTheirMailboxFilesAtOnce)
{
    kestrin_test::TempDir dir;
    const fs::path location = dir.path() / "Mails";
    auto store = OpenMboxStore(location.string(), GetParam().storeKind, true);
    auto root = RootOf<MBOXAssetFolder>(store);
    ASSERT_TRUE(root);
    EXPECT_EQ(root->GetMailboxPath(), (location / "Mails.mbox").string());

    auto sent = boost::dynamic_pointer_cast<MBOXAssetFolder>(root->CreateSubFolder(L"Sent", 4, ""));
    ASSERT_TRUE(sent);
    auto drafts = boost::dynamic_pointer_cast<MBOXAssetFolder>(sent->CreateSubFolder(L"Drafts", 4, ""));
    ASSERT_TRUE(drafts);
    EXPECT_EQ(sent->GetMailboxPath(), (location / GetParam().sentMailbox).string());
    EXPECT_EQ(drafts->GetMailboxPath(), (location / GetParam().draftsMailbox).string());
    EXPECT_EQ(drafts->GetPath(), L"/Sent/Drafts/");
    EXPECT_TRUE(fs::is_regular_file(sent->GetMailboxPath()));
    EXPECT_EQ(fs::file_size(sent->GetMailboxPath()), 0u);

    EXPECT_EQ(Add(drafts, EmlAsset(MessageText("Draft", {"text"}))).code, AddAssetCode::Written);
    drafts->EndAddAssets({}, {}, {});
    EXPECT_EQ(ReadMailbox(drafts).size(), 1u);
    EXPECT_EQ(fs::file_size(sent->GetMailboxPath()), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    StoreKinds, MboxLayout,
    ::testing::Values(LayoutCase{"PlainFiles", StoreKind::Mbox, "Sent.mbox", "Sent/Drafts.mbox"},
                      LayoutCase{"MailboxArchive", StoreKind::MboxArchive, "Sent.mbox/mbox",
                                 "Sent/Drafts.mbox/mbox"}),
    [](const ::testing::TestParamInfo<LayoutCase>& info) { return info.param.name; });

// The mailbox file made last is kept open for its folder's first writing;
// a tree of many folders made before any is written still holds only that
// one, and what each folder gets lands in its own file.
TEST_P(MboxLayout, ManyNewFoldersHoldOneOpenMailboxBetweenThem)
{
    kestrin_test::TempDir dir;
    const fs::path location = dir.path() / "Mails";
    auto store = OpenMboxStore(location.string(), GetParam().storeKind, true);
    auto root = RootOf<MBOXAssetFolder>(store);
    ASSERT_TRUE(root);
    const int before = kestrin_test::OpenDescriptorCount();
    std::vector<boost::shared_ptr<MBOXAssetFolder>> folders;
    for (int i = 0; i < 40; ++i)
        folders.push_back(boost::dynamic_pointer_cast<MBOXAssetFolder>(
            root->CreateSubFolder(L"Box " + std::to_wstring(i), 4, "")));
    EXPECT_LE(kestrin_test::OpenDescriptorCount(), before + 1);

    for (int i = 39; i >= 0; i -= 13) {
        EXPECT_EQ(Add(folders[i], EmlAsset(MessageText("To box " + std::to_string(i), {"x"}))).code,
                  AddAssetCode::Written);
        folders[i]->EndAddAssets({}, {}, {});
    }
    EXPECT_LE(kestrin_test::OpenDescriptorCount(), before);
    for (int i = 0; i < 40; ++i) {
        const auto messages = ReadMailbox(folders[i]);
        ASSERT_EQ(messages.size(), (39 - i) % 13 == 0 ? 1u : 0u) << i;
        if (!messages.empty()) {
            EXPECT_NE(messages[0].find("To box " + std::to_string(i)), std::string::npos);
        }
    }
}

// The root's own mailbox is Mails/Mails.mbox: a sub-folder named like the
// store's directory must neither write into that file nor be blocked by it.
TEST_P(MboxLayout, SubFolderNamedLikeTheRootKeepsItsOwnMailbox)
{
    kestrin_test::TempDir dir;
    const fs::path location = dir.path() / "Mails";
    auto store = OpenMboxStore(location.string(), GetParam().storeKind, true);
    auto root = RootOf<MBOXAssetFolder>(store);
    ASSERT_TRUE(root);

    auto namesake = boost::dynamic_pointer_cast<MBOXAssetFolder>(root->CreateSubFolder(L"Mails", 4, ""));
    ASSERT_TRUE(namesake);
    EXPECT_NE(namesake->GetMailboxPath(), root->GetMailboxPath());
    EXPECT_EQ(root->CreateSubFolder(L"Mails", 4, ""), namesake);
    EXPECT_EQ(root->GetSubFolderCount(), 1);

    EXPECT_EQ(Add(root, EmlAsset(MessageText("In the root", {"a"}))).code, AddAssetCode::Written);
    EXPECT_EQ(Add(namesake, EmlAsset(MessageText("In the namesake", {"b"}))).code, AddAssetCode::Written);
    root->EndAddAssets({}, {}, {});
    namesake->EndAddAssets({}, {}, {});
    EXPECT_EQ(ReadMailbox(root).size(), 1u);
    EXPECT_EQ(ReadMailbox(namesake).size(), 1u);
}

TEST(MboxStoreWrite, SecondExportAppendsToTheExistingMailbox)
{
    kestrin_test::TempDir dir;
    const std::string location = (dir.path() / "Mails").string();
    {
        auto store = OpenMboxStore(location, StoreKind::Mbox, true);
        auto inbox = RootOf<MBOXAssetFolder>(store)->CreateSubFolder(L"Inbox", 4, "");
        EXPECT_TRUE(inbox->BeginAddAssets({}, {}, {}));
        EXPECT_EQ(Add(inbox, EmlAsset(MessageText("first", {"From one"}))).code, AddAssetCode::Written);
        EXPECT_EQ(Add(inbox, EmlAsset(MessageText("second", {"two"}))).code, AddAssetCode::Written);
        inbox->EndAddAssets({}, {}, {});
    }
    auto store = OpenMboxStore(location, StoreKind::Mbox, true);
    auto root = RootOf<MBOXAssetFolder>(store);
    auto found = root->FindSubFolder(L"Inbox");
    ASSERT_TRUE(found);
    auto inbox = root->CreateSubFolder(L"Inbox", 4, "");
    EXPECT_EQ(inbox.get(), dynamic_cast<IAssetFolderMutable*>(found.get()));
    EXPECT_EQ(Add(inbox, EmlAsset(MessageText("third", {"three"}))).code, AddAssetCode::Written);
    inbox->EndAddAssets({}, {}, {});

    std::vector<std::wstring> titles;
    auto iterator = inbox->GetAssetIterator(0, {}, {}, {});
    for (iterator->Begin(); iterator->HasCurrent(); iterator->Increment())
        titles.push_back(iterator->GetCurrent()->GetAsset()->GetTitle(NameStyle::Ascii));
    EXPECT_EQ(titles, (std::vector<std::wstring>{L"first", L"second", L"third"}));
}

// Writes half an entry, then reports the stream as failed.
class HalfWrittenAsset : public EmailAssetBase {
public:
    WriteResult WriteMBOXMessage(std::ostream& out) override
    {
        out << "From - Tue Mar 05 14:07:09 2019\nSubject: cut";
        out.flush();
        return WriteResult::StreamFailed;
    }
    WriteResult WriteRawMessage(const boost::shared_ptr<KSDataStreamOut>&) override { return WriteResult::Ok; }
    uint64_t GetSize() override { return 0; }
};

TEST(MboxStoreWriteFailure, FailedEntryIsNotSuccessAndIsTakenBackOffTheFile)
{
    kestrin_test::TempDir dir;
    auto store = OpenMboxStore((dir.path() / "Mails").string(), StoreKind::Mbox, true);
    auto inbox = boost::dynamic_pointer_cast<MBOXAssetFolder>(
        RootOf<MBOXAssetFolder>(store)->CreateSubFolder(L"Inbox", 4, ""));
    EXPECT_EQ(Add(inbox, EmlAsset(MessageText("kept", {"body"}))).code, AddAssetCode::Written);
    const auto sizeBefore = fs::file_size(inbox->GetMailboxPath());

    kestrin_test::CapturedDiagnostics diagnostics;
    EXPECT_EQ(Add(inbox, boost::make_shared<HalfWrittenAsset>()).code, AddAssetCode::StreamFailed);
    EXPECT_EQ(fs::file_size(inbox->GetMailboxPath()), sizeBefore);
    EXPECT_NE(diagnostics.text().find("Error while writing file: " + inbox->GetMailboxPath()),
              std::string::npos);

    // The folder goes on with a fresh stream.
    EXPECT_EQ(Add(inbox, EmlAsset(MessageText("after", {"body"}))).code, AddAssetCode::Written);
    inbox->EndAddAssets({}, {}, {});
    EXPECT_EQ(ReadMailbox(inbox).size(), 2u);
}

TEST(MboxStoreWriteFailure, FullDiskAnswersStreamFailed)
{
    kestrin_test::TempDir dir;
    auto store = OpenMboxStore((dir.path() / "Mails").string(), StoreKind::Mbox, true);
    auto full = boost::make_shared<MBOXAssetFolder>("/dev/full", L"Full", store,
                                                    store->GetRootFolder(), false, false);
    kestrin_test::CapturedDiagnostics diagnostics;
    EXPECT_TRUE(full->BeginAddAssets({}, {}, {}));
    EXPECT_EQ(Add(full, EmlAsset(MessageText("lost", {"body"}))).code, AddAssetCode::StreamFailed);
    EXPECT_EQ(Add(full, EmlAsset(MessageText("lost too", {"body"}))).code, AddAssetCode::StreamFailed);
    full->EndAddAssets({}, {}, {});
}

TEST(MboxStoreWriteFailure, UnopenableMailboxIsLoggedAndRefused)
{
    kestrin_test::TempDir dir;
    kestrin_test::WriteFile(dir.path() / "blocker", "a file where a directory is needed");
    auto store = OpenMboxStore((dir.path() / "Mails").string(), StoreKind::Mbox, true);
    const std::string path = (dir.path() / "blocker" / "Inbox.mbox").string();
    auto folder = boost::make_shared<MBOXAssetFolder>(path, L"", store, store->GetRootFolder(),
                                                      false, false);
    auto logger = boost::make_shared<RecordingLogger>();
    kestrin_test::CapturedDiagnostics diagnostics;
    EXPECT_EQ(Add(folder, EmlAsset(MessageText("x", {"y"})), logger).code, AddAssetCode::Failed);
    EXPECT_EQ(logger->lines, std::vector<std::wstring>{L"Error while opening file: " + UTF8ToWide(path)});
}

TEST(MboxStoreWrite, OnlyEmailItemsAreTaken)
{
    kestrin_test::TempDir dir;
    auto store = OpenMboxStore((dir.path() / "Mails").string(), StoreKind::Mbox, true);
    auto root = RootOf<MBOXAssetFolder>(store);
    EXPECT_EQ(Add(root, boost::make_shared<NoteAsset>()).code, AddAssetCode::Failed);
    EXPECT_FALSE(store->GetDefaultFolderMutable(kAssetTypeNote, true));
    EXPECT_EQ(store->GetDefaultFolderMutable(kAssetTypeEmail, true).get(),
              static_cast<IAssetFolderMutable*>(root.get()));
    EXPECT_FALSE(store->SupportsFolderKind(kFolderKindMail));
    EXPECT_TRUE(root->IsAssetFile("x/Inbox.MBOX"));
    EXPECT_FALSE(root->IsAssetFile("x/Inbox.mbx"));
}

}  // namespace
}  // namespace formats_test
