// Fuzz target "emlx": an Apple Mail message file: byte-count line, message, property-list trailer, and the stored parts put back.
#include "FuzzEntries.h"

KESTRIN_FUZZ_TARGET(FuzzEmlx)
