// One export, from the selection in the application state to the result in
// it: output folder, conversion log, output provider, progress, driver.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "app/AppStateData.h"
#include "app/ExportRecord.h"
#include "app/Seams.h"
#include "app/Views.h"
#include "export/IOutputStoreProvider.h"
#include "mime/MakeSafeName.h"

namespace KestrinApp {

// Target codes stored under "TargetFormatKey".
enum : int {
    kTargetArchive = 2,
    kTargetMbox = 6,
    kTargetEMLDefault = 7,
    kTargetEML = 13,
};

// Output types of the general provider.
enum : int { kOutputTypeMbox = 6, kOutputTypeEML = 7 };

// The output format selector's index to the target code: 0 archive, 1 EML,
// 2 mbox, anything else EML (7).
int TargetCodeForFormatIndex(int outputFormatIndex);

// Makes the provider for a target code: 2 the archive package, 6 mbox files,
// anything else EML files. mergeList holds the asset types to merge; names
// is how the output's folders and files are named.
using OutputProviderFactory =
    std::function<boost::shared_ptr<KestrinMIMEEngineCommon::IOutputStoreProvider>(
        int targetCode, const std::string& outputRoot, const std::vector<int>& mergeList,
        KestrinMIMEEngineCommon::NameStyle names)>;

// The providers of the engine.
OutputProviderFactory MakeStandardProviderFactory();

constexpr const char* kConvertedDataName = "Converted Data";
constexpr const char* kDetailedReportName = "Detailed Conversion Report.txt";
constexpr const char* kArchivePackageName = "Apple Mail Export";

struct ExportRunContext {
    AppStateData& state;
    IExportProgressSheet& sheet;
    IMainThreadDispatcher& dispatcher;
    OutputProviderFactory providerFactory;
    // Runs on the main thread right after the sheet went away.
    std::function<void()> onSheetEnded;
    // When given, filled with the export's own account of itself.
    ExportRecord* record = nullptr;
};

// The export run, on the worker thread: reads "ExportPath", "TargetFormatKey",
// "SelectedItems", "MergeContacts", "MergeCalendar", "NameStyle" and
// "SourceFormatKey";
// writes "ExportPath" (the output root it made, removed when it could not be
// made), "LogReportPath" (removed until a log exists), "ExportResult" and
// "BriefReportPath". Answers the export status. Never
// throws: a failure anywhere ends as status 2 with its reason in the report.
int DoExport(const ExportRunContext& context);

}  // namespace KestrinApp
