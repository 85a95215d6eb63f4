// Every writer of the export under a file that stops growing part-way (the
// kernel's file-size limit in a child process stands in for a full disk or a
// quota), with its output folder removed during the run, and the read-back
// check over what they wrote.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <functional>
#include <memory>

#include <boost/filesystem.hpp>
#include <boost/make_shared.hpp>

#include "app/VerifyExport.h"
#include "archive/ArchiveDescriptors.h"
#include "archive/MSEAssetStore.h"
#include "assets/KestrinLogger.h"
#include "formats/EMLAssetStore.h"
#include "formats/EMLEmailAsset.h"
#include "formats/MBOXAssetFolder.h"
#include "formats/MBOXAssetStore.h"
#include "support/TestSupport.h"

namespace {

using namespace KestrinMIMEEngineCommon;
using namespace KestrinApp;
namespace fs = boost::filesystem;

std::string MessageBytes(const std::string& subject)
{
    std::string text = "From: Alice <alice@example.com>\r\nTo: bob@example.com\r\n"
                       "Date: Tue, 05 Mar 2019 14:07:09 +0000\r\nSubject: " +
                       subject + "\r\nMessage-ID: <" + subject + "@example.com>\r\n\r\n";
    for (int line = 0; line < 40; ++line)
        text += "Line " + std::to_string(line) + " of a message long enough to be cut.\r\n";
    return text;
}

boost::shared_ptr<EMLEmailAsset> Message(const std::string& subject)
{
    const std::string text = MessageBytes(subject);
    return boost::make_shared<EMLEmailAsset>(
        boost::make_shared<std::vector<uint8_t>>(text.begin(), text.end()));
}

// Runs work in a child whose files may not grow beyond limit bytes; writes
// past it fail with EFBIG, as on a full disk. Answers work's answer, or -1
// when the child did not end normally.
int RunWithFileSizeLimit(uintmax_t limit, const std::function<bool()>& work)
{
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit size{static_cast<rlim_t>(limit), static_cast<rlim_t>(limit)};
        ::setrlimit(RLIMIT_FSIZE, &size);
        ::_exit(work() ? 1 : 0);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

template <typename Store>
boost::shared_ptr<Store> Opened(boost::shared_ptr<Store> store)
{
    EXPECT_EQ(store->Open({}, {}, {}, true), Status::Succeeded);
    return store;
}

boost::shared_ptr<IAssetFolderMutable> MailFolder(const boost::shared_ptr<IAssetStore>& store)
{
    auto root = boost::dynamic_pointer_cast<IAssetFolderMutable>(store->GetRootFolder());
    return root ? root->CreateSubFolder(L"Inbox", kFolderKindMail, "inbox") : nullptr;
}

bool Written(const boost::shared_ptr<IAssetFolderMutable>& folder, const std::string& subject)
{
    folder->BeginAddAssets({}, {}, {});
    const bool written = folder->AddAsset(Message(subject), {}, {}, {}, "").code == AddAssetCode::Written;
    folder->EndAddAssets({}, {}, {});
    return written;
}

// One writer of the export: made ready in the parent, written in the child.
class WriterUnderTest {
public:
    virtual ~WriterUnderTest() = default;
    virtual void Prepare(const fs::path& dir) = 0;
    // The size the written file has before this write (the limit starts there).
    virtual uintmax_t SizeBefore() = 0;
    // Answers whether the writer said all went out.
    virtual bool Write() = 0;
    // After a failed write: nothing cut or empty is left that could pass for output.
    virtual void ExpectNothingCut(const std::string& label) = 0;
    // After a good write: the output holds it whole.
    virtual void ExpectWhole(const std::string& label) = 0;
};

class EmlWriter : public WriterUnderTest {
public:
    void Prepare(const fs::path& dir) override
    {
        m_store = Opened(boost::make_shared<EMLAssetStore>((dir / "Mails").string(), L"", true));
        m_folder = MailFolder(m_store);
        m_directory = dir / "Mails" / "Inbox";
    }
    uintmax_t SizeBefore() override { return 0; }
    bool Write() override { return Written(m_folder, "cut"); }
    void ExpectNothingCut(const std::string& label) override
    {
        EXPECT_EQ(Files().size(), 0u) << label;
    }
    void ExpectWhole(const std::string& label) override
    {
        const auto files = Files();
        ASSERT_EQ(files.size(), 1u) << label;
        EXPECT_EQ(kestrin_test::ReadFile(files[0]), MessageBytes("cut")) << label;
    }

private:
    std::vector<fs::path> Files()
    {
        std::vector<fs::path> files;
        for (fs::directory_iterator it(m_directory), end; it != end; ++it) files.push_back(it->path());
        return files;
    }
    boost::shared_ptr<EMLAssetStore> m_store;
    boost::shared_ptr<IAssetFolderMutable> m_folder;
    fs::path m_directory;
};

// The mbox target and the archive's mailboxes: a mailbox with one entry
// already, to which the second is added.
class MailboxWriter : public WriterUnderTest {
public:
    explicit MailboxWriter(bool archive) : m_archive(archive) {}
    void Prepare(const fs::path& dir) override
    {
        if (m_archive) {
            auto archive = Opened(boost::make_shared<MSEAssetStore>((dir / "Export.rge").string(),
                                                                    L""));
            m_folder = archive->GetDefaultFolderMutable(kAssetTypeEmail, true);
            m_store = archive;
        } else {
            m_store = Opened(boost::make_shared<MBOXAssetStore>((dir / "Mails").string(), L"", StoreKind::Mbox));
            m_folder = MailFolder(m_store);
        }
        ASSERT_TRUE(m_folder);
        ASSERT_TRUE(Written(m_folder, "first"));
        m_mailbox = boost::dynamic_pointer_cast<MBOXAssetFolder>(m_folder)->GetMailboxPath();
        m_before = kestrin_test::ReadFile(m_mailbox);
    }
    uintmax_t SizeBefore() override { return m_before.size(); }
    bool Write() override { return Written(m_folder, "cut"); }
    void ExpectNothingCut(const std::string& label) override
    {
        EXPECT_EQ(kestrin_test::ReadFile(m_mailbox), m_before) << label;
    }
    void ExpectWhole(const std::string& label) override
    {
        ExportOutputRecord output{ExportOutputRecord::Kind::Mailbox, m_mailbox, 2, {}};
        EXPECT_EQ(CountMessagesInOutput(output), 2) << label;
        EXPECT_NE(kestrin_test::ReadFile(m_mailbox).find("Line 39 of a message"), std::string::npos);
    }

private:
    bool m_archive;
    boost::shared_ptr<IAssetStore> m_store;
    boost::shared_ptr<IAssetFolderMutable> m_folder;
    std::string m_mailbox;
    std::string m_before;
};

class DescriptorWriter : public WriterUnderTest {
public:
    void Prepare(const fs::path& dir) override
    {
        m_package = dir / "Export.rge";
        fs::create_directories(m_package);
    }
    uintmax_t SizeBefore() override { return 0; }
    bool Write() override { return WriteArchiveDescriptors(m_package.string()); }
    void ExpectNothingCut(const std::string& label) override
    {
        for (const auto& file : Files()) {
            if (fs::exists(file.first)) {
                EXPECT_EQ(fs::file_size(file.first), file.second) << label << ": " << file.first;
            }
        }
    }
    void ExpectWhole(const std::string& label) override
    {
        for (const auto& file : Files()) {
            ASSERT_TRUE(fs::exists(file.first)) << label;
            EXPECT_EQ(fs::file_size(file.first), file.second) << label << ": " << file.first;
        }
    }

private:
    std::vector<std::pair<fs::path, uintmax_t>> Files()
    {
        return {{m_package / "Archive.xml", kArchiveXmlSize},
                {m_package / "Contents/Info.plist", kInfoPlistSize},
                {m_package / "Contents/PkgInfo", kPkgInfoSize}};
    }
    fs::path m_package;
};

// The conversion log: a line it could not write makes it say so.
class LogWriter : public WriterUnderTest {
public:
    void Prepare(const fs::path& dir) override { m_path = (dir / "log.txt").string(); }
    uintmax_t SizeBefore() override { return 0; }
    bool Write() override
    {
        KestrinLogger logger(m_path);
        for (int line = 0; line < 20; ++line)
            logger.Log(L"Processed Item Count: " + std::to_wstring(line), true, true);
        return !logger.HasWriteFailed();
    }
    void ExpectNothingCut(const std::string&) override {}
    void ExpectWhole(const std::string& label) override
    {
        EXPECT_NE(kestrin_test::ReadFile(m_path).find("Processed Item Count: 19\r\n"),
                  std::string::npos)
            << label;
    }

private:
    std::string m_path;
};

struct WriterCase {
    const char* name;
    std::function<std::unique_ptr<WriterUnderTest>()> make;
};

const WriterCase kWriters[] = {
    {"eml file", [] { return std::unique_ptr<WriterUnderTest>(new EmlWriter); }},
    {"mbox entry", [] { return std::unique_ptr<WriterUnderTest>(new MailboxWriter(false)); }},
    {"archive mailbox entry", [] { return std::unique_ptr<WriterUnderTest>(new MailboxWriter(true)); }},
    {"archive descriptors", [] { return std::unique_ptr<WriterUnderTest>(new DescriptorWriter); }},
    {"conversion log", [] { return std::unique_ptr<WriterUnderTest>(new LogWriter); }},
};

TEST(WriterFailure, AFileThatStopsGrowingFailsTheWriteAndLeavesNothingCut)
{
    for (const WriterCase& writer : kWriters) {
        for (const uintmax_t room : {uintmax_t{0}, uintmax_t{1}, uintmax_t{100}}) {
            const std::string label = std::string(writer.name) + ", room " + std::to_string(room);
            kestrin_test::CapturedDiagnostics diagnostics;
            kestrin_test::TempDir dir;
            auto under = writer.make();
            under->Prepare(dir.path());
            EXPECT_EQ(RunWithFileSizeLimit(under->SizeBefore() + room, [&] { return under->Write(); }),
                      0)
                << label;
            under->ExpectNothingCut(label);
        }
        // The same writer with room enough writes the whole item.
        kestrin_test::TempDir dir;
        auto under = writer.make();
        under->Prepare(dir.path());
        EXPECT_EQ(RunWithFileSizeLimit(1 << 20, [&] { return under->Write(); }), 1) << writer.name;
        under->ExpectWhole(writer.name);
    }
}

// The output folder removed (or moved) after its first item: the writers
// must not make it again, and the later items fail.
TEST(WriterFailure, OutputFolderRemovedDuringTheRunIsNotMadeAgain)
{
    struct Case {
        const char* name;
        std::function<boost::shared_ptr<IAssetStore>(const fs::path&)> open;
    };
    const Case cases[] = {
        {"eml",
         [](const fs::path& at) {
             return Opened(boost::make_shared<EMLAssetStore>(at.string(), L"", true));
         }},
        {"mbox",
         [](const fs::path& at) {
             return Opened(
                 boost::make_shared<MBOXAssetStore>(at.string(), L"", StoreKind::Mbox));
         }},
        {"archive",
         [](const fs::path& at) {
             return Opened(boost::make_shared<MSEAssetStore>(at.string(), L""));
         }},
    };
    for (const Case& c : cases) {
        kestrin_test::CapturedDiagnostics diagnostics;
        kestrin_test::TempDir dir;
        const fs::path output = dir.path() / "Output";
        auto store = c.open(output);
        auto archive = boost::dynamic_pointer_cast<MSEAssetStore>(store);
        auto inbox = archive ? archive->GetDefaultFolderMutable(kAssetTypeEmail, true)
                             : MailFolder(store);
        ASSERT_TRUE(inbox) << c.name;
        EXPECT_TRUE(Written(inbox, "before")) << c.name;
        fs::rename(output, dir.path() / "Moved");

        EXPECT_FALSE(Written(inbox, "after")) << c.name;
        auto root = boost::dynamic_pointer_cast<IAssetFolderMutable>(store->GetRootFolder());
        auto later = root ? root->CreateSubFolder(L"Later", kFolderKindMail, "later") : nullptr;
        if (later) {
            EXPECT_FALSE(Written(later, "later")) << c.name;
        }
        if (archive) {
            EXPECT_FALSE(archive->GetDefaultFolderMutable(kAssetTypeEmail, true)) << c.name;
        }
        EXPECT_FALSE(fs::exists(output)) << c.name << ": the output folder came back";
    }
}

TEST(VerifyExportTest, ReadBackCountsAgainstWhatWasWritten)
{
    kestrin_test::TempDir dir;
    auto mbox = Opened(boost::make_shared<MBOXAssetStore>((dir.path() / "Mails").string(), L"", StoreKind::Mbox));
    auto inbox = MailFolder(mbox);
    ASSERT_TRUE(Written(inbox, "one") && Written(inbox, "two"));
    const std::string mailbox = boost::dynamic_pointer_cast<MBOXAssetFolder>(inbox)->GetMailboxPath();

    const fs::path emls = dir.path() / "Emls";
    fs::create_directories(emls);
    kestrin_test::WriteFile(emls / "a_1.eml", MessageBytes("a"));
    kestrin_test::WriteFile(emls / "b_2.eml", MessageBytes("b"));
    kestrin_test::WriteFile(emls / "empty_3.eml", "");
    kestrin_test::WriteFile(emls / "._a_1.eml", "resource fork");

    ExportRecord record;
    record.outputs = {
        {ExportOutputRecord::Kind::Mailbox, mailbox, 2, {"/Inbox/"}},
        {ExportOutputRecord::Kind::EmlDirectory, emls.string(), 3, {"/Sent/"}},
        {ExportOutputRecord::Kind::Mailbox, (dir.path() / "gone.mbox").string(), 1, {"/Gone/"}},
    };
    const VerifyResult result = VerifyExport(record);
    EXPECT_FALSE(result.ok);
    ASSERT_EQ(result.folders.size(), 3u);
    EXPECT_TRUE(result.folders[0].Agrees()) << result.folders[0].problem;
    EXPECT_EQ(result.folders[0].found, 2);
    EXPECT_EQ(result.folders[1].found, 2);  // the empty file is no message
    EXPECT_EQ(result.folders[1].problem, "3 written, 2 found");
    EXPECT_EQ(result.folders[2].problem, "the mailbox file is missing");
    const std::string text = VerifyText(result);
    EXPECT_NE(text.find("Verified: " + mailbox + ": 2 processed, 2 found\n"), std::string::npos)
        << text;
    EXPECT_NE(text.find("DIFFERENCE: " + emls.string() + ": 3 processed, 2 found"),
              std::string::npos)
        << text;

    record.outputs.resize(1);
    EXPECT_TRUE(VerifyExport(record).ok);
}

}  // namespace
