// Apple Mail libraries with an "Envelope Index" database, layouts 1 to 10.
//
//   layout 1:      <root>/Envelope Index; <root>/<account folder>/<Name>.mbox
//                  (".imapmbox", ".rssmbox")/Messages/<ROWID>.emlx
//   layouts 2-10:  <root>/V<n>/MailData/Envelope Index;
//                  <root>/V<n>/<account folder>/<Name>.mbox/<store UUID>/Data/
//                  <digits of ROWID / 1000, least significant first>/Messages/
//                  <ROWID>.emlx
//
// The database has Apple's tables and column names: "mailboxes",
// "messages", "addresses", "subjects", plus "properties" (layouts below 8),
// "labels" and the "source" column (layouts 7 and later) and
// "message_global_data" (layouts 8 and later, where messages.message_id is a
// number and the Message-ID text lives in message_id_header).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <boost/filesystem/path.hpp>

#include "libbuilder/MessageRecipe.h"

namespace kestrin_libbuilder {

// One message row and, when hasFile, its message file.
struct EnvelopeMessage {
    uint64_t rowId = 0;
    std::string senderName;     // addresses.comment
    std::string senderAddress;  // addresses.address
    std::string subject;        // subjects.subject
    int64_t dateSent = 0;
    int64_t dateReceived = 0;
    std::string messageId;      // Message-ID text; empty: the row records none
    bool hasFile = true;        // false: Apple Mail has not downloaded it
    // messages.flags and the read / flagged / deleted columns.
    uint64_t flags = 0;
    bool read = true;
    bool flagged = false;
    bool deleted = false;
    MessageRecipe file;
};

// A message whose row and file agree: sender "Sender Example
// <sender@example.com>", the subject, date = sent, received = date + 2, and
// the file's Message-Id (or none in either when withMessageId is false).
EnvelopeMessage MakeEnvelopeMessage(uint64_t rowId, const std::string& subject, int64_t date,
                                    bool hasFile = true, bool withMessageId = true);

struct EnvelopeMailbox {
    uint64_t rowId = 0;
    std::string url;                 // stored as given (percent-encoded)
    boost::filesystem::path bundle;  // relative to the root; empty: nothing on disk
    uint64_t source = 0;             // label mailbox: the mailbox that holds its files
    std::vector<EnvelopeMessage> messages;
    std::vector<uint64_t> labels;    // label mailbox: the message ROWIDs it lists
    int64_t unreadCount = 0;         // mailboxes.unread_count
};

// A mailbox row with its messages; an empty bundle puts nothing on disk.
EnvelopeMailbox MakeEnvelopeMailbox(uint64_t rowId, const std::string& url,
                                    const boost::filesystem::path& bundle,
                                    std::vector<EnvelopeMessage> messages);

struct EnvelopeIndexRecipe {
    int layout = 10;
    // The properties 'UUID' (layouts below 8; empty writes no row).
    std::string databaseUUID;
    // The UUID folder inside every bundle (layouts 2 and later); empty uses
    // databaseUUID.
    std::string storeUUID;
    std::vector<EnvelopeMailbox> mailboxes;
};

// The folder holding the account folders: the root for layout 1, else V<n>.
boost::filesystem::path LayoutFolder(const boost::filesystem::path& root, int layout);
boost::filesystem::path EnvelopeIndexPath(const boost::filesystem::path& root, int layout);
// Where a message file of the bundle goes.
boost::filesystem::path EnvelopeMessagesFolder(const boost::filesystem::path& bundle, int layout,
                                               const std::string& storeUUID, uint64_t rowId);

// Only the database, at path (replaced when present).
void WriteEnvelopeIndexDatabase(const boost::filesystem::path& path, const EnvelopeIndexRecipe& recipe);

// The database at its layout's place, every bundle folder and every message
// file. Answers the paths of the written message files.
std::vector<boost::filesystem::path> WriteEnvelopeIndexLibrary(const boost::filesystem::path& root,
                                                               const EnvelopeIndexRecipe& recipe);

}  // namespace kestrin_libbuilder
