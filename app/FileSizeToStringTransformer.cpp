#include "app/FileSizeToStringTransformer.h"

#include <cstdio>

namespace KestrinApp {

std::string FileSizeToStringTransformer::Transform(int64_t bytes)
{
    static const char* const kUnits[] = {"BYTES", "KB", "MB", "GB", "TB", "PB", "EB"};
    constexpr size_t kLastUnit = sizeof(kUnits) / sizeof(kUnits[0]) - 1;

    double x = static_cast<double>(bytes);
    size_t unit = 0;
    while (x > 1 && unit < kLastUnit) {
        x /= 1024;
        ++unit;
        if (x < 1024)
            break;
    }
    char text[64];
    std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", x, kUnits[unit]);
    return text;
}

std::string GroupedNumber(int64_t value)
{
    const bool negative = value < 0;
    const uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    std::string digits = std::to_string(magnitude);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) digits.insert(at, ",");
    return negative ? "-" + digits : digits;
}

}  // namespace KestrinApp
