#include "gui/MainWindow.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QPointer>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QTimer>
#include <QTreeView>
#include <QUrl>
#include <QVBoxLayout>

#include "app/Application.h"
#include "gui/FolderRowDelegate.h"
#include "gui/ScreenFit.h"

// The window's pictures live in the library; a static library needs its
// resources registered by name.
static void InitGuiResources()
{
    Q_INIT_RESOURCE(gui);
}

namespace KestrinGui {

using namespace KestrinApp;
using KestrinMIMEEngineCommon::NameStyle;
using KestrinMIMEEngineCommon::NameStyleFromString;
using KestrinMIMEEngineCommon::ToString;

std::vector<FolderIssues> CollectFolderIssues(const ExportRecord* record)
{
    std::vector<FolderIssues> issues;
    if (!record)
        return issues;
    const auto toList = [](const std::vector<std::string>& names) {
        QStringList list;
        for (const std::string& name : names)
            list << ToQString(name);
        return list;
    };
    for (const FolderIssueRow& row : FolderIssueRows(*record))
        issues.push_back({ToQString(row.folder), toList(row.failed), toList(row.skipped),
                          toList(row.notDownloaded), toList(row.notFullyDownloaded),
                          toList(row.damaged), toList(row.repaired), row.unnamed});
    return issues;
}

std::vector<FolderStates> CollectFolderStates(const ExportRecord* record)
{
    std::vector<FolderStates> states;
    if (!record)
        return states;
    for (const ExportFolderRecord& folder : record->folders) {
        if (folder.processed == 0)
            continue;
        states.push_back({ToQString(folder.sourcePath), folder.processed, folder.unread, folder.flagged,
                          folder.sourceUnread ? *folder.sourceUnread : -1});
    }
    return states;
}

namespace {

// The result sheet learns the target, the per-folder problems and whether
// there is output to read back just before it shows the report. The export
// has written its record by then: the report is shown after its worker ended.
class WindowReportView : public IReportView {
public:
    using RecordSource = std::function<std::shared_ptr<const ExportRecord>()>;
    WindowReportView(ResultSheet& sheet, RecordSource record, std::function<void()> verify)
        : m_sheet(sheet), m_record(std::move(record)), m_verify(std::move(verify))
    {
    }
    void ShowReport(const ReportData& report) override
    {
        const auto record = m_record();
        m_sheet.SetGuide(GuideForTarget(record ? record->target : ExportTarget::Eml));
        m_sheet.SetFolderIssues(CollectFolderIssues(record.get()));
        m_sheet.SetFolderStates(CollectFolderStates(record.get()));
        m_sheet.SetVerifyHandler(record && !record->outputs.empty() ? m_verify
                                                                     : std::function<void()>());
        m_sheet.ShowReport(report);
    }

private:
    ResultSheet& m_sheet;
    RecordSource m_record;
    std::function<void()> m_verify;
};

// Reports the modifiers of the events that toggle a box to the model.
class ModifierWatcher : public QObject {
public:
    ModifierWatcher(FolderTreeModel& model, QObject* parent) : QObject(parent), m_model(model) {}
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
            m_model.SetEventModifiers(static_cast<QInputEvent*>(event)->modifiers());
            break;
        default:
            break;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    FolderTreeModel& m_model;
};

}  // namespace

// Qt's focus frame is drawn by the style, and most styles draw nothing or
// hide it under the widget: a ring in the highlight colour, drawn above the
// widget it follows and just outside it.
class FocusRing : public QWidget {
public:
    explicit FocusRing(QWidget* parent) : QWidget(parent)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFocusPolicy(Qt::NoFocus);
        hide();
    }

    void Follow(QWidget* widget)
    {
        if (m_widget)
            m_widget->removeEventFilter(this);
        m_widget = widget;
        if (!widget || !widget->parentWidget()) {
            hide();
            return;
        }
        widget->installEventFilter(this);
        setParent(widget->parentWidget());
        Place();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_widget && (event->type() == QEvent::Move ||
                                    event->type() == QEvent::Resize ||
                                    event->type() == QEvent::Show ||
                                    event->type() == QEvent::Hide))
            Place();
        return QWidget::eventFilter(watched, event);
    }

    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(palette().color(QPalette::Highlight), kWidth));
        const qreal inset = kWidth / 2.0;
        painter.drawRoundedRect(QRectF(rect()).adjusted(inset, inset, -inset, -inset), 3, 3);
    }

private:
    void Place()
    {
        if (!m_widget || !m_widget->isVisible()) {
            hide();
            return;
        }
        setGeometry(m_widget->geometry().adjusted(-kWidth, -kWidth, kWidth, kWidth));
        raise();
        show();
    }

    static constexpr int kWidth = 2;
    QPointer<QWidget> m_widget;
};

namespace {

constexpr int kCategoryShown[] = {kCategoryMail, kCategoryContacts, kCategoryCalendars,
                                  kCategoryTasks, kCategoryNotes};

}  // namespace

MainWindow::MainWindow(const MainWindowOptions& options, QWidget* parent)
    : QMainWindow(parent), m_startWorkflow(options.startWorkflow)
{
    InitGuiResources();
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(QCoreApplication::applicationName().isEmpty()
                       ? QStringLiteral("Kestrin")
                       : QCoreApplication::applicationName());
    setWindowIcon(QIcon(QStringLiteral(":/kestrin/kestrin.svg")));
    setAcceptDrops(true);

    if (!options.preferences)
        m_ownPreferences = std::make_unique<QtPreferences>();
    m_preferences = options.preferences ? options.preferences : m_ownPreferences.get();
    m_choosers = options.choosers ? options.choosers : &m_qtChoosers;
    m_workspace = options.workspace ? options.workspace : &m_qtWorkspace;
    RegisterDefaultPreferences(*m_preferences);

    m_selectionSheet = new SelectionSheet(this);
    m_loadingSheet = new LoadingSheet(this);
    m_progressSheet = new ProgressSheet(this);
    m_resultSheet = new ResultSheet(this);
    m_reportView = std::make_unique<WindowReportView>(
        *m_resultSheet, [this] { return m_controller->LastExport(); }, [this] { RunVerify(); });
    m_verify = std::make_unique<BackgroundVerify>(m_dispatcher);

    m_content = std::make_unique<StoreContentViewController>(
        m_dispatcher, m_alerts, *m_loadingSheet,
        options.storeFactory ? options.storeFactory : MakeAppleMailStoreFactory());
    m_controller = std::make_unique<MainWindowController>(
        MainWindowSeams{m_dispatcher, m_alerts, *m_choosers, *m_workspace, *m_reportView,
                        *m_progressSheet},
        *m_content,
        options.providerFactory ? options.providerFactory : MakeStandardProviderFactory());
    m_openDatabase = std::make_unique<OpenDatabaseController>(
        m_alerts, *m_choosers,
        [this](const boost::optional<std::string>& path) { m_controller->FolderChosen(path); });
    m_model = std::make_unique<FolderTreeModel>(m_content->FolderView());
    m_content->FolderView().SetView(m_model.get());
    m_content->FolderView().SetTickMemory(m_preferences);

    BuildCentralWidget();
    BuildMenus();

    m_content->SetLoadFinishedHandler([this](Status result) { OnLoadFinished(result); });
    m_controller->SetExportFinishedHandler(
        [this](Status status) { OnExportFinished(status); });
    if (const auto saveFolder = m_preferences->Get(PreferenceKey::kLastSaveFolder))
        m_controller->SetDefaultSaveFolder(*saveFolder);

    connect(m_selectionSheet, &SelectionSheet::loadDefaultClicked, this,
            [this] { m_openDatabase->ClickLoadMailDatabase(); });
    connect(m_selectionSheet, &SelectionSheet::browseClicked, this,
            [this] { m_openDatabase->ClickBrowseLibrary(); });
    connect(m_selectionSheet, &SelectionSheet::openClicked, this,
            [this] { m_openDatabase->ClickOpen(); });
    connect(m_loadingSheet, &LoadingSheet::cancelClicked, this, [this] { m_content->CancelLoad(); });
    connect(m_progressSheet, &ProgressSheet::cancelClicked, this,
            [this] { m_controller->ClickCancel(); });
    connect(m_resultSheet, &ResultSheet::openLogClicked, this,
            [this] { m_controller->OpenLogReport(); });
    connect(m_resultSheet, &ResultSheet::showDataClicked, this,
            [this] { m_controller->LocateOutput(); });
    connect(m_resultSheet, &ResultSheet::guideClicked, this, &MainWindow::OpenGuide);

    if (const auto geometry = m_preferences->Get(PreferenceKey::kWindowGeometry))
        restoreGeometry(QByteArray::fromBase64(QByteArray::fromStdString(*geometry)));
    else
        resize(760, 560);
    // A size kept from a larger screen or a smaller scale factor, or the
    // first run's, must still fit this screen.
    FitToScreen(this);
    m_screenFitter = new ScreenFitter(this);
    for (QWidget* window : std::initializer_list<QWidget*>{this, m_selectionSheet, m_loadingSheet,
                                                           m_progressSheet})
        m_screenFitter->Watch(window);
    UpdateSelectionControls();
    UpdateFolderLabel();
}

MainWindow::~MainWindow()
{
    // The tree must not be read while the controllers take it down.
    // Focus moves while the widgets go.
    disconnect(m_focusWatch);
    m_content->FolderView().SetView(nullptr);
    m_content->FolderView().SetTickMemory(nullptr);
    m_tree->setModel(nullptr);
}

void MainWindow::BuildCentralWidget()
{
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);

    m_folderLabel = new QLabel(central);
    m_folderLabel->setObjectName(QStringLiteral("folderLabel"));
    m_folderLabel->setTextFormat(Qt::PlainText);
    m_folderLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    auto* top = new QHBoxLayout;
    top->addWidget(m_folderLabel, 1);
    auto* choose = new QPushButton(tr("C&hoose Mail…"), central);
    choose->setObjectName(QStringLiteral("chooseButton"));
    connect(choose, &QPushButton::clicked, this, &MainWindow::showSelectionSheet);
    top->addWidget(choose);
    layout->addLayout(top);

    m_tree = new QTreeView(central);
    m_tree->setObjectName(QStringLiteral("folderTree"));
    m_tree->setAccessibleName(tr("Folders"));
    m_tree->setAccessibleDescription(tr("Tick the folders to convert."));
    m_tree->setModel(m_model.get());
    m_tree->setItemDelegate(new FolderRowDelegate(m_tree));
    m_tree->setHeaderHidden(true);
    m_tree->setUniformRowHeights(true);
    m_tree->setSelectionMode(QAbstractItemView::SingleSelection);
    m_tree->header()->setStretchLastSection(false);
    m_tree->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_tree->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    m_tree->setContextMenuPolicy(Qt::CustomContextMenu);
    m_tree->viewport()->installEventFilter(new ModifierWatcher(*m_model, m_tree));
    m_tree->installEventFilter(new ModifierWatcher(*m_model, m_tree));
    m_model->SetTreeView(m_tree);
    connect(m_tree, &QTreeView::customContextMenuRequested, this, &MainWindow::ShowTreeContextMenu);
    connect(m_tree, &QTreeView::clicked, this, [this](const QModelIndex& index) {
        // The close button of a header row.
        const auto node = m_model->NodeAt(index);
        if (index.column() == 1 && m_content->FolderView().IsHeaderRow(node)) {
            m_content->FolderView().ClickHeaderRow(node, false);
            UpdateFolderLabel();
        }
    });
    connect(m_model.get(), &FolderTreeModel::selectionStateChanged, this,
            &MainWindow::UpdateSelectionControls);
    layout->addWidget(m_tree, 1);
    m_selectedTotals = new QLabel(central);
    m_selectedTotals->setObjectName(QStringLiteral("selectedTotals"));
    m_selectedTotals->setTextFormat(Qt::PlainText);
    layout->addWidget(m_selectedTotals);

    auto* categories = new QHBoxLayout;
    auto* selectLabel = new QLabel(tr("Select:"), central);
    categories->addWidget(selectLabel);
    const QString names[] = {tr("&Mail"), tr("Co&ntacts"), tr("Ca&lendars"), tr("Tasks"),
                             tr("Notes")};
    for (int category : kCategoryShown) {
        auto* box = new QCheckBox(names[category], central);
        box->setObjectName(QStringLiteral("category%1").arg(category));
        box->setTristate(true);
        box->setToolTip(tr("Ticks or unticks every folder of this kind."));
        connect(box, &QCheckBox::clicked, this, [this, category] {
            m_content->FolderView().ClickCategoryBox(category);
            UpdateSelectionControls();
        });
        categories->addWidget(box);
        m_categoryBoxes.push_back(box);
    }
    categories->addStretch();
    m_ignoreEmpty = new QCheckBox(tr("&Ignore empty folders"), central);
    m_ignoreEmpty->setObjectName(QStringLiteral("ignoreEmptyFolders"));
    m_ignoreEmpty->setChecked(m_preferences->Get(PreferenceKey::kIgnoreEmptyFolders) ==
                              std::string("1"));
    m_content->SetIgnoreEmptyFolders(m_ignoreEmpty->isChecked());
    connect(m_ignoreEmpty, &QCheckBox::toggled, this, [this](bool on) {
        m_content->SetIgnoreEmptyFolders(on);
        m_preferences->Set(PreferenceKey::kIgnoreEmptyFolders, on ? "1" : "0");
    });
    categories->addWidget(m_ignoreEmpty);
    layout->addLayout(categories);

    auto* bottom = new QHBoxLayout;
    auto* formatLabel = new QLabel(tr("Output &format:"), central);
    m_format = new QComboBox(central);
    m_format->setObjectName(QStringLiteral("formatBox"));
    // In the order of the logic's format index.
    m_format->addItem(tr("Outlook archive (.rge)"));
    m_format->addItem(tr("EML files (one per message)"));
    m_format->addItem(tr("mbox files (one per folder)"));
    m_format->addItem(tr("Maildir (Dovecot, mutt, notmuch)"));
    formatLabel->setBuddy(m_format);
    m_format->setCurrentIndex(RememberedOutputFormat(*m_preferences));
    m_controller->SetOutputFormatIndex(m_format->currentIndex());
    connect(m_format, qOverload<int>(&QComboBox::currentIndexChanged), this, [this](int index) {
        m_controller->SetOutputFormatIndex(index);
        m_preferences->Set(PreferenceKey::kOutputFormat, std::to_string(index));
    });
    auto* namesLabel = new QLabel(tr("File &names:"), central);
    m_names = new QComboBox(central);
    m_names->setObjectName(QStringLiteral("namesBox"));
    // In the order of the engine's name styles.
    m_names->addItem(tr("ASCII letters"), QString::fromLatin1(ToString(NameStyle::Ascii)));
    m_names->addItem(tr("As written (Unicode)"), QString::fromLatin1(ToString(NameStyle::Unicode)));
    m_names->setToolTip(tr("How the converted folders and files are named after your folders and "
                           "subjects: in ASCII letters, which every disk and program takes "
                           "(Japanese in romaji, Chinese in pinyin), or as they are written."));
    namesLabel->setBuddy(m_names);
    m_names->setCurrentIndex(m_names->findData(
        QString::fromLatin1(ToString(RememberedNameStyle(*m_preferences)))));
    m_controller->SetNameStyle(RememberedNameStyle(*m_preferences));
    connect(m_names, qOverload<int>(&QComboBox::currentIndexChanged), this, [this](int index) {
        const std::string style = m_names->itemData(index).toString().toStdString();
        m_controller->SetNameStyle(NameStyleFromString(style).value_or(NameStyle::Ascii));
        m_preferences->Set(PreferenceKey::kNameStyle, style);
    });
    auto* keepBytes = new QCheckBox(tr("&Keep the stored bytes"), central);
    keepBytes->setObjectName(QStringLiteral("keepBytesBox"));
    keepBytes->setToolTip(tr("Write every message into mbox files and archives exactly as Apple Mail "
                             "stored it, without the Status lines that carry read, answered and flagged."));
    keepBytes->setChecked(m_preferences->Get(PreferenceKey::kKeepStoredBytes) == std::string("1"));
    m_controller->SetKeepStoredBytes(keepBytes->isChecked());
    connect(keepBytes, &QCheckBox::toggled, this, [this](bool on) {
        m_controller->SetKeepStoredBytes(on);
        m_preferences->Set(PreferenceKey::kKeepStoredBytes, on ? "1" : "0");
    });
    m_convert = new QPushButton(tr("&Convert…"), central);
    m_convert->setObjectName(QStringLiteral("convertButton"));
    m_convert->setDefault(true);
    connect(m_convert, &QPushButton::clicked, this, [this] { m_controller->ClickConvert(); });
    bottom->addWidget(formatLabel);
    bottom->addWidget(m_format);
    bottom->addWidget(namesLabel);
    bottom->addWidget(m_names);
    bottom->addStretch();
    layout->addLayout(bottom);
    // The choices take one row and Convert the next, so that the window stays
    // narrow enough for a small screen at a large scale factor.
    auto* last = new QHBoxLayout;
    last->addWidget(keepBytes);
    last->addStretch();
    last->addWidget(m_convert);
    layout->addLayout(last);

    // Below the layout's smallest size (a small screen at a large scale
    // factor) the controls scroll rather than overlap.
    auto* scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("centralScroll"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setWidget(central);
    setCentralWidget(scroll);
    // Where the keyboard is shows plainly on the buttons and the tree.
    m_focusRing = new FocusRing(central);
    m_focusRing->setObjectName(QStringLiteral("focusRing"));
    m_focusWatch = connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        const bool framed = now && now->window() == this &&
                            (qobject_cast<QAbstractButton*>(now) || now == m_tree ||
                             qobject_cast<QComboBox*>(now));
        m_focusRing->Follow(framed ? now : nullptr);
    });
    setTabOrder(choose, m_tree);
    QWidget* previous = m_tree;
    for (QCheckBox* box : m_categoryBoxes) {
        setTabOrder(previous, box);
        previous = box;
    }
    setTabOrder(previous, m_ignoreEmpty);
    setTabOrder(m_ignoreEmpty, m_format);
    setTabOrder(m_format, m_names);
    setTabOrder(m_names, keepBytes);
    setTabOrder(keepBytes, m_convert);
}

void MainWindow::BuildMenus()
{
    const QString name = windowTitle();
    QMenu* file = menuBar()->addMenu(tr("&File"));
    m_chooseAction = file->addAction(tr("&Choose Mail Folder…"), this, &MainWindow::showSelectionSheet);
    m_chooseAction->setShortcut(QKeySequence::Open);
    m_recentMenu = file->addMenu(tr("Open &Recent"));
    m_recentMenu->setObjectName(QStringLiteral("recentMenu"));
    file->addSeparator();
    QAction* quit = file->addAction(tr("&Quit %1").arg(name), this, &QWidget::close);
    quit->setShortcut(QKeySequence::Quit);
    quit->setMenuRole(QAction::QuitRole);

    QMenu* view = menuBar()->addMenu(tr("&View"));
    QAction* headers = view->addAction(tr("Show Mail Folders as &Headers"));
    headers->setObjectName(QStringLiteral("showHeaderRowsAction"));
    headers->setCheckable(true);
    headers->setToolTip(tr("Shows each mail folder as a heading with a button that closes it."));
    connect(headers, &QAction::toggled, this,
            [this](bool on) { m_content->FolderView().SetShowHeaderRows(on); });

    QMenu* help = menuBar()->addMenu(tr("&Help"));
    help->addAction(tr("&Getting Started"), this,
                    [this] { OpenGuide(QStringLiteral("getting-started.html")); });
    help->addAction(tr("Importing &EML Files"), this,
                    [this] { OpenGuide(QStringLiteral("eml.html")); });
    help->addAction(tr("Importing &mbox Files"), this,
                    [this] { OpenGuide(QStringLiteral("mbox.html")); });
    help->addAction(tr("Importing the &Outlook Archive"), this,
                    [this] { OpenGuide(QStringLiteral("archive.html")); });
    help->addSeparator();
    QAction* about = help->addAction(tr("&About %1").arg(name), this, [this, name] {
        QMessageBox::about(this, tr("About %1").arg(name),
                           tr("<b>%1</b> %2<p>Copies the mail of Apple Mail's data folder into "
                              "EML files, mbox files or an Outlook archive, folder by folder. "
                              "Your mail folder is only ever read.</p>")
                               .arg(name, QStringLiteral(KESTRIN_VERSION)));
    });
    about->setMenuRole(QAction::AboutRole);
    UpdateRecentMenu();
}

void MainWindow::finishWork()
{
    if (!isBusy())
        return;
    QEventLoop loop;
    bool idle = false;
    m_controller->RequestShutdown([&] {
        idle = true;
        loop.quit();
    });
    if (!idle)
        loop.exec();
}

void MainWindow::showSelectionSheet()
{
    if (isBusy())
        return;
    m_selectionSheet->open();
}

void MainWindow::loadFolder(const QString& path)
{
    if (isBusy())
        return;
    if (!QFileInfo(path).isDir()) {
        m_alerts.ShowAlert(MissingFolderAlert(ToUtf8(path)));
        return;
    }
    m_openDatabase->LocalFolderSelectionCompleted(ToUtf8(path));
}

void MainWindow::OpenGuide(const QString& fileName)
{
    m_workspace->OpenResourceDocument(ToUtf8(fileName));
}

void MainWindow::UpdateSelectionControls()
{
    FolderViewController& folders = m_content->FolderView();
    for (int category : kCategoryShown) {
        QCheckBox* box = m_categoryBoxes.at(category);
        const QSignalBlocker block(box);
        const bool has = folders.HasCategoryFolders(category);
        const int value = folders.CategoryValue(category);
        box->setCheckState(value == kCategoryAll     ? Qt::Checked
                           : value == kCategoryMixed ? Qt::PartiallyChecked
                                                     : Qt::Unchecked);
        box->setEnabled(has);
        // Tasks and notes are never shown in the tree: nor are their boxes.
        if (category == kCategoryTasks || category == kCategoryNotes)
            box->setVisible(has);
    }
    m_ignoreEmpty->setVisible(!m_content->HideIgnoreEmptyFolders());
    m_selectedTotals->setVisible(folders.HasOpenedStores());
    m_selectedTotals->setText(ToQString(folders.SelectedTotalsText()));
    // Enabled with any folder shown: pressing it with nothing ticked says why
    // nothing happens, which a greyed-out button would not.
    m_convert->setEnabled(folders.HasOpenedStores());
}

void MainWindow::UpdateFolderLabel()
{
    const auto store = m_content->SourceStore();
    m_folderLabel->setText(store ? tr("Mail folder: %1").arg(ToQString(store->GetLocation()))
                                 : tr("No mail folder loaded. Choose one, or drop it here."));
}

void MainWindow::UpdateRecentMenu()
{
    m_recentMenu->clear();
    const auto recent = m_preferences->GetList(PreferenceKey::kRecentMailFolders);
    for (const auto& folder : recent) {
        const QString path = ToQString(folder);
        QAction* action = m_recentMenu->addAction(QDir::toNativeSeparators(path));
        connect(action, &QAction::triggered, this, [this, path] { loadFolder(path); });
    }
    m_recentMenu->setEnabled(!recent.empty());
}

void MainWindow::OnLoadFinished(Status result)
{
    if (result == Status::Succeeded) {
        if (const auto store = m_content->SourceStore())
            RememberRecentMailFolder(*m_preferences, store->GetLocation());
        UpdateRecentMenu();
    }
    UpdateFolderLabel();
    UpdateSelectionControls();
    m_tree->setFocus();
    emit loadFinished(static_cast<int>(result));
}

void MainWindow::OnExportFinished(Status status)
{
    // The folder the user chose holds the "Converted Data" folder made in it.
    const auto record = m_controller->LastExport();
    if (record && !record->outputFolder.empty())
        m_preferences->Set(PreferenceKey::kLastSaveFolder,
                           ToUtf8(QFileInfo(ToQString(record->outputFolder)).absolutePath()));
    emit exportFinished(static_cast<int>(status));
}

void MainWindow::RunVerify()
{
    const auto record = m_controller->LastExport();
    if (!record || m_verify->IsRunning())
        return;
    m_resultSheet->ShowVerifyRunning();
    m_verify->Start(record, [this, record](const VerifyResult& result) {
        // A later export has its own sheet: an old answer does not belong there.
        if (m_controller->LastExport() != record)
            return;
        m_resultSheet->ShowVerifyResult(result, ToQString(record->outputFolder));
        emit verifyFinished(result.ok);
    });
}

void MainWindow::ShowTreeContextMenu(const QPoint& position)
{
    const QModelIndex index = m_tree->indexAt(position);
    const auto node = m_model->NodeAt(index);
    if (!index.isValid() || !node || !node->NodeData())
        return;
    FolderViewController& folders = m_content->FolderView();
    QMenu menu(this);
    if (!folders.IsHeaderRow(node)) {
        const bool selected = node->NodeData()->isSelected;
        menu.addAction(selected ? tr("Untick With Subfolders") : tr("Tick With Subfolders"), this,
                       [&folders, node, selected] { folders.ClickCheckBox(node, !selected, false); });
        QAction* alone = menu.addAction(
            selected ? tr("Untick This Folder Only") : tr("Tick This Folder Only"), this,
            [&folders, node, selected] { folders.ClickCheckBox(node, !selected, true); });
        alone->setObjectName(QStringLiteral("excludeSubfoldersAction"));
        alone->setEnabled(node->NumberOfChildren() > 0);
    }
    if (node->NodeData()->folderType == KestrinMIMEEngineCommon::kFolderKindRoot) {
        menu.addSeparator();
        menu.addAction(tr("Close Mail Folder"), this, [this, node] {
            m_content->FolderView().RemoveStoreFromFolderView(node->NodeData()->GetFolder()->GetStore());
            UpdateFolderLabel();
        });
    }
    menu.exec(m_tree->viewport()->mapToGlobal(position));
}

boost::optional<std::string> MainWindow::DroppedFolder(const QMimeData* mime) const
{
    if (!mime || !mime->hasUrls())
        return boost::none;
    std::vector<std::string> paths;
    for (const QUrl& url : mime->urls())
        paths.push_back(url.isLocalFile() ? ToUtf8(url.toLocalFile()) : std::string());
    return AcceptDroppedFolder(paths);
}

void MainWindow::AcceptDropOfFolder(QDragMoveEvent* event) const
{
    if (!isBusy() && DroppedFolder(event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event)
{
    AcceptDropOfFolder(event);
}

void MainWindow::dragMoveEvent(QDragMoveEvent* event)
{
    AcceptDropOfFolder(event);
}

void MainWindow::dropEvent(QDropEvent* event)
{
    const auto folder = isBusy() ? boost::none : DroppedFolder(event->mimeData());
    if (!folder) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    loadFolder(ToQString(*folder));
}

QWidget* MainWindow::focusRing() const
{
    return m_focusRing;
}

void MainWindow::keyPressEvent(QKeyEvent* event)
{
    // A main window has no default button of its own: Return and Enter that
    // no control took start the conversion, as a dialog's default would.
    // A focused button takes them itself.
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (!enter || (event->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) {
        QMainWindow::keyPressEvent(event);
        return;
    }
    auto* focusedButton = qobject_cast<QPushButton*>(focusWidget());
    if (focusedButton && focusedButton->isEnabled())
        focusedButton->animateClick();
    else if (m_convert->isEnabled())
        m_convert->animateClick();
    else
        QMainWindow::keyPressEvent(event);
}

void MainWindow::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (m_started || !m_startWorkflow)
        return;
    m_started = true;
    QTimer::singleShot(0, this, [this] {
        const auto last = m_preferences->Get(PreferenceKey::kLastMailFolder);
        if (last && QFileInfo(ToQString(*last)).isDir())
            loadFolder(ToQString(*last));
        else
            showSelectionSheet();
    });
}

void MainWindow::stopAndQuit()
{
    if (!isBusy()) {
        m_quitReady = true;
        close();
        return;
    }
    m_controller->RequestShutdown([this] {
        m_quitReady = true;
        close();
    });
}

void MainWindow::AskBeforeQuitting()
{
    for (auto* open : findChildren<QMessageBox*>(QStringLiteral("quitWhileBusy")))
        if (open->isVisible())
            return;
    auto* box = new QMessageBox(this);
    box->setObjectName(QStringLiteral("quitWhileBusy"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setIcon(QMessageBox::Question);
    box->setWindowTitle(windowTitle());
    box->setText(m_controller->IsExporting() ? tr("A conversion is running.")
                                             : tr("Your mail folder is being loaded."));
    box->setInformativeText(tr("Stop it and quit? What was converted so far stays, with its "
                               "report."));
    QPushButton* stop = box->addButton(tr("&Stop and Quit"), QMessageBox::AcceptRole);
    stop->setObjectName(QStringLiteral("stopAndQuit"));
    QPushButton* keep = box->addButton(tr("&Keep Working"), QMessageBox::RejectRole);
    keep->setObjectName(QStringLiteral("keepWorking"));
    box->setDefaultButton(keep);
    box->setWindowModality(Qt::WindowModal);
    // The workers end first; the window closes once both have.
    connect(stop, &QPushButton::clicked, this, &MainWindow::stopAndQuit);
    box->open();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (!m_quitReady && isBusy()) {
        event->ignore();
        AskBeforeQuitting();
        return;
    }
    m_preferences->Set(PreferenceKey::kWindowGeometry, saveGeometry().toBase64().toStdString());
    event->accept();
}

}  // namespace KestrinGui
