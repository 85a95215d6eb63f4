// The diagnostic stream: one line per unexpected condition, stamped with the
// local time, flushed at once. Never the conversion log.
#pragma once

#include <cstdio>

namespace KestrinMIMEEngineCommon {

// Writes the local time formatted "%F %r", a blank, then the formatted text
// (usually "ERROR: ..."): the stamp is not part of the format, so the
// compiler checks every format against its arguments.
void KSDiagnostic(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Standard error by default. Tests point it elsewhere; passing nullptr
// restores standard error. Answers the previous handle.
FILE* KSSetDiagnosticStream(FILE* handle);
FILE* KSGetDiagnosticStream();

}  // namespace KestrinMIMEEngineCommon
