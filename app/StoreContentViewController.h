// The content of the main window: the loaded source store, its folder tree,
// the export options, and loading a folder behind the loading sheet.
//
// Threads: everything here runs on the main thread except LoadFolder, which
// runs on the one loading thread per load. That thread talks to the window
// through the dispatcher only: PostAndWait to show and hide the loading sheet,
// Post for the result. The loading sheet's posts come from the loading thread.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include <boost/shared_ptr.hpp>
#include <boost/thread/mutex.hpp>

#include "app/AppStateData.h"
#include "app/FolderViewController.h"
#include "app/Seams.h"
#include "app/Views.h"
#include "assets/IAssetStore.h"

namespace KestrinApp {

using KestrinMIMEEngineCommon::ICancelable;

// Creates the unopened store that can read a folder; empty when none can.
using StoreFactory = std::function<boost::shared_ptr<IAssetStore>(
    const std::string& path, const boost::shared_ptr<ICancelable>& cancelable)>;

// The Apple Mail reader's choice of store, named "Apple Mail Database".
StoreFactory MakeAppleMailStoreFactory();

constexpr const char* kStoreDisplayName = "Apple Mail Database";

// Load results: 0 loaded, 1 cancelled by the user, 2 failed.
enum : int { kLoadSucceeded = 0, kLoadCanceled = 1, kLoadFailed = 2 };

// Why a folder could not be loaded, in the user's terms, as far as the file
// system tells: "The folder ... does not exist.", "Permission denied: ...",
// "... is not a database" for an Envelope Index that is no SQLite file.
// Empty when nothing is found wrong.
std::string DescribeLoadFailure(const std::string& path);
// What the load-error alert advises after the reason (the privacy settings
// on macOS).
std::string LoadErrorAdvice();

class StoreContentViewController : public IStoreViewDelegate {
public:
    StoreContentViewController(AppStateData& state, IMainThreadDispatcher& dispatcher,
                               IAlertPresenter& alerts, ILoadingSheet& loadingSheet,
                               StoreFactory storeFactory);
    // A running load must have finished (see IsLoading) before destruction.
    ~StoreContentViewController() override;

    FolderViewController& FolderView() { return m_folderView; }

    // Options.
    bool mergeContacts = true;
    bool mergeCalendar = true;
    bool IgnoreEmptyFolders() const { return m_ignoreEmptyFolders; }
    // Passed on to the folder tree at once.
    void SetIgnoreEmptyFolders(bool ignore);
    // True when the loaded store is an exported-mailbox (mbox) store.
    bool HideIgnoreEmptyFolders() const { return m_hideIgnoreEmptyFolders.load(); }
    bool FolderLoading() const { return m_folderLoading.load(); }

    // Main thread: load the folder unless it is the one already loaded. The
    // store being replaced is closed and released first. Refused (false)
    // while a load runs or while an export reads the loaded store.
    bool LoadStore(const std::string& path);
    // The loading sheet's cancel button.
    void CancelLoad();
    // While in use (an export reads it) the loaded store is neither closed
    // nor replaced.
    void SetStoreInUse(bool inUse) { m_storeInUse = inUse; }
    bool StoreInUse() const { return m_storeInUse.load(); }
    // The loading thread's work (public for front ends that run it themselves).
    void LoadFolder(const std::string& path);
    // Main thread, after a successful load: show the store's tree.
    void LoadFolderView();
    // True from LoadStore until the loading thread has handed over its result.
    bool IsLoading() const { return m_loadRunning.load(); }
    // Called on the main thread once a load ended, with its result.
    void SetLoadFinishedHandler(std::function<void(int result)> handler)
    {
        m_loadFinished = std::move(handler);
    }
    // Also called once a load ended, after the handler (for the main window's
    // own bookkeeping).
    void SetLoadEndedObserver(std::function<void()> observer)
    {
        m_loadEnded = std::move(observer);
    }

    // The folders ticked for an export, in tree order.
    FolderNodeList GetSelectedItems() const;

    boost::shared_ptr<IAssetStore> SourceStore() const;
    std::string GetTooltipForStore(const boost::shared_ptr<IAssetStore>& store) const;
    void RemovedStoreFromView(const boost::shared_ptr<IAssetStore>& store) override;
    bool CanRemoveStore(const boost::shared_ptr<IAssetStore>& store) override;

private:
    void SetSourceStore(const boost::shared_ptr<IAssetStore>& store);
    void CloseSourceStore();
    void ShowLoadError(const std::string& path, const std::string& reason);
    void FinishLoad(int result);
    void JoinLoadingThread();

    AppStateData& m_state;
    IMainThreadDispatcher& m_dispatcher;
    IAlertPresenter& m_alerts;
    ILoadingSheet& m_loadingSheet;
    StoreFactory m_storeFactory;
    FolderViewController m_folderView;

    mutable boost::mutex m_storeMutex;
    boost::shared_ptr<IAssetStore> m_sourceAssetStore;

    bool m_ignoreEmptyFolders = false;
    std::atomic<bool> m_hideIgnoreEmptyFolders{false};
    std::atomic<bool> m_folderLoading{false};
    std::atomic<bool> m_loadRunning{false};
    std::atomic<bool> m_storeInUse{false};
    std::function<void()> m_loadEnded;
    std::thread m_loadingThread;
    std::function<void(int)> m_loadFinished;
    std::shared_ptr<bool> m_alive;
};

}  // namespace KestrinApp
