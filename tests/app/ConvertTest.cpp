// The conversion API both front ends call: a small mail folder opened with
// OpenSource and converted with Convert, observed by a recording observer:
// the record, the observer's events, every target read back, cancel, the
// refusals that leave the disk as it was, a damaged message, and the
// selection of folders by path.
#include <gtest/gtest.h>

#include <atomic>

#include <boost/filesystem.hpp>

#include "AppFakes.h"
#include "app/Application.h"
#include "app/Convert.h"
#include "app/Source.h"
#include "app/VerifyExport.h"
#include "libbuilder/Mailboxes.h"
#include "mime/KSCharsets.h"
#include "support/TestSupport.h"

using namespace KestrinApp;
using namespace kestrin_app_fakes;
namespace fs = boost::filesystem;
namespace lb = kestrin_libbuilder;

namespace {

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

using kestrin_test::CountFiles;

// Every path below a folder with its size, to see that nothing changed.
std::vector<std::string> Listing(const fs::path& folder)
{
    std::vector<std::string> entries;
    for (fs::recursive_directory_iterator it(folder), end; it != end; ++it)
        entries.push_back(it->path().string() +
                          (fs::is_regular_file(it->path()) ? " " + std::to_string(fs::file_size(it->path()))
                                                           : std::string("/")));
    std::sort(entries.begin(), entries.end());
    return entries;
}

// Records the conversion's events; cancels once the given number of
// messages was shown.
class RecordingObserver : public RecordingExportEvents<ExportObserver> {
public:
    int cancelAfterItems = 0;
    std::atomic<int> items{0};
    void ItemShown(const std::wstring& text) override
    {
        ++items;
        RecordingExportEvents<ExportObserver>::ItemShown(text);
    }
    bool IsCanceled() override { return cancelAfterItems > 0 && items >= cancelAfterItems; }
    std::vector<std::wstring> Starting(const std::wstring& prefix)
    {
        std::vector<std::wstring> found;
        for (const auto& event : Events())
            if (event.compare(0, prefix.size(), prefix) == 0)
                found.push_back(event);
        return found;
    }
};

class RecordingLoadObserver : public LoadObserver {
public:
    bool cancel = false;
    std::vector<std::wstring> messages;
    void LoadMessage(const std::wstring& text) override { messages.push_back(text); }
    bool IsCanceled() override { return cancel; }
};

// Mail
//   INBOX (3 messages)
//     Work (2 messages)
//   Empty (none)
class ConvertTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        InitializeApplication();
        const fs::path inbox = lb::WriteV1Mailbox(mail, "INBOX",
                                                  {Message(1, "first"), Message(2, "second"),
                                                   Message(3, "third")});
        lb::WriteV1Mailbox(inbox, "Work", {Message(4, "fourth"), Message(5, "fifth")});
        lb::WriteV1Mailbox(mail, "Empty", {});
    }
    static lb::MailboxMessage Message(uint64_t id, const std::string& subject)
    {
        return lb::TextMailboxMessage(id, subject, "body of " + subject + "\n");
    }
    std::shared_ptr<OpenedSource> Open()
    {
        RecordingLoadObserver observer;
        LoadResult loaded = OpenSource(mail.string(), observer);
        EXPECT_EQ(loaded.status, Status::Succeeded) << loaded.reason;
        return loaded.source;
    }
    ExportRequest Request(ExportTarget target = ExportTarget::Eml)
    {
        ExportRequest request;
        request.source = Open();
        if (request.source)
            request.folders = SelectFolders(request.source->Root(), {}, nullptr);
        request.target = target;
        request.outputFolder = out.str();
        return request;
    }

    kestrin_test::TempDir home;
    kestrin_test::TempDir out;
    const fs::path mail = home.path() / "Mail";
    RecordingObserver observer;
};

TEST_F(ConvertTest, OpensTheMailFolderIntoItsTreeWithCounts)
{
    const auto source = Open();
    ASSERT_TRUE(source);
    EXPECT_EQ(source->Path(), mail.string());
    EXPECT_EQ(source->StoreKind(), source->Store()->GetStoreKind());
    const auto& root = source->Root();
    ASSERT_TRUE(root);
    EXPECT_EQ(root->name, L"Apple Mail Database");
    EXPECT_EQ(root->kind, kFolderKindRoot);
    std::vector<std::string> shown;
    for (const auto& folder : SelectFolders(root, {}, nullptr))
        shown.push_back(folder->path + " " + std::to_string(folder->count) + " " +
                        KestrinMIMEEngineCommon::WideToUTF8(folder->RowText()));
    EXPECT_EQ(shown, (std::vector<std::string>{"/Empty/ 0 Empty", "/INBOX/ 3 INBOX  [3]",
                                               "/INBOX/Work/ 2 Work  [2]"}));
}

TEST_F(ConvertTest, ConvertsEveryFolderAndTellsTheObserver)
{
    const ExportRequest request = Request();
    const ExportRecord record = Convert(request, observer);

    const fs::path root = out.path() / "Converted Data";
    EXPECT_EQ(record.status, Status::Succeeded) << record.reportText;
    EXPECT_EQ(record.refusal, ExportRefusal::None);
    EXPECT_EQ(record.source, mail.string());
    EXPECT_EQ(record.target, ExportTarget::Eml);
    EXPECT_EQ(record.outputFolder, root.string());
    EXPECT_EQ(record.logPath, (root / "Detailed Conversion Report.txt").string());
    EXPECT_TRUE(Contains(kestrin_test::ReadFile(record.logPath), "Operation completed successfully."));
    EXPECT_TRUE(Contains(record.reportText, "Total number of items processed:5")) << record.reportText;

    const ExportTotals totals = record.Totals();
    EXPECT_EQ(totals.listed, 5);
    EXPECT_EQ(totals.converted, 5);
    EXPECT_EQ(totals.failed + totals.skipped, 0);
    ASSERT_EQ(record.folders.size(), 3u);
    EXPECT_EQ(record.folders[1].sourcePath, "/INBOX/");
    EXPECT_EQ(record.folders[1].processed, 3);
    EXPECT_EQ(record.folders[2].processed, 2);
    EXPECT_EQ(CountFiles(root / "Mails", ".eml"), 5u);

    // The mail folder first, then each message and the progress after it.
    const auto events = observer.Events();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.front(), L"path " + KestrinMIMEEngineCommon::UTF8ToWide(mail.string()));
    const auto items = observer.Starting(L"message ");
    ASSERT_EQ(items.size(), 5u);
    EXPECT_TRUE(items[0].find(L"Subject : first") != std::wstring::npos);
    EXPECT_EQ(observer.Starting(L"items ").back(), L"items Overall: Items [ 5 / 5 ]");
    EXPECT_EQ(observer.Starting(L"folders ").back(), L"folders Overall: Folders [ 3 / 3 ]");
    EXPECT_EQ(observer.Starting(L"folder Folder: Work").back(), L"folder Folder: Work [ 2 / 2 ]");
}

class ConvertTargetTest : public ConvertTest, public ::testing::WithParamInterface<ExportTarget> {};

TEST_P(ConvertTargetTest, EveryMessageIsReadBackFromTheTarget)
{
    const ExportRecord record = Convert(Request(GetParam()), observer);
    EXPECT_EQ(record.status, Status::Succeeded) << record.reportText;
    EXPECT_EQ(record.target, GetParam());
    const VerifyResult verified = VerifyExport(record);
    EXPECT_TRUE(verified.ok) << VerifyText(verified);
    int64_t found = 0;
    for (const auto& folder : verified.folders)
        found += folder.found;
    EXPECT_EQ(found, 5);
}

INSTANTIATE_TEST_SUITE_P(Targets, ConvertTargetTest,
                         ::testing::Values(ExportTarget::Eml, ExportTarget::Mbox, ExportTarget::Archive),
                         [](const ::testing::TestParamInfo<ExportTarget>& info) {
                             return std::string(KestrinMIMEEngineCommon::ToString(info.param));
                         });

TEST_F(ConvertTest, CancelStopsBeforeTheNextMessage)
{
    observer.cancelAfterItems = 1;
    const ExportRecord record = Convert(Request(), observer);
    EXPECT_EQ(record.status, Status::Canceled);
    EXPECT_TRUE(Contains(record.reportText, "Operation canceled by user.")) << record.reportText;
    EXPECT_TRUE(Contains(kestrin_test::ReadFile(record.logPath), "Operation canceled by user."));
    EXPECT_EQ(record.Totals().converted, 1);
    EXPECT_EQ(CountFiles(out.path() / "Converted Data" / "Mails", ".eml"), 1u);
    EXPECT_EQ(observer.items, 1);
    EXPECT_EQ(MakeReport(record).title, "Conversion cancelled");
}

// Refused before anything is made: the mail folder and the output folder
// stay as they were, and the observer hears nothing.
TEST_F(ConvertTest, RefusalsLeaveTheDiskAsItWas)
{
    struct Case {
        const char* name;
        std::function<void(ExportRequest&)> change;
        ExportRefusal refusal;
        const char* message;
    };
    const Case cases[] = {
        {"output folder inside the mail folder",
         [this](ExportRequest& r) { r.outputFolder = (mail / "INBOX.mbox").string(); },
         ExportRefusal::OutputInsideMailFolder,
         "The output folder is inside the mail folder being converted."},
        {"output folder is the mail folder", [this](ExportRequest& r) { r.outputFolder = mail.string(); },
         ExportRefusal::OutputInsideMailFolder,
         "The output folder is inside the mail folder being converted."},
        {"no folder", [](ExportRequest& r) { r.folders.clear(); }, ExportRefusal::NothingSelected,
         "Please select one or more folders for processing."},
        {"only empty folders skipped",
         [](ExportRequest& r) {
             r.folders = SelectFolders(r.source->Root(), {"Empty"}, nullptr);
             r.skipEmpty = true;
         },
         ExportRefusal::NothingSelected, "Please select one or more folders for processing."},
    };
    for (const Case& c : cases) {
        ExportRequest request = Request();
        c.change(request);
        const auto mailBefore = Listing(mail);
        const ExportRecord record = Convert(request, observer);
        EXPECT_EQ(record.refusal, c.refusal) << c.name;
        EXPECT_EQ(record.refusalAlert.message, c.message) << c.name;
        EXPECT_EQ(record.status, Status::Failed) << c.name;
        EXPECT_TRUE(record.outputFolder.empty()) << c.name;
        EXPECT_EQ(Listing(mail), mailBefore) << c.name;
        EXPECT_TRUE(fs::is_empty(out.path())) << c.name;
        EXPECT_TRUE(observer.Events().empty()) << c.name;
    }
}

// A message file emptied after Apple Mail wrote it: the others arrive, the
// lost one is named and counted, and the run is no success.
TEST_F(ConvertTest, ADamagedMessageIsNamedCountedAndFailsTheRun)
{
    lb::WriteDamagedEmlx(mail / "INBOX.mbox" / "Messages", 6, Message(6, "lost").message,
                         lb::EmlxDamage::Empty);
    const ExportRecord record = Convert(Request(), observer);
    EXPECT_EQ(record.status, Status::Failed);
    const ExportTotals totals = record.Totals();
    EXPECT_EQ(totals.listed, 6);
    EXPECT_EQ(totals.converted, 5);
    EXPECT_EQ(totals.failed, 1);
    ASSERT_EQ(record.folders.at(1).failedNames.size(), 1u);
    EXPECT_TRUE(Contains(record.reportText, "Operation completed with errors.")) << record.reportText;
    EXPECT_TRUE(Contains(kestrin_test::ReadFile(record.logPath), "ERROR :"));
    EXPECT_EQ(CountFiles(out.path() / "Converted Data" / "Mails", ".eml"), 5u);
}

TEST_F(ConvertTest, AnExceptionOutsideTheDriverEndsAsFailureWithItsReason)
{
    const ExportRecord record =
        Convert(Request(), observer,
                [](ExportTarget, const std::string&, const std::vector<int>&, NameStyle)
                    -> boost::shared_ptr<KestrinMIMEEngineCommon::IOutputStoreProvider> {
                    throw std::runtime_error("no provider today");
                });
    EXPECT_EQ(record.status, Status::Failed);
    EXPECT_TRUE(Contains(record.reportText, "Exception occurred during conversion - no provider today"))
        << record.reportText;
    EXPECT_TRUE(Contains(kestrin_test::ReadFile(record.logPath), "no provider today"));
}

TEST_F(ConvertTest, SourcesThatCannotBeOpenedSayWhy)
{
    fs::create_directories(home.path() / "garbled" / "V10" / "MailData");
    kestrin_test::WriteFile(home.path() / "garbled" / "V10" / "MailData" / "Envelope Index",
                            "this is no database at all, not even close to one");
    struct Case {
        const char* name;
        fs::path path;
        bool cancel;
        Status status;
        std::string reason;
    };
    const Case cases[] = {
        {"damaged Envelope Index", home.path() / "garbled", false, Status::Failed,
         "file is not a database"},
        {"canceled at once", mail, true, Status::Canceled, ""},
    };
    for (const Case& c : cases) {
        kestrin_test::CapturedDiagnostics diagnostics;
        RecordingLoadObserver load;
        load.cancel = c.cancel;
        const LoadResult result = OpenSource(c.path.string(), load);
        EXPECT_EQ(result.status, c.status) << c.name;
        EXPECT_FALSE(result.source) << c.name;
        EXPECT_TRUE(Contains(result.reason, c.reason)) << c.name << ": " << result.reason;
    }
}

// The folders of a tree by path, and what skipping empty folders leaves.
class FolderChoiceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        store = MakeKindStore("/lib", StoreKind::EnvelopeIndex);
        AddFoldersEmptyAndNot(store);
        root = Tree(store);
    }
    static std::vector<std::wstring> Names(const std::vector<std::shared_ptr<const SourceFolder>>& folders)
    {
        std::vector<std::wstring> names;
        for (const auto& folder : folders)
            names.push_back(folder->name);
        return names;
    }
    boost::shared_ptr<KindStore> store;
    std::shared_ptr<const SourceFolder> root;
};

TEST_F(FolderChoiceTest, FoldersByPathTakeWhatIsBelowThemOnceInTreeOrder)
{
    struct Case {
        const char* name;
        std::vector<std::string> paths;
        std::vector<std::wstring> folders;
        std::string missing;
    };
    const Case cases[] = {
        {"every folder", {}, {L"A Parent", L"Child", L"B Uncounted", L"Empty", L"C Counted later", L"Full"}, ""},
        {"a folder and below", {"A Parent"}, {L"A Parent", L"Child"}, ""},
        {"spelled as listed", {"/A Parent/Child/"}, {L"Child"}, ""},
        {"in tree order, once", {"C Counted later", "/A Parent/Child", "/A Parent"},
         {L"A Parent", L"Child", L"C Counted later", L"Full"}, ""},
        {"one unknown path", {"A Parent", "Nope"}, {}, "/Nope/"},
    };
    for (const Case& c : cases) {
        std::string missing;
        EXPECT_EQ(Names(SelectFolders(root, c.paths, &missing)), c.folders) << c.name;
        EXPECT_EQ(missing, c.missing) << c.name;
    }
}

TEST_F(FolderChoiceTest, SkippingEmptyFoldersKeepsThoseWithMessagesAtOrBelowThem)
{
    ExportRequest request;
    request.folders = SelectFolders(root, {}, nullptr);
    EXPECT_EQ(FoldersToConvert(request).size(), 6u);
    request.skipEmpty = true;
    EXPECT_EQ(Names(FoldersToConvert(request)),
              (std::vector<std::wstring>{L"Child", L"C Counted later", L"Full"}));
}

}  // namespace
