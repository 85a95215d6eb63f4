// The codes an export is told and answers with, shared by the engine and
// the application: what it writes and how it ended. The numbers the driver's
// summary and the output stores use are tied to them here and nowhere else.
#pragma once

#include <string>

#include <boost/optional.hpp>

namespace KestrinMIMEEngineCommon {

// How an export ended; the numbers are those of ExportSummary::status.
enum class ExportStatus : int {
    Succeeded = 0,
    Canceled = 1,
    Failed = 2,  // completed with errors, or stopped by one
};

// "succeeded", "canceled" or "failed".
const char* ToString(ExportStatus status);
// A summary's status number as a code; a number no export answers is a failure.
ExportStatus ExportStatusFromNumber(int number);

// What an export writes.
enum class ExportTarget {
    Eml,      // one ".eml" file per message, a folder per folder
    Mbox,     // one mailbox file per folder
    Archive,  // the Outlook archive package
};

// "eml", "mbox" or "archive", as the command line and its JSON spell them.
const char* ToString(ExportTarget target);
boost::optional<ExportTarget> ExportTargetFromString(const std::string& text);
// The type code of the store the target is written into (kStoreTypeEML,
// kStoreTypeMbox, kStoreTypeArchive).
int OutputStoreType(ExportTarget target);

}  // namespace KestrinMIMEEngineCommon
