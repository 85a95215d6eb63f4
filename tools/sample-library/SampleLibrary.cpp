#include "sample-library/SampleLibrary.h"

#include <map>
#include <stdexcept>
#include <utility>

#include <boost/filesystem/operations.hpp>

#include "libbuilder/Accounts.h"
#include "libbuilder/BuilderSqlite.h"
#include "libbuilder/Emlx.h"
#include "libbuilder/EnvelopeIndex.h"
#include "sample-library/SampleMessages.h"

namespace fs = boost::filesystem;
namespace lb = kestrin_libbuilder;

namespace kestrin_sample {

const char* const kImapAccountId = "5E1A9D32-4C7B-4F0E-9A61-2B8C3D4E5F60";
const char* const kImapParentAccountId = "0B7F3E21-9C4D-4A85-B6E2-7D1F0A9C8B34";
const char* const kLocalAccountId = "C4A7E9B1-3D52-4E86-8F19-6A0B2C3D4E5F";
const char* const kStoreUUID = "8D3C5B1A-7E24-4F69-A0C8-1B2D3E4F5A6B";
const char* const kImapAccountName = "anna.schmidt@example.com";
const char* const kLocalAccountName = "On My Mac";

namespace {

const int kLayout = 10;

// Names of the sample, as UTF-8.
const char kTransfersNFC[] = "\xC3\x9C" "berweisungen";     // Überweisungen, composed
const char kTransfersNFD[] = "U\xCC\x88" "berweisungen";    // as macOS stores it on disk
const char kGreek[] = "\xCE\x95\xCE\xBB\xCE\xBB\xCE\xB7\xCE\xBD\xCE\xB9\xCE\xBA\xCE\xAC";  // Ελληνικά

const Person kOwner{"Anna Schmidt", kImapAccountName};

// Percent-encodes a mailbox path for its URL; "/" separates the levels.
std::string UrlPath(const std::string& path)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : path) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' ||
                           c == '~' || c == '/';
        if (plain) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

struct MailboxPlan {
    uint64_t rowId;
    bool local;                     // the "On My Mac" account, else the IMAP account
    std::vector<std::string> names; // the mailbox path as its URL names it (composed)
    std::vector<std::string> onDisk;// bundle names without ".mbox" when they differ
    uint64_t source = 0;            // label mailbox: the mailbox holding its messages
};

fs::path AccountFolder(bool local)
{
    return fs::path("V" + std::to_string(kLayout)) / (local ? kLocalAccountId : kImapAccountId);
}

fs::path BundlePath(const MailboxPlan& plan)
{
    fs::path bundle = AccountFolder(plan.local);
    const auto& names = plan.onDisk.empty() ? plan.names : plan.onDisk;
    for (const auto& name : names)
        bundle /= name + ".mbox";
    return bundle;
}

std::string JoinNames(const std::vector<std::string>& names)
{
    std::string joined;
    for (const auto& name : names)
        joined += (joined.empty() ? "" : "/") + name;
    return joined;
}

std::string TreePath(const MailboxPlan& plan)
{
    return "/" + std::string(plan.local ? kLocalAccountName : kImapAccountName) + "/" +
           JoinNames(plan.names) + "/";
}

// 09:00 UTC on a day of 2023 (day 0 is 1 January).
int64_t Day2023(int day, int hour = 9)
{
    return 1672531200 + static_cast<int64_t>(day) * 86400 + hour * 3600;
}

// The hand-written messages, by mailbox row.
std::map<uint64_t, std::vector<lb::EnvelopeMessage>> HandWrittenMessages()
{
    const Person team{"Example Mail", "team@example.com"};
    const Person juergen{"J\xC3\xBCrgen M\xC3\xBCller", "juergen.mueller@example.de"};
    const Person nikos{"\xCE\x9D\xCE\xAF\xCE\xBA\xCE\xBF\xCF\x82 \xCE\xA0\xCE\xB1\xCF\x80\xCE\xB1"
                       "\xCE\xB4\xCF\x8C\xCF\x80\xCE\xBF\xCF\x85\xCE\xBB\xCE\xBF\xCF\x82",
                       "nikos@example.gr"};
    const Person hanako{"\xE7\x94\xB0\xE4\xB8\xAD \xE8\x8A\xB1\xE5\xAD\x90", "hanako.tanaka@example.jp"};
    const Person maria{"Maria Lopez", "maria.lopez@example.com"};
    const Person bank{"Sparkasse Beispielstadt", "service@bank.example.de"};
    const Person store{"Example Store", "receipts@store.example.com"};
    const Person airline{"Example Air", "booking@air.example.com"};

    std::map<uint64_t, std::vector<lb::EnvelopeMessage>> boxes;

    // INBOX
    auto& inbox = boxes[1];
    inbox.push_back(Letter(101, team, kOwner, "Welcome to your new mailbox", Day2023(8),
                           Utf8Text("Hi Anna,\n\nyour mailbox is ready. Enjoy!\n\nThe Example Mail team\n")));
    inbox.push_back(Letter(102, juergen, kOwner,
                           "Gr\xC3\xBC\xC3\x9F" "e aus M\xC3\xBCnchen \xE2\x80\x93 Termin am Freitag",
                           Day2023(12, 16),
                           Utf8Text("Hallo Anna,\n\nwie besprochen treffen wir uns am Freitag um 10 Uhr "
                                    "im B\xC3\xBCro am Marienplatz.\nBitte bring die Unterlagen f\xC3\xBCr "
                                    "die \xC3\x9C" "berweisung mit.\n\nViele Gr\xC3\xBC\xC3\x9F" "e\nJ\xC3\xBCrgen\n")));
    inbox.push_back(Letter(103, nikos, kOwner,
                           "\xCE\x9A\xCE\xB1\xCE\xBB\xCE\xB7\xCE\xBC\xCE\xAD\xCF\x81\xCE\xB1 \xCE\xB1\xCF\x80\xCF"
                           "\x8C \xCF\x84\xCE\xB7\xCE\xBD \xCE\x91\xCE\xB8\xCE\xAE\xCE\xBD\xCE\xB1",
                           Day2023(15, 7),
                           Utf8Text("\xCE\x93\xCE\xB5\xCE\xB9\xCE\xB1 \xCF\x83\xE1\xBF\xB6\xCF\x82 \xCE\x86\xCE\xBD"
                                    "\xCE\xBD\xCE\xB1,\n\n\xCF\x84\xCE\xB1 \xCE\xBB\xCE\xAD\xCE\xBC\xCE\xB5 "
                                    "\xCF\x83\xCF\x8D\xCE\xBD\xCF\x84\xCE\xBF\xCE\xBC\xCE\xB1!\n\n\xCE\x9D\xCE\xAF"
                                    "\xCE\xBA\xCE\xBF\xCF\x82\n")));
    inbox.push_back(Letter(104, hanako, kOwner,
                           "\xE4\xBC\x9A\xE8\xAD\xB0\xE3\x81\xAE\xE8\xAD\xB0\xE4\xBA\x8B\xE9\x8C\xB2\xEF\xBC\x88"
                           "\xE7\xAC\xAC" "3" "\xE5\x9B\x9B\xE5\x8D\x8A\xE6\x9C\x9F\xEF\xBC\x89",
                           Day2023(20, 2),
                           Utf8Text("\xE3\x82\xA2\xE3\x83\xB3\xE3\x83\x8A\xE3\x81\x95\xE3\x82\x93\n\n"
                                    "\xE4\xBC\x9A\xE8\xAD\xB0\xE3\x81\xAE\xE8\xAD\xB0\xE4\xBA\x8B\xE9\x8C\xB2"
                                    "\xE3\x82\x92\xE9\x80\x81\xE3\x82\x8A\xE3\x81\xBE\xE3\x81\x99\xE3\x80\x82\n\n"
                                    "\xE7\x94\xB0\xE4\xB8\xAD\n",
                                    true)));
    // The attachment sits in "105.2.emlxpart" beside "105.partial.emlx".
    inbox.push_back(Letter(
        105, maria, kOwner, "Quarterly report Q4/2022", Day2023(23),
        lb::Multipart("mixed", {Utf8Text("Hi Anna,\n\nthe quarterly report is attached.\n\nMaria\n"),
                                lb::AttachmentPart("Quarterly report Q4-2022.pdf", "application/pdf",
                                                   "%PDF-1.4\n% quarterly report\n" + std::string(6000, 'Q'),
                                                   lb::PartStorage::EmlxPart)})));
    // A folder the sender attached, kept unpacked in "Attachments".
    inbox.push_back(Letter(
        106, juergen, kOwner, "Fotos vom Wochenende", Day2023(30, 19),
        lb::Multipart("mixed", {Utf8Text("Hier die Fotos vom Ausflug.\n"),
                                lb::FolderAttachmentPart(
                                    "Wochenende",
                                    {{"Berge.jpg", "\xFF\xD8\xFF\xE0 JFIF mountains" + std::string(3000, 'M')},
                                     {"See.jpg", "\xFF\xD8\xFF\xE0 JFIF lake" + std::string(2000, 'L')},
                                     {"Notizen.txt", "Wanderung: 14 km, 800 H\xC3\xB6henmeter\n"}})})));
    // Listed in the database, never downloaded.
    lb::EnvelopeMessage notDownloaded =
        Letter(107, bank, kOwner, "Rechnung M\xC3\xA4rz 2023", Day2023(61), Utf8Text("Rechnung\n"));
    notDownloaded.hasFile = false;
    inbox.push_back(notDownloaded);
    // An attachment Apple Mail never fetched: "1042.partial.emlx" with the
    // part's headers only. ROWID 1042 lives in the digit folder "1".
    inbox.push_back(Letter(
        1042, store, kOwner, "Invoice 2023-0042", Day2023(64),
        lb::Multipart("mixed", {Utf8Text("Thank you for your order. Your invoice is attached.\n"),
                                lb::AttachmentPart("Invoice-2023-0042.pdf", "application/pdf",
                                                   "%PDF-1.4 invoice", lb::PartStorage::Missing)})));

    boxes[2] = {Letter(201, maria, kOwner, "Project Kestrin: schedule", Day2023(40),
                       Utf8Text("Milestones:\n- design review in February\n- beta in April\n")),
                Letter(202, maria, kOwner, "Re: Project Kestrin: schedule", Day2023(41),
                       Utf8Text("> design review in February\nThe room is booked.\n"))};
    boxes[3] = {Letter(301, kOwner, juergen,
                       "Re: Gr\xC3\xBC\xC3\x9F" "e aus M\xC3\xBCnchen \xE2\x80\x93 Termin am Freitag",
                       Day2023(12, 18), Utf8Text("Hallo J\xC3\xBCrgen,\n\nFreitag passt.\n\nAnna\n")),
                Letter(302, kOwner, hanako,
                       "Re: \xE4\xBC\x9A\xE8\xAD\xB0\xE3\x81\xAE\xE8\xAD\xB0\xE4\xBA\x8B\xE9\x8C\xB2",
                       Day2023(20, 8), Utf8Text("Thank you, Hanako!\n"))};
    boxes[4] = {Letter(401, bank, kOwner, "Steuererkl\xC3\xA4rung 2022", Day2023(90),
                       Utf8Text("Ihre Unterlagen f\xC3\xBCr die Steuererkl\xC3\xA4rung liegen bereit.\n")),
                Letter(402, airline, kOwner, "Flight confirmation ABC123", Day2023(150),
                       Utf8Text("Munich - Athens, 12 June 2023, seat 14A.\n")),
                Letter(403, maria, kOwner, "Happy New Year 2024!", Day2023(364, 23),
                       Utf8Text("All the best for the new year!\n"))};
    boxes[5] = {Letter(501, airline, kOwner, "Hotel booking Santorini", Day2023(120),
                       Utf8Text("Your room is booked from 13 to 20 June.\n")),
                Letter(502, hanako, kOwner,
                       "Ferienwohnung in Kyoto \xE2\x80\x93 \xE4\xBA\xAC\xE9\x83\xBD", Day2023(200),
                       Utf8Text("The apartment is near the station.\n")),
                Letter(503, team, kOwner, "Newsletter January", Day2023(31),
                       Utf8Text("News of the month.\n"))};
    boxes[7] = {Letter(601, nikos, kOwner,
                       "\xCE\xA3\xCF\x85\xCE\xBD\xCE\xAC\xCE\xBD\xCF\x84\xCE\xB7\xCF\x83\xCE\xB7 \xCF\x84\xCE"
                       "\xB7\xCE\xBD \xCE\xA4\xCF\x81\xCE\xAF\xCF\x84\xCE\xB7",
                       Day2023(100), Utf8Text("\xCE\xA3\xCF\x84\xCE\xB9\xCF\x82 10:00.\n"))};
    boxes[9] = {Letter(701, bank, kOwner, "\xC3\x9C" "berweisung an Stadtwerke", Day2023(45),
                       Utf8Text("Ihre \xC3\x9C" "berweisung \xC3\xBC" "ber 84,50 EUR wurde ausgef\xC3\xBChrt.\n")),
                Letter(702, bank, kOwner, "Dauerauftrag Miete", Day2023(59),
                       Utf8Text("Ihr Dauerauftrag wurde eingerichtet.\n"))};
    boxes[10] = {Letter(801, store, kOwner, "Your receipt from Example Store", Day2023(70),
                        Utf8Text("Order 1001: 1 x USB cable, 9.99 EUR\n"))};
    return boxes;
}

std::vector<MailboxPlan> Plans()
{
    return {
        {1, false, {"INBOX"}, {}, 0},
        {2, false, {"INBOX", "Projects"}, {}, 0},
        {3, false, {"Sent Messages"}, {}, 0},
        {4, false, {"Archive", "2023"}, {}, 0},
        {5, false, {"[Gmail]", "All Mail"}, {}, 0},
        // A Gmail label: its messages live in All Mail.
        {6, false, {"Reisen"}, {}, 5},
        {7, false, {kGreek}, {}, 0},
        {8, false, {"Junk"}, {}, 0},
        {9, true, {kTransfersNFC}, {kTransfersNFD}, 0},
        {10, true, {"Receipts"}, {}, 0},
    };
}

const std::vector<uint64_t> kLabelled = {501, 502};

// Which mailbox receives generated message n: most go to the inbox, none to
// the label or the junk mailbox.
uint64_t GeneratedMailbox(uint64_t index)
{
    static const uint64_t pattern[] = {1, 5, 1, 3, 1, 4, 5, 1, 2, 1, 3, 5, 7, 4, 9, 10};
    return pattern[index % (sizeof(pattern) / sizeof(pattern[0]))];
}

// The sibling mailboxes of --folders take the rows after the sample's own.
const uint64_t kFirstSiblingRow = 11;

std::string SiblingName(uint64_t index)
{
    std::string number = std::to_string(index + 1);
    if (number.size() < 4)
        number.insert(0, 4 - number.size(), '0');
    return "Folder " + number;
}

// Extra messages go straight into the written database and onto disk, one
// at a time: nothing of them is kept.
void AppendGeneratedMessages(const fs::path& mailFolder, const SampleOptions& options,
                             const std::map<uint64_t, fs::path>& bundles,
                             std::map<uint64_t, int64_t>& added)
{
    const uint64_t count = options.extraMessages;
    if (count == 0)
        return;
    sqlite3* raw = nullptr;
    const fs::path databasePath = lb::EnvelopeIndexPath(mailFolder, kLayout);
    const int rc = sqlite3_open_v2(databasePath.string().c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
    lb::BuilderDb db(raw);
    if (rc != SQLITE_OK)
        throw std::runtime_error("cannot open " + databasePath.string());

    lb::Exec(db.get(), "BEGIN");
    lb::BuilderStatement address =
        lb::Prepare(db.get(), "INSERT OR IGNORE INTO addresses (address, comment) VALUES (?1, ?2)");
    lb::BuilderStatement findAddress =
        lb::Prepare(db.get(), "SELECT ROWID FROM addresses WHERE address = ?1 AND comment = ?2");
    lb::BuilderStatement subject = lb::Prepare(db.get(), "INSERT OR IGNORE INTO subjects (subject) VALUES (?1)");
    lb::BuilderStatement findSubject = lb::Prepare(db.get(), "SELECT ROWID FROM subjects WHERE subject = ?1");
    lb::BuilderStatement global = lb::Prepare(
        db.get(), "INSERT INTO message_global_data (ROWID, message_id, message_id_header) VALUES (?1, ?2, ?3)");
    lb::BuilderStatement message = lb::Prepare(
        db.get(), "INSERT INTO messages (ROWID, message_id, global_message_id, sender, subject, "
                  "date_sent, date_received, mailbox, flags, read, size, conversation_id) "
                  "VALUES (?1, ?2, ?1, ?3, ?4, ?5, ?6, ?7, 0, 1, 0, ?1)");

    auto lookUp = [&](const lb::BuilderStatement& insert, const lb::BuilderStatement& find,
                      const std::string& first, const std::string* second) {
        for (const auto* stmt : {&insert, &find}) {
            lb::BindText(*stmt, 1, first);
            if (second)
                lb::BindText(*stmt, 2, *second);
        }
        lb::StepDone(db.get(), insert);
        if (sqlite3_step(find.get()) != SQLITE_ROW)
            throw std::runtime_error("lost a row of the Envelope Index");
        const int64_t rowId = sqlite3_column_int64(find.get(), 0);
        sqlite3_reset(find.get());
        sqlite3_clear_bindings(find.get());
        return rowId;
    };

    // Far above the hand-written rows: these need three digit folders.
    const uint64_t firstRow = 100000;
    for (uint64_t i = 0; i < count; ++i) {
        const uint64_t rowId = firstRow + i;
        const uint64_t mailbox = options.siblingFolders
                                     ? kFirstSiblingRow + i % options.siblingFolders
                                     : GeneratedMailbox(i);
        const lb::EnvelopeMessage m = GeneratedMessage(i, rowId);

        const int64_t sender = lookUp(address, findAddress, m.senderAddress, &m.senderName);
        const int64_t subjectRow = lookUp(subject, findSubject, m.subject, nullptr);
        const int64_t hash = 7000000000LL + static_cast<int64_t>(rowId);
        sqlite3_bind_int64(global.get(), 1, static_cast<int64_t>(rowId));
        sqlite3_bind_int64(global.get(), 2, hash);
        lb::BindText(global, 3, m.messageId);
        lb::StepDone(db.get(), global);
        sqlite3_bind_int64(message.get(), 1, static_cast<int64_t>(rowId));
        sqlite3_bind_int64(message.get(), 2, hash);
        sqlite3_bind_int64(message.get(), 3, sender);
        sqlite3_bind_int64(message.get(), 4, subjectRow);
        sqlite3_bind_int64(message.get(), 5, m.dateSent);
        sqlite3_bind_int64(message.get(), 6, m.dateReceived);
        sqlite3_bind_int64(message.get(), 7, static_cast<int64_t>(mailbox));
        lb::StepDone(db.get(), message);

        if (!options.headerOnly)
            lb::WriteMessage(
                lb::EnvelopeMessagesFolder(mailFolder / bundles.at(mailbox), kLayout, kStoreUUID, rowId),
                rowId, m.file);
        ++added[mailbox];
    }

    lb::BuilderStatement total =
        lb::Prepare(db.get(), "UPDATE mailboxes SET total_count = total_count + ?1 WHERE ROWID = ?2");
    for (const auto& entry : added) {
        sqlite3_bind_int64(total.get(), 1, entry.second);
        sqlite3_bind_int64(total.get(), 2, static_cast<int64_t>(entry.first));
        lb::StepDone(db.get(), total);
    }
    lb::Exec(db.get(), "COMMIT");
}

}  // namespace

SampleSummary WriteSampleLibrary(const SampleOptions& options)
{
    SampleSummary summary;
    const fs::path library = options.outDir / "Library";
    summary.mailFolder = library / "Mail";
    summary.accountsDatabase = library / "Accounts" / "Accounts4.sqlite";
    // Never write over somebody's mail.
    if (fs::exists(summary.mailFolder) || fs::exists(summary.accountsDatabase))
        throw std::runtime_error(summary.mailFolder.string() +
                                 " already exists; choose a new or empty folder");

    auto messages = HandWrittenMessages();
    std::vector<MailboxPlan> plans = Plans();
    for (uint64_t i = 0; i < options.siblingFolders; ++i)
        plans.push_back({kFirstSiblingRow + i, true, {SiblingName(i)}, {}, 0});

    lb::EnvelopeIndexRecipe recipe;
    recipe.layout = kLayout;
    recipe.storeUUID = kStoreUUID;
    std::map<uint64_t, fs::path> bundles;
    for (const auto& plan : plans) {
        lb::EnvelopeMailbox box;
        box.rowId = plan.rowId;
        box.url = std::string(plan.local ? "local://" : "imap://") +
                  (plan.local ? kLocalAccountId : kImapAccountId) + "/" + UrlPath(JoinNames(plan.names));
        box.bundle = BundlePath(plan);
        box.source = plan.source;
        if (plan.source)
            box.labels = kLabelled;
        else
            box.messages = std::move(messages[plan.rowId]);
        bundles[plan.rowId] = box.bundle;
        recipe.mailboxes.push_back(std::move(box));
    }
    lb::WriteEnvelopeIndexLibrary(summary.mailFolder, recipe);

    // Every bundle, grouping bundles included, has its "Info.plist".
    for (const auto& plan : plans) {
        fs::path bundle = summary.mailFolder / AccountFolder(plan.local);
        const auto& names = plan.onDisk.empty() ? plan.names : plan.onDisk;
        for (const auto& name : names) {
            bundle /= name + ".mbox";
            if (!fs::exists(bundle / "Info.plist"))
                lb::WriteMailboxInfoPlist(bundle, name, lb::PlistFormat::Binary);
        }
    }

    lb::WriteAccountsDatabase(summary.accountsDatabase,
                              {
                                  {1, kImapParentAccountId, "Example Mail", kImapAccountName, 0},
                                  {2, kImapAccountId, "IMAP", "", 1},
                                  {3, kLocalAccountId, kLocalAccountName, "", 0},
                              });
    summary.accounts = 2;

    std::map<uint64_t, int64_t> added;
    AppendGeneratedMessages(summary.mailFolder, options, bundles, added);

    for (size_t i = 0; i < plans.size(); ++i) {
        const lb::EnvelopeMailbox& box = recipe.mailboxes[i];
        SampleFolder folder;
        folder.path = TreePath(plans[i]);
        folder.count = static_cast<int64_t>(box.source ? box.labels.size() : box.messages.size()) +
                       added[box.rowId];
        for (const auto& m : box.messages)
            folder.headerOnly += !m.hasFile;
        if (options.headerOnly)
            folder.headerOnly += added[box.rowId];
        summary.messages += folder.count;
        summary.headerOnly += folder.headerOnly;
        summary.folders.push_back(folder);
    }
    return summary;
}

namespace {

const int kExitUsage = 64;

void PrintUsage(std::ostream& stream)
{
    stream << "usage: kestrin-sample-library <OUTDIR> [--messages N] [--folders N] [--header-only]\n"
              "Writes a sample Apple Mail library: OUTDIR/Library/Mail (the mail folder) and\n"
              "OUTDIR/Library/Accounts/Accounts4.sqlite. --messages N adds N generated messages;\n"
              "--folders N puts them round-robin into N sibling mailboxes of \"On My Mac\";\n"
              "--header-only lists them without message files (not downloaded).\n";
}

bool ParseCount(const std::string& text, uint64_t& value)
{
    if (text.empty() || text.size() > 12 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    value = std::stoull(text);
    return true;
}

}  // namespace

int RunSampleLibraryCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    SampleOptions options;
    bool haveOut = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "-h" || arg == "--help") {
            PrintUsage(out);
            return 0;
        }
        if (arg == "--header-only") {
            options.headerOnly = true;
            continue;
        }
        // A number option: "--name N" or "--name=N".
        uint64_t* target = nullptr;
        std::string option;
        std::string count;
        for (const auto& named : {std::make_pair(std::string("--messages"), &options.extraMessages),
                                  std::make_pair(std::string("--folders"), &options.siblingFolders)}) {
            if (arg == named.first) {
                if (i + 1 == args.size()) {
                    err << "kestrin-sample-library: " << named.first << " needs a number\n";
                    PrintUsage(err);
                    return kExitUsage;
                }
                count = args[++i];
            } else if (arg.compare(0, named.first.size() + 1, named.first + "=") == 0) {
                count = arg.substr(named.first.size() + 1);
            } else {
                continue;
            }
            option = named.first;
            target = named.second;
        }
        if (target) {
            if (!ParseCount(count, *target)) {
                err << "kestrin-sample-library: " << option << " needs a number, not \"" << count << "\"\n";
                PrintUsage(err);
                return kExitUsage;
            }
        } else if (!arg.empty() && arg[0] == '-') {
            err << "kestrin-sample-library: unknown option " << arg << "\n";
            PrintUsage(err);
            return kExitUsage;
        } else if (!haveOut) {
            options.outDir = arg;
            haveOut = true;
        } else {
            err << "kestrin-sample-library: only one output folder may be given\n";
            PrintUsage(err);
            return kExitUsage;
        }
    }
    if (!haveOut || options.outDir.empty()) {
        PrintUsage(err);
        return kExitUsage;
    }

    try {
        const SampleSummary summary = WriteSampleLibrary(options);
        out << "Sample library written.\n"
            << "  Mail folder:      " << summary.mailFolder.string() << "\n"
            << "  Account database: " << summary.accountsDatabase.string() << "\n"
            << "  " << summary.accounts << " accounts, " << summary.folders.size() << " mailboxes, "
            << summary.messages << " messages listed (" << summary.headerOnly
            << " without a file)\n";
        return 0;
    } catch (const std::exception& e) {
        err << "kestrin-sample-library: " << e.what() << "\n";
        return 1;
    }
}

}  // namespace kestrin_sample
