// What a window shows of a finished export beyond the brief report: the
// messages that did not arrive whole, per folder, and the read-back check
// run off the main thread.
//
// Threads: BackgroundVerify is used on the main thread; its worker only
// posts and never waits for the main thread, so joining it there is safe.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/ExportRecord.h"
#include "app/Seams.h"
#include "app/VerifyExport.h"

namespace KestrinApp {

// One source folder with messages that were not converted whole.
struct FolderIssueRow {
    std::string folder;  // as the folder list shows it
    std::vector<std::string> failed;
    std::vector<std::string> skipped;
    std::vector<std::string> notDownloaded;
    std::vector<std::string> notFullyDownloaded;
    std::vector<std::string> damaged;
    std::vector<std::string> repaired;
    int64_t unnamed = 0;  // counted among them but not named (see the log)
};

// The folders of the record that had a message that was failed, skipped,
// header-only, not fully downloaded, damaged or repaired, in export order; folders without problems are left out.
// Beyond the names the record keeps, a row only counts the rest.
std::vector<FolderIssueRow> FolderIssueRows(const ExportRecord& record);

// Runs VerifyExport on a worker thread and hands the result to the main
// thread through the dispatcher. One check at a time.
class BackgroundVerify {
public:
    explicit BackgroundVerify(IMainThreadDispatcher& dispatcher);
    // Waits for a running check; its result is then dropped.
    ~BackgroundVerify();

    // Main thread. Answers false (and does nothing) while a check runs.
    // `done` runs on the main thread, unless this object was destroyed first.
    bool Start(std::shared_ptr<const ExportRecord> record,
               std::function<void(const VerifyResult&)> done);
    bool IsRunning() const { return m_running.load(); }

private:
    IMainThreadDispatcher& m_dispatcher;
    std::thread m_thread;
    std::atomic<bool> m_running{false};
    std::shared_ptr<bool> m_alive;
};

}  // namespace KestrinApp
