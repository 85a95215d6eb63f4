// The walk that runs before a property list reaches the property-list
// library: that library parses and frees nested lists recursively, so a
// hostile "Accounts.plist" of a few megabytes of nested arrays would overflow
// the stack. The walk itself uses no recursion.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "applemail/AppleMailPlist.h"

namespace KestrinMIMEEngineCommon {

namespace {

const char kTooDeep[] = "nested deeper than 512 levels";

// ---------------------------------------------------------------------------
// XML: element depth, skipping comments, CDATA, declarations and quoted
// attribute values. Element depth is at least the depth of arrays and
// dictionaries, so the count errs on the side of refusing.

size_t SkipPast(const char* text, size_t length, size_t from, const char* marker)
{
    const size_t markerLength = std::strlen(marker);
    for (size_t i = from; i + markerLength <= length; ++i) {
        if (std::memcmp(text + i, marker, markerLength) == 0)
            return i + markerLength;
    }
    return length;
}

bool StartsAt(const char* text, size_t length, size_t at, const char* marker)
{
    const size_t markerLength = std::strlen(marker);
    return at + markerLength <= length && std::memcmp(text + at, marker, markerLength) == 0;
}

std::string CheckXmlNesting(const char* text, size_t length)
{
    size_t depth = 0;
    size_t i = 0;
    while (i < length) {
        const void* open = std::memchr(text + i, '<', length - i);
        if (!open)
            break;
        i = static_cast<size_t>(static_cast<const char*>(open) - text);
        if (StartsAt(text, length, i, "<!--")) {
            i = SkipPast(text, length, i + 4, "-->");
            continue;
        }
        if (StartsAt(text, length, i, "<![CDATA[")) {
            i = SkipPast(text, length, i + 9, "]]>");
            continue;
        }
        if (StartsAt(text, length, i, "<?")) {
            i = SkipPast(text, length, i + 2, "?>");
            continue;
        }
        const bool closing = StartsAt(text, length, i, "</");
        const bool declaration = StartsAt(text, length, i, "<!");
        // The end of the tag, outside quoted attribute values.
        size_t end = i + 1;
        char quote = 0;
        for (; end < length; ++end) {
            const char c = text[end];
            if (quote) {
                if (c == quote)
                    quote = 0;
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else if (c == '>') {
                break;
            }
        }
        const bool selfClosing = end < length && text[end - 1] == '/';
        if (closing) {
            if (depth > 0)
                --depth;
        } else if (!declaration && !selfClosing) {
            if (++depth > kPlistMaxDepth)
                return kTooDeep;
        }
        i = end < length ? end + 1 : length;
    }
    return std::string();
}

// ---------------------------------------------------------------------------
// Binary ("bplist00"): objects are found through the offset table named by
// the 32-byte trailer; arrays, sets and dictionaries hold object references.
// The longest reference chain and the size the tree expands to are worked
// out once per object, so shared objects cost nothing extra.

uint64_t ReadBigEndian(const uint8_t* bytes, size_t width)
{
    uint64_t value = 0;
    for (size_t i = 0; i < width; ++i)
        value = (value << 8) | bytes[i];
    return value;
}

struct BinaryPlist {
    const uint8_t* bytes = nullptr;
    size_t length = 0;
    size_t offsetWidth = 0;
    size_t refWidth = 0;
    uint64_t objectCount = 0;
    uint64_t topObject = 0;
    uint64_t tableOffset = 0;

    bool Load(const char* data, size_t size)
    {
        bytes = reinterpret_cast<const uint8_t*>(data);
        length = size;
        if (length < 8 + 32)
            return false;
        const uint8_t* trailer = bytes + length - 32;
        offsetWidth = trailer[6];
        refWidth = trailer[7];
        objectCount = ReadBigEndian(trailer + 8, 8);
        topObject = ReadBigEndian(trailer + 16, 8);
        tableOffset = ReadBigEndian(trailer + 24, 8);
        if (offsetWidth < 1 || offsetWidth > 8 || refWidth < 1 || refWidth > 8)
            return false;
        if (objectCount == 0 || topObject >= objectCount || tableOffset >= length - 32)
            return false;
        return objectCount <= (length - 32 - tableOffset) / offsetWidth;
    }

    // The object's offset; false when it lies outside the object area.
    bool ObjectOffset(uint64_t object, size_t& offset) const
    {
        const uint64_t value =
            ReadBigEndian(bytes + tableOffset + object * offsetWidth, offsetWidth);
        if (value >= tableOffset)
            return false;
        offset = static_cast<size_t>(value);
        return true;
    }

    // The references an object holds (a dictionary's keys and values) and
    // the size of its own content. False for an object this walk cannot read:
    // it is then counted as a leaf and left to the library.
    bool Children(uint64_t object, std::vector<uint64_t>& children, uint64_t& contentBytes) const
    {
        children.clear();
        contentBytes = 0;
        size_t at = 0;
        if (!ObjectOffset(object, at))
            return false;
        const uint8_t marker = bytes[at++];
        const uint8_t kind = marker >> 4;
        uint64_t count = marker & 0x0F;
        if (kind == 0x0 || kind == 0x1 || kind == 0x2 || kind == 0x3 || kind == 0x8) {
            contentBytes = 16;
            return true;
        }
        if (count == 0x0F) {
            if (at >= tableOffset || (bytes[at] >> 4) != 0x1)
                return false;
            const size_t width = size_t(1) << (bytes[at] & 0x03);
            ++at;
            if (at + width > tableOffset)
                return false;
            count = ReadBigEndian(bytes + at, width);
            at += width;
        }
        // A count beyond the file is the library's to reject; here it only
        // must not overflow the sum.
        if (kind == 0x4 || kind == 0x5) {
            contentBytes = std::min<uint64_t>(count, length);
            return true;
        }
        if (kind == 0x6) {
            contentBytes = std::min<uint64_t>(count, length) * 2;
            return true;
        }
        if (kind != 0xA && kind != 0xB && kind != 0xC && kind != 0xD)
            return false;
        const uint64_t refs = kind == 0xD ? count * 2 : count;
        if (refs > (tableOffset - at) / refWidth)
            return false;
        children.reserve(static_cast<size_t>(refs));
        for (uint64_t r = 0; r < refs; ++r) {
            const uint64_t child = ReadBigEndian(bytes + at + r * refWidth, refWidth);
            if (child < objectCount)
                children.push_back(child);
        }
        return true;
    }
};

std::string CheckBinaryNesting(const char* data, size_t length)
{
    BinaryPlist plist;
    if (!plist.Load(data, length))
        return std::string();

    // Per object: 0 not seen, 1 on the current chain, 2 done.
    std::vector<uint8_t> state(static_cast<size_t>(plist.objectCount), 0);
    std::vector<uint32_t> height(static_cast<size_t>(plist.objectCount), 0);
    std::vector<uint64_t> expanded(static_cast<size_t>(plist.objectCount), 0);
    constexpr uint64_t kNodeBytes = 64;  // what the library spends per node

    struct Frame {
        uint64_t object;
        std::vector<uint64_t> children;
        size_t next;
        uint32_t height;
        uint64_t expanded;
    };
    std::vector<Frame> chain;
    auto enter = [&](uint64_t object) {
        Frame frame{object, {}, 0, 1, kNodeBytes};
        uint64_t content = 0;
        plist.Children(object, frame.children, content);
        frame.expanded += content;
        state[static_cast<size_t>(object)] = 1;
        chain.push_back(std::move(frame));
    };
    enter(plist.topObject);
    while (!chain.empty()) {
        if (chain.size() > kPlistMaxDepth)
            return kTooDeep;
        Frame& frame = chain.back();
        if (frame.next < frame.children.size()) {
            const uint64_t child = frame.children[frame.next++];
            const uint8_t seen = state[static_cast<size_t>(child)];
            if (seen == 1)
                return "a list that contains itself";
            if (seen == 0) {
                enter(child);
                continue;
            }
            // A shared object already walked adds its own depth below here.
            if (chain.size() + height[static_cast<size_t>(child)] > kPlistMaxDepth)
                return kTooDeep;
            frame.height = std::max(frame.height, height[static_cast<size_t>(child)] + 1);
            frame.expanded += expanded[static_cast<size_t>(child)];
            if (frame.expanded > kPlistMaxExpandedBytes)
                return "too large once its shared parts are expanded";
            continue;
        }
        const size_t object = static_cast<size_t>(frame.object);
        state[object] = 2;
        height[object] = frame.height;
        expanded[object] = frame.expanded;
        chain.pop_back();
        if (!chain.empty()) {
            Frame& parent = chain.back();
            parent.height = std::max(parent.height, height[object] + 1);
            parent.expanded += expanded[object];
            if (parent.expanded > kPlistMaxExpandedBytes)
                return "too large once its shared parts are expanded";
        }
    }
    return std::string();
}

}  // namespace

std::string CheckPlistNesting(const char* bytes, size_t length)
{
    if (!bytes || length == 0)
        return std::string();
    if (length >= 8 && std::memcmp(bytes, "bplist00", 8) == 0)
        return CheckBinaryNesting(bytes, length);
    return CheckXmlNesting(bytes, length);
}

}  // namespace KestrinMIMEEngineCommon
