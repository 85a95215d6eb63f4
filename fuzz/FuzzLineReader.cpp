// Fuzz target "line-reader": line splitting by CR, LF and CR LF, compared with a plain reference, over sources that hand out a few bytes per read.
#include "FuzzEntries.h"

KESTRIN_FUZZ_TARGET(FuzzLineReader)
