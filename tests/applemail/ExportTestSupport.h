// Helpers of the end-to-end export tests: a logger that keeps the conversion
// log, an export of folders as the application runs it, and what an export
// wrote below its output folder.
#pragma once

#include <map>
#include <string>

#include <boost/filesystem.hpp>
#include <boost/make_shared.hpp>
#include <gtest/gtest.h>

#include "assets/IAssetFolder.h"
#include "assets/IAssetStore.h"
#include "export/ExportCodes.h"
#include "export/ExportDriver.h"
#include "export/OutputGeneralFormatStoreProvider.h"
#include "mime/MimeServices.h"
#include "support/TestSupport.h"

namespace export_test {

class CollectingLogger : public KestrinMIMEEngineCommon::ILogger {
public:
    std::wstring text;
    void Log(const std::wstring& line, bool, bool toFile) override
    {
        if (toFile) text += line + L"\r\n";
    }
};

inline std::string SubjectOf(const std::string& bytes)
{
    using namespace KestrinMIMEEngineCommon;
    GMimeMessagePtr message =
        ParseMimeMessageFromBuffer(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    const char* subject = message ? g_mime_message_get_subject(message.get()) : nullptr;
    return subject ? subject : "";
}

// Every folder below the store's root, parents before children, as the
// application selects them for an export.
inline std::vector<boost::shared_ptr<KestrinMIMEEngineCommon::IAssetFolder>> AllFolders(
    KestrinMIMEEngineCommon::IAssetStore& store)
{
    using KestrinMIMEEngineCommon::IAssetFolder;
    std::vector<boost::shared_ptr<IAssetFolder>> folders;
    std::vector<boost::shared_ptr<IAssetFolder>> pending = store.GetRootFolder()->GetSubFolders();
    while (!pending.empty()) {
        auto folder = pending.front();
        pending.erase(pending.begin());
        folders.push_back(folder);
        for (const auto& child : folder->GetSubFolders()) pending.push_back(child);
    }
    return folders;
}

// Exports the folders below output through the driver as the application
// does (hierarchy kept, new messages), the conversion log going to logger;
// every output file is closed on return. foldersStarted receives the
// driver's folder counter.
inline KestrinMIMEEngineCommon::ExportSummary ExportFolders(
    const std::vector<boost::shared_ptr<KestrinMIMEEngineCommon::IAssetFolder>>& folders,
    const boost::filesystem::path& output, KestrinMIMEEngineCommon::ExportTarget target,
    const boost::shared_ptr<KestrinMIMEEngineCommon::ILogger>& logger, int64_t* foldersStarted = nullptr)
{
    using namespace KestrinMIMEEngineCommon;
    auto provider =
        boost::make_shared<OutputGeneralFormatStoreProvider>(output.string(), target, std::vector<int>());
    ExportSummary summary;
    const int64_t total = static_cast<int64_t>(folders.size());
    int64_t counter = 0;
    RunExport(summary, &total, {}, folders, logger, {}, provider, kQueryKindNew, true, &counter);
    provider->CloseStores();
    if (foldersStarted) *foldersStarted = counter;
    return summary;
}

// Every message written below the output directory, in file order: whole
// .eml files, or the entries of .mbox files (split at their separator lines).
inline std::multimap<std::string, std::string> WrittenMessageList(const boost::filesystem::path& output)
{
    namespace fs = boost::filesystem;
    std::multimap<std::string, std::string> messages;
    for (fs::recursive_directory_iterator it(output), end; it != end; ++it) {
        const std::string extension = it->path().extension().string();
        if (!fs::is_regular_file(it->path())) continue;
        const std::string bytes = kestrin_test::ReadFile(it->path());
        if (extension == ".eml") {
            messages.emplace(SubjectOf(bytes), bytes);
        } else if (extension == ".mbox") {
            size_t start = 0;
            while (start < bytes.size()) {
                EXPECT_EQ(bytes.compare(start, 7, "From - "), 0) << it->path();
                const size_t body = bytes.find('\n', start) + 1;
                size_t next = bytes.find("\nFrom - ", body);
                next = next == std::string::npos ? bytes.size() : next + 1;
                const std::string entry = bytes.substr(body, next - body);
                messages.emplace(SubjectOf(entry), entry);
                start = next;
            }
        }
    }
    return messages;
}

// The same by subject (the last of equal subjects wins).
inline std::map<std::string, std::string> WrittenMessages(const boost::filesystem::path& output)
{
    std::map<std::string, std::string> messages;
    for (const auto& entry : WrittenMessageList(output)) messages[entry.first] = entry.second;
    return messages;
}

}  // namespace export_test
