// Running the kestrin command in-process and looking at what it printed.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include <memory>

#include <gtest/gtest.h>

#include "cli/KestrinCli.h"
#include "libbuilder/EnvelopeSamples.h"
#include "support/TestSupport.h"

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

// One sample library (layout 10) shared by the tests of a suite: building it
// costs more than most of the runs over it.
class SampleLibraryTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_home = std::make_unique<kestrin_test::TempDir>();
        s_library = std::make_unique<kestrin_libbuilder::EnvelopeSampleLibrary>(
            kestrin_libbuilder::BuildEnvelopeSampleLibrary(s_home->path(), 10));
    }
    static void TearDownTestSuite()
    {
        s_library.reset();
        s_home.reset();
    }
    static std::string Source() { return s_library->root.string(); }

    static inline std::unique_ptr<kestrin_test::TempDir> s_home;
    static inline std::unique_ptr<kestrin_libbuilder::EnvelopeSampleLibrary> s_library;
};

}  // namespace kestrin_cli_test
