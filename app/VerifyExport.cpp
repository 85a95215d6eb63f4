#include "app/VerifyExport.h"

#include <algorithm>

#include <boost/algorithm/string/predicate.hpp>
#include <boost/filesystem.hpp>
#include <boost/make_shared.hpp>

#include "formats/FormatsSupport.h"
#include "formats/MBOXAssetFolder.h"

namespace KestrinApp {

using namespace KestrinMIMEEngineCommon;
namespace fs = boost::filesystem;

namespace {

// A ".eml" file counts when it holds bytes: the writers put each message
// into its file as the source held it, so a message without headers, or one
// a MIME reader would refuse, is still the message written. An empty file
// (a write that never began) is no message, whatever its name.
int64_t CountEmlFiles(const std::string& directory, std::string* reason)
{
    boost::system::error_code error;
    if (!fs::is_directory(directory, error)) {
        if (reason) *reason = "the folder is missing";
        return -1;
    }
    int64_t count = 0;
    for (fs::directory_iterator it(directory, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (boost::algorithm::starts_with(name, "._") || !HasExtension(name, ".eml")) continue;
        boost::system::error_code sizeError;
        if (!fs::is_regular_file(it->path(), sizeError)) continue;
        const auto size = fs::file_size(it->path(), sizeError);
        if (!sizeError && size > 0) ++count;
    }
    if (error) {
        if (reason) *reason = "the folder could not be read: " + error.message();
        return -1;
    }
    return count;
}

int64_t CountMailboxEntries(const std::string& path, std::string* reason)
{
    boost::system::error_code error;
    if (!fs::is_regular_file(path, error)) {
        if (reason) *reason = "the mailbox file is missing";
        return -1;
    }
    auto folder = boost::make_shared<MBOXAssetFolder>(path, std::wstring(), nullptr, nullptr,
                                                      false, false);
    const auto iterator = folder->GetAssetIterator(kQueryKindNew, {}, {}, {});
    if (!iterator) {
        if (reason) *reason = "the mailbox file could not be read";
        return -1;
    }
    int64_t count = 0;
    for (iterator->Begin(); iterator->HasCurrent(); iterator->Increment()) {
        const auto result = iterator->GetCurrent();
        if (result && result->GetStatus() == kQueryStatusReadable && result->GetAsset()) ++count;
    }
    return count;
}

// A Maildir's messages are the files of its cur/ and new/ that hold bytes;
// names beginning with "." are no messages there. A Maildir without cur/
// cannot be opened by its readers at all.
int64_t CountMaildirFiles(const std::string& directory, std::string* reason)
{
    boost::system::error_code error;
    if (!fs::is_directory(directory + "/cur", error)) {
        if (reason) *reason = "the Maildir is missing or has no cur folder";
        return -1;
    }
    int64_t count = 0;
    for (const char* part : {"/cur", "/new"}) {
        for (fs::directory_iterator it(directory + part, error), end; !error && it != end;
             it.increment(error)) {
            if (it->path().filename().string().front() == '.') continue;
            boost::system::error_code sizeError;
            if (!fs::is_regular_file(it->symlink_status(sizeError))) continue;
            const auto size = fs::file_size(it->path(), sizeError);
            if (!sizeError && size > 0) ++count;
        }
        if (error && error != boost::system::errc::no_such_file_or_directory) {
            if (reason) *reason = "the Maildir could not be read: " + error.message();
            return -1;
        }
        error.clear();
    }
    return count;
}

}  // namespace

int64_t CountMessagesInOutput(const ExportOutputRecord& output, std::string* reason)
{
    switch (output.kind) {
    case ExportOutputRecord::Kind::Mailbox: return CountMailboxEntries(output.path, reason);
    case ExportOutputRecord::Kind::Maildir: return CountMaildirFiles(output.path, reason);
    case ExportOutputRecord::Kind::EmlDirectory: break;
    }
    return CountEmlFiles(output.path, reason);
}

VerifyResult VerifyExport(const ExportRecord& record)
{
    VerifyResult result;
    for (const ExportOutputRecord& output : record.outputs) {
        VerifiedFolder folder;
        folder.outputPath = output.path;
        folder.sourcePaths = output.sourcePaths;
        folder.processed = output.written;
        std::string reason;
        const int64_t found = CountMessagesInOutput(output, &reason);
        folder.found = found < 0 ? 0 : found;
        if (found < 0)
            folder.problem = reason;
        else if (found != output.written)
            folder.problem = std::to_string(output.written) + " written, " + std::to_string(found) +
                             " found";
        if (!folder.Agrees()) result.ok = false;
        result.folders.push_back(std::move(folder));
    }
    return result;
}

std::string VerifyText(const VerifyResult& result)
{
    std::string text;
    for (const VerifiedFolder& folder : result.folders) {
        text += (folder.Agrees() ? "Verified: " : "DIFFERENCE: ") + folder.outputPath + ": " +
                std::to_string(folder.processed) + " processed, " + std::to_string(folder.found) +
                " found";
        if (!folder.Agrees()) text += " (" + folder.problem + ")";
        text += "\n";
    }
    if (result.ok)
        text += "Every output folder holds the messages written to it.\n";
    else
        text += "The output does not hold every message written: see DIFFERENCE above.\n";
    return text;
}

}  // namespace KestrinApp
