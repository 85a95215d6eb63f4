// Fuzz target "mbox-split": a mailbox file split into messages, compared with a plain reference, and each message written out again.
#include "FuzzEntries.h"

KESTRIN_FUZZ_TARGET(FuzzMboxSplit)
