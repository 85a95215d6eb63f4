// What scripts and new users meet first: --version, the help of each
// command, and a JSON listing that stays valid whatever bytes the mail
// folder's names hold.
#include <gtest/gtest.h>

#include <sstream>

#include <boost/filesystem.hpp>
#include <nlohmann/json.hpp>

#include "KestrinVersion.h"
#include "cli/KestrinCli.h"
#include "CliRun.h"
#include "libbuilder/Mailboxes.h"
#include "support/TestSupport.h"

using namespace KestrinCli;
using namespace kestrin_cli_test;
namespace fs = boost::filesystem;
namespace lb = kestrin_libbuilder;

namespace {

TEST(CliVersion, PrintsTheProjectVersionOnStandardOutput)
{
    const RunResult run = Kestrin({"--version"});
    EXPECT_EQ(run.status, kExitSuccess);
    EXPECT_EQ(run.out, std::string("kestrin ") + KESTRIN_VERSION + "\n");
    EXPECT_TRUE(run.err.empty()) << run.err;
    EXPECT_FALSE(std::string(KESTRIN_VERSION).empty());
}

TEST(CliHelp, EveryWayOfAskingPrintsTheRightHelpAndSucceeds)
{
    struct Case {
        const char* name;
        std::vector<std::string> args;
        std::vector<std::string> says;  // parts of the text on standard output
    };
    const Case cases[] = {
        {"general help", {"--help"}, {"kestrin list    [SOURCE] [--json]", "--version", "COMMAND --help"}},
        {"short general help", {"-h"}, {"Usage:", "kestrin --version"}},
        {"help word", {"help"}, {"Usage:", "kestrin --version"}},
        {"help word with a command", {"help", "convert"}, {"Usage: kestrin convert", "--skip-empty"}},
        {"list help", {"list", "--help"}, {"Usage: kestrin list [SOURCE] [--json]", "--json", "U+FFFD"}},
        {"convert help", {"convert", "-h"},
         {"Usage: kestrin convert [SOURCE] --to eml|mbox|archive|maildir --out DIR", "--folder PATH",
          "--skip-empty", "--no-progress", "Exit status: 0 success, 1 cancelled"}},
        // Help wins over what would otherwise be wrong usage.
        {"convert help without its required options", {"convert", "/x", "--help"},
         {"Usage: kestrin convert"}},
        {"help after an unknown option", {"list", "--fast", "--help"}, {"Usage: kestrin list"}},
    };
    for (const auto& c : cases) {
        const RunResult run = Kestrin(c.args);
        EXPECT_EQ(run.status, kExitSuccess) << c.name << ": " << run.err;
        EXPECT_TRUE(run.err.empty()) << c.name << ": " << run.err;
        for (const auto& part : c.says)
            EXPECT_TRUE(Contains(run.out, part)) << c.name << " lacks " << part << "\n" << run.out;
    }
    // A command's help is about that command only.
    EXPECT_FALSE(Contains(Kestrin({"list", "--help"}).out, "--to"));
    EXPECT_FALSE(Contains(Kestrin({"convert", "--help"}).out, "the folder tree as one JSON object"));
}

TEST(CliHelp, WordsAfterDoubleDashAreNeverHelp)
{
    // "--help" after "--" names a source folder, which does not exist.
    kestrin_test::CapturedDiagnostics diagnostics;
    const RunResult run = Kestrin({"list", "--", "--help"});
    EXPECT_EQ(run.status, kExitLoadFailed) << run.out << run.err;
    EXPECT_TRUE(run.out.empty()) << run.out;
}

TEST(CliHelp, VersionAndHelpAreNoCommandsOrOptionsOfCommands)
{
    const RunResult unknown = Kestrin({"list", "--version"});
    EXPECT_EQ(unknown.status, kExitUsage);
    EXPECT_TRUE(Contains(unknown.err, "unknown option --version")) << unknown.err;
}

// Every folder of the parsed tree, name by path.
void CollectNames(const nlohmann::json& node, std::map<std::string, std::string>& names)
{
    names[node.at("path").get<std::string>()] = node.at("name").get<std::string>();
    for (const auto& child : node.at("children"))
        CollectNames(child, names);
}

bool IsValidUtf8(const std::string& text)
{
    try {
        (void)nlohmann::json(text).dump();  // the strict handler throws on bad bytes
        return true;
    } catch (const nlohmann::json::type_error&) {
        return false;
    }
}

TEST(CliJson, ListingStaysValidJsonWhateverBytesNamesHold)
{
    kestrin_test::CapturedDiagnostics diagnostics;
    kestrin_test::TempDir home;
    // The source's own path holds a byte that is not UTF-8 and a control
    // character: the location is printed as it was given.
    const fs::path source = home.path() / std::string("Mail\xff\x01 copy");
    const std::vector<lb::MailboxMessage> one = {
        {1, lb::MakeMessage("Hello", lb::TextPart("hello\n"))}};
    struct Case {
        const char* name;
        std::string bundle;  // the mailbox's name on disk
    };
    const Case cases[] = {
        {"invalid UTF-8", "Caf\xe9 \xff\xfe"},
        {"truncated sequence", "Half \xe2\x82"},
        {"control characters", "Tab\there\x01\x1f bell\x07"},
        {"quotes and backslashes", "say \"hi\" \\ there"},
        {"valid non-ASCII", "Gr\xc3\xbc\xc3\x9f\x65 \xe2\x82\xac"},
    };
    for (const auto& c : cases)
        lb::WriteV1Mailbox(source, c.bundle, one);

    const RunResult run = Kestrin({"list", source.string(), "--json"});
    ASSERT_EQ(run.status, kExitSuccess) << run.err;
    // One line: every control character is escaped.
    EXPECT_EQ(run.out.find('\n'), run.out.size() - 1) << run.out;

    nlohmann::json json;
    ASSERT_NO_THROW(json = nlohmann::json::parse(run.out)) << run.out;
    ASSERT_TRUE(IsValidUtf8(run.out));

    const std::string location = json.at("store").at("location").get<std::string>();
    EXPECT_EQ(location, (home.path() / "Mail\xEF\xBF\xBD\x01 copy").string());

    std::map<std::string, std::string> names;
    CollectNames(json.at("root"), names);
    std::string listed;
    for (const auto& name : names)
        listed += name.second + " | ";
    // Names that were valid text come back unchanged; the others keep
    // their readable part.
    for (const auto& c : cases) {
        const bool valid = IsValidUtf8(c.bundle);
        bool found = false;
        for (const auto& name : names) {
            const std::string& text = name.second;
            found = found || (valid ? text == c.bundle
                                    : text.compare(0, 3, c.bundle, 0, 3) == 0);
            EXPECT_TRUE(IsValidUtf8(name.first)) << name.first;
        }
        EXPECT_TRUE(found) << c.name << " not in: " << listed;
    }
}

}  // namespace
