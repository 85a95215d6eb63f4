#include "EventQueueDispatcher.h"

namespace KestrinApp {

void EventQueueDispatcher::Post(std::function<void()> work)
{
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_queue.push_back(std::move(work));
    }
    m_changed.notify_all();
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

void EventQueueDispatcher::WaitForWork()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [this] { return !m_queue.empty(); });
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
