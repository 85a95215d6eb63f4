// The Maildir target: the flag letters of a message's name, folder names in
// the Maildir++ layout, and what one delivery leaves on disk (the file in
// cur/ with the stored bytes and the received time, nothing in tmp/).
#include <gtest/gtest.h>

#include <regex>

#include "FormatsTestHelpers.h"
#include "formats/MaildirAssetStore.h"
#include "formats/MaildirNames.h"

namespace {

using namespace formats_test;

// A message whose source kept its state, as the Apple Mail readers give it.
class StatedMessage : public EMLEmailAsset {
public:
    StatedMessage(const std::string& bytes, const MessageState& state)
        : EMLEmailAsset(boost::make_shared<std::vector<uint8_t>>(bytes.begin(), bytes.end()))
    {
        m_state = state;
    }
};

MessageState State(std::initializer_list<bool MessageState::*> marks)
{
    MessageState state;
    state.known = true;
    for (auto mark : marks) state.*mark = true;
    return state;
}

struct InfoCase {
    const char* name;
    MessageState state;
    const char* info;
};

TEST(MaildirNamesTest, StateBecomesTheFlagLettersInAsciiOrder)
{
    MessageState junkWithColour = State({&MessageState::read, &MessageState::junk});
    junkWithColour.flagColour = 3;
    const InfoCase cases[] = {
        {"nothing known", MessageState{}, "2,"},
        {"unread, nothing else", State({}), "2,"},
        {"read", State({&MessageState::read}), "2,S"},
        {"replied and read", State({&MessageState::answered, &MessageState::read}), "2,RS"},
        {"flagged, unread", State({&MessageState::flagged}), "2,F"},
        {"forwarded and read", State({&MessageState::forwarded, &MessageState::read}), "2,PS"},
        {"draft", State({&MessageState::draft}), "2,D"},
        {"deleted and read", State({&MessageState::deleted, &MessageState::read}), "2,ST"},
        {"replied and forwarded", State({&MessageState::answered, &MessageState::forwarded}), "2,PR"},
        {"everything",
         State({&MessageState::read, &MessageState::answered, &MessageState::flagged, &MessageState::deleted,
                &MessageState::draft, &MessageState::forwarded}),
         "2,DFPRST"},
        {"junk and flag colour have no letter", junkWithColour, "2,S"},
    };
    for (const InfoCase& c : cases) EXPECT_EQ(MaildirInfo(c.state), c.info) << c.name;
}

TEST(MaildirNamesTest, FolderLevelsAreModifiedUtf7WithoutDots)
{
    const std::pair<const wchar_t*, const char*> cases[] = {
        {L"Inbox", "Inbox"},
        {L"Work.2024", "Work_2024"},           // "." separates levels
        {L"R&D", "R&-D"},                      // "&" opens an encoded run
        {L"Entw\u00fcrfe", "Entw&APw-rfe"},    // as Dovecot writes it
        {L"\u65e5\u672c", "&ZeVnLA-"},
        {L"john@example.com", "john@example_com"},
    };
    for (const auto& c : cases) EXPECT_EQ(MaildirFolderLevel(c.first), c.second) << c.second;
}

TEST(MaildirNamesTest, FileNameHasOneColonBeforeTheInfo)
{
    EXPECT_EQ(MaildirFileName(1500000000, "P7Q1", "mail\\057box", "2,RS"), "1500000000.P7Q1.mail\\057box:2,RS");
    const std::string host = MaildirHostName();
    EXPECT_FALSE(host.empty());
    EXPECT_EQ(host.find_first_of("/:"), std::string::npos) << host;
}

class MaildirStoreTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_store = boost::make_shared<MaildirAssetStore>((m_dir / "Mails").string(), L"");
        ASSERT_EQ(m_store->Open({}, {}, {}, true), Status::Succeeded);
        m_root = boost::dynamic_pointer_cast<MaildirAssetFolder>(m_store->GetRootFolderImpl());
        ASSERT_TRUE(m_root);
    }

    // The one file a delivery left in folder's cur/.
    fs::path OnlyMessage(const fs::path& folder)
    {
        std::vector<fs::path> files;
        for (fs::directory_iterator it(folder / "cur"), end; it != end; ++it) files.push_back(it->path());
        EXPECT_EQ(files.size(), 1u);
        EXPECT_TRUE(fs::is_empty(folder / "tmp"));
        EXPECT_TRUE(fs::is_empty(folder / "new"));
        return files.empty() ? fs::path() : files.front();
    }

    kestrin_test::TempDir m_dir;
    boost::shared_ptr<MaildirAssetStore> m_store;
    boost::shared_ptr<MaildirAssetFolder> m_root;
};

TEST_F(MaildirStoreTest, NestedFoldersAreDottedMaildirsBesideTheRoot)
{
    auto projects = m_root->CreateSubFolder(L"Projects", kFolderKindMail, "");
    ASSERT_TRUE(projects);
    auto work = projects->CreateSubFolder(L"Work.2024", kFolderKindMail, "");
    ASSERT_TRUE(work);
    // The same wished name finds the same folder; a name that comes out the
    // same on disk gets one of its own.
    EXPECT_EQ(projects->CreateSubFolder(L"Work.2024", kFolderKindMail, ""), work);
    auto clash = projects->CreateSubFolder(L"Work_2024", kFolderKindMail, "");
    ASSERT_TRUE(clash);
    EXPECT_NE(clash, work);

    const fs::path mails = m_dir / "Mails";
    for (const char* part : {"cur", "new", "tmp"}) {
        EXPECT_TRUE(fs::is_directory(mails / part)) << part;
        EXPECT_TRUE(fs::is_directory(mails / ".Projects" / part)) << part;
        EXPECT_TRUE(fs::is_directory(mails / ".Projects.Work_2024" / part)) << part;
        EXPECT_TRUE(fs::is_directory(mails / ".Projects.Work_2024 (1)" / part)) << part;
    }
    EXPECT_FALSE(fs::exists(mails / "maildirfolder"));
    EXPECT_TRUE(fs::is_regular_file(mails / ".Projects.Work_2024" / "maildirfolder"));
    EXPECT_EQ(work->GetFolderId(), (mails / ".Projects.Work_2024").string());
    // The log's "Saved As" line is the store's location and this path.
    EXPECT_EQ(work->GetPath(), L"/.Projects.Work_2024/");
    EXPECT_EQ(m_root->GetPath(), L"/");
}

// Readers show the root Maildir as INBOX and hide a ".Inbox" beside it.
TEST_F(MaildirStoreTest, TopLevelInboxIsTheRootMaildir)
{
    auto inbox = m_root->CreateSubFolder(L"Inbox", kFolderKindMail, "");
    ASSERT_TRUE(inbox);
    EXPECT_EQ(inbox->GetFolderId(), (m_dir / "Mails").string());
    EXPECT_EQ(inbox->GetPath(), L"/");
    auto later = inbox->CreateSubFolder(L"Later", kFolderKindMail, "");
    ASSERT_TRUE(later);
    EXPECT_EQ(later->GetFolderId(), (m_dir / "Mails" / ".INBOX.Later").string());
    EXPECT_FALSE(fs::exists(m_dir / "Mails" / ".Inbox"));

    // Below the top level an inbox is a folder like any other.
    auto account = m_root->CreateSubFolder(L"john@example.com", kFolderKindMail, "");
    auto accountInbox = account->CreateSubFolder(L"INBOX", kFolderKindMail, "");
    EXPECT_EQ(accountInbox->GetFolderId(), (m_dir / "Mails" / ".john@example_com.INBOX").string());

    ASSERT_EQ(inbox->AddAsset(EmlAsset(MessageText("kept", {"body"})), {}, {}, {}, "id").code,
              AddAssetCode::Written);
    OnlyMessage(m_dir / "Mails");
}

TEST_F(MaildirStoreTest, DeliveryKeepsTheBytesAndDatesTheFile)
{
    const std::string bytes = MessageText("Quarterly", {"line one", "From the start", ""});
    MessageState state = State({&MessageState::answered, &MessageState::read});
    state.received = 1500000123;
    auto folder = m_root->CreateSubFolder(L"Projects", kFolderKindMail, "");
    const AddAssetResult result =
        folder->AddAsset(boost::make_shared<StatedMessage>(bytes, state), {}, {}, {}, "id");
    ASSERT_EQ(result.code, AddAssetCode::Written);

    const fs::path file = OnlyMessage(m_dir / "Mails" / ".Projects");
    EXPECT_EQ(result.text, file.string());
    EXPECT_TRUE(std::regex_match(file.filename().string(),
                                 std::regex(R"(1500000123\.P[0-9]+Q[0-9]+\.[^/:]+:2,RS)")))
        << file.filename();
    EXPECT_EQ(kestrin_test::ReadFile(file), bytes);
    EXPECT_EQ(fs::last_write_time(file), 1500000123);
    EXPECT_EQ(folder->GetAssetCount(), 1);
}

struct DateCase {
    const char* name;
    boost::optional<int64_t> received;
    const char* dateHeader;
    int64_t expected;
};

// Without a received date the Date header dates the file; the index's or
// trailer's date wins over it.
TEST_F(MaildirStoreTest, ReceivedDateElseDateHeader)
{
    const DateCase cases[] = {
        {"received date kept by the source", int64_t{1400000000}, "Tue, 05 Mar 2019 14:07:09 +0000", 1400000000},
        {"no received date: the Date header", boost::none, "Tue, 05 Mar 2019 14:07:09 +0000", 1551794829},
        {"no received date, Date in another zone", boost::none, "Tue, 05 Mar 2019 16:07:09 +0200", 1551794829},
    };
    for (const DateCase& c : cases) {
        MessageState state;
        state.received = c.received;
        auto folder = m_root->CreateSubFolder(UTF8ToWide(c.name), kFolderKindMail, "");
        ASSERT_TRUE(folder) << c.name;
        const std::string bytes = MessageText("dated", {"body"}, "\n", c.dateHeader);
        ASSERT_EQ(folder->AddAsset(boost::make_shared<StatedMessage>(bytes, state), {}, {}, {}, "id").code,
                  AddAssetCode::Written)
            << c.name;
        const fs::path file = OnlyMessage(folder->GetFolderId());
        EXPECT_EQ(fs::last_write_time(file), c.expected) << c.name;
        EXPECT_EQ(file.filename().string().substr(0, 11), std::to_string(c.expected) + ".") << c.name;
    }
}

TEST_F(MaildirStoreTest, FailedWriteLeavesNothingBehind)
{
    auto folder = m_root->CreateSubFolder(L"Projects", kFolderKindMail, "");
    // Not an e-mail message: nothing may be reported as written.
    EXPECT_EQ(folder->AddAsset(boost::make_shared<NoteAsset>(), {}, {}, {}, "id").code, AddAssetCode::Failed);

    // A message whose source fails half-way.
    class BrokenMessage : public EMLEmailAsset {
    public:
        using EMLEmailAsset::EMLEmailAsset;
        WriteResult WriteRawMessage(const boost::shared_ptr<KSDataStreamOut>& out) override
        {
            out->Write("From: x\r\n", 9);
            return WriteResult::Short;
        }
    };
    const std::string bytes = MessageText("cut", {"body"});
    auto broken = boost::make_shared<BrokenMessage>(boost::make_shared<std::vector<uint8_t>>(bytes.begin(), bytes.end()));
    EXPECT_EQ(folder->AddAsset(broken, {}, {}, {}, "id").code, AddAssetCode::Failed);
    for (const char* part : {"cur", "new", "tmp"})
        EXPECT_TRUE(fs::is_empty(fs::path(folder->GetFolderId()) / part)) << part;
    EXPECT_EQ(folder->GetAssetCount(), 0);
}

}  // namespace
