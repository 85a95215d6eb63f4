// End to end over generated libraries with one damage each: the store the
// application would pick, every folder exported to EML files through the
// export driver. Every intact message must arrive exactly once; whatever could
// not be converted is named in the log and counted, and only then may the run
// end as a success.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "EmlxTestSupport.h"
#include "ExportTestSupport.h"
#include "applemail/AppleMailStoreHelper.h"
#include "export/ExportDriver.h"
#include "export/OutputGeneralFormatStoreProvider.h"
#include "libbuilder/Mailboxes.h"
#include "mime/KSCharsets.h"
#include "support/TestSupport.h"

namespace fs = boost::filesystem;
using namespace KestrinMIMEEngineCommon;
using namespace kestrin_libbuilder;

namespace {

MailboxMessage Plain(uint64_t id, const std::string& subject)
{
    return TextMailboxMessage(id, subject, "body of " + subject + "\n");
}

// A message whose second part Apple Mail kept apart.
MailboxMessage WithAttachment(uint64_t id, const std::string& subject, PartStorage storage)
{
    return AttachmentMailboxMessage(
        id, subject, AttachmentPart("data.bin", "application/octet-stream", "CONTENT OF " + subject, storage));
}

struct Outcome {
    std::string status = "none";  // how the export ended, as text
    int64_t processed = 0;
    int64_t failed = 0;
    std::string log;
    std::multimap<std::string, std::string> written;  // subject -> message bytes
};

// Picks the store for root as the application does and exports every folder
// of it (parents before children) to EML files below output.
Outcome ExportLibrary(const fs::path& root, const fs::path& output)
{
    Outcome outcome;
    boost::shared_ptr<IAssetStore> store = AppleMailStoreHelper::CreateStore(root.string(), L"", {});
    if (!store || store->Open({}, {}, {}, false) != Status::Succeeded) return outcome;
    const std::vector<boost::shared_ptr<IAssetFolder>> folders = export_test::AllFolders(*store);
    auto logger = boost::make_shared<export_test::CollectingLogger>();
    const ExportSummary summary = export_test::ExportFolders(folders, output, ExportTarget::Eml, logger);
    outcome.status = ToString(summary.status);
    outcome.processed = summary.processed;
    outcome.failed = summary.failed;
    outcome.log = WideToUTF8(logger->text);
    outcome.written = export_test::WrittenMessageList(output);
    return outcome;
}

struct DamageCase {
    const char* name;
    // Builds the library below the given folder and answers the root to open.
    std::function<fs::path(const fs::path&)> build;
    std::vector<std::string> intact;  // subjects that must arrive exactly once
    int64_t failed;                   // items the run must count as failed
    std::vector<std::string> named;   // texts the log must hold (failures, warnings)
    // Part number -> decoded content, for the message named first in intact.
    std::map<std::string, std::string> contents;
    bool dropsPermissions = false;  // needs a user the file modes apply to
    // Part number -> text its decoded content must not hold, for the message
    // named first in intact.
    std::map<std::string, std::string> lacks;
};

// An Inbox whose message 1 is intact and whose message 2 is damaged as given.
std::function<fs::path(const fs::path&)> SecondMessageDamaged(EmlxDamage damage)
{
    return [damage](const fs::path& dir) {
        const fs::path bundle = WriteV1Mailbox(dir / "Mail", "Inbox", {Plain(1, "one")});
        WriteDamagedEmlx(bundle / "Messages", 2, Plain(2, "two").message, damage);
        return dir / "Mail";
    };
}

std::string Describe(const Outcome& outcome)
{
    std::string text = "status " + outcome.status + ", written:";
    for (const auto& entry : outcome.written) text += " [" + entry.first + "]";
    return text + "\n" + outcome.log;
}

void Check(const DamageCase& c, const Outcome& outcome)
{
    SCOPED_TRACE(Describe(outcome));
    std::set<std::string> expected(c.intact.begin(), c.intact.end());
    for (const std::string& subject : c.intact)
        EXPECT_EQ(outcome.written.count(subject), 1u) << subject;
    for (const auto& entry : outcome.written) {
        EXPECT_TRUE(expected.count(entry.first)) << "unexpected output: " << entry.first;
        EXPECT_EQ(entry.second.find("X-Apple-Content-Length"), std::string::npos) << entry.first;
        EXPECT_EQ(entry.second.find("<plist"), std::string::npos) << entry.first;
        // Every generated message begins with its From header: a reader that
        // drops a first line loses it.
        EXPECT_NE(entry.second.find("From: Sender Example <sender@example.com>"), std::string::npos)
            << entry.first;
    }
    EXPECT_EQ(outcome.processed, static_cast<int64_t>(c.intact.size()));
    EXPECT_EQ(outcome.failed, c.failed);
    EXPECT_EQ(outcome.status, ToString(c.failed > 0 ? Status::Failed : Status::Succeeded));
    for (const std::string& text : c.named) EXPECT_NE(outcome.log.find(text), std::string::npos) << text;
    if (!c.contents.empty()) {
        auto found = outcome.written.find(c.intact.front());
        ASSERT_NE(found, outcome.written.end());
        for (const auto& part : c.contents)
            EXPECT_EQ(emlx_test::DecodedPart(found->second, part.first), part.second) << part.first;
    }
    if (!c.lacks.empty()) {
        auto found = outcome.written.find(c.intact.front());
        ASSERT_NE(found, outcome.written.end());
        for (const auto& part : c.lacks) {
            const std::string content = emlx_test::DecodedPart(found->second, part.first);
            EXPECT_FALSE(content.empty()) << part.first;
            EXPECT_EQ(content.find(part.second), std::string::npos) << part.first;
        }
    }
}

// Runs the case as an unprivileged user in a forked child, so that file
// modes apply; the child sends back what the export did.
bool RunUnprivileged(const DamageCase& c, Outcome& outcome)
{
    std::string received;
    const bool ran = kestrin_test::RunAsNobody(
        [&c]() {
            kestrin_test::TempDir dir;
            kestrin_test::TempDir output;
            const fs::path root = c.build(dir.path());
            const Outcome result = ExportLibrary(root, output.path());
            std::string message = result.status + "\n" + std::to_string(result.processed) +
                                  "\n" + std::to_string(result.failed) + "\n" +
                                  std::to_string(result.written.size()) + "\n";
            for (const auto& entry : result.written)
                message += entry.first + "\n" + std::to_string(entry.second.size()) + "\n" + entry.second;
            message += result.log;
            // Give the files back their modes so the folders can be removed.
            for (fs::recursive_directory_iterator it(dir.path()), end; it != end; ++it)
                ::chmod(it->path().c_str(), 0700);
            return message;
        },
        received);
    if (!ran) return false;
    size_t at = 0;
    auto line = [&]() {
        const size_t end = received.find('\n', at);
        const std::string text = received.substr(at, end - at);
        at = end + 1;
        return text;
    };
    outcome.status = line();
    outcome.processed = std::stoll(line());
    outcome.failed = std::stoll(line());
    const size_t count = std::stoul(line());
    for (size_t i = 0; i < count; ++i) {
        const std::string subject = line();
        const size_t size = std::stoul(line());
        outcome.written.emplace(subject, received.substr(at, size));
        at += size;
    }
    outcome.log = received.substr(at);
    return true;
}

void Link(const fs::path& target, const fs::path& link) { fs::create_symlink(target, link); }

void MakeFifo(const fs::path& path)
{
    fs::remove(path);
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0) << path;
}

// Folders and files the unprivileged user may create and then lose access to.
void Deny(const fs::path& path) { ::chmod(path.c_str(), 0); }

const std::vector<DamageCase>& Cases()
{
    static const std::vector<DamageCase> cases = {
        {"EmptyMessageFile",
         [](const fs::path& dir) {
             const fs::path bundle = WriteV1Mailbox(dir / "Mail", "Inbox", {Plain(1, "one"), Plain(3, "three")});
             WriteDamagedEmlx(bundle / "Messages", 2, Plain(2, "two").message, EmlxDamage::Empty);
             return dir / "Mail";
         },
         {"one", "three"}, 1, {"ERROR : Cannot read message file ", "Inbox.mbox/Messages/2.emlx - The file is empty"}},
        {"CountLineOnly",
         SecondMessageDamaged(EmlxDamage::CountLineOnly),
         {"one"}, 1, {"ERROR : Cannot read message file ", "Messages/2.emlx - The file holds no message"}},
        {"CountPastTheMessageStopsAtTheTrailer",
         SecondMessageDamaged(EmlxDamage::CountPastMessage),
         {"two", "one"}, 0, {}, {{"1", "body of two\n"}}},
        {"CountNearInt64Max",
         SecondMessageDamaged(EmlxDamage::CountNearInt64Max),
         {"two", "one"}, 0, {}, {{"1", "body of two\n"}}},
        {"BundleWithTwoStoreFolders",
         [](const fs::path& dir) {
             WriteV2Mailbox(dir / "Mail", "Inbox", MakeStoreUuid(1), {Plain(1, "first store")});
             WriteV2Mailbox(dir / "Mail", "Inbox", MakeStoreUuid(2), {Plain(2, "second store")});
             return dir / "Mail";
         },
         {"first store", "second store"}, 0, {}},
        {"ExportedMailboxBesideBundles",
         [](const fs::path& dir) {
             // Names on both sides of the bundle's, whatever the listing order.
             WriteExportedMailbox(dir / "Mail", "A export", {Plain(0, "exported a").message});
             WriteV2Mailbox(dir / "Mail", "M bundle", MakeStoreUuid(1), {Plain(1, "bundled")});
             WriteExportedMailbox(dir / "Mail", "Z export", {Plain(0, "exported z").message});
             return dir / "Mail";
         },
         {"exported a", "bundled", "exported z"}, 0, {}},
        // Copied together from two Macs: one bundle of each layout, with
        // names on both sides of each other's.
        {"BundlesOfBothLayouts",
         [](const fs::path& dir) {
             WriteV1Mailbox(dir / "Mail", "A older", {Plain(1, "older a")});
             WriteV2Mailbox(dir / "Mail", "M newer", MakeStoreUuid(1), {Plain(1, "newer m")});
             WriteV1Mailbox(dir / "Mail", "Z older", {Plain(1, "older z")});
             return dir / "Mail";
         },
         {"older a", "newer m", "older z"}, 0, {}},
        {"BundlesOfOneNameWithTwoExtensions",
         [](const fs::path& dir) {
             WriteV1Mailbox(dir / "Mail", "Inbox", {Plain(1, "local inbox")});
             WriteV1Mailbox(dir / "Mail", "Inbox", {Plain(1, "server inbox")}, ".imapmbox");
             return dir / "Mail";
         },
         {"local inbox", "server inbox"}, 0, {}},
        {"ExportedMailboxInsideABundle",
         [](const fs::path& dir) {
             const fs::path inbox = WriteV1Mailbox(dir / "Mail", "Inbox", {Plain(1, "bundled")});
             WriteExportedMailbox(inbox, "Kept", {Plain(0, "exported inside").message});
             return dir / "Mail";
         },
         {"bundled", "exported inside"}, 0, {}},
        {"ExportedRootNamedLikeItsBundle",
         [](const fs::path& dir) {
             WriteExportedMailbox(dir / "Archive", "Archive", {Plain(0, "archive's own").message});
             WriteExportedMailbox(dir / "Archive", "Other", {Plain(0, "other").message});
             return dir / "Archive";
         },
         {"archive's own", "other"}, 0, {}},
        {"ExportedMailboxWithByteOrderMark",
         [](const fs::path& dir) {
             WriteExportedMailbox(dir / "Export", "Inbox", {Plain(0, "after mark").message, Plain(1, "second").message},
                                  "\xEF\xBB\xBF");
             return dir / "Export";
         },
         {"after mark", "second"}, 0, {}},
        {"ExportedMailboxStartingWithBlankLines",
         [](const fs::path& dir) {
             WriteExportedMailbox(dir / "Export", "Inbox", {Plain(0, "after blanks").message}, "\n\r\n");
             return dir / "Export";
         },
         {"after blanks"}, 0, {}},
        {"ExportedMailboxWithoutSeparator",
         [](const fs::path& dir) {
             std::string entry = RenderMboxEntry(Plain(0, "no separator").message);
             entry.erase(0, entry.find('\n') + 1);
             WriteBinaryFile(dir / "Export" / "Inbox.mbox" / "mbox", entry + RenderMboxEntry(Plain(1, "next").message));
             return dir / "Export";
         },
         {"no separator", "next"}, 0, {}},
        {"AppleDoubleBesideAttachment",
         [](const fs::path& dir) {
             const MailboxMessage message = WithAttachment(7, "apple double", PartStorage::Attachments);
             const fs::path bundle = WriteV1Mailbox(dir / "Mail", "Inbox", {message});
             WriteAppleDouble(bundle / "Attachments" / "7" / "2" / "data.bin");
             return dir / "Mail";
         },
         {"apple double"}, 0, {}, {{"2", "CONTENT OF apple double"}}},
        {"StoredContentInsideAttachedMessage",
         [](const fs::path& dir) {
             PartRecipe inner = Multipart("mixed", {TextPart("inner text\n"),
                                                  AttachmentPart("inner.bin", "application/octet-stream",
                                                                 "INNER CONTENT", PartStorage::EmlxPart)});
             MessageRecipe outer = MakeMessage(
                 "forwarded", Multipart("mixed", {TextPart("see the forwarded message\n"),
                                                  AttachedMessagePart("inner", std::move(inner))}));
             WriteV1Mailbox(dir / "Mail", "Inbox", {{4, outer}});
             return dir / "Mail";
         },
         {"forwarded"}, 0, {}, {{"2.2", "INNER CONTENT"}, {"2.1", "inner text\n"}}},
        {"StoredContentOfSinglePartMessage",
         [](const fs::path& dir) {
             PartRecipe body = AttachmentPart("whole.pdf", "application/pdf", "PDF BYTES", PartStorage::Attachments);
             WriteV2Mailbox(dir / "Mail", "Inbox", MakeStoreUuid(1), {{1498, MakeMessage("single", body)}});
             return dir / "Mail";
         },
         {"single"}, 0, {}, {{"1", "PDF BYTES"}}},
        {"MissingContentIsWarned",
         [](const fs::path& dir) {
             WriteV2Mailbox(dir / "Mail", "Inbox", MakeStoreUuid(1),
                            {WithAttachment(12, "not downloaded", PartStorage::Missing), Plain(13, "whole")});
             return dir / "Mail";
         },
         {"not downloaded", "whole"}, 0,
         {"---- WARNING ----", "Apple Mail has not downloaded email content or attachments for following email: ",
          "Messages/12.partial.emlx"}},
        {"UnreadableMessageFile",
         [](const fs::path& dir) {
             const fs::path bundle = WriteV1Mailbox(dir / "Mail", "Inbox", {Plain(1, "readable")});
             const WrittenMessage locked = WriteMessage(bundle / "Messages", 2, Plain(2, "locked").message);
             Deny(locked.emlxPath);
             return dir / "Mail";
         },
         {"readable"}, 1, {"ERROR : Cannot read message file ", "Messages/2.emlx", "Permission denied"}, {}, true},
        {"UnreadableMessageFolder",
         [](const fs::path& dir) {
             const uint64_t id = 123456;
             const fs::path bundle = WriteV2Mailbox(dir / "Mail", "Inbox", MakeStoreUuid(1),
                                                    {Plain(1, "readable"), Plain(id, "locked")});
             Deny(V2MessagesFolder(bundle, MakeStoreUuid(1), id));
             return dir / "Mail";
         },
         {"readable"}, 1, {"ERROR : Cannot read mailbox folder ", "Data/3/2/1/Messages"}, {}, true},
        {"UnreadableGroupFolder",
         [](const fs::path& dir) {
             WriteV2Mailbox(dir / "Mail", "Inbox", MakeStoreUuid(1), {Plain(1, "readable")});
             WriteV2Mailbox(dir / "Mail" / "Private", "Secret", MakeStoreUuid(2), {Plain(2, "locked")});
             Deny(dir / "Mail" / "Private");
             return dir / "Mail";
         },
         {"readable"}, 1, {"ERROR : Cannot read mailbox folder ", "Mail/Private"}, {}, true},
        {"UnreadableExportedMailbox",
         [](const fs::path& dir) {
             WriteExportedMailbox(dir / "Export", "Open", {Plain(0, "readable").message});
             const fs::path locked = WriteExportedMailbox(dir / "Export", "Locked", {Plain(1, "locked").message});
             Deny(locked / "mbox");
             return dir / "Export";
         },
         {"readable"}, 1, {"ERROR : Cannot read mailbox file ", "Locked.mbox/mbox"}, {}, true},
        // Links and special files: a walk never goes through a link, and only
        // regular files are read, so nothing repeats, hangs or runs away.
        {"SymbolicLinkLoopInMailFolder",
         [](const fs::path& dir) {
             WriteV2Mailbox(dir / "Mail", "Inbox", MakeStoreUuid(1), {Plain(1, "one"), Plain(2, "two")});
             Link(".", dir / "Mail" / "loop");
             return dir / "Mail";
         },
         {"one", "two"}, 0, {}},
        {"TwoSymbolicLinkLoops",
         [](const fs::path& dir) {
             const fs::path bundle = WriteV2Mailbox(dir / "Mail", "Inbox", MakeStoreUuid(1), {Plain(1, "one")});
             WriteV2Mailbox(dir / "Mail" / "Group", "Old", MakeStoreUuid(2), {Plain(2, "older")});
             Link("..", dir / "Mail" / "Group" / "up");
             Link(".", dir / "Mail" / "loop");
             Link("..", bundle / "back");
             return dir / "Mail";
         },
         {"one", "older"}, 0, {}},
        {"LinkOutOfAttachedFolderIsNotZipped",
         [](const fs::path& dir) {
             WriteBinaryFile(dir / "outside-secret.txt", "SECRET");
             PartRecipe folder = FolderAttachmentPart("Photos", {{"a.txt", "text a"}});
             const MailboxMessage message{
                 5, MakeMessage("attached folder", Multipart("mixed", {TextPart("see folder\n"), folder}),
                                1500000005)};
             const fs::path bundle = WriteV1Mailbox(dir / "Mail", "Inbox", {message});
             Link(dir / "outside-secret.txt", bundle / "Attachments" / "5" / "2" / "Photos" / "linked-secret.txt");
             return dir / "Mail";
         },
         {"attached folder"}, 0, {}, {}, false, {{"2", "linked-secret"}}},
        {"FifoInPlaceOfMessageFile",
         [](const fs::path& dir) {
             const fs::path bundle = WriteV1Mailbox(dir / "Mail", "Inbox", {Plain(1, "one"), Plain(3, "three")});
             MakeFifo(bundle / "Messages" / "2.emlx");
             return dir / "Mail";
         },
         {"one", "three"}, 1, {"ERROR : Cannot read message file ", "Messages/2.emlx - Not a regular file"}},
        {"DevZeroLinkedAsMessageFile",
         [](const fs::path& dir) {
             const fs::path bundle = WriteV2Mailbox(dir / "Mail", "Inbox", MakeStoreUuid(1),
                                                    {Plain(1, "one"), Plain(3, "three")});
             Link("/dev/zero", V2MessagesFolder(bundle, MakeStoreUuid(1), 2) / "2.emlx");
             return dir / "Mail";
         },
         {"one", "three"}, 1, {"ERROR : Cannot read message file ", "Messages/2.emlx - Not a regular file"}},
        {"FifoInPlaceOfExportedMailbox",
         [](const fs::path& dir) {
             WriteExportedMailbox(dir / "Export", "Open", {Plain(0, "readable").message});
             const fs::path fifo = WriteExportedMailbox(dir / "Export", "Pipe", {Plain(1, "pipe").message});
             MakeFifo(fifo / "mbox");
             return dir / "Export";
         },
         {"readable"}, 1, {"ERROR : Cannot read mailbox file ", "Pipe.mbox/mbox"}},
    };
    return cases;
}

class DamagedLibraryExport : public ::testing::TestWithParam<DamageCase> {};

}  // namespace

TEST_P(DamagedLibraryExport, EveryIntactMessageOnceAndEveryLossNamed)
{
    const DamageCase& c = GetParam();
    Outcome outcome;
    if (c.dropsPermissions) {
        if (::geteuid() == 0) {
            // Root reads every file whatever its mode: the case runs as
            // "nobody" in a child process.
            ASSERT_TRUE(RunUnprivileged(c, outcome)) << "the unprivileged run did not complete";
        }
        if (::geteuid() != 0) {
            kestrin_test::TempDir dir;
            kestrin_test::TempDir output;
            outcome = ExportLibrary(c.build(dir.path()), output.path());
            for (fs::recursive_directory_iterator it(dir.path()), end; it != end; ++it)
                ::chmod(it->path().c_str(), 0700);
        }
    } else {
        kestrin_test::TempDir dir;
        kestrin_test::TempDir output;
        outcome = ExportLibrary(c.build(dir.path()), output.path());
    }
    Check(c, outcome);
}

INSTANTIATE_TEST_SUITE_P(OneDamageEach, DamagedLibraryExport, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<DamageCase>& info) { return info.param.name; });
