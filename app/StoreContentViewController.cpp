#include "app/StoreContentViewController.h"

#include <boost/filesystem.hpp>

namespace KestrinApp {

using namespace KestrinMIMEEngineCommon;

StoreContentViewController::StoreContentViewController(IMainThreadDispatcher& dispatcher,
                                                       IAlertPresenter& alerts,
                                                       ILoadingSheet& loadingSheet,
                                                       StoreFactory storeFactory)
    : m_dispatcher(dispatcher), m_alerts(alerts), m_loadingSheet(loadingSheet),
      m_storeFactory(std::move(storeFactory)), m_folderView(dispatcher),
      m_alive(std::make_shared<bool>(true))
{
    m_folderView.SetStoreViewDelegate(this);
}

StoreContentViewController::~StoreContentViewController()
{
    m_alive.reset();
    // The loading thread never waits for this one, so it ends on its own.
    m_loadingSheet.SetCancelRequested(true);
    JoinLoadingThread();
    m_folderView.SetStoreViewDelegate(nullptr);
    CloseSource();
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
    return m_source ? m_source->Store() : boost::shared_ptr<IAssetStore>();
}

void StoreContentViewController::CloseSource()
{
    std::shared_ptr<OpenedSource> source;
    source.swap(m_source);
    if (source)
        source->Close();
}

void StoreContentViewController::RemovedStoreFromView(const boost::shared_ptr<IAssetStore>& store)
{
    CloseSource();
}

bool StoreContentViewController::CanRemoveStore(const boost::shared_ptr<IAssetStore>& store)
{
    return !m_storeInUse;
}

void StoreContentViewController::CancelLoad()
{
    if (m_loadRunning)
        m_loadingSheet.SetCancelRequested(true);
}

FolderNodeList StoreContentViewController::GetSelectedItems() const
{
    FolderNodeList items;
    m_folderView.GetSelectedItems(nullptr, items);
    return items;
}

bool StoreContentViewController::LoadStore(const std::string& path)
{
    // One load at a time; the loading sheet keeps the user from asking twice.
    if (m_loadRunning)
        return false;
    // Closing the store under a running export would end it early and still
    // report success for the part it wrote.
    if (m_storeInUse)
        return false;
    JoinLoadingThread();

    // Compared element by element: a trailing separator makes a difference.
    // The loaded source stays until another one has loaded.
    if (const auto loaded = SourceStore())
        if (boost::filesystem::path(loaded->GetLocation()) == boost::filesystem::path(path))
            return true;

    m_folderLoading = true;
    m_loadRunning = true;
    // Cleared before the thread starts, so that a cancel pressed at once is
    // not lost.
    m_loadingSheet.SetCancelRequested(false);
    m_loadingSheet.BeginProgress();
    std::weak_ptr<bool> alive = m_alive;
    m_loadingThread = std::thread([this, alive, path] {
        auto result = std::make_shared<LoadResult>(OpenSource(path, m_loadingSheet, m_storeFactory));
        m_dispatcher.Post([this, alive, result] {
            if (alive.lock())
                LoadEnded(*result);
        });
    });
    return true;
}

void StoreContentViewController::LoadEnded(const LoadResult& loaded)
{
    LoadResult result = loaded;
    // Cancel pressed while the finished load was on its way to this thread:
    // the person asked not to have it, so it is not shown.
    if (result.status == Status::Succeeded && m_loadingSheet.IsCancelRequested()) {
        if (result.source) result.source->Close();
        result.source.reset();
        result.status = Status::Canceled;
    }
    m_loadingSheet.EndProgress();
    // The option belongs to the source shown, which a failed load leaves.
    if (result.status == Status::Succeeded && result.storeKind)
        m_hideIgnoreEmptyFolders = *result.storeKind == StoreKind::MboxArchive;
    if (result.status == Status::Succeeded) {
        // Only a source that loaded replaces the one shown.
        if (const auto loaded = SourceStore()) {
            m_folderView.RemoveStoreFromFolderView(loaded);
            CloseSource();
        }
        m_source = result.source;
        m_folderView.AddStoreToFolderView(m_source->Root());
        m_folderView.SetIgnoreEmptyFolders(m_ignoreEmptyFolders);
    } else if (result.status == Status::Failed) {
        // The failed store has been released before the alert runs.
        m_alerts.ShowAlert(LoadFailureAlert(result, SourceStore() != nullptr));
    }
    // Cleared whatever the outcome, so that a failed load does not leave the
    // window waiting for one.
    m_folderLoading = false;
    m_loadRunning = false;
    if (m_loadFinished)
        m_loadFinished(result.status);
    if (m_loadEnded)
        m_loadEnded();
}

}  // namespace KestrinApp
