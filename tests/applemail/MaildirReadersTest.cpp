// A converted Maildir read back by the programs people open it with:
// Dovecot's doveadm (no server: the mail location is given on the command
// line) and notmuch with maildir.synchronize_flags. A generated library is
// converted through the export driver, and a folder of messages with every
// mark is written beside it; the readers must see each message in the
// mailbox of its folder, with its flags and its received date.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include <nlohmann/json.hpp>

#include "ExportTestSupport.h"
#include "applemail/AppleMailStoreHelper.h"
#include "formats/EMLEmailAsset.h"
#include "formats/MaildirAssetStore.h"
#include "libbuilder/Mailboxes.h"
#include "mime/KSCharsets.h"
#include "support/TestSupport.h"

namespace fs = boost::filesystem;
using namespace KestrinMIMEEngineCommon;
using namespace kestrin_libbuilder;

namespace {

// What a reader should show of one message, by subject.
struct Expected {
    std::string mailbox;
    MessageState state;
    int64_t received = 0;
};

// What a reader showed of one message, by subject.
struct Seen {
    std::string mailbox;
    std::set<std::string> flags;
    int64_t received = 0;
};

bool HaveProgram(const char* name)
{
    return std::system(("command -v " + std::string(name) + " >/dev/null 2>&1").c_str()) == 0;
}

// Runs a command line, answering its standard output.
std::string RunCommand(const std::string& command)
{
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return out;
    char buffer[4096];
    for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, got);
    ::pclose(pipe);
    return out;
}

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

// A message whose source kept its state, as the Apple Mail readers give it.
class StatedMessage : public EMLEmailAsset {
public:
    StatedMessage(const std::string& bytes, const MessageState& state)
        : EMLEmailAsset(boost::make_shared<std::vector<uint8_t>>(bytes.begin(), bytes.end()))
    {
        m_state = state;
    }
};

std::string SubjectOfDescription(const std::wstring& description)
{
    const std::string text = WideToUTF8(description);
    const auto at = text.find("Subject : ");
    return at == std::string::npos ? std::string() : text.substr(at + 10);
}

// Dovecot's flags for a state; \Recent is Dovecot's own and left out.
std::set<std::string> DovecotFlags(const MessageState& state)
{
    std::set<std::string> flags;
    if (state.read) flags.insert("\\Seen");
    if (state.answered) flags.insert("\\Answered");
    if (state.flagged) flags.insert("\\Flagged");
    if (state.deleted) flags.insert("\\Deleted");
    if (state.draft) flags.insert("\\Draft");
    return flags;
}

// notmuch's tags for a state with maildir.synchronize_flags (and no tags
// of its own for new mail).
std::set<std::string> NotmuchTags(const MessageState& state)
{
    std::set<std::string> tags;
    if (!state.read) tags.insert("unread");
    if (state.answered) tags.insert("replied");
    if (state.flagged) tags.insert("flagged");
    if (state.forwarded) tags.insert("passed");
    if (state.draft) tags.insert("draft");
    return tags;
}

class MaildirReadersTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* program : {"doveadm", "notmuch"}) {
            if (HaveProgram(program)) continue;
            // CI installs them (scripts/install-deps.sh): never pass there without them.
            if (std::getenv("CI")) FAIL() << program << " is not installed";
            GTEST_SKIP() << program << " is not installed";
        }
    }

    // Converts the library at mailFolder to a Maildir below output; answers
    // the Maildir and, by subject, what each message should look like.
    fs::path ConvertLibrary(const fs::path& mailFolder, const fs::path& output)
    {
        boost::shared_ptr<IAssetStore> store = AppleMailStoreHelper::CreateStore(mailFolder.string(), L"", {});
        EXPECT_TRUE(store);
        if (!store || store->Open({}, {}, {}, false) != Status::Succeeded) return {};
        const auto folders = export_test::AllFolders(*store);
        auto logger = boost::make_shared<export_test::CollectingLogger>();
        const ExportSummary summary = export_test::ExportFolders(folders, output, ExportTarget::Maildir, logger);
        EXPECT_EQ(summary.status, Status::Succeeded) << WideToUTF8(logger->text);
        m_log = WideToUTF8(logger->text);

        for (const auto& folder : folders) {
            const auto iterator = folder->GetAssetIterator(kQueryKindNew, {}, {}, {});
            if (!iterator) continue;
            for (iterator->Begin(); iterator->HasCurrent(); iterator->Increment()) {
                const auto asset = iterator->GetCurrent()->GetAsset();
                m_expected[SubjectOfDescription(asset->GetDescription())].state = asset->GetState();
            }
        }
        return output / "Mails";
    }

    std::map<std::string, Seen> ReadWithDovecot(const fs::path& maildir, const fs::path& work)
    {
        const fs::path control = work / "dovecot-control";
        fs::create_directories(control);
        // Dovecot refuses root's mail; as root the test reads as nobody, in
        // the group the output belongs to.
        const bool root = ::geteuid() == 0;
        if (root) fs::permissions(control, fs::all_all);
        const std::string uid = root ? "65534" : std::to_string(::getuid());
        const std::string gid = std::to_string(::getgid());
        const std::string doveadm =
            "env -i PATH=/usr/bin:/bin:/usr/sbin:/sbin HOME=" + Quoted(work.string()) +
            " USER=kestrin-test doveadm -f flow" +
            " -o " + Quoted("mail_location=maildir:" + maildir.string() + ":INDEX=MEMORY:CONTROL=" + control.string()) +
            " -o mail_uid=" + uid + " -o mail_gid=" + gid + " -o first_valid_gid=0 -o first_valid_uid=0";
        m_mailboxes = RunCommand(doveadm + " mailbox list 2>&1");
        const std::string out =
            RunCommand(doveadm + " fetch 'mailbox flags date.received.unixtime hdr.subject' all 2>&1");
        std::map<std::string, Seen> seen;
        const std::regex line(R"(mailbox=(.*) flags=(.*) date\.received\.unixtime=([0-9]+) hdr\.subject=(.*))");
        std::istringstream lines(out);
        for (std::string text; std::getline(lines, text);) {
            std::smatch match;
            if (!std::regex_match(text, match, line)) {
                ADD_FAILURE() << "doveadm: " << text;
                continue;
            }
            Seen& message = seen[match[4]];
            message.mailbox = match[1];
            std::istringstream flags(match[2]);
            for (std::string flag; flags >> flag;)
                if (flag != "\\Recent") message.flags.insert(flag);
            message.received = std::stoll(match[3]);
        }
        return seen;
    }

    std::map<std::string, std::set<std::string>> ReadWithNotmuch(const fs::path& maildir, const fs::path& work)
    {
        const fs::path config = work / "notmuch-config";
        kestrin_test::WriteFile(config, "[database]\npath=" + (work / "notmuch-db").string() +
                                            "\nmail_root=" + maildir.string() +
                                            "\n[new]\ntags=\nignore=\n[maildir]\nsynchronize_flags=true\n"
                                            "[user]\nname=Test\nprimary_email=test@example.com\n");
        fs::create_directories(work / "notmuch-db");
        const std::string notmuch = "env -i PATH=/usr/bin:/bin HOME=" + Quoted(work.string()) +
                                    " NOTMUCH_CONFIG=" + Quoted(config.string()) + " notmuch";
        RunCommand(notmuch + " new --quiet 2>&1");
        const auto threads =
            nlohmann::json::parse(RunCommand(notmuch + " search --format=json --output=summary '*'"), nullptr, false);
        std::map<std::string, std::set<std::string>> tags;
        if (!threads.is_array()) {
            ADD_FAILURE() << "notmuch gave no result";
            return tags;
        }
        for (const auto& thread : threads) {
            EXPECT_EQ(thread.value("total", 0), 1) << thread.dump();
            std::set<std::string>& ofMessage = tags[thread.value("subject", "")];
            for (const std::string tag : thread.at("tags")) ofMessage.insert(tag);
        }
        return tags;
    }

    kestrin_test::TempDir m_dir;
    std::map<std::string, Expected> m_expected;
    std::string m_log;
    std::string m_mailboxes;
};

struct Marked {
    const char* subject;
    MessageState state;
};

MessageState Marks(std::initializer_list<bool MessageState::*> marks)
{
    MessageState state;
    state.known = true;
    for (auto mark : marks) state.*mark = true;
    return state;
}

TEST_F(MaildirReadersTest, DovecotAndNotmuchSeeTheMessagesFlagsAndDates)
{
    // Inbox (the root Maildir for the readers) with a sub-folder, a folder
    // whose name needs encoding, and one with a dot in a sub-folder's name.
    // The trailers carry marks, for a reader of the library's state.
    MailboxMessage replied = TextMailboxMessage(2, "two", "second\n");
    replied.message.flags = 1 | 4;  // read, answered
    MailboxMessage flagged = TextMailboxMessage(3, "three", "third\n");
    flagged.message.flags = 16;  // flagged, unread
    const fs::path mail = m_dir / "Mail";
    const fs::path inbox = WriteV1Mailbox(mail, "Inbox", {TextMailboxMessage(1, "one", "first\n"), replied});
    WriteV1Mailbox(inbox, "Work", {flagged});
    const fs::path projects = WriteV1Mailbox(mail, "R&D", {TextMailboxMessage(4, "four", "fourth\n")});
    WriteV1Mailbox(projects, "Old.2017", {TextMailboxMessage(5, "five", "fifth\n")});

    const fs::path maildir = ConvertLibrary(mail, m_dir / "out");
    ASSERT_FALSE(maildir.empty());
    struct Placed {
        const char* subject;
        const char* mailbox;  // as Dovecot names it
        int64_t date;         // of the Date header
    };
    const Placed placed[] = {{"one", "INBOX", kBaseDate + 1},
                             {"two", "INBOX", kBaseDate + 2},
                             {"three", "INBOX.Work", kBaseDate + 3},
                             {"four", "R&D", kBaseDate + 4},
                             {"five", "R&D.Old_2017", kBaseDate + 5}};
    ASSERT_EQ(m_expected.size(), std::size(placed));
    for (const Placed& p : placed) {
        Expected& expected = m_expected[p.subject];
        expected.mailbox = p.mailbox;
        // Without a received date from the source, the Date header dates it.
        expected.received = expected.state.received.value_or(p.date);
    }
    // The log names the Maildirs.
    EXPECT_NE(m_log.find("Saved As: " + maildir.string() + "/.INBOX.Work/"), std::string::npos) << m_log;

    // Every mark, written into a folder of the same Maildir.
    const Marked marked[] = {
        {"unread", Marks({})},
        {"read", Marks({&MessageState::read})},
        {"replied", Marks({&MessageState::read, &MessageState::answered})},
        {"flagged, unread", Marks({&MessageState::flagged})},
        {"forwarded", Marks({&MessageState::read, &MessageState::forwarded})},
        {"draft", Marks({&MessageState::draft})},
        {"deleted", Marks({&MessageState::read, &MessageState::deleted})},
        {"everything", Marks({&MessageState::read, &MessageState::answered, &MessageState::flagged,
                              &MessageState::forwarded, &MessageState::draft, &MessageState::deleted})},
    };
    {
        auto store = boost::make_shared<MaildirAssetStore>(maildir.string(), L"");
        ASSERT_EQ(store->Open({}, {}, {}, false), Status::Succeeded);
        auto folder = boost::dynamic_pointer_cast<IAssetFolderMutable>(store->GetRootFolderImpl())
                          ->CreateSubFolder(L"Marks", kFolderKindMail, "");
        ASSERT_TRUE(folder);
        int64_t received = 1600000000;
        for (const Marked& m : marked) {
            MessageState state = m.state;
            state.received = received += 3600;
            const std::string bytes = std::string("From: a@example.com\nSubject: ") + m.subject +
                                      "\nMessage-ID: <" + std::to_string(received) +
                                      "@example.com>\nDate: Tue, 05 Mar 2019 14:07:09 +0000\n\nbody\n";
            ASSERT_EQ(folder->AddAsset(boost::make_shared<StatedMessage>(bytes, state), {}, {}, {}, "id").code,
                      AddAssetCode::Written)
                << m.subject;
            m_expected[m.subject] = Expected{"Marks", state, received};
        }
    }

    const std::map<std::string, Seen> dovecot = ReadWithDovecot(maildir, m_dir / "readers");
    EXPECT_EQ(dovecot.size(), m_expected.size()) << m_mailboxes;
    for (const auto& [subject, expected] : m_expected) {
        const auto found = dovecot.find(subject);
        if (found == dovecot.end()) {
            ADD_FAILURE() << "Dovecot does not see \"" << subject << "\"; mailboxes:\n" << m_mailboxes;
            continue;
        }
        EXPECT_EQ(found->second.mailbox, expected.mailbox) << subject;
        EXPECT_EQ(found->second.flags, DovecotFlags(expected.state)) << subject;
        EXPECT_EQ(found->second.received, expected.received) << subject;
    }

    const auto tags = ReadWithNotmuch(maildir, m_dir / "readers");
    EXPECT_EQ(tags.size(), m_expected.size());
    for (const auto& [subject, expected] : m_expected) {
        const auto found = tags.find(subject);
        if (found == tags.end()) {
            ADD_FAILURE() << "notmuch does not see \"" << subject << "\"";
            continue;
        }
        EXPECT_EQ(found->second, NotmuchTags(expected.state)) << subject;
    }
}

}  // namespace
