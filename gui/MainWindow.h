// The main window: menus, the folder tree with its category boxes, the
// output format, Convert, and the sheets. Every decision is app/'s; this
// class turns Qt's events into its calls and its answers into widgets.
#pragma once

#include <QMainWindow>
#include <QMimeData>

#include <memory>

#include "app/Convert.h"
#include "app/ExportResultRows.h"
#include "app/MainWindowController.h"
#include "app/Preferences.h"
#include "app/StoreContentViewController.h"
#include "gui/FolderTreeModel.h"
#include "gui/QtFrontEnd.h"
#include "gui/Sheets.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QMenu;
class QPushButton;
class QTreeView;

namespace KestrinGui {

class FocusRing;
class ScreenFitter;

// What a test or a special run replaces; empty members take the real thing.
struct MainWindowOptions {
    KestrinApp::IChoosers* choosers = nullptr;
    KestrinApp::IWorkspace* workspace = nullptr;
    KestrinApp::IPreferences* preferences = nullptr;
    KestrinApp::StoreFactory storeFactory;
    KestrinApp::OutputProviderFactory providerFactory;
    // Load the remembered mail folder (or offer the selection sheet) once
    // the window is shown.
    bool startWorkflow = true;
};

// The per-folder problems of an export, for the result sheet, from the
// export's own record of failed, skipped and not-downloaded messages.
std::vector<FolderIssues> CollectFolderIssues(const KestrinApp::ExportRecord* record);
// The read/flagged counts of the folders that had messages converted.
std::vector<FolderStates> CollectFolderStates(const KestrinApp::ExportRecord* record);

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(const MainWindowOptions& options = {}, QWidget* parent = nullptr);
    ~MainWindow() override;

    // For tests and the screenshot run.
    QTreeView* treeView() const { return m_tree; }
    FolderTreeModel* treeModel() const { return m_model.get(); }
    QComboBox* formatBox() const { return m_format; }
    QComboBox* namesBox() const { return m_names; }
    QPushButton* convertButton() const { return m_convert; }
    // The ring that shows where the keyboard is.
    QWidget* focusRing() const;
    QLabel* selectedTotalsLabel() const { return m_selectedTotals; }
    QCheckBox* categoryBox(int category) const { return m_categoryBoxes.at(category); }
    QCheckBox* ignoreEmptyBox() const { return m_ignoreEmpty; }
    SelectionSheet* selectionSheet() const { return m_selectionSheet; }
    LoadingSheet* loadingSheet() const { return m_loadingSheet; }
    ProgressSheet* progressSheet() const { return m_progressSheet; }
    ResultSheet* resultSheet() const { return m_resultSheet; }
    QMenu* recentMenu() const { return m_recentMenu; }
    KestrinApp::StoreContentViewController& content() { return *m_content; }
    KestrinApp::MainWindowController& controller() { return *m_controller; }
    bool isBusy() const { return m_controller->IsBusy(); }

    // Stops a running export or load and waits, running events, until it
    // has ended: for an event loop that ended without the window closing.
    void finishWork();
    // Stops a running export or load without asking (the report gets its
    // status line) and closes the window once it has ended: what a logout
    // or a service manager's SIGTERM asks of the program.
    void stopAndQuit();

    // Loads a folder as the selection sheet's buttons do, without a chooser.
    void loadFolder(const QString& path);

public slots:
    void showSelectionSheet();

signals:
    // After a load ended, with its result (0 loaded, 1 cancelled, 2 failed).
    void loadFinished(int result);
    // After the result sheet of an export was shown.
    void exportFinished(int result);
    // After the read-back check's answer was shown in the result sheet.
    void verifyFinished(bool ok);

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void BuildMenus();
    void BuildCentralWidget();
    void UpdateSelectionControls();
    void UpdateRecentMenu();
    void UpdateFolderLabel();
    void OnLoadFinished(KestrinApp::Status result);
    void OnExportFinished(KestrinApp::Status status);
    void ShowTreeContextMenu(const QPoint& position);
    void OpenGuide(const QString& fileName);
    void AskBeforeQuitting();
    void RunVerify();
    boost::optional<std::string> DroppedFolder(const QMimeData* mime) const;
    // Takes a drag that carries a folder to load, while the window is idle.
    void AcceptDropOfFolder(QDragMoveEvent* event) const;

    // The real seams, used where the options give none.
    QtDispatcher m_dispatcher;
    QtAlerts m_alerts{this};
    QtChoosers m_qtChoosers{this};
    QtWorkspace m_qtWorkspace;
    std::unique_ptr<KestrinApp::IPreferences> m_ownPreferences;
    KestrinApp::IChoosers* m_choosers;
    KestrinApp::IWorkspace* m_workspace;
    KestrinApp::IPreferences* m_preferences;
    bool m_startWorkflow;
    bool m_started = false;
    bool m_quitReady = false;

    SelectionSheet* m_selectionSheet;
    LoadingSheet* m_loadingSheet;
    ProgressSheet* m_progressSheet;
    ResultSheet* m_resultSheet;
    std::unique_ptr<KestrinApp::IReportView> m_reportView;

    // Destroyed before the sheets they drive (members go in reverse order).
    std::unique_ptr<KestrinApp::StoreContentViewController> m_content;
    std::unique_ptr<KestrinApp::MainWindowController> m_controller;
    std::unique_ptr<KestrinApp::OpenDatabaseController> m_openDatabase;
    std::unique_ptr<FolderTreeModel> m_model;
    // Posts through m_dispatcher, so it must go before it; waits for its worker.
    std::unique_ptr<KestrinApp::BackgroundVerify> m_verify;

    QTreeView* m_tree = nullptr;
    QLabel* m_folderLabel = nullptr;
    QLabel* m_selectedTotals = nullptr;
    std::vector<QCheckBox*> m_categoryBoxes;
    QCheckBox* m_ignoreEmpty = nullptr;
    QComboBox* m_format = nullptr;
    QComboBox* m_names = nullptr;
    QPushButton* m_convert = nullptr;
    QMenu* m_recentMenu = nullptr;
    QAction* m_chooseAction = nullptr;
    FocusRing* m_focusRing = nullptr;
    ScreenFitter* m_screenFitter = nullptr;
    QMetaObject::Connection m_focusWatch;
};

}  // namespace KestrinGui
