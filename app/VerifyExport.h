// Reading an export back: every output folder the export wrote is read with
// the system's own readers (the header block of each ".eml" file, mailbox files
// through the mailbox reader, which the archive's mailboxes are too, the
// message files of each Maildir) and the messages found are held against the
// messages the export wrote there.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/ExportRecord.h"

namespace KestrinApp {

struct VerifiedFolder {
    std::string outputPath;
    std::vector<std::string> sourcePaths;
    int64_t processed = 0;  // written there, by the export's own account
    int64_t found = 0;      // messages read back
    std::string problem;    // empty when the two agree; otherwise why not

    bool Agrees() const { return problem.empty(); }
};

struct VerifyResult {
    std::vector<VerifiedFolder> folders;
    bool ok = true;  // every folder agrees
};

// Messages read back from one output folder; -1 with a reason when it
// cannot be read at all.
int64_t CountMessagesInOutput(const ExportOutputRecord& output, std::string* reason = nullptr);

VerifyResult VerifyExport(const ExportRecord& record);

// One line per output folder ("Verified: PATH: 3 processed, 3 found"), a
// difference named with its reason, then a closing line.
std::string VerifyText(const VerifyResult& result);

}  // namespace KestrinApp
