// What a finished conversion says first, in the user's words: a title that
// agrees with one headline built from the closing totals, what was kept
// after a cancel, the problems worth a look, notices, and which of the log
// file and the output folder are there to open. The conversion log keeps
// its own status lines; these are the window's and the command's words.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/FileSizeToStringTransformer.h"
#include "export/ExportCodes.h"
#include "export/ExportDriver.h"

namespace KestrinApp {

struct ExportRecord;

enum class ResultTitleKind {
    Completed,              // every listed message reached the output whole
    CompletedWithProblems,  // the run ended, but some messages did not arrive whole
    Failed,
    Cancelled,
};

// "completed", "completed-with-problems", "failed" or "cancelled".
const char* ToString(ResultTitleKind kind);

struct ResultSummary {
    ResultTitleKind kind = ResultTitleKind::Completed;
    std::string title;     // the window's title line
    std::string headline;  // what the run did, in one line
    // Said once each, below the headline (names written in ASCII, say).
    std::vector<std::string> notices;
    // One line per thing to look at that the per-folder list cannot show:
    // the cause of a stop, mailboxes with no folder on disk.
    std::vector<std::string> problems;
    bool logExists = false;     // the detailed report is there to open
    bool outputExists = false;  // the "Converted Data" folder is there to show
};

ResultSummary MakeResultSummary(const ExportRecord& record);

// The target as a headline names it: "EML", "mbox", "an Outlook archive".
std::string TargetName(KestrinMIMEEngineCommon::ExportTarget target);

// After a stop: "No space left on device: 89 of 20,039 messages written".
std::string StopText(const ExportRecord& record);

constexpr const char* kTransliterationNotice =
    "Folder and file names were written in ASCII; the report's 'Saved As' lines map each folder";

}  // namespace KestrinApp
