// A small but realistic Apple Mail library, laid out like a home folder:
//
//   <out>/Library/Mail/V10/MailData/Envelope Index
//   <out>/Library/Mail/V10/<account UUID>/<Name>.mbox/<store UUID>/Data/.../Messages/<ROWID>.emlx
//   <out>/Library/Accounts/Accounts4.sqlite
//
// Two accounts: an IMAP account with nested mailboxes, a Gmail-style label
// mailbox and an empty junk mailbox, and "On My Mac" with a mailbox whose
// name is stored decomposed (NFD) on disk as macOS does. Among the messages:
// subjects and senders in German, Greek and Japanese, an attachment Apple
// Mail keeps in a ".emlxpart" file, an attachment it never downloaded, a
// folder the sender attached (kept unpacked), and a message whose file is
// missing. The output is the same on every run (fixed dates and UUIDs).
//
// Extra generated messages are written one at a time, so a library of any
// size is written in constant memory.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include <boost/filesystem/path.hpp>

namespace kestrin_sample {

extern const char* const kImapAccountId;
extern const char* const kImapParentAccountId;
extern const char* const kLocalAccountId;
extern const char* const kStoreUUID;
extern const char* const kImapAccountName;   // "anna.schmidt@example.com"
extern const char* const kLocalAccountName;  // "On My Mac"

struct SampleOptions {
    boost::filesystem::path outDir;
    uint64_t extraMessages = 0;
    // When not 0, the generated messages go round-robin into this many
    // sibling mailboxes "Folder 0001", ... of the "On My Mac" account
    // instead of the sample's mailboxes.
    uint64_t siblingFolders = 0;
    // The generated messages are listed without a message file, as Apple
    // Mail lists mail it has not downloaded.
    bool headerOnly = false;
};

// A mailbox as the folder tree of a reader shows it.
struct SampleFolder {
    std::string path;        // "/anna.schmidt@example.com/INBOX/"
    int64_t count = 0;       // messages it lists
    int64_t headerOnly = 0;  // of which no file exists
};

struct SampleSummary {
    boost::filesystem::path mailFolder;        // <out>/Library/Mail
    boost::filesystem::path accountsDatabase;  // <out>/Library/Accounts/Accounts4.sqlite
    std::vector<SampleFolder> folders;         // every mailbox, in database order
    int64_t accounts = 0;
    int64_t messages = 0;    // listed, label mailboxes included
    int64_t headerOnly = 0;
};

// Writes the library below options.outDir. Refuses (std::runtime_error) to
// write where a mail folder already exists.
SampleSummary WriteSampleLibrary(const SampleOptions& options);

// The command line: kestrin-sample-library <OUTDIR> [--messages N].
// Answers the exit status: 0 written, 1 failed, 64 wrong usage.
int RunSampleLibraryCommand(const std::vector<std::string>& args, std::ostream& out,
                            std::ostream& err);

}  // namespace kestrin_sample
