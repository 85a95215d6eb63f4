// Converting the folders of an opened source: the one export both front ends
// run. Convert makes "Converted Data" (numbered when taken) in the output
// folder, writes "Detailed Conversion Report.txt" there, moves every message
// of the folders asked for into the target and answers the export's own
// account of itself.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <boost/optional.hpp>
#include <boost/shared_ptr.hpp>

#include "app/ExportRecord.h"
#include "app/Seams.h"
#include "app/Source.h"
#include "export/ExportCodes.h"
#include "export/IOutputStoreProvider.h"
#include "mime/MakeSafeName.h"

namespace KestrinApp {

using KestrinMIMEEngineCommon::Status;
using KestrinMIMEEngineCommon::ExportTarget;
using KestrinMIMEEngineCommon::NameStyle;

struct ExportRequest {
    // The loaded mail folder the folders belong to.
    std::shared_ptr<OpenedSource> source;
    // The folders to convert, in the order they are converted (parents
    // before children); the source's own row never among them.
    std::vector<std::shared_ptr<const SourceFolder>> folders;
    ExportTarget target = ExportTarget::Eml;
    // The folder "Converted Data" is made in.
    std::string outputFolder;
    // Leave out folders counted 0, and folders not counted with nothing
    // counted below them.
    bool skipEmpty = false;
    NameStyle names = NameStyle::Ascii;
    // Contacts and calendar events go into one folder of their kind.
    bool mergeContacts = true;
    bool mergeCalendar = true;
    // Messages go into mbox files and archives exactly as stored, without
    // the Status / X-Status lines that carry read, answered and flagged.
    bool keepBytes = false;
};

// The progress display after a message: the folder's label and bar, the
// folders label, the overall label and bar. The bars are percentages; a
// total of 0 gives a value that is not finite.
struct ExportProgress {
    std::wstring folderLabel;   // "Folder: INBOX [ 4 / 10 ]"
    double folderPercent = 0;
    std::wstring foldersLabel;  // "Overall: Folders [ 1 / 3 ]"
    std::wstring itemsLabel;    // "Overall: Items [ 4 / 25 ]"
    double overallPercent = 0;
};

// What a conversion tells its caller while it runs, on the thread that called
// Convert. A window hands these to its main thread without waiting for it.
class ExportObserver {
public:
    virtual ~ExportObserver() = default;
    // The mail folder the next messages come from.
    virtual void SourceShown(const std::wstring& location) {}
    // The message about to be converted, as the report names it.
    virtual void ItemShown(const std::wstring& description) {}
    // After every message.
    virtual void ProgressChanged(const ExportProgress& progress) {}
    // Asked before every message: true stops the run there, as canceled.
    virtual bool IsCanceled() { return false; }
};

// Makes the provider that writes a target below the output root. mergeList
// holds the asset types to merge; names is how the output's folders and
// files are named.
using OutputProviderFactory =
    std::function<boost::shared_ptr<KestrinMIMEEngineCommon::IOutputStoreProvider>(
        ExportTarget target, const std::string& outputRoot, const std::vector<int>& mergeList,
        NameStyle names)>;

// The providers of the engine.
OutputProviderFactory MakeStandardProviderFactory();

constexpr const char* kConvertedDataName = "Converted Data";
constexpr const char* kDetailedReportName = "Detailed Conversion Report.txt";
constexpr const char* kArchivePackageName = "Apple Mail Export";

// Runs the export on the calling thread. Never throws: a failure anywhere
// ends as Status::Failed with its reason in the report. A request
// refused before anything is made (nothing to convert, an output folder in
// the mail folder) answers its refusal and leaves the disk as it was.
ExportRecord Convert(const ExportRequest& request, ExportObserver& observer,
                     const OutputProviderFactory& providers = MakeStandardProviderFactory());

// The folders the request converts: its folders, less the empty ones when
// it skips them.
std::vector<std::shared_ptr<const SourceFolder>> FoldersToConvert(const ExportRequest& request);

// The window's output format selector: 0 the archive, 2 mbox, 3 Maildir,
// anything else EML files.
ExportTarget TargetForFormatIndex(int outputFormatIndex);

// The alert for a Convert with no folder to convert.
AlertText NothingSelectedAlert();

// Whether path is folder or lies anywhere below it. Symbolic links on either
// side are resolved and folders are compared as the system identifies them,
// so another spelling of the same folder (a link, a different case on a
// disk that ignores case) is still caught. A folder that does not exist
// holds nothing.
bool LiesInFolder(const std::string& path, const std::string& folder);
// The refusal of an output folder inside the mail folder being converted:
// the export would write "Converted Data" into the mail folder, which is only
// ever read. None when the output folder may be used (beside the mail
// folder or above it).
boost::optional<AlertText> OutputFolderRefusal(const std::string& outputFolder,
                                               const std::string& mailFolder);

}  // namespace KestrinApp
