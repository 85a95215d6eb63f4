#include "formats/OutputPaths.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <boost/filesystem.hpp>
#include <boost/lexical_cast.hpp>

#include "formats/FormatsSupport.h"
#include "mime/KSCharsets.h"
#include "mime/MakeSafeName.h"
#include "streams/KSDiagnostics.h"
#include "streams/KSFileSystem.h"

namespace fs = boost::filesystem;

namespace KestrinMIMEEngineCommon {

const wchar_t kUntitledFolderName[] = L"Untitled Folder";

namespace {

std::string WithoutTrailingSlashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7F; }

// Enough for any real tree; it stops a runaway search, not a user.
constexpr unsigned kMaxNumberedNames = 100000;

// The name a sub-folder of parent gets for a wished name, in the style of
// parent's store.
std::wstring SafeFolderName(AssetFolderBase& parent, const std::wstring& wishedName)
{
    return MakeSafeName(wishedName, kUntitledFolderName, NameStyleOf(parent.GetStore()));
}

}  // namespace

std::string OutputRootOf(const boost::shared_ptr<IAssetStore>& store)
{
    if (!store) return std::string();
    const std::string location = WithoutTrailingSlashes(store->GetLocation());
    boost::system::error_code ec;
    if (HasExtension(location, ".mbox") || fs::is_regular_file(location, ec)) {
        const std::string parent = fs::path(location).parent_path().string();
        return parent.empty() ? std::string(".") : parent;
    }
    return location;
}

bool LiesInside(const std::string& root, const std::string& path)
{
    const std::string base = WithoutTrailingSlashes(root);
    if (base.empty() || path.size() <= base.size() + 1) return false;
    if (path.compare(0, base.size(), base) != 0) return false;
    const size_t start = base == "/" ? base.size() : base.size() + 1;
    if (base != "/" && path[base.size()] != '/') return false;
    size_t begin = start;
    while (begin <= path.size()) {
        size_t end = path.find('/', begin);
        if (end == std::string::npos) end = path.size();
        const std::string name = path.substr(begin, end - begin);
        if (name.empty() || name == "." || name == "..") return false;
        for (unsigned char c : name)
            if (IsControl(c)) return false;
        begin = end + 1;
    }
    return true;
}

bool ConfirmOutputPath(const boost::shared_ptr<IAssetStore>& store, const std::string& path,
                       const boost::shared_ptr<ILogger>& logger)
{
    return ConfirmOutputPath(OutputRootOf(store), path, logger);
}

bool ConfirmOutputPath(const std::string& root, const std::string& path,
                       const boost::shared_ptr<ILogger>& logger)
{
    if (LiesInside(root, path)) return true;
    KSDiagnostic("ERROR: Refused to write outside the output folder - %s\n", path.c_str());
    if (logger)
        logger->Log(L"ERROR: Refused to write outside the output folder: " + UTF8ToWide(path), true,
                    true);
    return false;
}

namespace {

// One place turns a failed creation into its diagnostic line.
CreateOutcome Reported(const char* what, const std::string& path, CreateOutcome outcome,
                       const std::string& error)
{
    if (outcome == CreateOutcome::Failed)
        KSDiagnostic("ERROR: Unable to create %s - %s - %s\n", what, path.c_str(), error.c_str());
    return outcome;
}

}  // namespace

CreateOutcome CreateNewFile(const std::string& path)
{
    std::string error;
    return Reported("file", path, Platform::CreateNewFile(path, error), error);
}

CreateOutcome CreateNewFile(const std::string& path, int& fd)
{
    std::string error;
    return Reported("file", path, Platform::CreateNewFile(path, error, fd), error);
}

CreateOutcome CreateNewDirectory(const std::string& path)
{
    std::string error;
    const CreateOutcome outcome = Platform::CreateNewDirectory(path, error);
    if (outcome == CreateOutcome::Created) KSFileSystem::SetCreatedFolderMode(path);
    return Reported("directory", path, outcome, error);
}

bool SubFolderNames::Claimed(const IAssetFolder* folder) const
{
    auto claimed = m_claimed.find(folder);
    return claimed != m_claimed.end() && !claimed->second.expired();
}

void SubFolderNames::Claim(const std::wstring& wishedName,
                           const boost::shared_ptr<IAssetFolderMutable>& folder)
{
    m_folders[wishedName] = folder;
    m_claimed[folder.get()] = folder;
}

boost::shared_ptr<IAssetFolderMutable> SubFolderNames::Find(AssetFolderBase& parent,
                                                            const std::wstring& wishedName)
{
    auto known = m_folders.find(wishedName);
    if (known != m_folders.end()) {
        if (auto folder = known->second.lock()) return folder;
    }
    // A folder that was on disk before (a tree opened again) belongs to the
    // first wished name that sanitises to exactly its name.
    const std::wstring safeName = SafeFolderName(parent, wishedName);
    auto onDisk = boost::dynamic_pointer_cast<IAssetFolderMutable>(parent.FindSubFolder(safeName));
    if (!onDisk || Claimed(onDisk.get())) return {};
    Claim(wishedName, onDisk);
    return onDisk;
}

boost::shared_ptr<IAssetFolderMutable> SubFolderNames::FindOrMake(AssetFolderBase& parent,
                                                                  const std::wstring& wishedName,
                                                                  const MakeFolder& make)
{
    if (auto found = Find(parent, wishedName)) return found;

    const std::wstring safeName = SafeFolderName(parent, wishedName);
    std::wstring name = safeName;
    for (unsigned n = 1; n <= kMaxNumberedNames;
         name = safeName + L" (" + boost::lexical_cast<std::wstring>(n++) + L")") {
        if (parent.HasSubFolderNamedAlike(name)) continue;
        boost::shared_ptr<IAssetFolderMutable> made;
        const CreateOutcome outcome = make(name, made);
        if (outcome == CreateOutcome::Taken) continue;
        if (outcome == CreateOutcome::Failed || !made) return {};
        Claim(wishedName, made);
        return made;
    }
    return {};
}

}  // namespace KestrinMIMEEngineCommon
