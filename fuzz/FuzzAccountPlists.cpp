// Fuzz target "account-plists": the account property lists ("Accounts.plist", "BackupTOC.plist", a mailbox "Info.plist").
#include "FuzzEntries.h"

KESTRIN_FUZZ_TARGET(FuzzAccountPlists)
