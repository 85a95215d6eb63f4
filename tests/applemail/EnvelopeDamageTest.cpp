// Envelope Index libraries with one damage each, exported to EML through
// the driver: every intact message arrives exactly once, what could not be
// read is named in the report, and the run is a success only when nothing
// was lost.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>

#include <sys/stat.h>

#include <boost/algorithm/string/predicate.hpp>
#include <boost/filesystem.hpp>
#include <boost/make_shared.hpp>

#include "applemail/AppleMailAssetFolderSQLITE.h"
#include "applemail/AppleMailStoreHelper.h"
#include "assets/KestrinLogger.h"
#include "EnvelopeTestSupport.h"
#include "ExportTestSupport.h"
#include "export/ExportDriver.h"
#include "export/OutputGeneralFormatStoreProvider.h"
#include "libbuilder/Damage.h"
#include "libbuilder/EnvelopeSamples.h"
#include "mime/KSCharsets.h"
#include "mime/MimeServices.h"
#include "support/TestSupport.h"

namespace fs = boost::filesystem;
using namespace KestrinMIMEEngineCommon;
namespace lb = kestrin_libbuilder;
using envelope_test::CollectMailboxes;

namespace {

const int kLayout = 7;

fs::path AccountDatabase(const fs::path& parent) { return parent / "Accounts" / "Accounts4.sqlite"; }
fs::path EnvelopeIndex(const lb::EnvelopeSampleLibrary& library)
{
    return lb::EnvelopeIndexPath(library.root, library.layout);
}

// The message file of a row, wherever its bundle put it.
fs::path FindMessageFile(const lb::EnvelopeSampleLibrary& library, const std::string& name)
{
    for (const auto& file : library.messageFiles)
        if (file.filename() == name)
            return file;
    throw std::runtime_error("no message file " + name);
}

void ReplaceWithFifo(const fs::path& path)
{
    fs::remove(path);
    if (::mkfifo(path.c_str(), 0600) != 0)
        throw std::runtime_error("cannot make a FIFO at " + path.string());
}

void MoveRow(const lb::EnvelopeSampleLibrary& library, int from, int to)
{
    lb::AlterDatabase(EnvelopeIndex(library), "UPDATE messages SET ROWID=" + std::to_string(to) +
                                                  " WHERE ROWID=" + std::to_string(from));
    const fs::path file = FindMessageFile(library, std::to_string(from) + ".emlx");
    fs::rename(file, file.parent_path() / (std::to_string(to) + ".emlx"));
}

enum class Outcome { Success, Failed };

struct DamageCase {
    const char* name;
    Outcome outcome;
    // Changes the library's description before it is written.
    std::function<void(lb::EnvelopeIndexRecipe&)> adjust;
    // Damages the written library (parent folder, library).
    std::function<void(const fs::path&, const lb::EnvelopeSampleLibrary&)> damage;
    // A text the brief report must hold.
    std::wstring reportNames;
    // The sender and subject of header-only messages are gone with the
    // damage: compare the number of messages instead of their subjects.
    bool subjectsLost = false;
};

// "Message N" for every message a present mailbox lists (labels included).
std::multiset<std::string> ExpectedSubjects(const lb::EnvelopeSampleLibrary& library)
{
    std::multiset<std::string> out;
    for (const auto& box : library.recipe.mailboxes) {
        if (box.bundle.empty())
            continue;
        for (const auto& message : box.messages)
            out.insert("Message " + std::to_string(message.rowId));
        for (uint64_t label : box.labels)
            out.insert("Message " + std::to_string(label));
    }
    return out;
}

std::string SubjectOf(const std::string& message)
{
    const size_t at = message.find("Subject: ");
    if (at == std::string::npos)
        return std::string();
    const size_t end = message.find_first_of("\r\n", at);
    return message.substr(at + 9, end == std::string::npos ? std::string::npos : end - at - 9);
}

// Exports folders to EML files below output through the driver; answers the
// brief report.
std::wstring ExportToEml(const std::vector<boost::shared_ptr<IAssetFolder>>& folders, const fs::path& output,
                         ExportSummary& summary)
{
    fs::create_directories(output);
    auto logger = boost::make_shared<KestrinLogger>((output / "Detailed Conversion Report.txt").string());
    summary = export_test::ExportFolders(folders, output, ExportTarget::Eml, logger);
    return logger->GetReportText();
}

class EnvelopeDamageTest : public ::testing::TestWithParam<DamageCase> {};

TEST_P(EnvelopeDamageTest, IntactMessagesArriveOnceAndLossesAreReported)
{
    const DamageCase& c = GetParam();
    kestrin_test::TempDir dir;
    const fs::path parent = dir / "library";
    const lb::EnvelopeSampleLibrary library =
        lb::BuildEnvelopeSampleLibrary(parent, kLayout, lb::PlistFormat::Binary, c.adjust);
    if (c.damage)
        c.damage(parent, library);
    const std::multiset<std::string> expected = ExpectedSubjects(library);

    kestrin_test::CapturedDiagnostics quiet;
    auto store = AppleMailStoreHelper::CreateStore(library.root.string(), L"Apple Mail Database", {});
    ASSERT_TRUE(store);
    ASSERT_EQ(Status::Succeeded, store->Open({}, {}, {}, false));
    auto root = store->GetRootFolder();
    std::vector<boost::shared_ptr<IAssetFolder>> folders;
    CollectMailboxes(root, folders);

    // Every folder of one parent has a name of its own.
    std::vector<boost::shared_ptr<IAssetFolder>> pending{root};
    while (!pending.empty()) {
        auto folder = pending.back();
        pending.pop_back();
        std::set<std::wstring> names;
        for (const auto& sub : folder->GetSubFolders()) {
            EXPECT_TRUE(names.insert(sub->GetName()).second) << WideToUTF8(sub->GetPath());
            pending.push_back(sub);
        }
    }

    const fs::path output = dir / "Converted Data";
    ExportSummary summary;
    const std::wstring report = ExportToEml(folders, output, summary);

    std::multiset<std::string> written;
    for (fs::recursive_directory_iterator it(output), end; it != end; ++it) {
        if (fs::is_regular_file(it->path()) && boost::iends_with(it->path().string(), ".eml"))
            written.insert(SubjectOf(kestrin_test::ReadFile(it->path())));
    }
    EXPECT_EQ(static_cast<int64_t>(written.size()), summary.processed);

    if (c.outcome == Outcome::Success) {
        EXPECT_EQ(Status::Succeeded, summary.status) << WideToUTF8(report);
        EXPECT_EQ(0, summary.failed);
        if (c.subjectsLost) {
            EXPECT_EQ(expected.size(), written.size());
        } else {
            EXPECT_EQ(expected, written);
        }
    } else {
        EXPECT_EQ(Status::Failed, summary.status);
        // Nothing arrives twice or from nowhere.
        for (const auto& subject : written)
            EXPECT_LE(written.count(subject), expected.count(subject)) << subject;
        EXPECT_NE(std::wstring::npos, report.find(L"ERROR : ")) << WideToUTF8(report);
    }
    if (!c.reportNames.empty()) {
        EXPECT_NE(std::wstring::npos, report.find(c.reportNames)) << WideToUTF8(report);
    }
}

const std::wstring kUnnamedAccounts = L"the mailboxes of these accounts are kept under the account ids: ";

INSTANTIATE_TEST_SUITE_P(
    Damages, EnvelopeDamageTest,
    ::testing::Values(
        DamageCase{"AccountDatabaseNotADatabase", Outcome::Success, {},
                   [](const fs::path& parent, const lb::EnvelopeSampleLibrary&) {
                       lb::SpoilFile(AccountDatabase(parent), 0);
                   },
                   kUnnamedAccounts + UTF8ToWide(lb::kSampleImapAccount), false},
        DamageCase{"AccountDatabasePagesSpoiled", Outcome::Success, {},
                   [](const fs::path& parent, const lb::EnvelopeSampleLibrary&) {
                       lb::SpoilFile(AccountDatabase(parent), 100);
                   },
                   kUnnamedAccounts + UTF8ToWide(lb::kSampleImapAccount), false},
        DamageCase{"AccountTableMissing", Outcome::Success, {},
                   [](const fs::path& parent, const lb::EnvelopeSampleLibrary&) {
                       lb::AlterDatabase(AccountDatabase(parent), "DROP TABLE ZACCOUNT");
                   },
                   kUnnamedAccounts, false},
        DamageCase{"AccountRowMissing", Outcome::Success, {},
                   [](const fs::path& parent, const lb::EnvelopeSampleLibrary&) {
                       // The parent of the IMAP account: the child is never reached.
                       lb::AlterDatabase(AccountDatabase(parent), "DELETE FROM ZACCOUNT WHERE Z_PK=1");
                   },
                   kUnnamedAccounts + UTF8ToWide(lb::kSampleImapAccount), false},
        DamageCase{"AccountParentCycle", Outcome::Success, {},
                   [](const fs::path& parent, const lb::EnvelopeSampleLibrary&) {
                       lb::AlterDatabase(AccountDatabase(parent),
                                         "UPDATE ZACCOUNT SET ZPARENTACCOUNT=2 WHERE Z_PK=1");
                   },
                   kUnnamedAccounts + UTF8ToWide(lb::kSampleImapAccount), false},
        DamageCase{"AccountsShareADisplayName", Outcome::Success, {},
                   [](const fs::path& parent, const lb::EnvelopeSampleLibrary&) {
                       lb::AlterDatabase(AccountDatabase(parent),
                                         "UPDATE ZACCOUNT SET ZUSERNAME='Work' WHERE Z_PK=1");
                   },
                   L"Begin processing Folder: /Work (1)/", false},
        DamageCase{"SubjectsTableDropped", Outcome::Success, {},
                   [](const fs::path&, const lb::EnvelopeSampleLibrary& library) {
                       lb::AlterDatabase(EnvelopeIndex(library), "DROP TABLE subjects");
                   },
                   L"could not be read whole from the database; left out: subject (no such table: subjects)", true},
        DamageCase{"MailboxColumnRenamed", Outcome::Failed, {},
                   [](const fs::path&, const lb::EnvelopeSampleLibrary& library) {
                       lb::AlterDatabase(EnvelopeIndex(library),
                                         "ALTER TABLE messages RENAME COLUMN mailbox TO mailbox_moved");
                   },
                   L"ERROR : Failed to count the messages of folder /john@example.com/INBOX/ : no such column: mailbox", false},
        DamageCase{"MailboxIndexPageSpoiled", Outcome::Failed, {},
                   [](const fs::path&, const lb::EnvelopeSampleLibrary& library) {
                       // Entries large enough for the index to need several
                       // pages; counts and listings go through it.
                       lb::AlterDatabase(EnvelopeIndex(library),
                                         "UPDATE messages SET date_received = 'x' || hex(zeroblob(400)) || ROWID");
                       lb::SpoilLastLeafPage(EnvelopeIndex(library), "messages_mailbox_index");
                   },
                   L"database disk image is malformed", false},
        DamageCase{"MessagesPageSpoiled", Outcome::Success, {},
                   [](const fs::path&, const lb::EnvelopeSampleLibrary& library) {
                       // The listing reads only the index; the summary of the
                       // rows on the spoiled page fails, their files remain.
                       lb::AlterDatabase(EnvelopeIndex(library),
                                         "UPDATE messages SET snippet = hex(zeroblob(700))");
                       lb::SpoilLastLeafPage(EnvelopeIndex(library), "messages");
                   },
                   L"could not be read whole from the database; left out: sender, subject, dates (database disk image is malformed)", false},
        DamageCase{"RowIdsZeroAndNegative", Outcome::Success, {},
                   [](const fs::path&, const lb::EnvelopeSampleLibrary& library) {
                       MoveRow(library, 30, 0);
                       MoveRow(library, 31, -31);
                   },
                   {}, false},
        DamageCase{"TwoRowsDecodeToOnePath", Outcome::Success,
                   [](lb::EnvelopeIndexRecipe& recipe) {
                       lb::EnvelopeMailbox twin = recipe.mailboxes.front();  // INBOX
                       twin.rowId = 12;
                       twin.url = std::string("imap://") + lb::kSampleImapAccount + "/IN%42OX";
                       twin.messages = {lb::MakeEnvelopeMessage(95, "Message 95", 1500005700)};
                       recipe.mailboxes.push_back(twin);
                   },
                   {}, L"Begin processing Folder: /john@example.com/INBOX (1)/", false},
        // A message file that is there but holds nothing, or is no file at
        // all, is a message lost: a failed item, not a header-only message.
        DamageCase{"BlankMessageFile", Outcome::Failed, {},
                   [](const fs::path&, const lb::EnvelopeSampleLibrary& library) {
                       kestrin_test::WriteFile(FindMessageFile(library, "30.emlx"), "");
                   },
                   L"30.emlx - The file is empty", false},
        DamageCase{"FifoInPlaceOfMessageFile", Outcome::Failed, {},
                   [](const fs::path&, const lb::EnvelopeSampleLibrary& library) {
                       ReplaceWithFifo(FindMessageFile(library, "31.emlx"));
                   },
                   L"31.emlx - Not a regular file", false},
        DamageCase{"LabelOfAnotherMailbox", Outcome::Success,
                   [](lb::EnvelopeIndexRecipe& recipe) {
                       // Work's source is All Mail; message 5 lives in INBOX.
                       for (auto& box : recipe.mailboxes)
                           if (box.rowId == 3)
                               box.labels.push_back(5);
                   },
                   {}, {}, false}),
    [](const ::testing::TestParamInfo<DamageCase>& info) { return std::string(info.param.name); });

// SQLite opens the database with a plain open(): a FIFO in its place would
// block the store for ever. It is refused at once.
TEST(EnvelopeIndexFile, FifoInPlaceOfTheDatabaseIsRefusedWithoutWaiting)
{
    kestrin_test::TempDir dir;
    const lb::EnvelopeSampleLibrary library =
        lb::BuildEnvelopeSampleLibrary(dir / "library", kLayout, lb::PlistFormat::Binary, {});
    ReplaceWithFifo(EnvelopeIndex(library));
    kestrin_test::CapturedDiagnostics diagnostics;
    auto store = AppleMailStoreHelper::CreateStore(library.root.string(), L"Apple Mail Database", {});
    // Either the folder is not taken for a database library at all, or
    // opening it fails; the diagnostic names the database either way.
    if (store) {
        EXPECT_NE(Status::Succeeded, store->Open({}, {}, {}, false));
    }
    EXPECT_NE(std::string::npos,
              diagnostics.text().find("Cannot read database " + EnvelopeIndex(library).string() +
                                      " - Not a regular file"))
        << diagnostics.text();
}

// A message file the user may not read is a message lost, named with the
// reason; only a file that is truly absent leaves a header-only message.
// File modes bind only a user other than root: as root the case runs as
// "nobody" in a child process.
TEST(EnvelopeIndexFile, UnreadableMessageFileFailsByName)
{
    const auto work = []() {
        kestrin_test::TempDir dir;
        const lb::EnvelopeSampleLibrary library =
            lb::BuildEnvelopeSampleLibrary(dir / "library", kLayout, lb::PlistFormat::Binary, {});
        const fs::path locked = FindMessageFile(library, "31.emlx");
        ::chmod(locked.c_str(), 0);
        kestrin_test::CapturedDiagnostics quiet;
        auto store = AppleMailStoreHelper::CreateStore(library.root.string(), L"Apple Mail Database", {});
        if (!store || store->Open({}, {}, {}, false) != Status::Succeeded) return std::string("no store");
        std::vector<boost::shared_ptr<IAssetFolder>> folders;
        CollectMailboxes(store->GetRootFolder(), folders);
        ExportSummary summary;
        const std::wstring report = ExportToEml(folders, dir / "Converted Data", summary);
        ::chmod(locked.c_str(), 0600);
        return std::to_string(summary.failed) + " " + ToString(summary.status) + "\n" +
               WideToUTF8(report);
    };
    std::string result;
    if (::geteuid() == 0) {
        ASSERT_TRUE(kestrin_test::RunAsNobody(work, result)) << "the unprivileged run did not complete";
    } else {
        result = work();
    }
    EXPECT_EQ(0u, result.find("1 failed\n")) << result;
    EXPECT_NE(std::string::npos, result.find("ERROR : Cannot read message file ")) << result;
    EXPECT_NE(std::string::npos, result.find("31.emlx - Permission denied")) << result;
}

// A message of a label mailbox stored in another mailbox's bundle is read
// from its file, not turned into a header-only message.
TEST(EnvelopeLabelTest, MessageIsReadFromItsOwnMailboxBundle)
{
    kestrin_test::TempDir dir;
    const lb::EnvelopeSampleLibrary library = lb::BuildEnvelopeSampleLibrary(
        dir / "library", kLayout, lb::PlistFormat::Binary, [](lb::EnvelopeIndexRecipe& recipe) {
            for (auto& box : recipe.mailboxes)
                if (box.rowId == 3)
                    box.labels.push_back(5);
        });
    kestrin_test::CapturedDiagnostics quiet;
    auto store = AppleMailStoreHelper::CreateStore(library.root.string(), L"", {});
    ASSERT_TRUE(store);
    ASSERT_EQ(Status::Succeeded, store->Open({}, {}, {}, false));
    std::vector<boost::shared_ptr<IAssetFolder>> folders;
    CollectMailboxes(store->GetRootFolder(), folders);
    auto work = std::find_if(folders.begin(), folders.end(), [](const boost::shared_ptr<IAssetFolder>& f) {
        return f->GetPath() == L"/john@example.com/Work/";
    });
    ASSERT_NE(folders.end(), work);
    EXPECT_EQ(3, (*work)->GetAssetCount());
    auto it = (*work)->GetAssetIterator(kQueryKindNew, {}, {}, {});
    it->Begin();
    int64_t listed = 0;
    for (; it->HasCurrent(); it->Increment()) {
        auto asset = it->GetCurrent()->GetAsset();
        ASSERT_TRUE(asset);
        EXPECT_EQ(0, asset->GetAssetFlags() & kAssetFlagIncomplete) << WideToUTF8(asset->GetDescription());
        ++listed;
    }
    EXPECT_EQ(3, listed);
    EXPECT_EQ(0, it->End());
}

}  // namespace

namespace {

// Without its subjects table, the index still holds each message's sender
// and dates: a message that was never downloaded keeps them in the file
// that stands for it, and only its subject is missing.
TEST(EnvelopeSummaryDamage, SubjectsTableGoneLeavesSenderAndDatesOfHeaderOnlyMessages)
{
    kestrin_test::TempDir dir;
    const lb::EnvelopeSampleLibrary library =
        lb::BuildEnvelopeSampleLibrary(dir / "library", kLayout, lb::PlistFormat::Binary, {});
    lb::AlterDatabase(EnvelopeIndex(library), "DROP TABLE subjects");
    kestrin_test::CapturedDiagnostics quiet;
    auto store = AppleMailStoreHelper::CreateStore(library.root.string(), L"", {});
    ASSERT_TRUE(store);
    ASSERT_EQ(Status::Succeeded, store->Open({}, {}, {}, false));
    std::vector<boost::shared_ptr<IAssetFolder>> folders;
    CollectMailboxes(store->GetRootFolder(), folders);
    ExportSummary summary;
    const std::wstring report = ExportToEml(folders, dir / "Converted Data", summary);
    EXPECT_EQ(summary.status, Status::Succeeded) << WideToUTF8(report);

    std::string written;
    for (fs::recursive_directory_iterator it(dir / "Converted Data"), end; it != end; ++it)
        if (boost::iends_with(it->path().string(), ".eml")) written += kestrin_test::ReadFile(it->path()) + "\n--\n";
    int headerOnly = 0;
    for (const auto& box : library.recipe.mailboxes) {
        if (box.bundle.empty()) continue;
        for (const auto& message : box.messages) {
            if (message.hasFile) continue;
            ++headerOnly;
            const std::string stub = "From: \"" + message.senderName + "\" <" + message.senderAddress +
                                     ">\r\nDate: " + FormatRFC822Date(message.dateSent) + "\r\nSubject: ";
            EXPECT_NE(written.find(stub), std::string::npos) << stub << "\n" << written;
        }
    }
    EXPECT_GT(headerOnly, 0);
    EXPECT_NE(report.find(L"left out: subject (no such table: subjects)"), std::wstring::npos)
        << WideToUTF8(report);
}

}  // namespace
