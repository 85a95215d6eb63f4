// The window and its dialogs on a small screen at a large scale factor: a
// 1440x900 screen at scale 2 leaves 720x450 to lay out in. Run with the
// environment CMake sets (offscreen screen of that size, QT_SCALE_FACTOR=2).
#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "app/Application.h"
#include "app/Preferences.h"
#include "gui/MainWindow.h"
#include "sample-library/SampleLibrary.h"

using namespace KestrinGui;
using namespace KestrinApp;

namespace {

// Every shown button of a window lies on the screen, whole and not cut off
// by a scrolled area; so does the window itself.
void ExpectOnScreen(QWidget* window, const char* what)
{
    QVERIFY2(window && window->isVisible(), what);
    const QRect screen = window->screen()->availableGeometry();
    QVERIFY2(screen.contains(window->frameGeometry()),
             qPrintable(QStringLiteral("%1: window %2,%3 %4x%5 on a screen of %6x%7")
                            .arg(what)
                            .arg(window->frameGeometry().x())
                            .arg(window->frameGeometry().y())
                            .arg(window->frameGeometry().width())
                            .arg(window->frameGeometry().height())
                            .arg(screen.width())
                            .arg(screen.height())));
    int buttons = 0;
    for (QAbstractButton* button : window->findChildren<QAbstractButton*>()) {
        if (!button->isVisible() || button->window() != window)
            continue;
        ++buttons;
        const QRect onScreen(button->mapToGlobal(QPoint(0, 0)), button->size());
        const QString name = QStringLiteral("%1: \"%2\"").arg(what, button->text());
        QVERIFY2(screen.contains(onScreen), qPrintable(name));
        QVERIFY2(button->visibleRegion().boundingRect() == button->rect(), qPrintable(name));
    }
    QVERIFY2(buttons > 0, what);
}

}  // namespace

class ScreenFitTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_mail;

private slots:
    void initTestCase()
    {
        QApplication::setQuitOnLastWindowClosed(false);
        InitializeApplication();
        QVERIFY(m_dir.isValid());
        // The environment this test is about.
        QCOMPARE(QGuiApplication::primaryScreen()->availableGeometry().size(), QSize(720, 450));
        kestrin_sample::SampleOptions options;
        options.outDir = (m_dir.path() + "/home").toStdString();
        m_mail = QString::fromStdString(kestrin_sample::WriteSampleLibrary(options).mailFolder.string());
    }

    void everyButtonOfTheWindowAndItsDialogsIsOnScreen_data()
    {
        QTest::addColumn<bool>("keptFromABiggerScreen");
        QTest::newRow("first run") << false;
        QTest::newRow("size kept from a bigger screen") << true;
    }

    void everyButtonOfTheWindowAndItsDialogsIsOnScreen()
    {
        QFETCH(bool, keptFromABiggerScreen);
        MemoryPreferences preferences;
        MainWindowOptions options;
        options.preferences = &preferences;
        options.startWorkflow = false;
        if (keptFromABiggerScreen) {
            MainWindow big(options);
            big.setGeometry(0, 0, 1600, 1100);
            preferences.Set(PreferenceKey::kWindowGeometry,
                            big.saveGeometry().toBase64().toStdString());
        }
        MainWindow window(options);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QSignalSpy loaded(&window, &MainWindow::loadFinished);
        window.loadFolder(m_mail);
        QVERIFY(loaded.wait(20000));
        ExpectOnScreen(&window, "main window");
        // Nor can it be made larger than the screen by its own minimum.
        const QSize room = window.screen()->availableGeometry().size();
        QVERIFY(window.minimumSize().width() <= room.width());
        QVERIFY(window.minimumSize().height() <= room.height());

        window.showSelectionSheet();
        QTRY_VERIFY(window.selectionSheet()->isVisible());
        ExpectOnScreen(window.selectionSheet(), "selection sheet");
        window.selectionSheet()->reject();

        window.loadingSheet()->BeginProgress();
        QTRY_VERIFY(window.loadingSheet()->isVisible());
        ExpectOnScreen(window.loadingSheet(), "loading sheet");
        window.loadingSheet()->EndProgress();

        window.progressSheet()->BeginProgress();
        QTRY_VERIFY(window.progressSheet()->isVisible());
        ExpectOnScreen(window.progressSheet(), "progress sheet");
        window.progressSheet()->EndProgress();

        // The save chooser, looked at while it is up, then cancelled.
        bool chooserSeen = false;
        auto* timer = new QTimer(&window);
        connect(timer, &QTimer::timeout, &window, [&, timer] {
            auto* dialog = window.findChild<QFileDialog*>("saveChooser");
            if (!dialog || !dialog->isVisible())
                return;
            timer->stop();
            chooserSeen = true;
            ExpectOnScreen(dialog, "save chooser");
            dialog->reject();
        });
        timer->start(10);
        QTest::mouseClick(window.convertButton(), Qt::LeftButton);
        QTRY_VERIFY(chooserSeen);
        QTRY_VERIFY(!window.isBusy());

        // An alert: Convert with nothing ticked.
        window.content().FolderView().ClickCheckBox(window.content().FolderView().RootNode()
                                                        ->Children()
                                                        .front(),
                                                    false, false);
        QTest::mouseClick(window.convertButton(), Qt::LeftButton);
        QMessageBox* alert = nullptr;
        QTRY_VERIFY((alert = window.findChild<QMessageBox*>("alert")) && alert->isVisible());
        ExpectOnScreen(alert, "alert");
        alert->accept();
    }
};

QTEST_MAIN(ScreenFitTest)
#include "ScreenFitTest.moc"
