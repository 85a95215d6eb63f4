// Mailbox trees as Apple Mail lays them out on disk.
//
//   V1:       <parent>/<Name>.mbox/Messages/<id>.emlx (also ".imapmbox",
//             ".rssmbox"); stripped content in <Name>.mbox/Attachments.
//   V2:       <parent>/<Name>.mbox/<store UUID>/Data/<digits>/Messages/<id>.emlx
//             with Attachments beside Messages; <digits> are the decimal
//             digits of id / 1000, least significant first, one folder each
//             (id 1498 -> Data/1, id 123456 -> Data/3/2/1, id 42 -> Data).
//   Exported: <parent>/<Name>.mbox/mbox, an mbox file.
//   Mailbox file: <parent>/<Name>.mbox, an mbox file itself.
//
// Nested mailboxes are made by passing a bundle path as the parent.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <boost/filesystem/path.hpp>

#include "libbuilder/Emlx.h"
#include "libbuilder/MessageRecipe.h"

namespace kestrin_libbuilder {

struct MailboxMessage {
    uint64_t id;  // the message's ROWID: its file name and, in V2, its folder
    MessageRecipe message;
};

// A fixed-looking store UUID ("F2D0D67E-7B19-4C30-B2E9-..."), different for
// each seed.
std::string MakeStoreUuid(unsigned seed);

// "Data", "Data/1", "Data/3/2/1" for the ids 42, 1498, 123456.
boost::filesystem::path V2DataFolder(uint64_t id);
boost::filesystem::path V2MessagesFolder(const boost::filesystem::path& bundle,
                                         const std::string& uuid, uint64_t id);

// Each answers the bundle's path. Writing a second V2 mailbox of the same
// name with another UUID gives a bundle with two store folders. The "Messages" folder of a V1 bundle is
// created even when it receives no message.
boost::filesystem::path WriteV1Mailbox(const boost::filesystem::path& parent,
                                       const std::string& name,
                                       const std::vector<MailboxMessage>& messages,
                                       const std::string& extension = ".mbox");
boost::filesystem::path WriteV2Mailbox(const boost::filesystem::path& parent,
                                       const std::string& name, const std::string& uuid,
                                       const std::vector<MailboxMessage>& messages);
// leading: bytes before the first entry (a byte-order mark, blank lines).
// A mailbox's children go inside its bundle: pass the bundle as parent.
boost::filesystem::path WriteExportedMailbox(const boost::filesystem::path& parent,
                                             const std::string& name,
                                             const std::vector<MessageRecipe>& messages,
                                             const std::string& leading = std::string());
// <parent>/<Name>.mbox as an mbox file itself, the way mbox tools lay a tree
// out (children in the folder <parent>/<Name> beside it). Answers its path.
boost::filesystem::path WriteMailboxFile(const boost::filesystem::path& parent,
                                         const std::string& name,
                                         const std::vector<MessageRecipe>& messages);

// Messages of the tests' mailboxes, dated id seconds after the builder's
// base date so that their order is the order of their ids.
MailboxMessage TextMailboxMessage(uint64_t id, const std::string& subject, const std::string& text);
// A short text, then the attachment as part 2.
MailboxMessage AttachmentMailboxMessage(uint64_t id, const std::string& subject, PartRecipe attachment);

// One mbox entry: the separator line, the full message with body lines
// beginning "From " (after any ">") escaped, and a blank line.
std::string RenderMboxEntry(const MessageRecipe& message);
// The entry's separator line without line end: "From <address> <asctime
// date>", the address of the From header and the date received.
std::string RenderMboxSeparator(const MessageRecipe& message);

}  // namespace kestrin_libbuilder
