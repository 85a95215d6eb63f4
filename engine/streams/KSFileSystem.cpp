#include "streams/KSFileSystem.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include <boost/filesystem.hpp>

#include "streams/KSDiagnostics.h"
#include "streams/Platform.h"

namespace fs = boost::filesystem;

namespace KestrinMIMEEngineCommon {

namespace {

// Owner and group may read, write and search; others nothing.
void ResetPermissions(const fs::path& path)
{
    boost::system::error_code ec;
    fs::permissions(path, fs::owner_all | fs::group_all, ec);
    if (ec) KSDiagnostic("%s ERROR: Unable to change permission on folder - %s\n", ec.message().c_str());
}

bool IsLocal(const KSFileSystemPath& location) { return location.GetTraits()->GetScheme() == KSPathTraits::kSchemeFile; }

}  // namespace

bool KSFileSystem::CreateFolder(const KSFileSystemPath& location)
{
    if (location.IsEmpty()) return false;
    if (!IsLocal(location)) {
        KSDiagnostic("%s ERROR: KSFileSystem : CreateFolder - Unsupported scheme for operation\n");
        return false;
    }
    fs::path path(location.GetPath());
    boost::system::error_code ec;
    bool created = fs::create_directory(path, ec);
    if (ec) {
        KSDiagnostic("%s ERROR: Unable to create directory - %s\n", ec.message().c_str());
        return false;
    }
    ResetPermissions(path);
    return created;
}

bool KSFileSystem::CreateFolderTree(const KSFileSystemPath& location)
{
    if (location.IsEmpty()) return false;
    if (!IsLocal(location)) {
        KSDiagnostic("%s ERROR: KSFileSystem : CreateFolderTree - Unsupported scheme for operation\n");
        return false;
    }
    fs::path path(location.GetPath());
    boost::system::error_code ec;
    bool created = fs::create_directories(path, ec);
    if (ec) {
        KSDiagnostic("%s ERROR: Unable to create directories - %s\n", ec.message().c_str());
        return false;
    }
    ResetPermissions(path);
    if (created) return true;
    return fs::is_directory(path, ec);
}

std::string KSFileSystem::CreateUniqueFolder(const KSFileSystemPath& parent, const std::string& name,
                                             std::string& error)
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
        const fs::path candidate = base / (n == 0 ? name : name + " (" + std::to_string(n) + ")");
        if (::mkdir(candidate.c_str(), 0770) == 0) {
            ResetPermissions(candidate);
            return candidate.string();
        }
        if (errno != EEXIST) {
            error = std::strerror(errno);
            KSDiagnostic("%s ERROR: Unable to create directory - %s - %s\n", candidate.c_str(),
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
    KSDiagnostic("%s Skipped symbolic link %s\n", path.c_str());
    return true;
}

}  // namespace KestrinMIMEEngineCommon
