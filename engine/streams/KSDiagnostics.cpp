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

// Where the stamp's "%s" is: the first conversion of the format.
const char* FindStampMarker(const char* format)
{
    for (const char* p = format; *p; ++p) {
        if (p[0] != '%') continue;
        if (p[1] == '%') { ++p; continue; }
        return p[1] == 's' ? p : nullptr;
    }
    return nullptr;
}
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

    // The stamp fills the format's leading "%s"; the caller's arguments belong
    // to the conversions after it, so the line is put together in two steps
    // and written with one call.
    std::string line;
    const char* rest = format;
    if (const char* marker = FindStampMarker(format)) {
        line.assign(format, static_cast<size_t>(marker - format));
        // The part before the stamp is plain text apart from "%%".
        for (size_t at = line.find("%%"); at != std::string::npos; at = line.find("%%", at + 1)) line.erase(at, 1);
        line += stamp;
        rest = marker + 2;
    }
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    int length = std::vsnprintf(nullptr, 0, rest, args);
    va_end(args);
    if (length > 0) {
        std::string tail(static_cast<size_t>(length) + 1, '\0');
        std::vsnprintf(&tail[0], tail.size(), rest, again);
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
