#include "formats/FormatsSupport.h"

#include <boost/algorithm/string/predicate.hpp>
#include <boost/filesystem.hpp>
#include <boost/make_shared.hpp>

#include "streams/KSDiagnostics.h"
#include "streams/KSFileSystem.h"

namespace KestrinMIMEEngineCommon {

namespace {

KSFileSystemPath LocalPath(const std::string& path)
{
    return KSFileSystemPath(boost::make_shared<KSPathTraitsFile>(), path);
}

bool IsDirectory(const std::string& path)
{
    boost::system::error_code ec;
    return boost::filesystem::is_directory(path, ec);
}

}  // namespace

bool CreateDirectoryTree(const std::string& path)
{
    return KSFileSystem::CreateFolderTree(LocalPath(path)) || IsDirectory(path);
}

bool CreateSingleDirectory(const std::string& path)
{
    return KSFileSystem::CreateFolder(LocalPath(path)) || IsDirectory(path);
}

std::string CreateUniqueDirectory(const std::string& parent, const std::string& name,
                                  const std::string& suffix)
{
    std::string error;
    const std::string made = KSFileSystem::CreateUniqueFolder(LocalPath(parent), name, error, suffix);
    if (made.empty())
        KSDiagnostic("ERROR: Cannot create a folder in %s - %s\n", parent.c_str(), error.c_str());
    return made;
}

bool HasExtension(const std::string& path, const char* extension)
{
    return boost::algorithm::iequals(boost::filesystem::path(path).extension().string(), extension);
}

}  // namespace KestrinMIMEEngineCommon
