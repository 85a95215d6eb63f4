// The window's side of the application's seams: the dispatcher over Qt's
// event loop, message boxes, folder choosers, the desktop services, the
// settings store, and where the guides live.
#pragma once

#include <QObject>
#include <QPointer>
#include <QSettings>
#include <QString>
#include <QWidget>

#include "app/Preferences.h"
#include "app/Seams.h"
#include "export/ExportCodes.h"

namespace KestrinGui {

// Runs work on the thread of this object (the main thread), queued.
class QtDispatcher : public QObject, public KestrinApp::IMainThreadDispatcher {
    Q_OBJECT
public:
    using QObject::QObject;
    void Post(std::function<void()> work) override;
};

// Message boxes that do not block: a sheet is window-modal on the main
// window, an application-modal alert blocks every window. Both are opened
// and return at once, so no nested event loop runs inside the logic.
class QtAlerts : public KestrinApp::IAlertPresenter {
public:
    explicit QtAlerts(QWidget* window) : m_window(window) {}
    void ShowAlert(const KestrinApp::AlertText& alert) override;

private:
    QPointer<QWidget> m_window;
};

// Qt's own folder dialogs (not the platform's), so that they look the same
// everywhere and tests can drive them. Object names: "sourceChooser",
// "saveChooser".
class QtChoosers : public KestrinApp::IChoosers {
public:
    explicit QtChoosers(QWidget* window) : m_window(window) {}
    boost::optional<std::string> ChooseSourceFolder(const std::string& message) override;
    boost::optional<std::string> ChooseSaveFolder(const std::string& message,
                                                  const std::string& confirmButton,
                                                  const std::string& startFolder) override;

private:
    QPointer<QWidget> m_window;
};

// Opens files and folders with the desktop's applications.
class QtWorkspace : public KestrinApp::IWorkspace {
public:
    void OpenFile(const std::string& path) override;
    void RevealPath(const std::string& path) override;
    void OpenResourceDocument(const std::string& name) override;
};

// The preferences in QSettings (organisation "Kestrin", application
// "kestrin-gui").
class QtPreferences : public KestrinApp::IPreferences {
public:
    QtPreferences();
    boost::optional<std::string> Get(const std::string& key) const override;
    void Set(const std::string& key, const std::string& value) override;
    std::vector<std::string> GetList(const std::string& key) const override;
    void SetList(const std::string& key, const std::vector<std::string>& values) override;

private:
    mutable QSettings m_settings;
};

// The guide file for a document name the logic asks for ("Outlook Import
// Guide.pdf" is the archive guide) or for a guide file name ("eml.html").
QString GuideFileName(const QString& documentName);
// The full path of a guide: installed beside the program, else in the
// source tree; empty when neither exists.
QString GuidePath(const QString& fileName);
// The guide for the target of an export.
QString GuideForTarget(KestrinMIMEEngineCommon::ExportTarget target);

QString ToQString(const std::string& text);
QString ToQString(const std::wstring& text);
std::string ToUtf8(const QString& text);

}  // namespace KestrinGui
