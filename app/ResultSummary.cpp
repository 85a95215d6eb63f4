#include "app/ResultSummary.h"

#include <boost/filesystem.hpp>

#include "app/ExportRecord.h"

namespace KestrinApp {

using namespace KestrinMIMEEngineCommon;
namespace fs = boost::filesystem;

namespace {

std::string Messages(int64_t count)
{
    return GroupedNumber(count) + (count == 1 ? " message" : " messages");
}

std::string Folders(int64_t count)
{
    return GroupedNumber(count) + (count == 1 ? " folder" : " folders");
}

// The first line that says something: a reason given alone, or the first
// line of a report.
std::string FirstLine(const std::string& text)
{
    const size_t start = text.find_first_not_of("\r\n");
    if (start == std::string::npos) return std::string();
    const size_t end = text.find_first_of("\r\n", start);
    return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

bool HasProblems(const ExportTotals& totals)
{
    return totals.notDownloaded > 0 || totals.notFullyDownloaded > 0 || totals.damaged > 0 ||
           totals.repaired > 0 || totals.skipped > 0 || totals.notOnDisk > 0 || totals.failed > 0;
}

// "Cancelled: 70,189 messages kept; 2017 stopped at 3,501 of 4,167; 20
// folders not started".
std::string CancelHeadline(const ExportRecord& record, const ExportTotals& totals)
{
    std::string line = "Cancelled: " + Messages(totals.converted) + " kept";
    if (!record.folders.empty()) {
        const ExportFolderRecord& last = record.folders.back();
        if (last.expected > last.Listed())
            line += "; " + (last.name.empty() ? last.sourcePath : last.name) + " stopped at " +
                    GroupedNumber(last.Listed()) + " of " + GroupedNumber(last.expected);
    }
    const int64_t notStarted = record.foldersSelected - static_cast<int64_t>(record.folders.size());
    if (notStarted > 0) line += "; " + Folders(notStarted) + " not started";
    return line;
}

// "26 of 27 messages converted to EML · 1 not downloaded by Apple Mail · 2
// listed in Spam but not on this disk".
std::string TotalsHeadline(const ExportRecord& record, const ExportTotals& totals)
{
    std::string line = GroupedNumber(totals.converted) + " of " + Messages(totals.listed) +
                       " converted to " + TargetName(record.target);
    const auto add = [&line](int64_t count, const std::string& what) {
        if (count > 0) line += " \u00B7 " + GroupedNumber(count) + " " + what;
    };
    add(totals.failed, "failed");
    add(totals.notDownloaded, "not downloaded by Apple Mail");
    add(totals.notFullyDownloaded, "with attachments not downloaded");
    add(totals.damaged, "damaged (file cut short)");
    add(totals.repaired, "repaired");
    add(totals.skipped, "skipped (deleted)");
    // Two mailboxes are named; more would crowd the line (the problems list names each).
    if (record.notOnDisk.size() <= 2) {
        for (const NotOnDiskRecord& mailbox : record.notOnDisk)
            add(mailbox.count, "listed in " + mailbox.name + " but not on this disk");
    } else {
        add(totals.notOnDisk, "listed in " + GroupedNumber(record.notOnDisk.size()) +
                                  " mailboxes that are not on this disk");
    }
    return line;
}

}  // namespace

const char* ToString(ResultTitleKind kind)
{
    switch (kind) {
    case ResultTitleKind::CompletedWithProblems: return "completed-with-problems";
    case ResultTitleKind::Failed: return "failed";
    case ResultTitleKind::Cancelled: return "cancelled";
    case ResultTitleKind::Completed: break;
    }
    return "completed";
}

std::string TargetName(ExportTarget target)
{
    switch (target) {
    case ExportTarget::Eml: return "EML";
    case ExportTarget::Mbox: return "mbox";
    case ExportTarget::Archive: return "an Outlook archive";
    case ExportTarget::Maildir: return "Maildir";
    }
    return ToString(target);
}

std::string StopText(const ExportRecord& record)
{
    return std::string(StopCause(record.stop)) + ": " +
           GroupedNumber(record.Totals().converted) + " of " + Messages(record.messagesSelected) +
           " written";
}

ResultSummary MakeResultSummary(const ExportRecord& record)
{
    ResultSummary summary;
    const ExportTotals totals = record.Totals();
    boost::system::error_code error;
    summary.logExists = !record.logPath.empty() && fs::is_regular_file(record.logPath, error);
    summary.outputExists = !record.outputFolder.empty() && fs::is_directory(record.outputFolder, error);

    switch (record.status) {
    case Status::Canceled:
        summary.kind = ResultTitleKind::Cancelled;
        summary.title = "Conversion cancelled";
        summary.headline = CancelHeadline(record, totals);
        break;
    case Status::Failed:
        summary.kind = ResultTitleKind::Failed;
        if (record.stop != OutputStop::None) {
            summary.title = "Conversion stopped";
            summary.headline = StopText(record);
            summary.problems.push_back(std::string(StopCause(record.stop)) + " while writing " +
                                       record.stopPath +
                                       ". Free some space or choose another output folder, then "
                                       "convert again.");
        } else if (record.refusal != ExportRefusal::None || record.outputFolder.empty() ||
                   record.folders.empty()) {
            // Nothing was converted: the reason is the whole story.
            summary.title = "Conversion failed";
            summary.headline = FirstLine(record.reportText);
        } else {
            summary.title = totals.converted > 0 ? "Conversion completed with errors"
                                                 : "Conversion failed";
            summary.headline = TotalsHeadline(record, totals);
        }
        break;
    case Status::Succeeded:
        summary.kind = HasProblems(totals) ? ResultTitleKind::CompletedWithProblems
                                           : ResultTitleKind::Completed;
        summary.title = HasProblems(totals) ? "Conversion completed with problems"
                                            : "Conversion completed";
        summary.headline = TotalsHeadline(record, totals);
        break;
    }
    for (const NotOnDiskRecord& mailbox : record.notOnDisk)
        summary.problems.push_back(
            mailbox.name + ": " + Messages(mailbox.count) +
            " listed in the Envelope Index, but the mailbox has no folder on this disk; not "
            "converted");
    if (record.namesTransliterated) summary.notices.push_back(kTransliterationNotice);
    return summary;
}

}  // namespace KestrinApp
