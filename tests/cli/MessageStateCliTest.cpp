// A library whose messages Apple Mail kept read, answered, flagged, deleted
// and as drafts, converted by the kestrin command: a mail server's own
// reader (Dovecot's doveadm) finds the same flags on every message of the
// mbox and archive output, --keep-bytes writes none, the JSON counts the
// unread and flagged per folder and the report names a disagreement with
// Apple Mail's own unread count; every .eml file carries the received date.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <iterator>
#include <map>
#include <set>
#include <sstream>

#include <boost/filesystem.hpp>
#include <nlohmann/json.hpp>

#include "cli/CliRun.h"
#include "libbuilder/EnvelopeIndex.h"
#include "support/TestSupport.h"

using namespace kestrin_cli_test;
namespace fs = boost::filesystem;
namespace lb = kestrin_libbuilder;

namespace {

constexpr uint64_t kRead = 1, kDeleted = 2, kAnswered = 4, kFlagged = 16, kDraft = 64;

struct StateMessage {
    const char* subject;
    uint64_t flags;
    bool read;
    bool flagged;
    bool deleted;
    bool hasFile;
    const char* imapFlags;  // in ASCII order
};

const StateMessage kMessages[] = {
    {"Seen and answered", kRead | kAnswered, true, false, false, true, "\\Answered \\Seen"},
    {"Flagged unread", kFlagged, false, true, false, true, "\\Flagged"},
    {"Deleted draft", kRead | kDeleted | kDraft, true, false, true, true, "\\Deleted \\Draft \\Seen"},
    {"Plain unread", 0, false, false, false, true, ""},
    {"Never downloaded", kRead | kFlagged, true, true, false, false, "\\Flagged \\Seen"},
};
constexpr int64_t kUnread = 2;  // "Flagged unread" and "Plain unread"
constexpr int64_t kFlaggedCount = 2;
// What the library's own mailbox row claims: not what its messages say.
constexpr int64_t kIndexUnread = 3;

int64_t ReceivedOf(size_t index) { return 1500000000 + 86400 * static_cast<int64_t>(index) + 2; }

fs::path BuildLibrary(const fs::path& home)
{
    lb::EnvelopeMailbox box;
    box.rowId = 1;
    box.url = "imap://ACCOUNT/INBOX";
    box.bundle = "V10/ACCOUNT/INBOX.mbox";
    box.unreadCount = kIndexUnread;
    for (size_t i = 0; i < sizeof kMessages / sizeof kMessages[0]; ++i) {
        const StateMessage& m = kMessages[i];
        lb::EnvelopeMessage row =
            lb::MakeEnvelopeMessage(10 + i, m.subject, 1500000000 + 86400 * static_cast<int64_t>(i), m.hasFile);
        row.flags = m.flags;
        row.read = m.read;
        row.flagged = m.flagged;
        row.deleted = m.deleted;
        // The file's own trailer says nothing: the index is what counts.
        row.file.flags = 0;
        box.messages.push_back(row);
    }
    lb::EnvelopeIndexRecipe recipe;
    recipe.layout = 10;
    recipe.mailboxes = {box};
    const fs::path root = home / "Mail";
    lb::WriteEnvelopeIndexLibrary(root, recipe);
    return root;
}

std::vector<fs::path> FilesBelow(const fs::path& folder, const std::string& ending)
{
    std::vector<fs::path> files;
    for (fs::recursive_directory_iterator it(folder), end; it != end; ++it) {
        const std::string name = it->path().filename().string();
        if (fs::is_regular_file(it->status()) && name.size() >= ending.size() &&
            name.compare(name.size() - ending.size(), ending.size(), ending) == 0)
            files.push_back(it->path());
    }
    return files;
}

// The mailbox file that holds the library's messages (the account folder
// above it gets an empty one of its own).
fs::path MessagesMailbox(const fs::path& out)
{
    fs::path found;
    for (const fs::path& file : FilesBelow(out, ".mbox")) {
        if (Contains(kestrin_test::ReadFile(file), "Subject: Seen and answered")) {
            EXPECT_TRUE(found.empty()) << "two mailboxes hold the messages";
            found = file;
        }
    }
    return found;
}

// Subject -> flags, as Dovecot reads the mailbox file (from a copy: Dovecot
// writes its own headers into the mailboxes it opens). Dovecot refuses to
// open mail as root, so a root test run hands the copy to "nobody".
std::map<std::string, std::string> DovecotFlags(const fs::path& mailbox, const fs::path& scratch)
{
    const fs::path home = scratch / "dovecot";
    fs::create_directories(home / "mail");
    fs::copy_file(mailbox, home / "mail" / "Converted.mbox");
    kestrin_test::WriteFile(home / "mail" / "inbox", "");
    std::string prefix;
    if (::geteuid() == 0) {
        EXPECT_EQ(0, std::system(("chown -R nobody: '" + home.string() + "'").c_str()));
        prefix = "setpriv --reuid=nobody --regid=$(id -g nobody) --clear-groups ";
    }
    const fs::path listing = scratch / "flags.txt";
    const std::string command =
        prefix + "env HOME='" + home.string() + "' USER=nobody doveadm -c /dev/null -o first_valid_uid=1 -o first_valid_gid=0 -o mail_location=mbox:" +
        (home / "mail").string() + ":INBOX=" + (home / "mail" / "inbox").string() + ":INDEX=" +
        (home / "index").string() + " -f flow fetch 'flags hdr.subject' mailbox Converted.mbox all > '" +
        listing.string() + "'";
    EXPECT_EQ(0, std::system(command.c_str())) << command;
    std::map<std::string, std::string> flags;
    std::istringstream lines(kestrin_test::ReadFile(listing));
    for (std::string line; std::getline(lines, line);) {
        const size_t subject = line.find(" hdr.subject=");
        if (line.rfind("flags=", 0) != 0 || subject == std::string::npos) continue;
        std::string set = line.substr(6, subject - 6);
        // Only the flags the source can give: Dovecot adds \Recent of its own.
        const size_t recent = set.find("\\Recent");
        if (recent != std::string::npos) set.erase(recent, 7);
        // In a fixed order: Dovecot lists them in its own.
        std::istringstream words(set);
        std::set<std::string> sorted{std::istream_iterator<std::string>(words), std::istream_iterator<std::string>()};
        std::string joined;
        for (const std::string& word : sorted) joined += (joined.empty() ? "" : " ") + word;
        flags[line.substr(subject + 13)] = joined;
    }
    return flags;
}

class MessageStateCliTest : public ::testing::TestWithParam<const char*> {};

TEST_P(MessageStateCliTest, DovecotReadsTheFlagsAppleMailKept)
{
    kestrin_test::TempDir home;
    const fs::path source = BuildLibrary(home.path());
    const fs::path out = home / "out";
    fs::create_directories(out);
    const RunResult run = Kestrin({"convert", source.string(), "--to", GetParam(), "--out", out.string(), "--json"});
    ASSERT_EQ(0, run.status) << run.out << run.err;

    const fs::path mailbox = MessagesMailbox(out);
    ASSERT_FALSE(mailbox.empty());
    const auto flags = DovecotFlags(mailbox, home.path());
    ASSERT_EQ(sizeof kMessages / sizeof kMessages[0], flags.size());
    for (const StateMessage& m : kMessages) {
        ASSERT_EQ(1u, flags.count(m.subject)) << m.subject;
        EXPECT_EQ(m.imapFlags, flags.at(m.subject)) << m.subject;
    }

    const nlohmann::json result = nlohmann::json::parse(run.out);
    nlohmann::json folder;
    for (const auto& entry : result["folders"])
        if (entry["source"] == "/ACCOUNT/INBOX/") folder = entry;
    ASSERT_TRUE(folder.is_object()) << result.dump();
    EXPECT_EQ(kUnread, folder["unread"].get<int64_t>());
    EXPECT_EQ(kFlaggedCount, folder["flagged"].get<int64_t>());
    EXPECT_EQ(kIndexUnread, folder["sourceUnread"].get<int64_t>());
    // A disagreement with Apple Mail's count is a warning in the report,
    // not a failure.
    const std::string report = kestrin_test::ReadFile(result["logPath"].get<std::string>());
    EXPECT_TRUE(Contains(report, "WARNING : Folder /ACCOUNT/INBOX/: 2 converted messages are unread, Apple Mail "
                                 "counts 3 unread."))
        << report;
}

INSTANTIATE_TEST_SUITE_P(Targets, MessageStateCliTest, ::testing::Values("mbox", "archive"));

TEST(MessageStateCli, KeepBytesWritesNoStateLines)
{
    kestrin_test::TempDir home;
    const fs::path source = BuildLibrary(home.path());
    const fs::path out = home / "out";
    fs::create_directories(out);
    const RunResult run = Kestrin({"convert", source.string(), "--to", "mbox", "--out", out.string(), "--keep-bytes"});
    ASSERT_EQ(0, run.status) << run.out << run.err;
    const fs::path mailbox = MessagesMailbox(out);
    ASSERT_FALSE(mailbox.empty());
    const std::string text = kestrin_test::ReadFile(mailbox);
    EXPECT_FALSE(Contains(text, "Status:")) << text;
}

TEST(MessageStateCli, EmlFilesCarryTheReceivedDate)
{
    kestrin_test::TempDir home;
    const fs::path source = BuildLibrary(home.path());
    const fs::path out = home / "out";
    fs::create_directories(out);
    const RunResult run = Kestrin({"convert", source.string(), "--to", "eml", "--out", out.string()});
    ASSERT_EQ(0, run.status) << run.out << run.err;
    const auto files = FilesBelow(out, ".eml");
    ASSERT_EQ(sizeof kMessages / sizeof kMessages[0], files.size());
    std::set<int64_t> times;
    for (const fs::path& file : files) {
        struct stat info {};
        ASSERT_EQ(0, ::stat(file.c_str(), &info));
        times.insert(static_cast<int64_t>(info.st_mtime));
    }
    std::set<int64_t> expected;
    for (size_t i = 0; i < sizeof kMessages / sizeof kMessages[0]; ++i) expected.insert(ReceivedOf(i));
    EXPECT_EQ(expected, times);
}

}  // namespace
