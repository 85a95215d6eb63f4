// Folder names and subjects as an IMAP server or a shared folder may carry
// them, converted to every target: nothing may be written outside "Converted
// Data", nothing already on disk may change, every source folder keeps an
// output folder of its own, and the report names the folder actually used.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <sstream>

#include <boost/algorithm/string/predicate.hpp>
#include <boost/filesystem.hpp>

#include "cli/KestrinCli.h"
#include "libbuilder/Mailboxes.h"
#include "support/TestSupport.h"

using namespace KestrinCli;
namespace fs = boost::filesystem;
namespace lb = kestrin_libbuilder;

namespace {

// Source folder names; each folder holds one message whose subject is
// "message <n>" (n = position + 1).
const std::vector<std::string> kFolderNames = {
    " ..", "\t..", " .", " ._x", "a\nb", "a\x01" "b", "Caf\xC3\xA9", "Cafe\xCC\x81", "Cafe",
    "Work", "work", "Re: Plan", "Re_ Plan",
};

// Subjects that must not put control characters into file names.
const std::vector<std::string> kHostileSubjects = {
    "=?UTF-8?Q?line=0Abreak?=", "=?UTF-8?Q?bell=07and=1B[31mescape?=", " ..", "\t../..",
};

struct Target {
    const char* name;
    const char* option;
};

class HostileNames : public ::testing::TestWithParam<Target> {};

// Every file below root outside skip, with its content.
std::map<std::string, std::string> Snapshot(const fs::path& root, const fs::path& skip)
{
    std::map<std::string, std::string> files;
    for (fs::recursive_directory_iterator it(root), end; it != end; ++it) {
        if (it->path() == skip) {
            it.disable_recursion_pending();
            continue;
        }
        files[it->path().string()] =
            fs::is_regular_file(it->symlink_status()) ? kestrin_test::ReadFile(it->path()) : "<dir>";
    }
    return files;
}

std::vector<std::string> SavedAsLines(const std::string& log)
{
    std::vector<std::string> lines;
    std::istringstream in(log);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (boost::algorithm::starts_with(line, "Saved As: ")) lines.push_back(line.substr(10));
    }
    return lines;
}

// The folder (EML) or mailbox file (mbox: beside it; archive: inside it) a
// "Saved As" line names.
fs::path SavedPlace(std::string saved, const std::string& target)
{
    while (saved.size() > 1 && saved.back() == '/') saved.pop_back();
    const fs::path folder(saved);
    if (target == "eml") return folder;
    if (target == "archive") return folder / (folder.filename().string() + ".mbox");
    return saved + ".mbox";
}

// Which output place (an EML file's folder or a mailbox file) holds each
// message subject.
std::map<std::string, std::string> PlaceOfEachMessage(const fs::path& converted)
{
    std::map<std::string, std::string> places;
    for (fs::recursive_directory_iterator it(converted), end; it != end; ++it) {
        if (!fs::is_regular_file(it->path())) continue;
        const std::string text = kestrin_test::ReadFile(it->path());
        const bool eml = it->path().extension() == ".eml";
        if (!eml && it->path().extension() != ".mbox") continue;
        for (size_t at = text.find("Subject: message "); at != std::string::npos;
             at = text.find("Subject: message ", at + 1)) {
            const size_t end = text.find_first_of("\r\n", at);
            const std::string subject = text.substr(at + 9, end - at - 9);
            places[subject] = eml ? it->path().parent_path().string() : it->path().string();
        }
    }
    return places;
}

TEST_P(HostileNames, StayInsideConvertedDataAndApartFromEachOther)
{
    kestrin_test::TempDir home;
    kestrin_test::CapturedDiagnostics diagnostics;
    const fs::path source = home.path() / "Library" / "Mail";
    for (size_t i = 0; i < kFolderNames.size(); ++i)
        lb::WriteV1Mailbox(source, kFolderNames[i],
                           {{i + 1, lb::MakeMessage("message " + std::to_string(i + 1),
                                                    lb::TextPart("body\n"))}});
    // Below " ..", two more levels of " ..": joined as they were, they climb
    // out of the output folder.
    const size_t folderCount = kFolderNames.size() + 2;
    fs::path parent = source / (kFolderNames[0] + ".mbox");
    for (size_t i = kFolderNames.size() + 1; i <= folderCount; ++i)
        parent = lb::WriteV1Mailbox(parent, " ..",
                                    {{i, lb::MakeMessage("message " + std::to_string(i),
                                                         lb::TextPart("deep\n"))}});
    std::vector<lb::MailboxMessage> hostile;
    for (size_t i = 0; i < kHostileSubjects.size(); ++i)
        hostile.push_back({100 + i, lb::MakeMessage(kHostileSubjects[i], lb::TextPart("x\n"))});
    lb::WriteV1Mailbox(source, "Subjects", hostile);

    // What an escaping writer would hit: files beside and above the output.
    const fs::path out = home.path() / "out";
    kestrin_test::WriteFile(out / "Mails.mbox", "From - mine\n\nkeep\n");
    kestrin_test::WriteFile(out / " ...mbox", "keep\n");
    kestrin_test::WriteFile(home.path() / "Mails" / "x.eml", "keep\n");
    kestrin_test::WriteFile(home.path() / "Mails.mbox", "From - mine\n\nkeep\n");
    const fs::path converted = out / "Converted Data";
    const auto before = Snapshot(home.path(), converted);

    std::ostringstream stdOut, stdErr;
    const int status = RunKestrin({"convert", source.string(), "--to", GetParam().option, "--out",
                                   out.string(), "--no-progress"},
                                  stdOut, stdErr, {});
    ASSERT_EQ(status, kExitSuccess) << stdOut.str() << stdErr.str();

    EXPECT_EQ(Snapshot(home.path(), converted), before) << "written outside Converted Data";

    // One output place per source folder, the hostile subjects all in one.
    const auto places = PlaceOfEachMessage(converted);
    std::set<std::string> distinct;
    for (size_t i = 0; i < folderCount; ++i) {
        const auto place = places.find("message " + std::to_string(i + 1));
        ASSERT_NE(place, places.end()) << "message " << i + 1 << " is missing";
        EXPECT_TRUE(distinct.insert(place->second).second)
            << "message " << i + 1 << " shares " << place->second;
    }
    for (fs::recursive_directory_iterator it(converted), end; it != end; ++it) {
        const std::string name = it->path().filename().string();
        for (unsigned char c : name) EXPECT_FALSE(c < 0x20 || c == 0x7F) << it->path();
        EXPECT_NE(name[0], ' ') << it->path();
        EXPECT_NE(name[0], '.') << it->path();
    }

    // "Saved As" names the place actually written, one per source folder.
    const std::string log = kestrin_test::ReadFile(converted / "Detailed Conversion Report.txt");
    std::set<std::string> saved;
    for (const std::string& line : SavedAsLines(log)) {
        const fs::path place = SavedPlace(line, GetParam().option);
        EXPECT_TRUE(fs::exists(place)) << line;
        saved.insert(place.string());
    }
    for (const std::string& place : distinct) EXPECT_EQ(saved.count(place), 1u) << place << "\n" << log;
}

INSTANTIATE_TEST_SUITE_P(Targets, HostileNames,
                         ::testing::Values(Target{"Eml", "eml"}, Target{"Mbox", "mbox"},
                                           Target{"Archive", "archive"}),
                         [](const ::testing::TestParamInfo<Target>& info) { return info.param.name; });

TEST(HostileNamesList, ControlCharactersAreShownVisibly)
{
    kestrin_test::TempDir home;
    kestrin_test::CapturedDiagnostics diagnostics;
    const fs::path source = home.path() / "Mail";
    lb::WriteV1Mailbox(source, "a\nb", {});
    lb::WriteV1Mailbox(source, "bell\x07" "esc\x1b[2J", {});
    std::ostringstream stdOut, stdErr;
    ASSERT_EQ(RunKestrin({"list", source.string()}, stdOut, stdErr, {}), kExitSuccess) << stdErr.str();
    const std::string listing = stdOut.str();
    for (unsigned char c : listing) EXPECT_FALSE((c < 0x20 && c != '\n') || c == 0x7F) << int(c);
    EXPECT_NE(listing.find("a\xE2\x90\x8A" "b"), std::string::npos) << listing;  // U+240A
    EXPECT_NE(listing.find("bell\xE2\x90\x87" "esc\xE2\x90\x9B[2J"), std::string::npos) << listing;
    // A name with a newline still takes one line: the root and two folders.
    EXPECT_EQ(std::count(listing.begin(), listing.end(), '\n'), 3);
}

}  // namespace
