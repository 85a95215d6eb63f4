// kestrin-gui: the desktop window.
#include <QApplication>
#include <QIcon>

#include "app/Application.h"
#include "gui/MainWindow.h"

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kestrin"));
    QApplication::setOrganizationName(QStringLiteral("Kestrin"));
    QApplication::setApplicationVersion(QStringLiteral(KESTRIN_VERSION));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/kestrin/kestrin.svg")));
    QApplication::setDesktopFileName(QStringLiteral("kestrin-gui"));
    KestrinApp::InitializeApplication();

    KestrinGui::MainWindow window;
    window.show();
    return application.exec();
}
