// Fuzz target "message-head": a message's head read straight from its header block, against a GMime parse of the block.
#include "FuzzEntries.h"

KESTRIN_FUZZ_TARGET(FuzzMessageHead)
