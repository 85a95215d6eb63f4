#include "app/StopSignals.h"

#include <atomic>

#include "streams/Platform.h"

#include "applemail/SqliteReadCopy.h"

namespace KestrinApp {

namespace {

std::atomic<int> g_interrupts{0};
static_assert(std::atomic<int>::is_always_lock_free, "the handler needs a lock-free counter");

extern "C" void OnInterrupt(int)
{
    RequestInterrupt();
}

}  // namespace

void RequestInterrupt()
{
    if (g_interrupts.fetch_add(1) >= 1) {
        static const char message[] = "\nkestrin: interrupted\n";
        // _exit runs no destructors: the private database copy would stay.
        KestrinMIMEEngineCommon::RemovePrivateCopiesNow();
        KestrinMIMEEngineCommon::Platform::WriteAndExitAtOnce(message, sizeof message - 1, 1);
    }
}

int InterruptCount()
{
    return g_interrupts.load();
}

void ResetInterrupts()
{
    g_interrupts.store(0);
}

void InstallInterruptHandler()
{
    KestrinMIMEEngineCommon::Platform::CatchStopSignals(OnInterrupt);
}

void RestoreInterruptHandler()
{
    KestrinMIMEEngineCommon::Platform::RestoreStopSignals();
}

}  // namespace KestrinApp
