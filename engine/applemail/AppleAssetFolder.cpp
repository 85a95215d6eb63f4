#include "applemail/AppleAssetFolder.h"

#include <boost/algorithm/string/predicate.hpp>
#include <boost/filesystem/path.hpp>

#include "mime/KSCharsets.h"

namespace KestrinMIMEEngineCommon {

AppleAssetFolder::AppleAssetFolder(const std::wstring& name, const std::string& location,
                                   const boost::shared_ptr<IAssetStore>& store,
                                   const boost::shared_ptr<IAssetFolder>& parent)
    : AssetFolderBase(name, location, store, parent, false)
{
}

bool AppleAssetFolder::IsAssetFile(const std::string& path)
{
    const boost::filesystem::path file(path);
    const std::string name = file.filename().string();
    if (name.empty() || name[0] == '.') return false;
    return boost::algorithm::iequals(file.extension().string(), ".emlx");
}

const wchar_t* const kNotDownloadedWarning =
    L"\n---------------------------------------- WARNING ----------------------------------------\n"
    L"Apple Mail has not downloaded email content or attachments for following email: ";

void LogIncompleteMessage(const boost::shared_ptr<ILogger>& logger, const std::string& path,
                          const boost::shared_ptr<IAsset>& asset)
{
    if (!logger) return;
    logger->Log(kNotDownloadedWarning, true, true);
    logger->Log(UTF8ToWide(path), true, true);
    logger->Log(asset ? asset->GetDescription() : std::wstring(L"[NULL Asset Details]"), true, true);
    logger->Log(L"\n", true, true);
}

std::wstring MessageFileError(const std::string& path, const std::string& reason)
{
    return L"ERROR : Cannot read message file " + UTF8ToWide(path) + L" - " + UTF8ToWide(reason);
}

}  // namespace KestrinMIMEEngineCommon
