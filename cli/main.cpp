// The kestrin command line tool.
#include <iostream>
#include <string>
#include <vector>

#include "app/StopSignals.h"
#include "cli/KestrinCli.h"
#include "streams/Platform.h"

int main(int argc, char** argv)
{
    KestrinApp::InstallInterruptHandler();
    KestrinCli::CliEnvironment environment;
    environment.stderrIsTerminal = KestrinMIMEEngineCommon::Platform::StandardErrorIsTerminal();
    const std::vector<std::string> args(argv + 1, argv + argc);
    const int status = KestrinCli::RunKestrin(args, std::cout, std::cerr, environment);
    std::cout.flush();
    return status;
}
