// The export driver: moves the items of the selected source folders into the
// output folders an output store provider hands out, writing the conversion
// log and reporting progress on the way.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "assets/IAssetFolder.h"
#include "assets/ILogger.h"
#include "assets/IProgressPresenter.h"
#include "export/ExportCodes.h"
#include "export/FolderLoader.h"
#include "export/IOutputStoreProvider.h"

namespace KestrinMIMEEngineCommon {

// Why the output refused every further write, so that the export stopped
// there instead of failing message after message.
enum class OutputStop {
    None,
    NoSpace,        // the disk is full (ENOSPC)
    ReadOnly,       // the file system turned read-only (EROFS)
    Quota,          // the user's disk quota is used up (EDQUOT)
    OutputRemoved,  // the output store's folder is gone (ENOENT there)
};

// "none", "no-space", "read-only", "quota" or "output-removed", as the
// command line's JSON spells them.
const char* ToString(OutputStop stop);
// The cause in the user's words: "No space left on device".
const char* StopCause(OutputStop stop);

struct ExportSummary {
    Status status = Status::Succeeded;
    int64_t processed = 0;  // items the output folders accepted
    int64_t failed = 0;     // unreadable items and items the output folders refused
    int64_t damaged = 0;    // of the processed ones, items written cut short
    OutputStop stop = OutputStop::None;  // set when a failed write ended the export
    std::string stopPath;                // what was being written then
};

// What became of one item. Each converted item counts under one outcome,
// the first that holds in this order: damaged, header-only, not fully
// downloaded, repaired, converted.
enum class ExportItemOutcome {
    Converted,
    // Read whole despite a fault of its file (a byte count missing or off).
    ConvertedRepaired,
    // Some attachments were never downloaded; the output says so in their place.
    ConvertedNotFullyDownloaded,
    // Only the headers the source's index holds: the message was never downloaded.
    ConvertedHeaderOnly,
    // Part of the message is lost (its file was cut short): what was there was written.
    ConvertedDamaged,
    Failed,
    Skipped,
};

// Told about every folder and item as the driver goes, so that callers keep
// their own account of the run instead of reading it back out of the log.
// Called on the export's thread.
class IExportEvents {
public:
    virtual ~IExportEvents() = default;
    virtual void FolderBegun(const boost::shared_ptr<IAssetFolder>& source) = 0;
    // name says which message it was in the user's terms (for a repaired or
    // damaged one, followed by what was found); output is the folder the
    // item went to (empty when it reached none).
    virtual void ItemDone(ExportItemOutcome outcome, const std::wstring& name,
                          const boost::shared_ptr<IAssetFolderMutable>& output) = 0;
    virtual void FolderEnded(const boost::shared_ptr<IAssetFolder>& source) = 0;
    // The state of a message that reached its output, told before its
    // ItemDone.
    virtual void ItemState(const MessageState& state) {}
};

// The folders are listed and their items built (files read and parsed) on
// one loader thread, in turn, ahead of this thread by at most limits (the
// next folder's listing begins while this folder's last items wait); this
// thread maps, writes, logs, reports progress and tells events, in listing
// order, and the log reads the same whatever the limits.
// folderTotal only feeds the "Overall: Folders [ n / total ]" text;
// folderCounter is advanced once per folder started. Presenter, cancelable
// and logger may be empty. The output folders receive !preserveFolderHierarchy
// as the provider's use-default-folder flag.
void RunExport(ExportSummary& summary, const int64_t* folderTotal,
               const boost::shared_ptr<ICancelableProgressPresenter>& presenter,
               const std::vector<boost::shared_ptr<IAssetFolder>>& folders,
               const boost::shared_ptr<ILogger>& logger,
               const boost::shared_ptr<ICancelable>& cancelable,
               const boost::shared_ptr<IOutputStoreProvider>& provider, unsigned queryKind,
               bool preserveFolderHierarchy, int64_t* folderCounter,
               IExportEvents* events = nullptr,
               const ExportQueueLimits& limits = ExportQueueLimits());

}  // namespace KestrinMIMEEngineCommon
