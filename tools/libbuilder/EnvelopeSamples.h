// Whole Apple Mail libraries with an Envelope Index, one per layout (1, 2, 3,
// 7, 10; 8 and 9 are written like 10), with the accounts, mailboxes and
// messages that exercise a reader: nested mailboxes, a grouping mailbox
// listed after its child, a Gmail-style label mailbox (layouts 7 and later),
// messages with and without files, ".partial.emlx" files, messages without a
// Message-ID, ROWIDs that need digit folders, a mailbox name stored
// decomposed (NFD) on disk while its URL carries it composed (NFC), rows
// whose bundle is missing (alone, and inside a bundle that exists), a row
// whose path tries to climb out of the mail folder, and an account that no
// longer has a name.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <boost/filesystem/path.hpp>

#include "libbuilder/Accounts.h"
#include "libbuilder/EnvelopeIndex.h"

namespace kestrin_libbuilder {

struct ExpectedMailFolder {
    std::string path;        // the folder's path in the tree, "/john@example.com/INBOX/"
    int64_t count = 0;       // messages it lists
    int64_t headerOnly = 0;  // of which Apple Mail has no file
};

struct EnvelopeSampleLibrary {
    boost::filesystem::path root;  // the mail folder to open (<parent>/Mail)
    int layout = 0;
    EnvelopeIndexRecipe recipe;
    std::vector<ExpectedMailFolder> folders;  // every folder that lists messages
    std::vector<std::string> absentPaths;     // folders that must not appear
    std::vector<boost::filesystem::path> messageFiles;

    int64_t TotalMessages() const;
    int64_t TotalHeaderOnly() const;
};

// Account identifiers of the samples.
extern const char* const kSampleImapAccount;    // john@example.com, child of kSampleParentAccount
extern const char* const kSampleParentAccount;
extern const char* const kSampleGrandchildAccount;
extern const char* const kSampleWorkAccount;    // no user name, description "Work"
extern const char* const kSampleLocalAccount;   // not in the account database
extern const char* const kSampleNamelessAccount;
extern const char* const kSampleDatabaseUUID;
// "Überweisungen" composed (NFC) and decomposed (NFD).
extern const char* const kTransfersNFC;
extern const char* const kTransfersNFD;

// Writes <parent>/Mail and, for layouts 7 and later, <parent>/Accounts with
// "Accounts3.sqlite" and "Accounts4.sqlite" (the newer one names the accounts).
// adjust, when given, may change the database and bundles before they are
// written (the expected folders then describe the unchanged library).
EnvelopeSampleLibrary BuildEnvelopeSampleLibrary(
    const boost::filesystem::path& parent, int layout, PlistFormat plistFormat = PlistFormat::Binary,
    const std::function<void(EnvelopeIndexRecipe&)>& adjust = {});

}  // namespace kestrin_libbuilder
