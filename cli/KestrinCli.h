// The `kestrin` command: list a mail source's folders, convert them. It
// drives the same application logic as the window.
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "app/Convert.h"

namespace KestrinCli {

enum ExitCode : int {
    kExitSuccess = 0,
    kExitCanceled = 1,
    kExitErrors = 2,      // completed with errors, or nothing could be converted
    kExitLoadFailed = 3,  // the source could not be loaded
    kExitUsage = 64,
};

struct CliEnvironment {
    // Progress is drawn only on a terminal.
    bool stderrIsTerminal = false;
    // Tests: called on the export's thread with every item it shows.
    std::function<void(const std::wstring&)> onItemShown;
    // Tests: the writers of the conversion, in place of the engine's.
    KestrinApp::OutputProviderFactory providers;
};

// args are the words after the program name.
int RunKestrin(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
               const CliEnvironment& environment = CliEnvironment());

// Text as a JSON string literal, quotes included.
std::string JsonString(const std::string& utf8);

}  // namespace KestrinCli
