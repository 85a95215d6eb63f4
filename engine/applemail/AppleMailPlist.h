// Property lists of the Apple Mail folder ("Accounts.plist", "BackupTOC.plist",
// mailbox "Info.plist"), in the binary or the XML form, read through libplist.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include <plist/plist.h>

namespace KestrinMIMEEngineCommon {

struct PlistFreer {
    void operator()(void* node) const { plist_free(static_cast<plist_t>(node)); }
};
// Owns a whole property-list tree; nodes reached through it are borrowed.
using PlistHandle = std::unique_ptr<void, PlistFreer>;

// The file's root node, or null when the file cannot be read or is not a
// property list. Files larger than limitBytes are refused.
PlistHandle ReadPlistFile(const std::string& path, uint64_t limitBytes = 64u * 1024u * 1024u);

// Borrowed lookups that answer null / false when the node is missing or of
// another type.
plist_t PlistDictItem(plist_t dict, const char* key, plist_type type);
bool PlistDictString(plist_t dict, const char* key, std::string& out);
bool PlistDictInteger(plist_t dict, const char* key, int64_t& out);
std::string PlistStringValue(plist_t node);

}  // namespace KestrinMIMEEngineCommon
