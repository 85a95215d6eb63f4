#include "streams/KSFileSystem.h"

#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <vector>

#include <boost/filesystem.hpp>

#include "streams/KSDiagnostics.h"
#include "streams/Platform.h"

namespace fs = boost::filesystem;

namespace KestrinMIMEEngineCommon {

namespace {

int SystemChangeMode(const char* path, unsigned mode) { return ::chmod(path, static_cast<mode_t>(mode)); }

std::atomic<KSFileSystem::ChangeMode> g_changeMode{SystemChangeMode};
std::atomic<bool> g_modeRefusalNoted{false};

bool IsLocal(const KSFileSystemPath& location) { return location.GetTraits()->GetScheme() == KSPathTraits::kSchemeFile; }

bool IsDirectory(const std::string& path)
{
    boost::system::error_code ec;
    return fs::is_directory(path, ec);
}

// One directory, made by this call or not at all. An existing directory is
// Taken and left exactly as it is.
Platform::CreateOutcome MakeDirectory(const std::string& path, std::string& error)
{
    if (::mkdir(path.c_str(), 0770) == 0) {
        KSFileSystem::SetCreatedFolderMode(path);
        return Platform::CreateOutcome::Created;
    }
    if (errno == EEXIST && IsDirectory(path)) return Platform::CreateOutcome::Taken;
    error = std::strerror(errno);
    return Platform::CreateOutcome::Failed;
}

}  // namespace

void KSFileSystem::SetCreatedFolderMode(const std::string& path)
{
    if (g_changeMode.load()(path.c_str(), 0770) == 0) return;
    const std::string reason = std::strerror(errno);
    if (!g_modeRefusalNoted.exchange(true))
        KSDiagnostic("Folder permissions could not be set (%s - %s), as on a disk that keeps "
                     "none (FAT, exFAT); further folders are not noted\n",
                     path.c_str(), reason.c_str());
}

void KSFileSystem::SetChangeModeForTesting(ChangeMode change)
{
    g_changeMode = change ? change : SystemChangeMode;
    g_modeRefusalNoted = false;
}

bool KSFileSystem::CreateFolder(const KSFileSystemPath& location)
{
    if (location.IsEmpty()) return false;
    if (!IsLocal(location)) {
        KSDiagnostic("ERROR: KSFileSystem : CreateFolder - Unsupported scheme for operation\n");
        return false;
    }
    std::string error;
    const Platform::CreateOutcome outcome = MakeDirectory(location.GetPath(), error);
    if (outcome == Platform::CreateOutcome::Failed)
        KSDiagnostic("ERROR: Unable to create directory - %s\n", error.c_str());
    return outcome == Platform::CreateOutcome::Created;
}

bool KSFileSystem::CreateFolderTree(const KSFileSystemPath& location)
{
    if (location.IsEmpty()) return false;
    if (!IsLocal(location)) {
        KSDiagnostic("ERROR: KSFileSystem : CreateFolderTree - Unsupported scheme for operation\n");
        return false;
    }
    std::string text = location.GetPath();
    while (text.size() > 1 && text.back() == '/') text.pop_back();
    // Made one by one from the first missing one down, so that only the
    // folders made here get their mode: those that were there (the user's
    // output folder, their Desktop) keep theirs.
    std::vector<fs::path> missing;
    boost::system::error_code ec;
    for (fs::path at(text); !at.empty() && !fs::exists(at, ec); at = at.parent_path())
        missing.push_back(at);
    bool created = false;
    for (auto at = missing.rbegin(); at != missing.rend(); ++at) {
        std::string error;
        const Platform::CreateOutcome outcome = MakeDirectory(at->string(), error);
        if (outcome == Platform::CreateOutcome::Failed) {
            KSDiagnostic("ERROR: Unable to create directories - %s\n", error.c_str());
            return false;
        }
        created = created || outcome == Platform::CreateOutcome::Created;
    }
    if (created || IsDirectory(text)) return true;
    KSDiagnostic("ERROR: Unable to create directories - %s\n", std::strerror(ENOTDIR));
    return false;
}

std::string KSFileSystem::CreateUniqueFolder(const KSFileSystemPath& parent, const std::string& name,
                                             std::string& error, const std::string& suffix)
{
    error.clear();
    if (parent.IsEmpty() || !IsLocal(parent)) {
        error = "unsupported location";
        return std::string();
    }
    if (!CreateFolderTree(parent)) {
        error = "the folder " + parent.GetPath() + " cannot be created";
        return std::string();
    }
    const fs::path base(parent.GetPath());
    // Far more than anyone keeps; it ends a search that cannot succeed.
    constexpr unsigned kMaxAttempts = 100000;
    for (unsigned n = 0; n <= kMaxAttempts; ++n) {
        const fs::path candidate =
            base / ((n == 0 ? name : name + " (" + std::to_string(n) + ")") + suffix);
        if (::mkdir(candidate.c_str(), 0770) == 0) {
            SetCreatedFolderMode(candidate.string());
            return candidate.string();
        }
        if (errno != EEXIST) {
            error = std::strerror(errno);
            KSDiagnostic("ERROR: Unable to create directory - %s - %s\n", candidate.c_str(),
                         error.c_str());
            return std::string();
        }
    }
    error = "every name is taken";
    return std::string();
}

bool SkipSymbolicLink(const std::string& path)
{
    if (Platform::GetFileKind(path) != Platform::FileKind::SymbolicLink) return false;
    KSDiagnostic("Skipped symbolic link %s\n", path.c_str());
    return true;
}

}  // namespace KestrinMIMEEngineCommon
