// Reading mailboxes back: splitting a file into messages and finding the
// mailboxes of a tree when the store opens.
#include <gtest/gtest.h>

#include "FormatsTestHelpers.h"
#include "streams/KSContainerData.h"

namespace formats_test {
namespace {

struct SplitCase {
    const char* name;
    const char* fixture;
    std::vector<std::string> messages;
};

class MboxSplitting : public ::testing::TestWithParam<SplitCase> {};

TEST_P(MboxSplitting, YieldsTheMessagesBetweenSeparators)
{
    kestrin_test::TempDir dir;
    auto store = OpenMboxStore(CopyFixture(dir, std::string("reading/") + GetParam().fixture),
                               StoreKind::Mbox);
    auto root = store->GetRootFolder();
    ASSERT_EQ(root->GetSubFolderCount(), 1u);
    EXPECT_EQ(ReadMailbox(root->GetSubFolders().front()), GetParam().messages);
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, MboxSplitting,
    ::testing::Values(
        // Nothing before the first separator may be lost.
        SplitCase{"FirstLineNotASeparatorStaysInTheFirstMessage",
                  "first-line-not-separator.mbox",
                  {"This line stands where a separator should be\nSubject: one\n\nbody one\n",
                   "Subject: two\n\nbody two\n"}},
        // No line end is added where the file had none.
        SplitCase{"OnlyLineWithoutSeparatorOrLineEnd",
                  "one-unterminated-line.mbox",
                  {"This line stands alone and has no line end"}},
        SplitCase{"LastLineWithoutLineEndStaysInTheLastMessage",
                  "no-final-newline.mbox",
                  {"Subject: one\n\nbody one\n", "Subject: two\n\nthe last line has no line end"}},
        SplitCase{"EmptyEntriesArePassedOver",
                  "empty-entries.mbox",
                  {"Subject: one\n\nbody one\n", "Subject: two\n\nbody two\n"}},
        SplitCase{"ByteOrderMarkBeforeTheFirstSeparator",
                  "byte-order-mark.mbox",
                  {"Subject: one\n\nbody one\n"}},
        SplitCase{"BlankLinesBeforeTheFirstSeparator",
                  "blank-lines-first.mbox",
                  {"Subject: one\n\nbody one\n"}},
        SplitCase{"CrLfLinesComeBackWithLineFeeds",
                  "crlf.mbox",
                  {"Subject: crlf one\n\nline one\n>From the past\n", "Subject: crlf two\n\nline two\n"}}),
    [](const ::testing::TestParamInfo<SplitCase>& info) { return info.param.name; });

// The empty line before a separator (and at the end of the file) closes the
// entry: it is the mailbox's, not the message's, so a message read and
// written again keeps its size. Only that one line is taken; the separator
// line each message came with is kept with it.
struct EntryEndCase {
    const char* name;
    const char* mailbox;
    std::vector<std::string> messages;
    std::vector<std::string> separators;
};

class MboxEntryEnds : public ::testing::TestWithParam<EntryEndCase> {};

TEST_P(MboxEntryEnds, OneClosingEmptyLineIsTheMailboxes)
{
    kestrin_test::TempDir dir;
    kestrin_test::WriteFile(dir.path() / "box.mbox", GetParam().mailbox);
    auto folder = boost::make_shared<MBOXAssetFolder>((dir.path() / "box.mbox").string(), L"", nullptr,
                                                      nullptr, false, false);
    std::vector<std::string> messages;
    std::vector<std::string> separators;
    auto iterator = folder->GetAssetIterator(kQueryKindNew, {}, {}, {});
    for (iterator->Begin(); iterator->HasCurrent(); iterator->Increment()) {
        auto message = boost::dynamic_pointer_cast<MBOXEmailAsset>(iterator->GetCurrent()->GetAsset());
        ASSERT_TRUE(message);
        messages.push_back(AsString(message->GetRawBytes()));
        separators.push_back(message->GetSeparatorLine());
    }
    EXPECT_EQ(messages, GetParam().messages);
    EXPECT_EQ(separators, GetParam().separators);
}

INSTANTIATE_TEST_SUITE_P(
    Mailboxes, MboxEntryEnds,
    ::testing::Values(
        EntryEndCase{"BeforeTheNextSeparatorAndAtTheEnd",
                     "From alice@example.com Wed Oct 31 17:21:13 2012\nSubject: a\n\none\n\n"
                     "From bob@example.com Thu Nov  1 08:00:00 2012\nSubject: b\n\ntwo\n\n",
                     {"Subject: a\n\none\n", "Subject: b\n\ntwo\n"},
                     {"From alice@example.com Wed Oct 31 17:21:13 2012",
                      "From bob@example.com Thu Nov  1 08:00:00 2012"}},
        EntryEndCase{"MessagesEndingInEmptyLinesKeepThem",
                     "From a\nSubject: a\n\none\n\n\n\nFrom b\nSubject: b\n\ntwo\n\n\n",
                     {"Subject: a\n\none\n\n\n", "Subject: b\n\ntwo\n\n"}, {"From a", "From b"}},
        EntryEndCase{"NoEmptyLineNothingTaken", "From a\nSubject: a\n\none\nFrom b\nSubject: b\n\ntwo\n",
                     {"Subject: a\n\none\n", "Subject: b\n\ntwo\n"}, {"From a", "From b"}},
        EntryEndCase{"LastLineWithoutLineEndKept", "From a\nSubject: a\n\none\n\nlast",
                     {"Subject: a\n\none\n\nlast"}, {"From a"}},
        EntryEndCase{"CrLfEmptyLineTaken", "From a\r\nSubject: a\r\n\r\none\r\n\r\nFrom b\r\nSubject: b\r\n",
                     {"Subject: a\n\none\n", "Subject: b\n"}, {"From a", "From b"}},
        // A first message without separator gets one made from its date.
        EntryEndCase{"NoSeparatorOfItsOwn",
                     "Date: Tue, 05 Mar 2019 14:07:09 +0000\n\nbody\n\nFrom b\nSubject: b\n",
                     {"Date: Tue, 05 Mar 2019 14:07:09 +0000\n\nbody\n", "Subject: b\n"},
                     {"From - Tue Mar 05 14:07:09 2019", "From b"}},
        EntryEndCase{"SeparatorAfterByteOrderMark", "\xEF\xBB\xBF" "From a\nSubject: a\n\n",
                     {"Subject: a\n"}, {"From a"}}),
    [](const ::testing::TestParamInfo<EntryEndCase>& info) { return info.param.name; });

TEST(MboxIterator, UnitsAreBytesAndAMissingOrDirectoryMailboxHasNoMessages)
{
    kestrin_test::TempDir dir;
    const std::string path = CopyFixture(dir, "reading/crlf.mbox");
    auto store = OpenMboxStore(path, StoreKind::Mbox);
    auto folder = store->GetRootFolder()->GetSubFolders().front();
    EXPECT_EQ(folder->GetAssetCount(), static_cast<int64_t>(fs::file_size(path)));
    auto iterator = folder->GetAssetIterator(kQueryKindNew, {}, {}, {});
    int64_t units = 0;
    EXPECT_EQ(iterator->GetUnitCount(&units), 0);
    EXPECT_EQ(units, static_cast<int64_t>(fs::file_size(path)));
    EXPECT_FALSE(folder->GetAssetIterator(kQueryKindDeleted, {}, {}, {}));

    // The root of a single mailbox stands for its directory.
    kestrin_test::CapturedDiagnostics diagnostics;
    EXPECT_TRUE(ReadMailbox(store->GetRootFolder()).empty());
    auto never = boost::make_shared<MBOXAssetFolder>(dir.str() + "/never-written.mbox", L"", store,
                                                     nullptr, false, false);
    EXPECT_TRUE(ReadMailbox(never).empty());
    EXPECT_EQ(diagnostics.text(), "");
}

TEST(MboxIterator, RoundTripToEmlTakesTheAddedMarkOff)
{
    kestrin_test::TempDir dir;
    auto store = OpenMboxStore(CopyFixture(dir, "reading/crlf.mbox"), StoreKind::Mbox);
    auto iterator = store->GetRootFolder()->GetSubFolders().front()->GetAssetIterator(0, {}, {}, {});
    iterator->Begin();
    auto message = boost::dynamic_pointer_cast<IEmailAsset>(iterator->GetCurrent()->GetAsset());
    ASSERT_TRUE(message);
    EXPECT_EQ(message->GetTitle(NameStyle::Ascii), L"crlf one");
    auto bytes = boost::make_shared<std::vector<uint8_t>>();
    EXPECT_EQ(message->WriteRawMessage(boost::make_shared<KSVectorData>(bytes)), WriteResult::Ok);
    EXPECT_EQ(AsString(*bytes), "Subject: crlf one\n\nline one\nFrom the past\n");
}

// A mailbox tree as found on disk: which entries become folders.
class MboxTreeScan : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::string mail = "From - Tue Mar 05 14:07:09 2019\nSubject: m\n\nbody\n\n";
        root = dir.path() / "Export";
        fs::create_directories(root / "Archive.mbox");
        fs::create_directories(root / "Inbox");
        fs::create_directories(root / "Loose");
        kestrin_test::WriteFile(root / "Inbox.mbox", mail + mail);
        kestrin_test::WriteFile(root / "Inbox" / "Work.mbox", mail);
        kestrin_test::WriteFile(root / "Archive.mbox" / "mbox", mail);
        kestrin_test::WriteFile(root / "Empty.mbox", "");
        kestrin_test::WriteFile(root / "Notes.mbox", "Subject: not a mailbox\n\ntext\n");
        kestrin_test::WriteFile(root / ".Hidden.mbox", mail);
        kestrin_test::WriteFile(root / "._Inbox.mbox", "AppleDouble");
        kestrin_test::WriteFile(root / "readme.txt", "From here on\n");
        kestrin_test::WriteFile(root / "Loose" / "Deep.mbox", mail);
    }

    std::vector<std::wstring> ChildNames(const boost::shared_ptr<IAssetFolder>& folder)
    {
        std::vector<std::wstring> names;
        for (const auto& child : folder->GetSubFolders()) names.push_back(child->GetName());
        std::sort(names.begin(), names.end());
        return names;
    }

    kestrin_test::TempDir dir;
    fs::path root;
};

TEST_F(MboxTreeScan, ListsMailboxesAndSkipsWhatIsNotOne)
{
    auto store = OpenMboxStore(root.string(), StoreKind::MboxArchive);
    EXPECT_EQ(store->GetStoreName(), L"Apple Mail Mailbox Archive");
    auto top = store->GetRootFolder();
    EXPECT_EQ(top->GetName(), L"Export");
    EXPECT_EQ(top->GetFolderKind(), kFolderKindRoot);
    EXPECT_EQ(top->GetFolderId(), (root / "Export.mbox").string());
    EXPECT_EQ(ChildNames(top),
              (std::vector<std::wstring>{L"Archive", L"Empty", L"Inbox", L"Loose"}));

    auto inbox = Child<MBOXAssetFolder>(top, L"Inbox");
    ASSERT_TRUE(inbox);
    EXPECT_EQ(inbox->GetFolderKind(), kFolderKindMail);
    EXPECT_EQ(inbox->GetPath(), L"/Inbox/");
    EXPECT_EQ(inbox->GetAssetCount(), static_cast<int64_t>(fs::file_size(root / "Inbox.mbox")));
    EXPECT_EQ(ChildNames(inbox), std::vector<std::wstring>{L"Work"});
    EXPECT_EQ(ReadMailbox(inbox).size(), 2u);
    EXPECT_EQ(ReadMailbox(inbox->FindSubFolder(L"Work")).size(), 1u);

    auto archive = Child<MBOXAssetFolder>(top, L"Archive");
    ASSERT_TRUE(archive);
    EXPECT_TRUE(archive->IsBundle());
    EXPECT_EQ(ReadMailbox(archive).size(), 1u);
    EXPECT_EQ(Child<MBOXAssetFolder>(top, L"Empty")->GetAssetCount(), 0);

    // A directory without a mailbox of its own still carries its sub-tree.
    auto loose = Child<MBOXAssetFolder>(top, L"Loose");
    ASSERT_TRUE(loose);
    EXPECT_EQ(loose->GetAssetCount(), -1);
    EXPECT_TRUE(ReadMailbox(loose).empty());
    EXPECT_EQ(ChildNames(loose), std::vector<std::wstring>{L"Deep"});
}

// Apple Mail exports a mailbox's children inside its bundle; mbox tools put
// them in a folder beside it. Both are the mailbox's children.
TEST_F(MboxTreeScan, MailboxesInsideABundleAreItsChildren)
{
    const std::string mail = "From - Tue Mar 05 14:07:09 2019\nSubject: m\n\nbody\n\n";
    kestrin_test::WriteFile(root / "Archive.mbox" / "Child.mbox" / "mbox", mail);
    kestrin_test::WriteFile(root / "Archive.mbox" / "Child.mbox" / "Grandchild.mbox" / "mbox", mail);
    kestrin_test::WriteFile(root / "Archive" / "Beside.mbox" / "mbox", mail);
    // A bundle without a mailbox of its own is shown for the ones inside.
    kestrin_test::WriteFile(root / "Holder.mbox" / "Held.mbox" / "mbox", mail);
    fs::create_directories(root / "Hollow.mbox");

    for (const std::string& location : {root.string(), (root / "Archive.mbox").string()}) {
        SCOPED_TRACE(location);
        auto store = OpenMboxStore(location, StoreKind::MboxArchive);
        auto archive = Child<MBOXAssetFolder>(store->GetRootFolder(), L"Archive");
        ASSERT_TRUE(archive);
        EXPECT_EQ(ReadMailbox(archive).size(), 1u);
        auto child = Child<MBOXAssetFolder>(archive, L"Child");
        ASSERT_TRUE(child);
        EXPECT_EQ(ReadMailbox(child), std::vector<std::string>{"Subject: m\n\nbody\n"});
        auto grandchild = Child<MBOXAssetFolder>(child, L"Grandchild");
        ASSERT_TRUE(grandchild);
        EXPECT_EQ(ReadMailbox(grandchild).size(), 1u);
        if (location != root.string()) continue;
        EXPECT_EQ(ChildNames(archive), (std::vector<std::wstring>{L"Beside", L"Child"}));
        EXPECT_EQ(ChildNames(store->GetRootFolder()),
                  (std::vector<std::wstring>{L"Archive", L"Empty", L"Holder", L"Inbox", L"Loose"}));
        auto holder = Child<MBOXAssetFolder>(store->GetRootFolder(), L"Holder");
        EXPECT_TRUE(ReadMailbox(holder).empty());
        EXPECT_EQ(ReadMailbox(Child<MBOXAssetFolder>(holder, L"Held")).size(), 1u);
    }
}

TEST_F(MboxTreeScan, RootMailboxIsNotListedAgainAsItsOwnChild)
{
    kestrin_test::WriteFile(root / "Export.mbox", "From - x\nSubject: root\n\nbody\n");
    auto store = OpenMboxStore(root.string(), StoreKind::Mbox);
    auto top = store->GetRootFolder();
    EXPECT_EQ(ChildNames(top), (std::vector<std::wstring>{L"Archive", L"Empty", L"Inbox", L"Loose"}));
    EXPECT_EQ(ReadMailbox(top), std::vector<std::string>{"Subject: root\n\nbody\n"});
}

TEST_F(MboxTreeScan, SingleBundleOpensAsTheOneChildOfItsDirectory)
{
    auto store = OpenMboxStore((root / "Archive.mbox").string(), StoreKind::MboxArchive);
    auto top = store->GetRootFolder();
    EXPECT_EQ(top->GetName(), L"Archive.mbox");
    EXPECT_EQ(top->GetFolderId(), root.string());
    ASSERT_EQ(ChildNames(top), std::vector<std::wstring>{L"Archive"});
    EXPECT_EQ(ReadMailbox(top->FindSubFolder(L"Archive")).size(), 1u);
}

TEST_F(MboxTreeScan, CancelDuringOpenLeavesTheStoreClosed)
{
    struct AlwaysCanceled : ICancelable {
        bool IsCanceled() override { return true; }
        void Cancel() override {}
    };
    auto store = boost::make_shared<MBOXAssetStore>(root.string(), L"", StoreKind::Mbox);
    EXPECT_EQ(store->Open({}, boost::make_shared<AlwaysCanceled>(), {}, false), Status::Canceled);
    EXPECT_FALSE(store->IsOpen());
    EXPECT_FALSE(store->GetRootFolder());
}

}  // namespace
}  // namespace formats_test
