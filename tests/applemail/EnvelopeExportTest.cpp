// Generated libraries of every Envelope Index layout exported through the
// driver: every listed message arrives, header-only ones included.
#include <gtest/gtest.h>

#include <boost/algorithm/string/predicate.hpp>
#include <boost/filesystem.hpp>
#include <boost/make_shared.hpp>

#include "applemail/AppleMailAssetFolderSQLITE.h"
#include "applemail/AppleMailDBStoreSQLITE.h"
#include "applemail/AppleMailStoreHelper.h"
#include "EnvelopeTestSupport.h"
#include "ExportTestSupport.h"
#include "export/ExportDriver.h"
#include "export/OutputGeneralFormatStoreProvider.h"
#include "libbuilder/EnvelopeSamples.h"
#include "support/TestSupport.h"

namespace fs = boost::filesystem;
using namespace KestrinMIMEEngineCommon;
using namespace envelope_test;
namespace lb = kestrin_libbuilder;

namespace {

struct ExportCase {
    const char* name;
    int layout;
    ExportTarget target;
};

class EnvelopeExportTest : public ::testing::TestWithParam<ExportCase> {};

TEST_P(EnvelopeExportTest, EveryMessageIsAccountedFor)
{
    const ExportCase& c = GetParam();
    kestrin_test::TempDir dir;
    const lb::EnvelopeSampleLibrary library = lb::BuildEnvelopeSampleLibrary(dir / "library", c.layout);

    kestrin_test::CapturedDiagnostics quiet;
    auto store = AppleMailStoreHelper::CreateStore(library.root.string(), L"Apple Mail Database", {});
    ASSERT_TRUE(store);
    ASSERT_EQ(Status::Succeeded, store->Open({}, {}, {}, false));
    std::vector<boost::shared_ptr<IAssetFolder>> folders;
    CollectMailboxes(store->GetRootFolder(), folders);
    ASSERT_EQ(library.folders.size(), folders.size());

    const fs::path output = dir / "Converted Data";
    fs::create_directories(output);
    auto logger = boost::make_shared<CollectingLogger>();
    int64_t foldersStarted = 0;
    const ExportSummary summary = export_test::ExportFolders(folders, output, c.target, logger, &foldersStarted);

    EXPECT_EQ(Status::Succeeded, summary.status);
    EXPECT_EQ(library.TotalMessages(), summary.processed);
    EXPECT_EQ(0, summary.failed);
    EXPECT_EQ(static_cast<int64_t>(folders.size()), foldersStarted);

    // One warning block per message without its full content: the
    // header-only ones and the one whose attachment was never downloaded.
    int64_t warnings = 0;
    for (const auto& line : logger->lines)
        warnings += line == kNotDownloadedWarning;
    EXPECT_EQ(library.TotalHeaderOnly() + 1, warnings);

    int64_t written = 0;
    bool headerOnlyFound = false;
    for (fs::recursive_directory_iterator it(output), end; it != end; ++it) {
        if (!fs::is_regular_file(it->path()))
            continue;
        const std::string content = kestrin_test::ReadFile(it->path());
        if (c.target == ExportTarget::Eml) {
            if (!boost::iends_with(it->path().string(), ".eml"))
                continue;
            ++written;
            headerOnlyFound |= content.find("Subject: Message 9") != std::string::npos &&
                               content.compare(0, 31, "From: \"Sender Example\" <sender@") == 0;
        } else {
            for (size_t at = 0; (at = content.find("From - ", at)) != std::string::npos; at += 7)
                written += at == 0 || content[at - 1] == '\n';
            headerOnlyFound |= content.find("Subject: Message 9\n") != std::string::npos;
        }
    }
    EXPECT_EQ(library.TotalMessages(), written);
    EXPECT_TRUE(headerOnlyFound);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, EnvelopeExportTest,
    ::testing::Values(ExportCase{"V1ToEML", 1, ExportTarget::Eml}, ExportCase{"V2ToEML", 2, ExportTarget::Eml},
                      ExportCase{"V3ToEML", 3, ExportTarget::Eml}, ExportCase{"V7ToEML", 7, ExportTarget::Eml},
                      ExportCase{"V10ToEML", 10, ExportTarget::Eml},
                      ExportCase{"V7ToMbox", 7, ExportTarget::Mbox},
                      ExportCase{"V10ToMbox", 10, ExportTarget::Mbox}),
    [](const ::testing::TestParamInfo<ExportCase>& info) { return std::string(info.param.name); });

}  // namespace
