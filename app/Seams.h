// What the window's logic needs of a front end. The window and the tests
// implement these; nothing here knows a toolkit. (The command line implements
// none of them: it opens and converts by calling the API itself.)
//
// Threads: the main thread owns the window and every object of app/ except
// the export and loading workers. Alerts, choosers and the workspace are
// called on the main thread only. The dispatcher is the one way a worker
// reaches the main thread.
#pragma once

#include <functional>
#include <string>
#include <utility>

#include <boost/optional.hpp>

namespace KestrinApp {

// Runs work on the thread that owns the user interface, later and in the
// order it was posted. Post returns at once and may be called from any
// thread. Nothing in app/ waits for the main thread, so the main thread may
// join a worker that has handed over its last work.
class IMainThreadDispatcher {
public:
    virtual ~IMainThreadDispatcher() = default;
    virtual void Post(std::function<void()> work) = 0;
};

// A message box with one button. A sheet belongs to the main window; an
// application-modal alert stands on its own.
struct AlertText {
    std::string message;
    std::string button;
    std::string informative;
    bool applicationModal = false;
};

class IAlertPresenter {
public:
    virtual ~IAlertPresenter() = default;
    virtual void ShowAlert(const AlertText& alert) = 0;
};

// Folder pickers. An empty answer means the user backed out.
class IChoosers {
public:
    virtual ~IChoosers() = default;
    // The folder to load: "Select the Mail Folder or Exported Mailbox root."
    virtual boost::optional<std::string> ChooseSourceFolder(const std::string& message) = 0;
    // The folder to save into; startFolder is the one remembered from the last
    // confirmed choice (the Desktop the first time).
    virtual boost::optional<std::string> ChooseSaveFolder(const std::string& message,
                                                          const std::string& confirmButton,
                                                          const std::string& startFolder) = 0;
};

// The system's file browser and default applications.
class IWorkspace {
public:
    virtual ~IWorkspace() = default;
    virtual void OpenFile(const std::string& path) = 0;
    virtual void RevealPath(const std::string& path) = 0;
    // A document shipped with the application, by its file name ("Outlook
    // Import Guide.pdf"); where the documents live is the front end's business.
    virtual void OpenResourceDocument(const std::string& name) = 0;
};

// For a window that runs without asking anyone (the screenshot run): the
// save folder is given beforehand, a source folder is never chosen.
class FixedSaveFolderChooser : public IChoosers {
public:
    explicit FixedSaveFolderChooser(std::string saveFolder) : m_saveFolder(std::move(saveFolder)) {}
    boost::optional<std::string> ChooseSourceFolder(const std::string&) override { return boost::none; }
    boost::optional<std::string> ChooseSaveFolder(const std::string&, const std::string&,
                                                  const std::string&) override
    {
        return m_saveFolder;
    }

private:
    std::string m_saveFolder;
};

// A front end without a file browser or documents to open.
class NoWorkspace : public IWorkspace {
public:
    void OpenFile(const std::string&) override {}
    void RevealPath(const std::string&) override {}
    void OpenResourceDocument(const std::string&) override {}
};

}  // namespace KestrinApp
