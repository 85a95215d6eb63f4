#include "app/ExportResultRows.h"

namespace KestrinApp {

std::vector<FolderIssueRow> FolderIssueRows(const ExportRecord& record)
{
    std::vector<FolderIssueRow> rows;
    for (const ExportFolderRecord& folder : record.folders) {
        const int64_t unnamed = folder.UnnamedCount();
        if (folder.failedNames.empty() && folder.skippedNames.empty() &&
            folder.notDownloadedNames.empty() && folder.notFullyDownloadedNames.empty() &&
            folder.damagedNames.empty() && folder.repairedNames.empty() && unnamed == 0)
            continue;
        rows.push_back({folder.sourcePath, folder.failedNames, folder.skippedNames,
                        folder.notDownloadedNames, folder.notFullyDownloadedNames,
                        folder.damagedNames, folder.repairedNames, unnamed});
    }
    return rows;
}

BackgroundVerify::BackgroundVerify(IMainThreadDispatcher& dispatcher)
    : m_dispatcher(dispatcher), m_alive(std::make_shared<bool>(true))
{
}

BackgroundVerify::~BackgroundVerify()
{
    m_alive.reset();
    if (m_thread.joinable()) m_thread.join();
}

bool BackgroundVerify::Start(std::shared_ptr<const ExportRecord> record,
                             std::function<void(const VerifyResult&)> done)
{
    if (m_running.load() || !record) return false;
    if (m_thread.joinable()) m_thread.join();
    m_running = true;
    std::weak_ptr<bool> alive = m_alive;
    m_thread = std::thread([this, alive, record = std::move(record), done = std::move(done)] {
        auto result = std::make_shared<VerifyResult>(VerifyExport(*record));
        // Posted before the flag drops, so a new check cannot overtake this answer.
        m_dispatcher.Post([this, alive, result, done] {
            if (!alive.lock()) return;
            m_running = false;
            done(*result);
        });
    });
    return true;
}

}  // namespace KestrinApp
