// Numbers as the window shows them: byte counts ("0 BYTES", "1 BYTES",
// "0.5 KB", "1.5 KB", "1.0 MB") and counts grouped by thousands.
#pragma once

#include <cstdint>
#include <string>

namespace KestrinApp {

class FileSizeToStringTransformer {
public:
    // Divides by 1024 while the value is above 1 and not yet below 1024, so
    // every value above 1 is shown in KB or larger. Beyond "TB" the units go on
    // with "PB" and "EB", which covers every 64-bit count.
    static std::string Transform(int64_t bytes);
};

// A count as people read it: "1,234,567".
std::string GroupedNumber(int64_t value);

}  // namespace KestrinApp
