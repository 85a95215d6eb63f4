#include "applemail/AppleMailPlist.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <vector>

#include <boost/filesystem.hpp>

#include "streams/KSDiagnostics.h"

namespace KestrinMIMEEngineCommon {

PlistHandle ReadPlistFile(const std::string& path, uint64_t limitBytes)
{
    boost::system::error_code ec;
    const uint64_t size = boost::filesystem::file_size(path, ec);
    if (ec || size == 0 || size > limitBytes || size > UINT32_MAX)
        return PlistHandle();
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return PlistHandle();
    std::vector<char> bytes(static_cast<size_t>(size));
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (static_cast<uint64_t>(in.gcount()) != size)
        return PlistHandle();
    std::string refusal;
    PlistHandle root = ReadPlistBytes(bytes.data(), bytes.size(), &refusal);
    if (!refusal.empty())
        KSDiagnostic("ERROR: Property list skipped, %s: %s\n", refusal.c_str(), path.c_str());
    return root;
}

PlistHandle ReadPlistBytes(const char* bytes, size_t length, std::string* refusal)
{
    if (!bytes || length == 0 || length > UINT32_MAX)
        return PlistHandle();
    std::string reason = CheckPlistNesting(bytes, length);
    if (!reason.empty()) {
        if (refusal)
            *refusal = std::move(reason);
        return PlistHandle();
    }
    plist_t root = nullptr;
    plist_from_memory(bytes, static_cast<uint32_t>(length), &root);
    return PlistHandle(root);
}

plist_t PlistDictItem(plist_t dict, const char* key, plist_type type)
{
    if (!dict || plist_get_node_type(dict) != PLIST_DICT)
        return nullptr;
    plist_t item = plist_dict_get_item(dict, key);
    if (!item || plist_get_node_type(item) != type)
        return nullptr;
    return item;
}

std::string PlistStringValue(plist_t node)
{
    std::string value;
    if (!node || plist_get_node_type(node) != PLIST_STRING)
        return value;
    // plist_get_string_val aborts the process on a string holding a NUL byte
    // (a damaged or hostile file); the text is taken up to that byte.
    uint64_t length = 0;
    const char* text = plist_get_string_ptr(node, &length);
    if (text)
        value.assign(text, strnlen(text, static_cast<size_t>(length)));
    return value;
}

bool PlistDictString(plist_t dict, const char* key, std::string& out)
{
    plist_t item = PlistDictItem(dict, key, PLIST_STRING);
    if (!item)
        return false;
    out = PlistStringValue(item);
    return true;
}

bool PlistDictInteger(plist_t dict, const char* key, int64_t& out)
{
    plist_t item = PlistDictItem(dict, key, PLIST_UINT);
    if (!item)
        return false;
    uint64_t value = 0;
    plist_get_uint_val(item, &value);
    // Negative integers come back as their two's complement.
    out = static_cast<int64_t>(value);
    return true;
}

}  // namespace KestrinMIMEEngineCommon
