// The export's record of its output folders: one entry per output, however
// often the messages alternate between outputs and source folders.
#include <gtest/gtest.h>

#include <boost/make_shared.hpp>

#include "app/ExportRecord.h"
#include "export/FakeEngine.h"

namespace {

using namespace KestrinApp;
using namespace KestrinMIMEEngineCommon;

TEST(ExportRecorderTest, EachOutputIsRecordedOnceWithItsCountsAndSources)
{
    auto source = kestrin_fakes::MakeOpenStore("/source", L"Source");
    auto inbox = source->AddFolder(L"Inbox");
    auto sent = source->AddFolder(L"Sent");
    auto output = kestrin_fakes::MakeOpenStore("/out", L"Out");
    auto first = boost::make_shared<kestrin_fakes::FakeFolder>(L"A", output, output->Root(), "/out/A");
    auto second = boost::make_shared<kestrin_fakes::FakeFolder>(L"B", output, output->Root(), "/out/B");
    // A folder object of its own for the same directory still shares A's entry.
    auto firstAgain = boost::make_shared<kestrin_fakes::FakeFolder>(L"A", output, output->Root(), "/out/A");

    ExportRecord record;
    ExportRecorder recorder(record);
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

}  // namespace
