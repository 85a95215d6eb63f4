#include "libbuilder/EnvelopeIndex.h"

#include <map>
#include <memory>
#include <stdexcept>

#include <boost/filesystem/operations.hpp>
#include "libbuilder/BuilderSqlite.h"
#include "libbuilder/Emlx.h"
#include "libbuilder/Mailboxes.h"

namespace fs = boost::filesystem;

namespace kestrin_libbuilder {

namespace {

void CreateTables(sqlite3* db, int layout)
{
    const bool modern = layout >= 8;
    const bool labels = layout >= 7;
    Exec(db, std::string("CREATE TABLE mailboxes (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, "
                         "url TEXT NOT NULL UNIQUE, total_count INTEGER NOT NULL DEFAULT 0, "
                         "unread_count INTEGER NOT NULL DEFAULT 0, deleted_count INTEGER NOT NULL "
                         "DEFAULT 0, unseen_count INTEGER NOT NULL DEFAULT 0, "
                         "unread_count_adjusted_for_duplicates INTEGER NOT NULL DEFAULT 0, "
                         "change_identifier TEXT") +
                 (labels ? ", source INTEGER REFERENCES mailboxes(ROWID) ON DELETE SET NULL" : "") +
                 ", alleged_change_identifier TEXT)");
    Exec(db, "CREATE TABLE addresses (ROWID INTEGER PRIMARY KEY, address TEXT NOT NULL "
             "COLLATE NOCASE, comment TEXT NOT NULL, UNIQUE(address, comment))");
    Exec(db, "CREATE TABLE subjects (ROWID INTEGER PRIMARY KEY, subject TEXT NOT NULL UNIQUE)");
    if (modern) {
        Exec(db, "CREATE TABLE messages (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, "
                 "message_id INTEGER NOT NULL DEFAULT 0, global_message_id INTEGER NOT NULL "
                 "REFERENCES message_global_data(ROWID) ON DELETE CASCADE, remote_id INTEGER, "
                 "document_id TEXT, sender INTEGER REFERENCES addresses(ROWID) ON DELETE CASCADE, "
                 "subject_prefix TEXT, subject INTEGER NOT NULL REFERENCES subjects(ROWID) ON "
                 "DELETE CASCADE, summary INTEGER, date_sent INTEGER, date_received INTEGER, "
                 "mailbox INTEGER NOT NULL REFERENCES mailboxes(ROWID) ON DELETE CASCADE, "
                 "remote_mailbox INTEGER, flags INTEGER NOT NULL DEFAULT 0, read INTEGER NOT NULL "
                 "DEFAULT 0, flagged INTEGER NOT NULL DEFAULT 0, deleted INTEGER NOT NULL DEFAULT "
                 "0, size INTEGER NOT NULL DEFAULT 0, conversation_id INTEGER NOT NULL DEFAULT 0, "
                 "date_last_viewed INTEGER, list_id_hash INTEGER, unsubscribe_type INTEGER, "
                 "searchable_message INTEGER, brand_indicator INTEGER, display_date INTEGER, "
                 "color TEXT, type INTEGER, fuzzy_ancestor INTEGER, automated_conversation "
                 "INTEGER DEFAULT 0, root_status INTEGER DEFAULT -1, flag_color INTEGER, "
                 "is_urgent INTEGER NOT NULL DEFAULT 0)");
        Exec(db, "CREATE TABLE message_global_data (ROWID INTEGER PRIMARY KEY, message_id "
                 "INTEGER NOT NULL UNIQUE, message_id_header TEXT COLLATE BINARY, follow_up_start_date "
                 "INTEGER, follow_up_end_date INTEGER, download_state INTEGER NOT NULL DEFAULT 0, "
                 "read_later_date INTEGER, send_later_date INTEGER, validation_state INTEGER NOT "
                 "NULL DEFAULT 0, model_analytics INTEGER, category_model_version INTEGER NOT NULL "
                 "DEFAULT 0, urgent INTEGER NOT NULL DEFAULT 0)");
    } else {
        Exec(db, "CREATE TABLE messages (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, message_id "
                 "TEXT, document_id TEXT, in_reply_to INTEGER, remote_id INTEGER, sender INTEGER, "
                 "subject_prefix TEXT, subject INTEGER, date_sent INTEGER, date_received INTEGER, "
                 "date_created INTEGER, date_last_viewed INTEGER, mailbox INTEGER, remote_mailbox "
                 "INTEGER, flags INTEGER, read INTEGER, flagged INTEGER, size INTEGER, color TEXT, "
                 "type INTEGER, conversation_id INTEGER DEFAULT -1, snippet TEXT DEFAULT NULL, "
                 "fuzzy_ancestor INTEGER DEFAULT NULL, automated_conversation INTEGER DEFAULT 0, "
                 "root_status INTEGER DEFAULT -1, conversation_position INTEGER DEFAULT -1, "
                 "deleted INTEGER DEFAULT 0)");
        Exec(db, "CREATE TABLE properties (ROWID INTEGER PRIMARY KEY, key, value, UNIQUE(key))");
    }
    if (labels)
        Exec(db, "CREATE TABLE labels (message_id INTEGER NOT NULL REFERENCES messages(ROWID) ON "
                 "DELETE CASCADE, mailbox_id INTEGER NOT NULL REFERENCES mailboxes(ROWID) ON "
                 "DELETE CASCADE, PRIMARY KEY(message_id, mailbox_id)) WITHOUT ROWID");
    Exec(db, "CREATE INDEX messages_mailbox_index ON messages(mailbox, date_received)");
}

// Rows shared by messages (addresses, subjects) are looked up before insert.
int64_t InternRow(sqlite3* db, std::map<std::string, int64_t>& cache, const std::string& key,
                  const BuilderStatement& insert)
{
    auto it = cache.find(key);
    if (it != cache.end())
        return it->second;
    StepDone(db, insert);
    const int64_t rowId = sqlite3_last_insert_rowid(db);
    cache[key] = rowId;
    return rowId;
}

}  // namespace

EnvelopeMailbox MakeEnvelopeMailbox(uint64_t rowId, const std::string& url, const fs::path& bundle,
                                    std::vector<EnvelopeMessage> messages)
{
    EnvelopeMailbox box;
    box.rowId = rowId;
    box.url = url;
    box.bundle = bundle;
    box.messages = std::move(messages);
    return box;
}

EnvelopeMessage MakeEnvelopeMessage(uint64_t rowId, const std::string& subject, int64_t date,
                                    bool hasFile, bool withMessageId)
{
    EnvelopeMessage message;
    message.rowId = rowId;
    message.senderName = "Sender Example";
    message.senderAddress = "sender@example.com";
    message.subject = subject;
    message.dateSent = date;
    message.dateReceived = date + 2;
    message.hasFile = hasFile;
    message.file = MakeMessage(subject, TextPart("Body of message " + std::to_string(rowId) + ".\n"),
                               date);
    message.file.dateReceived = message.dateReceived;
    for (auto it = message.file.headers.begin(); it != message.file.headers.end(); ++it) {
        if (it->first != "Message-Id")
            continue;
        if (withMessageId) {
            it->second = "<message-" + std::to_string(rowId) + "@libbuilder.example>";
            message.messageId = it->second;
        } else {
            message.file.headers.erase(it);
        }
        break;
    }
    return message;
}

fs::path LayoutFolder(const fs::path& root, int layout)
{
    return layout <= 1 ? root : root / ("V" + std::to_string(layout));
}

fs::path EnvelopeIndexPath(const fs::path& root, int layout)
{
    if (layout <= 1)
        return root / "Envelope Index";
    return LayoutFolder(root, layout) / "MailData" / "Envelope Index";
}

fs::path EnvelopeMessagesFolder(const fs::path& bundle, int layout, const std::string& storeUUID,
                                uint64_t rowId)
{
    if (layout <= 1)
        return bundle / "Messages";
    return V2MessagesFolder(bundle, storeUUID, rowId);
}

void WriteEnvelopeIndexDatabase(const fs::path& path, const EnvelopeIndexRecipe& recipe)
{
    BuilderDb db = CreateDatabase(path);
    const bool modern = recipe.layout >= 8;
    const bool labels = recipe.layout >= 7;
    CreateTables(db.get(), recipe.layout);
    Exec(db.get(), "BEGIN");

    if (!modern) {
        Exec(db.get(), "INSERT INTO properties (key, value) VALUES ('version', '" +
                           std::to_string(recipe.layout >= 7 ? 15 : 9) + "')");
        Exec(db.get(), "INSERT INTO properties (key, value) VALUES ('minor_version', '1')");
        if (!recipe.databaseUUID.empty()) {
            BuilderStatement uuid = Prepare(db.get(), "INSERT INTO properties (key, value) VALUES ('UUID', ?1)");
            BindText(uuid, 1, recipe.databaseUUID);
            StepDone(db.get(), uuid);
        }
    }

    BuilderStatement mailbox = Prepare(db.get(), labels ? "INSERT INTO mailboxes (ROWID, url, total_count, source, "
                                                   "unread_count) VALUES (?1, ?2, ?3, ?4, ?5)"
                                                 : "INSERT INTO mailboxes (ROWID, url, total_count, "
                                                   "unread_count) VALUES (?1, ?2, ?3, ?5)");
    BuilderStatement address = Prepare(db.get(), "INSERT INTO addresses (address, comment) VALUES (?1, ?2)");
    BuilderStatement subject = Prepare(db.get(), "INSERT INTO subjects (subject) VALUES (?1)");
    BuilderStatement message = Prepare(
        db.get(), modern ? "INSERT INTO messages (ROWID, message_id, global_message_id, sender, "
                           "subject, date_sent, date_received, mailbox, flags, read, flagged, deleted, "
                           "size, conversation_id) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, "
                           "?12, 0, ?1)"
                         : "INSERT INTO messages (ROWID, message_id, sender, subject, date_sent, "
                           "date_received, mailbox, flags, read, flagged, deleted, size) VALUES (?1, ?2, "
                           "?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, 0)");
    BuilderStatement global = modern ? Prepare(db.get(), "INSERT INTO message_global_data (ROWID, "
                                                  "message_id, message_id_header) VALUES (?1, ?2, ?3)")
                              : NoStatement();
    BuilderStatement label = labels ? Prepare(db.get(), "INSERT INTO labels (message_id, mailbox_id) VALUES (?1, ?2)")
                             : NoStatement();

    std::map<std::string, int64_t> addresses, subjects;
    for (const auto& box : recipe.mailboxes) {
        sqlite3_bind_int64(mailbox.get(), 1, static_cast<int64_t>(box.rowId));
        BindText(mailbox, 2, box.url);
        sqlite3_bind_int64(mailbox.get(), 3,
                           static_cast<int64_t>(box.source ? box.labels.size() : box.messages.size()));
        if (labels) {
            if (box.source)
                sqlite3_bind_int64(mailbox.get(), 4, static_cast<int64_t>(box.source));
            else
                sqlite3_bind_null(mailbox.get(), 4);
        }
        sqlite3_bind_int64(mailbox.get(), 5, box.unreadCount);
        StepDone(db.get(), mailbox);
    }
    for (const auto& box : recipe.mailboxes) {
        for (const auto& m : box.messages) {
            BindText(address, 1, m.senderAddress);
            BindText(address, 2, m.senderName);
            const int64_t sender =
                InternRow(db.get(), addresses, m.senderAddress + "\n" + m.senderName, address);
            BindText(subject, 1, m.subject);
            const int64_t subjectRow = InternRow(db.get(), subjects, m.subject, subject);
            sqlite3_clear_bindings(address.get());
            sqlite3_clear_bindings(subject.get());

            const int64_t rowId = static_cast<int64_t>(m.rowId);
            sqlite3_bind_int64(message.get(), 1, rowId);
            if (modern) {
                // The number Apple Mail derives from the Message-ID; any
                // stable value will do for the reader.
                const int64_t hash = m.messageId.empty() ? 0 : 7000000000LL + rowId;
                sqlite3_bind_int64(message.get(), 2, hash);
                sqlite3_bind_int64(message.get(), 3, rowId);
                sqlite3_bind_int64(global.get(), 1, rowId);
                sqlite3_bind_int64(global.get(), 2, hash ? hash : -rowId);
                if (m.messageId.empty())
                    sqlite3_bind_null(global.get(), 3);
                else
                    BindText(global, 3, m.messageId);
                StepDone(db.get(), global);
            } else if (m.messageId.empty()) {
                sqlite3_bind_null(message.get(), 2);
            } else {
                BindText(message, 2, m.messageId);
            }
            sqlite3_bind_int64(message.get(), 4, sender);
            sqlite3_bind_int64(message.get(), 5, subjectRow);
            sqlite3_bind_int64(message.get(), 6, m.dateSent);
            sqlite3_bind_int64(message.get(), 7, m.dateReceived);
            sqlite3_bind_int64(message.get(), 8, static_cast<int64_t>(box.rowId));
            sqlite3_bind_int64(message.get(), 9, static_cast<int64_t>(m.flags));
            sqlite3_bind_int64(message.get(), 10, m.read ? 1 : 0);
            sqlite3_bind_int64(message.get(), 11, m.flagged ? 1 : 0);
            sqlite3_bind_int64(message.get(), 12, m.deleted ? 1 : 0);
            StepDone(db.get(), message);
        }
        if (labels) {
            for (uint64_t labelled : box.labels) {
                sqlite3_bind_int64(label.get(), 1, static_cast<int64_t>(labelled));
                sqlite3_bind_int64(label.get(), 2, static_cast<int64_t>(box.rowId));
                StepDone(db.get(), label);
            }
        }
    }
    Exec(db.get(), "COMMIT");
}

std::vector<fs::path> WriteEnvelopeIndexLibrary(const fs::path& root, const EnvelopeIndexRecipe& recipe)
{
    WriteEnvelopeIndexDatabase(EnvelopeIndexPath(root, recipe.layout), recipe);
    const std::string storeUUID = recipe.storeUUID.empty() ? recipe.databaseUUID : recipe.storeUUID;
    std::vector<fs::path> written;
    for (const auto& box : recipe.mailboxes) {
        if (box.bundle.empty())
            continue;
        const fs::path bundle = root / box.bundle;
        fs::create_directories(bundle);
        for (const auto& m : box.messages) {
            if (!m.hasFile)
                continue;
            const fs::path folder = EnvelopeMessagesFolder(bundle, recipe.layout, storeUUID, m.rowId);
            written.push_back(WriteMessage(folder, m.rowId, m.file).emlxPath);
        }
    }
    return written;
}

}  // namespace kestrin_libbuilder
