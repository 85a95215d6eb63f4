#include "libbuilder/EnvelopeSamples.h"

#include <boost/filesystem/operations.hpp>

#include "libbuilder/Emlx.h"
#include "libbuilder/Mailboxes.h"

namespace fs = boost::filesystem;

namespace kestrin_libbuilder {

const char* const kSampleImapAccount = "7A1B2C3D-0000-4000-8000-00000000A001";
const char* const kSampleParentAccount = "0F0F0F0F-0000-4000-8000-000000000001";
const char* const kSampleGrandchildAccount = "7A1B2C3D-0000-4000-8000-00000000A0C1";
const char* const kSampleWorkAccount = "7A1B2C3D-0000-4000-8000-00000000B002";
const char* const kSampleLocalAccount = "7A1B2C3D-0000-4000-8000-00000000C003";
const char* const kSampleNamelessAccount = "7A1B2C3D-0000-4000-8000-00000000D004";
const char* const kSampleDatabaseUUID = "3F6E2D1C-AAAA-4BBB-8CCC-DDDDEEEEFFFF";
const char* const kTransfersNFC = "\xC3\x9C" "berweisungen";
const char* const kTransfersNFD = "U\xCC\x88" "berweisungen";

int64_t EnvelopeSampleLibrary::TotalMessages() const
{
    int64_t total = 0;
    for (const auto& folder : folders)
        total += folder.count;
    return total;
}

int64_t EnvelopeSampleLibrary::TotalHeaderOnly() const
{
    int64_t total = 0;
    for (const auto& folder : folders)
        total += folder.headerOnly;
    return total;
}

namespace {

EnvelopeMessage Message(uint64_t rowId, bool hasFile = true, bool withMessageId = true)
{
    return MakeEnvelopeMessage(rowId, "Message " + std::to_string(rowId),
                               1500000000 + static_cast<int64_t>(rowId) * 60, hasFile,
                               withMessageId);
}

// A message whose attachment Apple Mail never downloaded: "<id>.partial.emlx".
EnvelopeMessage PartialMessage(uint64_t rowId)
{
    EnvelopeMessage message = Message(rowId);
    message.file.body = Multipart(
        "mixed", {TextPart("See the attached report.\n"),
                  AttachmentPart("report.pdf", "application/pdf", "%PDF-1.4 report", PartStorage::Missing)});
    return message;
}

struct Names {
    std::string imapFolder, workFolder, localFolder, namelessFolder;
    std::string imapUrl, workUrl, localUrl, namelessUrl;
    std::string imapName, workName, localName;
    std::string extension = ".mbox";
};

Names NamesFor(int layout)
{
    Names n;
    if (layout >= 7) {
        n.imapFolder = kSampleImapAccount;
        n.workFolder = kSampleWorkAccount;
        n.localFolder = kSampleLocalAccount;
        n.namelessFolder = kSampleNamelessAccount;
        n.imapUrl = std::string("imap://") + kSampleImapAccount;
        n.workUrl = std::string("ews://") + kSampleWorkAccount;
        n.localUrl = std::string("local://") + kSampleLocalAccount;
        n.namelessUrl = std::string("imap://") + kSampleNamelessAccount;
        n.imapName = "john@example.com";
        n.workName = "Work";
        n.localName = std::string("On My Mac (") + kSampleLocalAccount + ")";
    } else if (layout == 3) {
        n.imapFolder = "IMAP-john@example.com";
        n.workFolder = "EWS-work";
        n.localFolder = kSampleLocalAccount;
        n.imapUrl = std::string("imap://") + kSampleImapAccount;
        n.workUrl = std::string("ews://") + kSampleWorkAccount;
        n.localUrl = std::string("local://") + kSampleLocalAccount;
        n.imapName = n.imapFolder;
        n.workName = n.workFolder;
        n.localName = std::string("On My Mac (") + kSampleLocalAccount + ")";
    } else if (layout == 2) {
        n.imapFolder = "IMAP-john@imap.example.com";
        n.workFolder = "POP-bob@pop.example.com";
        n.localFolder = "Mailboxes";
        n.imapUrl = "imap://john@imap.example.com";
        n.workUrl = "pop://bob@pop.example.com";
        n.localUrl = "local://";
        n.imapName = "john@example.com";
        n.workName = "bob";
        n.localName = "On My Mac";
    } else {
        n.imapFolder = "IMAP-john@imap.example.com";
        n.workFolder = "AosIMAP-jane";
        n.localFolder = "Mailboxes";
        n.imapUrl = "imap://john@imap.example.com";
        n.workUrl = "imap://jane@mail.mac.com";
        n.localUrl = "local://";
        n.imapName = n.imapFolder;
        n.workName = n.workFolder;
        n.localName = "Mailboxes";
        n.extension = ".imapmbox";
    }
    return n;
}

void AddFolder(EnvelopeSampleLibrary& library, const std::string& path, int64_t count,
               int64_t headerOnly = 0)
{
    library.folders.push_back({path, count, headerOnly});
}

}  // namespace

EnvelopeSampleLibrary BuildEnvelopeSampleLibrary(const fs::path& parent, int layout,
                                                 PlistFormat plistFormat,
                                                 const std::function<void(EnvelopeIndexRecipe&)>& adjust)
{
    EnvelopeSampleLibrary library;
    library.root = parent / "Mail";
    library.layout = layout;
    const Names n = NamesFor(layout);
    const fs::path v = layout <= 1 ? fs::path() : fs::path("V" + std::to_string(layout));
    const std::string ext = n.extension;
    const bool labels = layout >= 7;

    EnvelopeIndexRecipe& recipe = library.recipe;
    recipe.layout = layout;
    if (layout < 8)
        recipe.databaseUUID = kSampleDatabaseUUID;
    else
        recipe.storeUUID = MakeStoreUuid(7);

    const fs::path imap = v / n.imapFolder;
    auto mailbox = [&](uint64_t rowId, const std::string& url, const fs::path& bundle,
                       std::vector<EnvelopeMessage> messages) -> EnvelopeMailbox& {
        EnvelopeMailbox box;
        box.rowId = rowId;
        box.url = url;
        box.bundle = bundle;
        box.messages = std::move(messages);
        recipe.mailboxes.push_back(std::move(box));
        return recipe.mailboxes.back();
    };

    mailbox(1, n.imapUrl + "/INBOX", imap / ("INBOX" + ext),
            {Message(5), Message(9, false), PartialMessage(12), Message(1000), Message(1234567)});
    mailbox(2, n.imapUrl + "/%5BGmail%5D/All%20Mail",
            imap / ("[Gmail]" + ext) / ("All Mail" + ext),
            {Message(20), Message(21), Message(22, true, false), Message(23, false, false)});
    if (labels) {
        EnvelopeMailbox& work = mailbox(3, n.imapUrl + "/Work", imap / ("Work" + ext), {});
        work.source = 2;
        work.labels = {22, 20};
    }
    // The child is listed before its parent mailbox.
    mailbox(4, n.imapUrl + "/Projects/Q1", imap / ("Projects" + ext) / ("Q1" + ext), {Message(30)});
    mailbox(5, n.imapUrl + "/Projects", imap / ("Projects" + ext), {Message(31)});
    mailbox(6, n.workUrl + "/Inbox", v / n.workFolder / ("Inbox" + ext), {Message(40)});
    // Local mailboxes are plain ".mbox" bundles in every layout.
    mailbox(7, n.localUrl + "/%C3%9Cberweisungen", v / n.localFolder / (std::string(kTransfersNFD) + ".mbox"),
            {Message(50)});
    mailbox(8, n.imapUrl + "/Gone", fs::path(), {Message(60)});
    mailbox(9, n.imapUrl + "/..%2F..%2F..%2Fetc", fs::path(), {Message(80)});
    // A mailbox whose own bundle is gone inside a bundle that is still there.
    mailbox(11, n.imapUrl + "/Archive/2019", fs::path(), {Message(90)});
    if (layout >= 7)
        mailbox(10, n.namelessUrl + "/INBOX", v / n.namelessFolder / "INBOX.mbox", {Message(70)});
    if (layout == 2)
        mailbox(10, "imap://stranger@imap.other.com/INBOX",
                v / "IMAP-stranger@imap.other.com" / "INBOX.mbox", {Message(70)});

    if (adjust)
        adjust(recipe);
    library.messageFiles = WriteEnvelopeIndexLibrary(library.root, recipe);
    fs::create_directories(library.root / imap / ("Archive" + ext));

    // Finder litter inside bundles: never taken for the store folder.
    for (const auto& box : recipe.mailboxes) {
        if (box.bundle.empty())
            continue;
        WriteBinaryFile(library.root / box.bundle / ".DS_Store", "Bud1");
        WriteMailboxInfoPlist(library.root / box.bundle, box.bundle.stem().string(), plistFormat);
    }

    if (layout == 2) {
        fs::create_directories(library.root / "V2" / "Mailboxes");
        WriteAccountsPlist(
            library.root / "V2" / "MailData" / "Accounts.plist",
            {
                {"IMAPAccount", "john", true, "imap.example.com",
                 "~/Library/Mail/V2/IMAP-john@imap.example.com", "john@example.com", true},
                {"POPAccount", "bob", true, "pop.example.com",
                 "~/Library/Mail/V2/POP-bob@pop.example.com", "", false},
                {"LocalAccount", "", false, "", "~/Library/Mail/V2/Mailboxes", "", false},
            },
            plistFormat);
    }
    if (layout == 3) {
        BackupTOCEntry group;
        group.type = 1;
        group.mailboxes = {
            {8, kSampleImapAccount, "V3/IMAP-john@example.com/INBOX.mbox", {}},
            {8, kSampleWorkAccount, "./V3/EWS-work/Inbox.mbox", {}},
        };
        WriteBackupTOC(library.root / "V3" / "MailData" / "BackupTOC.plist", {group}, plistFormat);
    }
    if (layout >= 4) {
        const fs::path accounts = parent / "Accounts";
        WriteAccountsDatabase(accounts / "Accounts3.sqlite",
                              {{1, kSampleImapAccount, "Old", "old@example.com", 0}});
        ZAccountRow work{4, kSampleWorkAccount, "Work", "", 0};
        work.nullWhenEmpty = false;  // an empty text, not NULL
        WriteAccountsDatabase(accounts / "Accounts4.sqlite",
                              {
                                  {1, kSampleParentAccount, "Google", "john@example.com", 0},
                                  {2, kSampleImapAccount, "IMAP", "", 1},
                                  {3, kSampleGrandchildAccount, "", "", 2},
                                  work,
                                  {5, kSampleNamelessAccount, "", "", 0},
                                  {6, "7A1B2C3D-0000-4000-8000-00000000D0C1", "", "", 5},
                              });
        // An unnumbered database is never the account database.
        WriteAccountsDatabase(accounts / "Accounts.sqlite",
                              {{1, kSampleImapAccount, "Unnumbered", "unnumbered@example.com", 0}});
    }

    const std::string a = "/" + n.imapName + "/";
    AddFolder(library, a + "INBOX/", 5, 1);
    AddFolder(library, a + "[Gmail]/All Mail/", 4, 1);
    if (labels)
        AddFolder(library, a + "Work/", 2);
    AddFolder(library, a + "Projects/Q1/", 1);
    AddFolder(library, a + "Projects/", 1);
    AddFolder(library, "/" + n.workName + "/Inbox/", 1);
    AddFolder(library, "/" + n.localName + "/" + kTransfersNFC + "/", 1);
    // Accounts the configuration does not name keep their mail, shown
    // under the account id (layout 2: the URL's account part).
    if (layout >= 7)
        AddFolder(library, "/" + std::string(kSampleNamelessAccount) + "/INBOX/", 1);
    if (layout == 2)
        AddFolder(library, "/stranger@imap.other.com/INBOX/", 1);
    library.absentPaths = {a + "Gone/", a + "etc/", a + "Archive/2019/"};
    return library;
}

}  // namespace kestrin_libbuilder
