// The sheets of the main window: naming the folder to load, loading,
// export progress, and the result. Each is a window-modal dialog opened
// without a nested event loop.
#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>

#include <functional>
#include <vector>

#include "app/ProgressPresenters.h"
#include "app/VerifyExport.h"
#include "app/Views.h"
#include "gui/QtFrontEnd.h"

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QToolButton;
class QTreeWidget;

namespace KestrinGui {

// Three ways to name the mail: the default folder, a browsed Library/Mail
// folder, any folder or exported-mailbox root.
class SelectionSheet : public QDialog {
    Q_OBJECT
public:
    explicit SelectionSheet(QWidget* parent);
    QPushButton* defaultButton() const { return m_default; }
    QPushButton* browseButton() const { return m_browse; }
    QPushButton* openButton() const { return m_open; }

signals:
    void loadDefaultClicked();
    void browseClicked();
    void openClicked();

private:
    QPushButton* m_default;
    QPushButton* m_browse;
    QPushButton* m_open;
};

// Shown while a folder loads. Texts arrive on the loading thread and reach
// the main thread throttled, the latest ones only.
class LoadingSheet : public QDialog, public KestrinApp::ILoadingSheet {
    Q_OBJECT
public:
    explicit LoadingSheet(QWidget* parent);
    void BeginProgress() override;
    void EndProgress() override;
    void LoadMessage(const std::wstring& text) override;
    void LoadPath(const std::wstring& text) override;

    QPushButton* cancelButton() const { return m_cancel; }
    QString messageText() const;

signals:
    void cancelClicked();

protected:
    void reject() override;

private:
    void Show(const KestrinApp::LoadShown& shown);

    QLabel* m_message;
    QLabel* m_path;
    QPushButton* m_cancel;
    QtDispatcher m_mainThread{this};
    KestrinApp::LoadProgressThrottle m_throttle{m_mainThread,
                                                [this](const KestrinApp::LoadShown& shown) { Show(shown); }};
};

// The export progress: the folder bar and the overall bar with the export
// presenter's labels, elapsed time and an estimate of the time left.
class ProgressSheet : public QDialog, public KestrinApp::IExportProgressSheet {
    Q_OBJECT
public:
    explicit ProgressSheet(QWidget* parent);
    void BeginProgress() override;
    void EndProgress() override;
    void SourceShown(const std::wstring& location) override;
    void ItemShown(const std::wstring& description) override;
    void ProgressChanged(const KestrinApp::ExportProgress& progress) override;

    QPushButton* cancelButton() const { return m_cancel; }
    QProgressBar* overallBar() const { return m_overallBar; }
    QString timeText() const;

signals:
    void cancelClicked();

protected:
    void reject() override;

private:
    void UpdateTime();
    void Show(const KestrinApp::ExportShown& shown);

    QLabel* m_message;
    QLabel* m_path;
    QLabel* m_folderLabel;
    QProgressBar* m_folderBar;
    QLabel* m_foldersLabel;
    QLabel* m_itemsLabel;
    QProgressBar* m_overallBar;
    QLabel* m_time;
    QPushButton* m_cancel;
    QElapsedTimer m_elapsed;
    QTimer m_clock;
    double m_fraction = 0;
    QtDispatcher m_mainThread{this};
    KestrinApp::ExportProgressThrottle m_throttle{
        m_mainThread, [this](const KestrinApp::ExportShown& shown) { Show(shown); }};
};

// Messages of one folder that did not arrive whole, for the result sheet.
struct FolderIssues {
    QString folder;
    QStringList failed;
    QStringList skipped;
    QStringList notDownloaded;
    QStringList notFullyDownloaded;
    QStringList damaged;
    QStringList repaired;
    qint64 unnamed = 0;  // counted but not named: the report names them
};

// How many converted messages of one folder were unread and flagged, and
// the unread count Apple Mail keeps for it (-1: none).
struct FolderStates {
    QString folder;
    qint64 converted = 0;
    qint64 unread = 0;
    qint64 flagged = 0;
    qint64 sourceUnread = -1;
};

// The result of an export: the title and one headline of what it did,
// notices, the problems (per folder and beyond), both footers, the brief
// report behind "Details", Open Log and Show Converted Data (enabled when
// there is something to open), the import guide of the target and the
// read-back check when there is one. Never larger than the screen: long
// content scrolls inside.
class ResultSheet : public QDialog, public KestrinApp::IReportView {
    Q_OBJECT
public:
    explicit ResultSheet(QWidget* parent);
    void ShowReport(const KestrinApp::ReportData& report) override;
    // Fills the per-folder list; hidden when empty.
    void SetFolderIssues(const std::vector<FolderIssues>& issues);
    // Fills the per-folder read/flagged counts; hidden when empty.
    void SetFolderStates(const std::vector<FolderStates>& states);
    QTreeWidget* statesList() const { return m_states; }
    // Offers the read-back check when a handler is given.
    void SetVerifyHandler(std::function<void()> handler);
    // The read-back check: while it runs, and its answer, one line per
    // output folder. A new report clears it. Paths are shown relative to
    // outputFolder; each line keeps its full path in Qt::UserRole.
    void ShowVerifyRunning();
    void ShowVerifyResult(const KestrinApp::VerifyResult& result, const QString& outputFolder);
    void SetGuide(const QString& guideFile) { m_guideFile = guideFile; }

    QString titleText() const;
    QString headlineText() const;
    QString noticeText() const;
    QString reportText() const;
    QToolButton* detailsButton() const { return m_details; }
    QPlainTextEdit* reportView() const { return m_report; }
    QString footer1Text() const;
    QString footer2Text() const;
    QPushButton* openLogButton() const { return m_openLog; }
    QPushButton* showDataButton() const { return m_showData; }
    QPushButton* guideButton() const { return m_guide; }
    QPushButton* verifyButton() const { return m_verify; }
    QTreeWidget* issuesList() const { return m_issues; }
    QTreeWidget* verifyList() const { return m_verifyList; }
    QString verifyStatusText() const;

signals:
    void openLogClicked();
    void showDataClicked();
    void guideClicked(const QString& guideFile);

protected:
    void showEvent(QShowEvent* event) override;

private:
    // Keeps the sheet within the screen's available area.
    void FitScreen();

    QLabel* m_icon;
    QLabel* m_title;
    QLabel* m_headline;
    QLabel* m_notices;
    QToolButton* m_details;
    QPlainTextEdit* m_report;
    QLabel* m_footer1;
    QLabel* m_footer2;
    QTreeWidget* m_issues;
    QLabel* m_issuesCaption;
    QTreeWidget* m_states;
    QLabel* m_statesCaption;
    QPushButton* m_openLog;
    QPushButton* m_showData;
    QPushButton* m_guide;
    QPushButton* m_verify;
    QLabel* m_verifyStatus;
    QTreeWidget* m_verifyList;
    QString m_guideFile;
    std::function<void()> m_verifyHandler;
};

}  // namespace KestrinGui
