// The main thread of the application logic's tests: work posted from any
// thread waits in a queue until the test's own thread runs it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

#include "app/Seams.h"

namespace KestrinApp {

class EventQueueDispatcher : public IMainThreadDispatcher {
public:
    void Post(std::function<void()> work) override;

    // Runs queued work until done() answers true; done is checked after each
    // piece of work and at least every `poll`, so it may watch flags set
    // elsewhere. Work posted while running is run too.
    void RunUntil(const std::function<bool()>& done,
                  std::chrono::milliseconds poll = std::chrono::milliseconds(50));
    // Runs what is queued now and what that work posts, without waiting.
    // Answers the number of pieces run.
    size_t Drain();
    // Waits until some work is queued, without running it: the test's
    // thread can then act between a worker's post and its delivery.
    void WaitForWork();

private:
    bool RunOne();

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::function<void()>> m_queue;
};

}  // namespace KestrinApp
