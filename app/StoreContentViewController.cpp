#include "app/StoreContentViewController.h"

#include <boost/filesystem/path.hpp>
#include <boost/make_shared.hpp>

#include "app/Application.h"
#include "export/LoadingPresenters.h"
#include "mime/KSCharsets.h"
#include "streams/KSDiagnostics.h"

namespace KestrinApp {

using namespace KestrinMIMEEngineCommon;

StoreContentViewController::StoreContentViewController(AppStateData& state,
                                                       IMainThreadDispatcher& dispatcher,
                                                       IAlertPresenter& alerts,
                                                       ILoadingSheet& loadingSheet,
                                                       StoreFactory storeFactory)
    : m_state(state), m_dispatcher(dispatcher), m_alerts(alerts), m_loadingSheet(loadingSheet),
      m_storeFactory(std::move(storeFactory)), m_folderView(dispatcher),
      m_alive(std::make_shared<bool>(true))
{
    m_folderView.SetStoreViewDelegate(this);
}

StoreContentViewController::~StoreContentViewController()
{
    m_alive.reset();
    JoinLoadingThread();
    m_folderView.SetStoreViewDelegate(nullptr);
    CloseSourceStore();
}

void StoreContentViewController::JoinLoadingThread()
{
    if (m_loadingThread.joinable())
        m_loadingThread.join();
}

void StoreContentViewController::SetIgnoreEmptyFolders(bool ignore)
{
    m_ignoreEmptyFolders = ignore;
    m_folderView.SetIgnoreEmptyFolders(ignore);
}

boost::shared_ptr<IAssetStore> StoreContentViewController::SourceStore() const
{
    boost::mutex::scoped_lock lock(m_storeMutex);
    return m_sourceAssetStore;
}

void StoreContentViewController::SetSourceStore(const boost::shared_ptr<IAssetStore>& store)
{
    boost::mutex::scoped_lock lock(m_storeMutex);
    m_sourceAssetStore = store;
}

void StoreContentViewController::CloseSourceStore()
{
    boost::shared_ptr<IAssetStore> store;
    {
        boost::mutex::scoped_lock lock(m_storeMutex);
        store.swap(m_sourceAssetStore);
    }
    if (store)
        store->Close();
}

std::string StoreContentViewController::GetTooltipForStore(
    const boost::shared_ptr<IAssetStore>& store) const
{
    return store ? store->GetLocation() : std::string();
}

void StoreContentViewController::RemovedStoreFromView(const boost::shared_ptr<IAssetStore>& store)
{
    CloseSourceStore();
}

FolderNodeList StoreContentViewController::GetSelectedItems() const
{
    FolderNodeList items;
    m_folderView.GetSelectedItems(nullptr, items);
    return items;
}

void StoreContentViewController::LoadStore(const std::string& path)
{
    // One load at a time; the loading sheet keeps the user from asking twice.
    if (m_loadRunning.load())
        return;
    JoinLoadingThread();

    if (const auto loaded = SourceStore()) {
        // Compared element by element: a trailing separator makes a difference.
        if (boost::filesystem::path(loaded->GetLocation()) == boost::filesystem::path(path))
            return;
        m_folderView.RemoveStoreFromFolderView(loaded);
        CloseSourceStore();
    }

    m_folderLoading = true;
    m_loadRunning = true;
    m_loadingThread = std::thread([this, path] { LoadFolder(path); });
}

void StoreContentViewController::LoadFolder(const std::string& path)
{
    m_dispatcher.PostAndWait([this] { m_loadingSheet.BeginProgress(); });

    const auto presenter = boost::make_shared<LoadingProgressPresenterWrapper>(m_loadingSheet);
    const auto cancelable = boost::make_shared<LoadingCancelable>(m_loadingSheet);
    m_loadingSheet.SetCancelRequested(false);

    int result = kLoadFailed;
    try {
        const auto store = m_storeFactory ? m_storeFactory(path, cancelable)
                                          : boost::shared_ptr<IAssetStore>();
        SetSourceStore(store);
        if (store) {
            const int kind = store->GetStoreKind();
            m_state.Set(StateKey::kSourceFormatKey, static_cast<int64_t>(kind));
            m_hideIgnoreEmptyFolders = kind == kStoreTypeMboxArchive;
            result = store->Open(presenter, cancelable, {}, false);
        } else if (cancelable->IsCanceled()) {
            // The reader gives up without a store when asked to stop.
            result = kLoadCanceled;
        }
    } catch (const std::exception& failure) {
        KSDiagnostic("%s ERROR: Loading %s failed: %s\n", path.c_str(), failure.what());
        result = kLoadFailed;
    } catch (...) {
        KSDiagnostic("%s ERROR: Loading %s failed.\n", path.c_str());
        result = kLoadFailed;
    }

    m_dispatcher.PostAndWait([this] { m_loadingSheet.EndProgress(); });

    if (result != kLoadSucceeded)
        CloseSourceStore();

    std::weak_ptr<bool> alive = m_alive;
    m_dispatcher.Post([this, alive, result] {
        if (!alive.lock())
            return;
        if (result == kLoadSucceeded)
            LoadFolderView();
        else if (result == kLoadFailed)
            ShowLoadError();
        FinishLoad(result);
    });
}

void StoreContentViewController::LoadFolderView()
{
    if (const auto store = SourceStore())
        m_folderView.AddStoreToFolderView(store);
    m_folderView.SetIgnoreEmptyFolders(m_ignoreEmptyFolders);
}

void StoreContentViewController::ShowLoadError()
{
    AlertText alert;
    alert.message = "Error occurred while loading your email data.";
    alert.button = "Ok";
    alert.applicationModal = true;
    // Chosen when the alert runs: a failed store has been released by then.
    if (SourceStore())
        alert.informative =
            "This may happen if you do not have sufficient previledges to access the source "
            "path. If this problem persists then please contact us at " +
            SupportAddress();
    else
        alert.informative =
            "This may happen if the application does not have sufficient privileges to read "
            "data from disk. Please open OSX System Preferences -> Security & Privacy --> "
            "Privacy tab and add the application under Full Disk Access.";
    m_alerts.ShowAlert(alert);
}

void StoreContentViewController::FinishLoad(int result)
{
    // Cleared whatever the outcome, so that a failed load does not leave the
    // window waiting for one.
    m_folderLoading = false;
    m_loadRunning = false;
    if (m_loadFinished)
        m_loadFinished(result);
}

}  // namespace KestrinApp
