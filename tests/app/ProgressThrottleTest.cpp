// A worker's progress reaches the main thread a few times a second at most,
// the latest values always, the last ones at the end.
#include <atomic>
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "app/ProgressPresenters.h"
#include "EventQueueDispatcher.h"

using namespace KestrinApp;
using Clock = std::chrono::steady_clock;

namespace {

// The test's main thread, counting what is posted to it.
class CountingDispatcher : public IMainThreadDispatcher {
public:
    void Post(std::function<void()> work) override
    {
        ++posted;
        queue.Post(std::move(work));
    }
    std::atomic<int> posted{0};
    EventQueueDispatcher queue;
};

// A clock the test moves by hand.
struct ManualClock {
    Clock::time_point now{};
    ProgressClock Function()
    {
        return [this] { return now; };
    }
};

ExportProgress Progress(int n)
{
    ExportProgress progress;
    progress.itemsLabel = L"Overall: Items [ " + std::to_wstring(n) + L" ]";
    return progress;
}

std::wstring Text(const boost::optional<std::wstring>& text)
{
    return text ? *text : L"(none)";
}

std::wstring ItemsLabel(const ExportShown& shown)
{
    return shown.progress ? shown.progress->itemsLabel : L"(none)";
}

struct BurstCase {
    const char* name;
    std::chrono::milliseconds step;  // the clock's move between two calls
    bool drainBetweenCalls;          // a main thread that keeps up
    int maxPosts;
};

class ThrottleBurstTest : public ::testing::TestWithParam<BurstCase> {};

TEST_P(ThrottleBurstTest, ThousandCallsPostAFewUpdatesAndTheLastValuesArrive)
{
    const BurstCase& c = GetParam();
    CountingDispatcher main;
    ManualClock clock;
    std::vector<std::wstring> shown;
    ExportProgressThrottle throttle(
        main, [&](const ExportShown& s) { shown.push_back(ItemsLabel(s)); }, clock.Function());

    for (int n = 1; n <= 1000; ++n) {
        throttle.ItemShown(L"message " + std::to_wstring(n));
        throttle.ProgressChanged(Progress(n));
        clock.now += c.step;
        if (c.drainBetweenCalls)
            main.queue.Drain();
    }
    throttle.Flush();
    main.queue.Drain();

    EXPECT_GE(main.posted, 1);
    EXPECT_LE(main.posted, c.maxPosts);
    EXPECT_EQ(shown.size(), static_cast<size_t>(main.posted.load()));
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.back(), L"Overall: Items [ 1000 ]");
}

INSTANTIATE_TEST_SUITE_P(
    Bursts, ThrottleBurstTest,
    ::testing::Values(
        // One post waits in the queue and takes every later value along.
        BurstCase{"AllAtOnceWhileTheMainThreadIsBusy", std::chrono::milliseconds(0), false, 1},
        // The interval alone holds a quick main thread back.
        BurstCase{"AllAtOnceWithAQuickMainThread", std::chrono::milliseconds(0), true, 2},
        // A second of work: ten posts and the last values.
        BurstCase{"OverOneSecond", std::chrono::milliseconds(1), true, 11},
        // Slower than the interval: every call may be shown.
        BurstCase{"SlowerThanTheInterval", std::chrono::milliseconds(150), true, 1000}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ProgressThrottleTest, WorkerThreadBurstPostsAFewUpdates)
{
    CountingDispatcher main;
    std::wstring last;
    ExportProgressThrottle throttle(main, [&](const ExportShown& s) { last = ItemsLabel(s); });
    std::atomic<bool> done{false};
    std::thread worker([&] {
        for (int n = 1; n <= 1000; ++n)
            throttle.ProgressChanged(Progress(n));
        throttle.Flush();
        done = true;
    });
    main.queue.RunUntil([&] { return done.load(); }, std::chrono::milliseconds(1));
    worker.join();
    main.queue.Drain();
    // Not one post per call: a few, however fast the calls came.
    EXPECT_LT(main.posted, 100);
    EXPECT_EQ(last, L"Overall: Items [ 1000 ]");
}

TEST(ProgressThrottleTest, EachTextKeepsItsLatestValue)
{
    CountingDispatcher main;
    ManualClock clock;
    ExportShown shown;
    ExportProgressThrottle throttle(main, [&](const ExportShown& s) { shown = s; },
                                    clock.Function());
    throttle.SourceShown(L"/Mail/V10/Inbox.mbox");
    throttle.ItemShown(L"first");
    throttle.ItemShown(L"second");
    throttle.SourceShown(L"/Mail/V10/Sent.mbox");
    main.queue.Drain();
    EXPECT_EQ(Text(shown.source), L"/Mail/V10/Sent.mbox");
    EXPECT_EQ(Text(shown.item), L"second");
    EXPECT_FALSE(shown.progress);

    // Within the interval: held back until the flush at the end.
    throttle.ItemShown(L"third");
    main.queue.Drain();
    EXPECT_EQ(Text(shown.item), L"second");
    throttle.Flush();
    main.queue.Drain();
    EXPECT_EQ(Text(shown.item), L"third");
    EXPECT_EQ(main.posted, 2);

    // Nothing new: a flush posts nothing.
    throttle.Flush();
    EXPECT_EQ(main.posted, 2);

    // A new run starts without the old texts.
    throttle.Reset();
    clock.now += std::chrono::seconds(1);
    throttle.ProgressChanged(Progress(1));
    main.queue.Drain();
    EXPECT_FALSE(shown.item);
    EXPECT_FALSE(shown.source);
    EXPECT_EQ(ItemsLabel(shown), L"Overall: Items [ 1 ]");
}

TEST(ProgressThrottleTest, QueuedPostShowsNothingOnceTheThrottleIsGone)
{
    CountingDispatcher main;
    int shows = 0;
    {
        LoadProgressThrottle throttle(main, [&](const LoadShown&) { ++shows; });
        throttle.LoadMessage(L"Inbox");
    }
    EXPECT_EQ(main.posted, 1);
    EXPECT_EQ(main.queue.Drain(), 1u);
    EXPECT_EQ(shows, 0);
}

TEST(ProgressThrottleTest, LoadTextsArriveLatestFirst)
{
    CountingDispatcher main;
    ManualClock clock;
    LoadShown shown;
    LoadProgressThrottle throttle(main, [&](const LoadShown& s) { shown = s; }, clock.Function());
    for (int n = 1; n <= 1000; ++n) {
        throttle.LoadPath(L"/Mail/" + std::to_wstring(n));
        throttle.LoadMessage(L"folder " + std::to_wstring(n));
    }
    throttle.Flush();
    main.queue.Drain();
    EXPECT_EQ(main.posted, 1);
    EXPECT_EQ(Text(shown.path), L"/Mail/1000");
    EXPECT_EQ(Text(shown.message), L"folder 1000");
}

}  // namespace
