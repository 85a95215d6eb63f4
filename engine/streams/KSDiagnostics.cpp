#include "streams/KSDiagnostics.h"

#include <cstdarg>
#include <ctime>
#include <mutex>
#include <string>

namespace KestrinMIMEEngineCommon {

namespace {
FILE* g_diagnosticHandle = nullptr;
// Guards the handle as well as the writing, so that once the handle has been
// replaced nobody is still writing to the old one (which its owner may close).
std::mutex g_diagnosticMutex;
}  // namespace

FILE* KSSetDiagnosticStream(FILE* handle)
{
    std::lock_guard<std::mutex> guard(g_diagnosticMutex);
    FILE* previous = g_diagnosticHandle;
    g_diagnosticHandle = handle;
    return previous;
}

FILE* KSGetDiagnosticStream()
{
    std::lock_guard<std::mutex> guard(g_diagnosticMutex);
    return g_diagnosticHandle ? g_diagnosticHandle : stderr;
}

void KSDiagnostic(const char* format, ...)
{
    char stamp[64] = {0};
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::strftime(stamp, sizeof stamp, "%F %r", &local);

    // Stamp and text go out with one call, so that lines of several threads
    // never interleave.
    std::string line = stamp;
    line += ' ';
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    if (length > 0) {
        std::string tail(static_cast<size_t>(length) + 1, '\0');
        std::vsnprintf(&tail[0], tail.size(), format, again);
        tail.resize(static_cast<size_t>(length));
        line += tail;
    }
    va_end(again);

    std::lock_guard<std::mutex> guard(g_diagnosticMutex);
    FILE* handle = g_diagnosticHandle ? g_diagnosticHandle : stderr;
    std::fwrite(line.data(), 1, line.size(), handle);
    std::fflush(handle);
}

}  // namespace KestrinMIMEEngineCommon
