// The content of the main window: the opened source, its folder tree, the
// export options, and loading a folder behind the loading sheet.
//
// Threads: everything here runs on the main thread except the load itself,
// which runs OpenSource on one loading thread per load with the loading sheet
// as its observer; the thread hands its result to the main thread through
// the dispatcher and ends without waiting for it.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include <boost/shared_ptr.hpp>

#include "app/FolderViewController.h"
#include "app/Seams.h"
#include "app/Source.h"
#include "app/Views.h"

namespace KestrinApp {

class StoreContentViewController : public IStoreViewDelegate {
public:
    StoreContentViewController(IMainThreadDispatcher& dispatcher, IAlertPresenter& alerts,
                               ILoadingSheet& loadingSheet, StoreFactory storeFactory);
    // Waits for a running load; its result is dropped.
    ~StoreContentViewController() override;

    FolderViewController& FolderView() { return m_folderView; }

    // Options.
    bool mergeContacts = true;
    bool mergeCalendar = true;
    bool IgnoreEmptyFolders() const { return m_ignoreEmptyFolders; }
    // Passed on to the folder tree at once.
    void SetIgnoreEmptyFolders(bool ignore);
    // True when the source shown is an exported-mailbox (mbox) store.
    bool HideIgnoreEmptyFolders() const { return m_hideIgnoreEmptyFolders; }
    bool FolderLoading() const { return m_folderLoading; }

    // Load the folder unless it is the one already loaded. The source being
    // replaced stays shown until the new one has loaded, and is then closed
    // and released; a load that fails or is canceled leaves it as it was.
    // Refused (false) while a load runs or while an export reads the loaded
    // source.
    bool LoadStore(const std::string& path);
    // The loading sheet's cancel button.
    void CancelLoad();
    // While in use (an export reads it) the loaded source is neither closed
    // nor replaced.
    void SetStoreInUse(bool inUse) { m_storeInUse = inUse; }
    bool StoreInUse() const { return m_storeInUse; }
    // True from LoadStore until the load's result was handed over.
    bool IsLoading() const { return m_loadRunning; }
    // Called once a load ended, with its result.
    void SetLoadFinishedHandler(std::function<void(Status result)> handler)
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

    // The loaded source and its store; empty when none is loaded.
    const std::shared_ptr<OpenedSource>& Source() const { return m_source; }
    boost::shared_ptr<IAssetStore> SourceStore() const;
    void RemovedStoreFromView(const boost::shared_ptr<IAssetStore>& store) override;
    bool CanRemoveStore(const boost::shared_ptr<IAssetStore>& store) override;

private:
    void CloseSource();
    void LoadEnded(const LoadResult& result);
    void JoinLoadingThread();

    IMainThreadDispatcher& m_dispatcher;
    IAlertPresenter& m_alerts;
    ILoadingSheet& m_loadingSheet;
    StoreFactory m_storeFactory;
    FolderViewController m_folderView;
    std::shared_ptr<OpenedSource> m_source;

    bool m_ignoreEmptyFolders = false;
    bool m_hideIgnoreEmptyFolders = false;
    bool m_folderLoading = false;
    bool m_loadRunning = false;
    bool m_storeInUse = false;
    std::function<void()> m_loadEnded;
    std::thread m_loadingThread;
    std::function<void(Status)> m_loadFinished;
    std::shared_ptr<bool> m_alive;
};

}  // namespace KestrinApp
