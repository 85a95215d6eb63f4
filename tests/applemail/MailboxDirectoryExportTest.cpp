// End to end: a generated library of the newer mailbox-directory layout,
// exported through the export driver to EML files and to mbox files. Every
// message must arrive, with the attachments Apple Mail kept beside it.
#include <gtest/gtest.h>

#include <map>

#include "EmlxTestSupport.h"
#include "ExportTestSupport.h"
#include "applemail/AppleMailDBStoreV2.h"
#include "export/ExportDriver.h"
#include "export/OutputGeneralFormatStoreProvider.h"
#include "libbuilder/Mailboxes.h"
#include "mime/KSCharsets.h"
#include "support/TestSupport.h"

namespace fs = boost::filesystem;
using namespace KestrinMIMEEngineCommon;
using namespace kestrin_libbuilder;
using emlx_test::DecodedPart;
using export_test::CollectingLogger;
using export_test::WrittenMessages;

namespace {

// A message whose part 2 is an attachment stored as given.
struct ExpectedMessage {
    uint64_t id;
    std::string subject;
    PartStorage storage;
    std::string content;  // decoded content of part 2; empty for a text-only message
};

MailboxMessage Build(const ExpectedMessage& m)
{
    if (m.content.empty())
        return TextMailboxMessage(m.id, m.subject, "only text\nFrom the start of a line\n");
    return AttachmentMailboxMessage(
        m.id, m.subject, AttachmentPart(m.subject + ".bin", "application/octet-stream", m.content, m.storage));
}

size_t OpenDescriptors()
{
    size_t count = 0;
    for (fs::directory_iterator it("/proc/self/fd"), end; it != end; ++it) ++count;
    return count;
}

}  // namespace

TEST(MailboxDirectoryExportTest, V2LibraryExportsEveryMessageWithItsAttachments)
{
    const std::vector<ExpectedMessage> inbox = {
        {5, "plain", PartStorage::Inline, ""},
        {1498, "from emlxpart", PartStorage::EmlxPart, std::string("EMLXPART\x00\x01\xfe", 11)},
        {123456, "from attachments", PartStorage::Attachments, "ATTACHMENTS FOLDER"},
        {2001, "still inline", PartStorage::Inline, "INLINE CONTENT"},
    };
    const std::vector<ExpectedMessage> sub = {{7, "nested", PartStorage::Attachments, "NESTED"}};
    const std::vector<ExpectedMessage> work = {{1, "lost", PartStorage::Missing, "NEVER STORED"}};

    kestrin_test::TempDir dir;
    auto build = [](const std::vector<ExpectedMessage>& list) {
        std::vector<MailboxMessage> out;
        for (const auto& m : list) out.push_back(Build(m));
        return out;
    };
    const fs::path inboxBundle = WriteV2Mailbox(dir / "Mail", "Inbox", MakeStoreUuid(1), build(inbox));
    WriteV2Mailbox(inboxBundle, "Sub", MakeStoreUuid(2), build(sub));
    WriteV2Mailbox(dir / "Mail" / "Account", "Work", MakeStoreUuid(3), build(work));

    for (ExportTarget target : {ExportTarget::Eml, ExportTarget::Mbox}) {
        SCOPED_TRACE(target == ExportTarget::Eml ? "EML" : "mbox");
        auto store = boost::make_shared<AppleMailDBStoreV2>((dir / "Mail").string(), L"");
        ASSERT_EQ(store->Open({}, {}, {}, false), Status::Succeeded);
        const std::vector<boost::shared_ptr<IAssetFolder>> folders = export_test::AllFolders(*store);
        ASSERT_EQ(folders.size(), 4u);

        kestrin_test::TempDir output;
        const size_t descriptorsBefore = OpenDescriptors();
        auto logger = boost::make_shared<CollectingLogger>();
        const ExportSummary summary = export_test::ExportFolders(folders, output.path(), target, logger);
        EXPECT_EQ(OpenDescriptors(), descriptorsBefore) << "every message's files are closed";

        EXPECT_EQ(summary.status, Status::Succeeded) << WideToUTF8(logger->text);
        EXPECT_EQ(summary.processed, 6);
        EXPECT_EQ(summary.failed, 0);

        const std::map<std::string, std::string> written = WrittenMessages(output.path());
        EXPECT_EQ(written.size(), 6u);
        for (const auto* list : {&inbox, &sub, &work}) {
            for (const ExpectedMessage& m : *list) {
                SCOPED_TRACE(m.subject);
                EXPECT_NE(logger->text.find(L"\r\nSubject : " + UTF8ToWide(m.subject)), std::wstring::npos);
                auto found = written.find(m.subject);
                ASSERT_NE(found, written.end());
                EXPECT_EQ(found->second.find("X-Apple-Content-Length"), std::string::npos);
                if (m.storage == PartStorage::Missing) {
                    EXPECT_EQ(DecodedPart(found->second, "2").find("This attachment was not converted"), 0u);
                } else if (!m.content.empty()) {
                    EXPECT_EQ(DecodedPart(found->second, "2"), m.content);
                }
            }
        }
        EXPECT_NE(logger->text.find(L"\r\nSubject : lost\r\n(Warning: This email has been partially "
                                    L"downloaded from server or it may have uncached Attachments.)"),
                  std::wstring::npos);
    }
}
