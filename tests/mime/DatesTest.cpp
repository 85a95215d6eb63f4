// RFC 822 dates for headers and the log, and mbox separator dates.
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>

#include "MimeTestHelpers.h"
#include "mime/MimeServices.h"

using namespace KestrinMIMEEngineCommon;

namespace {

const int64_t kTuesday = 1551791229;  // 2019-03-05 13:07:09 UTC

std::unique_ptr<icu::TimeZone> Zone(const char* id)
{
    return std::unique_ptr<icu::TimeZone>(icu::TimeZone::createTimeZone(id));
}

}  // namespace

struct Rfc822Case {
    const char* name;
    int64_t seconds;
    const char* zone;
    const char* expected;
};

class Rfc822Date : public ::testing::TestWithParam<Rfc822Case> {};

TEST_P(Rfc822Date, FormatsInTheGivenZone)
{
    const Rfc822Case& c = GetParam();
    EXPECT_EQ(c.expected, FormatRFC822Date(c.seconds, Zone(c.zone).get()));
}

INSTANTIATE_TEST_SUITE_P(
    Zones, Rfc822Date,
    ::testing::Values(Rfc822Case{"BerlinWinter", kTuesday, "Europe/Berlin", "Tue, 05 Mar 2019 14:07:09 +0100"},
                      Rfc822Case{"BerlinSummer", 1561975200, "Europe/Berlin", "Mon, 01 Jul 2019 12:00:00 +0200"},
                      Rfc822Case{"NewYork", kTuesday, "America/New_York", "Tue, 05 Mar 2019 08:07:09 -0500"},
                      Rfc822Case{"Kolkata", kTuesday, "Asia/Kolkata", "Tue, 05 Mar 2019 18:37:09 +0530"},
                      Rfc822Case{"EpochUtc", 0, "UTC", "Thu, 01 Jan 1970 00:00:00 +0000"},
                      Rfc822Case{"BeforeEpoch", -86400, "UTC", "Wed, 31 Dec 1969 00:00:00 +0000"}),
    [](const ::testing::TestParamInfo<Rfc822Case>& info) { return std::string(info.param.name); });

TEST(Rfc822DateDefaults, NoZoneMeansIcuDefaultZone)
{
    mime_test::DefaultZone zone("Europe/Berlin");
    EXPECT_EQ("Tue, 05 Mar 2019 14:07:09 +0100", FormatRFC822Date(kTuesday));
    {
        mime_test::DefaultZone inner("UTC");
        EXPECT_EQ("Tue, 05 Mar 2019 13:07:09 +0000", FormatRFC822Date(kTuesday));
    }
}

TEST(Rfc822DateDefaults, StaysEnglishUnderAGermanDefaultLocale)
{
    mime_test::DefaultLocale german("de_DE");
    EXPECT_EQ("Tue, 05 Mar 2019 14:07:09 +0100", FormatRFC822Date(kTuesday, Zone("Europe/Berlin").get()));
}

TEST(MboxDate, EnglishWhateverTheDefaultLocale)
{
    auto utc = Zone("UTC");
    const std::string english = FormatMboxDate(kTuesday, utc.get());
    EXPECT_EQ("Tue Mar 05 13:07:09 2019", english);
    {
        mime_test::DefaultLocale german("de_DE");
        EXPECT_EQ(english, FormatMboxDate(kTuesday, utc.get()));
        char buffer[256];
        FormatMboxDate(kTuesday, buffer, sizeof buffer, utc.get());
        EXPECT_STREQ("Tue Mar 05 13:07:09 2019", buffer);
    }
}

// A thread that formats its first date only after the language was switched
// has nothing made under the old language to fall back on: a separator date
// taken from the default locale would show up here as "Di. März 05".
TEST(MboxDate, EnglishInAThreadThatStartsUnderAnotherLanguage)
{
    mime_test::DefaultLocale german("de_DE");
    std::string separatorDate;
    std::string headerDate;
    std::thread worker([&] {
        auto utc = Zone("UTC");
        separatorDate = FormatMboxDate(kTuesday, utc.get());
        headerDate = FormatRFC822Date(kTuesday, utc.get());
    });
    worker.join();
    EXPECT_EQ("Tue Mar 05 13:07:09 2019", separatorDate);
    EXPECT_EQ("Tue, 05 Mar 2019 13:07:09 +0000", headerDate);
}

TEST(MboxDate, NoZoneMeansIcuDefaultZone)
{
    mime_test::DefaultZone zone("America/New_York");
    EXPECT_EQ("Tue Mar 05 08:07:09 2019", FormatMboxDate(kTuesday));
}

TEST(MboxDate, SmallBufferIsCutAndTerminated)
{
    auto utc = Zone("UTC");
    char buffer[8];
    std::memset(buffer, '#', sizeof buffer);
    FormatMboxDate(kTuesday, buffer, sizeof buffer, utc.get());
    EXPECT_STREQ("Tue Mar", buffer);

    char untouched = '#';
    FormatMboxDate(kTuesday, &untouched, 0, utc.get());
    EXPECT_EQ('#', untouched);
}

TEST(DateFormatting, ThreadsDoNotDisturbEachOther)
{
    auto berlin = Zone("Europe/Berlin");
    auto newYork = Zone("America/New_York");
    bool berlinOk = true, newYorkOk = true;
    std::thread other([&]() {
        for (int i = 0; i < 300; ++i)
            newYorkOk &= FormatRFC822Date(kTuesday, newYork.get()) == "Tue, 05 Mar 2019 08:07:09 -0500";
    });
    for (int i = 0; i < 300; ++i)
        berlinOk &= FormatRFC822Date(kTuesday, berlin.get()) == "Tue, 05 Mar 2019 14:07:09 +0100";
    other.join();
    EXPECT_TRUE(berlinOk);
    EXPECT_TRUE(newYorkOk);
}

// Common dates are formatted without ICU's formatter; across zones, eras and
// the range limits the text is what ICU's formatter writes with the same
// pattern and locale.
TEST(DateFormatting, DirectFormattingMatchesIcu)
{
    const char* const zones[] = {"UTC", "Europe/Berlin", "America/New_York", "Asia/Kolkata",
                                 "Australia/Lord_Howe", "Pacific/Chatham", "America/St_Johns",
                                 "Europe/Amsterdam", "Africa/Monrovia", "Pacific/Kiritimati"};
    std::vector<int64_t> moments = {0,           -1,           -86400,       951782400,
                                    951868799,   4107542400,   -2208988800,  -2208902400,
                                    -2208902401, 253402214400, 253402214401, 253402300799,
                                    kTuesday,    -12219292800};
    uint64_t seed = 7;
    for (int i = 0; i < 3000; ++i) {
        seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
        // 1800 to 2200, all seconds
        moments.push_back(-5364662400LL + static_cast<int64_t>((seed >> 11) % 12623040000ULL));
    }
    UErrorCode status = U_ZERO_ERROR;
    icu::SimpleDateFormat rfc822(icu::UnicodeString("EEE',' dd MMM yyyy HH':'mm':'ss ZZZ"),
                                 icu::Locale("en_US"), status);
    icu::SimpleDateFormat mbox(icu::UnicodeString("EEE MMM dd HH':'mm':'ss yyyy"),
                               icu::Locale("en_US_POSIX"), status);
    ASSERT_TRUE(U_SUCCESS(status));
    for (const char* id : zones) {
        auto zone = Zone(id);
        rfc822.setTimeZone(*zone);
        mbox.setTimeZone(*zone);
        int mismatches = 0;
        for (int64_t seconds : moments) {
            icu::UnicodeString expected;
            std::string rfcText, mboxText;
            rfc822.format(static_cast<UDate>(seconds) * 1000.0, expected);
            expected.toUTF8String(rfcText);
            expected.remove();
            mbox.format(static_cast<UDate>(seconds) * 1000.0, expected);
            expected.toUTF8String(mboxText);
            if (FormatRFC822Date(seconds, zone.get()) != rfcText && mismatches++ < 3)
                ADD_FAILURE() << id << " " << seconds << ": " << FormatRFC822Date(seconds, zone.get())
                              << " != " << rfcText;
            if (FormatMboxDate(seconds, zone.get()) != mboxText && mismatches++ < 3)
                ADD_FAILURE() << id << " " << seconds << ": " << FormatMboxDate(seconds, zone.get())
                              << " != " << mboxText;
        }
        EXPECT_EQ(mismatches, 0) << id;
    }
}
