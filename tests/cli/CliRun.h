// Runs the kestrin command in-process and keeps what it printed.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "cli/KestrinCli.h"

namespace kestrin_cli_test {

struct RunResult {
    int status = -1;
    std::string out;
    std::string err;
};

inline RunResult Kestrin(const std::vector<std::string>& args,
                         const KestrinCli::CliEnvironment& environment = {})
{
    std::ostringstream out;
    std::ostringstream err;
    RunResult run;
    run.status = KestrinCli::RunKestrin(args, out, err, environment);
    run.out = out.str();
    run.err = err.str();
    return run;
}

inline bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

}  // namespace kestrin_cli_test
