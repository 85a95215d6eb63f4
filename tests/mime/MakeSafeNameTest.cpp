#include "mime/MakeSafeName.h"

#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/TestSupport.h"

using namespace KestrinMIMEEngineCommon;

namespace {

struct SafeNameCase {
    const char* label;
    std::wstring input;
    std::wstring expected;
};

class SafeName : public ::testing::TestWithParam<SafeNameCase> {};

TEST_P(SafeName, MakesTheExpectedName) { EXPECT_EQ(MakeSafeName(GetParam().input), GetParam().expected); }

const std::wstring kEmoji = std::wstring(1, wchar_t(0x1F600)) + std::wstring(1, wchar_t(0x1F389));

INSTANTIATE_TEST_SUITE_P(
    Table, SafeName,
    ::testing::Values(
        SafeNameCase{"Empty", L"", L""},
        SafeNameCase{"PlainAscii", L"Quarterly report 2024", L"Quarterly report 2024"},
        SafeNameCase{"DiacriticsSharpSSlashColon", L"M\u00FCller/Stra\u00DFe: Teil 1",
                     L"Muller\u2215Strasse_ Teil 1"},
        SafeNameCase{"Greek", L"\u0391\u03B8\u03AE\u03BD\u03B1", L"Athena"},
        SafeNameCase{"Cyrillic", L"\u041C\u043E\u0441\u043A\u0432\u0430", L"Moskva"},
        SafeNameCase{"EmojiOnly", kEmoji, L""},
        SafeNameCase{"EmojiAroundText", kEmoji + L" Party " + kEmoji, L"Party"},
        SafeNameCase{"LeadingDot", L".hidden", L"_.hidden"},
        SafeNameCase{"DotsOnly", L"..", L"_.."},
        // The dot test runs before trimming, so spaces in front let the dot lead.
        SafeNameCase{"SpacesThenDot", L"  .x", L".x"},
        SafeNameCase{"Apostrophe", L"O'Brien", L"O_Brien"},
        SafeNameCase{"ReservedCharacters", L"a\\b<c>d|e?f\"g*h~i:j/k", L"a_b_c_d_e_f_g_h_i_j\u2215k"},
        SafeNameCase{"SurroundingWhiteSpace", L" \t Re: hello \r\n", L"Re_ hello"},
        SafeNameCase{"OnlyWhiteSpace", L"   ", L""},
        // ASCII names skip the transliteration, which would leave them as
        // they are: controls and punctuation stay.
        SafeNameCase{"AsciiControlsStay", L"a\x01" L"b\x7f" L"c\x1b" L"d", L"a\x01" L"b\x7f" L"c\x1b" L"d"},
        SafeNameCase{"AsciiPunctuationStays", L"#1 [draft] (v2) {a}; 50% off! @home & more ^_^ `x` =+,",
                     L"#1 [draft] (v2) {a}; 50% off! @home & more ^_^ `x` =+,"},
        SafeNameCase{"NotACodePoint", std::wstring{L'a', wchar_t(0xD800), L'b', wchar_t(0x110000)}, L"ab"}),
    [](const ::testing::TestParamInfo<SafeNameCase>& info) { return info.param.label; });

TEST(SafeNameLength, LongNameIsCutTo125CharactersAndEllipsis)
{
    std::wstring longName;
    for (int i = 0; i < 200; ++i)
        longName += wchar_t(L'a' + i % 26);
    std::wstring safe = MakeSafeName(longName);
    EXPECT_EQ(safe, longName.substr(0, 125) + L"...");
    EXPECT_EQ(safe.size(), 128u);
}

TEST(SafeNameLength, LimitAppliesToTheTransliteratedName)
{
    // 100 letters that each become two (ß -> ss) are 200 characters long
    // after transliteration; exactly 128 characters stay as they are.
    EXPECT_EQ(MakeSafeName(std::wstring(100, L'\u00DF')), std::wstring(125, L's') + L"...");
    EXPECT_EQ(MakeSafeName(std::wstring(128, L'x')), std::wstring(128, L'x'));
    EXPECT_EQ(MakeSafeName(std::wstring(129, L'x')), std::wstring(125, L'x') + L"...");
}

TEST(SafeNameLength, CutHappensBeforeReplacingAndTrimming)
{
    // Replacements keep the length; trimming after the cut can shorten it.
    EXPECT_EQ(MakeSafeName(std::wstring(130, L':')), std::wstring(125, L'_') + L"...");
    std::wstring spaced = L"  " + std::wstring(122, L'y') + std::wstring(10, L' ');
    EXPECT_EQ(MakeSafeName(spaced), std::wstring(122, L'y') + L" ...");
}

TEST(SafeNameThreads, ConcurrentCallsAgree)
{
    const std::wstring input = L"\u041F\u0440\u0438\u0432\u0435\u0442: M\u00FCller/\u0391\u03B8\u03AE\u03BD\u03B1";
    const std::wstring expected = MakeSafeName(input);
    ASSERT_EQ(expected, L"Privet_ Muller\u2215Athena");
    std::vector<int> mismatches(4, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 300; ++i)
                if (MakeSafeName(input) != expected)
                    ++mismatches[t];
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(mismatches, std::vector<int>(4, 0));
}

}  // namespace
