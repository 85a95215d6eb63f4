#include "gui/QtFrontEnd.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

#include "app/Preferences.h"
#include "gui/ScreenFit.h"

namespace KestrinGui {

QString ToQString(const std::string& text)
{
    return QString::fromStdString(text);
}

QString ToQString(const std::wstring& text)
{
    return QString::fromStdWString(text);
}

std::string ToUtf8(const QString& text)
{
    return text.toStdString();
}

void QtDispatcher::Post(std::function<void()> work)
{
    QMetaObject::invokeMethod(this, std::move(work), Qt::QueuedConnection);
}

void QtAlerts::ShowAlert(const KestrinApp::AlertText& alert)
{
    auto* box = new QMessageBox(m_window);
    box->setObjectName(QStringLiteral("alert"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setIcon(QMessageBox::Warning);
    box->setWindowTitle(QCoreApplication::applicationName());
    box->setText(ToQString(alert.message));
    box->setInformativeText(ToQString(alert.informative));
    box->addButton(alert.button.empty() ? QMessageBox::tr("Ok") : ToQString(alert.button),
                   QMessageBox::AcceptRole);
    box->setWindowModality(alert.applicationModal || !m_window ? Qt::ApplicationModal
                                                               : Qt::WindowModal);
    box->open();
}

namespace {

// A folder dialog that also takes the name of a folder not made yet, typed
// into an existing folder: it makes that one folder when confirmed, and
// nothing else. Qt's own dialog greys its button for such a name.
class NewFolderDialog : public QFileDialog {
public:
    NewFolderDialog(QWidget* parent, const QString& message, const QString& start)
        : QFileDialog(parent, message, start)
    {
    }

    void AllowNewFolder() { m_allowNew = true; }

    void accept() override
    {
        const QString folder = NewFolderTyped();
        if (!folder.isEmpty()) {
            if (!QDir().mkdir(folder)) {
                QMessageBox::warning(this, windowTitle(),
                                     tr("The folder “%1” could not be made here. Choose another "
                                        "name or folder.")
                                         .arg(QFileInfo(folder).fileName()));
                return;
            }
            // The new folder is the answer, whatever the list has selected.
            selectFile(folder);
        }
        QFileDialog::accept();
    }

protected:
    void showEvent(QShowEvent* event) override
    {
        QFileDialog::showEvent(event);
        // The buttons exist once the dialog is shown.
        auto* box = findChild<QDialogButtonBox*>();
        if (!m_allowNew || m_accept || !box)
            return;
        m_accept = box->button(QDialogButtonBox::Open);
        if (!m_accept)
            m_accept = box->button(QDialogButtonBox::Save);
        if (m_accept)
            m_accept->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        // The dialog greys its button after every change of the typed name.
        if (watched == m_accept && event->type() == QEvent::EnabledChange &&
            !m_accept->isEnabled() && !NewFolderTyped().isEmpty())
            m_accept->setEnabled(true);
        return QFileDialog::eventFilter(watched, event);
    }

private:
    // The typed folder when it does not exist yet but the folder it goes
    // into does; empty otherwise.
    QString NewFolderTyped() const
    {
        if (!m_allowNew)
            return {};
        const auto* edit = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        const QString typed = edit ? edit->text().trimmed() : QString();
        if (typed.isEmpty() || typed == QLatin1String(".") || typed == QLatin1String(".."))
            return {};
        const QFileInfo target(QDir(directory()).absoluteFilePath(typed));
        if (target.exists() || target.isSymLink())
            return {};
        const QFileInfo parent(target.absolutePath());
        if (!parent.isDir() || target.fileName().isEmpty())
            return {};
        return QDir::cleanPath(target.absoluteFilePath());
    }

    bool m_allowNew = false;
    QPointer<QPushButton> m_accept;
};

boost::optional<std::string> RunFolderDialog(QWidget* parent, const QString& objectName,
                                             const QString& message, const QString& start,
                                             const QString& confirm, bool showHidden,
                                             bool allowNewFolder = false)
{
    NewFolderDialog dialog(parent, message, start);
    dialog.setObjectName(objectName);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    if (showHidden)
        dialog.setFilter(dialog.filter() | QDir::Hidden);
    if (!confirm.isEmpty())
        dialog.setLabelText(QFileDialog::Accept, confirm);
    if (allowNewFolder)
        dialog.AllowNewFolder();
    dialog.setWindowModality(Qt::WindowModal);
    ScreenFitter fitter;
    fitter.Watch(&dialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return boost::none;
    return ToUtf8(QDir::cleanPath(dialog.selectedFiles().first()));
}

}  // namespace

boost::optional<std::string> QtChoosers::ChooseSourceFolder(const std::string& message)
{
    // The label the load texts name.
    return RunFolderDialog(m_window, QStringLiteral("sourceChooser"), ToQString(message),
                           QDir::homePath(), QStringLiteral("Choose"), true);
}

boost::optional<std::string> QtChoosers::ChooseSaveFolder(const std::string& message,
                                                          const std::string& confirmButton,
                                                          const std::string& startFolder)
{
    return RunFolderDialog(m_window, QStringLiteral("saveChooser"), ToQString(message),
                           ToQString(KestrinApp::SaveChooserStartFolder(startFolder)),
                           ToQString(confirmButton), false, true);
}

void QtWorkspace::OpenFile(const std::string& path)
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(ToQString(path)));
}

void QtWorkspace::RevealPath(const std::string& path)
{
    // Desktops have no common "select this item" request: show the folder
    // itself, or the one that holds a file.
    const QFileInfo info(ToQString(path));
    const QString folder = info.isDir() ? info.absoluteFilePath() : info.absolutePath();
    QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

void QtWorkspace::OpenResourceDocument(const std::string& name)
{
    const QString path = GuidePath(GuideFileName(ToQString(name)));
    if (!path.isEmpty())
        QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

QString GuideFileName(const QString& documentName)
{
    if (documentName == QLatin1String("Outlook Import Guide.pdf"))
        return QStringLiteral("archive.html");
    if (documentName == QLatin1String("Thunderbird Import Guide EML.pdf"))
        return QStringLiteral("eml.html");
    if (documentName.endsWith(QLatin1String(".pdf")))
        return QStringLiteral("getting-started.html");
    return documentName;
}

QString GuidePath(const QString& fileName)
{
    const QString installed = QCoreApplication::applicationDirPath() +
                              QStringLiteral("/../share/kestrin/guides/") + fileName;
    if (QFileInfo::exists(installed))
        return QDir::cleanPath(installed);
    const QString source = QStringLiteral(KESTRIN_GUIDES_SOURCE_DIR "/") + fileName;
    if (QFileInfo::exists(source))
        return source;
    return {};
}

QString GuideForTarget(KestrinMIMEEngineCommon::ExportTarget target)
{
    switch (target) {
    case KestrinMIMEEngineCommon::ExportTarget::Archive:
        return QStringLiteral("archive.html");
    case KestrinMIMEEngineCommon::ExportTarget::Mbox:
        return QStringLiteral("mbox.html");
    case KestrinMIMEEngineCommon::ExportTarget::Maildir:
        return QStringLiteral("maildir.html");
    case KestrinMIMEEngineCommon::ExportTarget::Eml:
        break;
    }
    return QStringLiteral("eml.html");
}

QtPreferences::QtPreferences() : m_settings(QStringLiteral("Kestrin"), QStringLiteral("kestrin-gui"))
{
}

boost::optional<std::string> QtPreferences::Get(const std::string& key) const
{
    const QVariant value = m_settings.value(ToQString(key));
    if (!value.isValid())
        return boost::none;
    return ToUtf8(value.toString());
}

void QtPreferences::Set(const std::string& key, const std::string& value)
{
    m_settings.setValue(ToQString(key), ToQString(value));
}

std::vector<std::string> QtPreferences::GetList(const std::string& key) const
{
    std::vector<std::string> list;
    for (const QString& item : m_settings.value(ToQString(key)).toStringList())
        list.push_back(ToUtf8(item));
    return list;
}

void QtPreferences::SetList(const std::string& key, const std::vector<std::string>& values)
{
    QStringList list;
    for (const auto& value : values)
        list << ToQString(value);
    m_settings.setValue(ToQString(key), list);
}

}  // namespace KestrinGui
