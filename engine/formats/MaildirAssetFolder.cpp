#include "formats/MaildirAssetFolder.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fstream>
#include <vector>

#include <boost/algorithm/string/predicate.hpp>
#include <boost/filesystem.hpp>
#include <boost/make_shared.hpp>
#include <boost/thread/lock_guard.hpp>

#include "formats/FormatsSupport.h"
#include "formats/MaildirNames.h"
#include "formats/MessageHead.h"
#include "mime/KSCharsets.h"
#include "streams/KSDescriptorOut.h"
#include "streams/KSDiagnostics.h"
#include "streams/Platform.h"

namespace fs = boost::filesystem;

namespace KestrinMIMEEngineCommon {

namespace {

// Deliveries of this process, for the unique part of file names: with the
// process id it tells apart every message written, whatever their times.
std::atomic<uint64_t> g_deliveries{0};

std::string NextUnique()
{
    return "P" + std::to_string(::getpid()) + "Q" + std::to_string(++g_deliveries);
}

// A header block longer than this is no mail a reader would take; the Date
// field is looked for within it.
constexpr size_t kHeadBytes = 256 * 1024;

// The Date header of the message written at path, when it has one.
boost::optional<int64_t> DateOfWrittenMessage(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<char> head(kHeadBytes);
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    const size_t length = static_cast<size_t>(in.gcount());
    const auto* bytes = reinterpret_cast<const uint8_t*>(head.data());
    const MessageHead parsed = HeadOfRawMessage(bytes, HeaderBlockLength(bytes, length));
    if (!parsed.summary.hasDate) return boost::none;
    return parsed.summary.date;
}

void RemoveFile(const std::string& path, const char* what)
{
    if (::unlink(path.c_str()) != 0 && errno != ENOENT)
        KSDiagnostic("ERROR: Unable to remove the %s - %s - %s\n", what, path.c_str(),
                     std::strerror(errno));
}

}  // namespace

bool MakeMaildirDirectories(const std::string& directory, bool subFolder)
{
    for (const char* part : {"cur", "new", "tmp"}) {
        if (!CreateSingleDirectory(directory + "/" + part)) {
            KSDiagnostic("ERROR: Unable to create the Maildir directory - %s/%s\n",
                         directory.c_str(), part);
            return false;
        }
    }
    if (subFolder) {
        const std::string marker = directory + "/maildirfolder";
        std::string error;
        if (Platform::CreateNewFile(marker, error) == CreateOutcome::Failed) {
            KSDiagnostic("ERROR: Unable to create file - %s - %s\n", marker.c_str(), error.c_str());
            return false;
        }
    }
    return true;
}

MaildirAssetFolder::MaildirAssetFolder(const std::string& directory, const std::string& dottedName,
                                       const std::wstring& name,
                                       const boost::shared_ptr<IAssetStore>& store,
                                       const boost::shared_ptr<IAssetFolder>& parent,
                                       bool isDefaultFolder)
    : AssetFolderBase(name, directory, store, parent, isDefaultFolder), m_dottedName(dottedName)
{
    SetFolderKind(kFolderKindMail);
}

MaildirAssetFolder::~MaildirAssetFolder() = default;

std::wstring MaildirAssetFolder::GetPath()
{
    const auto store = GetStore();
    if (m_dottedName.empty() || (store && m_location == store->GetLocation())) return L"/";
    return L"/" + UTF8ToWide(m_dottedName) + L"/";
}

Status MaildirAssetFolder::RefreshAssetCount()
{
    boost::lock_guard<boost::recursive_mutex> guard(Mutex());
    int64_t count = 0;
    for (const char* part : {"/cur", "/new"}) {
        boost::system::error_code ec;
        for (fs::directory_iterator it(m_location + part, ec), end; !ec && it != end;
             it.increment(ec)) {
            if (it->path().filename().string().front() == '.') continue;
            boost::system::error_code kindError;
            if (fs::is_regular_file(it->symlink_status(kindError))) ++count;
        }
    }
    SetAssetCount(count);
    return Status::Succeeded;
}

AddAssetResult MaildirAssetFolder::AddAsset(const boost::shared_ptr<IAsset>& asset,
                                            const boost::shared_ptr<IProgressPresenter>& presenter,
                                            const boost::shared_ptr<ILogger>& logger,
                                            const boost::shared_ptr<ICancelable>& cancelable,
                                            const std::string& assetId)
{
    AddAssetResult result;
    result.code = AddAssetCode::Failed;
    auto email = boost::dynamic_pointer_cast<IEmailAsset>(asset);
    if (!email) return result;  // nothing written: never reported as converted

    if (m_outputRoot.empty()) {
        m_outputRoot = OutputRootOf(GetStore());
        m_host = MaildirHostName();
    }

    // The Maildir way: the file is written under tmp/ and appears in cur/
    // only whole, so a reader never sees half a message.
    std::string unique = NextUnique();
    std::string tmpPath;
    FileDescriptor fd;
    for (;;) {
        tmpPath = m_location + "/tmp/" + std::to_string(std::time(nullptr)) + "." + unique + "." + m_host;
        if (!ConfirmOutputPath(m_outputRoot, tmpPath, logger)) {
            result.text = tmpPath;
            return result;
        }
        std::string error;
        const CreateOutcome outcome = Platform::CreateNewFile(tmpPath, error, fd);
        if (outcome == CreateOutcome::Created) break;
        if (outcome == CreateOutcome::Failed) {
            KSDiagnostic("ERROR: Unable to create file - %s - %s\n", tmpPath.c_str(), error.c_str());
            result.text = tmpPath;
            return result;
        }
        unique = NextUnique();
    }

    auto file = boost::make_shared<KSDescriptorOut>(std::move(fd), tmpPath);
    const WriteResult written = email->WriteRawMessage(file);
    const bool flushed = file->Close();
    file.reset();
    if (written != WriteResult::Ok || !flushed) {
        result.code = (written == WriteResult::Short) ? AddAssetCode::Failed : AddAssetCode::StreamFailed;
        result.text = tmpPath;
        RemoveFile(tmpPath, "incomplete file");
        return result;
    }

    const MessageState& state = asset->GetState();
    boost::optional<int64_t> received = state.received;
    if (!received) received = DateOfWrittenMessage(tmpPath);
    int64_t seconds = received ? *received : static_cast<int64_t>(std::time(nullptr));
    if (received) {
        // Readers take the file's time as the date the message arrived
        // (Dovecot's INTERNALDATE), and file managers sort by it.
        boost::system::error_code timeError;
        fs::last_write_time(tmpPath, static_cast<std::time_t>(seconds), timeError);
        if (timeError)
            KSDiagnostic("ERROR: Unable to set the file time - %s - %s\n", tmpPath.c_str(),
                         timeError.message().c_str());
    }

    const std::string info = MaildirInfo(state);
    std::string curPath;
    for (;;) {
        curPath = m_location + "/cur/" + MaildirFileName(seconds, unique, m_host, info);
        if (!ConfirmOutputPath(m_outputRoot, curPath, logger)) {
            RemoveFile(tmpPath, "unfinished file");
            result.text = curPath;
            return result;
        }
        // A hard link never replaces a file already there, as a rename
        // would; the name is taken and the file placed in one step.
        boost::system::error_code linkError;
        fs::create_hard_link(tmpPath, curPath, linkError);
        if (!linkError) {
            RemoveFile(tmpPath, "delivered file's temporary name");
            break;
        }
        if (linkError == boost::system::errc::file_exists) {
            unique = NextUnique();
            continue;
        }
        // File systems without hard links: a rename, once the name is seen
        // to be free.
        boost::system::error_code existsError;
        if (!fs::exists(fs::symlink_status(curPath, existsError)) && !existsError) {
            boost::system::error_code renameError;
            fs::rename(tmpPath, curPath, renameError);
            if (!renameError) break;
            linkError = renameError;
        }
        KSDiagnostic("ERROR: Unable to move the message into cur - %s - %s\n", curPath.c_str(),
                     linkError.message().c_str());
        RemoveFile(tmpPath, "unfinished file");
        result.text = curPath;
        return result;
    }

    result.code = AddAssetCode::Written;
    result.text = curPath;
    AddToAssetCount(1);
    return result;
}

boost::shared_ptr<IAssetFolderMutable> MaildirAssetFolder::CreateSubFolder(const std::wstring& name,
                                                                           unsigned kind,
                                                                           const std::string& sourceId)
{
    boost::lock_guard<boost::recursive_mutex> guard(Mutex());
    return m_subFolderNames.FindOrMake(
        *this, name,
        [&](const std::wstring& safeName, boost::shared_ptr<IAssetFolderMutable>& made) {
            const auto store = GetStore();
            if (m_dottedName.empty() && boost::algorithm::iequals(safeName, L"INBOX")) {
                // Readers take the root Maildir for INBOX and hide a ".INBOX"
                // (".Inbox") directory: the source's own inbox is written
                // into the root, its sub-folders below ".INBOX".
                auto inbox = boost::make_shared<MaildirAssetFolder>(m_location, ".INBOX", safeName,
                                                                    store, shared_from_this(), false);
                inbox->SetAssetCount(0);
                AddChild(inbox);
                made = inbox;
                return CreateOutcome::Created;
            }
            const std::string dotted = m_dottedName + "." + MaildirFolderLevel(safeName);
            const std::string path = (store ? store->GetLocation() : std::string()) + "/" + dotted;
            if (!ConfirmOutputPath(store, path)) return CreateOutcome::Failed;
            const CreateOutcome outcome = CreateNewDirectory(path);
            if (outcome != CreateOutcome::Created) return outcome;
            if (!MakeMaildirDirectories(path, true)) return CreateOutcome::Failed;
            auto folder = boost::make_shared<MaildirAssetFolder>(path, dotted, safeName, store,
                                                                 shared_from_this(), false);
            folder->SetAssetCount(0);
            AddChild(folder);
            made = folder;
            return CreateOutcome::Created;
        });
}

boost::shared_ptr<IAssetFolder> MaildirAssetFolder::FindMappedSubFolder(const std::wstring& wishedName)
{
    boost::lock_guard<boost::recursive_mutex> guard(Mutex());
    return m_subFolderNames.Find(*this, wishedName);
}

}  // namespace KestrinMIMEEngineCommon
