// kestrin-gui: the desktop window.
#include <QApplication>
#include <QIcon>
#include <QProxyStyle>
#include <QTimer>

#include "app/Application.h"
#include "app/StopSignals.h"
#include "gui/MainWindow.h"

namespace {

// Tool tips (the exclude-subfolders hint, store locations) come up after a
// quarter of a second.
class KestrinStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override
    {
        if (hint == SH_ToolTip_WakeUpDelay)
            return 250;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

}  // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setStyle(new KestrinStyle);
    QApplication::setApplicationName(QStringLiteral("Kestrin"));
    QApplication::setOrganizationName(QStringLiteral("Kestrin"));
    QApplication::setApplicationVersion(QStringLiteral(KESTRIN_VERSION));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/kestrin/kestrin.svg")));
    // The menu entry is installed as kestrin.desktop (KestrinInstall.cmake).
    QApplication::setDesktopFileName(QStringLiteral("kestrin"));
    KestrinApp::InitializeApplication();

    KestrinGui::MainWindow window;
    window.show();

    // A logout or a service manager ends the program with SIGTERM or SIGHUP:
    // a conversion then stops as Cancel stops it, with its report's status
    // line, and the private database copy goes with the program. The
    // handler only counts; the window looks a few times a second. A second
    // signal ends the program at once.
    KestrinApp::InstallInterruptHandler();
    QTimer stopSignals;
    QObject::connect(&stopSignals, &QTimer::timeout, &window, [&] {
        if (KestrinApp::InterruptCount() == 0)
            return;
        stopSignals.stop();
        window.stopAndQuit();
    });
    stopSignals.start(200);
    const int status = application.exec();
    // The session may end the loop while a worker still needs it.
    window.finishWork();
    return status;
}
