// The main window's workflow: load step, Convert with its checks, the choice
// of target folder, the export on a worker thread and the result sheet.
//
// Threads: every operation here runs on the main thread. The export runs on
// one worker thread per Convert; it shows and hides the progress sheet with
// PostAndWait and otherwise only posts. So the main thread must keep running
// its event loop until the worker ended: quit through RequestShutdown, never
// by destroying this object while IsBusy().
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "app/AppStateData.h"
#include "app/ExportRun.h"
#include "app/Seams.h"
#include "app/StoreContentViewController.h"
#include "app/Views.h"

namespace KestrinApp {

// Who reports a finished step to the main window.
enum class WorkflowStep { kFolderSelection, kProgress };

// What a Convert came to.
enum class ConvertStart {
    kStarted,
    kBusy,                 // an export or a load runs; nothing happens
    kNothingSelected,      // the alert asked for a selection
    kNoSaveFolder,         // the user backed out of the save chooser
    kOutputInMailFolder,   // the alert refused a folder inside the mail folder
};

struct MainWindowSeams {
    AppStateData& state;
    IMainThreadDispatcher& dispatcher;
    IAlertPresenter& alerts;
    IChoosers& choosers;
    IWorkspace& workspace;
    IReportView& reportView;
    IExportProgressSheet& progressSheet;
};

class MainWindowController {
public:
    MainWindowController(const MainWindowSeams& seams, StoreContentViewController& content,
                         OutputProviderFactory providerFactory);
    // A running export must have finished (see IsBusy, RequestShutdown)
    // before destruction.
    ~MainWindowController();

    int OutputFormatIndex() const { return m_outputFormatIndex; }
    void SetOutputFormatIndex(int index) { m_outputFormatIndex = index; }
    // How the exported folders and files are named.
    KestrinMIMEEngineCommon::NameStyle GetNameStyle() const { return m_nameStyle; }
    void SetNameStyle(KestrinMIMEEngineCommon::NameStyle style) { m_nameStyle = style; }

    // Main thread. Refuses an empty selection with an alert; otherwise stores
    // the selection and options, asks for the target folder and exports.
    ConvertStart ClickConvert();
    ConvertStart StartExport(const FolderNodeList& selection);
    // Asks for the target folder; on "Save" stores it and starts the export,
    // unless the folder lies in the mail folder being converted: that is
    // refused with an alert before anything is created.
    ConvertStart ChooseSavePath();
    void WorkflowStepCompleted(WorkflowStep sender);
    // Shows the result of the last export, then the import guide for the target.
    void BeginReport();
    // The progress sheet's cancel button.
    void ClickCancel();
    // Result sheet buttons.
    void LocateOutput();
    void OpenLogReport();

    // True from the start of an export until its result sheet was shown.
    bool IsExporting() const { return m_exporting.load(); }
    // The last export's own account of itself; read it once IsExporting()
    // answers false. Empty before the first export.
    std::shared_ptr<const ExportRecord> LastExport() const { return m_lastExport; }
    // An export or a load runs.
    bool IsBusy() const { return IsExporting() || m_content.IsLoading(); }
    // An orderly end: cancels a running export and load, and calls whenIdle
    // on the main thread once both have ended (at once when nothing runs).
    // The caller keeps the event loop running until then. An export ended
    // this way shows no result sheet and opens no guide.
    void RequestShutdown(std::function<void()> whenIdle);
    // Called on the main thread after the result sheet was shown.
    void SetExportFinishedHandler(std::function<void(int result)> handler)
    {
        m_exportFinished = std::move(handler);
    }
    // The folder the save chooser starts in until the user confirms one.
    void SetDefaultSaveFolder(const std::string& folder) { m_rememberedSaveFolder = folder; }

    // The result sheet's texts for the state after an export.
    static ReportData MakeReport(const AppStateData& state);

private:
    void StartExportThread();
    void JoinExportThread();
    void CheckShutdown();

    MainWindowSeams m_seams;
    StoreContentViewController& m_content;
    OutputProviderFactory m_providerFactory;
    int m_outputFormatIndex = 0;
    KestrinMIMEEngineCommon::NameStyle m_nameStyle = KestrinMIMEEngineCommon::NameStyle::Ascii;
    std::string m_rememberedSaveFolder;
    std::atomic<bool> m_exporting{false};
    std::shared_ptr<ExportRecord> m_lastExport;
    std::thread m_exportThread;
    std::function<void(int)> m_exportFinished;
    std::function<void()> m_whenIdle;
    bool m_shuttingDown = false;
    std::shared_ptr<bool> m_alive;
};

// The alert for a mail folder that is not there (the default one, or one
// remembered from an earlier run): loading it would show an empty store.
AlertText MissingFolderAlert(const std::string& folder);

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

// The user's home folder ($HOME) and the mail folder in it.
std::string HomeDirectory();
std::string DefaultMailFolder();

// The sheet that names the folder to load: the default mail folder, a browsed
// "Library/Mail" folder, or any folder.
class OpenDatabaseController {
public:
    OpenDatabaseController(AppStateData& state, IAlertPresenter& alerts, IChoosers& choosers,
                           std::function<void()> selectionCompleted);

    void ClickLoadMailDatabase();
    void ClickBrowseLibrary();
    void ClickOpen();
    // With a path: remember it under "MailFolderPath"; without: the access
    // alert. Either way the main window is told that the step completed.
    void LocalFolderSelectionCompleted(const boost::optional<std::string>& path);

    // True for an existing folder whose path ends with "Library/Mail".
    static bool IsAcceptableLibraryFolder(const std::string& path);

private:
    AppStateData& m_state;
    IAlertPresenter& m_alerts;
    IChoosers& m_choosers;
    std::function<void()> m_selectionCompleted;
};

}  // namespace KestrinApp
