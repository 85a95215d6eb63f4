#include "app/Convert.h"

#include <fcntl.h>
#include <unistd.h>

#include <stdexcept>

#include <boost/filesystem.hpp>
#include <boost/make_shared.hpp>

#include "app/ProgressPresenters.h"
#include "app/ResultSummary.h"
#include "assets/KestrinLogger.h"
#include "export/ExportDriver.h"
#include "mime/KSCharsets.h"
#include "streams/FileDescriptor.h"
#include "streams/KSFileSystem.h"

namespace KestrinApp {

using namespace KestrinMIMEEngineCommon;
namespace fs = boost::filesystem;

namespace {

// A failure of the export's own set-up, reported in plain words.
class ExportSetupError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The mail folders the request reads: the path it was opened by and the
// store's own location, which differ when the store sits below the path.
std::vector<std::string> MailFolders(const OpenedSource& source)
{
    return {source.Path(), source.Store() ? source.Store()->GetLocation() : std::string()};
}

// Room set aside on the output's disk for the end of the report. A disk
// that fills during the export also refuses the report's last lines; the
// export stops at once and frees this room for them, so that the report
// still says how far it got.
class ReportReserve {
public:
    static constexpr off_t kBytes = 256 * 1024;

    explicit ReportReserve(const std::string& outputRoot)
        : m_path((fs::path(outputRoot) / ".report-reserve").string())
    {
        FileDescriptor fd(::open(m_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                                 0600));
        if (!fd) {
            m_path.clear();
            return;
        }
        // Some file systems cannot allocate ahead: writing the bytes takes the room as well.
        if (::posix_fallocate(fd.Get(), 0, kBytes) != 0) {
            const std::string zeros(static_cast<size_t>(kBytes), '\0');
            (void)!::write(fd.Get(), zeros.data(), zeros.size());
        }
    }
    ~ReportReserve() { Release(); }
    ReportReserve(const ReportReserve&) = delete;
    ReportReserve& operator=(const ReportReserve&) = delete;

    void Release()
    {
        if (!m_path.empty()) ::unlink(m_path.c_str());
        m_path.clear();
    }

private:
    std::string m_path;
};

}  // namespace

ExportTarget TargetForFormatIndex(int outputFormatIndex)
{
    switch (outputFormatIndex) {
    case 0: return ExportTarget::Archive;
    case 2: return ExportTarget::Mbox;
    case 3: return ExportTarget::Maildir;
    default: return ExportTarget::Eml;
    }
}

AlertText NothingSelectedAlert()
{
    return AlertText{"Please select one or more folders for processing.", "Ok", "", false};
}

std::vector<std::shared_ptr<const SourceFolder>> FoldersToConvert(const ExportRequest& request)
{
    std::vector<std::shared_ptr<const SourceFolder>> folders;
    for (const auto& folder : request.folders) {
        if (!folder || !folder->folder)
            continue;
        if (request.skipEmpty && (folder->count == 0 || !folder->HoldsMessages()))
            continue;
        folders.push_back(folder);
    }
    return folders;
}

ExportRecord Convert(const ExportRequest& request, ExportObserver& observer,
                     const OutputProviderFactory& providers)
{
    ExportRecord record;
    record.source = request.source ? request.source->Path() : std::string();
    record.target = request.target;

    const auto folders = FoldersToConvert(request);
    if (request.source) {
        for (const std::string& mailFolder : MailFolders(*request.source)) {
            if (const auto refusal = OutputFolderRefusal(request.outputFolder, mailFolder)) {
                record.refusal = ExportRefusal::OutputInsideMailFolder;
                record.refusalAlert = *refusal;
                record.reportText = refusal->message;
                return record;
            }
        }
    }
    if (folders.empty()) {
        record.refusal = ExportRefusal::NothingSelected;
        record.refusalAlert = NothingSelectedAlert();
        record.reportText = record.refusalAlert.message;
        return record;
    }

    Status status = Status::Failed;
    boost::shared_ptr<KestrinLogger> logger;
    // A run that stopped: the line goes into the log, or stands alone for
    // the report when there is no log yet.
    const auto fail = [&](const std::wstring& line) {
        status = Status::Failed;
        if (logger) {
            logger->Log(line, true, true);
            record.reportText = WideToUTF8(logger->GetReportText());
        } else {
            record.reportText = WideToUTF8(line);
        }
    };
    try {
        if (!request.source)
            throw ExportSetupError("No mail folder was loaded to convert.");
        if (request.outputFolder.empty())
            throw ExportSetupError("No folder was chosen to save the converted data.");
        // Taking the name and creating the folder are one step: two exports
        // into the same folder never share "Converted Data".
        std::string error;
        const std::string outputRoot = KSFileSystem::CreateUniqueFolder(
            KSFileSystemPath(boost::make_shared<KSPathTraitsFile>(), request.outputFolder),
            kConvertedDataName, error);
        // Going on without the output folder would log every item as unmapped
        // and still end as a success.
        if (outputRoot.empty())
            throw ExportSetupError("Could not create the folder for the converted data in " +
                                   request.outputFolder + " (" + error + ")");
        record.outputFolder = outputRoot;
        const std::string logPath = (fs::path(outputRoot) / kDetailedReportName).string();
        record.logPath = logPath;

        std::vector<boost::shared_ptr<IAssetFolder>> sourceFolders;
        int64_t overallUnits = 0;
        for (const auto& folder : folders) {
            sourceFolders.push_back(folder->folder);
            const int64_t count = folder->folder->GetAssetCount();
            if (count >= 0)
                overallUnits += count;
        }
        const int64_t folderTotal = static_cast<int64_t>(sourceFolders.size());
        record.foldersSelected = folderTotal;
        record.messagesSelected = overallUnits;

        ReportReserve reserve(outputRoot);
        logger = boost::make_shared<KestrinLogger>(logPath);
        const auto presenter = boost::make_shared<ExportProgressPresenter>(
            observer, request.source->StoreKind() != StoreKind::MboxArchive);

        std::vector<int> mergeList;
        if (request.mergeContacts)
            mergeList.push_back(kAssetTypeContact);
        if (request.mergeCalendar)
            mergeList.push_back(kAssetTypeCalendarEvent);
        const auto provider = providers
                                  ? providers(request.target, outputRoot, mergeList, request.names)
                                  : boost::shared_ptr<IOutputStoreProvider>();
        if (!provider)
            throw ExportSetupError("This output format is not available.");
        provider->KeepStoredBytes(request.keepBytes);

        presenter->SetOverallTotalUnits(overallUnits);

        ExportSummary summary;
        int64_t folderCounter = 0;
        ExportRecorder recorder(record, request.names);
        RunExport(summary, &folderTotal, presenter, sourceFolders, logger,
                  boost::shared_ptr<ICancelable>(presenter), provider, kQueryKindNew, true,
                  &folderCounter, &recorder);
        provider->CloseStores();
        reserve.Release();
        // Apple Mail's own unread count checks the state carried over; a
        // difference is worth a look, not a failure.
        for (const ExportFolderRecord& folder : record.folders) {
            if (!folder.sourceUnread || *folder.sourceUnread == folder.unread) continue;
            logger->Log(L"WARNING : Folder " + UTF8ToWide(folder.sourcePath) + L": " +
                            std::to_wstring(folder.unread) + L" converted messages are unread, Apple Mail counts " +
                            std::to_wstring(*folder.sourceUnread) + L" unread.",
                        true, true);
        }

        status = summary.status;
        record.stop = summary.stop;
        record.stopPath = summary.stopPath;
        if (record.stop != OutputStop::None)
            logger->Log(UTF8ToWide(StopText(record)), true, true);
        // The index's mailboxes without a folder were named in the report
        // when the store's first folder began; they count among the listed.
        if (!record.folders.empty() && request.source->Store())
            for (const MailboxNotOnDisk& mailbox : request.source->Store()->GetMailboxesNotOnDisk())
                if (mailbox.count > 0)
                    record.notOnDisk.push_back({WideToUTF8(mailbox.name), mailbox.count});
        // A log that lost lines is no account of the run: not a success.
        if (logger->HasWriteFailed()) {
            if (status == Status::Succeeded) status = Status::Failed;
            logger->Log(L"ERROR : The detailed report could not be written completely: " +
                            UTF8ToWide(logPath),
                        true, false);
            boost::system::error_code missing;
            if (!fs::exists(logPath, missing))
                record.logPath.clear();
        }
        record.reportText = WideToUTF8(logger->GetReportText());
    } catch (const std::exception& failure) {
        fail(dynamic_cast<const ExportSetupError*>(&failure)
                 ? UTF8ToWide(failure.what())
                 : L"Exception occurred during conversion - " + UTF8ToWide(failure.what()));
    } catch (...) {
        fail(L"Unknown error occurred during conversion.");
    }
    record.status = status;
    return record;
}

bool LiesInFolder(const std::string& path, const std::string& folder)
{
    boost::system::error_code error;
    if (path.empty() || folder.empty() || !fs::is_directory(folder, error))
        return false;
    // The part of the path that exists, links resolved; a part still to be
    // made cannot be a link.
    fs::path at = fs::weakly_canonical(fs::absolute(path), error);
    if (error)
        at = fs::absolute(path).lexically_normal();
    for (; !at.empty(); at = at.parent_path()) {
        if (fs::equivalent(at, folder, error))
            return true;
        if (at == at.root_path())
            break;
    }
    return false;
}

boost::optional<AlertText> OutputFolderRefusal(const std::string& outputFolder,
                                               const std::string& mailFolder)
{
    if (!LiesInFolder(outputFolder, mailFolder))
        return boost::none;
    return AlertText{"The output folder is inside the mail folder being converted.", "Ok",
                     "The folder " + outputFolder + " lies inside the mail folder " + mailFolder +
                         ", which Kestrin only reads and never writes into. Nothing was "
                         "converted.\n\nChoose a folder outside the mail folder to save the "
                         "converted data.",
                     false};
}

}  // namespace KestrinApp
