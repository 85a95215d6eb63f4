// The main window's workflow: load step, Convert with its checks, the choice
// of target folder, the export on a worker thread and the result sheet.
//
// Threads: every operation here runs on the main thread. The export runs
// Convert on one worker thread per Convert, with the progress sheet as its
// observer; the worker hands the record to the main thread through the
// dispatcher and ends without waiting for it. Quit through RequestShutdown,
// which lets the export end with its report, never by destroying this
// object while IsBusy(): the destructor waits for the worker.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "app/Convert.h"
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
    ~MainWindowController();

    // The output format selector: 0 the archive, 1 EML files, 2 mbox files.
    void SetOutputFormatIndex(int index) { m_outputFormatIndex = index; }
    // How the exported folders and files are named.
    NameStyle GetNameStyle() const { return m_nameStyle; }
    void SetNameStyle(NameStyle style) { m_nameStyle = style; }
    // Mailbox targets write the messages as stored, without read/flag lines.
    void SetKeepStoredBytes(bool keep) { m_keepBytes = keep; }

    // The folder chosen to load, kept when a later choice was refused; empty
    // until one was chosen.
    const std::string& MailFolderPath() const { return m_mailFolderPath; }
    // The selection sheet's answer: a folder to load, or none (refused or
    // backed out of). Either way the load step follows.
    void FolderChosen(const boost::optional<std::string>& path);

    // Refuses an empty selection with an alert; otherwise takes the
    // selection and options, asks for the target folder and exports. The
    // target folder is refused with an alert, before anything is created,
    // when it lies in the mail folder being converted.
    ConvertStart ClickConvert();
    // The progress sheet's cancel button.
    void ClickCancel();
    // Result sheet buttons.
    void LocateOutput();
    void OpenLogReport();

    // True from the start of an export until its result sheet was shown.
    bool IsExporting() const { return m_exporting; }
    // The last export's own account of itself, set when it ended. Empty
    // before the first export.
    std::shared_ptr<const ExportRecord> LastExport() const { return m_lastExport; }
    // An export or a load runs.
    bool IsBusy() const { return IsExporting() || m_content.IsLoading(); }
    // An orderly end: cancels a running export and load, and calls whenIdle
    // once both have ended (at once when nothing runs). The caller keeps the
    // event loop running until then. An export ended this way shows no
    // result sheet and opens no guide.
    void RequestShutdown(std::function<void()> whenIdle);
    // Called after the result sheet was shown.
    void SetExportFinishedHandler(std::function<void(Status status)> handler)
    {
        m_exportFinished = std::move(handler);
    }
    // The folder the save chooser starts in until the user confirms one.
    void SetDefaultSaveFolder(const std::string& folder) { m_rememberedSaveFolder = folder; }

private:
    void WorkflowStepCompleted(WorkflowStep sender);
    // Shows the result of the last export, then the import guide for the target.
    void BeginReport();
    ConvertStart StartExport(const FolderNodeList& selection);
    ConvertStart ChooseSavePath(const FolderNodeList& selection);
    void StartExportThread(const FolderNodeList& selection, const std::string& outputFolder);
    void ExportEnded(ExportRecord record);
    void JoinExportThread();
    void CheckShutdown();

    MainWindowSeams m_seams;
    StoreContentViewController& m_content;
    OutputProviderFactory m_providerFactory;
    int m_outputFormatIndex = 0;
    NameStyle m_nameStyle = NameStyle::Ascii;
    bool m_keepBytes = false;
    std::string m_mailFolderPath;
    // Once an export merged contacts or calendars, later ones do too.
    bool m_mergeContacts = false;
    bool m_mergeCalendar = false;
    std::string m_rememberedSaveFolder;
    bool m_exporting = false;
    std::shared_ptr<const ExportRecord> m_lastExport;
    std::thread m_exportThread;
    std::function<void(Status)> m_exportFinished;
    std::function<void()> m_whenIdle;
    bool m_shuttingDown = false;
    std::shared_ptr<bool> m_alive;
};

// The alert for a mail folder that is not there (the default one, or one
// remembered from an earlier run): loading it would show an empty store.
AlertText MissingFolderAlert(const std::string& folder);

// The sheet that names the folder to load: the default mail folder, a browsed
// "Library/Mail" folder, or any folder.
class OpenDatabaseController {
public:
    // selectionCompleted gets the folder chosen, or none after the access
    // alert.
    OpenDatabaseController(IAlertPresenter& alerts, IChoosers& choosers,
                           std::function<void(const boost::optional<std::string>&)> selectionCompleted);

    void ClickLoadMailDatabase();
    void ClickBrowseLibrary();
    void ClickOpen();
    // Without a path: the access alert. Either way the main window is told
    // that the step completed.
    void LocalFolderSelectionCompleted(const boost::optional<std::string>& path);

    // True for an existing folder whose path ends with "Library/Mail".
    static bool IsAcceptableLibraryFolder(const std::string& path);

private:
    IAlertPresenter& m_alerts;
    IChoosers& m_choosers;
    std::function<void(const boost::optional<std::string>&)> m_selectionCompleted;
};

}  // namespace KestrinApp
