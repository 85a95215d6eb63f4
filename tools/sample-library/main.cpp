// kestrin-sample-library <OUTDIR> [--messages N] [--folders N] [--header-only]
#include <iostream>
#include <string>
#include <vector>

#include "sample-library/SampleLibrary.h"

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    return kestrin_sample::RunSampleLibraryCommand(args, std::cout, std::cerr);
}
