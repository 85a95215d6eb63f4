// The archive's output store provider, alone and under the export driver.
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ArchiveTestHelpers.h"
#include "archive/OutputMSEStoreProvider.h"
#include "export/ExportDriver.h"
#include "export/FakeEngine.h"
#include "mime/KSCharsets.h"

namespace archive_test {
namespace {

class ContactItem : public IAsset {
public:
    std::wstring GetDescription() override { return L"contact"; }
    std::wstring GetTitle(NameStyle) override { return L"contact"; }
    int GetAssetType() override { return kAssetTypeContact; }
    uint64_t GetSize() override { return 0; }
};

struct NamingCase {
    const char* name;
    std::vector<std::string> existingDirectories;
    std::vector<std::string> existingFiles;
    std::vector<std::string> danglingLinks;
    std::string expected;
};

class PackageNaming : public ::testing::TestWithParam<NamingCase> {};

TEST_P(PackageNaming, TakesTheFirstFreeName)
{
    const NamingCase& row = GetParam();
    kestrin_test::TempDir dir;
    for (const auto& name : row.existingDirectories) fs::create_directories(dir / name);
    for (const auto& name : row.existingFiles) kestrin_test::WriteFile(dir / name, "mine");
    for (const auto& name : row.danglingLinks) fs::create_symlink(dir / "nowhere", dir / name);

    auto source = MboxSource(dir / "src", L"Src", {{"Inbox", {"m"}}});
    std::vector<std::string> expected = Listing(dir.path(), false);
    OutputMSEStoreProvider provider(dir.str(), L"Apple Mail Export");
    EXPECT_EQ(Listing(dir.path(), false), expected);  // nothing made before the first item

    auto folder = provider.GetOutputFolder(SourceFolder(source, {L"Inbox"}), Message("m"), false);
    ASSERT_TRUE(folder);
    ASSERT_TRUE(provider.GetArchiveStore());
    EXPECT_EQ(provider.GetArchiveStore()->GetLocation(), (dir / row.expected).string());
    EXPECT_EQ(provider.GetArchiveStore()->GetStoreName(), UTF8ToWide(row.expected));
    EXPECT_TRUE(fs::exists(dir / row.expected / "Archive.xml"));
    for (const auto& name : row.existingFiles) EXPECT_EQ(kestrin_test::ReadFile(dir / name), "mine");
    for (const auto& name : row.existingDirectories) EXPECT_TRUE(fs::is_empty(dir / name));
}

INSTANTIATE_TEST_SUITE_P(
    Targets, PackageNaming,
    ::testing::Values(
        NamingCase{"EmptyFolder", {}, {}, {}, "Apple Mail Export.rge"},
        NamingCase{"PackageExists", {"Apple Mail Export.rge"}, {}, {}, "Apple Mail Export (1).rge"},
        NamingCase{"FileAndFirstNumberTaken",
                   {"Apple Mail Export (1).rge"},
                   {"Apple Mail Export.rge"},
                   {},
                   "Apple Mail Export (2).rge"},
        NamingCase{"DanglingLink", {}, {}, {"Apple Mail Export.rge"}, "Apple Mail Export (1).rge"},
        NamingCase{"OtherNamesDoNotMatter",
                   {"Apple Mail Export (1).rge", "Apple Mail Export"},
                   {"Apple Mail Export.rge.txt"},
                   {},
                   "Apple Mail Export.rge"}),
    [](const ::testing::TestParamInfo<NamingCase>& info) { return info.param.name; });

TEST(OutputMSEStoreProvider, DefaultFoldersByItemTypeAndFlag)
{
    kestrin_test::TempDir dir;
    auto source = MboxSource(dir / "src", L"Src", {{"Inbox/Deep", {"m"}}});
    auto deep = SourceFolder(source, {L"Inbox", L"Deep"});
    OutputMSEStoreProvider provider(dir.str(), L"Apple Mail Export");

    auto contacts = provider.GetOutputFolder(deep, boost::make_shared<ContactItem>(), false);
    auto store = provider.GetArchiveStore();
    ASSERT_TRUE(store);
    EXPECT_EQ(contacts, store->GetContactsFolder());
    EXPECT_EQ(provider.GetOutputFolder(deep, Message("m"), true), store->GetMailFolder());
    auto mapped = provider.GetOutputFolder(deep, Message("m"), false);
    ASSERT_TRUE(mapped);
    EXPECT_EQ(mapped->GetPath(), L"/Mail/Inbox/Deep/");

    EXPECT_EQ(provider.CloseStores(), Status::Succeeded);
    EXPECT_FALSE(store->IsOpen());
}

TEST(OutputMSEStoreProvider, PackageThatCannotBeMadeGivesNoFolderAndIsNotRetried)
{
    kestrin_test::TempDir dir;
    kestrin_test::WriteFile(dir / "plain file", "");
    auto source = MboxSource(dir / "src", L"Src", {{"Inbox", {"m"}}});
    OutputMSEStoreProvider provider((dir / "plain file").string(), L"Apple Mail Export");
    for (int i = 0; i < 2; ++i)
        EXPECT_FALSE(provider.GetOutputFolder(SourceFolder(source, {L"Inbox"}), Message("m"), false));
    EXPECT_FALSE(provider.GetArchiveStore());
    EXPECT_EQ(provider.CloseStores(), Status::Succeeded);
}

// Runs check_package.py over the package and answers what it printed.
std::string ReadBackWithPython(const fs::path& package, const kestrin_test::TempDir& dir)
{
    const fs::path script = fs::path(SourceTree()) / "tests/archive/check_package.py";
    const fs::path output = dir / "mailboxes.txt";
    const std::string command = "python3 '" + script.string() + "' '" + package.string() + "' > '" +
                                output.string() + "'";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return kestrin_test::ReadFile(output);
}

TEST(OutputMSEStoreProvider, ExportOfTwoAccountsEndsInOnePackage)
{
    kestrin_test::TempDir dir;
    auto first = MboxSource(dir / "first", L"First",
                           {{"Account A", {}}, {"Account A/Inbox", {"a1", "a2"}},
                            {"Account A/Inbox/Work", {"a3"}}});
    auto second = MboxSource(dir / "second", L"Second",
                            {{"", {"b0"}}, {"Account B/Inbox", {"b1"}}, {"Account B/Sent", {"b2"}}});
    const std::vector<boost::shared_ptr<IAssetFolder>> selection = {
        SourceFolder(first, {L"Account A"}),
        SourceFolder(first, {L"Account A", L"Inbox"}),
        SourceFolder(first, {L"Account A", L"Inbox", L"Work"}),
        second->GetRootFolder(),
        SourceFolder(second, {L"Account B", L"Inbox"}),
        SourceFolder(second, {L"Account B", L"Sent"}),
    };
    fs::create_directories(dir / "Converted Data");
    auto provider = boost::make_shared<OutputMSEStoreProvider>((dir / "Converted Data").string(),
                                                               L"Apple Mail Export");
    auto logger = boost::make_shared<kestrin_fakes::RecordingLogger>();

    ExportSummary summary;
    RunExport(summary, nullptr, {}, selection, logger, {}, provider, kQueryKindNew, true, nullptr);
    EXPECT_EQ(provider->CloseStores(), Status::Succeeded);
    EXPECT_EQ(summary.status, Status::Succeeded);
    EXPECT_EQ(summary.processed, 6);
    EXPECT_EQ(summary.failed, 0);

    const fs::path package = dir / "Converted Data/Apple Mail Export.rge";
    EXPECT_EQ(Listing(dir / "Converted Data", false),
              (std::vector<std::string>{
                  "Apple Mail Export.rge/",
                  "Apple Mail Export.rge/Archive.xml",
                  "Apple Mail Export.rge/Calendar/",
                  "Apple Mail Export.rge/Contacts/",
                  "Apple Mail Export.rge/Contents/",
                  "Apple Mail Export.rge/Contents/Info.plist",
                  "Apple Mail Export.rge/Contents/PkgInfo",
                  "Apple Mail Export.rge/Mail/",
                  "Apple Mail Export.rge/Mail/Account A/",
                  "Apple Mail Export.rge/Mail/Account A/Account A.mbox",
                  "Apple Mail Export.rge/Mail/Account A/Inbox/",
                  "Apple Mail Export.rge/Mail/Account A/Inbox/Inbox.mbox",
                  "Apple Mail Export.rge/Mail/Account A/Inbox/Work/",
                  "Apple Mail Export.rge/Mail/Account A/Inbox/Work/Work.mbox",
                  "Apple Mail Export.rge/Mail/Account B/",
                  "Apple Mail Export.rge/Mail/Account B/Account B.mbox",
                  "Apple Mail Export.rge/Mail/Account B/Inbox/",
                  "Apple Mail Export.rge/Mail/Account B/Inbox/Inbox.mbox",
                  "Apple Mail Export.rge/Mail/Account B/Sent/",
                  "Apple Mail Export.rge/Mail/Account B/Sent/Sent.mbox",
                  "Apple Mail Export.rge/Mail/Mail.mbox",
              }));
    EXPECT_EQ(kestrin_test::ReadFile(package / "Archive.xml"), TemplateFile("Archive.xml"));
    EXPECT_EQ(kestrin_test::ReadFile(package / "Contents/Info.plist"), TemplateFile("Info.plist"));
    EXPECT_EQ(kestrin_test::ReadFile(package / "Contents/PkgInfo"), TemplateFile("PkgInfo"));

    // Body lines that look like separators come back escaped, so each
    // message stays whole.
    EXPECT_EQ(ReadBackWithPython(package, dir),
              "Mail/Account A/Account A.mbox: 0\n"
              "Mail/Account A/Inbox/Inbox.mbox: 2\n"
              "  a1: Body of a1. / >From here on.\n"
              "  a2: Body of a2. / >From here on.\n"
              "Mail/Account A/Inbox/Work/Work.mbox: 1\n"
              "  a3: Body of a3. / >From here on.\n"
              "Mail/Account B/Account B.mbox: 0\n"
              "Mail/Account B/Inbox/Inbox.mbox: 1\n"
              "  b1: Body of b1. / >From here on.\n"
              "Mail/Account B/Sent/Sent.mbox: 1\n"
              "  b2: Body of b2. / >From here on.\n"
              "Mail/Mail.mbox: 1\n"
              "  b0: Body of b0. / >From here on.\n");
}

}  // namespace
}  // namespace archive_test
