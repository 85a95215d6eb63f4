#include "app/ExportRun.h"

#include <stdexcept>

#include <boost/filesystem.hpp>
#include <boost/make_shared.hpp>

#include "app/FolderTree.h"
#include "assets/KestrinLogger.h"
#include "export/ExportDriver.h"
#include "export/ExportProgressPresenter.h"
#include "mime/KSCharsets.h"
#include "streams/KSFileSystem.h"

namespace KestrinApp {

using namespace KestrinMIMEEngineCommon;
namespace fs = boost::filesystem;

int TargetCodeForFormatIndex(int outputFormatIndex)
{
    switch (outputFormatIndex) {
    case 0:
        return kTargetArchive;
    case 1:
        return kTargetEML;
    case 2:
        return kTargetMbox;
    default:
        return kTargetEMLDefault;
    }
}

namespace {

// A failure of the export's own set-up, reported in plain words.
class ExportSetupError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace

int DoExport(const ExportRunContext& context)
{
    AppStateData& state = context.state;
    const std::string exportPath = state.GetString(StateKey::kExportPath).value_or(std::string());
    const int64_t targetCode = state.GetInteger(StateKey::kTargetFormatKey).value_or(kTargetEML);
    context.sheet.SetCancelRequested(false);
    ExportRecord localRecord;
    ExportRecord& record = context.record ? *context.record : localRecord;
    record = ExportRecord();
    record.source = state.GetString(StateKey::kMailFolderPath).value_or(std::string());
    record.target = TargetName(static_cast<int>(targetCode));
    // Nothing of an earlier export may be named in this one's result: until
    // this run made them there is no output folder and no log.
    state.Set(StateKey::kExportPath, std::string());
    state.Set(StateKey::kLogReportPath, std::string());

    int status = kExportFailed;
    std::wstring reportText;
    boost::shared_ptr<KestrinLogger> logger;
    bool sheetShown = false;
    // A run that stopped: the line goes into the log, or stands alone for
    // the report when there is no log yet.
    const auto fail = [&](const std::wstring& line) {
        status = kExportFailed;
        if (logger) {
            logger->Log(line, true, true);
            reportText = logger->GetReportText();
        } else {
            reportText = line;
        }
    };
    try {
        if (exportPath.empty())
            throw ExportSetupError("No folder was chosen to save the converted data.");
        // Taking the name and creating the folder are one step: two exports
        // into the same folder never share "Converted Data".
        std::string error;
        const std::string outputRoot = KSFileSystem::CreateUniqueFolder(
            KSFileSystemPath(boost::make_shared<KSPathTraitsFile>(), exportPath), kConvertedDataName,
            error);
        // Going on without the output folder would log every item as unmapped
        // and still end as a success.
        if (outputRoot.empty())
            throw ExportSetupError("Could not create the folder for the converted data in " +
                                   exportPath + " (" + error + ")");
        state.Set(StateKey::kExportPath, outputRoot);
        record.outputFolder = outputRoot;

        const std::string logPath = (fs::path(outputRoot) / kDetailedReportName).string();
        state.Set(StateKey::kLogReportPath, logPath);
        record.logPath = logPath;

        std::vector<boost::shared_ptr<IAssetFolder>> folders;
        int64_t overallUnits = 0;
        for (const auto& node : state.GetNodes(StateKey::kSelectedItems)) {
            if (!node || !node->GetFolder())
                continue;
            folders.push_back(node->GetFolder());
            const int64_t count = node->GetFolder()->GetAssetCount();
            if (count >= 0)
                overallUnits += count;
        }
        const int64_t folderTotal = static_cast<int64_t>(folders.size());

        logger = boost::make_shared<KestrinLogger>(logPath);

        // Made before the sheet shows: making it clears the cancel flag, and
        // a cancel pressed as soon as the sheet is up must count.
        const int64_t sourceFormat = state.GetInteger(StateKey::kSourceFormatKey).value_or(0);
        const auto presenter = boost::make_shared<ExportProgressPresenter>(
            context.sheet, sourceFormat != kStoreTypeMboxArchive);

        context.dispatcher.PostAndWait([&] { context.sheet.BeginProgress(); });
        sheetShown = true;

        std::vector<int> mergeList;
        if (state.IsSet(StateKey::kMergeContacts))
            mergeList.push_back(kAssetTypeContact);
        if (state.IsSet(StateKey::kMergeCalendar))
            mergeList.push_back(kAssetTypeCalendarEvent);
        const NameStyle names =
            NameStyleFromString(state.GetString(StateKey::kNameStyle).value_or(std::string()))
                .value_or(NameStyle::Ascii);
        const auto provider = context.providerFactory
                                  ? context.providerFactory(static_cast<int>(targetCode),
                                                            outputRoot, mergeList, names)
                                  : boost::shared_ptr<IOutputStoreProvider>();
        if (!provider)
            throw ExportSetupError("This output format is not available.");

        presenter->SetOverallTotalUnits(overallUnits);

        KestrinMIMEEngineCommon::ExportSummary summary;
        int64_t folderCounter = 0;
        ExportRecorder recorder(record);
        RunExport(summary, &folderTotal, presenter, folders, logger,
                  boost::shared_ptr<ICancelable>(presenter), provider, kQueryKindNew, true,
                  &folderCounter, &recorder);
        provider->CloseStores();

        status = summary.status;
        // A log that lost lines is no account of the run: not a success.
        if (logger->HasWriteFailed()) {
            if (status == kExportSucceeded) status = kExportFailed;
            logger->Log(L"ERROR : The detailed report could not be written completely: " +
                            UTF8ToWide(logPath),
                        true, false);
            boost::system::error_code missing;
            if (!fs::exists(logPath, missing)) {
                state.Set(StateKey::kLogReportPath, std::string());
                record.logPath.clear();
            }
        }
        reportText = logger->GetReportText();
    } catch (const std::exception& failure) {
        fail(dynamic_cast<const ExportSetupError*>(&failure)
                 ? UTF8ToWide(failure.what())
                 : L"Exception occurred during conversion - " + UTF8ToWide(failure.what()));
    } catch (...) {
        fail(L"Unknown error occurred during conversion.");
    }

    record.status = status;
    state.Set(StateKey::kExportResult, static_cast<int64_t>(status));
    state.Set(StateKey::kBriefReportPath, WideToUTF8(reportText));

    context.dispatcher.PostAndWait([&] {
        if (sheetShown)
            context.sheet.EndProgress();
        if (context.onSheetEnded)
            context.onSheetEnded();
    });
    return status;
}

}  // namespace KestrinApp
