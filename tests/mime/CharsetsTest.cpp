#include "mime/KSCharsets.h"

#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/TestSupport.h"

using namespace KestrinMIMEEngineCommon;

namespace {

// ---------------------------------------------------------------------------
// UTF-8 <-> wide

struct UTF8Case {
    const char* label;
    std::string utf8;
    std::wstring wide;
};

class UTF8WellFormed : public ::testing::TestWithParam<UTF8Case> {};

TEST_P(UTF8WellFormed, ConvertsBothWays)
{
    const UTF8Case& c = GetParam();
    EXPECT_EQ(UTF8ToWide(c.utf8), c.wide);
    EXPECT_EQ(WideToUTF8(c.wide), c.utf8);
}

INSTANTIATE_TEST_SUITE_P(
    Table, UTF8WellFormed,
    ::testing::Values(UTF8Case{"Empty", "", L""}, UTF8Case{"Ascii", "Inbox/Sent 2024", L"Inbox/Sent 2024"},
                      UTF8Case{"EAcute", "\xC3\xA9", std::wstring(1, wchar_t(0xE9))},
                      UTF8Case{"Emoji", "\xF0\x9F\x98\x80", std::wstring(1, wchar_t(0x1F600))},
                      UTF8Case{"MixedScripts", "Re: \xD0\x9F\xD1\x80\xD0\xB8 \xE6\x97\xA5 \xF0\x9F\x98\x80!",
                               L"Re: \u041F\u0440\u0438 \u65E5 " + std::wstring(1, wchar_t(0x1F600)) + L"!"},
                      UTF8Case{"EmbeddedNul", std::string("a\0b", 3), std::wstring(L"a\0b", 3)}),
    [](const ::testing::TestParamInfo<UTF8Case>& info) { return info.param.label; });

// Broken input still converts: every ill-formed sequence becomes U+FFFD.
class UTF8IllFormed : public ::testing::TestWithParam<UTF8Case> {};

TEST_P(UTF8IllFormed, IsSubstituted) { EXPECT_EQ(UTF8ToWide(GetParam().utf8), GetParam().wide); }

INSTANTIATE_TEST_SUITE_P(
    Table, UTF8IllFormed,
    ::testing::Values(UTF8Case{"StrayContinuationByte", "a\x80z", L"a\uFFFDz"},
                      UTF8Case{"Latin1Byte", "caf\xE9!", L"caf\uFFFD!"},
                      UTF8Case{"TruncatedAtEnd", "ab\xE2\x82", L"ab\uFFFD"},
                      UTF8Case{"EncodedSurrogate", "\xED\xA0\x80x", L"\uFFFD\uFFFD\uFFFDx"},
                      UTF8Case{"OnlyBadBytes", "\xFF\xFE", L"\uFFFD\uFFFD"}),
    [](const ::testing::TestParamInfo<UTF8Case>& info) { return info.param.label; });

struct WideToUTF8Case {
    const char* label;
    std::wstring wide;
    std::string utf8;
};

class WideNoCodePoint : public ::testing::TestWithParam<WideToUTF8Case> {};

TEST_P(WideNoCodePoint, IsSubstituted) { EXPECT_EQ(WideToUTF8(GetParam().wide), GetParam().utf8); }

INSTANTIATE_TEST_SUITE_P(Table, WideNoCodePoint,
                         ::testing::Values(WideToUTF8Case{"LoneSurrogate", std::wstring{L'a', wchar_t(0xD800), L'b'},
                                                          "a\xEF\xBF\xBD"
                                                          "b"},
                                           WideToUTF8Case{"BeyondUnicode", std::wstring{wchar_t(0x110000)},
                                                          "\xEF\xBF\xBD"}),
                         [](const ::testing::TestParamInfo<WideToUTF8Case>& info) { return info.param.label; });

TEST(UTF8Wide, LongTextSurvivesRoundTrip)
{
    std::wstring text;
    for (int i = 0; i < 20000; ++i)
        text += (i % 3 == 0) ? L'\u00E9' : (i % 3 == 1) ? L'\u65E5' : wchar_t(0x1F600);
    std::string narrow = WideToUTF8(text);
    EXPECT_EQ(narrow.size(), 20000u / 3 * 9 + 2 + 3);  // 2+3+4 bytes per triple, then 2 and 3
    EXPECT_EQ(UTF8ToWide(narrow), text);
}

TEST(UTF8Wide, ThreadsConvertIndependently)
{
    const std::string narrow = "Stra\xC3\x9F" "e \xF0\x9F\x98\x80 \xD0\x9F";
    const std::wstring wide = UTF8ToWide(narrow);
    std::vector<std::thread> threads;
    std::vector<int> failures(4, 0);
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 2000; ++i)
                if (UTF8ToWide(narrow) != wide || WideToUTF8(wide) != narrow)
                    ++failures[t];
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(failures, std::vector<int>(4, 0));
}

}  // namespace
