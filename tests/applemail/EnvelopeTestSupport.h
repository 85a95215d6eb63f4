// Helpers of the Envelope Index tests: a logger that keeps its lines, the
// folder tree as a map by path, and a whole listing of one folder.
#pragma once

#include <map>
#include <string>
#include <vector>

#include <boost/make_shared.hpp>
#include <boost/shared_ptr.hpp>

#include "assets/IAssetFolder.h"
#include "assets/ILogger.h"
#include "export/ExportDriver.h"
#include "export/OutputGeneralFormatStoreProvider.h"
#include "mime/KSCharsets.h"

namespace envelope_test {

class CollectingLogger : public KestrinMIMEEngineCommon::ILogger {
public:
    void Log(const std::wstring& text, bool toReport, bool toFile) override
    {
        lines.push_back(text);
    }
    std::vector<std::wstring> lines;
};

// Every folder of the tree below root (root included) by its path in UTF-8.
inline std::map<std::string, boost::shared_ptr<KestrinMIMEEngineCommon::IAssetFolder>> FoldersByPath(
    const boost::shared_ptr<KestrinMIMEEngineCommon::IAssetFolder>& root)
{
    std::map<std::string, boost::shared_ptr<KestrinMIMEEngineCommon::IAssetFolder>> out;
    std::vector<boost::shared_ptr<KestrinMIMEEngineCommon::IAssetFolder>> pending{root};
    while (!pending.empty()) {
        auto folder = pending.back();
        pending.pop_back();
        if (!folder)
            continue;
        out[KestrinMIMEEngineCommon::WideToUTF8(folder->GetPath())] = folder;
        for (const auto& sub : folder->GetSubFolders())
            pending.push_back(sub);
    }
    return out;
}

// Mailboxes in tree order, parents before children, as the user ticks them.
inline void CollectMailboxes(const boost::shared_ptr<KestrinMIMEEngineCommon::IAssetFolder>& folder,
                             std::vector<boost::shared_ptr<KestrinMIMEEngineCommon::IAssetFolder>>& out)
{
    if (folder->GetFolderKind() == KestrinMIMEEngineCommon::kFolderKindMail)
        out.push_back(folder);
    for (const auto& sub : folder->GetSubFolders())
        CollectMailboxes(sub, out);
}

// Exports the folders to a general-format target (mbox or EML) below output
// as the application does, counting folders into counter; the stores are
// closed and released on return.
inline KestrinMIMEEngineCommon::ExportSummary ExportFolders(
    const std::vector<boost::shared_ptr<KestrinMIMEEngineCommon::IAssetFolder>>& folders,
    const std::string& output, int target, const boost::shared_ptr<KestrinMIMEEngineCommon::ILogger>& logger,
    int64_t& counter)
{
    using namespace KestrinMIMEEngineCommon;
    auto provider = boost::make_shared<OutputGeneralFormatStoreProvider>(output, target, std::vector<int>());
    ExportSummary summary;
    const int64_t total = static_cast<int64_t>(folders.size());
    counter = 0;
    RunExport(summary, &total, {}, folders, logger, {}, provider, kQueryKindNew, true, &counter);
    provider->CloseStores();
    return summary;
}

struct ListedItem {
    boost::shared_ptr<KestrinMIMEEngineCommon::IAsset> asset;
    std::string id;
    int queryKind = 0;
    bool incomplete = false;
};

inline std::vector<ListedItem> ListFolder(
    const boost::shared_ptr<KestrinMIMEEngineCommon::IAssetFolder>& folder,
    const boost::shared_ptr<KestrinMIMEEngineCommon::ILogger>& logger = {})
{
    using namespace KestrinMIMEEngineCommon;
    std::vector<ListedItem> items;
    auto it = folder->GetAssetIterator(kQueryKindNew, {}, {}, logger);
    if (!it)
        return items;
    it->Begin();
    for (; it->HasCurrent(); it->Increment()) {
        auto result = it->GetCurrent();
        ListedItem item;
        item.asset = result->GetAsset();
        item.id = result->GetAssetId();
        item.queryKind = result->GetQueryKind();
        item.incomplete = item.asset && (item.asset->GetAssetFlags() & kAssetFlagIncomplete);
        items.push_back(item);
    }
    return items;
}

}  // namespace envelope_test
