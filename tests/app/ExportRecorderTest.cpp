// The export's own account built from the driver's events: counts and names
// per source folder, and which output folder received how many messages.
#include <gtest/gtest.h>

#include <boost/make_shared.hpp>

#include "app/ExportRecord.h"
#include "formats/EMLAssetFolder.h"

namespace {

using namespace KestrinApp;
using namespace KestrinMIMEEngineCommon;

boost::shared_ptr<IAssetFolderMutable> Output(const std::string& directory)
{
    return boost::make_shared<EMLAssetFolder>(directory, nullptr, nullptr, false);
}

int64_t WrittenTo(const ExportRecord& record, const std::string& path)
{
    int64_t written = -1;
    for (const ExportOutputRecord& output : record.outputs)
        if (output.path == path) {
            EXPECT_EQ(written, -1) << path << " is listed twice";
            written = output.written;
        }
    return written;
}

TEST(ExportRecorderTest, CountsAndNamesEveryOutcomeOfAFolder)
{
    ExportRecord record;
    ExportRecorder recorder(record);
    const auto inbox = Output("/out/INBOX");
    recorder.FolderBegun(nullptr);
    recorder.ItemDone(ExportItemOutcome::Converted, L"one", inbox);
    recorder.ItemDone(ExportItemOutcome::ConvertedHeaderOnly, L"Gro\u00DFe Datei", inbox);
    recorder.ItemDone(ExportItemOutcome::Failed, L"broken", nullptr);
    recorder.ItemDone(ExportItemOutcome::Skipped, L"skipped", nullptr);
    recorder.ItemDone(ExportItemOutcome::Converted, L"reached no folder", nullptr);
    recorder.FolderEnded(nullptr);

    ASSERT_EQ(record.folders.size(), 1u);
    const ExportFolderRecord& folder = record.folders[0];
    EXPECT_EQ(folder.processed, 3);
    EXPECT_EQ(folder.notDownloaded, 1);
    EXPECT_EQ(folder.failed, 1);
    EXPECT_EQ(folder.skipped, 1);
    EXPECT_EQ(folder.Listed(), 5);
    EXPECT_EQ(folder.outputPath, "/out/INBOX");
    EXPECT_EQ(folder.notDownloadedNames, std::vector<std::string>{"Gro\xC3\x9F" "e Datei"});
    EXPECT_EQ(folder.failedNames, std::vector<std::string>{"broken"});
    EXPECT_EQ(folder.skippedNames, std::vector<std::string>{"skipped"});
    ASSERT_EQ(record.outputs.size(), 1u);
    EXPECT_EQ(record.outputs[0].written, 2);
    EXPECT_EQ(record.outputs[0].kind, ExportOutputRecord::Kind::EmlDirectory);
}

// Outputs are told apart by what they name, not by the object: messages
// alternating between two outputs, an output object let go and another
// made (perhaps at the same address) for a new directory, and a second
// object for a directory already written to.
TEST(ExportRecorderTest, EveryOutputIsCountedOnceWhateverObjectNamesIt)
{
    ExportRecord record;
    ExportRecorder recorder(record);
    recorder.FolderBegun(nullptr);
    auto first = Output("/out/A");
    const auto second = Output("/out/B");
    recorder.ItemDone(ExportItemOutcome::Converted, L"1", first);
    recorder.ItemDone(ExportItemOutcome::Converted, L"2", second);
    recorder.ItemDone(ExportItemOutcome::Converted, L"3", first);
    recorder.ItemDone(ExportItemOutcome::Converted, L"4", first);
    first.reset();
    recorder.ItemDone(ExportItemOutcome::Converted, L"5", Output("/out/C"));
    recorder.ItemDone(ExportItemOutcome::Converted, L"6", Output("/out/A"));
    recorder.FolderEnded(nullptr);

    EXPECT_EQ(record.outputs.size(), 3u);
    EXPECT_EQ(WrittenTo(record, "/out/A"), 4);
    EXPECT_EQ(WrittenTo(record, "/out/B"), 1);
    EXPECT_EQ(WrittenTo(record, "/out/C"), 1);
    EXPECT_EQ(record.folders.at(0).processed, 6);
    EXPECT_EQ(record.Totals().converted, 6);
}

}  // namespace
