// The kestrin command line tool.
#include <iostream>
#include <string>
#include <vector>

#include <unistd.h>

#include "cli/Interrupts.h"
#include "cli/KestrinCli.h"

int main(int argc, char** argv)
{
    KestrinCli::InstallInterruptHandler();
    KestrinCli::CliEnvironment environment;
    environment.stderrIsTerminal = isatty(STDERR_FILENO) != 0;
    const std::vector<std::string> args(argv + 1, argv + argc);
    const int status = KestrinCli::RunKestrin(args, std::cout, std::cerr, environment);
    std::cout.flush();
    return status;
}
