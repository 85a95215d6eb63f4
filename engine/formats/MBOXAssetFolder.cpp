#include "formats/MBOXAssetFolder.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include <boost/algorithm/string/predicate.hpp>
#include <boost/filesystem.hpp>
#include <boost/make_shared.hpp>
#include <boost/thread/lock_guard.hpp>

#include "assets/IAssetStore.h"
#include "formats/FileTreeStoreBase.h"
#include "formats/MBOXAssetFolderIterator.h"
#include "formats/MboxWriter.h"
#include "mime/KSCharsets.h"
#include "mime/MakeSafeName.h"
#include "streams/KSDiagnostics.h"
#include "streams/Platform.h"

namespace fs = boost::filesystem;

namespace KestrinMIMEEngineCommon {

namespace {

std::wstring StemOf(const std::string& path)
{
    return UTF8ToWide(fs::path(path).stem().string());
}

std::string ParentDirectoryOf(const std::string& path)
{
    const std::string parent = fs::path(path).parent_path().string();
    return parent.empty() ? std::string(".") : parent;
}

}  // namespace

MBOXAssetFolder::MBOXAssetFolder(const std::string& path, const std::wstring& name,
                                 const boost::shared_ptr<IAssetStore>& store,
                                 const boost::shared_ptr<IAssetFolder>& parent,
                                 bool isDefaultFolder, bool isBundle)
    : MBOXAssetFolder(path, isBundle ? path + "/mbox" : path, name, store, parent, isDefaultFolder)
{
    m_isBundle = isBundle;
}

MBOXAssetFolder::MBOXAssetFolder(const std::string& path, const std::string& mailboxPath,
                                 const std::wstring& name,
                                 const boost::shared_ptr<IAssetStore>& store,
                                 const boost::shared_ptr<IAssetFolder>& parent,
                                 bool isDefaultFolder)
    : AssetFolderBase(name.empty() ? StemOf(path) : name, path, store, parent, isDefaultFolder),
      m_mailboxPath(mailboxPath),
      m_isBundle(false)
{
    if (parent) SetFolderKind(kFolderKindMail);
}

MBOXAssetFolder::~MBOXAssetFolder() = default;

void MBOXAssetFolder::CreatedMailbox::Put(const std::string& path, FileDescriptor fd)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    m_path = path;
    m_fd = std::move(fd);
}

FileDescriptor MBOXAssetFolder::CreatedMailbox::Take(const std::string& path)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    if (!m_fd || m_path != path) return {};
    m_path.clear();
    return std::move(m_fd);
}

Status MBOXAssetFolder::RefreshAssetCount()
{
    boost::lock_guard<boost::recursive_mutex> guard(Mutex());
    boost::system::error_code ec;
    const fs::file_status status = fs::status(m_mailboxPath, ec);
    if (fs::exists(status) && !fs::is_directory(status)) {
        const auto size = fs::file_size(m_mailboxPath, ec);
        if (!ec) SetAssetCount(static_cast<int64_t>(size));
    }
    return Status::Succeeded;
}

boost::shared_ptr<IAssetIterator> MBOXAssetFolder::GetAssetIterator(
    unsigned queryKind, const boost::shared_ptr<IProgressPresenter>& presenter,
    const boost::shared_ptr<ICancelable>& cancelable, const boost::shared_ptr<ILogger>& logger)
{
    if (queryKind != kQueryKindNew) return {};
    return boost::make_shared<MBOXAssetFolderIterator>(
        presenter, cancelable, logger,
        boost::static_pointer_cast<MBOXAssetFolder>(shared_from_this()));
}

std::string MBOXAssetFolder::SubFolderPathFor(const std::wstring& safeName)
{
    const std::string name = WideToUTF8(safeName);
    if (GetFolderKind() == kFolderKindRoot) return ParentDirectoryOf(m_location) + "/" + name;
    boost::system::error_code ec;
    if (fs::is_directory(m_location, ec) &&
        !boost::algorithm::iequals(fs::path(m_mailboxPath).filename().string(), "mbox")) {
        return m_location + "/" + name;
    }
    return ParentDirectoryOf(m_location) + "/" + fs::path(m_location).stem().string() + "/" + name;
}

boost::shared_ptr<IAssetFolderMutable> MBOXAssetFolder::CreateSubFolder(const std::wstring& name,
                                                                        unsigned kind,
                                                                        const std::string& sourceId)
{
    boost::lock_guard<boost::recursive_mutex> guard(Mutex());
    return m_subFolderNames.FindOrMake(
        *this, name,
        [&](const std::wstring& safeName, boost::shared_ptr<IAssetFolderMutable>& made) {
            const std::string path = SubFolderPathFor(safeName);
            // A root's own mailbox lies in the directory its sub-folders go
            // to, named after that directory: a sub-folder of the same name
            // would share that file (plain files) or be blocked by it
            // (bundles).
            if (GetFolderKind() == kFolderKindRoot &&
                FileSystemNameKey(UTF8ToWide(path + ".mbox")) == FileSystemNameKey(UTF8ToWide(m_location)))
                return CreateOutcome::Taken;
            auto folder = CreateFolderObject(path, safeName, GetStore(), shared_from_this(), false);
            if (!folder) return CreateOutcome::Failed;
            folder->m_created = m_created;
            // Every created folder gets its (empty) mailbox file at once,
            // and it must be a new file: appending to one found there
            // would change a file this export did not make.
            const CreateOutcome outcome = folder->CreateMailboxFile();
            if (outcome != CreateOutcome::Created) return outcome;
            AddChild(folder);
            if (kind == kFolderKindGeneric || kind == 8) folder->SetFolderKind(static_cast<int>(kind));
            made = folder;
            return CreateOutcome::Created;
        });
}

boost::shared_ptr<IAssetFolder> MBOXAssetFolder::FindMappedSubFolder(const std::wstring& wishedName)
{
    boost::lock_guard<boost::recursive_mutex> guard(Mutex());
    return m_subFolderNames.Find(*this, wishedName);
}

bool MBOXAssetFolder::OutputFolderGone()
{
    boost::system::error_code ec;
    const std::string storeLocation = GetStore() ? GetStore()->GetLocation() : std::string();
    return !storeLocation.empty() && !fs::exists(storeLocation, ec);
}

CreateOutcome MBOXAssetFolder::CreateMailboxFile()
{
    if (!ConfirmOutputPath(GetStore(), m_mailboxPath)) return CreateOutcome::Failed;
    // An output folder removed or moved during the run must not come back
    // as a new, partial one.
    if (OutputFolderGone()) {
        KSDiagnostic("ERROR: The output folder is gone: %s\n", m_mailboxPath.c_str());
        return CreateOutcome::Failed;
    }
    const fs::path parent = fs::path(m_mailboxPath).parent_path();
    boost::system::error_code ec;
    if (!parent.empty() && !fs::exists(parent, ec)) CreateDirectoryTree(parent.string());
    FileDescriptor fd;
    const CreateOutcome outcome = CreateNewFile(m_mailboxPath, fd);
    if (outcome == CreateOutcome::Created) {
        m_mailboxMade = true;
        m_created->Put(m_mailboxPath, std::move(fd));
    }
    return outcome;
}

bool MBOXAssetFolder::OpenForWriting(const boost::shared_ptr<ILogger>& logger)
{
    boost::lock_guard<boost::recursive_mutex> guard(Mutex());
    if (m_open) return true;
    // The file this folder has just created is written through the
    // descriptor that created it, as long as the path still leads to that
    // file; it is new and empty.
    FileDescriptor fd = m_created->Take(m_mailboxPath);
    if (fd && !Platform::IsSameFile(fd.Get(), m_mailboxPath)) fd.Reset();
    int64_t start = 0;
    if (!fd) {
        const fs::path parent = fs::path(m_mailboxPath).parent_path();
        boost::system::error_code ec;
        // Directories are made only for a mailbox not made yet, and only
        // inside an output folder that is still there: an output folder
        // removed or moved during the run must not come back as a new,
        // partial one, and a mailbox file that went away must not restart
        // empty.
        const bool made = m_mailboxMade;
        if (OutputFolderGone() || (made && !fs::exists(m_mailboxPath, ec))) {
            KSDiagnostic("ERROR: The output folder or mailbox is gone: %s\n", m_mailboxPath.c_str());
            if (logger)
                logger->Log(L"Error while opening file (the output folder was moved or removed): " +
                                UTF8ToWide(m_mailboxPath),
                            true, true);
            return false;
        }
        if (!made && !parent.empty() && !fs::exists(parent, ec)) CreateDirectoryTree(parent.string());
        fd.Reset(::open(m_mailboxPath.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666));
        // Where the first entry begins: the end of what is there.
        const off_t end = fd ? ::lseek(fd.Get(), 0, SEEK_END) : -1;
        if (end < 0) {
            if (logger) logger->Log(L"Error while opening file: " + UTF8ToWide(m_mailboxPath), true, true);
            return false;
        }
        start = static_cast<int64_t>(end);
    }
    m_buffer = std::make_unique<KSDescriptorStreamBuf>(std::move(fd), m_mailboxPath, start);
    m_stream.rdbuf(m_buffer.get());
    m_stream.clear();
    m_entryStart = start;
    m_open = true;
    m_mailboxMade = true;
    return true;
}

bool MBOXAssetFolder::ReleaseMailbox()
{
    const bool written = !m_stream.fail() && m_buffer->Close();
    m_stream.rdbuf(nullptr);
    m_buffer.reset();
    m_open = false;
    return written;
}

void MBOXAssetFolder::CloseMailbox(const boost::shared_ptr<ILogger>& logger)
{
    boost::lock_guard<boost::recursive_mutex> guard(Mutex());
    if (!m_open) return;
    if (!ReleaseMailbox()) {
        KSDiagnostic("ERROR: Error while writing file: %s\n", m_mailboxPath.c_str());
        if (logger) logger->Log(L"Error while writing file: " + UTF8ToWide(m_mailboxPath), true, true);
    }
}

bool MBOXAssetFolder::BeginAddAssets(const boost::shared_ptr<IAssetFolder>& source,
                                     const boost::shared_ptr<IProgressPresenter>& presenter,
                                     const boost::shared_ptr<ILogger>& logger)
{
    if (!AssetFolderBase::BeginAddAssets(source, presenter, logger)) return false;
    if (GetFolderKind() == kFolderKindMail) OpenForWriting(logger);
    return true;
}

void MBOXAssetFolder::EndAddAssets(const boost::shared_ptr<IAssetFolder>& source,
                                   const boost::shared_ptr<IProgressPresenter>& presenter,
                                   const boost::shared_ptr<ILogger>& logger)
{
    CloseMailbox(logger);
    AssetFolderBase::EndAddAssets(source, presenter, logger);
}

AddAssetResult MBOXAssetFolder::AddAsset(const boost::shared_ptr<IAsset>& asset,
                                         const boost::shared_ptr<IProgressPresenter>& presenter,
                                         const boost::shared_ptr<ILogger>& logger,
                                         const boost::shared_ptr<ICancelable>& cancelable,
                                         const std::string& assetId)
{
    auto email = boost::dynamic_pointer_cast<IEmailAsset>(asset);
    if (!email) {
        auto store = GetStoreMutable();
        auto target = store && asset ? store->GetDefaultFolderMutable(asset->GetAssetType(), true)
                                     : boost::shared_ptr<IAssetFolderMutable>();
        if (target && target.get() != static_cast<IAssetFolderMutable*>(this))
            return target->AddAsset(asset, presenter, logger, cancelable, assetId);
        return AddAssetResult{AddAssetCode::Failed, {}};
    }

    boost::lock_guard<boost::recursive_mutex> guard(Mutex());
    if (!OpenForWriting(logger)) {
        // Refused because the output folder itself is gone: no later
        // message can be written either.
        boost::system::error_code gone;
        const bool removed = !fs::is_directory(fs::path(m_mailboxPath).parent_path(), gone);
        return AddAssetResult{AddAssetCode::Failed, {}, removed ? ENOENT : 0};
    }
    const int64_t sizeBefore = m_entryStart;
    const auto store = boost::dynamic_pointer_cast<FileTreeStoreBase>(GetStore());
    const std::string stateLines =
        store && store->WritesState() ? MboxStateLines(email->GetState()) : std::string();
    const WriteResult written =
        stateLines.empty() ? email->WriteMBOXMessage(m_stream) : email->WriteMBOXEntry(m_stream, stateLines);
    if (written == WriteResult::Ok) {
        // Every byte went out: the position is the file's end.
        m_entryStart = m_buffer->Position();
        return AddAssetResult{AddAssetCode::Written, {}};
    }

    // Take the broken entry back off: a half-written entry would swallow the
    // separator of the next one. The file is opened again for the next item.
    const int systemError = m_buffer->Error();
    ReleaseMailbox();
    if (sizeBefore >= 0) {
        boost::system::error_code ec;
        fs::resize_file(m_mailboxPath, static_cast<uintmax_t>(sizeBefore), ec);
    }
    KSDiagnostic("ERROR: Error while writing file: %s\n", m_mailboxPath.c_str());
    return AddAssetResult{written == WriteResult::StreamFailed ? AddAssetCode::StreamFailed : AddAssetCode::Failed,
                          {}, systemError};
}

boost::shared_ptr<MBOXAssetFolder> MBOXAssetFolder::CreateFolderObject(
    const std::string& path, const std::wstring& name, const boost::shared_ptr<IAssetStore>& store,
    const boost::shared_ptr<IAssetFolder>& parent, bool isDefaultFolder)
{
    const bool bundle = store && store->GetStoreKind() == StoreKind::MboxArchive;
    return boost::make_shared<MBOXAssetFolder>(path + ".mbox", name, store, parent,
                                               isDefaultFolder, bundle);
}

bool MBOXAssetFolder::IsAssetFile(const std::string& path)
{
    return HasExtension(path, ".mbox");
}

}  // namespace KestrinMIMEEngineCommon
