// Whole libraries exported with the loader's queue one item deep and eight
// deep: the conversion log file, the brief report, the driver's events and
// every written file must be byte for byte the same, on the sample library
// and on libraries with one damage each (a partial message with its warning
// block, a message file that cannot be read, a listing that breaks off, a
// message the output refuses).
#include <gtest/gtest.h>

#include <functional>
#include <map>

#include <sys/stat.h>

#include <boost/algorithm/string/replace.hpp>
#include <boost/filesystem.hpp>
#include <boost/make_shared.hpp>

#include "applemail/AppleMailAssetFolderSQLITE.h"
#include "applemail/AppleMailStoreHelper.h"
#include "assets/AssetFolderBase.h"
#include "assets/KestrinLogger.h"
#include "EnvelopeTestSupport.h"
#include "export/ExportDriver.h"
#include "export/OutputGeneralFormatStoreProvider.h"
#include "export/RecordingEvents.h"
#include "libbuilder/Damage.h"
#include "libbuilder/EnvelopeSamples.h"
#include "mime/KSCharsets.h"
#include "sample-library/SampleLibrary.h"
#include "support/TestSupport.h"

namespace fs = boost::filesystem;
using namespace KestrinMIMEEngineCommon;
namespace lb = kestrin_libbuilder;

namespace {

// An output folder that takes nothing, for the message a test wants refused.
class RefusingFolder : public AssetFolderBase {
public:
    RefusingFolder() : AssetFolderBase(L"Refused", "refused", {}, {}, false) {}
    AddAssetResult AddAsset(const boost::shared_ptr<IAsset>&, const boost::shared_ptr<IProgressPresenter>&,
                            const boost::shared_ptr<ILogger>&, const boost::shared_ptr<ICancelable>&,
                            const std::string&) override
    {
        return AddAssetResult{AddAssetCode::Failed, std::string()};
    }
};

// The real provider, except that messages whose description holds refused
// go to a folder that refuses them.
class RefusingProvider : public IOutputStoreProvider {
public:
    RefusingProvider(boost::shared_ptr<IOutputStoreProvider> inner, std::wstring refused)
        : m_inner(std::move(inner)), m_refused(std::move(refused))
    {
    }
    boost::shared_ptr<IAssetFolderMutable> GetOutputFolder(const boost::shared_ptr<IAssetFolder>& source,
                                                           const boost::shared_ptr<IAsset>& asset,
                                                           bool useDefaultFolder) override
    {
        if (!m_refused.empty() && asset->GetDescription().find(m_refused) != std::wstring::npos)
            return m_refuser;
        return m_inner->GetOutputFolder(source, asset, useDefaultFolder);
    }
    Status CloseStores() override
    {
        return m_inner->CloseStores();
    }

private:
    boost::shared_ptr<IOutputStoreProvider> m_inner;
    std::wstring m_refused;
    boost::shared_ptr<IAssetFolderMutable> m_refuser = boost::make_shared<RefusingFolder>();
};

struct Export {
    ExportSummary summary;
    std::string log;     // the log file, the output folder's path replaced
    std::wstring report;
    std::vector<std::wstring> events;
    std::map<std::string, std::string> files;  // relative path -> bytes
};

Export ExportAll(const fs::path& mailFolder, const fs::path& output, ExportTarget target, const std::wstring& refused,
                 const ExportQueueLimits& limits)
{
    Export result;
    kestrin_test::CapturedDiagnostics quiet;
    auto store = AppleMailStoreHelper::CreateStore(mailFolder.string(), L"", {});
    if (!store || store->Open({}, {}, {}, false) != Status::Succeeded) return result;
    std::vector<boost::shared_ptr<IAssetFolder>> folders;
    envelope_test::CollectMailboxes(store->GetRootFolder(), folders);

    fs::create_directories(output);
    const fs::path logPath = output / "Detailed Conversion Report.txt";
    auto logger = boost::make_shared<KestrinLogger>(logPath.string());
    auto provider = boost::make_shared<RefusingProvider>(
        boost::make_shared<OutputGeneralFormatStoreProvider>(output.string(), target, std::vector<int>()),
        refused);
    kestrin_fakes::RecordingEvents events;
    const int64_t total = static_cast<int64_t>(folders.size());
    int64_t counter = 0;
    RunExport(result.summary, &total, {}, folders, logger, {}, provider, kQueryKindNew, true, &counter,
              &events, limits);
    provider->CloseStores();

    result.log = kestrin_test::ReadFile(logPath);
    boost::replace_all(result.log, output.string(), "<output>");
    result.report = logger->GetReportText();
    boost::replace_all(result.report, UTF8ToWide(output.string()), L"<output>");
    result.events = events.calls;
    for (fs::recursive_directory_iterator it(output), end; it != end; ++it)
        if (fs::is_regular_file(it->path()) && it->path() != logPath)
            result.files[fs::relative(it->path(), output).string()] = kestrin_test::ReadFile(it->path());
    return result;
}

fs::path FindMessageFile(const lb::EnvelopeSampleLibrary& library, const std::string& name)
{
    for (const auto& file : library.messageFiles)
        if (file.filename() == name) return file;
    throw std::runtime_error("no message file " + name);
}

struct DepthCase {
    const char* name;
    // Writes the library below the folder and answers its mail folder.
    std::function<fs::path(const fs::path&)> build;
    std::string logHolds;      // a line the log must hold
    std::wstring refused = L"";  // the message the output refuses
};

fs::path EnvelopeLibrary(const fs::path& dir,
                         const std::function<void(const lb::EnvelopeSampleLibrary&)>& damage = {})
{
    const lb::EnvelopeSampleLibrary library = lb::BuildEnvelopeSampleLibrary(dir / "library", 7);
    if (damage) damage(library);
    return library.root;
}

// Every not-downloaded warning block must stand right before the lines of
// its own message, as when one thread read and wrote: the block's
// description is the next item's description.
void ExpectWarningsBeforeTheirItems(const std::string& log)
{
    const std::string warning = WideToUTF8(kNotDownloadedWarning) + "\r\n";
    for (size_t at = log.find(warning); at != std::string::npos; at = log.find(warning, at + 1)) {
        const size_t description = log.find("\r\n", at + warning.size()) + 2;  // after the path line
        const size_t blockEnd = log.find("\r\n\n\r\n", description);
        ASSERT_NE(blockEnd, std::string::npos);
        const std::string text = log.substr(description, blockEnd - description);
        EXPECT_EQ(log.compare(blockEnd + 5, text.size() + 4, text + "\r\n\r\n"), 0)
            << "warning for " << text << " not followed by its message";
    }
}

void PrintTo(const DepthCase& c, std::ostream* out) { *out << c.name; }

class QueueDepthExportTest : public ::testing::TestWithParam<DepthCase> {};

TEST_P(QueueDepthExportTest, LogEventsAndFilesAreTheSameOneAndEightDeep)
{
    kestrin_test::TempDir dir;
    const fs::path mailFolder = GetParam().build(dir.path());
    for (ExportTarget target : {ExportTarget::Eml, ExportTarget::Mbox}) {
        SCOPED_TRACE(ToString(target));
        const std::string name = ToString(target);
        const Export one = ExportAll(mailFolder, dir / ("one" + name), target, GetParam().refused,
                                     ExportQueueLimits{1, uint64_t(64) << 20});
        const Export eight = ExportAll(mailFolder, dir / ("eight" + name), target, GetParam().refused,
                                       ExportQueueLimits{8, uint64_t(64) << 20});
        ASSERT_FALSE(one.log.empty());
        EXPECT_NE(one.log.find(GetParam().logHolds), std::string::npos) << one.log;
        EXPECT_GT(one.summary.processed, 0);
        ExpectWarningsBeforeTheirItems(eight.log);
        EXPECT_EQ(eight.log, one.log);
        EXPECT_EQ(eight.report, one.report);
        EXPECT_EQ(eight.events, one.events);
        EXPECT_EQ(eight.summary.status, one.summary.status);
        EXPECT_EQ(eight.summary.processed, one.summary.processed);
        EXPECT_EQ(eight.summary.failed, one.summary.failed);
        EXPECT_EQ(eight.files.size(), one.files.size());
        EXPECT_TRUE(eight.files == one.files);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Libraries, QueueDepthExportTest,
    ::testing::Values(
        DepthCase{"SampleLibrary",
                  [](const fs::path& dir) {
                      kestrin_sample::SampleOptions options;
                      options.outDir = dir / "sample";
                      options.extraMessages = 60;
                      return kestrin_sample::WriteSampleLibrary(options).mailFolder;
                  },
                  "WARNING"},
        DepthCase{"PartialAndHeaderOnlyMessages", [](const fs::path& dir) { return EnvelopeLibrary(dir); },
                  "WARNING"},
        DepthCase{"UnreadableMessageFile",
                  [](const fs::path& dir) {
                      return EnvelopeLibrary(dir, [](const lb::EnvelopeSampleLibrary& library) {
                          const fs::path file = FindMessageFile(library, "31.emlx");
                          fs::remove(file);
                          if (::mkfifo(file.c_str(), 0600) != 0) throw std::runtime_error("no FIFO");
                          kestrin_test::WriteFile(FindMessageFile(library, "30.emlx"), "");
                      });
                  },
                  "31.emlx - Not a regular file"},
        DepthCase{"ListingBreaksOff",
                  [](const fs::path& dir) {
                      return EnvelopeLibrary(dir, [](const lb::EnvelopeSampleLibrary& library) {
                          const fs::path index = lb::EnvelopeIndexPath(library.root, library.layout);
                          lb::AlterDatabase(index,
                                            "UPDATE messages SET date_received = 'x' || hex(zeroblob(400)) || ROWID");
                          lb::SpoilLastLeafPage(index, "messages_mailbox_index");
                      });
                  },
                  "could not be read completely"},
        DepthCase{"MessageTheOutputRefuses", [](const fs::path& dir) { return EnvelopeLibrary(dir); },
                  "ERROR : Error occurred while converting this item.", L"Subject : Message 5"}),
    [](const ::testing::TestParamInfo<DepthCase>& info) { return std::string(info.param.name); });

}  // namespace
