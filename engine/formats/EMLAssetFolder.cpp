#include "formats/EMLAssetFolder.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>

#include <boost/algorithm/string/predicate.hpp>
#include <boost/filesystem.hpp>
#include <boost/make_shared.hpp>
#include <boost/thread/lock_guard.hpp>

#include "mime/KSCharsets.h"
#include "streams/KSDiagnostics.h"
#include "streams/KSDescriptorOut.h"
#include "streams/Platform.h"

namespace fs = boost::filesystem;

namespace KestrinMIMEEngineCommon {

namespace {

// File systems limit a name to 255 bytes. A title of 128 characters can
// exceed that in UTF-8 (every slash became the three-byte U+2215), and a name
// that cannot be created would lose the message, so the title gives way.
constexpr size_t kMaxFileNameBytes = 255;

std::wstring NumberedFileName(const std::wstring& title, int64_t number)
{
    const std::wstring suffix = L"_" + std::to_wstring(number) + L".eml";
    size_t bytes = suffix.size();
    size_t keep = 0;
    while (keep < title.size() && bytes + UTF8Length(title[keep]) <= kMaxFileNameBytes)
        bytes += UTF8Length(title[keep++]);
    return title.substr(0, keep) + suffix;
}

}  // namespace

EMLAssetFolder::EMLAssetFolder(const std::string& directory,
                               const boost::shared_ptr<IAssetStore>& store,
                               const boost::shared_ptr<IAssetFolder>& parent, bool isDefaultFolder)
    : AssetFolderBase(std::wstring(), directory, store, parent, isDefaultFolder)
{
    SetFolderKind(kFolderKindMail);
}

EMLAssetFolder::~EMLAssetFolder() = default;

Status EMLAssetFolder::RefreshAssetCount()
{
    boost::lock_guard<boost::recursive_mutex> guard(Mutex());
    int64_t count = 0;
    boost::system::error_code ec;
    for (fs::directory_iterator it(m_location, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (boost::algorithm::istarts_with(name, "._")) continue;
        if (IsAssetFile(name)) ++count;
    }
    SetAssetCount(count);
    return Status::Succeeded;
}

bool EMLAssetFolder::IsAssetFile(const std::string& path)
{
    return HasExtension(path, ".eml");
}

std::wstring EMLAssetFolder::MapFileName(const boost::shared_ptr<IAsset>& asset)
{
    return NumberedFileName(asset->GetTitle(NameStyleOf(GetStore())), GetAssetCount() + 1);
}

AddAssetResult EMLAssetFolder::AddAsset(const boost::shared_ptr<IAsset>& asset,
                                        const boost::shared_ptr<IProgressPresenter>& presenter,
                                        const boost::shared_ptr<ILogger>& logger,
                                        const boost::shared_ptr<ICancelable>& cancelable,
                                        const std::string& assetId)
{
    AddAssetResult result;
    auto email = boost::dynamic_pointer_cast<IEmailAsset>(asset);
    if (!email) {
        // Nothing was written: never report such an item as converted.
        result.code = AddAssetCode::Failed;
        return result;
    }

    const std::wstring title = email->GetTitle(NameStyleOf(GetStore()));
    int64_t number = std::max(GetAssetCount() + 1, m_nextNumber.load());
    std::string path;
    FileDescriptor fd;
    if (m_outputRoot.empty()) m_outputRoot = OutputRootOf(GetStore());
    for (;;) {
        path = m_location + "/" + WideToUTF8(NumberedFileName(title, number));
        if (!ConfirmOutputPath(m_outputRoot, path, logger)) {
            result.code = AddAssetCode::Failed;
            result.text = path;
            // Refused because the output folder itself is gone: no later
            // message can be written either.
            boost::system::error_code gone;
            if (!boost::filesystem::is_directory(m_outputRoot, gone)) result.systemError = ENOENT;
            return result;
        }
        // Created exclusively and kept open: the message goes through this
        // descriptor, with no second open of the path.
        std::string error;
        const CreateOutcome outcome = Platform::CreateNewFile(path, error, fd);
        const int createError = errno;
        if (outcome == CreateOutcome::Failed)
            KSDiagnostic("ERROR: Unable to create file - %s - %s\n", path.c_str(), error.c_str());
        if (outcome == CreateOutcome::Created) break;
        if (outcome == CreateOutcome::Failed) {
            result.code = AddAssetCode::Failed;
            result.text = path;
            result.systemError = createError;
            return result;
        }
        ++number;
    }
    result.text = path;

    auto file = boost::make_shared<KSDescriptorOut>(std::move(fd), path);
    const WriteResult written = email->WriteRawMessage(file);
    const bool flushed = file->Close();
    if (written == WriteResult::Ok && flushed) {
        result.code = AddAssetCode::Written;
    } else if (written == WriteResult::StreamFailed || written == WriteResult::Ok) {
        result.code = AddAssetCode::StreamFailed;
        result.systemError = file->Error();
    } else {
        result.code = AddAssetCode::Failed;
    }

    if (result.code != AddAssetCode::Written) {
        // A cut or empty file would later be read back as a message; the
        // item is reported as failed, so nothing of it stays behind.
        file.reset();
        if (::unlink(path.c_str()) != 0 && errno != ENOENT)
            KSDiagnostic("ERROR: Unable to remove the incomplete file - %s - %s\n", path.c_str(),
                         std::strerror(errno));
        return result;
    }
    // A file manager then sorts the messages by the date they arrived. The
    // message is written whether or not the time can be set.
    if (const auto& received = email->GetState().received) {
        const struct timespec times[2] = {{static_cast<time_t>(*received), 0}, {static_cast<time_t>(*received), 0}};
        if (::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0)
            KSDiagnostic("ERROR: Unable to set the file time - %s - %s\n", path.c_str(), std::strerror(errno));
    }
    {
        AddToAssetCount(1);
        int64_t next = m_nextNumber.load();
        while (next < number + 1 && !m_nextNumber.compare_exchange_weak(next, number + 1)) {
        }
    }
    return result;
}

boost::shared_ptr<IAssetFolderMutable> EMLAssetFolder::CreateSubFolder(const std::wstring& name,
                                                                       unsigned kind,
                                                                       const std::string& sourceId)
{
    boost::lock_guard<boost::recursive_mutex> guard(Mutex());
    return m_subFolderNames.FindOrMake(
        *this, name,
        [&](const std::wstring& safeName, boost::shared_ptr<IAssetFolderMutable>& made) {
            const std::string path = m_location + "/" + WideToUTF8(safeName);
            if (!ConfirmOutputPath(GetStore(), path)) return CreateOutcome::Failed;
            const CreateOutcome outcome = CreateNewDirectory(path);
            if (outcome != CreateOutcome::Created) return outcome;
            auto folder = boost::make_shared<EMLAssetFolder>(path, GetStore(), shared_from_this(), false);
            AddChild(folder);
            made = folder;
            return CreateOutcome::Created;
        });
}

boost::shared_ptr<IAssetFolder> EMLAssetFolder::FindMappedSubFolder(const std::wstring& wishedName)
{
    boost::lock_guard<boost::recursive_mutex> guard(Mutex());
    return m_subFolderNames.Find(*this, wishedName);
}

}  // namespace KestrinMIMEEngineCommon
