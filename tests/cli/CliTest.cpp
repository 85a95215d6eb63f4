// The kestrin command run in-process on generated Apple Mail libraries:
// listing, converting to every target, selection, errors and exit codes,
// cancellation by Ctrl-C.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <functional>
#include <map>
#include <sstream>

#include <boost/filesystem.hpp>
#include <boost/property_tree/json_parser.hpp>
#include <boost/property_tree/ptree.hpp>

#include "applemail/SqliteReadCopy.h"
#include "app/Source.h"
#include "app/StopSignals.h"
#include "cli/CliRun.h"
#include "cli/KestrinCli.h"
#include "libbuilder/EnvelopeSamples.h"
#include "libbuilder/Mailboxes.h"
#include "mime/KSCharsets.h"
#include "mime/MakeSafeName.h"
#include "support/TestSupport.h"

using namespace KestrinCli;
using namespace KestrinApp;
using namespace kestrin_cli_test;
namespace fs = boost::filesystem;
namespace lb = kestrin_libbuilder;

namespace {

using kestrin_test::CountFiles;

// One sample library (layout 10) shared by the tests of this file.
class CliTest : public SampleLibraryTest {
protected:
    kestrin_test::TempDir out;
    // The samples hold rows the reader reports and skips.
    kestrin_test::CapturedDiagnostics diagnostics;
};

TEST(CliUsage, WrongUsageExitsWith64AndExplains)
{
    struct Case {
        const char* name;
        std::vector<std::string> args;
        const char* says;
    };
    const Case cases[] = {
        {"no command", {}, "missing command"},
        {"unknown command", {"export"}, "unknown command \"export\""},
        {"unknown option", {"list", "/x", "--fast"}, "unknown option --fast"},
        {"convert option on list", {"list", "--to", "eml"}, "unknown option --to"},
        {"verify on list", {"list", "/x", "--verify"}, "unknown option --verify"},
        {"convert without target", {"convert", "/x", "--out", "/o"}, "needs --to"},
        {"unknown target", {"convert", "/x", "--to", "pst", "--out", "/o"}, "not \"pst\""},
        {"convert without output", {"convert", "/x", "--to", "eml"}, "needs --out"},
        {"option without value", {"convert", "/x", "--out", "/o", "--to"}, "--to needs a value"},
        {"two sources", {"list", "/a", "/b"}, "more than one source"},
        {"flag with a value", {"list", "--json=yes"}, "takes no value"},
    };
    for (const auto& c : cases) {
        const RunResult run = Kestrin(c.args);
        EXPECT_EQ(run.status, kExitUsage) << c.name;
        EXPECT_TRUE(Contains(run.err, c.says)) << c.name << ": " << run.err;
        EXPECT_TRUE(Contains(run.err, "Usage:")) << c.name;
        EXPECT_TRUE(run.out.empty()) << c.name;
    }
}

TEST(CliUsage, HelpGoesToStandardOutput)
{
    const RunResult run = Kestrin({"--help"});
    EXPECT_EQ(run.status, kExitSuccess);
    EXPECT_TRUE(Contains(run.out, "kestrin convert [SOURCE] --to eml|mbox|archive|maildir --out DIR"));
}

TEST(CliSources, SourcesThatCannotBeLoadedExitWith3)
{
    kestrin_test::TempDir home;
    // An Envelope Index that is not a database.
    const fs::path broken = home.path() / "Broken" / "Mail";
    kestrin_test::WriteFile(broken / "V10" / "MailData" / "Envelope Index", "not a database");
    // A sound library whose Envelope Index was cut to half its size.
    const fs::path cut = lb::BuildEnvelopeSampleLibrary(home.path() / "Cut", 10).root;
    const fs::path cutIndex = cut / "V10" / "MailData" / "Envelope Index";
    fs::resize_file(cutIndex, fs::file_size(cutIndex) / 2);
    const fs::path empty = home.path() / "Empty";
    fs::create_directories(empty);
    const fs::path documents = home.path() / "Documents";
    kestrin_test::WriteFile(documents / "letter.txt", "Dear Sir,\n");
    kestrin_test::WriteFile(documents / "Photos" / "trip.jpg", "not really a picture");
    kestrin_test::CapturedDiagnostics diagnostics;

    const char* const loadError = "kestrin: Error occurred while loading your email data.\n";
    struct Case {
        const char* name;
        std::string source;
        std::string says;
    };
    const Case cases[] = {
        {"missing folder", (home.path() / "Nowhere").string(), "does not exist"},
        {"file instead of a folder", (home.path() / "Broken" / "Mail" / "V10" / "MailData" /
                                      "Envelope Index").string(), "is not a folder"},
        // The reason in the system's words; the privacy advice is for macOS only.
        {"broken database", broken.string(), "file is not a database"},
        {"Envelope Index cut short", cut.string(),
         cutIndex.string() + ": database disk image is malformed"},
        // No load error for these: the one plain sentence.
        {"empty folder", empty.string(), "kestrin: " + NoMailDataMessage(empty.string()) + "\n"},
        {"folder of documents", documents.string(),
         "kestrin: " + NoMailDataMessage(documents.string()) + "\n"},
    };
    for (const auto& c : cases) {
        const std::vector<std::string> runs[] = {
            {"list", c.source},
            {"convert", c.source, "--to", "eml", "--out", (home.path() / "out").string()}};
        for (const auto& args : runs) {
            const std::string& command = args[0];
            const RunResult run = Kestrin(args);
            EXPECT_EQ(run.status, kExitLoadFailed) << c.name << " " << command;
            if (Contains(c.says, "No Apple Mail data"))
                EXPECT_EQ(run.err, c.says) << c.name;
            else
                EXPECT_TRUE(Contains(run.err, loadError)) << c.name << ": " << run.err;
            EXPECT_TRUE(Contains(run.err, c.says)) << c.name << ": " << run.err;
            EXPECT_TRUE(run.out.empty()) << c.name;
        }
    }
    EXPECT_FALSE(fs::exists(home.path() / "out"));
}

TEST_F(CliTest, ListShowsTheStoreAndEveryFolderWithCountsAndPaths)
{
    const RunResult run = Kestrin({"list", Source()});
    ASSERT_EQ(run.status, kExitSuccess) << run.err;
    EXPECT_EQ(run.out.rfind("Apple Mail Database", 0), 0u) << run.out;
    EXPECT_TRUE(Contains(run.out.substr(0, run.out.find('\n')), Source()));
    for (const auto& folder : s_library->folders) {
        const std::string count = folder.count > 0
                                      ? "  [" + std::to_string(folder.count) + "]    "
                                      : "    ";
        EXPECT_TRUE(Contains(run.out, count + folder.path + "\n")) << folder.path << "\n"
                                                                   << run.out;
    }
    for (const auto& absent : s_library->absentPaths)
        EXPECT_FALSE(Contains(run.out, absent)) << absent;
}

// Every folder of the JSON tree by path, with its count.
void CollectJson(const boost::property_tree::ptree& node, std::map<std::string, int64_t>& out)
{
    out[node.get<std::string>("path")] = node.get<int64_t>("count");
    for (const auto& child : node.get_child("children"))
        CollectJson(child.second, out);
}

TEST_F(CliTest, JsonListingHoldsTheWholeTree)
{
    const RunResult run = Kestrin({"list", Source(), "--json"});
    ASSERT_EQ(run.status, kExitSuccess) << run.err;
    std::istringstream in(run.out);
    boost::property_tree::ptree json;
    ASSERT_NO_THROW(boost::property_tree::read_json(in, json)) << run.out;

    EXPECT_EQ(json.get<std::string>("store.name"), "Apple Mail Database");
    EXPECT_EQ(json.get<int>("store.kind"), 0);
    EXPECT_EQ(json.get<std::string>("store.location"), Source());
    EXPECT_EQ(json.get<std::string>("root.path"), "/");
    EXPECT_EQ(json.get<int>("root.kind"), 9);

    std::map<std::string, int64_t> folders;
    CollectJson(json.get_child("root"), folders);
    for (const auto& folder : s_library->folders) {
        ASSERT_TRUE(folders.count(folder.path)) << folder.path;
        EXPECT_EQ(folders[folder.path], folder.count) << folder.path;
    }
}

TEST(CliJson, StringsAreEscaped)
{
    EXPECT_EQ(JsonString("a\"b\\c\nd\x01" "\xC3\x9C"), "\"a\\\"b\\\\c\\nd\\u0001\xC3\x9C\"");
}

TEST_F(CliTest, ConvertWritesEveryTargetAndReportsTheResult)
{
    struct Case {
        const char* target;
        std::string written;  // what must exist below "Converted Data"
    };
    const Case cases[] = {
        {"eml", "Mails"},
        {"mbox", "Mails"},
        {"archive", "Apple Mail Export.rge"},
    };
    for (const auto& c : cases) {
        const fs::path dir = out.path() / c.target;
        const RunResult run = Kestrin({"convert", Source(), "--to", c.target, "--out", dir.string()});
        const fs::path root = dir / "Converted Data";
        EXPECT_EQ(run.status, kExitSuccess) << c.target << run.err;
        EXPECT_TRUE(fs::is_regular_file(root / "Detailed Conversion Report.txt")) << c.target;
        EXPECT_TRUE(fs::exists(root / c.written)) << c.target << "\n" << run.out << run.err;
        EXPECT_TRUE(Contains(run.out, "Converted Data is saved at following path:\n" +
                                          root.string() + "\n"))
            << run.out;
        EXPECT_TRUE(Contains(run.out, "A detailed Log Report is saved at following path:\n" +
                                          (root / "Detailed Conversion Report.txt").string()));
        EXPECT_TRUE(Contains(run.out, "Total number of items processed:" +
                                          std::to_string(s_library->TotalMessages()) + "\n"))
            << run.out;
        EXPECT_EQ(run.out.rfind("Conversion completed", 0), 0u) << c.target;
    }
    EXPECT_EQ(CountFiles(out.path() / "eml" / "Converted Data" / "Mails", ".eml"),
              static_cast<size_t>(s_library->TotalMessages()));
}

// The mailbox files below a folder as Python's mailbox module reads them:
// relative path -> "count<TAB>problems" (see read_mailboxes.py).
std::map<std::string, std::string> ReadMailboxes(const fs::path& folder, const fs::path& scratch)
{
    const fs::path script = fs::path(kestrin_test::SourceDir()) / "tests/cli/read_mailboxes.py";
    const fs::path listing = scratch / "mailboxes.txt";
    const std::string command = "python3 '" + script.string() + "' '" + folder.string() + "' > '" +
                                listing.string() + "'";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    std::map<std::string, std::string> boxes;
    std::istringstream lines(kestrin_test::ReadFile(listing));
    for (std::string line; std::getline(lines, line);) {
        const size_t tab = line.find('\t');
        if (tab != std::string::npos)
            boxes[line.substr(0, tab)] = line.substr(tab + 1);
    }
    return boxes;
}

// "/john@example.com/INBOX/" -> the safe names of its components.
std::vector<std::string> SafeComponents(const std::string& folderPath)
{
    std::vector<std::string> components;
    std::istringstream parts(folderPath);
    for (std::string part; std::getline(parts, part, '/');)
        if (!part.empty())
            components.push_back(KestrinMIMEEngineCommon::WideToUTF8(
                KestrinMIMEEngineCommon::MakeSafeName(KestrinMIMEEngineCommon::UTF8ToWide(part))));
    return components;
}

TEST_F(CliTest, MailboxTargetsReadBackFolderByFolder)
{
    struct Case {
        const char* target;
        // Where a folder's messages land below "Converted Data".
        std::function<std::string(const std::vector<std::string>&)> mailboxOf;
    };
    const Case cases[] = {
        {"mbox",
         [](const std::vector<std::string>& names) {
             std::string path = "Mails";
             for (const auto& name : names)
                 path += "/" + name;
             return path + ".mbox";
         }},
        {"archive",
         [](const std::vector<std::string>& names) {
             std::string path = "Apple Mail Export.rge/Mail";
             for (const auto& name : names)
                 path += "/" + name;
             return path + "/" + names.back() + ".mbox";
         }},
    };
    for (const auto& c : cases) {
        const fs::path dir = out.path() / c.target;
        const RunResult run =
            Kestrin({"convert", Source(), "--to", c.target, "--out", dir.string(), "--no-progress"});
        ASSERT_EQ(run.status, kExitSuccess) << c.target << run.err;
        const auto boxes = ReadMailboxes(dir / "Converted Data", out.path());

        int64_t total = 0;
        for (const auto& box : boxes) {
            total += std::stoll(box.second);
            EXPECT_EQ(box.second.substr(box.second.find('\t') + 1), "-")
                << c.target << ": " << box.first;
        }
        EXPECT_EQ(total, s_library->TotalMessages()) << c.target;
        for (const auto& folder : s_library->folders) {
            const std::string mailbox = c.mailboxOf(SafeComponents(folder.path));
            const auto found = boxes.find(mailbox);
            ASSERT_NE(found, boxes.end()) << c.target << ": no " << mailbox;
            EXPECT_EQ(std::stoll(found->second), folder.count) << c.target << ": " << mailbox;
        }
    }
}

TEST_F(CliTest, SecondConversionIntoTheSameFolderIsNumbered)
{
    for (int i = 0; i < 2; ++i) {
        const RunResult run = Kestrin({"convert", Source(), "--to", "mbox", "--out", out.str(),
                                 "--no-progress"});
        ASSERT_NE(run.status, kExitUsage) << run.err;
    }
    EXPECT_TRUE(fs::is_directory(out.path() / "Converted Data"));
    EXPECT_TRUE(fs::is_directory(out.path() / "Converted Data (1)"));
}

TEST_F(CliTest, FolderOptionConvertsThatFolderAndBelow)
{
    // The account folder holding INBOX and its subfolders.
    const auto& inbox = s_library->folders.front();
    const RunResult run = Kestrin({"convert", Source(), "--to", "eml", "--out", out.str(), "--folder",
                             inbox.path});
    ASSERT_EQ(run.status, kExitSuccess) << run.out << run.err;
    int64_t expected = 0;
    for (const auto& folder : s_library->folders)
        if (folder.path.compare(0, inbox.path.size(), inbox.path) == 0)
            expected += folder.count;
    EXPECT_EQ(CountFiles(out.path() / "Converted Data" / "Mails", ".eml"),
              static_cast<size_t>(expected));
    EXPECT_TRUE(Contains(run.out, "Total number of items processed:" + std::to_string(expected)));
}

TEST_F(CliTest, UnknownFolderIsWrongUsage)
{
    const RunResult run = Kestrin({"convert", Source(), "--to", "eml", "--out", out.str(), "--folder",
                             "/No Such Folder/"});
    EXPECT_EQ(run.status, kExitUsage);
    EXPECT_TRUE(Contains(run.err, "there is no folder /No Such Folder/")) << run.err;
    EXPECT_FALSE(fs::exists(out.path() / "Converted Data"));
}

TEST_F(CliTest, CtrlCOnceCancelsBeforeTheNextItem)
{
    InstallInterruptHandler();
    CliEnvironment environment;
    int shown = 0;
    environment.onItemShown = [&](const std::wstring&) {
        if (++shown == 1)
            std::raise(SIGINT);
    };
    const RunResult run =
        Kestrin({"convert", Source(), "--to", "eml", "--out", out.str()}, environment);
    RestoreInterruptHandler();

    EXPECT_EQ(run.status, kExitCanceled) << run.out << run.err;
    EXPECT_EQ(shown, 1);
    EXPECT_TRUE(Contains(run.out, "Conversion cancelled\nCancelled: "));
    const std::string log =
        kestrin_test::ReadFile(out.path() / "Converted Data" / "Detailed Conversion Report.txt");
    EXPECT_TRUE(Contains(log, "Operation canceled by user.")) << log;
    EXPECT_EQ(CountFiles(out.path() / "Converted Data" / "Mails", ".eml"), 1u);
}

TEST(CliSources, EveryKindOfSourceListsAndConverts)
{
    kestrin_test::CapturedDiagnostics diagnostics;
    kestrin_test::TempDir home;
    const std::vector<lb::MailboxMessage> messages = {
        {1, lb::MakeMessage("First", lb::TextPart("one\n"))},
        {2, lb::MakeMessage("Second", lb::TextPart("two\n"))},
    };
    struct Case {
        const char* name;
        std::function<fs::path(const fs::path&)> build;  // answers the source
        size_t messages;
        const char* listed;  // a line part of the listing
    };
    const Case cases[] = {
        {"Envelope Index, first layout",
         [](const fs::path& at) { return lb::BuildEnvelopeSampleLibrary(at, 1).root; }, 0,
         "  INBOX  ["},
        {"Envelope Index, layout 3",
         [](const fs::path& at) { return lb::BuildEnvelopeSampleLibrary(at, 3).root; }, 0,
         "  INBOX  ["},
        {"older mailbox tree",
         [&](const fs::path& at) {
             lb::WriteV1Mailbox(at / "Mail", "Inbox", messages);
             return at / "Mail";
         },
         2, "Inbox  [2]"},
        {"newer mailbox tree",
         [&](const fs::path& at) {
             lb::WriteV2Mailbox(at / "Mail", "Inbox", lb::MakeStoreUuid(1), messages);
             return at / "Mail";
         },
         2, "Inbox  [2]"},
        {"exported mailboxes",
         [&](const fs::path& at) {
             lb::WriteExportedMailbox(at / "Export", "Inbox",
                                      {messages[0].message, messages[1].message});
             return at / "Export";
         },
         2, " KB]"},
    };
    int n = 0;
    for (const auto& c : cases) {
        const fs::path at = home.path() / std::to_string(++n);
        const std::string source = c.build(at).string();
        const RunResult list = Kestrin({"list", source});
        EXPECT_EQ(list.status, kExitSuccess) << c.name << list.err;
        EXPECT_TRUE(Contains(list.out, c.listed)) << c.name << "\n" << list.out;

        const RunResult convert =
            Kestrin({"convert", source, "--to", "eml", "--out", (at / "out").string()});
        EXPECT_NE(convert.status, kExitUsage) << c.name << convert.err;
        EXPECT_NE(convert.status, kExitLoadFailed) << c.name << convert.err;
        if (c.messages) {
            EXPECT_EQ(CountFiles(at / "out" / "Converted Data" / "Mails", ".eml"), c.messages)
                << c.name << "\n" << convert.out;
        }
    }
}

TEST(CliSources, SkipEmptyLeavesOutFoldersWithoutMessages)
{
    kestrin_test::TempDir home;
    const fs::path source = home.path() / "Mail";
    lb::WriteV1Mailbox(source, "Empty", {});
    lb::WriteV1Mailbox(source, "Full", {{1, lb::MakeMessage("Hi", lb::TextPart("hi\n"))}});
    for (const bool skip : {false, true}) {
        const fs::path dir = home.path() / (skip ? "skipped" : "all");
        std::vector<std::string> args = {"convert", source.string(), "--to", "mbox", "--out",
                                         dir.string()};
        if (skip)
            args.push_back("--skip-empty");
        const RunResult run = Kestrin(args);
        ASSERT_EQ(run.status, kExitSuccess) << run.err;
        const std::string log =
            kestrin_test::ReadFile(dir / "Converted Data" / "Detailed Conversion Report.txt");
        EXPECT_EQ(Contains(log, "Begin processing Folder: /Empty/"), !skip) << log;
        EXPECT_TRUE(Contains(log, "Begin processing Folder: /Full/")) << log;
    }
}

TEST(CliInterrupts, SecondCtrlCExitsAtOnce)
{
    ResetInterrupts();
    RequestInterrupt();
    EXPECT_EQ(InterruptCount(), 1);
    EXPECT_EXIT(RequestInterrupt(), ::testing::ExitedWithCode(1), "interrupted");
    ResetInterrupts();
}

// The second Ctrl-C ends the process at once; the private copy of the mail
// database must not stay behind in the temporary folder.
TEST(CliInterrupts, SecondCtrlCRemovesThePrivateDatabaseCopy)
{
    kestrin_test::TempDir home;
    const fs::path temporary = home.path() / "tmp";
    fs::create_directories(temporary);
    kestrin_test::WriteFile(home.path() / "Envelope Index", "database");
    const char* previous = std::getenv("TMPDIR");
    const std::string saved = previous ? previous : "";
    setenv("TMPDIR", temporary.c_str(), 1);
    EXPECT_EXIT(
        {
            auto copy = KestrinMIMEEngineCommon::SqliteReadCopy::Create(
                (home.path() / "Envelope Index").string());
            if (!copy || fs::is_empty(temporary)) std::abort();
            ResetInterrupts();
            RequestInterrupt();
            RequestInterrupt();
        },
        ::testing::ExitedWithCode(1), "interrupted");
    if (previous)
        setenv("TMPDIR", saved.c_str(), 1);
    else
        unsetenv("TMPDIR");
    EXPECT_TRUE(fs::is_empty(temporary));
    ResetInterrupts();
}

}  // namespace
