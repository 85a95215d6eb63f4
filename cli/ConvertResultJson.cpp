#include "cli/ConvertResultJson.h"

#include <nlohmann/json.hpp>

namespace KestrinCli {

using KestrinApp::ExportRecord;
using nlohmann::json;

std::string ConvertResultJson(const ExportRecord& record, const KestrinApp::VerifyResult* verify)
{
    json folders = json::array();
    for (const auto& folder : record.folders) {
        folders.push_back({{"source", folder.sourcePath},
                           {"output", folder.outputPath},
                           {"processed", folder.processed},
                           {"failed", folder.failed},
                           {"skipped", folder.skipped},
                           {"notDownloaded", folder.notDownloaded},
                           {"notFullyDownloaded", folder.notFullyDownloaded},
                           {"damaged", folder.damaged},
                           {"repaired", folder.repaired},
                           {"failedMessages", folder.failedNames},
                           {"skippedMessages", folder.skippedNames},
                           {"notDownloadedMessages", folder.notDownloadedNames},
                           {"notFullyDownloadedMessages", folder.notFullyDownloadedNames},
                           {"damagedMessages", folder.damagedNames},
                           {"repairedMessages", folder.repairedNames},
                           {"unnamedMessages", folder.UnnamedCount()}});
        folders.back()["unread"] = folder.unread;
        folders.back()["flagged"] = folder.flagged;
        if (folder.sourceUnread) folders.back()["sourceUnread"] = *folder.sourceUnread;
    }
    const KestrinApp::ExportTotals totals = record.Totals();
    json result = {{"source", record.source},
                   {"target", KestrinMIMEEngineCommon::ToString(record.target)},
                   {"outputFolder", record.outputFolder},
                   {"logPath", record.logPath},
                   {"status", KestrinMIMEEngineCommon::ToString(record.status)},
                   {"totals",
                    {{"listed", totals.listed},
                     {"converted", totals.converted},
                     {"notDownloaded", totals.notDownloaded},
                     {"notFullyDownloaded", totals.notFullyDownloaded},
                     {"damaged", totals.damaged},
                     {"repaired", totals.repaired},
                     {"failed", totals.failed},
                     {"skipped", totals.skipped},
                     {"notOnDisk", totals.notOnDisk}}},
                   {"folders", folders}};
    json notOnDisk = json::array();
    for (const auto& mailbox : record.notOnDisk)
        notOnDisk.push_back({{"mailbox", mailbox.name}, {"listed", mailbox.count}});
    result["notOnDisk"] = notOnDisk;
    result["stop"] = KestrinMIMEEngineCommon::ToString(record.stop);
    if (verify) {
        json checked = json::array();
        for (const auto& folder : verify->folders) {
            checked.push_back({{"output", folder.outputPath},
                               {"sources", folder.sourcePaths},
                               {"processed", folder.processed},
                               {"found", folder.found},
                               {"problem", folder.problem}});
        }
        result["verify"] = {{"ok", verify->ok}, {"folders", checked}};
    }
    return result.dump(2, ' ', false, json::error_handler_t::replace);
}

}  // namespace KestrinCli
