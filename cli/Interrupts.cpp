#include "cli/Interrupts.h"

#include <atomic>
#include <csignal>

#include <unistd.h>

#include "applemail/SqliteReadCopy.h"

namespace KestrinCli {

namespace {

std::atomic<int> g_interrupts{0};
static_assert(std::atomic<int>::is_always_lock_free, "the handler needs a lock-free counter");

struct sigaction g_previous;
bool g_installed = false;

extern "C" void OnInterrupt(int)
{
    RequestInterrupt();
}

}  // namespace

void RequestInterrupt()
{
    if (g_interrupts.fetch_add(1) >= 1) {
        static const char message[] = "\nkestrin: interrupted\n";
        const ssize_t ignored = write(STDERR_FILENO, message, sizeof message - 1);
        (void)ignored;
        // _exit runs no destructors: the private database copy would stay.
        KestrinMIMEEngineCommon::RemovePrivateCopiesNow();
        _exit(1);
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
    struct sigaction action = {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    if (sigaction(SIGINT, &action, g_installed ? nullptr : &g_previous) == 0)
        g_installed = true;
}

void RestoreInterruptHandler()
{
    if (g_installed)
        sigaction(SIGINT, &g_previous, nullptr);
    g_installed = false;
}

}  // namespace KestrinCli
