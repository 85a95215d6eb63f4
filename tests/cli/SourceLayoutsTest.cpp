// The kestrin command on mailbox trees whose parts were laid out in different
// ways: bundles of both Apple Mail layouts in one tree, mailboxes exported
// from Apple Mail beside, inside and below each other, mailbox files as mbox
// tools write them. Every message of the source must be listed, converted
// with its bytes, counted in the totals and found again by --verify; and a
// mailbox converted to mbox and read again gives the same files.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>

#include <boost/filesystem.hpp>
#include <nlohmann/json.hpp>

#include "cli/CliRun.h"
#include "cli/KestrinCli.h"
#include "libbuilder/Mailboxes.h"
#include "support/TestSupport.h"

using namespace KestrinCli;
using namespace kestrin_cli_test;
namespace fs = boost::filesystem;
namespace lb = kestrin_libbuilder;

namespace {

// A source tree being built, with what the conversion must make of it.
class SourceTree {
public:
    explicit SourceTree(fs::path root) : m_root(std::move(root)) {}

    const fs::path& Root() const { return m_root; }

    // A bundle of the older layout (Messages/<id>.emlx) listed at path.
    fs::path Older(const fs::path& parent, const std::string& name, const std::string& path,
                   const std::vector<std::string>& subjects)
    {
        const fs::path bundle = lb::WriteV1Mailbox(parent, name, Numbered(path, subjects));
        counts[path] = static_cast<int64_t>(messages[path].size());
        return bundle;
    }
    // A bundle of the newer layout (<UUID>/Data/.../Messages/<id>.emlx).
    fs::path Newer(const fs::path& parent, const std::string& name, const std::string& path,
                   const std::vector<std::string>& subjects)
    {
        const fs::path bundle =
            lb::WriteV2Mailbox(parent, name, lb::MakeStoreUuid(++m_uuids), Numbered(path, subjects));
        counts[path] = static_cast<int64_t>(messages[path].size());
        return bundle;
    }
    // A mailbox exported from Apple Mail (<Name>.mbox/mbox), counted in bytes.
    fs::path Exported(const fs::path& parent, const std::string& name, const std::string& path,
                      const std::vector<std::string>& subjects)
    {
        const fs::path bundle = lb::WriteExportedMailbox(parent, name, Recipes(path, subjects));
        counts[path] = static_cast<int64_t>(fs::file_size(bundle / "mbox"));
        return bundle;
    }
    // A mailbox file (<Name>.mbox itself), counted in bytes.
    fs::path File(const fs::path& parent, const std::string& name, const std::string& path,
                  const std::vector<std::string>& subjects)
    {
        const fs::path file = lb::WriteMailboxFile(parent, name, Recipes(path, subjects));
        counts[path] = static_cast<int64_t>(fs::file_size(file));
        return file;
    }
    // A folder listed without a count of its own.
    void Group(const std::string& path) { counts[path] = -1; }

    size_t Total() const
    {
        size_t total = 0;
        for (const auto& folder : messages) total += folder.second.size();
        return total;
    }

    std::map<std::string, int64_t> counts;                        // folder path -> listed count
    std::map<std::string, std::vector<std::string>> messages;     // folder path -> subjects
    std::map<std::string, std::string> bytes;                     // subject -> the message

private:
    std::vector<lb::MessageRecipe> Recipes(const std::string& path, const std::vector<std::string>& subjects)
    {
        std::vector<lb::MessageRecipe> recipes;
        for (const std::string& subject : subjects) {
            // A body line an mbox escapes, and every other message ending in
            // empty lines of its own: both must come out as they went in.
            std::string text = "Text of " + subject + "\nFrom the middle of it\n";
            if (++m_messages % 2 == 0) text += "\n\n";
            recipes.push_back(lb::MakeMessage(subject, lb::TextPart(text), lb::kBaseDate + m_messages));
            bytes[subject] = lb::RenderFullMessage(recipes.back());
            messages[path].push_back(subject);
        }
        return recipes;
    }
    std::vector<lb::MailboxMessage> Numbered(const std::string& path, const std::vector<std::string>& subjects)
    {
        std::vector<lb::MailboxMessage> numbered;
        uint64_t id = 0;
        for (lb::MessageRecipe& recipe : Recipes(path, subjects)) numbered.push_back({++id, std::move(recipe)});
        return numbered;
    }

    fs::path m_root;
    unsigned m_uuids = 0;
    int64_t m_messages = 0;
};

void CollectListing(const nlohmann::json& node, std::map<std::string, int64_t>& out)
{
    for (const auto& child : node["children"]) {
        out[child["path"].get<std::string>()] = child["count"].get<int64_t>();
        CollectListing(child, out);
    }
}

std::string SubjectOf(const std::string& message)
{
    const size_t at = message.find("\nSubject: ");
    if (at == std::string::npos) return std::string();
    const size_t start = at + 10;
    return message.substr(start, message.find('\n', start) - start);
}

// Lists and converts the tree to EML with --verify, and holds the outcome
// against what the tree says.
void CheckConversion(const SourceTree& tree, const fs::path& out)
{
    const std::string source = tree.Root().string();
    const RunResult list = Kestrin({"list", source, "--json"});
    ASSERT_EQ(list.status, kExitSuccess) << list.err;
    std::map<std::string, int64_t> listed;
    CollectListing(nlohmann::json::parse(list.out)["root"], listed);
    EXPECT_EQ(listed, tree.counts);

    const RunResult run =
        Kestrin({"convert", source, "--to", "eml", "--out", out.string(), "--verify", "--json", "--no-progress"});
    EXPECT_EQ(run.status, kExitSuccess) << run.err;
    const nlohmann::json result = nlohmann::json::parse(run.out);
    EXPECT_EQ(result["status"], "succeeded");
    const nlohmann::json& totals = result["totals"];
    EXPECT_EQ(totals["listed"].get<size_t>(), tree.Total());
    EXPECT_EQ(totals["converted"].get<size_t>(), tree.Total());
    EXPECT_EQ(totals["failed"].get<int64_t>(), 0);
    EXPECT_EQ(totals["skipped"].get<int64_t>(), 0);
    EXPECT_TRUE(result["verify"]["ok"].get<bool>()) << result["verify"].dump(2);

    std::map<std::string, std::vector<std::string>> converted;
    for (const auto& folder : result["folders"]) {
        const std::string path = folder["source"].get<std::string>();
        EXPECT_EQ(folder["processed"].get<size_t>(), tree.messages.count(path) ? tree.messages.at(path).size() : 0u)
            << path;
        if (folder["processed"].get<int64_t>() == 0) continue;
        for (fs::directory_iterator it(folder["output"].get<std::string>()), end; it != end; ++it) {
            if (it->path().extension() != ".eml") continue;
            const std::string message = kestrin_test::ReadFile(it->path());
            const std::string subject = SubjectOf(message);
            converted[path].push_back(subject);
            auto expected = tree.bytes.find(subject);
            ASSERT_NE(expected, tree.bytes.end()) << it->path();
            EXPECT_EQ(message, expected->second) << it->path();
        }
        std::sort(converted[path].begin(), converted[path].end());
    }
    std::map<std::string, std::vector<std::string>> expected = tree.messages;
    for (auto& folder : expected) std::sort(folder.second.begin(), folder.second.end());
    EXPECT_EQ(converted, expected);
}

struct LayoutCase {
    const char* name;
    std::function<void(SourceTree&)> build;
};

class SourceLayouts : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(SourceLayouts, EveryMessageIsListedConvertedAndVerified)
{
    kestrin_test::TempDir home;
    SourceTree tree(home.path() / "Mail");
    fs::create_directories(tree.Root());
    GetParam().build(tree);
    CheckConversion(tree, home.path() / "out");
}

INSTANTIATE_TEST_SUITE_P(
    Trees, SourceLayouts,
    ::testing::Values(
        // Whichever bundle the listing gives first, each is read its own way:
        // the names sort either way round.
        LayoutCase{"OlderLayoutSortsFirst",
                   [](SourceTree& t) {
                       t.Older(t.Root(), "Alpha", "/Alpha/", {"alpha one", "alpha two"});
                       t.Newer(t.Root(), "Beta", "/Beta/", {"beta one"});
                   }},
        LayoutCase{"NewerLayoutSortsFirst",
                   [](SourceTree& t) {
                       t.Newer(t.Root(), "Alpha", "/Alpha/", {"alpha one", "alpha two"});
                       t.Older(t.Root(), "Beta", "/Beta/", {"beta one"});
                   }},
        LayoutCase{"LayoutsNestedInEachOther",
                   [](SourceTree& t) {
                       const fs::path inbox = t.Older(t.Root(), "Inbox", "/Inbox/", {"inbox"});
                       const fs::path sub = t.Newer(inbox, "Sub", "/Inbox/Sub/", {"sub one", "sub two"});
                       t.Older(sub, "Deeper", "/Inbox/Sub/Deeper/", {"deeper"});
                       const fs::path work = t.Newer(t.Root() / "Account", "Work", "/Account/Work/", {"work"});
                       t.Older(work, "Old", "/Account/Work/Old/", {"old"});
                       t.Group("/Account/");
                   }},
        // A bundle a newer Mail took over from an older one.
        LayoutCase{"BundleHoldingBothLayouts",
                   [](SourceTree& t) {
                       t.Older(t.Root(), "Both", "/Both/", {"kept the older way"});
                       const std::string uuid = lb::MakeStoreUuid(99);
                       lb::WriteV2Mailbox(t.Root(), "Both", uuid,
                                          {{7, lb::MakeMessage("kept the newer way", lb::TextPart("newer\n"))}});
                       t.messages["/Both/"].push_back("kept the newer way");
                       t.bytes["kept the newer way"] =
                           lb::RenderFullMessage(lb::MakeMessage("kept the newer way", lb::TextPart("newer\n")));
                       t.counts["/Both/"] = 2;
                   }},
        // A mailbox that only holds others tells nothing of its layout.
        LayoutCase{"MailboxHoldingOnlyMailboxes",
                   [](SourceTree& t) {
                       fs::create_directories(t.Root() / "Parent.mbox");
                       t.counts["/Parent/"] = 0;
                       t.Older(t.Root() / "Parent.mbox", "Old", "/Parent/Old/", {"old child"});
                       t.Newer(t.Root() / "Parent.mbox", "New", "/Parent/New/", {"new child"});
                   }},
        LayoutCase{"ExportedSideBySide",
                   [](SourceTree& t) {
                       t.Exported(t.Root(), "Inbox", "/Inbox/", {"inbox one", "inbox two", "inbox three"});
                       t.Exported(t.Root(), "Sent", "/Sent/", {"sent one"});
                   }},
        // Apple Mail exports a mailbox's children inside its bundle.
        LayoutCase{"ExportedNested",
                   [](SourceTree& t) {
                       const fs::path inbox = t.Exported(t.Root(), "Inbox", "/Inbox/", {"inbox one", "inbox two"});
                       const fs::path child = t.Exported(inbox, "Child", "/Inbox/Child/", {"child"});
                       t.Exported(child, "Grandchild", "/Inbox/Child/Grandchild/", {"grandchild"});
                   }},
        LayoutCase{"ExportedBesidePlainFolderOfItsName",
                   [](SourceTree& t) {
                       t.Exported(t.Root(), "X", "/X/", {"x one", "x two"});
                       t.Exported(t.Root() / "X", "Child", "/X/Child/", {"child"});
                       t.Exported(t.Root() / "X" / "Child", "Deeper", "/X/Child/Deeper/", {"deeper"});
                   }},
        LayoutCase{"ExportedWithAppleMailBundles",
                   [](SourceTree& t) {
                       const fs::path x = t.Exported(t.Root(), "X", "/X/", {"x one", "x two", "x three"});
                       t.Exported(x, "Nested", "/X/Nested/", {"nested one", "nested two"});
                       t.Exported(t.Root() / "X", "Child", "/X/Child/", {"child one", "child two"});
                       t.Exported(t.Root(), "Y", "/Y/", {"y"});
                       t.Older(t.Root(), "Local", "/Local/", {"local one", "local two"});
                       t.Newer(t.Root(), "Cloud", "/Cloud/", {"cloud"});
                   }},
        // This program's mbox target writes such trees; they are read back.
        LayoutCase{"MailboxFiles",
                   [](SourceTree& t) {
                       t.File(t.Root(), "Inbox", "/Inbox/", {"inbox one", "inbox two"});
                       t.File(t.Root() / "Inbox", "Work", "/Inbox/Work/", {"work"});
                       t.File(t.Root(), "Sent", "/Sent/", {"sent"});
                   }},
        LayoutCase{"MailboxFilesBesideAppleMailBundles",
                   [](SourceTree& t) {
                       t.File(t.Root(), "Inbox", "/Inbox/", {"inbox one", "inbox two"});
                       t.File(t.Root() / "Inbox", "Work", "/Inbox/Work/", {"work"});
                       t.Newer(t.Root(), "Cloud", "/Cloud/", {"cloud"});
                   }}),
    [](const ::testing::TestParamInfo<LayoutCase>& info) { return info.param.name; });

// Every file below dir by its path relative to dir.
std::map<std::string, std::string> FilesBelow(const fs::path& dir)
{
    std::map<std::string, std::string> files;
    for (fs::recursive_directory_iterator it(dir), end; it != end; ++it)
        if (fs::is_regular_file(it->path()))
            files[fs::relative(it->path(), dir).string()] = kestrin_test::ReadFile(it->path());
    return files;
}

TEST(SourceRoundTrip, MailboxesConvertedToMboxAndReadAgainGiveTheSameFiles)
{
    kestrin_test::TempDir home;
    SourceTree tree(home.path() / "Export");
    const fs::path inbox = tree.Exported(tree.Root(), "Inbox", "/Inbox/", {"inbox one", "inbox two", "inbox three"});
    tree.Exported(inbox, "Child", "/Inbox/Child/", {"child"});
    tree.Exported(tree.Root() / "Inbox", "Beside", "/Inbox/Beside/", {"beside"});
    // The first of its Received headers is Received-SPF: the mbox entry gets
    // a Received line made from the date, once.
    lb::MessageRecipe spf = lb::MakeMessage("checked", lb::TextPart("checked\n"));
    spf.headers.insert(spf.headers.begin(), {"Received-SPF", "pass (example.com)"});
    lb::WriteExportedMailbox(tree.Root(), "Checked", {spf});

    const fs::path first = home.path() / "first";
    const fs::path second = home.path() / "second";
    const RunResult one = Kestrin({"convert", tree.Root().string(), "--to", "mbox", "--out", first.string(), "--verify"});
    ASSERT_EQ(one.status, kExitSuccess) << one.out << one.err;
    EXPECT_TRUE(Contains(one.out, "Messages listed: 6\nMessages converted: 6\n")) << one.out;
    EXPECT_TRUE(Contains(one.out, "Every output folder holds the messages written to it.")) << one.out;
    const fs::path firstMails = first / "Converted Data" / "Mails";

    // Nothing was added or taken: each mailbox file is the exported mailbox,
    // separator lines (sender and date of delivery) included.
    const std::map<std::string, std::string> written = FilesBelow(firstMails);
    const std::map<std::string, std::string> exported = {
        {"Inbox.mbox", kestrin_test::ReadFile(tree.Root() / "Inbox.mbox" / "mbox")},
        {"Inbox/Child.mbox", kestrin_test::ReadFile(tree.Root() / "Inbox.mbox" / "Child.mbox" / "mbox")},
        {"Inbox/Beside.mbox", kestrin_test::ReadFile(tree.Root() / "Inbox" / "Beside.mbox" / "mbox")},
    };
    for (const auto& mailbox : exported) {
        ASSERT_TRUE(written.count(mailbox.first)) << mailbox.first;
        EXPECT_EQ(written.at(mailbox.first), mailbox.second) << mailbox.first;
    }
    ASSERT_TRUE(written.count("Checked.mbox"));
    const std::string checked = written.at("Checked.mbox");
    EXPECT_EQ(checked.rfind(lb::RenderMboxSeparator(spf) + "\nReceived: ", 0), 0u) << checked;

    // Read again and converted again: the same files, byte for byte.
    const RunResult two = Kestrin({"convert", firstMails.string(), "--to", "mbox", "--out", second.string(), "--verify"});
    ASSERT_EQ(two.status, kExitSuccess) << two.out << two.err;
    EXPECT_TRUE(Contains(two.out, "Messages listed: 6\nMessages converted: 6\n")) << two.out;
    EXPECT_EQ(FilesBelow(second / "Converted Data" / "Mails"), written);

    // And as EML files: every message exactly.
    const fs::path eml = home.path() / "eml";
    const RunResult three = Kestrin({"convert", firstMails.string(), "--to", "eml", "--out", eml.string()});
    ASSERT_EQ(three.status, kExitSuccess) << three.out << three.err;
    size_t files = 0;
    for (const auto& file : FilesBelow(eml / "Converted Data" / "Mails")) {
        const std::string subject = SubjectOf(file.second);
        if (subject == "checked") continue;  // carries the Received line the mbox entry added
        ++files;
        ASSERT_TRUE(tree.bytes.count(subject)) << file.first;
        EXPECT_EQ(file.second, tree.bytes.at(subject)) << file.first;
    }
    EXPECT_EQ(files, 5u);
}

}  // namespace
