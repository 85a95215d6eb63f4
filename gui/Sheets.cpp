#include "gui/Sheets.h"

#include "gui/ScreenFit.h"

#include <algorithm>
#include <limits>

#include <QApplication>
#include <QDir>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "gui/QtFrontEnd.h"

namespace KestrinGui {

namespace {

QLabel* ElidingLabel(QWidget* parent, const QString& name)
{
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(false);
    label->setMinimumWidth(420);
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    return label;
}

QString Clock(qint64 seconds)
{
    const qint64 h = seconds / 3600, m = (seconds / 60) % 60, s = seconds % 60;
    return h > 0 ? QStringLiteral("%1:%2:%3").arg(h).arg(m, 2, 10, QLatin1Char('0')).arg(s, 2, 10, QLatin1Char('0'))
                 : QStringLiteral("%1:%2").arg(m).arg(s, 2, 10, QLatin1Char('0'));
}

}  // namespace

SelectionSheet::SelectionSheet(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("selectionSheet"));
    setWindowTitle(tr("Choose Your Mail"));
    setWindowModality(Qt::WindowModal);
    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(tr("Where is the mail you want to convert?"), this);
    intro->setWordWrap(true);
    layout->addWidget(intro);

    m_default = new QPushButton(tr("Load &My Mail Folder"), this);
    m_default->setObjectName(QStringLiteral("loadDefaultButton"));
    m_default->setToolTip(tr("Loads the Library/Mail folder in your home folder."));
    m_browse = new QPushButton(tr("&Browse for Library/Mail…"), this);
    m_browse->setObjectName(QStringLiteral("browseButton"));
    m_browse->setToolTip(tr("Choose the Library/Mail folder of a home folder, for example on a "
                            "backup disk."));
    m_open = new QPushButton(tr("&Open Any Folder or Exported Mailbox…"), this);
    m_open->setObjectName(QStringLiteral("openButton"));
    m_open->setToolTip(tr("Choose a mail folder or the folder of mailboxes exported from "
                          "Apple Mail."));
    for (QPushButton* button : {m_default, m_browse, m_open}) {
        button->setAutoDefault(false);
        layout->addWidget(button);
    }
    m_default->setDefault(true);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    // The sheet goes away first; then the step runs (it may open a chooser).
    connect(m_default, &QPushButton::clicked, this, [this] {
        hide();
        emit loadDefaultClicked();
    });
    connect(m_browse, &QPushButton::clicked, this, [this] {
        hide();
        emit browseClicked();
    });
    connect(m_open, &QPushButton::clicked, this, [this] {
        hide();
        emit openClicked();
    });
}

LoadingSheet::LoadingSheet(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("loadingSheet"));
    setWindowTitle(tr("Loading"));
    setWindowModality(Qt::WindowModal);
    auto* layout = new QVBoxLayout(this);
    m_message = ElidingLabel(this, QStringLiteral("loadingMessage"));
    m_message->setText(tr("Reading your mail folder…"));
    m_path = ElidingLabel(this, QStringLiteral("loadingPath"));
    m_path->setForegroundRole(QPalette::PlaceholderText);
    auto* bar = new QProgressBar(this);
    bar->setRange(0, 0);
    bar->setAccessibleName(tr("Loading"));
    m_cancel = new QPushButton(tr("Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("loadingCancel"));
    layout->addWidget(m_message);
    layout->addWidget(m_path);
    layout->addWidget(bar);
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(m_cancel);
    layout->addLayout(row);
    connect(m_cancel, &QPushButton::clicked, this, &LoadingSheet::reject);
}

void LoadingSheet::BeginProgress()
{
    m_throttle.Reset();
    m_cancel->setEnabled(true);
    m_message->setText(tr("Reading your mail folder…"));
    m_path->clear();
    open();
}

void LoadingSheet::EndProgress()
{
    m_throttle.Flush();
    hide();
}

void LoadingSheet::reject()
{
    // Escape and Cancel ask the load to stop; the sheet goes when it has.
    m_cancel->setEnabled(false);
    m_message->setText(tr("Stopping…"));
    emit cancelClicked();
}

void LoadingSheet::LoadMessage(const std::wstring& text)
{
    m_throttle.LoadMessage(text);
}

void LoadingSheet::LoadPath(const std::wstring& text)
{
    m_throttle.LoadPath(text);
}

void LoadingSheet::Show(const KestrinApp::LoadShown& shown)
{
    // Once Cancel was pressed the sheet says it is stopping.
    if (shown.message && m_cancel->isEnabled())
        m_message->setText(ToQString(*shown.message));
    if (shown.path)
        m_path->setText(ToQString(*shown.path));
}

QString LoadingSheet::messageText() const
{
    return m_message->text();
}

ProgressSheet::ProgressSheet(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("progressSheet"));
    setWindowTitle(tr("Converting"));
    setWindowModality(Qt::WindowModal);
    auto* layout = new QVBoxLayout(this);
    m_message = ElidingLabel(this, QStringLiteral("progressMessage"));
    m_path = ElidingLabel(this, QStringLiteral("progressPath"));
    m_path->setForegroundRole(QPalette::PlaceholderText);
    m_folderLabel = ElidingLabel(this, QStringLiteral("currentProgressLabel"));
    m_folderBar = new QProgressBar(this);
    m_folderBar->setObjectName(QStringLiteral("currentProgressBar"));
    m_folderBar->setAccessibleName(tr("Current folder"));
    m_foldersLabel = ElidingLabel(this, QStringLiteral("overallFoldersLabel"));
    m_itemsLabel = ElidingLabel(this, QStringLiteral("overallItemsLabel"));
    m_overallBar = new QProgressBar(this);
    m_overallBar->setObjectName(QStringLiteral("overallProgressBar"));
    m_overallBar->setAccessibleName(tr("All folders"));
    for (QProgressBar* bar : {m_folderBar, m_overallBar})
        bar->setRange(0, 1000);
    m_time = ElidingLabel(this, QStringLiteral("timeLabel"));
    m_cancel = new QPushButton(tr("Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("progressCancel"));

    layout->addWidget(m_message);
    layout->addWidget(m_path);
    layout->addSpacing(6);
    layout->addWidget(m_folderLabel);
    layout->addWidget(m_folderBar);
    layout->addSpacing(6);
    // Both labels share the line; the items count keeps to the right.
    auto* overall = new QHBoxLayout;
    overall->addWidget(m_foldersLabel, 1);
    overall->addWidget(m_itemsLabel, 1);
    m_itemsLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_foldersLabel->setMinimumWidth(200);
    m_itemsLabel->setMinimumWidth(200);
    layout->addLayout(overall);
    layout->addWidget(m_overallBar);
    auto* row = new QHBoxLayout;
    row->addWidget(m_time, 1);
    row->addWidget(m_cancel);
    layout->addLayout(row);
    connect(m_cancel, &QPushButton::clicked, this, &ProgressSheet::reject);

    m_clock.setInterval(1000);
    connect(&m_clock, &QTimer::timeout, this, &ProgressSheet::UpdateTime);
}

void ProgressSheet::BeginProgress()
{
    for (QLabel* label : {m_message, m_path, m_folderLabel, m_foldersLabel, m_itemsLabel})
        label->clear();
    m_folderBar->setValue(0);
    m_overallBar->setValue(0);
    m_fraction = 0;
    m_throttle.Reset();
    m_cancel->setEnabled(true);
    m_cancel->setText(tr("Cancel"));
    m_elapsed.start();
    UpdateTime();
    m_clock.start();
    open();
}

void ProgressSheet::EndProgress()
{
    // The worker has ended: its last values are shown even if they came
    // sooner than the interval allows.
    m_throttle.Flush();
    m_clock.stop();
    hide();
}

void ProgressSheet::reject()
{
    m_cancel->setEnabled(false);
    m_cancel->setText(tr("Stopping…"));
    emit cancelClicked();
}

void ProgressSheet::SourceShown(const std::wstring& location)
{
    m_throttle.SourceShown(location);
}

void ProgressSheet::ItemShown(const std::wstring& description)
{
    m_throttle.ItemShown(description);
}

void ProgressSheet::ProgressChanged(const KestrinApp::ExportProgress& progress)
{
    m_throttle.ProgressChanged(progress);
}

void ProgressSheet::Show(const KestrinApp::ExportShown& shown)
{
    if (shown.source)
        m_path->setText(ToQString(*shown.source));
    if (shown.item)
        m_message->setText(ToQString(*shown.item));
    if (!shown.progress)
        return;
    const KestrinApp::ExportProgress& progress = *shown.progress;
    m_folderLabel->setText(ToQString(progress.folderLabel));
    m_folderBar->setValue(static_cast<int>(KestrinApp::ProgressFraction(progress.folderPercent) * 1000));
    m_foldersLabel->setText(ToQString(progress.foldersLabel));
    m_itemsLabel->setText(ToQString(progress.itemsLabel));
    m_fraction = KestrinApp::ProgressFraction(progress.overallPercent);
    m_overallBar->setValue(static_cast<int>(m_fraction * 1000));
}

void ProgressSheet::UpdateTime()
{
    const qint64 seconds = m_elapsed.isValid() ? m_elapsed.elapsed() / 1000 : 0;
    QString text = tr("Elapsed %1").arg(Clock(seconds));
    // An estimate from the first few percent would only mislead.
    if (m_fraction >= 0.02 && m_fraction < 1 && seconds >= 2) {
        const qint64 left = static_cast<qint64>(seconds * (1 - m_fraction) / m_fraction + 0.5);
        text += QStringLiteral("  ·  ") + tr("about %1 left").arg(Clock(left));
    }
    m_time->setText(text);
}

QString ProgressSheet::timeText() const
{
    return m_time->text();
}

ResultSheet::ResultSheet(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("resultSheet"));
    setWindowTitle(tr("Conversion Result"));
    setWindowModality(Qt::WindowModal);
    auto* layout = new QVBoxLayout(this);

    auto* head = new QHBoxLayout;
    m_icon = new QLabel(this);
    m_title = new QLabel(this);
    m_title->setObjectName(QStringLiteral("reportTitle"));
    QFont titleFont = m_title->font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.25);
    m_title->setFont(titleFont);
    head->addWidget(m_icon);
    head->addWidget(m_title, 1);
    layout->addLayout(head);

    m_headline = new QLabel(this);
    m_headline->setObjectName(QStringLiteral("headline"));
    m_notices = new QLabel(this);
    m_notices->setObjectName(QStringLiteral("notices"));
    for (QLabel* line : {m_headline, m_notices}) {
        line->setTextFormat(Qt::PlainText);
        line->setWordWrap(true);
        line->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        layout->addWidget(line);
    }
    m_notices->hide();

    // Header-only messages were converted, so "not converted" alone would be untrue.
    m_issuesCaption = new QLabel(tr("Messages not converted in full, by folder:"), this);
    m_issues = new QTreeWidget(this);
    m_issues->setObjectName(QStringLiteral("folderIssues"));
    m_issues->setHeaderLabels({tr("Folder or message"), tr("What happened")});
    m_issues->setAccessibleName(tr("Messages not converted in full"));
    m_issues->header()->setStretchLastSection(false);
    m_issues->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_issues->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    m_issuesCaption->setBuddy(m_issues);
    layout->addWidget(m_issuesCaption);
    layout->addWidget(m_issues, 1);
    m_issuesCaption->hide();
    m_issues->hide();

    m_statesCaption = new QLabel(tr("Read and flagged, by folder:"), this);
    m_states = new QTreeWidget(this);
    m_states->setObjectName(QStringLiteral("folderStates"));
    m_states->setRootIsDecorated(false);
    m_states->setHeaderLabels({tr("Folder"), tr("Converted"), tr("Unread"), tr("Flagged"), tr("Unread in Apple Mail")});
    m_states->setAccessibleName(tr("Read and flagged messages by folder"));
    m_states->header()->setStretchLastSection(false);
    m_states->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    for (int column = 1; column < 5; ++column)
        m_states->header()->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    m_statesCaption->setBuddy(m_states);
    layout->addWidget(m_statesCaption);
    layout->addWidget(m_states, 1);
    m_statesCaption->hide();
    m_states->hide();

    m_verifyStatus = new QLabel(this);
    m_verifyStatus->setObjectName(QStringLiteral("verifyStatus"));
    m_verifyStatus->setWordWrap(true);
    m_verifyList = new QTreeWidget(this);
    m_verifyList->setObjectName(QStringLiteral("verifyResults"));
    m_verifyList->setRootIsDecorated(false);
    m_verifyList->setHeaderLabels({tr("Output folder"), tr("Processed"), tr("Found"), tr("Result")});
    m_verifyList->setAccessibleName(tr("Read-back check"));
    m_verifyList->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_verifyList->header()->setStretchLastSection(false);
    for (int column = 1; column < 4; ++column)
        m_verifyList->header()->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    // Long paths keep their end, where the folder's own name is.
    m_verifyList->setTextElideMode(Qt::ElideLeft);
    m_verifyStatus->setBuddy(m_verifyList);
    layout->addWidget(m_verifyStatus);
    layout->addWidget(m_verifyList, 1);
    m_verifyStatus->hide();
    m_verifyList->hide();

    // The brief report is for whoever wants every line: folded away until asked for.
    m_details = new QToolButton(this);
    m_details->setObjectName(QStringLiteral("detailsButton"));
    m_details->setText(tr("&Details"));
    m_details->setCheckable(true);
    m_details->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_details->setArrowType(Qt::RightArrow);
    m_details->setAutoRaise(true);
    layout->addWidget(m_details);

    m_report = new QPlainTextEdit(this);
    m_report->setObjectName(QStringLiteral("report"));
    m_report->setReadOnly(true);
    m_report->setAccessibleName(tr("Brief report"));
    // Read-only text takes no keys by default: the arrows and pages must scroll it.
    m_report->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_report->setFocusPolicy(Qt::StrongFocus);
    // The report lines up its columns and rules: keep them as written.
    m_report->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_report->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_report->setMinimumSize(320, 120);
    layout->addWidget(m_report, 2);
    m_report->hide();
    connect(m_details, &QToolButton::toggled, this, [this](bool open) {
        m_details->setArrowType(open ? Qt::DownArrow : Qt::RightArrow);
        m_report->setVisible(open);
        if (open) m_report->setFocus(Qt::OtherFocusReason);
        FitScreen();
    });

    m_footer1 = new QLabel(this);
    m_footer1->setObjectName(QStringLiteral("footer1"));
    m_footer2 = new QLabel(this);
    m_footer2->setObjectName(QStringLiteral("footer2"));
    for (QLabel* footer : {m_footer1, m_footer2}) {
        footer->setTextFormat(Qt::PlainText);
        footer->setWordWrap(true);
        footer->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        layout->addWidget(footer);
    }

    auto* buttons = new QHBoxLayout;
    m_openLog = new QPushButton(tr("Open &Log"), this);
    m_openLog->setObjectName(QStringLiteral("openLogButton"));
    m_showData = new QPushButton(tr("&Show Converted Data"), this);
    m_showData->setObjectName(QStringLiteral("showDataButton"));
    m_guide = new QPushButton(tr("Import &Guide"), this);
    m_guide->setObjectName(QStringLiteral("guideButton"));
    m_verify = new QPushButton(tr("&Verify"), this);
    m_verify->setObjectName(QStringLiteral("verifyButton"));
    m_verify->setToolTip(tr("Reads the converted data back and compares it with your mail."));
    m_verify->hide();
    auto* ok = new QPushButton(tr("OK"), this);
    ok->setObjectName(QStringLiteral("okButton"));
    ok->setDefault(true);
    for (QPushButton* button : {m_openLog, m_showData, m_guide, m_verify})
        buttons->addWidget(button);
    buttons->addStretch();
    buttons->addWidget(ok);
    layout->addLayout(buttons);

    connect(m_openLog, &QPushButton::clicked, this, &ResultSheet::openLogClicked);
    connect(m_showData, &QPushButton::clicked, this, &ResultSheet::showDataClicked);
    connect(m_guide, &QPushButton::clicked, this, [this] { emit guideClicked(m_guideFile); });
    connect(m_verify, &QPushButton::clicked, this, [this] {
        if (m_verifyHandler)
            m_verifyHandler();
    });
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

void ResultSheet::ShowReport(const KestrinApp::ReportData& report)
{
    QStyle::StandardPixmap icon = QStyle::SP_MessageBoxInformation;
    if (report.status == KestrinApp::Status::Canceled)
        icon = QStyle::SP_MessageBoxWarning;
    else if (report.status == KestrinApp::Status::Failed)
        icon = QStyle::SP_MessageBoxCritical;
    const int size = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    m_icon->setPixmap(style()->standardIcon(icon, nullptr, this).pixmap(size, size));
    m_title->setText(ToQString(report.title));
    m_headline->setText(ToQString(report.summary.headline));
    QStringList notices;
    for (const std::string& notice : report.summary.notices) notices << ToQString(notice);
    m_notices->setText(notices.join(QLatin1Char('\n')));
    m_notices->setVisible(!notices.isEmpty());
    // What the per-folder rows cannot show (a stop's cause, mailboxes not on
    // disk) leads the problems list.
    for (auto line = report.summary.problems.rbegin(); line != report.summary.problems.rend(); ++line) {
        auto* item = new QTreeWidgetItem(QStringList{ToQString(*line)});
        item->setToolTip(0, ToQString(*line));
        m_issues->insertTopLevelItem(0, item);
    }
    m_issues->setVisible(m_issues->topLevelItemCount() > 0);
    m_issuesCaption->setVisible(m_issues->topLevelItemCount() > 0);
    m_report->setPlainText(ToQString(report.report));
    m_details->setChecked(false);
    m_footer1->setText(ToQString(report.footer1));
    m_footer2->setText(ToQString(report.footer2));
    m_openLog->setEnabled(report.summary.logExists);
    m_showData->setEnabled(report.summary.outputExists);
    m_guide->setVisible(!m_guideFile.isEmpty());
    m_verify->setEnabled(true);
    m_verifyList->clear();
    m_verifyList->hide();
    m_verifyStatus->hide();
    open();
}

void ResultSheet::SetFolderIssues(const std::vector<FolderIssues>& issues)
{
    m_issues->clear();
    for (const auto& folder : issues) {
        auto* top = new QTreeWidgetItem(m_issues, {folder.folder});
        const std::pair<const QStringList*, QString> groups[] = {
            {&folder.failed, tr("failed")},
            {&folder.skipped, tr("skipped")},
            {&folder.notDownloaded, tr("not downloaded")},
            {&folder.notFullyDownloaded, tr("attachments not downloaded")},
            {&folder.damaged, tr("damaged: cut short")},
            {&folder.repaired, tr("repaired")},
        };
        for (const auto& group : groups)
            for (const QString& message : *group.first) {
                auto* item = new QTreeWidgetItem(top, {message, group.second});
                // A message is named by its headers on one line; the tip shows them one a line.
                item->setToolTip(0, message.split(QStringLiteral("; ")).join(QLatin1Char('\n')));
            }
        if (folder.unnamed > 0)
            new QTreeWidgetItem(top, {tr("%n more named in \"Detailed Conversion Report.txt\"", nullptr,
                                         int(std::min<qint64>(folder.unnamed, std::numeric_limits<int>::max())))});
        top->setExpanded(true);
    }
    const bool any = !issues.empty();
    m_issues->setVisible(any);
    m_issuesCaption->setVisible(any);
}

void ResultSheet::SetFolderStates(const std::vector<FolderStates>& states)
{
    m_states->clear();
    for (const FolderStates& folder : states) {
        auto* row = new QTreeWidgetItem(m_states, {folder.folder, QString::number(folder.converted),
                                                   QString::number(folder.unread), QString::number(folder.flagged),
                                                   folder.sourceUnread < 0 ? QString()
                                                                           : QString::number(folder.sourceUnread)});
        // Apple Mail counting otherwise is worth a look: the report says more.
        if (folder.sourceUnread >= 0 && folder.sourceUnread != folder.unread)
            row->setToolTip(4, tr("Apple Mail counts a different number of unread messages in this folder; "
                                  "see \"Detailed Conversion Report.txt\"."));
    }
    const bool any = !states.empty();
    m_states->setVisible(any);
    m_statesCaption->setVisible(any);
}

void ResultSheet::SetVerifyHandler(std::function<void()> handler)
{
    m_verifyHandler = std::move(handler);
    m_verify->setVisible(static_cast<bool>(m_verifyHandler));
}

void ResultSheet::ShowVerifyRunning()
{
    m_verify->setEnabled(false);
    m_verifyList->clear();
    m_verifyList->hide();
    m_verifyStatus->setText(tr("Reading the converted data back\u2026"));
    m_verifyStatus->show();
}

void ResultSheet::ShowVerifyResult(const KestrinApp::VerifyResult& result, const QString& outputFolder)
{
    const QDir base(outputFolder);
    m_verify->setEnabled(true);
    m_verifyList->clear();
    const QIcon agreeIcon = style()->standardIcon(QStyle::SP_DialogApplyButton, nullptr, this);
    const QIcon differIcon = style()->standardIcon(QStyle::SP_MessageBoxWarning, nullptr, this);
    for (const KestrinApp::VerifiedFolder& folder : result.folders) {
        const QString verdict = folder.Agrees()
                                    ? tr("Verified")
                                    : tr("DIFFERENCE: %1").arg(ToQString(folder.problem));
        // Below the output folder the sheet names already, the rest of the path says enough.
        const QString path = ToQString(folder.outputPath);
        const QString relative = outputFolder.isEmpty() ? path : base.relativeFilePath(path);
        const QString shown = relative.startsWith(QLatin1String("..")) ? path : relative;
        auto* line = new QTreeWidgetItem(
            m_verifyList, {shown, QString::number(folder.processed),
                           QString::number(folder.found), verdict});
        line->setIcon(3, folder.Agrees() ? agreeIcon : differIcon);
        line->setToolTip(0, path);
        line->setData(0, Qt::UserRole, path);
        line->setToolTip(3, verdict);
        for (int column = 1; column < 3; ++column)
            line->setTextAlignment(column, Qt::AlignRight | Qt::AlignVCenter);
        if (!folder.Agrees()) {
            QFont bold = line->font(3);
            bold.setBold(true);
            for (int column = 0; column < 4; ++column)
                line->setFont(column, bold);
        }
    }
    if (result.folders.empty())
        m_verifyStatus->setText(tr("No output folder was written, so there is nothing to read back."));
    else if (result.ok)
        m_verifyStatus->setText(tr("Every output folder holds the messages written to it."));
    else
        m_verifyStatus->setText(
            tr("The output does not hold every message written: see DIFFERENCE below."));
    m_verifyStatus->show();
    m_verifyList->setVisible(!result.folders.empty());
}

QString ResultSheet::verifyStatusText() const
{
    return m_verifyStatus->isHidden() ? QString() : m_verifyStatus->text();
}

QString ResultSheet::titleText() const
{
    return m_title->text();
}

QString ResultSheet::headlineText() const
{
    return m_headline->text();
}

QString ResultSheet::noticeText() const
{
    return m_notices->isHidden() ? QString() : m_notices->text();
}

void ResultSheet::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    FitScreen();
}

void ResultSheet::FitScreen()
{
    const QScreen* shown = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!shown) return;
    const QSize room = shown->availableGeometry().size();
    setMaximumSize(room);
    // The lists and the report scroll, so the sheet may be smaller than all they hold.
    setMinimumSize(layout()->minimumSize().boundedTo(room));
    resize(size().expandedTo(sizeHint()).boundedTo(room));
    // Within the screen, also where it opens: it may open off a corner.
    FitToScreen(this);
}

QString ResultSheet::reportText() const
{
    return m_report->toPlainText();
}

QString ResultSheet::footer1Text() const
{
    return m_footer1->text();
}

QString ResultSheet::footer2Text() const
{
    return m_footer2->text();
}

}  // namespace KestrinGui
