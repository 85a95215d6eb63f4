#include "streams/KSDiagnostics.h"

#include <atomic>
#include <cstdarg>
#include <ctime>
#include <mutex>

namespace KestrinMIMEEngineCommon {

namespace {
std::atomic<FILE*> g_diagnosticHandle{nullptr};
std::mutex g_diagnosticMutex;
}  // namespace

FILE* KSSetDiagnosticStream(FILE* handle) { return g_diagnosticHandle.exchange(handle); }

FILE* KSGetDiagnosticStream()
{
    FILE* handle = g_diagnosticHandle.load();
    return handle ? handle : stderr;
}

void KSDiagnostic(const char* format, ...)
{
    // The format's first conversion is the "%s" of the stamp; the caller's
    // arguments come after it, so the stamp is prepended to the va_list by
    // formatting in two steps.
    char stamp[64] = {0};
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::strftime(stamp, sizeof stamp, "%F %r", &local);

    std::lock_guard<std::mutex> guard(g_diagnosticMutex);
    FILE* handle = KSGetDiagnosticStream();
    const char* rest = format;
    // Write what precedes the stamp's %s, the stamp, then the remainder.
    const char* marker = nullptr;
    for (const char* p = format; *p; ++p) {
        if (p[0] == '%' && p[1] == 's') { marker = p; break; }
        if (p[0] == '%' && p[1] == '%') ++p;
    }
    if (marker) {
        std::fwrite(format, 1, static_cast<size_t>(marker - format), handle);
        std::fputs(stamp, handle);
        rest = marker + 2;
    }
    va_list args;
    va_start(args, format);
    std::vfprintf(handle, rest, args);
    va_end(args);
    std::fflush(handle);
}

}  // namespace KestrinMIMEEngineCommon
