// Exports through the driver into EML and mbox trees with the general output
// provider, read back with the project's own readers.
#include <algorithm>

#include <gtest/gtest.h>

#include "FormatsTestHelpers.h"
#include "export/ExportDriver.h"
#include "export/FakeEngine.h"
#include "export/OutputGeneralFormatStoreProvider.h"
#include "mime/MakeSafeName.h"

namespace formats_test {
namespace {

struct MailsCase {
    const char* name;
    std::vector<std::string> existing;
    const char* expected;
};

class MailsDirectory : public ::testing::TestWithParam<MailsCase> {};

TEST_P(MailsDirectory, IsTheFirstFreeNameAndNotCreatedUntilAnItemComes)
{
    kestrin_test::TempDir dir;
    for (const std::string& name : GetParam().existing) fs::create_directories(dir.path() / name);
    OutputGeneralFormatStoreProvider provider(dir.str(), ExportTarget::Eml, {});
    EXPECT_FALSE(fs::exists(dir.path() / GetParam().expected));
    EXPECT_FALSE(provider.GetMailStore());

    provider.GetOutputFolder(nullptr, nullptr, false);
    EXPECT_EQ(provider.GetMailDirectory(), (dir.path() / GetParam().expected).string());
    EXPECT_TRUE(fs::is_directory(dir.path() / GetParam().expected));
    ASSERT_TRUE(provider.GetMailStore());
    EXPECT_EQ(provider.GetMailStore()->GetStoreName(), UTF8ToWide(GetParam().expected));
    for (const std::string& name : GetParam().existing) EXPECT_TRUE(fs::is_empty(dir.path() / name));
    provider.CloseStores();
}

INSTANTIATE_TEST_SUITE_P(
    OutputRoots, MailsDirectory,
    ::testing::Values(MailsCase{"Fresh", {}, "Mails"},
                      MailsCase{"MailsTaken", {"Mails"}, "Mails (1)"},
                      MailsCase{"TwoTaken", {"Mails", "Mails (1)"}, "Mails (2)"},
                      MailsCase{"GapIsTaken", {"Mails", "Mails (2)"}, "Mails (1)"}),
    [](const ::testing::TestParamInfo<MailsCase>& info) { return info.param.name; });

// The exported-mailbox fixture as the source of an export.
class ExportFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        source = OpenMboxStore(CopyFixture(sourceDir, "exported"), StoreKind::MboxArchive);
        auto root = source->GetRootFolder();
        inbox = root->FindSubFolder(L"Inbox");
        ASSERT_TRUE(inbox);
        work = inbox->FindSubFolder(L"Work");
        sent = root->FindSubFolder(L"Sent");
        ASSERT_TRUE(work && sent);
    }

    ExportSummary Export(const boost::shared_ptr<IOutputStoreProvider>& provider,
                         const std::vector<boost::shared_ptr<IAssetFolder>>& folders)
    {
        ExportSummary summary;
        const int64_t total = static_cast<int64_t>(folders.size());
        int64_t counter = 0;
        RunExport(summary, &total, {}, folders, logger, {}, provider, 0, true, &counter);
        provider->CloseStores();
        return summary;
    }

    bool Logged(const std::wstring& line) const
    {
        return std::find(logger->lines.begin(), logger->lines.end(), line) != logger->lines.end();
    }

    kestrin_test::TempDir sourceDir;
    kestrin_test::TempDir outputDir;
    boost::shared_ptr<MBOXAssetStore> source;
    boost::shared_ptr<IAssetFolder> inbox, work, sent;
    boost::shared_ptr<kestrin_fakes::RecordingLogger> logger =
        boost::make_shared<kestrin_fakes::RecordingLogger>();
};

TEST_F(ExportFixture, EmlTreeMirrorsTheSourceFolders)
{
    auto provider = boost::make_shared<OutputGeneralFormatStoreProvider>(outputDir.str(),
                                                                         ExportTarget::Eml,
                                                                         std::vector<int>{});
    const ExportSummary summary = Export(provider, {inbox, work, sent});
    EXPECT_EQ(summary.status, Status::Succeeded);
    EXPECT_EQ(summary.processed, 4);
    EXPECT_EQ(summary.failed, 0);

    const fs::path mails = outputDir.path() / "Mails";
    EXPECT_EQ(SortedFileNames(mails / "Inbox"),
              (std::vector<std::string>{"Lunch_1.eml", "Quarterly figures_0.eml"}));
    EXPECT_EQ(SortedFileNames(mails / "Inbox" / "Work"), std::vector<std::string>{"Project plan_0.eml"});
    EXPECT_EQ(SortedFileNames(mails / "Sent"),
              std::vector<std::string>{WideToUTF8(MakeSafeName(L"Re: Quarterly figures")) + "_0.eml"});
    EXPECT_TRUE(Logged(L"-F Saved As: " + UTF8ToWide(mails.string()) + L"/Inbox/Work/"));

    // The message exactly as it stands in the mailbox, less the escaping ">"
    // and the empty line that closes the entry.
    EXPECT_EQ(kestrin_test::ReadFile(mails / "Inbox" / "Quarterly figures_0.eml"),
              "From: Alice <alice@example.com>\nTo: Bob <bob@example.com>\nSubject: Quarterly figures\n"
              "Date: Tue, 05 Mar 2019 14:07:09 +0000\nMessage-ID: <inbox-1@example.com>\n\n"
              "Hello Bob,\nFrom the figures you sent, all is well.\n");

    // Read back with the EML store.
    auto back = OpenEmlStore(mails.string(), false, false);
    auto backInbox = back->GetRootFolder()->FindSubFolder(L"Inbox");
    ASSERT_TRUE(backInbox);
    EXPECT_EQ(backInbox->GetAssetCount(), 2);
    EXPECT_EQ(backInbox->FindSubFolder(L"Work")->GetAssetCount(), 1);
    EXPECT_EQ(back->GetRootFolder()->FindSubFolder(L"Sent")->GetAssetCount(), 1);
}

TEST_F(ExportFixture, MboxTreeMirrorsTheSourceFoldersAndReadsBack)
{
    auto provider = boost::make_shared<OutputGeneralFormatStoreProvider>(outputDir.str(),
                                                                         ExportTarget::Mbox,
                                                                         std::vector<int>{});
    const ExportSummary summary = Export(provider, {inbox, work, sent});
    EXPECT_EQ(summary.status, Status::Succeeded);
    EXPECT_EQ(summary.processed, 4);

    const fs::path mails = outputDir.path() / "Mails";
    EXPECT_TRUE(fs::is_regular_file(mails / "Inbox.mbox"));
    EXPECT_TRUE(fs::is_regular_file(mails / "Inbox" / "Work.mbox"));
    EXPECT_TRUE(fs::is_regular_file(mails / "Sent.mbox"));

    auto back = OpenMboxStore(mails.string(), StoreKind::Mbox);
    auto backInbox = back->GetRootFolder()->FindSubFolder(L"Inbox");
    ASSERT_TRUE(backInbox);
    const std::vector<std::string> messages = ReadMailbox(backInbox);
    ASSERT_EQ(messages.size(), 2u);
    // Already escaped in the source mailbox: copied as it stands.
    EXPECT_NE(messages[0].find("\nHello Bob,\n>From the figures"), std::string::npos);
    EXPECT_EQ(ReadMailbox(backInbox->FindSubFolder(L"Work")).size(), 1u);
    EXPECT_EQ(ReadMailbox(back->GetRootFolder()->FindSubFolder(L"Sent")).size(), 1u);
    EXPECT_EQ(back->GetRootFolder()->GetSubFolderCount(), 2u);
}

TEST_F(ExportFixture, SelectionWithoutMessagesCreatesNoMailDirectory)
{
    auto provider = boost::make_shared<OutputGeneralFormatStoreProvider>(outputDir.str(),
                                                                         ExportTarget::Mbox,
                                                                         std::vector<int>{});
    const ExportSummary summary = Export(provider, {source->GetRootFolder()});
    EXPECT_EQ(summary.processed, 0);
    EXPECT_FALSE(fs::exists(outputDir.path() / "Mails"));
}

TEST_F(ExportFixture, SourceRootsAndSameNamedFoldersOfTwoStoresMeetInOnePlace)
{
    kestrin_test::TempDir otherDir;
    auto other = OpenMboxStore(CopyFixture(otherDir, "exported"), StoreKind::MboxArchive);
    OutputGeneralFormatStoreProvider provider(outputDir.str(), ExportTarget::Eml, {});
    auto message = EmlAsset(MessageText("x", {"y"}));

    auto first = provider.GetOutputFolder(inbox, message, false);
    auto second = provider.GetOutputFolder(other->GetRootFolder()->FindSubFolder(L"Inbox"), message, false);
    ASSERT_TRUE(first);
    EXPECT_EQ(first.get(), second.get());
    EXPECT_EQ(first->GetPath(), L"/Inbox/");
    EXPECT_EQ(provider.GetOutputFolder(source->GetRootFolder(), message, false).get(),
              provider.GetMailStore()->GetRootFolderImpl().get());
    EXPECT_EQ(provider.GetMailStore()->GetStoreName(), L"Mails");
    EXPECT_EQ(provider.GetMailStore()->GetStoreKind(), StoreKind::Eml);
}

TEST_F(ExportFixture, MailStoreThatCannotOpenGivesNoFolder)
{
    kestrin_test::WriteFile(outputDir.path() / "blocker", "not a directory");
    OutputGeneralFormatStoreProvider provider((outputDir.path() / "blocker").string(),
                                              ExportTarget::Eml, {});
    kestrin_test::CapturedDiagnostics diagnostics;
    auto message = EmlAsset(MessageText("x", {"y"}));
    EXPECT_FALSE(provider.GetOutputFolder(inbox, message, false));
    // The failure is kept: nothing is tried again and no store is made.
    EXPECT_FALSE(provider.GetOutputFolder(sent, message, false));
    EXPECT_FALSE(provider.GetMailStore());
    EXPECT_TRUE(provider.GetMailDirectory().empty());
    EXPECT_FALSE(fs::exists(outputDir.path() / "blocker" / "Mails"));
}

}  // namespace
}  // namespace formats_test
