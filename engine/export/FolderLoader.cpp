#include "export/FolderLoader.h"

#include <algorithm>
#include <atomic>
#include <stdexcept>

#include <boost/make_shared.hpp>

namespace KestrinMIMEEngineCommon {

// The logger and presenter the iterator talks to on the loading thread:
// every call is kept, in order, until the loader attaches it to the entry
// it queues next.
class FolderLoader::SideChannel : public ILogger, public IProgressPresenter {
public:
    void Log(const std::wstring& text, bool toReport, bool toFile) override
    {
        Keep([text, toReport, toFile](ILogger* logger, IProgressPresenter*) {
            if (logger) logger->Log(text, toReport, toFile);
        });
    }
    void BeginProgress() override { Forward(&IProgressPresenter::BeginProgress); }
    void EndProgress() override { Forward(&IProgressPresenter::EndProgress); }
    void SetTotalUnits(int64_t units) override { Forward(&IProgressPresenter::SetTotalUnits, units); }
    void SetOverallTotalUnits(int64_t units) override
    {
        Forward(&IProgressPresenter::SetOverallTotalUnits, units);
    }
    void AdvanceProgress(uint64_t units) override
    {
        Forward(&IProgressPresenter::AdvanceProgress, units);
    }
    void SetFolderText(const std::wstring& text) override
    {
        Forward(&IProgressPresenter::SetFolderText, text);
    }
    void SetOverallText(const std::wstring& text) override
    {
        Forward(&IProgressPresenter::SetOverallText, text);
    }
    void PostItemMessage(const std::wstring& text) override
    {
        Forward(&IProgressPresenter::PostItemMessage, text);
    }
    void PostStoreMessage(const std::wstring& text) override
    {
        Forward(&IProgressPresenter::PostStoreMessage, text);
    }

    DeferredCalls Take()
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        DeferredCalls taken;
        std::swap(taken, m_calls);
        return taken;
    }

private:
    // Keeps a presenter call with copies of its arguments.
    template <typename... Parameters, typename... Values>
    void Forward(void (IProgressPresenter::*method)(Parameters...), const Values&... values)
    {
        Keep([method, values...](ILogger*, IProgressPresenter* presenter) {
            if (presenter) (presenter->*method)(values...);
        });
    }

    void Keep(DeferredCalls::Call call)
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_calls.Add(std::move(call));
    }

    std::mutex m_mutex;
    DeferredCalls m_calls;
};

// The cancelable the iterator sees: the user's cancel reaches it through
// the writer, which stops the loader when it sees it. The writer alone asks
// the real cancelable, once per item, as it always did.
class FolderLoader::StopFlag : public ICancelable {
public:
    bool IsCanceled() override { return m_stopped.load(); }
    void Cancel() override { m_stopped.store(true); }

private:
    std::atomic<bool> m_stopped{false};
};

LoaderThread::LoaderThread() : m_thread([this] { Loop(); }) {}

LoaderThread::~LoaderThread()
{
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_quit = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void LoaderThread::Start(std::function<void()> job)
{
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_jobs.push_back(std::move(job));
    }
    m_changed.notify_all();
}

void LoaderThread::Loop()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return !m_jobs.empty() || m_quit; });
        if (m_jobs.empty()) return;
        std::function<void()> job = std::move(m_jobs.front());
        m_jobs.pop_front();
        lock.unlock();
        job();
        // What the job captured goes here, on the thread that used it.
        job = nullptr;
        lock.lock();
    }
}

FolderLoader::FolderLoader(const boost::shared_ptr<IAssetFolder>& folder, unsigned queryKind,
                           const ExportQueueLimits& limits, LoaderThread* thread,
                           std::shared_ptr<LoaderGate> gate)
    : m_limits(limits),
      m_channel(boost::make_shared<SideChannel>()),
      m_stopFlag(boost::make_shared<StopFlag>()),
      m_gate(gate ? std::move(gate) : std::make_shared<LoaderGate>()),
      m_ownThread(thread ? nullptr : std::make_unique<LoaderThread>())
{
    (thread ? thread : m_ownThread.get())->Start([this, folder, queryKind] { Run(folder, queryKind); });
}

FolderLoader::~FolderLoader() { Stop(); }

void FolderLoader::RequestStop()
{
    m_stopFlag->Cancel();
    {
        std::lock_guard<std::mutex> guard(m_gate->mutex);
        m_stopped = true;
    }
    m_gate->changed.notify_all();
}

void FolderLoader::Stop()
{
    RequestStop();
    std::deque<LoadedEntry> dropped;
    {
        std::unique_lock<std::mutex> lock(m_gate->mutex);
        m_gate->changed.wait(lock, [this] { return m_jobOver; });
        // What the loader built ahead goes now, on this thread, and gives
        // its share of the budget back.
        dropped.swap(m_queue);
        m_gate->entries -= dropped.size();
        m_gate->bytes -= m_queuedBytes;
        m_queuedBytes = 0;
    }
    m_gate->changed.notify_all();
}

size_t FolderLoader::Gather() const
{
    return std::max<size_t>(1, m_limits.items / 2);
}

LoadedEntry FolderLoader::Next()
{
    std::unique_lock<std::mutex> lock(m_gate->mutex);
    // An empty queue is let fill by half before the writer goes on: woken
    // for every item, the two threads paid a wake-up (a system call and a
    // switch) per message, a tenth of the loader's time. An entry is taken
    // at once when the loader waits for room or has nothing more to queue.
    if (m_queue.empty())
        m_gate->changed.wait(lock, [this] {
            return m_finished || m_stopped ||
                   (!m_queue.empty() && (m_queue.size() >= Gather() || m_gate->loaderWaits > 0));
        });
    if (m_queue.empty()) {
        // The loader always ends with a last entry; this is only reached
        // when it could not even queue that.
        LoadedEntry failed;
        failed.kind = LoadedEntry::Kind::Failed;
        failed.error = std::make_exception_ptr(
            std::runtime_error("The folder could not be read to its end."));
        return failed;
    }
    LoadedEntry entry = std::move(m_queue.front());
    m_queue.pop_front();
    m_queuedBytes -= entry.bytes;
    m_gate->entries -= 1;
    m_gate->bytes -= entry.bytes;
    const bool loaderWaits = m_gate->loaderWaits > 0;
    lock.unlock();
    if (loaderWaits) m_gate->changed.notify_all();
    return entry;
}

void FolderLoader::Run(const boost::shared_ptr<IAssetFolder>& folder, unsigned queryKind)
{
    bool stopped;
    {
        std::lock_guard<std::mutex> guard(m_gate->mutex);
        stopped = m_stopped;
    }
    // A loader stopped before its turn came lists nothing.
    if (!stopped) {
        try {
            Load(folder, queryKind);
        } catch (...) {
            // Queuing the failure itself failed (no memory): Next() reports it.
        }
    }
    // Told under the lock: once the writer sees the job over, the loader may
    // be gone, so nothing here may touch it afterwards.
    std::lock_guard<std::mutex> guard(m_gate->mutex);
    m_finished = true;
    m_jobOver = true;
    m_gate->changed.notify_all();
}

void FolderLoader::Load(const boost::shared_ptr<IAssetFolder>& folder, unsigned queryKind)
{
    LoadedEntry last;
    try {
        boost::shared_ptr<IAssetIterator> iterator =
            folder->GetAssetIterator(queryKind, m_channel, m_stopFlag, m_channel);
        if (iterator && !Walk(*iterator, last)) return;
        // The iterator goes here, on the thread that used it; what its
        // End() or its destruction say comes after the last item's lines.
        iterator.reset();
    } catch (...) {
        last = LoadedEntry();
        last.kind = LoadedEntry::Kind::Failed;
        last.error = std::current_exception();
    }
    if (last.kind == LoadedEntry::Kind::End) {
        last.atEnd = m_channel->Take();
        Push(std::move(last));
    } else {
        PushWithCalls(std::move(last));
    }
}

bool FolderLoader::Walk(IAssetIterator& iterator, LoadedEntry& last)
{
    LoadedEntry listing;
    listing.kind = LoadedEntry::Kind::Listing;
    const int begun = iterator.Begin();
    iterator.GetUnitCount(&listing.units);
    if (!PushWithCalls(std::move(listing))) return false;

    while (iterator.HasCurrent()) {
        if (!WaitForSlot()) return false;
        LoadedEntry item;
        item.kind = LoadedEntry::Kind::Item;
        item.result = iterator.GetCurrent();
        if (item.result) item.asset = item.result->GetAsset();
        // What the item will hold in memory: the bytes it carries, or for
        // sources that count bytes as units, those.
        item.bytes = item.result ? item.result->GetUnits() : 0;
        if (item.asset) item.bytes = std::max(item.bytes, item.asset->GetHeldBytes());
        // The entry now holds the only references the loader had.
        if (!PushWithCalls(std::move(item))) return false;
        iterator.Increment();
    }
    last.kind = LoadedEntry::Kind::End;
    last.before = m_channel->Take();
    try {
        last.brokeOff = begun != 0 || iterator.End() != 0;
    } catch (...) {
        last.error = std::current_exception();
    }
    return true;
}

bool FolderLoader::WaitForSlot()
{
    const size_t items = m_limits.items == 0 ? 1 : m_limits.items;
    std::unique_lock<std::mutex> lock(m_gate->mutex);
    // Full queues are let drain by half before loading goes on: one wake-up
    // of this thread for several items rather than one for each.
    if (m_gate->entries >= items)
        WaitForRoom(lock, [&] { return m_stopped || m_gate->entries <= items / 2; });
    return !m_stopped;
}

template <typename Predicate>
void FolderLoader::WaitForRoom(std::unique_lock<std::mutex>& lock, Predicate ready)
{
    if (ready()) return;
    // The writer may be gathering items: it must not wait for more while
    // this loader waits for it.
    m_gate->loaderWaits += 1;
    m_gate->changed.notify_all();
    m_gate->changed.wait(lock, ready);
    m_gate->loaderWaits -= 1;
}

bool FolderLoader::PushWithCalls(LoadedEntry entry)
{
    entry.before = m_channel->Take();
    return Push(std::move(entry));
}

bool FolderLoader::Push(LoadedEntry entry)
{
    std::unique_lock<std::mutex> lock(m_gate->mutex);
    if (entry.kind == LoadedEntry::Kind::Item)
        WaitForRoom(lock, [&] {
            return m_stopped || m_gate->entries == 0 || m_gate->bytes + entry.bytes <= m_limits.bytes;
        });
    if (m_stopped) return false;
    // The writer waits for a few items at a time, or for anything else.
    const bool wake = entry.kind != LoadedEntry::Kind::Item || m_queue.size() + 1 >= Gather();
    m_queuedBytes += entry.bytes;
    m_gate->entries += 1;
    m_gate->bytes += entry.bytes;
    m_queue.push_back(std::move(entry));
    lock.unlock();
    if (wake) m_gate->changed.notify_all();
    return true;
}

}  // namespace KestrinMIMEEngineCommon
