#include "app/MainWindowController.h"

#include <cstdlib>

#include <boost/filesystem.hpp>

#include "app/Application.h"
#include "app/FolderTree.h"

namespace KestrinApp {

namespace fs = boost::filesystem;

MainWindowController::MainWindowController(const MainWindowSeams& seams,
                                           StoreContentViewController& content,
                                           OutputProviderFactory providerFactory)
    : m_seams(seams), m_content(content), m_providerFactory(std::move(providerFactory)),
      m_rememberedSaveFolder((fs::path(HomeDirectory()) / "Desktop").string()),
      m_alive(std::make_shared<bool>(true))
{
    m_content.SetLoadEndedObserver([this] { CheckShutdown(); });
}

MainWindowController::~MainWindowController()
{
    m_content.SetLoadEndedObserver({});
    m_alive.reset();
    JoinExportThread();
}

void MainWindowController::RequestShutdown(std::function<void()> whenIdle)
{
    m_shuttingDown = true;
    m_whenIdle = std::move(whenIdle);
    if (IsExporting())
        m_seams.progressSheet.SetCancelRequested(true);
    m_content.CancelLoad();
    CheckShutdown();
}

void MainWindowController::CheckShutdown()
{
    if (!m_shuttingDown || IsBusy() || !m_whenIdle)
        return;
    // Both workers have handed over their last work: they end without
    // waiting for this thread again, so joining them cannot block.
    JoinExportThread();
    auto whenIdle = std::move(m_whenIdle);
    m_whenIdle = nullptr;
    whenIdle();
}

void MainWindowController::JoinExportThread()
{
    if (m_exportThread.joinable())
        m_exportThread.join();
}

ConvertStart MainWindowController::ClickConvert()
{
    if (IsBusy() || m_shuttingDown)
        return ConvertStart::kBusy;
    const FolderNodeList selection = m_content.GetSelectedItems();
    if (selection.empty()) {
        m_seams.alerts.ShowAlert(
            AlertText{"Please select one or more folders for processing.", "Ok", "", false});
        return ConvertStart::kNothingSelected;
    }
    return StartExport(selection);
}

ConvertStart MainWindowController::StartExport(const FolderNodeList& selection)
{
    AppStateData& state = m_seams.state;
    state.Set(StateKey::kSelectedItems, selection);
    // Once on, the merge options stay on for later exports.
    if (m_content.mergeContacts)
        state.Set(StateKey::kMergeContacts, true);
    if (m_content.mergeCalendar)
        state.Set(StateKey::kMergeCalendar, true);
    state.Set(StateKey::kTargetFormatKey,
              static_cast<int64_t>(TargetCodeForFormatIndex(m_outputFormatIndex)));
    state.Set(StateKey::kNameStyle, std::string(ToString(m_nameStyle)));
    return ChooseSavePath();
}

ConvertStart MainWindowController::ChooseSavePath()
{
    const auto chosen = m_seams.choosers.ChooseSaveFolder("Select a folder to save converted data:",
                                                          "Save", m_rememberedSaveFolder);
    if (!chosen)
        return ConvertStart::kNoSaveFolder;
    // The folder being read is the loaded store's; the chosen mail folder is
    // asked too, should a load of another folder have left the old store.
    const auto store = m_content.SourceStore();
    for (const std::string& mailFolder :
         {store ? store->GetLocation() : std::string(),
          m_seams.state.GetString(StateKey::kMailFolderPath).value_or(std::string())}) {
        if (const auto refusal = OutputFolderRefusal(*chosen, mailFolder)) {
            m_seams.alerts.ShowAlert(*refusal);
            return ConvertStart::kOutputInMailFolder;
        }
    }
    m_rememberedSaveFolder = *chosen;
    m_seams.state.Set(StateKey::kExportPath, *chosen);
    StartExportThread();
    return ConvertStart::kStarted;
}

void MainWindowController::StartExportThread()
{
    JoinExportThread();
    m_lastExport = std::make_shared<ExportRecord>();
    m_exporting = true;
    m_content.SetStoreInUse(true);
    m_exportThread = std::thread([this] {
        std::weak_ptr<bool> alive = m_alive;
        ExportRunContext context{m_seams.state, m_seams.progressSheet, m_seams.dispatcher,
                                 m_providerFactory,
                                 [this, alive] {
                                     if (alive.lock())
                                         WorkflowStepCompleted(WorkflowStep::kProgress);
                                 },
                                 m_lastExport.get()};
        DoExport(context);
    });
}

void MainWindowController::WorkflowStepCompleted(WorkflowStep sender)
{
    switch (sender) {
    case WorkflowStep::kFolderSelection: {
        // Nothing chosen yet: nothing to load, nothing changes.
        const auto path = m_seams.state.GetString(StateKey::kMailFolderPath);
        if (path && !path->empty())
            m_content.LoadStore(*path);
        break;
    }
    case WorkflowStep::kProgress: {
        std::weak_ptr<bool> alive = m_alive;
        m_seams.dispatcher.Post([this, alive] {
            if (alive.lock())
                BeginReport();
        });
        break;
    }
    }
}

ReportData MainWindowController::MakeReport(const AppStateData& state)
{
    ReportData report;
    report.exportResult = static_cast<int>(state.GetInteger(StateKey::kExportResult).value_or(0));
    report.report = state.GetString(StateKey::kBriefReportPath).value_or(std::string());
    // A run whose set-up failed made neither: naming the chosen folder or an
    // earlier run's log would send the user looking for data that is not there.
    const std::string exportPath = state.GetString(StateKey::kExportPath).value_or(std::string());
    const std::string logPath = state.GetString(StateKey::kLogReportPath).value_or(std::string());
    report.footer1 = exportPath.empty() ? std::string("No converted data was saved.")
                                        : "Converted Data is saved at following path:\n" + exportPath;
    report.footer2 = logPath.empty() ? std::string("No detailed Log Report was written.")
                                     : "A detailed Log Report is saved at following path:\n" + logPath;
    switch (report.exportResult) {
    case 0:
        report.title = "Operation Completed Successfully.";
        break;
    case 1:
        report.title = "Operation aborted. Data was Partially exported.";
        break;
    case 2:
        report.title = "Operation failed.";
        break;
    default:
        break;
    }
    return report;
}

void MainWindowController::BeginReport()
{
    m_content.SetStoreInUse(false);
    if (m_shuttingDown) {
        m_exporting = false;
        CheckShutdown();
        return;
    }
    const ReportData report = MakeReport(m_seams.state);
    m_seams.reportView.ShowReport(report);
    const int64_t target = m_seams.state.GetInteger(StateKey::kTargetFormatKey).value_or(-1);
    if (target == kTargetArchive)
        m_seams.workspace.OpenResourceDocument("Outlook Import Guide.pdf");
    else if (target == kTargetEML)
        m_seams.workspace.OpenResourceDocument("Thunderbird Import Guide EML.pdf");
    m_exporting = false;
    if (m_exportFinished)
        m_exportFinished(report.exportResult);
}

void MainWindowController::ClickCancel()
{
    m_seams.progressSheet.SetCancelRequested(true);
}

void MainWindowController::LocateOutput()
{
    if (const auto path = m_seams.state.GetString(StateKey::kExportPath))
        m_seams.workspace.RevealPath(*path);
}

void MainWindowController::OpenLogReport()
{
    if (const auto path = m_seams.state.GetString(StateKey::kLogReportPath))
        m_seams.workspace.OpenFile(*path);
}

AlertText MissingFolderAlert(const std::string& folder)
{
    return AlertText{
        "Your mail folder was not found.", "Ok",
        "There is no folder at " + folder +
            ".\n\nUse Open to choose the folder that holds your mail or an exported mailbox.",
        false};
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

std::string HomeDirectory()
{
    const char* home = std::getenv("HOME");
    return home ? std::string(home) : std::string();
}

std::string DefaultMailFolder()
{
    return (fs::path(HomeDirectory()) / "Library" / "Mail").string();
}

OpenDatabaseController::OpenDatabaseController(AppStateData& state, IAlertPresenter& alerts,
                                               IChoosers& choosers,
                                               std::function<void()> selectionCompleted)
    : m_state(state), m_alerts(alerts), m_choosers(choosers),
      m_selectionCompleted(std::move(selectionCompleted))
{
}

void OpenDatabaseController::ClickLoadMailDatabase()
{
    const std::string folder = DefaultMailFolder();
    boost::system::error_code error;
    if (!fs::is_directory(folder, error)) {
        // Loading it would show an empty store as if the mail were gone.
        m_alerts.ShowAlert(MissingFolderAlert(folder));
        return;
    }
    LocalFolderSelectionCompleted(folder);
}

bool OpenDatabaseController::IsAcceptableLibraryFolder(const std::string& path)
{
    fs::path candidate(path);
    while (!candidate.empty() && candidate.filename() == ".")
        candidate = candidate.parent_path();
    if (candidate.filename() != "Mail" || candidate.parent_path().filename() != "Library")
        return false;
    boost::system::error_code error;
    return fs::exists(candidate, error);
}

void OpenDatabaseController::ClickBrowseLibrary()
{
    const auto chosen =
        m_choosers.ChooseSourceFolder("Click on Open button to load your \"Library/Mail\" folder.");
    if (!chosen)
        return;
    if (IsAcceptableLibraryFolder(*chosen))
        LocalFolderSelectionCompleted(*chosen);
    else
        LocalFolderSelectionCompleted(boost::none);
}

void OpenDatabaseController::ClickOpen()
{
    const auto chosen =
        m_choosers.ChooseSourceFolder("Select the Mail Folder or Exported Mailbox root.");
    if (chosen)
        LocalFolderSelectionCompleted(*chosen);
}

void OpenDatabaseController::LocalFolderSelectionCompleted(const boost::optional<std::string>& path)
{
    if (path) {
        m_state.Set(StateKey::kMailFolderPath, *path);
    } else {
        m_alerts.ShowAlert(AlertText{
            "Failed to Access [User Home]/Library/Mail folder.", "Ok",
            "Please ensure that you select \"Library/Mail\" folder located in your User Home "
            "Directory.\n\nIf you are having trouble locating  your \"[User Home]/Library/Mail\" "
            "folder then please contact for support at " +
                SupportAddress() + ".",
            false});
    }
    if (m_selectionCompleted)
        m_selectionCompleted();
}

}  // namespace KestrinApp
