// The export's record of its output folders: one entry per output, however
// often the messages alternate between outputs and source folders.
#include <gtest/gtest.h>

#include <boost/make_shared.hpp>

#include "app/ExportRecord.h"
#include "export/FakeEngine.h"

namespace {

using namespace KestrinApp;
using namespace KestrinMIMEEngineCommon;

// Two source folders and the output store the recorder is told about.
class ExportRecordTest : public ::testing::Test {
protected:
    boost::shared_ptr<kestrin_fakes::FakeFolder> Output(const std::wstring& name, const std::string& path)
    {
        return boost::make_shared<kestrin_fakes::FakeFolder>(name, output, output->Root(), path);
    }

    boost::shared_ptr<kestrin_fakes::FakeStore> source = kestrin_fakes::MakeOpenStore("/source", L"Source");
    boost::shared_ptr<IAssetFolder> inbox = source->AddFolder(L"Inbox");
    boost::shared_ptr<IAssetFolder> sent = source->AddFolder(L"Sent");
    boost::shared_ptr<kestrin_fakes::FakeStore> output = kestrin_fakes::MakeOpenStore("/out", L"Out");
    ExportRecord record;
    ExportRecorder recorder{record};
};

TEST_F(ExportRecordTest, EachOutputIsRecordedOnceWithItsCountsAndSources)
{
    auto first = Output(L"A", "/out/A");
    auto second = Output(L"B", "/out/B");
    // A folder object of its own for the same directory still shares A's entry.
    auto firstAgain = Output(L"A", "/out/A");

    recorder.FolderBegun(inbox);
    for (const auto& to : {first, first, second, first, firstAgain})
        recorder.ItemDone(ExportItemOutcome::Converted, L"m", to);
    recorder.FolderEnded(inbox);
    recorder.FolderBegun(sent);
    recorder.ItemDone(ExportItemOutcome::Converted, L"m", second);
    recorder.ItemDone(ExportItemOutcome::Failed, L"broken", first);
    recorder.FolderEnded(sent);

    ASSERT_EQ(record.outputs.size(), 2u);
    EXPECT_EQ(record.outputs[0].path, "/out/A");
    EXPECT_EQ(record.outputs[0].written, 4);
    EXPECT_EQ(record.outputs[0].sourcePaths, std::vector<std::string>{"/Inbox/"});
    EXPECT_EQ(record.outputs[1].path, "/out/B");
    EXPECT_EQ(record.outputs[1].written, 2);
    EXPECT_EQ(record.outputs[1].sourcePaths, (std::vector<std::string>{"/Inbox/", "/Sent/"}));
    ASSERT_EQ(record.folders.size(), 2u);
    EXPECT_EQ(record.folders[0].outputPath, "/out/A");
    EXPECT_EQ(record.folders[1].failed, 1);
}

// 100,000 messages never downloaded must not keep 100,000 names: past the
// limit, over all folders of the export, only the counts grow.
TEST_F(ExportRecordTest, NamesStopAtTheLimitPerKindWhileTheCountsGoOn)
{
    auto out = Output(L"A", "/out/A");

    recorder.FolderBegun(inbox);
    for (size_t i = 0; i < kNamesKeptPerKind - 1; ++i)
        recorder.ItemDone(ExportItemOutcome::ConvertedHeaderOnly, L"header " + std::to_wstring(i), out);
    recorder.ItemDone(ExportItemOutcome::Failed, L"broken", nullptr);
    recorder.FolderEnded(inbox);
    recorder.FolderBegun(sent);
    for (int i = 0; i < 5; ++i)
        recorder.ItemDone(ExportItemOutcome::ConvertedHeaderOnly, L"later " + std::to_wstring(i), out);
    recorder.ItemDone(ExportItemOutcome::Skipped, L"deleted", nullptr);
    recorder.FolderEnded(sent);

    ASSERT_EQ(record.folders.size(), 2u);
    const ExportFolderRecord& first = record.folders[0];
    const ExportFolderRecord& second = record.folders[1];
    EXPECT_EQ(first.notDownloadedNames.size(), kNamesKeptPerKind - 1);
    EXPECT_EQ(first.failedNames, std::vector<std::string>{"broken"});
    EXPECT_EQ(first.UnnamedCount(), 0);
    // One name was left over for the second folder; the other kinds have their own limit.
    EXPECT_EQ(second.notDownloadedNames, std::vector<std::string>{"later 0"});
    EXPECT_EQ(second.skippedNames, std::vector<std::string>{"deleted"});
    EXPECT_EQ(second.notDownloaded, 5);
    EXPECT_EQ(second.UnnamedCount(), 4);
    EXPECT_EQ(record.Totals().notDownloaded, int64_t(kNamesKeptPerKind) + 4);
}

}  // namespace
