#include <algorithm>
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
                KSDiagnostic("%s ERROR: Cannot create the date format %s - %s\n", pattern,
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
