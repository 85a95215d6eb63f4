// Byte counts as the folder tree shows them: "0 BYTES", "1 BYTES", "0.5 KB",
// "1.5 KB", "1.0 MB".
#pragma once

#include <cstdint>
#include <string>

#include <boost/optional.hpp>

namespace KestrinApp {

class FileSizeToStringTransformer {
public:
    // Divides by 1024 while the value is above 1 and not yet below 1024, so
    // every value above 1 is shown in KB or larger. Beyond "TB" the units go on
    // with "PB" and "EB", which covers every 64-bit count.
    static std::string Transform(int64_t bytes);
    // An empty input gives no text.
    static std::string Transform(const boost::optional<int64_t>& bytes);
    // The reverse transformation hands the value back unchanged.
    static boost::optional<int64_t> ReverseTransform(const boost::optional<int64_t>& value)
    {
        return value;
    }
};

}  // namespace KestrinApp
