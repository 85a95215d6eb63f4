#include "app/Source.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include <unistd.h>

#include <boost/filesystem.hpp>
#include <boost/make_shared.hpp>

#include "app/Application.h"
#include "app/FileSizeToStringTransformer.h"
#include "app/ProgressPresenters.h"
#include "mime/KSCharsets.h"
#include "streams/KSDiagnostics.h"

namespace KestrinApp {

using namespace KestrinMIMEEngineCommon;
namespace fs = boost::filesystem;

namespace {

// Folder kinds that are never shown, with everything below them.
bool IsHiddenKind(int kind)
{
    return kind == kFolderKindUnused || kind == kFolderKindNotes || kind == kFolderKindTasks;
}

std::shared_ptr<SourceFolder> Describe(const boost::shared_ptr<IAssetFolder>& folder)
{
    auto described = std::make_shared<SourceFolder>();
    described->folder = folder;
    const int kind = folder->GetFolderKind();
    described->kind = kind == kFolderKindGeneric ? kFolderKindMail : kind;
    described->count = folder->GetAssetCount();
    described->path = WideToUTF8(folder->GetPath());

    const auto store = folder->GetStore();
    const boost::optional<StoreKind> storeKind =
        store ? boost::make_optional(store->GetStoreKind()) : boost::none;
    const std::wstring folderName = folder->GetName();
    described->name =
        (described->kind == kFolderKindRoot && store) ? store->GetStoreName() : folderName;
    if (described->count > 0) {
        const bool countsAreBytes = storeKind == StoreKind::MboxArchive ||
                                    storeKind == StoreKind::Archive || storeKind == StoreKind::Mbox;
        const std::string count = countsAreBytes
                                      ? FileSizeToStringTransformer::Transform(described->count)
                                      : std::to_string(described->count);
        described->countText = L"  [" + UTF8ToWide(count) + L"]";
    }
    for (const auto& sub : folder->GetSubFolders())
        if (sub && !IsHiddenKind(sub->GetFolderKind()))
            described->children.push_back(Describe(sub));
    return described;
}

void CollectBelow(const std::shared_ptr<const SourceFolder>& folder,
                  std::vector<std::shared_ptr<const SourceFolder>>& out)
{
    if (folder->kind != kFolderKindRoot)
        out.push_back(folder);
    for (const auto& child : folder->children)
        CollectBelow(child, out);
}

// Tree order, each folder once: a folder at one of the paths takes what is
// below it along.
void CollectAt(const std::shared_ptr<const SourceFolder>& folder,
               const std::vector<std::string>& paths, std::vector<bool>& found,
               std::vector<std::shared_ptr<const SourceFolder>>& out)
{
    bool here = false;
    for (size_t i = 0; i < paths.size(); ++i) {
        if (folder->path == paths[i]) {
            found[i] = true;
            here = true;
        }
    }
    if (here) {
        CollectBelow(folder, out);
        // Below a selected folder every folder is taken already; the paths
        // found there still count as found.
        std::vector<std::shared_ptr<const SourceFolder>> ignored;
        for (const auto& child : folder->children)
            CollectAt(child, paths, found, ignored);
        return;
    }
    for (const auto& child : folder->children)
        CollectAt(child, paths, found, out);
}

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

bool SourceFolder::HoldsMessages() const
{
    if (count >= 1)
        return true;
    for (const auto& child : children)
        if (child->HoldsMessages())
            return true;
    return false;
}

std::shared_ptr<const SourceFolder> DescribeFolders(const boost::shared_ptr<IAssetFolder>& root)
{
    if (!root || IsHiddenKind(root->GetFolderKind()))
        return {};
    return Describe(root);
}

std::string NormalizeFolderPath(std::string path)
{
    if (path.empty() || path.front() != '/')
        path.insert(path.begin(), '/');
    if (path.back() != '/')
        path.push_back('/');
    return path;
}

std::vector<std::shared_ptr<const SourceFolder>> SelectFolders(
    const std::shared_ptr<const SourceFolder>& root, const std::vector<std::string>& paths,
    std::string* missingPath)
{
    std::vector<std::shared_ptr<const SourceFolder>> selected;
    if (!root)
        return selected;
    if (paths.empty()) {
        CollectBelow(root, selected);
        return selected;
    }
    std::vector<std::string> wanted;
    for (const auto& path : paths)
        wanted.push_back(NormalizeFolderPath(path));
    std::vector<bool> found(wanted.size(), false);
    CollectAt(root, wanted, found, selected);
    for (size_t i = 0; i < wanted.size(); ++i) {
        if (found[i])
            continue;
        if (missingPath)
            *missingPath = wanted[i];
        return {};
    }
    return selected;
}

OpenedSource::OpenedSource(std::string path, boost::shared_ptr<IAssetStore> store)
    : m_path(std::move(path)), m_store(std::move(store)), m_storeKind(m_store->GetStoreKind()),
      m_root(DescribeFolders(m_store->GetRootFolder()))
{
}

OpenedSource::~OpenedSource()
{
    Close();
}

void OpenedSource::Close()
{
    if (m_closed)
        return;
    m_closed = true;
    m_store->Close();
}

LoadResult OpenSource(const std::string& path, LoadObserver& observer, const StoreFactory& factory)
{
    const auto presenter = boost::make_shared<LoadingPresenter>(observer);
    const auto cancelable = boost::make_shared<LoadingCancelable>(observer);

    LoadResult result;
    boost::shared_ptr<IAssetStore> store;
    Status opened = Status::Failed;
    try {
        store = factory ? factory(path, cancelable) : boost::shared_ptr<IAssetStore>();
        if (store) {
            result.storeKind = store->GetStoreKind();
            opened = store->Open(presenter, cancelable, {}, false);
            if (opened == Status::Succeeded)
                result.source = std::make_shared<OpenedSource>(path, store);
        } else if (cancelable->IsCanceled()) {
            // The reader gives up without a store when asked to stop.
            opened = Status::Canceled;
        }
    } catch (const NoMailDataFound& nothing) {
        result.status = Status::Failed;
        result.failure = LoadFailure::NoMailData;
        result.reason = nothing.what();
        return result;
    } catch (const std::exception& failure) {
        KSDiagnostic("ERROR: Loading %s failed: %s\n", path.c_str(), failure.what());
        opened = Status::Failed;
        result.reason = failure.what();
    } catch (...) {
        KSDiagnostic("ERROR: Loading %s failed.\n", path.c_str());
        opened = Status::Failed;
    }

    if (result.source) {
        result.status = Status::Succeeded;
        return result;
    }
    if (store)
        store->Close();
    if (opened == Status::Canceled) {
        result.status = Status::Canceled;
        return result;
    }
    result.status = Status::Failed;
    result.failure = LoadFailure::ReadFailed;
    const std::string found = DescribeLoadFailure(path);
    if (!found.empty())
        result.reason = found;
    return result;
}

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
        return DescribeDatabaseDamage(index.string());
    }
    return {};
}

const char* ToString(LoadFailure failure)
{
    switch (failure) {
    case LoadFailure::None: return "none";
    case LoadFailure::NoMailData: return "no mail data";
    case LoadFailure::ReadFailed: return "read failed";
    }
    return "unknown";
}

std::string NoMailDataMessage(const std::string& folder)
{
    return "No Apple Mail data was found in " + folder +
           ". Choose the Library/Mail folder of a Mac or a backup, or a folder of exported "
           "mailboxes.";
}

NoMailDataFound::NoMailDataFound(const std::string& folder)
    : std::runtime_error(NoMailDataMessage(folder))
{
}

AlertText LoadFailureAlert(const LoadResult& result, bool storeHeld)
{
    if (result.failure == LoadFailure::NoMailData)
        return AlertText{result.reason, "Ok", "", true};
    return LoadErrorAlert(result.reason, storeHeld);
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

AlertText LoadErrorAlert(const std::string& reason, bool storeHeld)
{
    AlertText alert;
    alert.message = "Error occurred while loading your email data.";
    alert.button = "Ok";
    alert.applicationModal = true;
    if (storeHeld)
        alert.informative =
            "This may happen if you do not have sufficient privileges to access the source "
            "path. If this problem persists then please contact us at " +
            SupportAddress();
    else
        alert.informative = LoadErrorAdvice();
    if (!reason.empty())
        alert.informative = reason + "\n\n" + alert.informative;
    return alert;
}

std::string HomeDirectory()
{
    const char* home = std::getenv("HOME");
    return home ? std::string(home) : std::string();
}

std::string DefaultMailFolder()
{
    return (fs::path(HomeDirectory()) / "Library" / "Mail").string();
}

}  // namespace KestrinApp
