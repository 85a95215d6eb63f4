// Fuzz target "safe-name": subject and folder names turned into file names: never an unsafe name.
#include "FuzzEntries.h"

KESTRIN_FUZZ_TARGET(FuzzSafeName)
