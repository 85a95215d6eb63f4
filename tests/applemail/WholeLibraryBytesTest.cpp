// Whole libraries exported to EML: every message that needs nothing put back
// arrives as exactly the bytes Apple Mail stored (the count line says which).
#include <gtest/gtest.h>

#include <set>

#include <boost/algorithm/string/predicate.hpp>
#include <boost/filesystem.hpp>
#include <boost/make_shared.hpp>

#include "EnvelopeTestSupport.h"
#include "ExportTestSupport.h"
#include "applemail/AppleMailStoreHelper.h"
#include "libbuilder/Emlx.h"
#include "libbuilder/EnvelopeSamples.h"
#include "sample-library/SampleLibrary.h"
#include "support/TestSupport.h"

namespace fs = boost::filesystem;
using namespace KestrinMIMEEngineCommon;
using namespace envelope_test;
namespace lb = kestrin_libbuilder;

namespace {

// The message Apple Mail stored in an .emlx file, when its count line holds
// a count that fits the file and no part of it is stored apart; false
// otherwise (such a message is rewritten with its parts put back).
bool StoredMessage(const fs::path& emlx, std::string& message)
{
    const std::string file = kestrin_test::ReadFile(emlx);
    const size_t lineEnd = file.find('\n');
    if (lineEnd == std::string::npos) return false;
    long long count = 0;
    if (std::sscanf(file.c_str(), "%lld", &count) != 1 || count <= 0 ||
        static_cast<unsigned long long>(count) > file.size() - lineEnd - 1)
        return false;
    message = file.substr(lineEnd + 1, static_cast<size_t>(count));
    return !boost::algorithm::icontains(message, "X-Apple-Content-Length");
}

// Exports every mailbox of the mail folder to EML; answers the files written.
std::multiset<std::string> ExportToEml(const fs::path& mailFolder, const fs::path& output)
{
    kestrin_test::CapturedDiagnostics quiet;
    auto store = AppleMailStoreHelper::CreateStore(mailFolder.string(), L"Apple Mail Database", {});
    EXPECT_TRUE(store);
    if (!store) return {};
    EXPECT_EQ(Status::Succeeded, store->Open({}, {}, {}, false));
    std::vector<boost::shared_ptr<IAssetFolder>> folders;
    CollectMailboxes(store->GetRootFolder(), folders);
    fs::create_directories(output);
    const ExportSummary summary =
        export_test::ExportFolders(folders, output, ExportTarget::Eml, boost::make_shared<CollectingLogger>());
    EXPECT_EQ(0, summary.failed);

    std::multiset<std::string> written;
    for (fs::recursive_directory_iterator it(output), end; it != end; ++it)
        if (fs::is_regular_file(it->path()) && boost::iends_with(it->path().string(), ".eml"))
            written.insert(kestrin_test::ReadFile(it->path()));
    return written;
}

// Every stored message of the library is among the files written; answers
// how many were compared, so that a library without any cannot pass.
size_t ExpectStoredMessagesWritten(const fs::path& mailFolder, const std::multiset<std::string>& written)
{
    size_t compared = 0;
    for (fs::recursive_directory_iterator it(mailFolder), end; it != end; ++it) {
        if (!boost::iends_with(it->path().string(), ".emlx")) continue;
        std::string message;
        if (!StoredMessage(it->path(), message)) continue;
        ++compared;
        EXPECT_NE(written.find(message), written.end()) << "not written as stored: " << it->path();
    }
    return compared;
}

// Messages a parse and rewrite would change, put in place of some of a
// generated library's files, so that the comparison sees more than
// well-formed mail.
void ReplaceWithOddMessages(const std::vector<fs::path>& files)
{
    const std::string odd[] = {
        "From: a@example.com\r\nSubject: CR LF\r\n\r\nbody\r\n",
        "From: a@example.com\nNo colon on this line\nSubject: colon\n\nbody\n",
        "From a@example.com Fri Jul 14 02:40:00 2017\nSubject: separator first\n\nbody\n",
        std::string("Subject: nul \0 inside\n\nbody\n", 28),
        "\nSubject: blank first line\n\nbody\n",
        "Subject: headers only, no line end",
    };
    size_t next = 0;
    for (const fs::path& file : files) {
        std::string message;
        if (next == sizeof odd / sizeof odd[0]) break;
        if (!StoredMessage(file, message)) continue;
        lb::WriteBinaryFile(file, lb::RenderEmlxAround(odd[next++], lb::MessageRecipe()));
    }
    EXPECT_EQ(next, sizeof odd / sizeof odd[0]) << "too few message files to replace";
}

}  // namespace

TEST(WholeLibraryBytesTest, SampleLibraryMessagesArriveAsStored)
{
    kestrin_test::TempDir dir;
    kestrin_sample::SampleOptions options;
    options.outDir = dir / "home";
    options.extraMessages = 40;
    const kestrin_sample::SampleSummary sample = kestrin_sample::WriteSampleLibrary(options);
    const std::multiset<std::string> written = ExportToEml(sample.mailFolder, dir / "out");
    EXPECT_GT(ExpectStoredMessagesWritten(sample.mailFolder, written), 40u);
}

TEST(WholeLibraryBytesTest, GeneratedLibrariesOfEveryLayoutArriveAsStored)
{
    for (int layout : {1, 2, 3, 7, 10}) {
        SCOPED_TRACE(layout);
        kestrin_test::TempDir dir;
        const lb::EnvelopeSampleLibrary library = lb::BuildEnvelopeSampleLibrary(dir / "library", layout);
        ReplaceWithOddMessages(library.messageFiles);
        const std::multiset<std::string> written = ExportToEml(library.root, dir / "out");
        EXPECT_GT(ExpectStoredMessagesWritten(library.root, written), 3u);
    }
}
