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

// The property-list library builds, and frees, a tree recursively: a list
// nested deeper than this is refused before it is parsed (real Apple Mail
// lists are a few levels deep). A binary list is also refused when the
// objects it shares by reference would expand to more than
// kPlistMaxExpandedBytes, as the library copies a shared object at every use.
constexpr size_t kPlistMaxDepth = 512;
constexpr uint64_t kPlistMaxExpandedBytes = 256u * 1024u * 1024u;

// The file's root node, or null when the file cannot be read or is not a
// property list. Files larger than limitBytes are refused; so are lists
// beyond the limits above, with a diagnostic line.
PlistHandle ReadPlistFile(const std::string& path, uint64_t limitBytes = 64u * 1024u * 1024u);

// The same for a list in memory. When the list is refused before parsing,
// refusal (if given) receives the reason in plain words.
PlistHandle ReadPlistBytes(const char* bytes, size_t length, std::string* refusal = nullptr);

// Empty when the list is within the limits above, else the reason it is not.
// Structures this check cannot follow are left to the library to reject.
std::string CheckPlistNesting(const char* bytes, size_t length);

// Borrowed lookups that answer null / false when the node is missing or of
// another type.
plist_t PlistDictItem(plist_t dict, const char* key, plist_type type);
bool PlistDictString(plist_t dict, const char* key, std::string& out);
bool PlistDictInteger(plist_t dict, const char* key, int64_t& out);
std::string PlistStringValue(plist_t node);

}  // namespace KestrinMIMEEngineCommon
