// A main-thread dispatcher for front ends without a window toolkit: work
// posted from any thread waits in a queue until the main thread drains it.
#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <thread>

#include <condition_variable>
#include <mutex>

#include "app/Seams.h"

namespace KestrinApp {

class EventQueueDispatcher : public IMainThreadDispatcher {
public:
    // The constructing thread is the main thread.
    EventQueueDispatcher();

    void Post(std::function<void()> work) override;
    // On the main thread the work runs at once; elsewhere the caller blocks
    // until the main thread has run it.
    void PostAndWait(std::function<void()> work) override;

    // Runs queued work (main thread only) until done() answers true; done is
    // checked after each piece of work and at least every `poll`, so it may
    // watch flags set elsewhere. Work posted while running is run too.
    void RunUntil(const std::function<bool()>& done,
                  std::chrono::milliseconds poll = std::chrono::milliseconds(50));
    // Runs what is queued now and what that work posts, without waiting.
    // Answers the number of pieces run.
    size_t Drain();

    bool IsMainThread() const { return std::this_thread::get_id() == m_mainThread; }

private:
    bool RunOne();

    std::thread::id m_mainThread;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::function<void()>> m_queue;
};

}  // namespace KestrinApp
