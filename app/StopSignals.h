// Ctrl-C, SIGTERM and SIGHUP alike: the first asks the running load or
// export to stop (the report gets its status line, the private database copy
// is removed as the program ends), the second ends the process at once.
#pragma once

namespace KestrinApp {

// The interrupt handler's whole work, safe inside a signal handler: counts
// the request; on the second one the process removes the private database
// copies and exits at once with status 1.
void RequestInterrupt();
// Requests since the last reset.
int InterruptCount();
void ResetInterrupts();

// Routes SIGINT, SIGTERM and SIGHUP to RequestInterrupt;
// RestoreInterruptHandler puts back what was there before.
void InstallInterruptHandler();
void RestoreInterruptHandler();

}  // namespace KestrinApp
