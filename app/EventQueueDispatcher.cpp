#include "app/EventQueueDispatcher.h"

#include <memory>

namespace KestrinApp {

EventQueueDispatcher::EventQueueDispatcher() : m_mainThread(std::this_thread::get_id()) {}

void EventQueueDispatcher::Post(std::function<void()> work)
{
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_queue.push_back(std::move(work));
    }
    m_changed.notify_all();
}

void EventQueueDispatcher::PostAndWait(std::function<void()> work)
{
    if (IsMainThread()) {
        work();
        return;
    }
    struct Completion {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
    };
    auto completion = std::make_shared<Completion>();
    Post([completion, work = std::move(work)] {
        // The waiting thread must wake even when the work throws.
        struct Signal {
            Completion& c;
            ~Signal()
            {
                std::unique_lock<std::mutex> lock(c.mutex);
                c.finished = true;
                c.done.notify_all();
            }
        } signal{*completion};
        work();
    });
    std::unique_lock<std::mutex> lock(completion->mutex);
    while (!completion->finished)
        completion->done.wait(lock);
}

bool EventQueueDispatcher::RunOne()
{
    std::function<void()> work;
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (m_queue.empty())
            return false;
        work = std::move(m_queue.front());
        m_queue.pop_front();
    }
    work();
    return true;
}

size_t EventQueueDispatcher::Drain()
{
    size_t count = 0;
    while (RunOne())
        ++count;
    return count;
}

void EventQueueDispatcher::RunUntil(const std::function<bool()>& done,
                                    std::chrono::milliseconds poll)
{
    while (!done()) {
        if (RunOne())
            continue;
        std::unique_lock<std::mutex> lock(m_mutex);
        if (m_queue.empty())
            m_changed.wait_for(lock, poll);
    }
}

}  // namespace KestrinApp
