#include "streams/KSFileSystem.h"

#include <boost/filesystem.hpp>

#include "streams/KSDiagnostics.h"

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

}  // namespace KestrinMIMEEngineCommon
