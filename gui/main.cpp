// kestrin-gui: the desktop window.
#include <QApplication>
#include <QIcon>
#include <QProxyStyle>

#include "app/Application.h"
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
    QApplication::setDesktopFileName(QStringLiteral("kestrin-gui"));
    KestrinApp::InitializeApplication();

    KestrinGui::MainWindow window;
    window.show();
    const int status = application.exec();
    // The session may end the loop while a worker still needs it.
    window.finishWork();
    return status;
}
