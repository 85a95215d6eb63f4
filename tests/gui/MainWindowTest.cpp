// The desktop window driven with real events on the offscreen platform: a
// generated library is loaded, folders are ticked with the mouse, Space and
// the exclude-subfolders click, category boxes cycle, every target is
// converted through Qt's own folder dialogs, loads and exports are
// cancelled, quitting during an export is asked first, folders are dropped.
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDialogButtonBox>
#include <QDirIterator>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QTreeView>
#include <QUrl>

#include <atomic>
#include <chrono>
#include <thread>

#include "app/Application.h"
#include "app/Preferences.h"
#include "app/ResultSummary.h"
#include "gui/MainWindow.h"
#include "sample-library/SampleLibrary.h"

using namespace KestrinGui;
using namespace KestrinApp;
using KestrinMIMEEngineCommon::NameStyle;

namespace {

class RecordingWorkspace : public IWorkspace {
public:
    QStringList calls;
    void OpenFile(const std::string& path) override { calls << "open " + ToQString(path); }
    void RevealPath(const std::string& path) override { calls << "reveal " + ToQString(path); }
    void OpenResourceDocument(const std::string& name) override
    {
        calls << "document " + ToQString(name);
    }
};

// Holds the export's worker at its start until the test lets it go.
struct Gate {
    std::atomic<bool> open{true};
    void Wait() const
    {
        while (!open.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
};

// Answers the next folder dialog the window opens with a path, as a person
// types it and confirms.
void AnswerNextFolderDialog(QWidget* window, const QString& objectName, const QString& path)
{
    auto* timer = new QTimer(window);
    QObject::connect(timer, &QTimer::timeout, window, [=] {
        auto* dialog = window->findChild<QFileDialog*>(objectName);
        if (!dialog || !dialog->isVisible())
            return;
        timer->stop();
        timer->deleteLater();
        auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        if (edit)
            edit->setText(path);
        dialog->selectFile(path);
        static_cast<QDialog*>(dialog)->accept();
    });
    timer->start(10);
}

QMessageBox* WaitForBox(QWidget* window, const QString& objectName)
{
    QMessageBox* found = nullptr;
    const bool shown = QTest::qWaitFor([&] {
        for (auto* box : window->findChildren<QMessageBox*>(objectName))
            if (box->isVisible())
                found = box;
        return found != nullptr;
    }, 5000);
    return shown ? found : nullptr;
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_mail;
    MemoryPreferences m_preferences;
    RecordingWorkspace m_workspace;
    Gate m_gate;
    std::unique_ptr<MainWindow> m_window;

    MainWindowOptions Options()
    {
        MainWindowOptions options;
        options.workspace = &m_workspace;
        options.preferences = &m_preferences;
        options.startWorkflow = false;
        auto standard = MakeStandardProviderFactory();
        options.providerFactory = [this, standard](ExportTarget target, const std::string& root,
                                                   const std::vector<int>& merge, NameStyle names) {
            m_gate.Wait();
            return standard(target, root, merge, names);
        };
        return options;
    }

    Status LastExportStatus()
    {
        const auto record = m_window->controller().LastExport();
        return record ? record->status : Status::Failed;
    }

    void Load(const QString& path)
    {
        QSignalSpy finished(m_window.get(), &MainWindow::loadFinished);
        m_window->loadFolder(path);
        QVERIFY(finished.wait(20000));
        QCOMPARE(finished.first().first().toInt(), 0);
    }

    // Loads a library and converts it through the format box and the save
    // chooser; returns with the result sheet shown.
    void Convert(const QString& mail, int format, const QString& saveFolder)
    {
        Load(mail);
        m_window->formatBox()->setFocus();
        m_window->formatBox()->setCurrentIndex(format);
        QSignalSpy finished(m_window.get(), &MainWindow::exportFinished);
        AnswerNextFolderDialog(m_window.get(), "saveChooser", saveFolder);
        QTest::mouseClick(m_window->convertButton(), Qt::LeftButton);
        QVERIFY(finished.wait(60000));
        QVERIFY(m_window->resultSheet()->isVisible());
    }

    // Loads the library and converts it, the worker held at its start with
    // the progress sheet up until the gate opens.
    void StartHeldExport(const QString& saveFolder)
    {
        Load(m_mail);
        m_gate.open = false;
        AnswerNextFolderDialog(m_window.get(), "saveChooser", saveFolder);
        QTest::mouseClick(m_window->convertButton(), Qt::LeftButton);
        QTRY_VERIFY(m_window->progressSheet()->isVisible());
    }

    QModelIndex Find(const QString& name, const QModelIndex& parent = {})
    {
        auto* model = m_window->treeModel();
        for (int row = 0; row < model->rowCount(parent); ++row) {
            const QModelIndex index = model->index(row, 0, parent);
            if (index.data(FolderTreeModel::NameRole).toString() == name)
                return index;
            const QModelIndex below = Find(name, index);
            if (below.isValid())
                return below;
        }
        return {};
    }

    Qt::CheckState Check(const QString& name)
    {
        return static_cast<Qt::CheckState>(Find(name).data(Qt::CheckStateRole).toInt());
    }

    // Clicks a row's check indicator where the style draws it.
    void ClickCheckIndicator(const QModelIndex& index, Qt::KeyboardModifiers modifiers = {})
    {
        QTreeView* tree = m_window->treeView();
        tree->scrollTo(index);
        QStyleOptionViewItem option;
        option.initFrom(tree);
        option.rect = tree->visualRect(index);
        option.features = QStyleOptionViewItem::HasCheckIndicator |
                          QStyleOptionViewItem::HasDisplay | QStyleOptionViewItem::HasDecoration;
        option.decorationSize = tree->iconSize();
        const QRect box = tree->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator,
                                                        &option, tree);
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, modifiers, box.center());
    }

    void AllExpanded(const QModelIndex& parent = {})
    {
        auto* model = m_window->treeModel();
        for (int row = 0; row < model->rowCount(parent); ++row) {
            const QModelIndex index = model->index(row, 0, parent);
            if (model->rowCount(index) > 0) {
                QVERIFY2(m_window->treeView()->isExpanded(index),
                         qPrintable(index.data().toString()));
                AllExpanded(index);
            }
        }
    }

private slots:
    void initTestCase()
    {
        QApplication::setQuitOnLastWindowClosed(false);
        InitializeApplication();
        QVERIFY(m_dir.isValid());
        kestrin_sample::SampleOptions options;
        options.outDir = (m_dir.path() + "/home").toStdString();
        m_mail = ToQString(kestrin_sample::WriteSampleLibrary(options).mailFolder.string());
    }

    void init()
    {
        // Each test starts from a tree with every folder ticked.
        m_preferences.SetList(PreferenceKey::kUntickedFolders, {});
        m_gate.open = true;
        m_workspace.calls.clear();
        m_window = std::make_unique<MainWindow>(Options());
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }

    void cleanup()
    {
        m_gate.open = true;
        QVERIFY(QTest::qWaitFor([this] { return !m_window->isBusy(); }, 20000));
        m_window.reset();
    }

    void openingThroughTheSelectionSheetShowsTheTreeExpandedAndTicked()
    {
        m_window->showSelectionSheet();
        QVERIFY(m_window->selectionSheet()->isVisible());
        QSignalSpy finished(m_window.get(), &MainWindow::loadFinished);
        AnswerNextFolderDialog(m_window.get(), "sourceChooser", m_mail);
        QTest::mouseClick(m_window->selectionSheet()->openButton(), Qt::LeftButton);
        QVERIFY(finished.wait(20000));
        QCOMPARE(finished.first().first().toInt(), 0);
        QVERIFY(!m_window->selectionSheet()->isVisible());

        auto* model = m_window->treeModel();
        QCOMPARE(model->rowCount(), 1);
        QCOMPARE(model->index(0, 0).data(FolderTreeModel::NameRole).toString(),
                 QStringLiteral("Apple Mail Database"));
        AllExpanded();
        for (const char* name : {"INBOX", "Projects", "Junk", "Receipts"})
            QCOMPARE(Check(name), Qt::Checked);
        QVERIFY(Find("INBOX").data().toString().contains("["));
        QCOMPARE(Find("INBOX").data(Qt::ToolTipRole).toString(),
                 FolderTreeModel::ExcludeTooltip());
        QCOMPARE(m_window->categoryBox(kCategoryMail)->checkState(), Qt::Checked);
        QVERIFY(m_window->convertButton()->isEnabled());
        // Remembered for the next run.
        QCOMPARE(m_preferences.GetList(PreferenceKey::kRecentMailFolders).front(),
                 m_mail.toStdString());
        QCOMPARE(m_window->recentMenu()->actions().size(), 1);
    }

    void tickingWithMouseSpaceAndTheExcludeClick()
    {
        Load(m_mail);
        // A click on the box of a folder with a subfolder takes the subfolder along.
        ClickCheckIndicator(Find("INBOX"));
        QCOMPARE(Check("INBOX"), Qt::Unchecked);
        QCOMPARE(Check("Projects"), Qt::Unchecked);
        QCOMPARE(m_window->categoryBox(kCategoryMail)->checkState(), Qt::PartiallyChecked);
        AllExpanded();

        // Space on the current row ticks it again, subfolder included.
        QTreeView* tree = m_window->treeView();
        tree->setFocus();
        tree->setCurrentIndex(Find("INBOX"));
        QTest::keyClick(tree, Qt::Key_Space);
        QCOMPARE(Check("INBOX"), Qt::Checked);
        QCOMPARE(Check("Projects"), Qt::Checked);

        // With the exclude modifier only the folder itself changes; it then
        // reads partly ticked, its subfolder being ticked.
        ClickCheckIndicator(Find("INBOX"), FolderTreeModel::ExcludeModifier());
        QCOMPARE(Check("INBOX"), Qt::PartiallyChecked);
        QCOMPARE(Check("Projects"), Qt::Checked);
    }

    // "1,234 messages in 5 folders selected" as numbers.
    std::pair<qint64, qint64> SelectedTotals()
    {
        static const QRegularExpression pattern(
            QStringLiteral("^([0-9,]+) messages? in ([0-9,]+) folders? selected$"));
        const QString text = m_window->selectedTotalsLabel()->text();
        const auto match = pattern.match(text);
        if (!match.hasMatch() || !m_window->selectedTotalsLabel()->isVisible())
            return {-1, -1};
        return {match.captured(1).remove(',').toLongLong(),
                match.captured(2).remove(',').toLongLong()};
    }

    qint64 Count(const QString& name)
    {
        return Find(name).data(FolderTreeModel::CountRole).toString().remove(
            QRegularExpression("[^0-9]")).toLongLong();
    }

    void parentsShowPartialTicksAndTheSelectedTotalFollows()
    {
        Load(m_mail);
        const QString store = QStringLiteral("Apple Mail Database");
        const auto all = SelectedTotals();
        QVERIFY2(all.first > 0 && all.second > 0,
                 qPrintable(m_window->selectedTotalsLabel()->text()));
        const qint64 inbox = Count("INBOX"), projects = Count("Projects");
        QVERIFY(inbox > 0 && projects > 0);
        QCOMPARE(Find("INBOX").data(Qt::AccessibleTextRole).toString(),
                 QStringLiteral("INBOX, %1 messages, ticked").arg(inbox));

        // The mouse unticks a folder with its subfolder: the store row above
        // reads partly ticked and the total drops by both.
        ClickCheckIndicator(Find("INBOX"));
        QCOMPARE(Check("INBOX"), Qt::Unchecked);
        QCOMPARE(Check(store), Qt::PartiallyChecked);
        QCOMPARE(SelectedTotals(), std::make_pair(all.first - inbox - projects, all.second - 2));
        QCOMPARE(Find("INBOX").data(Qt::AccessibleDescriptionRole).toString(),
                 QStringLiteral("%1 messages, not ticked").arg(inbox));

        // Space ticks the subfolder alone back: its parent reads partly ticked.
        QTreeView* tree = m_window->treeView();
        tree->setFocus();
        tree->setCurrentIndex(Find("Projects"));
        QTest::keyClick(tree, Qt::Key_Space);
        QCOMPARE(Check("INBOX"), Qt::PartiallyChecked);
        QCOMPARE(SelectedTotals(), std::make_pair(all.first - inbox, all.second - 1));

        // Space on the partly ticked parent ticks it all.
        tree->setCurrentIndex(Find("INBOX"));
        QTest::keyClick(tree, Qt::Key_Space);
        QCOMPARE(Check("INBOX"), Qt::Checked);
        QCOMPARE(Check(store), Qt::Checked);
        QCOMPARE(SelectedTotals(), all);

        // So does a click on a partly ticked store row.
        ClickCheckIndicator(Find("Junk"));
        QCOMPARE(Check(store), Qt::PartiallyChecked);
        ClickCheckIndicator(Find(store));
        QCOMPARE(Check("Junk"), Qt::Checked);
        QCOMPARE(SelectedTotals(), all);

        // Nothing ticked reads so.
        ClickCheckIndicator(Find(store));
        QCOMPARE(m_window->selectedTotalsLabel()->text(), QStringLiteral("No folders selected"));
    }

    void ticksAreRememberedForTheSameMailFolderInANewWindow()
    {
        Load(m_mail);
        ClickCheckIndicator(Find("Junk"));
        ClickCheckIndicator(Find("INBOX"), FolderTreeModel::ExcludeModifier());
        const auto before = SelectedTotals();

        m_window = std::make_unique<MainWindow>(Options());
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        Load(m_mail);
        QCOMPARE(Check("Junk"), Qt::Unchecked);
        QCOMPARE(Check("INBOX"), Qt::PartiallyChecked);
        QCOMPARE(Check("Projects"), Qt::Checked);
        QCOMPARE(Check("Receipts"), Qt::Checked);
        QCOMPARE(SelectedTotals(), before);
    }

    void returnStartsTheConversion()
    {
        // With nothing loaded Convert is off and Return does nothing.
        QTest::keyClick(m_window.get(), Qt::Key_Return);
        QTest::qWait(300);
        QVERIFY(!m_window->findChild<QFileDialog*>("saveChooser"));

        Load(m_mail);
        QTreeView* tree = m_window->treeView();
        tree->setFocus();
        tree->setCurrentIndex(Find("INBOX"));
        QTemporaryDir save;
        QSignalSpy finished(m_window.get(), &MainWindow::exportFinished);
        AnswerNextFolderDialog(m_window.get(), "saveChooser", save.path());
        QTest::keyClick(tree, Qt::Key_Return);
        QVERIFY(finished.wait(60000));
        QCOMPARE(finished.first().first().toInt(), static_cast<int>(Status::Succeeded));
        QVERIFY(QFileInfo::exists(save.path() + "/Converted Data"));
        m_window->resultSheet()->accept();

        // Tabbing onto a button frames it; Return on it presses that button.
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        const auto ringAround = [this](QWidget* widget) {
            QWidget* ring = m_window->focusRing();
            return ring->isVisible() && ring->parentWidget() == widget->parentWidget() &&
                   ring->geometry().contains(widget->geometry()) &&
                   ring->geometry() != widget->geometry();
        };
        m_window->convertButton()->setFocus(Qt::TabFocusReason);
        QVERIFY(ringAround(m_window->convertButton()));
        auto* choose = m_window->findChild<QPushButton*>("chooseButton");
        choose->setFocus(Qt::TabFocusReason);
        QVERIFY(ringAround(choose));
        QTest::keyClick(choose, Qt::Key_Return);
        QTRY_VERIFY(m_window->selectionSheet()->isVisible());
        m_window->selectionSheet()->reject();
    }

    // The save chooser takes a folder not made yet inside an existing one,
    // and makes that one folder only when confirmed.
    void theSaveChooserMakesANewFolderInsideAnExistingOne()
    {
        Load(m_mail);
        QTemporaryDir save;
        m_window->controller().SetDefaultSaveFolder((save.path() + "/gone").toStdString());
        QString startedIn;
        bool nestedRefused = false;
        bool newAllowed = false;
        auto* timer = new QTimer(m_window.get());
        connect(timer, &QTimer::timeout, m_window.get(), [&, timer] {
            auto* dialog = m_window->findChild<QFileDialog*>("saveChooser");
            if (!dialog || !dialog->isVisible())
                return;
            timer->stop();
            timer->deleteLater();
            startedIn = dialog->directory().absolutePath();
            dialog->setDirectory(save.path());
            // The folder list fills in the background and may name a folder.
            QTest::qWait(200);
            auto* edit = dialog->findChild<QLineEdit*>("fileNameEdit");
            auto* accept = dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Open);
            edit->setFocus();
            edit->clear();
            QTest::keyClicks(edit, "missing/deeper");
            nestedRefused = edit->text() == "missing/deeper" && !accept->isEnabled();
            edit->clear();
            QTest::keyClicks(edit, "New Output");
            newAllowed = edit->text() == "New Output" && accept->isEnabled();
            QTest::mouseClick(accept, Qt::LeftButton);
        });
        timer->start(10);
        QSignalSpy finished(m_window.get(), &MainWindow::exportFinished);
        QTest::mouseClick(m_window->convertButton(), Qt::LeftButton);
        QVERIFY(finished.wait(60000));
        QVERIFY2(QFileInfo(startedIn).isDir(), qPrintable(startedIn));
        QVERIFY(nestedRefused);
        QVERIFY(newAllowed);
        QVERIFY(QFileInfo::exists(save.path() + "/New Output/Converted Data"));
        QVERIFY(!QFileInfo::exists(save.path() + "/missing"));
        QCOMPARE(QDir(save.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList{"New Output"});
        m_window->resultSheet()->accept();
    }

    void theContextMenuExcludesSubfoldersToo()
    {
        Load(m_mail);
        QTreeView* tree = m_window->treeView();
        const QRect row = tree->visualRect(Find("Archive"));
        // Picks the action from the menu once it is up.
        QTimer::singleShot(50, [] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            QVERIFY(menu);
            auto* action = menu->findChild<QAction*>("excludeSubfoldersAction");
            QVERIFY(action && action->isEnabled());
            action->trigger();
            menu->close();
        });
        QContextMenuEvent event(QContextMenuEvent::Keyboard, row.center(),
                                tree->viewport()->mapToGlobal(row.center()));
        QApplication::sendEvent(tree->viewport(), &event);
        // The folder itself unticked, its subfolder not: partly ticked.
        QCOMPARE(Check("Archive"), Qt::PartiallyChecked);
        QCOMPARE(Check("2023"), Qt::Checked);
    }

    void categoryBoxCycles()
    {
        Load(m_mail);
        QCheckBox* mail = m_window->categoryBox(kCategoryMail);
        ClickCheckIndicator(Find("Junk"));
        QCOMPARE(mail->checkState(), Qt::PartiallyChecked);

        // Mixed → none → all, as a person clicks it.
        QTest::mouseClick(mail, Qt::LeftButton);
        QTest::qWait(0);
        QCOMPARE(mail->checkState(), Qt::Unchecked);
        QCOMPARE(Check("INBOX"), Qt::Unchecked);
        QCOMPARE(Check("Receipts"), Qt::Unchecked);
        mail->setFocus();
        QTest::keyClick(mail, Qt::Key_Space);
        QCOMPARE(mail->checkState(), Qt::Checked);
        QCOMPARE(Check("Junk"), Qt::Checked);
        AllExpanded();

        // Nothing ticked: Convert names the problem instead of exporting.
        QTest::mouseClick(mail, Qt::LeftButton);
        QCOMPARE(mail->checkState(), Qt::Unchecked);
        QTest::mouseClick(m_window->convertButton(), Qt::LeftButton);
        QMessageBox* box = WaitForBox(m_window.get(), "alert");
        QVERIFY(box);
        QCOMPARE(box->text(), QStringLiteral("Please select one or more folders for processing."));
        box->accept();
        QVERIFY(!m_window->isBusy());
    }

    void headerRowClosesTheMailFolder()
    {
        Load(m_mail);
        auto* model = m_window->treeModel();
        const QModelIndex store = model->index(0, 0);
        QVERIFY(store.data(Qt::CheckStateRole).isValid());
        m_window->findChild<QAction*>("showHeaderRowsAction")->trigger();
        // A header row: no box, a close button in the second column.
        QVERIFY(!store.data(Qt::CheckStateRole).isValid());
        QVERIFY(!(model->flags(store) & Qt::ItemIsUserCheckable));
        const QModelIndex close = model->index(0, 1);
        QVERIFY(close.data(Qt::DecorationRole).isValid());
        QCOMPARE(store.data(Qt::ToolTipRole).toString(), m_mail);
        AllExpanded();
        QTreeView* tree = m_window->treeView();
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualRect(close).center());
        QCOMPARE(model->rowCount(), 0);
        QVERIFY(!m_window->content().SourceStore());
    }

    void ignoringEmptyFoldersHidesThemAndKeepsTheTreeOpen()
    {
        Load(m_mail);
        QVERIFY(Find("Junk").isValid());
        QTest::mouseClick(m_window->ignoreEmptyBox(), Qt::LeftButton);
        QVERIFY(!Find("Junk").isValid());
        AllExpanded();
        QTest::mouseClick(m_window->ignoreEmptyBox(), Qt::LeftButton);
        QVERIFY(Find("Junk").isValid());
        AllExpanded();
    }

    void convertToEachTarget_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("expectedSuffix");
        QTest::addColumn<QString>("guideDocument");
        QTest::addColumn<QString>("guideFile");
        QTest::newRow("Outlook archive") << 0 << ".rge" << "Outlook Import Guide.pdf" << "archive.html";
        QTest::newRow("EML files") << 1 << ".eml" << "Thunderbird Import Guide EML.pdf" << "eml.html";
        QTest::newRow("mbox files") << 2 << ".mbox" << "" << "mbox.html";
        QTest::newRow("Maildir") << 3 << "/cur" << "" << "maildir.html";
    }

    void convertToEachTarget()
    {
        QFETCH(int, format);
        QFETCH(QString, expectedSuffix);
        QFETCH(QString, guideDocument);
        QFETCH(QString, guideFile);
        QTemporaryDir save;
        Convert(m_mail, format, save.path());
        if (QTest::currentTestFailed())
            return;
        ResultSheet* sheet = m_window->resultSheet();
        const QString root = save.path() + "/Converted Data";
        QVERIFY2(sheet->titleText().startsWith("Conversion completed"), qPrintable(sheet->titleText()));
        QCOMPARE(sheet->footer1Text(), "Converted Data is saved at following path:\n" + root);
        QCOMPARE(sheet->footer2Text(), "A detailed Log Report is saved at following path:\n" +
                                           root + "/Detailed Conversion Report.txt");
        QVERIFY(sheet->reportText().contains("Total number of items processed"));
        QVERIFY(QFileInfo::exists(root + "/Detailed Conversion Report.txt"));
        int matches = 0;
        QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
        while (it.hasNext())
            matches += it.next().endsWith(expectedSuffix);
        QVERIFY2(matches > 0, qPrintable(expectedSuffix));
        QVERIFY(sheet->guideButton()->isVisible());
        QVERIFY(sheet->verifyButton()->isVisible());
        QCOMPARE(m_workspace.calls.contains("document " + guideDocument), !guideDocument.isEmpty());

        m_workspace.calls.clear();
        QTest::mouseClick(sheet->openLogButton(), Qt::LeftButton);
        QTest::mouseClick(sheet->showDataButton(), Qt::LeftButton);
        QTest::mouseClick(sheet->guideButton(), Qt::LeftButton);
        QCOMPARE(m_workspace.calls,
                 QStringList({"open " + root + "/Detailed Conversion Report.txt", "reveal " + root,
                              "document " + guideFile}));
        QVERIFY(!GuidePath(guideFile).isEmpty());
        // The chosen folder and format are remembered.
        QCOMPARE(ToQString(*m_preferences.Get(PreferenceKey::kLastSaveFolder)), save.path());
        QCOMPARE(RememberedOutputFormat(m_preferences), format);
        sheet->accept();
    }

    // Saving into the mail folder being read would write there: refused
    // with an alert before anything is made, and nothing runs.
    void anOutputFolderInsideTheMailFolderIsRefused()
    {
        Load(m_mail);
        const QString inside = m_mail + "/V10";
        QSignalSpy finished(m_window.get(), &MainWindow::exportFinished);
        AnswerNextFolderDialog(m_window.get(), "saveChooser", inside);
        QTest::mouseClick(m_window->convertButton(), Qt::LeftButton);
        QMessageBox* box = WaitForBox(m_window.get(), "alert");
        QVERIFY(box);
        QCOMPARE(box->text(),
                 QStringLiteral("The output folder is inside the mail folder being converted."));
        QVERIFY2(box->informativeText().contains(
                     "Choose a folder outside the mail folder to save the converted data."),
                 qPrintable(box->informativeText()));
        QVERIFY(!m_window->isBusy());
        QVERIFY(!m_window->progressSheet()->isVisible());
        QVERIFY(!QFileInfo::exists(inside + "/Converted Data"));
        QTest::mouseClick(box->buttons().first(), Qt::LeftButton);
        QTest::qWait(20);
        QVERIFY(finished.isEmpty());
        QVERIFY(!m_window->isBusy());
    }

    // A window whose reader works until the user cancels.
    void UseEndlessReader()
    {
        MainWindowOptions options = Options();
        auto real = MakeAppleMailStoreFactory();
        options.storeFactory = [real](const std::string& path,
                                      const boost::shared_ptr<ICancelable>& cancelable) {
            while (!cancelable->IsCanceled())
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            return real(path, cancelable);
        };
        m_window = std::make_unique<MainWindow>(options);
        m_window->show();
    }

    void cancellingALoadLeavesNoStoreAndNoAlert()
    {
        UseEndlessReader();
        QSignalSpy finished(m_window.get(), &MainWindow::loadFinished);
        m_window->loadFolder(m_mail);
        QTRY_VERIFY(m_window->loadingSheet()->isVisible());
        QTest::mouseClick(m_window->loadingSheet()->cancelButton(), Qt::LeftButton);
        QVERIFY(finished.wait(20000));
        QCOMPARE(finished.first().first().toInt(), 1);
        QVERIFY(!m_window->loadingSheet()->isVisible());
        QVERIFY(!m_window->content().SourceStore());
        QCOMPARE(m_window->treeModel()->rowCount(), 0);
        QTest::qWait(50);
        QVERIFY(!m_window->findChild<QMessageBox*>("alert"));
    }

    void theResultSheetListsProblemsPerFolder()
    {
        ResultSheet* sheet = m_window->resultSheet();
        sheet->SetFolderIssues({});
        QVERIFY(sheet->issuesList()->isHidden());
        FolderIssues inbox{"/anna/INBOX/", {"Broken one"}, {}, {"Large attachment"}, {}, {"Cut one"}};
        FolderIssues sent{"/anna/Sent/", {}, {"Skipped one", "Skipped two"}, {}, {"No photo"}, {}, {"No count"}};
        FolderIssues old{"/anna/Old/", {}, {}, {}, {}, {}, {}, 1200};
        sheet->SetFolderIssues({inbox, sent, old});
        QVERIFY(!sheet->issuesList()->isHidden());
        QTreeWidget* list = sheet->issuesList();
        QCOMPARE(list->topLevelItemCount(), 3);
        QCOMPARE(list->topLevelItem(0)->text(0), QStringLiteral("/anna/INBOX/"));
        QCOMPARE(list->topLevelItem(0)->childCount(), 3);
        QCOMPARE(list->topLevelItem(0)->child(1)->text(1), QStringLiteral("not downloaded"));
        QCOMPARE(list->topLevelItem(0)->child(2)->text(1), QStringLiteral("damaged: cut short"));
        QCOMPARE(list->topLevelItem(1)->child(0)->text(1), QStringLiteral("skipped"));
        QCOMPARE(list->topLevelItem(1)->child(2)->text(1), QStringLiteral("attachments not downloaded"));
        QCOMPARE(list->topLevelItem(1)->child(3)->text(1), QStringLiteral("repaired"));
        // Messages counted beyond the names kept are pointed to in the report.
        QCOMPARE(list->topLevelItem(2)->childCount(), 1);
        QCOMPARE(list->topLevelItem(2)->child(0)->text(0),
                 QStringLiteral("1200 more named in \"Detailed Conversion Report.txt\""));
        // The read-back check is offered only when there is one.
        QVERIFY(sheet->verifyButton()->isHidden());
        bool verified = false;
        sheet->SetVerifyHandler([&] { verified = true; });
        QVERIFY(!sheet->verifyButton()->isHidden());
        sheet->verifyButton()->click();
        QVERIFY(verified);
    }

    // A copy of the sample library with one message file blanked, converted:
    // the result sheet names that message under its folder, and the
    // read-back check agrees until one written message is removed.
    void aDamagedMessageIsListedAndVerifyFindsARemovedOutput_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("expectedProblem");
        QTest::newRow("EML files") << 1 << "DIFFERENCE: ";
        QTest::newRow("mbox files") << 2 << "DIFFERENCE: the mailbox file is missing";
    }

    void aDamagedMessageIsListedAndVerifyFindsARemovedOutput()
    {
        QFETCH(int, format);
        QFETCH(QString, expectedProblem);
        QTemporaryDir home;
        kestrin_sample::SampleOptions options;
        options.outDir = home.path().toStdString();
        const QString mail = ToQString(kestrin_sample::WriteSampleLibrary(options).mailFolder.string());
        // The first whole message file of an INBOX, by name, for a stable choice.
        QStringList inboxMessages;
        QDirIterator files(mail, {"*.emlx"}, QDir::Files, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            const QString file = files.next();
            if (file.contains("/INBOX.mbox/") && !file.endsWith(".partial.emlx"))
                inboxMessages << file;
        }
        QVERIFY(!inboxMessages.isEmpty());
        inboxMessages.sort();
        QFile damaged(inboxMessages.first());
        QVERIFY(damaged.open(QIODevice::ReadOnly));
        QString damagedSubject;
        for (const QByteArray& line : damaged.readAll().split('\n'))
            if (line.startsWith("Subject: ") && damagedSubject.isEmpty())
                damagedSubject = QString::fromUtf8(line.mid(9)).trimmed();
        damaged.close();
        QVERIFY(!damagedSubject.isEmpty());
        QVERIFY(damaged.open(QIODevice::WriteOnly | QIODevice::Truncate));
        damaged.close();

        QTemporaryDir save;
        Convert(mail, format, save.path());
        if (QTest::currentTestFailed())
            return;
        ResultSheet* sheet = m_window->resultSheet();
        // A message file present but without content is a message lost, not
        // one still on the server: the run fails and names it as failed.
        QCOMPARE(sheet->titleText(), QStringLiteral("Conversion completed with errors"));

        // Listed by folder and by name, as the export recorded it; folders
        // without problems are not listed.
        QTreeWidget* issues = sheet->issuesList();
        QVERIFY(issues->isVisible());
        QTreeWidgetItem* listed = nullptr;
        for (int row = 0; row < issues->topLevelItemCount(); ++row) {
            QTreeWidgetItem* folder = issues->topLevelItem(row);
            QVERIFY(folder->childCount() > 0);
            for (int child = 0; child < folder->childCount(); ++child)
                // Its headers are gone with its content: the row names it as
                // the listing did.
                if (folder->child(child)->text(1) == QStringLiteral("failed"))
                    listed = folder->child(child);
        }
        QVERIFY2(listed, qPrintable(damaged.fileName()));
        QCOMPARE(listed->text(1), QStringLiteral("failed"));
        QCOMPARE(listed->parent()->text(0), QStringLiteral("/anna.schmidt@example.com/INBOX/"));
        const auto record = m_window->controller().LastExport();
        QVERIFY(record);
        int foldersWithProblems = 0;
        for (const auto& folder : record->folders)
            foldersWithProblems += folder.failed + folder.skipped + folder.notDownloaded > 0;
        QCOMPARE(issues->topLevelItemCount(), foldersWithProblems);
        // Every folder with converted messages shows its read and flagged counts.
        int foldersConverted = 0;
        for (const auto& folder : record->folders)
            foldersConverted += folder.processed > 0;
        QVERIFY(sheet->statesList()->isVisible());
        QCOMPARE(sheet->statesList()->topLevelItemCount(), foldersConverted);

        // Verify: one line per output folder, every one agreeing.
        QVERIFY(sheet->verifyButton()->isVisible());
        QVERIFY(sheet->verifyList()->isHidden());
        QSignalSpy verified(m_window.get(), &MainWindow::verifyFinished);
        QTest::mouseClick(sheet->verifyButton(), Qt::LeftButton);
        QVERIFY(verified.wait(60000));
        QCOMPARE(verified.takeFirst().first().toBool(), true);
        QTreeWidget* lines = sheet->verifyList();
        QVERIFY(lines->isVisible());
        QCOMPARE(lines->topLevelItemCount(), int(record->outputs.size()));
        for (int row = 0; row < lines->topLevelItemCount(); ++row) {
            QCOMPARE(lines->topLevelItem(row)->text(3), QStringLiteral("Verified"));
            QCOMPARE(lines->topLevelItem(row)->text(1), lines->topLevelItem(row)->text(2));
        }
        QCOMPARE(sheet->verifyStatusText(),
                 QStringLiteral("Every output folder holds the messages written to it."));

        // One written message removed: that folder's line names the difference.
        const auto& removedFrom = record->outputs.front();
        QString removed = ToQString(removedFrom.path);
        if (removedFrom.kind == ExportOutputRecord::Kind::EmlDirectory) {
            QDirIterator emls(removed, {"*.eml"}, QDir::Files);
            QVERIFY(emls.hasNext());
            removed = emls.next();
        }
        QVERIFY(QFile::remove(removed));
        QTest::mouseClick(sheet->verifyButton(), Qt::LeftButton);
        QVERIFY(verified.wait(60000));
        QCOMPARE(verified.takeFirst().first().toBool(), false);
        QCOMPARE(lines->topLevelItemCount(), int(record->outputs.size()));
        int differences = 0;
        for (int row = 0; row < lines->topLevelItemCount(); ++row) {
            QTreeWidgetItem* line = lines->topLevelItem(row);
            if (line->text(3) == "Verified")
                continue;
            ++differences;
            QCOMPARE(line->data(0, Qt::UserRole).toString(), ToQString(removedFrom.path));
            QVERIFY(ToQString(removedFrom.path).endsWith(line->text(0)));
            QVERIFY2(line->text(3).startsWith(expectedProblem), qPrintable(line->text(3)));
            QVERIFY(line->font(3).bold());
        }
        QCOMPARE(differences, 1);
        QVERIFY(sheet->verifyStatusText().contains("DIFFERENCE"));
        sheet->accept();
    }

    // The sheet leads with the title and one headline from the record's
    // totals; the brief report waits folded behind Details, opens with a
    // click and scrolls by key; Open Log and Show Converted Data are
    // enabled only while there is something to open; the sheet fits the screen.
    void resultSheetLeadsWithTheHeadlineAndFoldsTheReport()
    {
        QTemporaryDir save;
        Convert(m_mail, 1, save.path());
        if (QTest::currentTestFailed())
            return;
        ResultSheet* sheet = m_window->resultSheet();
        const auto record = m_window->controller().LastExport();
        QVERIFY(record);
        const ResultSummary summary = MakeResultSummary(*record);
        QCOMPARE(sheet->titleText(), ToQString(summary.title));
        QVERIFY(summary.title.rfind("Conversion completed", 0) == 0);
        QCOMPARE(sheet->headlineText(), ToQString(summary.headline));
        QVERIFY2(sheet->headlineText().contains(" messages converted to EML"),
                 qPrintable(sheet->headlineText()));
        QVERIFY(sheet->openLogButton()->isEnabled());
        QVERIFY(sheet->showDataButton()->isEnabled());
        const QRect screen = sheet->screen()->availableGeometry();
        QVERIFY(screen.contains(sheet->frameGeometry()));

        QPlainTextEdit* report = sheet->reportView();
        QVERIFY(!report->isVisible());
        QTest::mouseClick(sheet->detailsButton(), Qt::LeftButton);
        QVERIFY(report->isVisible());
        QVERIFY(report->hasFocus());
        QVERIFY(sheet->reportText().contains("Total number of items processed"));
        report->resize(report->width(), 80);
        QScrollBar* bar = report->verticalScrollBar();
        QVERIFY(bar->maximum() > 0);
        bar->setValue(0);
        QTest::keyClick(report, Qt::Key_PageDown);
        QVERIFY(bar->value() > 0);
        QVERIFY(screen.contains(sheet->frameGeometry()));
        QTest::mouseClick(sheet->detailsButton(), Qt::LeftButton);
        QVERIFY(!report->isVisible());
        sheet->accept();

        // The output taken away before the sheet shows again: nothing to open.
        QVERIFY(QDir(ToQString(record->outputFolder)).removeRecursively());
        sheet->ShowReport(MakeReport(*record));
        QTRY_VERIFY(sheet->isVisible());
        QVERIFY(!sheet->openLogButton()->isEnabled());
        QVERIFY(!sheet->showDataButton()->isEnabled());
        sheet->accept();
    }

    void cancellingAnExportEndsItAborted()
    {
        QTemporaryDir save;
        QSignalSpy finished(m_window.get(), &MainWindow::exportFinished);
        StartHeldExport(save.path());
        QVERIFY(m_window->isBusy());
        QTest::mouseClick(m_window->progressSheet()->cancelButton(), Qt::LeftButton);
        m_gate.open = true;
        QVERIFY(finished.wait(60000));
        QCOMPARE(finished.first().first().toInt(), 1);
        QCOMPARE(m_window->resultSheet()->titleText(), QStringLiteral("Conversion cancelled"));
        QVERIFY(m_window->resultSheet()->headlineText().startsWith("Cancelled: "));
        QVERIFY(!m_window->progressSheet()->isVisible());
    }

    void quittingDuringAnExportIsAskedAndStopsItFirst()
    {
        QTemporaryDir save;
        StartHeldExport(save.path());

        // Closing is refused until the user answers.
        QVERIFY(!m_window->close());
        QMessageBox* ask = WaitForBox(m_window.get(), "quitWhileBusy");
        QVERIFY(ask);
        QTest::mouseClick(ask->findChild<QPushButton*>("keepWorking"), Qt::LeftButton);
        QVERIFY(m_window->isVisible());
        QVERIFY(m_window->isBusy());
        // Loading another folder is refused while the export reads this one.
        m_window->loadFolder(m_mail + "/V10");
        QVERIFY(m_window->content().SourceStore());

        QVERIFY(!m_window->close());
        ask = WaitForBox(m_window.get(), "quitWhileBusy");
        QVERIFY(ask);
        QTest::mouseClick(ask->findChild<QPushButton*>("stopAndQuit"), Qt::LeftButton);
        m_gate.open = true;
        QTRY_VERIFY_WITH_TIMEOUT(!m_window->isVisible(), 60000);
        QVERIFY(!m_window->isBusy());
        QCOMPARE(LastExportStatus(), Status::Canceled);
        QVERIFY(!m_window->resultSheet()->isVisible());
    }

    // What SIGTERM or SIGHUP (a logout) asks: no question, the export stops
    // as Cancel stops it, with its report's status line, then the window
    // closes.
    void stopAndQuitEndsAnExportWithoutAsking()
    {
        QTemporaryDir save;
        StartHeldExport(save.path());
        m_window->stopAndQuit();
        QVERIFY(!m_window->findChild<QMessageBox*>("quitWhileBusy"));
        m_gate.open = true;
        QTRY_VERIFY_WITH_TIMEOUT(!m_window->isVisible(), 60000);
        QVERIFY(!m_window->isBusy());
        QCOMPARE(LastExportStatus(), Status::Canceled);
        QFile report(save.path() + "/Converted Data/Detailed Conversion Report.txt");
        QVERIFY(report.open(QIODevice::ReadOnly));
        QVERIFY(report.readAll().contains("Operation canceled by user."));
    }

    void quittingDuringALoadStopsItFirst()
    {
        UseEndlessReader();
        m_window->loadFolder(m_mail);
        QTRY_VERIFY(m_window->loadingSheet()->isVisible());
        QVERIFY(!m_window->close());
        QMessageBox* ask = WaitForBox(m_window.get(), "quitWhileBusy");
        QVERIFY(ask);
        QTest::mouseClick(ask->findChild<QPushButton*>("stopAndQuit"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!m_window->isVisible(), 20000);
        QVERIFY(!m_window->isBusy());
        QVERIFY(!m_window->content().SourceStore());
    }

    void anEventLoopEndingMidExportStopsTheExportFirst()
    {
        QTemporaryDir save;
        StartHeldExport(save.path());
        // The worker is let go only once the window waits for it.
        QTimer::singleShot(20, [this] { m_gate.open = true; });
        m_window->finishWork();
        QVERIFY(!m_window->isBusy());
        QCOMPARE(LastExportStatus(), Status::Canceled);
    }

    void droppingFolders_data()
    {
        QTest::addColumn<QList<QUrl>>("urls");
        QTest::addColumn<bool>("accepted");
        const QString other = m_dir.path();
        QTest::newRow("one folder") << QList<QUrl>{QUrl::fromLocalFile(m_mail)} << true;
        QTest::newRow("two folders")
            << QList<QUrl>{QUrl::fromLocalFile(m_mail), QUrl::fromLocalFile(other)} << false;
        QTest::newRow("a file")
            << QList<QUrl>{QUrl::fromLocalFile(m_dir.path() + "/home/Library/Accounts/Accounts4.sqlite")}
            << false;
        QTest::newRow("a missing path") << QList<QUrl>{QUrl::fromLocalFile(other + "/gone")} << false;
        QTest::newRow("a web address") << QList<QUrl>{QUrl("https://example.com/Mail")} << false;
    }

    void droppingFolders()
    {
        QFETCH(QList<QUrl>, urls);
        QFETCH(bool, accepted);
        QMimeData mime;
        mime.setUrls(urls);
        const QPoint at = m_window->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m_window.get(), &enter);
        QCOMPARE(enter.isAccepted(), accepted);

        QSignalSpy finished(m_window.get(), &MainWindow::loadFinished);
        QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m_window.get(), &drop);
        if (accepted) {
            QVERIFY(finished.wait(20000));
            QCOMPARE(m_window->treeModel()->rowCount(), 1);
        } else {
            QTest::qWait(20);
            QVERIFY(finished.isEmpty());
            QVERIFY(!m_window->isBusy());
            QCOMPARE(m_window->treeModel()->rowCount(), 0);
        }
    }

    void theLastFolderIsLoadedAtTheNextStart()
    {
        Load(m_mail);
        m_window->formatBox()->setCurrentIndex(2);
        m_window->close();
        MainWindowOptions options = Options();
        options.startWorkflow = true;
        m_window = std::make_unique<MainWindow>(options);
        QSignalSpy finished(m_window.get(), &MainWindow::loadFinished);
        m_window->show();
        QVERIFY(finished.wait(20000));
        QCOMPARE(m_window->treeModel()->rowCount(), 1);
        QCOMPARE(m_window->formatBox()->currentIndex(), 2);
        QVERIFY(m_preferences.Get(PreferenceKey::kWindowGeometry));
    }

    // Names as written: the choice reaches the export, and the window
    // remembers it.
    void theNameStyleIsUsedAndRemembered()
    {
        QCOMPARE(m_window->namesBox()->currentIndex(), 0);
        m_window->namesBox()->setCurrentIndex(1);
        QCOMPARE(*m_preferences.Get(PreferenceKey::kNameStyle), std::string("unicode"));
        QTemporaryDir save;
        Convert(m_mail, 1, save.path());
        if (QTest::currentTestFailed())
            return;
        QStringList names;
        QDirIterator it(save.path() + "/Converted Data", QDir::AllEntries | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            names << it.next().section('/', -1);
        QVERIFY2(names.contains(QString::fromUtf8("\xC3\x9C" "berweisungen")), qPrintable(names.join(", ")));
        QVERIFY2(!names.filter(QRegularExpression(QString::fromUtf8("^Rechnung M\xC3\xA4rz 2023_\\d+\\.eml$")))
                      .isEmpty(),
                 qPrintable(names.join(", ")));
        m_window->resultSheet()->accept();

        m_window = std::make_unique<MainWindow>(Options());
        QCOMPARE(m_window->namesBox()->currentIndex(), 1);
        QCOMPARE(m_window->controller().GetNameStyle(), NameStyle::Unicode);
        m_window->namesBox()->setCurrentIndex(0);
        QCOMPARE(*m_preferences.Get(PreferenceKey::kNameStyle), std::string("ascii"));
    }

    // What the window shows for each kind of source, with and without a
    // library loaded before: only a source that loads replaces what is
    // shown, is remembered and is offered under Open Recent.
    void onlyASourceThatLoadsIsShownAndRemembered_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<bool>("loadedBefore");
        QTest::addColumn<int>("loadResult");
        QTest::addColumn<QString>("message");      // empty: no alert
        QTest::addColumn<QString>("informative");  // contained in the alert's informative text
        QDir(m_dir.path()).mkpath("documents/Photos");
        QFile letter(m_dir.path() + "/documents/letter.txt");
        letter.open(QIODevice::WriteOnly);
        letter.write("Dear Sir,\n");
        letter.close();
        const QString documents = m_dir.path() + "/documents";
        // A sound library whose Envelope Index was cut to half its size.
        kestrin_sample::SampleOptions options;
        options.outDir = (m_dir.path() + "/cut").toStdString();
        const QString cut = ToQString(kestrin_sample::WriteSampleLibrary(options).mailFolder.string());
        QDirIterator indexes(cut, {"Envelope Index"}, QDir::Files, QDirIterator::Subdirectories);
        QVERIFY(indexes.hasNext());
        QFile index(indexes.next());
        QVERIFY(index.resize(index.size() / 2));
        const QString noMail = ToQString(NoMailDataMessage(documents.toStdString()));
        const QString loadError = "Error occurred while loading your email data.";
        const QString malformed = index.fileName() + ": database disk image is malformed";

        QTest::newRow("a folder without mail") << documents << false << 2 << noMail << "";
        QTest::newRow("a folder without mail after a library")
            << documents << true << 2 << noMail << "";
        QTest::newRow("a cut Envelope Index") << cut << false << 2 << loadError << malformed;
        QTest::newRow("a cut Envelope Index after a library")
            << cut << true << 2 << loadError << malformed;
        QTest::newRow("a good library") << m_mail << false << 0 << "" << "";
    }

    void onlyASourceThatLoadsIsShownAndRemembered()
    {
        QFETCH(QString, folder);
        QFETCH(bool, loadedBefore);
        QFETCH(int, loadResult);
        QFETCH(QString, message);
        QFETCH(QString, informative);
        // A first run: nothing remembered yet.
        m_window.reset();
        m_preferences = MemoryPreferences();
        m_window = std::make_unique<MainWindow>(Options());
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        if (loadedBefore)
            Load(m_mail);
        const auto recentBefore = m_preferences.GetList(PreferenceKey::kRecentMailFolders);
        const auto lastBefore = m_preferences.Get(PreferenceKey::kLastMailFolder);

        QSignalSpy finished(m_window.get(), &MainWindow::loadFinished);
        m_window->loadFolder(folder);
        QVERIFY(finished.wait(20000));
        QCOMPARE(finished.first().first().toInt(), loadResult);

        if (message.isEmpty()) {
            QTest::qWait(50);
            for (auto* box : m_window->findChildren<QMessageBox*>("alert"))
                QVERIFY2(!box->isVisible(), qPrintable(box->text()));
        } else {
            QMessageBox* box = WaitForBox(m_window.get(), "alert");
            QVERIFY(box);
            QCOMPARE(box->text(), message);
            if (informative.isEmpty())
                QCOMPARE(box->informativeText(), QString());
            else
                QVERIFY2(box->informativeText().startsWith(informative),
                         qPrintable(box->informativeText()));
            box->accept();
        }

        const QString shown = loadResult == 0 ? folder : loadedBefore ? m_mail : QString();
        QCOMPARE(m_window->treeModel()->rowCount(), shown.isEmpty() ? 0 : 1);
        const auto store = m_window->content().SourceStore();
        QCOMPARE(store ? ToQString(store->GetLocation()) : QString(), shown);
        if (!shown.isEmpty())
            QCOMPARE(Check("INBOX"), Qt::Checked);
        const auto recent = m_preferences.GetList(PreferenceKey::kRecentMailFolders);
        if (loadResult == 0) {
            QCOMPARE(ToQString(recent.front()), folder);
            QCOMPARE(ToQString(*m_preferences.Get(PreferenceKey::kLastMailFolder)), folder);
        } else {
            QVERIFY(recent == recentBefore);
            QVERIFY(m_preferences.Get(PreferenceKey::kLastMailFolder) == lastBefore);
        }
        QCOMPARE(m_window->recentMenu()->actions().size(), static_cast<int>(recent.size()));
    }

    void aFolderThatCannotBeReadIsExplained_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<int>("loadResult");  // -1: refused before loading
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("reason");
        QDir(m_dir.path()).mkpath("garbled/V10/MailData");
        QFile index(m_dir.path() + "/garbled/V10/MailData/Envelope Index");
        index.open(QIODevice::WriteOnly);
        index.write("this is no database at all, not even close to one");
        index.close();
        QTest::newRow("a folder that is gone")
            << m_dir.path() + "/gone" << -1 << "Your mail folder was not found."
            << "There is no folder at " + m_dir.path() + "/gone";
        QTest::newRow("a damaged Envelope Index")
            << m_dir.path() + "/garbled" << 2 << "Error occurred while loading your email data."
            << "file is not a database";
    }

    void aFolderThatCannotBeReadIsExplained()
    {
        QFETCH(QString, folder);
        QFETCH(int, loadResult);
        QFETCH(QString, message);
        QFETCH(QString, reason);
        QSignalSpy finished(m_window.get(), &MainWindow::loadFinished);
        m_window->loadFolder(folder);
        if (loadResult >= 0) {
            QVERIFY(finished.wait(20000));
            QCOMPARE(finished.first().first().toInt(), loadResult);
        }
        QMessageBox* box = WaitForBox(m_window.get(), "alert");
        QVERIFY(box);
        QCOMPARE(box->text(), message);
        QVERIFY2(box->informativeText().contains(reason), qPrintable(box->informativeText()));
#ifndef Q_OS_MACOS
        QVERIFY(!box->informativeText().contains("Full Disk Access"));
#endif
        QCOMPARE(m_window->treeModel()->rowCount(), 0);
        box->accept();
    }
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
