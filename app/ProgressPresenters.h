// The engine's progress and cancel interfaces over the observers of a
// conversion and of a load: the export's labels and values are made here,
// in the words the progress display shows.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include <boost/optional.hpp>

#include "app/Convert.h"
#include "app/Seams.h"
#include "app/Source.h"
#include "assets/IProgressPresenter.h"

namespace KestrinApp {

class ExportProgressPresenter : public KestrinMIMEEngineCommon::ICancelableProgressPresenter {
public:
    // The observer must outlive the presenter. countUnits shows "k / t" in
    // the labels (units are bytes for mbox sources, items otherwise); without
    // it the labels count calls to AdvanceProgress.
    ExportProgressPresenter(ExportObserver& observer, bool countUnits);

    void BeginProgress() override {}
    void EndProgress() override {}
    void SetTotalUnits(int64_t units) override;
    void SetOverallTotalUnits(int64_t units) override;
    void AdvanceProgress(uint64_t units) override;
    // Both texts reach the observer with the next AdvanceProgress.
    void SetFolderText(const std::wstring& text) override { m_folderText = text; }
    void SetOverallText(const std::wstring& text) override { m_overallText = text; }
    void PostItemMessage(const std::wstring& text) override { m_observer->ItemShown(text); }
    void PostStoreMessage(const std::wstring& text) override { m_observer->SourceShown(text); }

    // Canceled once Cancel was called or the observer asks for it.
    bool IsCanceled() override { return m_canceled.load() || m_observer->IsCanceled(); }
    void Cancel() override { m_canceled = true; }

private:
    int64_t m_folderTotal = 0;
    int64_t m_overallTotal = 0;
    int64_t m_folderDone = 0;
    int64_t m_overallDone = 0;
    int64_t m_overallCounter = 0;
    int64_t m_folderCounter = 0;
    bool m_countUnits;
    std::wstring m_folderText;
    std::wstring m_overallText;
    std::atomic<bool> m_canceled{false};
    ExportObserver* m_observer;
};

// Shows folder and item texts as the load's message and store messages as
// its path; counts are not shown while loading. The observer must outlive it.
class LoadingPresenter : public KestrinMIMEEngineCommon::IProgressPresenter {
public:
    explicit LoadingPresenter(LoadObserver& observer) : m_observer(&observer) {}

    void BeginProgress() override {}
    void EndProgress() override {}
    void SetTotalUnits(int64_t) override {}
    void SetOverallTotalUnits(int64_t) override {}
    void AdvanceProgress(uint64_t) override {}
    void SetFolderText(const std::wstring& text) override { m_observer->LoadMessage(text); }
    void SetOverallText(const std::wstring&) override {}
    void PostItemMessage(const std::wstring& text) override { m_observer->LoadMessage(text); }
    void PostStoreMessage(const std::wstring& text) override { m_observer->LoadPath(text); }

private:
    LoadObserver* m_observer;
};

class LoadingCancelable : public KestrinMIMEEngineCommon::ICancelable {
public:
    explicit LoadingCancelable(LoadObserver& observer) : m_observer(&observer) {}

    bool IsCanceled() override { return m_canceled.load() || m_observer->IsCanceled(); }
    void Cancel() override { m_canceled = true; }

private:
    std::atomic<bool> m_canceled{false};
    LoadObserver* m_observer;
};

// A worker reports every message; a window redraws a few times a second at
// most. A throttle keeps the latest values of a worker's reports and hands
// them to the main thread through the dispatcher: one post at a time, and a
// new one only once `interval` has passed since the last. Values reported
// meanwhile wait for the next post or for Flush.
using ProgressClock = std::function<std::chrono::steady_clock::time_point()>;
constexpr std::chrono::milliseconds kProgressInterval{100};

template <class State>
class MainThreadThrottle {
public:
    using Show = std::function<void(const State&)>;

    // show runs on the main thread with the latest state; clock defaults
    // to the steady clock.
    MainThreadThrottle(IMainThreadDispatcher& dispatcher, Show show, ProgressClock clock = {},
                       std::chrono::milliseconds interval = kProgressInterval)
        : m_dispatcher(dispatcher), m_clock(clock ? std::move(clock) : SteadyNow),
          m_interval(interval), m_shared(std::make_shared<Shared>())
    {
        m_shared->show = std::move(show);
    }
    // Posts still queued show nothing once the throttle is gone. Main thread.
    ~MainThreadThrottle()
    {
        std::lock_guard<std::mutex> lock(m_shared->mutex);
        m_shared->show = nullptr;
    }
    MainThreadThrottle(const MainThreadThrottle&) = delete;
    MainThreadThrottle& operator=(const MainThreadThrottle&) = delete;

    // Any thread: change applies to the latest state, which is posted when due.
    template <class Change>
    void Update(Change&& change)
    {
        std::lock_guard<std::mutex> lock(m_shared->mutex);
        change(m_shared->latest);
        m_shared->unshown = true;
        PostIfDue(false);
    }
    // Any thread: posts what has not been shown yet, due or not, so that the
    // last values of a run are always seen.
    void Flush()
    {
        std::lock_guard<std::mutex> lock(m_shared->mutex);
        if (m_shared->unshown)
            PostIfDue(true);
    }
    // Forgets the values of an earlier run.
    void Reset()
    {
        std::lock_guard<std::mutex> lock(m_shared->mutex);
        m_shared->latest = State();
        m_shared->unshown = false;
    }

private:
    struct Shared {
        std::mutex mutex;
        State latest;
        bool unshown = false;
        bool posted = false;
        boost::optional<std::chrono::steady_clock::time_point> lastPost;
        Show show;
    };

    static std::chrono::steady_clock::time_point SteadyNow() { return std::chrono::steady_clock::now(); }

    // Called with the lock held.
    void PostIfDue(bool now)
    {
        // The post on its way takes the latest values along.
        if (m_shared->posted)
            return;
        const auto time = m_clock();
        if (!now && m_shared->lastPost && time - *m_shared->lastPost < m_interval)
            return;
        m_shared->posted = true;
        m_shared->lastPost = time;
        m_dispatcher.Post([shared = m_shared] {
            State state;
            Show show;
            {
                std::lock_guard<std::mutex> lock(shared->mutex);
                shared->posted = false;
                shared->unshown = false;
                state = shared->latest;
                show = shared->show;
            }
            if (show)
                show(state);
        });
    }

    IMainThreadDispatcher& m_dispatcher;
    ProgressClock m_clock;
    std::chrono::milliseconds m_interval;
    std::shared_ptr<Shared> m_shared;
};

// The latest of what an export reported; none where nothing was reported yet.
struct ExportShown {
    boost::optional<std::wstring> source;
    boost::optional<std::wstring> item;
    boost::optional<ExportProgress> progress;
};

// An export's observer for a window: the reports reach the main thread
// throttled. Cancel is the window's own business.
class ExportProgressThrottle : public ExportObserver {
public:
    ExportProgressThrottle(IMainThreadDispatcher& dispatcher,
                           MainThreadThrottle<ExportShown>::Show show, ProgressClock clock = {})
        : m_throttle(dispatcher, std::move(show), std::move(clock))
    {
    }
    void SourceShown(const std::wstring& location) override
    {
        m_throttle.Update([&](ExportShown& shown) { shown.source = location; });
    }
    void ItemShown(const std::wstring& description) override
    {
        m_throttle.Update([&](ExportShown& shown) { shown.item = description; });
    }
    void ProgressChanged(const ExportProgress& progress) override
    {
        m_throttle.Update([&](ExportShown& shown) { shown.progress = progress; });
    }
    void Flush() { m_throttle.Flush(); }
    void Reset() { m_throttle.Reset(); }

private:
    MainThreadThrottle<ExportShown> m_throttle;
};

// The latest of what a load reported.
struct LoadShown {
    boost::optional<std::wstring> message;
    boost::optional<std::wstring> path;
};

class LoadProgressThrottle : public LoadObserver {
public:
    LoadProgressThrottle(IMainThreadDispatcher& dispatcher, MainThreadThrottle<LoadShown>::Show show,
                         ProgressClock clock = {})
        : m_throttle(dispatcher, std::move(show), std::move(clock))
    {
    }
    void LoadMessage(const std::wstring& text) override
    {
        m_throttle.Update([&](LoadShown& shown) { shown.message = text; });
    }
    void LoadPath(const std::wstring& text) override
    {
        m_throttle.Update([&](LoadShown& shown) { shown.path = text; });
    }
    void Flush() { m_throttle.Flush(); }
    void Reset() { m_throttle.Reset(); }

private:
    MainThreadThrottle<LoadShown> m_throttle;
};

}  // namespace KestrinApp
