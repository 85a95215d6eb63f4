#include "formats/FormatsSupport.h"

#include <boost/algorithm/string/predicate.hpp>
#include <boost/filesystem.hpp>
#include <boost/make_shared.hpp>

#include "mime/MakeSafeName.h"
#include "streams/KSFileSystem.h"

namespace KestrinMIMEEngineCommon {

const wchar_t kUntitledFolderName[] = L"Untitled Folder";

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

bool HasExtension(const std::string& path, const char* extension)
{
    return boost::algorithm::iequals(boost::filesystem::path(path).extension().string(), extension);
}

UntitledSubFolders::Resolution UntitledSubFolders::Resolve(IAssetFolderMutable& parent,
                                                           const std::wstring& wishedName,
                                                           unsigned kind) const
{
    Resolution resolution;
    auto known = m_folders.find(wishedName);
    if (known != m_folders.end()) resolution.existing = known->second.lock();
    if (resolution.existing) return resolution;
    resolution.name = MakeSafeName(wishedName);
    if (resolution.name.empty()) {
        resolution.name = parent.MakeUniqueSubFolderName(kUntitledFolderName, kind);
        resolution.untitled = true;
    } else {
        resolution.existing =
            boost::dynamic_pointer_cast<IAssetFolderMutable>(parent.FindSubFolderLocked(resolution.name));
    }
    return resolution;
}

void UntitledSubFolders::Remember(const std::wstring& wishedName,
                                  const boost::shared_ptr<IAssetFolderMutable>& folder)
{
    m_folders[wishedName] = folder;
}

}  // namespace KestrinMIMEEngineCommon
