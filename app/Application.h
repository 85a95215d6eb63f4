// Start-up of the application: once per process, before any store is loaded.
#pragma once

#include <string>

#include "export/AppInfo.h"

namespace KestrinApp {

// Registers the application-information object and initialises GMime with the
// engine's parser options. Later calls do nothing.
void InitializeApplication();

// The support address the texts of the application name.
using KestrinMIMEEngineCommon::SupportAddress;

}  // namespace KestrinApp
