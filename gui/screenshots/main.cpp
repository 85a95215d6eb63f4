// kestrin-gui-screenshots <mail folder> <save folder> <picture folder>:
// runs the window over a library and saves what a person sees: the loaded
// tree, the progress sheet part-way, the result sheet before and after
// its read-back check. Run under Xvfb.
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QTreeView>

#include <cstdio>

#include "app/Application.h"
#include "app/Preferences.h"
#include "app/Seams.h"
#include "gui/MainWindow.h"

namespace {

bool Save(QWidget* window, const QString& file)
{
    // The whole screen: sheets are windows of their own.
    QPixmap picture = window->screen()->grabWindow(0, window->x(), window->y(),
                                                   window->frameGeometry().width(),
                                                   window->frameGeometry().height());
    if (picture.isNull())
        picture = window->grab();
    const bool saved = picture.save(file);
    std::fprintf(stderr, "%s %s\n", saved ? "wrote" : "could not write", qPrintable(file));
    return saved;
}

// The tree's row of a folder, searched depth first.
QModelIndex FindRow(const QAbstractItemModel& model, const QString& name,
                    const QModelIndex& parent = {})
{
    for (int row = 0; row < model.rowCount(parent); ++row) {
        const QModelIndex index = model.index(row, 0, parent);
        if (index.data(KestrinGui::FolderTreeModel::NameRole).toString() == name)
            return index;
        const QModelIndex below = FindRow(model, name, index);
        if (below.isValid())
            return below;
    }
    return {};
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kestrin"));
    if (argc != 4) {
        std::fprintf(stderr, "usage: kestrin-gui-screenshots MAILFOLDER SAVEFOLDER PICTUREFOLDER\n");
        return 64;
    }
    KestrinApp::InitializeApplication();
    const QString mail = QString::fromLocal8Bit(argv[1]);
    const QString pictures = QString::fromLocal8Bit(argv[3]);
    QDir().mkpath(pictures);

    KestrinApp::FixedSaveFolderChooser choosers(argv[2]);
    KestrinApp::NoWorkspace workspace;
    KestrinApp::MemoryPreferences preferences;
    preferences.Set(KestrinApp::PreferenceKey::kOutputFormat, "1");
    KestrinGui::MainWindowOptions options;
    options.choosers = &choosers;
    options.workspace = &workspace;
    options.preferences = &preferences;
    options.startWorkflow = false;
    KestrinGui::MainWindow window(options);
    window.resize(820, 600);
    window.move(0, 0);
    window.show();

    int status = 1;
    QObject::connect(&window, &KestrinGui::MainWindow::loadFinished, [&](int result) {
        if (result != 0) {
            std::fprintf(stderr, "the library did not load\n");
            application.exit(1);
            return;
        }
        // Untick one folder so that the picture shows a real choice.
        const QModelIndex projects = FindRow(*window.treeModel(), QStringLiteral("Projects"));
        window.treeModel()->setData(projects, Qt::Unchecked, Qt::CheckStateRole);
        QTimer::singleShot(300, [&] {
            Save(&window, pictures + QStringLiteral("/main-window.png"));
            window.convertButton()->click();
        });
    });
    // The progress sheet part-way through.
    QTimer poll;
    bool progressSaved = false;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* sheet = window.progressSheet();
        if (!progressSaved && sheet->isVisible() && sheet->overallBar()->value() >= 250) {
            progressSaved = true;
            QApplication::processEvents();
            Save(sheet, pictures + QStringLiteral("/progress-sheet.png"));
        }
    });
    poll.start(20);
    QObject::connect(&window, &KestrinGui::MainWindow::exportFinished, [&](int) {
        QTimer::singleShot(300, [&] {
            Save(window.resultSheet(), pictures + QStringLiteral("/result-sheet.png"));
            status = progressSaved ? 0 : 2;
            if (!progressSaved)
                std::fprintf(stderr, "the export ended before the progress sheet was seen\n");
            // Then the read-back check's answer in the same sheet.
            window.resultSheet()->verifyButton()->click();
        });
    });
    QObject::connect(&window, &KestrinGui::MainWindow::verifyFinished, [&](bool) {
        QTimer::singleShot(300, [&] {
            Save(window.resultSheet(), pictures + QStringLiteral("/result-sheet-verified.png"));
            application.exit(status);
        });
    });
    window.loadFolder(mail);
    return application.exec();
}
