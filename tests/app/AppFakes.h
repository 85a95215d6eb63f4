// Recording stand-ins for the front end seams, and folders and stores whose
// kinds and counts a test chooses, for the application logic's tests.
#pragma once

#include <string>
#include <vector>

#include <boost/make_shared.hpp>
#include <boost/optional/optional_io.hpp>
#include <boost/thread/mutex.hpp>

#include "app/Seams.h"
#include "app/Source.h"
#include "app/Views.h"
#include "export/FakeEngine.h"

namespace kestrin_app_fakes {

using namespace kestrin_fakes;

// A folder whose kind and count the test sets.
class CountedFolder : public FakeFolder {
public:
    using FakeFolder::FakeFolder;
    void Set(int kind, int64_t count)
    {
        SetFolderKind(kind);
        SetAssetCount(count);
    }
};

// An opened store of a chosen kind, with a root the test fills.
class KindStore : public FakeStore {
public:
    KindStore(const std::string& location, const std::wstring& name, StoreKind kind)
        : FakeStore(location, name)
    {
        m_storeKind = kind;
    }
    Status openResult = Status::Succeeded;  // what Open answers after building the root
    int closeCalls = 0;
    Status Open(const boost::shared_ptr<IProgressPresenter>& presenter,
             const boost::shared_ptr<ICancelable>& cancelable,
             const boost::shared_ptr<ILogger>& logger, bool createLocation) override
    {
        // The real stores give up when asked to while they read the tree.
        if (cancelable && cancelable->IsCanceled())
            return Status::Canceled;
        const Status result = FakeStore::Open(presenter, cancelable, logger, createLocation);
        return result == Status::Succeeded ? openResult : result;
    }
    Status Close() override
    {
        ++closeCalls;
        return FakeStore::Close();
    }
};

inline boost::shared_ptr<KindStore> MakeKindStore(const std::string& location, StoreKind kind,
                                                  const std::wstring& name = L"Apple Mail Database")
{
    auto store = boost::make_shared<KindStore>(location, name, kind);
    store->Open({}, {}, {}, false);
    return store;
}

// Adds a folder of the given kind and count below parent (the root when empty).
inline boost::shared_ptr<CountedFolder> AddCounted(const boost::shared_ptr<FakeStore>& store,
                                                   const std::wstring& name, int kind,
                                                   int64_t count,
                                                   boost::shared_ptr<FakeFolder> parent = {})
{
    if (!parent)
        parent = store->Root();
    auto folder = boost::make_shared<CountedFolder>(name, store, parent);
    folder->Set(kind, count);
    parent->AddChild(folder);
    return folder;
}

// Folders with and without mail, to be skipped or kept as empty folders:
//   A Parent (0)            Child (4) below
//   B Uncounted (-1)        Empty (0) below
//   C Counted later (-1)    Full (1) below
inline void AddFoldersEmptyAndNot(const boost::shared_ptr<FakeStore>& store)
{
    auto parent = AddCounted(store, L"A Parent", kFolderKindMail, 0);
    AddCounted(store, L"Child", kFolderKindMail, 4, parent);
    auto uncounted = AddCounted(store, L"B Uncounted", kFolderKindMail, -1);
    AddCounted(store, L"Empty", kFolderKindMail, 0, uncounted);
    auto later = AddCounted(store, L"C Counted later", kFolderKindMail, -1);
    AddCounted(store, L"Full", kFolderKindMail, 1, later);
}

class RecordingAlerts : public KestrinApp::IAlertPresenter {
public:
    std::vector<KestrinApp::AlertText> alerts;
    void ShowAlert(const KestrinApp::AlertText& alert) override { alerts.push_back(alert); }
};

class FixedChoosers : public KestrinApp::IChoosers {
public:
    boost::optional<std::string> source;
    boost::optional<std::string> save;
    std::vector<std::string> saveStartFolders;
    std::vector<std::string> messages;
    boost::optional<std::string> ChooseSourceFolder(const std::string& message) override
    {
        messages.push_back(message);
        return source;
    }
    boost::optional<std::string> ChooseSaveFolder(const std::string& message,
                                                  const std::string& confirmButton,
                                                  const std::string& startFolder) override
    {
        messages.push_back(message + " / " + confirmButton);
        saveStartFolders.push_back(startFolder);
        return save;
    }
};

class RecordingWorkspace : public KestrinApp::IWorkspace {
public:
    std::vector<std::string> calls;
    void OpenFile(const std::string& path) override { calls.push_back("open " + path); }
    void RevealPath(const std::string& path) override { calls.push_back("reveal " + path); }
    void OpenResourceDocument(const std::string& name) override
    {
        calls.push_back("document " + name);
    }
};

class RecordingReportView : public KestrinApp::IReportView {
public:
    std::vector<KestrinApp::ReportData> reports;
    void ShowReport(const KestrinApp::ReportData& report) override { reports.push_back(report); }
};

// Events in the order they came, from whatever threads made them.
class EventLog {
public:
    std::vector<std::wstring> Events()
    {
        boost::mutex::scoped_lock lock(m_mutex);
        return m_events;
    }
    // Called with every event, on the thread that caused it.
    std::function<void(const std::wstring&)> onEvent;

protected:
    void Note(const std::wstring& event)
    {
        {
            boost::mutex::scoped_lock lock(m_mutex);
            m_events.push_back(event);
        }
        if (onEvent)
            onEvent(event);
    }

private:
    boost::mutex m_mutex;
    std::vector<std::wstring> m_events;
};

// Records every call of a conversion.
template <class Observer>
class RecordingExportEvents : public Observer, public EventLog {
public:
    void SourceShown(const std::wstring& text) override { Note(L"path " + text); }
    void ItemShown(const std::wstring& text) override { Note(L"message " + text); }
    void ProgressChanged(const KestrinApp::ExportProgress& progress) override
    {
        Note(L"folder " + progress.folderLabel);
        Note(L"folders " + progress.foldersLabel);
        Note(L"items " + progress.itemsLabel);
    }
};

// The progress sheet: its appearance and every post (posts come from the worker).
class RecordingProgressSheet : public RecordingExportEvents<KestrinApp::IExportProgressSheet> {
public:
    void BeginProgress() override { Note(L"begin"); }
    void EndProgress() override { Note(L"end"); }
};

class RecordingLoadingSheet : public KestrinApp::ILoadingSheet, public EventLog {
public:
    void BeginProgress() override { Note(L"begin"); }
    void EndProgress() override { Note(L"end"); }
    void LoadMessage(const std::wstring& text) override { Note(L"message " + text); }
    void LoadPath(const std::wstring& text) override { Note(L"path " + text); }
};

// A tree for the folder view as a load makes it.
inline std::shared_ptr<const KestrinApp::SourceFolder> Tree(const boost::shared_ptr<FakeStore>& store)
{
    return KestrinApp::DescribeFolders(store->GetRootFolder());
}

}  // namespace kestrin_app_fakes
