#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include <unicode/locid.h>
#include <unicode/smpdtfmt.h>
#include <unicode/unistr.h>

#include "mime/MimeServices.h"
#include "streams/KSDiagnostics.h"

namespace KestrinMIMEEngineCommon {

namespace {

// Building a SimpleDateFormat loads locale data; formatting runs once per
// message, so every thread keeps its own formatters (formatting mutates the
// formatter's calendar and must not be shared between threads). Both use a
// fixed locale, so a later change of ICU's default locale cannot make them
// stale; the zone is set on every call.
struct DateFormatter {
    DateFormatter(const char* pattern, const char* locale) : pattern(pattern), locale(locale) {}

    const char* pattern;
    const char* locale;
    std::unique_ptr<icu::SimpleDateFormat> formatter;
    bool failed = false;

    icu::SimpleDateFormat* Get()
    {
        if (!formatter && !failed) {
            UErrorCode status = U_ZERO_ERROR;
            std::unique_ptr<icu::SimpleDateFormat> made(new icu::SimpleDateFormat(
                icu::UnicodeString(pattern, -1, US_INV), icu::Locale(locale), status));
            if (U_FAILURE(status)) {
                failed = true;
                KSDiagnostic("ERROR: Cannot create the date format %s - %s\n", pattern,
                             u_errorName(status));
                return nullptr;
            }
            formatter = std::move(made);
        }
        return formatter.get();
    }
};

thread_local DateFormatter t_rfc822{"EEE',' dd MMM yyyy HH':'mm':'ss ZZZ", "en_US"};
// Mbox readers expect English names whatever the machine's language.
thread_local DateFormatter t_mbox{"EEE MMM dd HH':'mm':'ss yyyy", "en_US_POSIX"};

// Civil time of a moment in a zone, computed directly for the years where
// ICU's calendar is the plain Gregorian one; ICU formatting both patterns
// cost more than the rest of a message's summary.
struct CivilTime {
    int64_t year;
    int month, day, weekday, hour, minute, second;
    int offsetMinutes;
};

bool ToCivilTime(int64_t seconds, const icu::TimeZone& zone, CivilTime& civil)
{
    // 1900-01-01 to 9999-12-31 UTC, with a day to spare for the zone.
    if (seconds < -2208902400LL || seconds > 253402214400LL) return false;
    UErrorCode status = U_ZERO_ERROR;
    int32_t raw = 0, dst = 0;
    zone.getOffset(static_cast<UDate>(seconds) * 1000.0, FALSE, raw, dst, status);
    if (U_FAILURE(status)) return false;
    const int32_t offsetMs = raw + dst;
    // Offsets with seconds are written by ICU's own rules.
    if (offsetMs % 60000 != 0) return false;
    civil.offsetMinutes = offsetMs / 60000;
    const int64_t local = seconds + static_cast<int64_t>(civil.offsetMinutes) * 60;
    int64_t days = local / 86400;
    int64_t rest = local % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    civil.hour = static_cast<int>(rest / 3600);
    civil.minute = static_cast<int>(rest / 60 % 60);
    civil.second = static_cast<int>(rest % 60);
    civil.weekday = static_cast<int>(((days % 7) + 11) % 7);  // 1970-01-01 was a Thursday (4)
    // Days to civil date (proleptic Gregorian).
    const int64_t z = days + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    civil.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    civil.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    civil.year = yoe + era * 400 + (civil.month <= 2 ? 1 : 0);
    return true;
}

const char* const kWeekdays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// The moment in the given zone, or in ICU's default zone.
bool ToCivilTime(int64_t seconds, const icu::TimeZone* zone, CivilTime& civil)
{
    if (zone) return ToCivilTime(seconds, *zone, civil);
    std::unique_ptr<icu::TimeZone> standIn(icu::TimeZone::createDefault());
    return standIn && ToCivilTime(seconds, *standIn, civil);
}

icu::UnicodeString FormatWith(DateFormatter& cached, int64_t seconds, const icu::TimeZone* zone)
{
    icu::UnicodeString text;
    icu::SimpleDateFormat* formatter = cached.Get();
    if (!formatter) return text;
    if (zone)
        formatter->setTimeZone(*zone);
    else
        formatter->adoptTimeZone(icu::TimeZone::createDefault());
    formatter->format(static_cast<UDate>(seconds) * 1000.0, text);
    return text;
}

}  // namespace

std::string FormatRFC822Date(int64_t seconds, const icu::TimeZone* zone)
{
    CivilTime civil;
    if (ToCivilTime(seconds, zone, civil)) {
        const int offset = civil.offsetMinutes < 0 ? -civil.offsetMinutes : civil.offsetMinutes;
        char text[64];
        std::snprintf(text, sizeof text, "%s, %02d %s %04lld %02d:%02d:%02d %c%02d%02d",
                      kWeekdays[civil.weekday], civil.day, kMonths[civil.month - 1],
                      static_cast<long long>(civil.year), civil.hour, civil.minute, civil.second,
                      civil.offsetMinutes < 0 ? '-' : '+', offset / 60, offset % 60);
        return text;
    }
    icu::UnicodeString text = FormatWith(t_rfc822, seconds, zone);
    std::string out;
    out.reserve(static_cast<size_t>(text.length()));
    for (int32_t i = 0; i < text.length(); ++i) {
        char16_t unit = text.charAt(i);
        out += unit < 0x80 ? static_cast<char>(unit) : '?';
    }
    return out;
}

std::string FormatMboxDate(int64_t seconds, const icu::TimeZone* zone)
{
    CivilTime civil;
    if (ToCivilTime(seconds, zone, civil)) {
        char text[64];
        std::snprintf(text, sizeof text, "%s %s %02d %02d:%02d:%02d %04lld", kWeekdays[civil.weekday],
                      kMonths[civil.month - 1], civil.day, civil.hour, civil.minute, civil.second,
                      static_cast<long long>(civil.year));
        return text;
    }
    icu::UnicodeString text = FormatWith(t_mbox, seconds, zone);
    if (text.length() > 32) {
        int32_t keep = 32;
        if (U16_IS_LEAD(text.charAt(keep - 1))) --keep;
        text.truncate(keep);
    }
    std::string out;
    text.toUTF8String(out);
    return out;
}

void FormatMboxDate(int64_t seconds, char* buffer, size_t capacity, const icu::TimeZone* zone)
{
    if (!buffer || capacity == 0) return;
    std::string text = FormatMboxDate(seconds, zone);
    size_t count = std::min(text.size(), capacity - 1);
    // Never cut a UTF-8 sequence in half.
    while (count > 0 && count < text.size() && (static_cast<unsigned char>(text[count]) & 0xC0) == 0x80)
        --count;
    std::memcpy(buffer, text.data(), count);
    buffer[count] = '\0';
}

}  // namespace KestrinMIMEEngineCommon
