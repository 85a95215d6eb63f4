// Fuzz target "mailbox-url": the Envelope Index's mailbox URLs mapped to folders below the mail folder.
#include "FuzzEntries.h"

KESTRIN_FUZZ_TARGET(FuzzMailboxUrl)
