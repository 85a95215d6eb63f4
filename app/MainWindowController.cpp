#include "app/MainWindowController.h"

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
    // The worker never waits for this thread; it ends on its own.
    m_seams.progressSheet.SetCancelRequested(true);
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
    // The export's worker has handed over its record and ended.
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

void MainWindowController::FolderChosen(const boost::optional<std::string>& path)
{
    if (path)
        m_mailFolderPath = *path;
    WorkflowStepCompleted(WorkflowStep::kFolderSelection);
}

ConvertStart MainWindowController::ClickConvert()
{
    if (IsBusy() || m_shuttingDown)
        return ConvertStart::kBusy;
    const FolderNodeList selection = m_content.GetSelectedItems();
    if (selection.empty()) {
        m_seams.alerts.ShowAlert(NothingSelectedAlert());
        return ConvertStart::kNothingSelected;
    }
    return StartExport(selection);
}

ConvertStart MainWindowController::StartExport(const FolderNodeList& selection)
{
    // Once on, the merge options stay on for later exports.
    m_mergeContacts = m_mergeContacts || m_content.mergeContacts;
    m_mergeCalendar = m_mergeCalendar || m_content.mergeCalendar;
    return ChooseSavePath(selection);
}

ConvertStart MainWindowController::ChooseSavePath(const FolderNodeList& selection)
{
    const auto chosen = m_seams.choosers.ChooseSaveFolder("Select a folder to save converted data:",
                                                          "Save", m_rememberedSaveFolder);
    if (!chosen)
        return ConvertStart::kNoSaveFolder;
    // The folder being read is the loaded source's; the chosen mail folder
    // is asked too, should a refused load of another folder have left the
    // old source.
    const auto& source = m_content.Source();
    for (const std::string& mailFolder :
         {source ? source->Path() : std::string(),
          source ? source->Store()->GetLocation() : std::string(), m_mailFolderPath}) {
        if (const auto refusal = OutputFolderRefusal(*chosen, mailFolder)) {
            m_seams.alerts.ShowAlert(*refusal);
            return ConvertStart::kOutputInMailFolder;
        }
    }
    m_rememberedSaveFolder = *chosen;
    StartExportThread(selection, *chosen);
    return ConvertStart::kStarted;
}

void MainWindowController::StartExportThread(const FolderNodeList& selection,
                                             const std::string& outputFolder)
{
    JoinExportThread();
    ExportRequest request;
    request.source = m_content.Source();
    for (const auto& node : selection)
        if (node)
            request.folders.push_back(node->Source());
    request.target = TargetForFormatIndex(m_outputFormatIndex);
    request.outputFolder = outputFolder;
    // The selection already leaves out what the tree hides.
    request.skipEmpty = m_content.IgnoreEmptyFolders();
    request.names = m_nameStyle;
    request.keepBytes = m_keepBytes;
    request.mergeContacts = m_mergeContacts;
    request.mergeCalendar = m_mergeCalendar;

    m_exporting = true;
    m_content.SetStoreInUse(true);
    // Cleared before the sheet shows, so that a cancel pressed as soon as it
    // is up counts.
    m_seams.progressSheet.SetCancelRequested(false);
    m_seams.progressSheet.BeginProgress();
    std::weak_ptr<bool> alive = m_alive;
    m_exportThread = std::thread([this, alive, request = std::move(request)] {
        auto record = std::make_shared<ExportRecord>(
            Convert(request, m_seams.progressSheet, m_providerFactory));
        m_seams.dispatcher.Post([this, alive, record] {
            if (alive.lock())
                ExportEnded(std::move(*record));
        });
    });
}

void MainWindowController::ExportEnded(ExportRecord record)
{
    m_lastExport = std::make_shared<const ExportRecord>(std::move(record));
    m_seams.progressSheet.EndProgress();
    WorkflowStepCompleted(WorkflowStep::kProgress);
}

void MainWindowController::WorkflowStepCompleted(WorkflowStep sender)
{
    switch (sender) {
    case WorkflowStep::kFolderSelection:
        // Nothing chosen yet: nothing to load, nothing changes.
        if (!m_mailFolderPath.empty())
            m_content.LoadStore(m_mailFolderPath);
        break;
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

void MainWindowController::BeginReport()
{
    m_content.SetStoreInUse(false);
    if (m_shuttingDown || !m_lastExport) {
        m_exporting = false;
        CheckShutdown();
        return;
    }
    const ExportRecord& record = *m_lastExport;
    if (record.refusal != ExportRefusal::None) {
        m_seams.alerts.ShowAlert(record.refusalAlert);
    } else {
        m_seams.reportView.ShowReport(MakeReport(record));
        if (record.target == ExportTarget::Archive)
            m_seams.workspace.OpenResourceDocument("Outlook Import Guide.pdf");
        else if (record.target == ExportTarget::Eml)
            m_seams.workspace.OpenResourceDocument("Thunderbird Import Guide EML.pdf");
    }
    m_exporting = false;
    if (m_exportFinished)
        m_exportFinished(record.status);
}

void MainWindowController::ClickCancel()
{
    m_seams.progressSheet.SetCancelRequested(true);
}

void MainWindowController::LocateOutput()
{
    if (m_lastExport && !m_lastExport->outputFolder.empty())
        m_seams.workspace.RevealPath(m_lastExport->outputFolder);
}

void MainWindowController::OpenLogReport()
{
    if (m_lastExport && !m_lastExport->logPath.empty())
        m_seams.workspace.OpenFile(m_lastExport->logPath);
}

AlertText MissingFolderAlert(const std::string& folder)
{
    return AlertText{
        "Your mail folder was not found.", "Ok",
        "There is no folder at " + folder +
            ".\n\nPress \"Choose Mail…\" to pick the folder that holds your mail or an exported mailbox.",
        false};
}

OpenDatabaseController::OpenDatabaseController(
    IAlertPresenter& alerts, IChoosers& choosers,
    std::function<void(const boost::optional<std::string>&)> selectionCompleted)
    : m_alerts(alerts), m_choosers(choosers), m_selectionCompleted(std::move(selectionCompleted))
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
        m_choosers.ChooseSourceFolder("Click \"Choose\" to load your \"Library/Mail\" folder.");
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
    if (!path) {
        m_alerts.ShowAlert(AlertText{
            "Failed to Access [User Home]/Library/Mail folder.", "Ok",
            "Please ensure that you select \"Library/Mail\" folder located in your User Home "
            "Directory.\n\nIf you are having trouble locating  your \"[User Home]/Library/Mail\" "
            "folder then please contact for support at " +
                SupportAddress() + ".",
            false});
    }
    if (m_selectionCompleted)
        m_selectionCompleted(path);
}

}  // namespace KestrinApp
