// What `kestrin convert` tells at the end: the totals, the read-back check
// (--verify) and the JSON result (--json), on a generated sample library.
#include <gtest/gtest.h>

#include <cerrno>
#include <sstream>

#include <boost/filesystem.hpp>
#include <nlohmann/json.hpp>

#include "cli/CliRun.h"
#include "cli/KestrinCli.h"
#include "libbuilder/EnvelopeSamples.h"
#include "app/ResultSummary.h"
#include "support/RefusingOutput.h"
#include "support/TestSupport.h"

namespace {

using namespace KestrinCli;
namespace fs = boost::filesystem;
namespace lb = kestrin_libbuilder;
using nlohmann::json;

using kestrin_cli_test::Contains;
using kestrin_cli_test::Kestrin;
using kestrin_cli_test::RunResult;
using kestrin_cli_test::SampleLibraryTest;

fs::path FirstFileBelow(const fs::path& folder, const std::string& extension)
{
    if (!fs::is_directory(folder)) return {};
    for (fs::recursive_directory_iterator it(folder), end; it != end; ++it)
        if (fs::is_regular_file(it->path()) && it->path().extension() == extension) return it->path();
    return {};
}

class CliResultTest : public SampleLibraryTest {
protected:
    // The totals must add up whatever happened.
    static void ExpectTotalsAddUp(const json& result, const std::string& label)
    {
        const json& totals = result.at("totals");
        int64_t processed = 0, failed = 0, skipped = 0, notDownloaded = 0;
        for (const json& folder : result.at("folders")) {
            processed += folder.at("processed").get<int64_t>();
            failed += folder.at("failed").get<int64_t>();
            skipped += folder.at("skipped").get<int64_t>();
            notDownloaded += folder.at("notDownloaded").get<int64_t>();
            EXPECT_EQ(folder.at("failedMessages").size(), folder.at("failed").get<size_t>()) << label;
        }
        EXPECT_EQ(totals.at("converted").get<int64_t>(), processed) << label;
        EXPECT_EQ(totals.at("failed").get<int64_t>(), failed) << label;
        EXPECT_EQ(totals.at("skipped").get<int64_t>(), skipped) << label;
        EXPECT_EQ(totals.at("notDownloaded").get<int64_t>(), notDownloaded) << label;
        EXPECT_EQ(totals.at("listed").get<int64_t>(),
                  processed + failed + skipped + totals.at("notOnDisk").get<int64_t>())
            << label;
    }

    kestrin_test::TempDir out;
    kestrin_test::CapturedDiagnostics diagnostics;
};


TEST_F(CliResultTest, JsonResultAndReadBackAgreeForEveryTarget)
{
    for (const char* target : {"eml", "mbox", "archive", "maildir"}) {
        const fs::path dir = out.path() / target;
        const RunResult run = Kestrin(
            {"convert", Source(), "--to", target, "--out", dir.string(), "--verify", "--json"});
        EXPECT_EQ(run.status, kExitSuccess) << target << run.err;
        json result;
        ASSERT_NO_THROW(result = json::parse(run.out)) << target << ": " << run.out;
        EXPECT_EQ(result.at("status"), "succeeded") << target;
        EXPECT_EQ(result.at("target"), target);
        EXPECT_EQ(result.at("source"), Source());
        EXPECT_EQ(result.at("outputFolder"), (dir / "Converted Data").string());
        EXPECT_TRUE(fs::is_regular_file(result.at("logPath").get<std::string>())) << target;
        EXPECT_EQ(result.at("totals").at("converted").get<int64_t>(), s_library->TotalMessages())
            << target;
        EXPECT_EQ(result.at("totals").at("notDownloaded").get<int64_t>(),
                  s_library->TotalHeaderOnly())
            << target;
        EXPECT_EQ(result.at("totals").at("failed").get<int64_t>(), 0) << target;
        ExpectTotalsAddUp(result, target);

        const json& verify = result.at("verify");
        EXPECT_TRUE(verify.at("ok").get<bool>()) << target << ": " << verify.dump(1);
        int64_t found = 0;
        for (const json& folder : verify.at("folders")) {
            EXPECT_EQ(folder.at("found"), folder.at("processed")) << target << folder.dump();
            found += folder.at("found").get<int64_t>();
        }
        EXPECT_EQ(found, s_library->TotalMessages()) << target;
        // The report still reaches the user, beside the object.
        EXPECT_TRUE(Contains(run.err, "Conversion completed")) << run.err;
        EXPECT_TRUE(Contains(run.err, "Every output folder holds the messages written to it."));
    }
}

TEST_F(CliResultTest, ClosingLinesGiveTheTotals)
{
    const RunResult run = Kestrin({"convert", Source(), "--to", "mbox", "--out", out.str()});
    EXPECT_EQ(run.status, kExitSuccess) << run.err;
    const std::string total = std::to_string(s_library->TotalMessages());
    // Mailboxes the index lists without a folder on disk count among the listed.
    int64_t notOnDisk = 0;
    for (const auto& mailbox : s_library->recipe.mailboxes)
        if (mailbox.bundle.empty()) notOnDisk += static_cast<int64_t>(mailbox.messages.size());
    ASSERT_GT(notOnDisk, 0);
    const std::string expected = "Messages listed: " +
                                 std::to_string(s_library->TotalMessages() + notOnDisk) +
                                 "\nMessages converted: " + total +
                                 "\nConverted header-only (not downloaded): " +
                                 std::to_string(s_library->TotalHeaderOnly()) +
                                 // The sample holds one message whose attachment
                                 // Apple Mail never downloaded.
                                 "\nConverted without some attachments (not fully downloaded): 1"
                                 "\nConverted damaged (message file cut short): 0"
                                 "\nConverted with repairs (see NOTE lines of the report): 0"
                                 "\nMessages failed: 0\nMessages skipped: 0"
                                 "\nListed but not on this disk (mailbox folder missing): " +
                                 std::to_string(notOnDisk) + "\n";
    EXPECT_TRUE(Contains(run.out, expected)) << run.out;
    EXPECT_FALSE(Contains(run.out, "Verified:")) << "no read-back without --verify";
}

// A message file taken away during the run: the export's own account says
// all went well, the read-back finds one fewer and says where.
TEST_F(CliResultTest, VerifyNamesAFolderThatLostAMessage)
{
    CliEnvironment environment;
    int shown = 0;
    fs::path removed;
    environment.onItemShown = [&](const std::wstring&) {
        if (++shown == 3) {
            removed = FirstFileBelow(out.path() / "Converted Data" / "Mails", ".eml");
            fs::remove(removed);
        }
    };
    const RunResult run =
        Kestrin({"convert", Source(), "--to", "eml", "--out", out.str(), "--verify"}, environment);
    ASSERT_FALSE(removed.empty());
    EXPECT_EQ(run.status, kExitErrors) << run.out;
    EXPECT_TRUE(Contains(run.out, "Conversion completed")) << run.out;
    EXPECT_TRUE(Contains(run.out, "DIFFERENCE: " + removed.parent_path().string() + ": ")) << run.out;
    EXPECT_TRUE(Contains(run.out, "The output does not hold every message written")) << run.out;
}

// The output folder moved away after the first messages: it is not made
// again, the export stops at the first message it cannot write, naming the
// cause, and the totals still add up.
TEST_F(CliResultTest, OutputMovedDuringTheRunStopsItAndIsNotMadeAgain)
{
    const struct {
        const char* target;
        const char* moved;
    } cases[] = {{"mbox", "Mails"}, {"archive", "Apple Mail Export.rge"}, {"maildir", "Mails"}};
    for (const auto& c : cases) {
        const fs::path dir = out.path() / c.target;
        const fs::path output = dir / "Converted Data" / c.moved;
        CliEnvironment environment;
        int shown = 0;
        environment.onItemShown = [&](const std::wstring&) {
            if (++shown == 2) fs::rename(output, dir / "moved away");
        };
        const RunResult run = Kestrin(
            {"convert", Source(), "--to", c.target, "--out", dir.string(), "--json"}, environment);
        EXPECT_EQ(run.status, kExitErrors) << c.target << run.err;
        EXPECT_FALSE(fs::exists(output)) << c.target << ": made again";
        json result;
        ASSERT_NO_THROW(result = json::parse(run.out)) << run.out;
        EXPECT_EQ(result.at("status"), "failed");
        EXPECT_EQ(result.value("stop", ""), "output-removed") << c.target;
        EXPECT_GT(result.at("totals").at("failed").get<int64_t>(), 0) << c.target;
        // Stopped at once: the messages after the stop were never tried.
        EXPECT_LT(result.at("totals").at("listed").get<int64_t>(),
                  s_library->TotalMessages() + result.at("totals").at("notOnDisk").get<int64_t>());
        EXPECT_EQ(result.at("totals").at("failed").get<int64_t>(), 1) << c.target;
        ExpectTotalsAddUp(result, c.target);
    }
}

}  // namespace

namespace {

// A disk that fills during the run: the export stops at once, the closing
// lines say why and how far it got, and the report holds every line up to
// the stop.
TEST_F(CliResultTest, FullDiskStopsAtOnceAndSaysHowFarItGot)
{
    auto disk = std::make_shared<kestrin_test::RefusingDisk>();
    disk->room = 2;
    disk->error = ENOSPC;
    CliEnvironment environment;
    environment.providers = kestrin_test::RefusingProviders(disk);
    const RunResult run =
        Kestrin({"convert", Source(), "--to", "eml", "--out", out.str(), "--json"}, environment);
    EXPECT_EQ(run.status, kExitErrors) << run.err;
    EXPECT_EQ(disk->refused, 1) << "no message is tried after the disk refused one";
    json result;
    ASSERT_NO_THROW(result = json::parse(run.out)) << run.out;
    EXPECT_EQ(result.at("status"), "failed");
    EXPECT_EQ(result.at("stop"), "no-space");
    EXPECT_EQ(result.at("totals").at("converted").get<int64_t>(), 2);
    ExpectTotalsAddUp(result, "disk full");

    const std::string line = "No space left on device: 2 of " +
                             KestrinApp::GroupedNumber(s_library->TotalMessages()) +
                             " messages written";
    EXPECT_EQ(run.err.rfind("Conversion stopped\n" + line + "\n", 0), 0u) << run.err;
    const std::string log = kestrin_test::ReadFile(result.at("logPath").get<std::string>());
    ASSERT_GE(log.size(), line.size() + 2);
    EXPECT_EQ(log.substr(log.size() - line.size() - 2), line + "\r\n");
    EXPECT_NE(log.find("Operation completed with errors."), std::string::npos);
}

}  // namespace
