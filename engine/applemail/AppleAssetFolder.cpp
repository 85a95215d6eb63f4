#include "applemail/AppleAssetFolder.h"

#include <stdexcept>

#include <boost/algorithm/string/predicate.hpp>
#include <boost/filesystem/path.hpp>

namespace KestrinMIMEEngineCommon {

AppleAssetFolder::AppleAssetFolder(const std::wstring& name, const std::string& location,
                                   const boost::shared_ptr<IAssetStore>& store,
                                   const boost::shared_ptr<IAssetFolder>& parent)
    : AssetFolderBase(name, location, store, parent, false)
{
}

std::wstring AppleAssetFolder::MapFileName(const boost::shared_ptr<IAsset>& asset)
{
    throw std::runtime_error("AppleAssetFolder::MapFileName : Not implemented.");
}

bool AppleAssetFolder::IsAssetFile(const std::string& path)
{
    const boost::filesystem::path file(path);
    const std::string name = file.filename().string();
    if (name.empty() || name[0] == '.') return false;
    return boost::algorithm::iequals(file.extension().string(), ".emlx");
}

}  // namespace KestrinMIMEEngineCommon
