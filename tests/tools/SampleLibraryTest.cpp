// The sample-library generator, run in-process: the library it writes opens
// as an Envelope Index store with both accounts named, the nested, label and
// non-ASCII mailboxes in place, every message readable (the header-only one
// included), generated messages spread over the mailboxes, the same bytes on
// every run, and plain errors for wrong use.
#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include <boost/filesystem.hpp>
#include <boost/make_shared.hpp>

#include "applemail/AppleMailDBStoreSQLITE.h"
#include "applemail/AppleMailStoreHelper.h"
#include "applemail/EnvelopeTestSupport.h"
#include "formats/EMLEmailAsset.h"
#include "mime/MimeServices.h"
#include "sample-library/SampleLibrary.h"
#include "streams/KSContainerData.h"
#include "support/TestSupport.h"

namespace fs = boost::filesystem;
using namespace KestrinMIMEEngineCommon;
using envelope_test::FoldersByPath;
using envelope_test::ListFolder;

namespace {

struct GeneratorRun {
    int status = -1;
    std::string out;
    std::string err;
};

GeneratorRun Generate(const std::vector<std::string>& args)
{
    std::ostringstream out, err;
    GeneratorRun run;
    run.status = kestrin_sample::RunSampleLibraryCommand(args, out, err);
    run.out = out.str();
    run.err = err.str();
    return run;
}

struct OpenedLibrary {
    boost::shared_ptr<AppleMailDBStoreSQLITE> store;
    std::map<std::string, boost::shared_ptr<IAssetFolder>> folders;
};

OpenedLibrary Open(const fs::path& mailFolder)
{
    OpenedLibrary opened;
    opened.store = boost::dynamic_pointer_cast<AppleMailDBStoreSQLITE>(
        AppleMailStoreHelper::CreateStore(mailFolder.string(), L"Apple Mail Database", {}));
    if (opened.store && opened.store->Open({}, {}, {}, false) == Status::Succeeded)
        opened.folders = FoldersByPath(opened.store->GetRootFolder());
    return opened;
}

std::string RawText(const boost::shared_ptr<IAsset>& asset)
{
    auto email = boost::dynamic_pointer_cast<IEmailAsset>(asset);
    if (!email)
        return std::string();
    auto bytes = boost::make_shared<KSByteVector>();
    email->WriteRawMessage(boost::make_shared<KSVectorData>(bytes));
    return std::string(bytes->begin(), bytes->end());
}

std::string SubjectLine(const std::string& raw)
{
    const size_t start = raw.find("Subject: ");
    return start == std::string::npos ? std::string() : raw.substr(start, raw.find('\n', start) - start);
}

const std::string kImap = "/anna.schmidt@example.com/";
const std::string kLocal = "/On My Mac/";

struct ExpectedFolder {
    std::string path;
    int64_t count;
    int64_t headerOnly;
};

// What a reader must find, written out rather than taken from the generator.
const std::vector<ExpectedFolder> kBaseFolders = {
    {kImap + "INBOX/", 8, 1},
    {kImap + "INBOX/Projects/", 2, 0},
    {kImap + "Sent Messages/", 2, 0},
    {kImap + "Archive/2023/", 3, 0},
    {kImap + "[Gmail]/All Mail/", 3, 0},
    {kImap + "Reisen/", 2, 0},
    {kImap + "\xCE\x95\xCE\xBB\xCE\xBB\xCE\xB7\xCE\xBD\xCE\xB9\xCE\xBA\xCE\xAC/", 1, 0},
    {kImap + "Junk/", 0, 0},
    {kLocal + "\xC3\x9C" "berweisungen/", 2, 0},
    {kLocal + "Receipts/", 1, 0},
};

class SampleLibraryTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { InitializeMimeEngine(); }

    kestrin_test::TempDir dir;
};

TEST_F(SampleLibraryTest, OpensWithNamedAccountsNestedMailboxesAndEveryMessage)
{
    const GeneratorRun run = Generate({dir.str()});
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_NE(std::string::npos, run.out.find("24 messages listed (1 without a file)")) << run.out;
    const fs::path mail = dir.path() / "Library" / "Mail";
    EXPECT_TRUE(fs::is_regular_file(dir.path() / "Library" / "Accounts" / "Accounts4.sqlite"));

    kestrin_test::CapturedDiagnostics diagnostics;
    OpenedLibrary library = Open(mail);
    ASSERT_TRUE(library.store);
    ASSERT_FALSE(library.folders.empty());
    EXPECT_EQ(StoreKind::EnvelopeIndex, library.store->GetStoreKind());
    EXPECT_EQ(10, library.store->GetLayoutVersion());

    // Accounts carry the names the account database gives them; grouping
    // folders hold the nested mailboxes.
    for (const std::string& grouping : {kImap, kLocal, kImap + "Archive/", kImap + "[Gmail]/"}) {
        ASSERT_EQ(1u, library.folders.count(grouping)) << grouping;
        EXPECT_NE(kFolderKindMail, library.folders[grouping]->GetFolderKind()) << grouping;
    }

    int64_t mailboxes = 0;
    for (const auto& entry : library.folders)
        mailboxes += entry.second->GetFolderKind() == kFolderKindMail;
    EXPECT_EQ(static_cast<int64_t>(kBaseFolders.size()), mailboxes);

    std::map<std::string, std::string> inbox;  // subject line -> raw message
    for (const auto& expected : kBaseFolders) {
        SCOPED_TRACE(expected.path);
        auto it = library.folders.find(expected.path);
        ASSERT_NE(library.folders.end(), it);
        EXPECT_EQ(kFolderKindMail, it->second->GetFolderKind());
        EXPECT_EQ(expected.count, it->second->GetAssetCount());
        const auto items = ListFolder(it->second);
        ASSERT_EQ(static_cast<size_t>(expected.count), items.size());
        int64_t headerOnly = 0;
        for (const auto& item : items) {
            ASSERT_TRUE(item.asset);
            headerOnly += boost::dynamic_pointer_cast<EMLEmailAsset>(item.asset) != nullptr;
            const std::string raw = RawText(item.asset);
            EXPECT_NE(std::string::npos, raw.find("Subject: ")) << item.id;
            if (expected.path == kImap + "INBOX/")
                inbox[SubjectLine(raw)] = raw;
        }
        EXPECT_EQ(expected.headerOnly, headerOnly);
    }

    // The attachment kept in a ".emlxpart" and the attached folder are put
    // back into their messages.
    const std::string quarterly = inbox["Subject: Quarterly report Q4/2022"];
    EXPECT_NE(std::string::npos, quarterly.find("application/pdf"));
    EXPECT_GT(quarterly.size(), 8000u);
    const std::string photos = inbox["Subject: Fotos vom Wochenende"];
    EXPECT_NE(std::string::npos, photos.find("Wochenende.zip"));
    EXPECT_NE(std::string::npos, photos.find("UEsDB")) << "no zip archive (\"PK\\3\\4\") in the message";
    // The Japanese subject travels as an encoded word.
    EXPECT_EQ(1u, inbox.count("Subject: =?UTF-8?B?5Lya6K2w44Gu6K2w5LqL6Yyy77yI56ysM+Wbm+WNiuacn++8iQ==?="));
    EXPECT_EQ(Status::Succeeded, library.store->Close());
}

TEST_F(SampleLibraryTest, GeneratedMessagesAreSpreadOverTheMailboxesTheyAreListedIn)
{
    const GeneratorRun run = Generate({dir.str(), "--messages", "40"});
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_NE(std::string::npos, run.out.find("64 messages listed")) << run.out;

    kestrin_test::CapturedDiagnostics diagnostics;
    OpenedLibrary library = Open(dir.path() / "Library" / "Mail");
    ASSERT_TRUE(library.store);
    int64_t total = 0;
    int64_t grown = 0;
    for (const auto& expected : kBaseFolders) {
        SCOPED_TRACE(expected.path);
        auto it = library.folders.find(expected.path);
        ASSERT_NE(library.folders.end(), it);
        const int64_t count = it->second->GetAssetCount();
        const auto items = ListFolder(it->second);
        EXPECT_EQ(static_cast<size_t>(count), items.size());
        for (const auto& item : items)
            EXPECT_FALSE(RawText(item.asset).empty()) << item.id;
        total += count;
        grown += count > expected.count;
        // The label and the junk mailbox receive nothing.
        if (expected.path == kImap + "Reisen/" || expected.path == kImap + "Junk/") {
            EXPECT_EQ(expected.count, count);
        } else {
            EXPECT_GT(count, expected.count);
        }
    }
    EXPECT_EQ(24 + 40, total);
    EXPECT_EQ(8, grown);
}

// The benchmark's libraries: generated messages spread over many sibling
// mailboxes, and listed without their files.
TEST_F(SampleLibraryTest, SiblingFoldersAndHeaderOnlyMessages)
{
    const fs::path generated = dir / "generated";
    const GeneratorRun run =
        Generate({generated.string(), "--messages", "45", "--folders=15", "--header-only"});
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_NE(std::string::npos, run.out.find("25 mailboxes, 69 messages listed (46 without a file)"))
        << run.out;
    // Not one message file more than the sample's own.
    ASSERT_EQ(0, Generate({(dir / "plain").string()}).status);
    auto messageFiles = [](const fs::path& root) {
        size_t files = 0;
        for (fs::recursive_directory_iterator it(root), end; it != end; ++it)
            files += it->path().extension() == ".emlx";
        return files;
    };
    EXPECT_EQ(messageFiles(dir / "plain"), messageFiles(generated));

    kestrin_test::CapturedDiagnostics diagnostics;
    OpenedLibrary library = Open(generated / "Library" / "Mail");
    ASSERT_TRUE(library.store);
    for (const auto& expected : kBaseFolders) {
        ASSERT_EQ(1u, library.folders.count(expected.path)) << expected.path;
        EXPECT_EQ(expected.count, library.folders[expected.path]->GetAssetCount()) << expected.path;
    }
    for (const char* name : {"Folder 0001", "Folder 0008", "Folder 0015"}) {
        SCOPED_TRACE(name);
        auto it = library.folders.find(kLocal + name + "/");
        ASSERT_NE(library.folders.end(), it);
        const auto items = ListFolder(it->second);
        ASSERT_EQ(3u, items.size());
        for (const auto& item : items) {
            EXPECT_TRUE(boost::dynamic_pointer_cast<EMLEmailAsset>(item.asset)) << item.id;
            EXPECT_NE(std::string::npos, RawText(item.asset).find("Subject: ")) << item.id;
        }
    }
    EXPECT_EQ(0u, library.folders.count(kLocal + "Folder 0016/"));
}

TEST_F(SampleLibraryTest, WritesTheSameBytesOnEveryRun)
{
    ASSERT_EQ(0, Generate({(dir / "first").string(), "--messages=12"}).status);
    ASSERT_EQ(0, Generate({(dir / "second").string(), "--messages=12"}).status);

    std::map<std::string, std::string> first;
    const fs::path firstRoot = dir / "first";
    for (fs::recursive_directory_iterator it(firstRoot), end; it != end; ++it)
        if (fs::is_regular_file(it->path()))
            first[fs::relative(it->path(), firstRoot).string()] = kestrin_test::ReadFile(it->path());
    size_t compared = 0;
    const fs::path secondRoot = dir / "second";
    for (fs::recursive_directory_iterator it(secondRoot), end; it != end; ++it) {
        if (!fs::is_regular_file(it->path()))
            continue;
        const std::string relative = fs::relative(it->path(), secondRoot).string();
        ASSERT_EQ(1u, first.count(relative)) << relative;
        EXPECT_TRUE(first[relative] == kestrin_test::ReadFile(it->path())) << relative;
        ++compared;
    }
    EXPECT_EQ(first.size(), compared);
    EXPECT_GT(compared, 40u);
}

struct UsageCase {
    const char* name;
    std::vector<std::string> args;  // "@" stands for the temporary folder
};

class SampleLibraryUsageTest : public ::testing::TestWithParam<UsageCase> {};

TEST_P(SampleLibraryUsageTest, WrongUseWritesNothingAndExits64)
{
    kestrin_test::TempDir dir;
    std::vector<std::string> args;
    for (const auto& arg : GetParam().args)
        args.push_back(arg == "@" ? dir.str() : arg);
    const GeneratorRun run = Generate(args);
    EXPECT_EQ(64, run.status);
    EXPECT_NE(std::string::npos, run.err.find("usage: kestrin-sample-library")) << run.err;
    EXPECT_FALSE(fs::exists(dir / "Library"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SampleLibraryUsageTest,
    ::testing::Values(UsageCase{"NoOutputFolder", {}},
                      UsageCase{"CountMissing", {"@", "--messages"}},
                      UsageCase{"CountNotANumber", {"@", "--messages", "many"}},
                      UsageCase{"NegativeCount", {"@", "--messages=-5"}},
                      UsageCase{"UnknownOption", {"@", "--layout", "7"}},
                      UsageCase{"FolderCountMissing", {"@", "--folders"}},
                      UsageCase{"FolderCountNotANumber", {"@", "--folders=some"}},
                      UsageCase{"TwoOutputFolders", {"@", "/tmp/elsewhere"}}),
    [](const ::testing::TestParamInfo<UsageCase>& info) { return std::string(info.param.name); });

TEST_F(SampleLibraryTest, NeverWritesOverAnExistingMailFolder)
{
    const fs::path mail = dir.path() / "Library" / "Mail";
    kestrin_test::WriteFile(mail / "V10" / "MailData" / "Envelope Index", "real mail");

    const GeneratorRun run = Generate({dir.str()});
    EXPECT_EQ(1, run.status);
    EXPECT_NE(std::string::npos, run.err.find("already exists")) << run.err;
    EXPECT_EQ("real mail", kestrin_test::ReadFile(mail / "V10" / "MailData" / "Envelope Index"));
    EXPECT_FALSE(fs::exists(dir.path() / "Library" / "Accounts"));
}

}  // namespace
