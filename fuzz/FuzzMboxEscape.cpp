// Fuzz target "mbox-escape": the escaping of separator-like lines in mbox entries and taking it off again.
#include "FuzzEntries.h"

KESTRIN_FUZZ_TARGET(FuzzMboxEscape)
