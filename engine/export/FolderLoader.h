// Reading a source folder on a thread of its own while the export's thread
// writes: the loader lists the folder and builds every item (reading and
// parsing its file), and hands the items over in listing order through a
// bounded queue. Everything the iterator says through the logger or the
// presenter while it works is kept with the next entry and said again on
// the writing thread, so the conversion log reads as if one thread had done
// both.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "assets/IAssetFolder.h"

namespace KestrinMIMEEngineCommon {

// How far the loader may run ahead of the writer: at most `items` items
// and `bytes` bytes of them wait in the queue (an item larger than the byte
// budget still passes, alone).
struct ExportQueueLimits {
    size_t items = 8;
    uint64_t bytes = uint64_t(64) << 20;
};

// Logger and presenter calls made on the loading thread, to be made again,
// in the same order, on the writing thread.
class DeferredCalls {
public:
    using Call = std::function<void(ILogger*, IProgressPresenter*)>;
    void Add(Call call) { m_calls.push_back(std::move(call)); }
    void Replay(ILogger* logger, IProgressPresenter* presenter) const
    {
        for (const Call& call : m_calls) call(logger, presenter);
    }
    bool Empty() const { return m_calls.empty(); }

private:
    std::vector<Call> m_calls;
};

// One step of a folder's listing, as the writer receives it.
struct LoadedEntry {
    enum class Kind {
        NoIterator,  // the folder lists nothing; it ends here
        Listing,     // the listing began; units holds the folder's total
        Item,        // result (and its asset) of one listed position
        End,         // the listing is over; brokeOff says whether early
        Failed,      // the iterator threw (error); nothing follows
    };
    Kind kind = Kind::NoIterator;
    DeferredCalls before;    // said while this entry was made, before it
    DeferredCalls atEnd;     // End only: said by the iterator's End()
    boost::shared_ptr<IAssetQueryResult> result;
    boost::shared_ptr<IAsset> asset;
    uint64_t bytes = 0;      // estimated memory the item holds
    int64_t units = 0;       // Listing: the folder's total units
    bool brokeOff = false;   // End: Begin or End answered an error
    // What the iterator threw (Failed, or End when End() threw).
    std::exception_ptr error;
};

// A thread that runs jobs one after another, in the order given. An export
// loads its folders in turn on one such thread: a new thread for every
// folder costs its start and a cold allocator cache each time, which a
// library of 2,000 small mailboxes paid 2,000 times.
class LoaderThread {
public:
    LoaderThread();
    // Runs the jobs given so far, then ends the thread.
    ~LoaderThread();
    LoaderThread(const LoaderThread&) = delete;
    LoaderThread& operator=(const LoaderThread&) = delete;

    // Queues job to run after those given before it.
    void Start(std::function<void()> job);

private:
    void Loop();

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::function<void()>> m_jobs;
    bool m_quit = false;
    std::thread m_thread;
};

// What the loaders of one export share: one lock, one signal, and the
// budget their queues draw on together. The next folder's loader may then
// start while this folder's last items are written, and both together stay
// within the limits.
struct LoaderGate {
    std::mutex mutex;
    std::condition_variable changed;
    size_t entries = 0;  // queued by every loader, not taken yet
    uint64_t bytes = 0;
    int loaderWaits = 0;  // a loader waits for room in the budget
};

class FolderLoader {
public:
    // Queues the loading job on thread (or on a thread of its own when
    // null), sharing gate's budget (or a budget of its own when null): the
    // job asks folder for its iterator with queryKind and walks it. The
    // iterator receives a logger and presenter whose calls are deferred to
    // the writer, and a cancelable that answers true once the writer stops
    // the loader.
    FolderLoader(const boost::shared_ptr<IAssetFolder>& folder, unsigned queryKind,
                 const ExportQueueLimits& limits, LoaderThread* thread = nullptr,
                 std::shared_ptr<LoaderGate> gate = nullptr);
    // Stops the loader and waits until its job is over.
    ~FolderLoader();
    FolderLoader(const FolderLoader&) = delete;
    FolderLoader& operator=(const FolderLoader&) = delete;

    // The next entry, in listing order; waits for the loader. After an
    // entry of kind NoIterator, End or Failed there is none.
    LoadedEntry Next();
    // Tells the loader to build nothing more, without waiting.
    void RequestStop();
    // RequestStop, then waits until its job on the thread is over (a job not
    // begun yet then ends at once once its turn comes); entries not taken
    // yet are dropped. A loader queued behind another must be stopped after
    // that one: its job begins only when the earlier job is over.
    void Stop();

private:
    class SideChannel;
    class StopFlag;

    void Run(const boost::shared_ptr<IAssetFolder>& folder, unsigned queryKind);
    void Load(const boost::shared_ptr<IAssetFolder>& folder, unsigned queryKind);
    // Queues the listing and the items and fills last with the End entry;
    // false when the writer stopped the walk.
    bool Walk(IAssetIterator& iterator, LoadedEntry& last);
    // Waits until the queues have room for another item; false when stopped.
    bool WaitForSlot();
    // Waits, telling the writer so, until ready() holds.
    template <typename Predicate>
    void WaitForRoom(std::unique_lock<std::mutex>& lock, Predicate ready);
    // How many items the writer lets gather in an empty queue before it
    // goes on.
    size_t Gather() const;
    // Queues entry (an item waits for the byte budget); false when stopped.
    bool Push(LoadedEntry entry);
    // Queues entry with what the side channel collected since the last.
    bool PushWithCalls(LoadedEntry entry);

    const ExportQueueLimits m_limits;
    boost::shared_ptr<SideChannel> m_channel;
    boost::shared_ptr<StopFlag> m_stopFlag;
    std::shared_ptr<LoaderGate> m_gate;

    // Guarded by m_gate->mutex:
    std::deque<LoadedEntry> m_queue;
    uint64_t m_queuedBytes = 0;
    bool m_stopped = false;
    bool m_finished = false;  // the job has nothing more to queue
    bool m_jobOver = false;   // the job no longer touches this loader

    std::unique_ptr<LoaderThread> m_ownThread;
};

}  // namespace KestrinMIMEEngineCommon
