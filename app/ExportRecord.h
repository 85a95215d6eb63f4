// The export's own account of itself, per source folder: what was converted,
// what failed, what was skipped, which messages were only headers. Gathered
// from the export driver's events as it runs; the CLI's totals, its JSON
// result, the read-back check and the result list all read it.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include <boost/optional.hpp>
#include <boost/weak_ptr.hpp>

#include "app/ResultSummary.h"
#include "app/Seams.h"
#include "export/ExportCodes.h"
#include "export/ExportDriver.h"
#include "mime/MakeSafeName.h"

namespace KestrinApp {

struct ExportFolderRecord {
    std::string sourcePath;  // the folder's path in the source tree, as the folder list shows it
    std::string name;        // the folder's own name
    int64_t expected = -1;   // messages the source listed for it at the start; -1 unknown
    std::string outputPath;  // where its messages went (first output used; empty if none)
    int64_t processed = 0;      // converted, all the kinds below included
    int64_t failed = 0;
    int64_t skipped = 0;
    int64_t notDownloaded = 0;       // converted with headers only
    int64_t notFullyDownloaded = 0;  // converted, some attachments never downloaded
    int64_t damaged = 0;             // converted as far as a cut file went
    int64_t repaired = 0;            // converted whole despite a fault of the file
    // Converted messages the source kept as unread, and as flagged.
    int64_t unread = 0;
    int64_t flagged = 0;
    // The unread count the source's own index keeps for the folder, where
    // it keeps one: a cross-check of unread.
    boost::optional<int64_t> sourceUnread;
    // The messages by name, as far as kNamesKeptPerKind allows; the counts
    // above hold them all, and the conversion log names every one.
    std::vector<std::string> failedNames;
    std::vector<std::string> skippedNames;
    std::vector<std::string> notDownloadedNames;
    std::vector<std::string> notFullyDownloadedNames;
    std::vector<std::string> damagedNames;
    std::vector<std::string> repairedNames;

    int64_t Listed() const { return processed + failed + skipped; }
    // Messages of the kinds above counted but not named here.
    int64_t UnnamedCount() const;
};

// How many names of each kind (failed, skipped, not downloaded) one export
// keeps over all its folders. A library of 100,000 messages never
// downloaded would otherwise hold every one's headers until the end, and
// no one reads a list that long in a window: the log file has them all.
constexpr size_t kNamesKeptPerKind = 1000;

// One written output folder: a directory of ".eml" files or a mailbox file.
struct ExportOutputRecord {
    enum class Kind { EmlDirectory, Mailbox, Maildir };
    Kind kind = Kind::EmlDirectory;
    std::string path;
    int64_t written = 0;  // messages the writers reported as written there
    std::vector<std::string> sourcePaths;
};

// A mailbox listed by the source's index without a folder on disk.
struct NotOnDiskRecord {
    std::string name;
    int64_t count = 0;
};

struct ExportTotals {
    int64_t listed = 0;  // converted, failed, skipped and not on disk together
    int64_t converted = 0;  // the four kinds below included
    int64_t notDownloaded = 0;
    int64_t notFullyDownloaded = 0;
    int64_t damaged = 0;
    int64_t repaired = 0;
    int64_t failed = 0;
    int64_t skipped = 0;
    int64_t notOnDisk = 0;  // listed by the index in mailboxes with no folder on disk
};

// Why a conversion did not start. Nothing was made.
enum class ExportRefusal {
    None,
    NothingSelected,         // no folder to convert
    OutputInsideMailFolder,  // "Converted Data" would go into the mail folder
};

struct ExportRecord {
    std::string source;  // the mail folder read
    KestrinMIMEEngineCommon::ExportTarget target = KestrinMIMEEngineCommon::ExportTarget::Eml;
    std::string outputFolder;  // empty when the set-up failed before it existed
    std::string logPath;       // empty when no log was written
    KestrinMIMEEngineCommon::Status status = KestrinMIMEEngineCommon::Status::Failed;
    // The brief report: the report's lines for the user (CR LF line ends),
    // or the reason alone when the run stopped before its log existed.
    std::string reportText;
    ExportRefusal refusal = ExportRefusal::None;
    AlertText refusalAlert;  // what the user is told of a refusal
    std::vector<ExportFolderRecord> folders;
    std::vector<ExportOutputRecord> outputs;
    // What was asked for: the folders and the messages the source counted in them.
    int64_t foldersSelected = 0;
    int64_t messagesSelected = 0;
    std::vector<NotOnDiskRecord> notOnDisk;
    // Set when a refused write (a full disk, say) ended the export early.
    KestrinMIMEEngineCommon::OutputStop stop = KestrinMIMEEngineCommon::OutputStop::None;
    std::string stopPath;
    // Some folder name was changed to be written in ASCII.
    bool namesTransliterated = false;

    ExportTotals Totals() const;
};

// What a finished export tells the user first (the result sheet, the
// command's closing text).
struct ReportData {
    KestrinMIMEEngineCommon::Status status = KestrinMIMEEngineCommon::Status::Succeeded;
    std::string title;    // the summary's title
    ResultSummary summary;
    std::string report;   // the brief report text
    std::string footer1;  // where the converted data is
    std::string footer2;  // where the detailed log is
};

ReportData MakeReport(const ExportRecord& record);

// The closing lines a user wants before deleting a source, one a line:
// listed, converted, converted header-only, not fully downloaded, damaged,
// repaired, failed, skipped, not on this disk.
std::string TotalsText(const ExportTotals& totals);

// Fills a record from the driver's events. Used on the export's thread only;
// read the record once the export is over.
class ExportRecorder : public KestrinMIMEEngineCommon::IExportEvents {
public:
    // names is how the output names its folders: in ASCII, the recorder
    // notes whether a folder name had to change.
    explicit ExportRecorder(ExportRecord& record, KestrinMIMEEngineCommon::NameStyle names =
                                                      KestrinMIMEEngineCommon::NameStyle::Unicode);

    void FolderBegun(const boost::shared_ptr<KestrinMIMEEngineCommon::IAssetFolder>& source) override;
    void ItemDone(KestrinMIMEEngineCommon::ExportItemOutcome outcome, const std::wstring& name,
                  const boost::shared_ptr<KestrinMIMEEngineCommon::IAssetFolderMutable>& output)
        override;
    void FolderEnded(const boost::shared_ptr<KestrinMIMEEngineCommon::IAssetFolder>& source) override;
    void ItemState(const KestrinMIMEEngineCommon::MessageState& state) override;

private:
    ExportOutputRecord& OutputFor(
        const boost::shared_ptr<KestrinMIMEEngineCommon::IAssetFolderMutable>& output);

    ExportRecord& m_record;
    KestrinMIMEEngineCommon::NameStyle m_names;
    ExportFolderRecord* m_folder = nullptr;
    // Every message asks for its output's record: by kind and path, and the
    // last one asked for at once, so that thousands of output folders cost
    // no walk over all of them per message.
    std::unordered_map<std::string, size_t> m_outputIndex;
    boost::weak_ptr<KestrinMIMEEngineCommon::IAssetFolderMutable> m_lastOutput;
    // Names kept so far over the whole export, for each kind.
    size_t m_failedNamesKept = 0;
    size_t m_skippedNamesKept = 0;
    size_t m_notDownloadedNamesKept = 0;
    size_t m_notFullyDownloadedNamesKept = 0;
    size_t m_damagedNamesKept = 0;
    size_t m_repairedNamesKept = 0;
    size_t m_lastOutputIndex = 0;
};

}  // namespace KestrinApp
