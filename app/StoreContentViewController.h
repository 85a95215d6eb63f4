// The content of the main window: the loaded source store, its folder tree,
// the export options, and loading a folder behind the loading sheet.
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
    // store being replaced is closed and released first.
    void LoadStore(const std::string& path);
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

    // The folders ticked for an export, in tree order.
    FolderNodeList GetSelectedItems() const;

    boost::shared_ptr<IAssetStore> SourceStore() const;
    std::string GetTooltipForStore(const boost::shared_ptr<IAssetStore>& store) const;
    void RemovedStoreFromView(const boost::shared_ptr<IAssetStore>& store) override;

private:
    void SetSourceStore(const boost::shared_ptr<IAssetStore>& store);
    void CloseSourceStore();
    void ShowLoadError();
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
    std::thread m_loadingThread;
    std::function<void(int)> m_loadFinished;
    std::shared_ptr<bool> m_alive;
};

}  // namespace KestrinApp
