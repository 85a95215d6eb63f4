// One directory of an EML tree: every file with the extension ".eml" is a
// message, every sub-directory a sub-folder.
#pragma once

#include <atomic>

#include "assets/AssetFolderBase.h"
#include "formats/FormatsSupport.h"
#include "formats/OutputPaths.h"

namespace KestrinMIMEEngineCommon {

class EMLAssetFolder : public AssetFolderBase {
public:
    // The name is the directory's last component; the kind is always mail.
    EMLAssetFolder(const std::string& directory, const boost::shared_ptr<IAssetStore>& store,
                   const boost::shared_ptr<IAssetFolder>& parent, bool isDefaultFolder);
    ~EMLAssetFolder() override;

    // Counts the ".eml" files of the directory (not recursively), leaving out
    // AppleDouble companions ("._" names). Always answers succeeded.
    Status RefreshAssetCount() override;
    // The sanitised name names the directory, numbered when another wished
    // name took it (SubFolderNames); asking again for the same wished name
    // answers the same sub-folder. The directory is always a new one.
    boost::shared_ptr<IAssetFolderMutable> CreateSubFolder(const std::wstring& name, unsigned kind,
                                                           const std::string& sourceId) override;
    boost::shared_ptr<IAssetFolder> FindMappedSubFolder(const std::wstring& wishedName) override;
    // Writes the raw message into a new file of this directory; the text of
    // the result is the file's path. The file is always a new one: when the
    // chosen name is taken the next number is tried, so nothing already on
    // disk is ever written over.
    AddAssetResult AddAsset(const boost::shared_ptr<IAsset>& asset,
                            const boost::shared_ptr<IProgressPresenter>& presenter,
                            const boost::shared_ptr<ILogger>& logger,
                            const boost::shared_ptr<ICancelable>& cancelable,
                            const std::string& assetId) override;

    // title + "_" + (asset count + 1) + ".eml"; a never-counted folder (-1)
    // starts at 0.
    virtual std::wstring MapFileName(const boost::shared_ptr<IAsset>& asset);
    virtual bool IsAssetFile(const std::string& path);

    const std::string& GetDirectory() const { return m_location; }

private:
    // The lowest number still worth trying: past every number this folder
    // has already taken, so files added behind the store's back are stepped
    // over once, not once per message.
    std::atomic<int64_t> m_nextNumber{0};
    SubFolderNames m_subFolderNames;
    // The store's output root, found at the first message.
    std::string m_outputRoot;
};

}  // namespace KestrinMIMEEngineCommon
