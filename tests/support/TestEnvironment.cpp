// Linked into every test binary: fixes the zone and language that date and
// name formatting depend on, and tells the tests where the source tree and the
// real samples are, before any test (or static initialiser of a test) runs.
#include <cstdlib>
#include <ctime>

namespace {

struct TestEnvironment {
    TestEnvironment()
    {
        setenv("TZ", "UTC", 1);
        setenv("LANG", "C.UTF-8", 1);
        unsetenv("LC_ALL");
        tzset();
        setenv("KESTRIN_SOURCE_DIR", KESTRIN_SOURCE_DIR_DEFAULT, 0);
        setenv("KESTRIN_SAMPLES_DIR", KESTRIN_SAMPLES_DIR_DEFAULT, 0);
    }
};

const TestEnvironment g_environment;

}  // namespace
