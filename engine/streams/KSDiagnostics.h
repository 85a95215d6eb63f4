// The diagnostic stream: one line per unexpected condition, stamped with the
// local time, flushed at once. Never the conversion log.
#pragma once

#include <cstdio>

namespace KestrinMIMEEngineCommon {

// Every format starts with "%s ERROR: "; the %s receives the local time
// formatted "%F %r", the remaining arguments follow.
// (No printf format attribute: the leading %s has no matching argument.)
void KSDiagnostic(const char* format, ...);

// Standard error by default. Tests point it elsewhere; passing nullptr
// restores standard error. Answers the previous handle.
FILE* KSSetDiagnosticStream(FILE* handle);
FILE* KSGetDiagnosticStream();

}  // namespace KestrinMIMEEngineCommon
