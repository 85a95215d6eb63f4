// The entry functions of the fuzz targets, shared by the libFuzzer binaries
// (fuzz/Fuzz*.cpp) and by the replay test that feeds every kept regression
// input through them in the ordinary test suite.
//
// Each entry takes one input, runs it through the code under test and checks
// the properties that must hold for every input. A broken property is
// reported through the failure handler; crashes and sanitizer findings end
// the process as usual.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace KestrinFuzz {

// target: the fuzz target's name; kind: a short name of the broken property
// (the key used in the known-findings list); detail: what was seen.
using FailureHandler = void (*)(const char* target, const char* kind, const std::string& detail);

// The default handler prints the finding and aborts, unless
// "target:kind" is listed in the comma-separated environment variable
// KESTRIN_FUZZ_KNOWN (findings that are being fixed elsewhere; see
// fuzz/known-findings.txt). Answers the previous handler.
FailureHandler SetFailureHandler(FailureHandler handler);
void ReportFailure(const char* target, const char* kind, const std::string& detail);
bool IsKnownFinding(const char* target, const char* kind);

// Once per process: GMime and the engine's parser options, diagnostics
// silenced (set KESTRIN_FUZZ_VERBOSE=1 to keep them), a scratch folder.
void SetUp();

// One entry per target; the names match fuzz/corpus/<target>/ and
// tests/fixtures/fuzz/<target>/.
struct Target {
    const char* name;
    int (*entry)(const uint8_t* data, size_t size);
};
// The targets, ending with {nullptr, nullptr}.
const Target* Targets();

int FuzzEmlx(const uint8_t* data, size_t size);
int FuzzLineReader(const uint8_t* data, size_t size);
int FuzzMboxSplit(const uint8_t* data, size_t size);
int FuzzMboxEscape(const uint8_t* data, size_t size);
int FuzzSafeName(const uint8_t* data, size_t size);
int FuzzAccountPlists(const uint8_t* data, size_t size);
int FuzzMailboxUrl(const uint8_t* data, size_t size);
int FuzzMessageHead(const uint8_t* data, size_t size);

}  // namespace KestrinFuzz

// Defines the libFuzzer hooks of a target binary around one entry.
#define KESTRIN_FUZZ_TARGET(entry)                                                  \
    extern "C" int LLVMFuzzerInitialize(int*, char***)                              \
    {                                                                               \
        KestrinFuzz::SetUp();                                                       \
        return 0;                                                                   \
    }                                                                               \
    extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)         \
    {                                                                               \
        return KestrinFuzz::entry(data, size);                                      \
    }
