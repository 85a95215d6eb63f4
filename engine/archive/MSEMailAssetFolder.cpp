#include "archive/MSEMailAssetFolder.h"

#include <boost/filesystem.hpp>
#include <boost/make_shared.hpp>

#include "archive/MacFileType.h"
#include "mime/KSCharsets.h"

namespace fs = boost::filesystem;

namespace KestrinMIMEEngineCommon {

namespace {

std::string LastComponent(const std::string& path)
{
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
    return fs::path(trimmed).filename().string();
}

bool Exists(const std::string& path)
{
    boost::system::error_code ec;
    return fs::exists(fs::status(path, ec));
}

}  // namespace

std::string MSEMailAssetFolder::MailboxPathFor(const std::string& path)
{
    return path + "/" + LastComponent(path) + ".mbox";
}

MSEMailAssetFolder::MSEMailAssetFolder(const std::string& path, const std::wstring& name,
                                       const boost::shared_ptr<IAssetStore>& store,
                                       const boost::shared_ptr<IAssetFolder>& parent,
                                       bool isDefaultFolder)
    : MBOXAssetFolder(path, MailboxPathFor(path),
                      name.empty() ? UTF8ToWide(LastComponent(path)) : name, store, parent,
                      isDefaultFolder)
{
    if (Exists(GetMailboxPath())) SetFolderKind(kFolderKindMail);
}

MSEMailAssetFolder::~MSEMailAssetFolder() = default;

bool MSEMailAssetFolder::BeginAddAssets(const boost::shared_ptr<IAssetFolder>& source,
                                        const boost::shared_ptr<IProgressPresenter>& presenter,
                                        const boost::shared_ptr<ILogger>& logger)
{
    return AssetFolderBase::BeginAddAssets(source, presenter, logger);
}

void MSEMailAssetFolder::EndAddAssets(const boost::shared_ptr<IAssetFolder>& source,
                                      const boost::shared_ptr<IProgressPresenter>& presenter,
                                      const boost::shared_ptr<ILogger>& logger)
{
    if (Exists(GetMailboxPath()))
        SetMacFileTypeAndCreator(GetMailboxPath(), kMacTypeMailbox, kMacCreatorOutlook);
    // Closing here rather than when the folder goes away keeps one open
    // file per folder being written, not per folder written so far: a large
    // tree would otherwise run out of file descriptors.
    MBOXAssetFolder::EndAddAssets(source, presenter, logger);
}

boost::shared_ptr<MBOXAssetFolder> MSEMailAssetFolder::CreateFolderObject(
    const std::string& path, const std::wstring& name, const boost::shared_ptr<IAssetStore>& store,
    const boost::shared_ptr<IAssetFolder>& parent, bool isDefaultFolder)
{
    return boost::make_shared<MSEMailAssetFolder>(path, name, store, parent, isDefaultFolder);
}

}  // namespace KestrinMIMEEngineCommon
