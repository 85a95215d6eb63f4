#include "app/StoreContentViewController.h"

#include <cerrno>
#include <cstring>
#include <fstream>

#include <unistd.h>

#include <boost/filesystem.hpp>
#include <boost/make_shared.hpp>

#include "app/Application.h"
#include "export/LoadingPresenters.h"
#include "mime/KSCharsets.h"
#include "streams/KSDiagnostics.h"

namespace KestrinApp {

using namespace KestrinMIMEEngineCommon;
namespace fs = boost::filesystem;

namespace {

// The system's words for why path may not be used as asked; empty when it may.
std::string AccessError(const std::string& path, int mode)
{
    if (::access(path.c_str(), mode) == 0)
        return {};
    return std::string(std::strerror(errno)) + ": " + path;
}

// The Envelope Index databases of the layouts the reader knows, newest first.
std::vector<fs::path> EnvelopeIndexCandidates(const fs::path& folder)
{
    std::vector<fs::path> found;
    for (int version = 10; version >= 2; --version)
        found.push_back(folder / ("V" + std::to_string(version)) / "MailData" / "Envelope Index");
    found.push_back(folder / "Envelope Index");
    return found;
}

}  // namespace

std::string DescribeLoadFailure(const std::string& path)
{
    boost::system::error_code error;
    const fs::path folder(path);
    if (!fs::exists(folder, error))
        return "The folder \"" + path + "\" does not exist.";
    if (!fs::is_directory(folder, error))
        return "\"" + path + "\" is not a folder.";
    const std::string denied = AccessError(path, R_OK | X_OK);
    if (!denied.empty())
        return denied;
    for (const auto& index : EnvelopeIndexCandidates(folder)) {
        if (!fs::is_regular_file(index, error))
            continue;
        const std::string unreadable = AccessError(index.string(), R_OK);
        if (!unreadable.empty())
            return unreadable;
        // SQLite's own words for a file without its header.
        char header[16] = {};
        std::ifstream in(index.string(), std::ios::binary);
        in.read(header, sizeof header);
        if (in.gcount() != sizeof header || std::memcmp(header, "SQLite format 3", 16) != 0)
            return index.string() + ": file is not a database";
        return {};
    }
    return {};
}

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

bool StoreContentViewController::CanRemoveStore(const boost::shared_ptr<IAssetStore>& store)
{
    return !m_storeInUse.load();
}

void StoreContentViewController::CancelLoad()
{
    if (m_loadRunning.load())
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
    if (m_loadRunning.load())
        return false;
    // Closing the store under a running export would end it early and still
    // report success for the part it wrote.
    if (m_storeInUse.load())
        return false;
    JoinLoadingThread();

    if (const auto loaded = SourceStore()) {
        // Compared element by element: a trailing separator makes a difference.
        if (boost::filesystem::path(loaded->GetLocation()) == boost::filesystem::path(path))
            return true;
        m_folderView.RemoveStoreFromFolderView(loaded);
        CloseSourceStore();
    }

    m_folderLoading = true;
    m_loadRunning = true;
    // Cleared here, before the thread starts, so that a cancel pressed at
    // once is not lost.
    m_loadingSheet.SetCancelRequested(false);
    m_loadingThread = std::thread([this, path] { LoadFolder(path); });
    return true;
}

void StoreContentViewController::LoadFolder(const std::string& path)
{
    m_dispatcher.PostAndWait([this] { m_loadingSheet.BeginProgress(); });

    const auto presenter = boost::make_shared<LoadingProgressPresenterWrapper>(m_loadingSheet);
    const auto cancelable = boost::make_shared<LoadingCancelable>(m_loadingSheet);

    int result = kLoadFailed;
    std::string reason;
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
        KSDiagnostic("ERROR: Loading %s failed: %s\n", path.c_str(), failure.what());
        result = kLoadFailed;
        reason = failure.what();
    } catch (...) {
        KSDiagnostic("ERROR: Loading %s failed.\n", path.c_str());
        result = kLoadFailed;
    }

    m_dispatcher.PostAndWait([this] { m_loadingSheet.EndProgress(); });

    if (result != kLoadSucceeded)
        CloseSourceStore();

    std::weak_ptr<bool> alive = m_alive;
    if (result == kLoadFailed) {
        const std::string found = DescribeLoadFailure(path);
        reason = found.empty() ? reason : found;
    }
    m_dispatcher.Post([this, alive, result, path, reason] {
        if (!alive.lock())
            return;
        if (result == kLoadSucceeded)
            LoadFolderView();
        else if (result == kLoadFailed)
            ShowLoadError(path, reason);
        FinishLoad(result);
    });
}

void StoreContentViewController::LoadFolderView()
{
    if (const auto store = SourceStore())
        m_folderView.AddStoreToFolderView(store);
    m_folderView.SetIgnoreEmptyFolders(m_ignoreEmptyFolders);
}

void StoreContentViewController::ShowLoadError(const std::string& path, const std::string& reason)
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
        alert.informative = LoadErrorAdvice();
    // The reason first, in the system's words; the advice after it.
    if (!reason.empty())
        alert.informative = reason + "\n\n" + alert.informative;
    m_alerts.ShowAlert(alert);
}

std::string LoadErrorAdvice()
{
#ifdef __APPLE__
    return "This may happen if the application does not have sufficient privileges to read "
           "data from disk. Please open OSX System Preferences -> Security & Privacy --> "
           "Privacy tab and add the application under Full Disk Access.";
#else
    // The privacy settings exist only on macOS.
    return "Please check that the folder holds mail and that you may read it and the files "
           "in it.";
#endif
}

void StoreContentViewController::FinishLoad(int result)
{
    // Cleared whatever the outcome, so that a failed load does not leave the
    // window waiting for one.
    m_folderLoading = false;
    m_loadRunning = false;
    if (m_loadFinished)
        m_loadFinished(result);
    if (m_loadEnded)
        m_loadEnded();
}

}  // namespace KestrinApp
