#include "mime/MakeSafeName.h"
#include "mime/KSCharsets.h"

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

std::string CaseLabel(const ::testing::TestParamInfo<SafeNameCase>& info) { return info.param.label; }

TEST_P(SafeName, MakesTheExpectedName) { EXPECT_EQ(MakeSafeName(GetParam().input), GetParam().expected); }

const std::wstring kEmoji = std::wstring(1, wchar_t(0x1F600)) + std::wstring(1, wchar_t(0x1F389));

INSTANTIATE_TEST_SUITE_P(
    Table, SafeName,
    ::testing::Values(
        SafeNameCase{"Empty", L"", L"Untitled"},
        SafeNameCase{"PlainAscii", L"Quarterly report 2024", L"Quarterly report 2024"},
        SafeNameCase{"DiacriticsSharpSSlashColon", L"M\u00FCller/Stra\u00DFe: Teil 1",
                     L"Muller\u2215Strasse_ Teil 1"},
        SafeNameCase{"Greek", L"\u0391\u03B8\u03AE\u03BD\u03B1", L"Athena"},
        SafeNameCase{"Cyrillic", L"\u041C\u043E\u0441\u043A\u0432\u0430", L"Moskva"},
        SafeNameCase{"EmojiOnly", kEmoji, L"Untitled"},
        SafeNameCase{"EmojiAroundText", kEmoji + L" Party " + kEmoji, L"Party"},
        SafeNameCase{"LeadingDot", L".hidden", L"_.hidden"},
        SafeNameCase{"DotsOnly", L"..", L"_.."},
        // Trimming the spaces uncovers the dot, which must not lead.
        SafeNameCase{"SpacesThenDot", L"  .x", L"_.x"},
        SafeNameCase{"Apostrophe", L"O'Brien", L"O_Brien"},
        SafeNameCase{"ReservedCharacters", L"a\\b<c>d|e?f\"g*h~i:j/k", L"a_b_c_d_e_f_g_h_i_j\u2215k"},
        SafeNameCase{"SurroundingWhiteSpace", L" \t Re: hello \r\n", L"Re_ hello"},
        SafeNameCase{"OnlyWhiteSpace", L"   ", L"Untitled"},
        // Control characters never reach a file name; punctuation stays.
        SafeNameCase{"AsciiControlsBecomeUnderscores", L"a\x01" L"b\x7f" L"c\x1b" L"d", L"a_b_c_d"},
        SafeNameCase{"AsciiPunctuationStays", L"#1 [draft] (v2) {a}; 50% off! @home & more ^_^ `x` =+,",
                     L"#1 [draft] (v2) {a}; 50% off! @home & more ^_^ `x` =+,"},
        SafeNameCase{"NotACodePoint", std::wstring{L'a', wchar_t(0xD800), L'b', wchar_t(0x110000)}, L"ab"}),
    CaseLabel);

// Names that must stay inside the folder they are joined to: none may name
// the folder itself or its parent, hide itself, or carry a control character.
INSTANTIATE_TEST_SUITE_P(
    Hostile, SafeName,
    ::testing::Values(
        SafeNameCase{"BlankDotDot", L" ..", L"_.."},
        SafeNameCase{"TabDotDot", L"\t..", L"_.."},
        SafeNameCase{"BlankDot", L" .", L"_."},
        SafeNameCase{"BlankAppleDouble", L" ._x", L"_._x"},
        SafeNameCase{"Dot", L".", L"_."},
        SafeNameCase{"NewlineInside", L"a\nb", L"a_b"},
        SafeNameCase{"StartOfHeadingInside", L"a\x01" L"b", L"a_b"},
        SafeNameCase{"EscapeAndBell", L"\x1b[31mred\x07", L"_[31mred_"},
        SafeNameCase{"ControlsInTransliteratedName", L"Caf\u00E9\n\x07", L"Cafe__"},
        SafeNameCase{"ControlBeforeDots", L"\x01..", L"_.."},
        SafeNameCase{"ComposedCafe", L"Caf\u00E9", L"Cafe"},
        SafeNameCase{"DecomposedCafe", L"Cafe\u0301", L"Cafe"}),
    CaseLabel);

// The property every caller relies on, checked over a spread of inputs built
// from the troublesome pieces.
TEST(SafeNameProperty, NeverAnUnsafeName)
{
    const std::vector<std::wstring> pieces = {L"", L" ", L"\t", L"\n", L".", L"..", L"/", L"\x01",
                                              L"\x7f", L"\u00A0", L"\u00E9", kEmoji, L"a", L"~"};
    size_t checked = 0;
    for (const auto& a : pieces)
        for (const auto& b : pieces)
            for (const auto& c : pieces) {
                const std::wstring input = a + b + c;
                const std::wstring safe = MakeSafeName(input);
                SCOPED_TRACE(::testing::PrintToString(WideToUTF8(input)));
                ASSERT_FALSE(safe.empty());
                ASSERT_NE(safe, L".");
                ASSERT_NE(safe, L"..");
                ASSERT_NE(safe.front(), L'.');
                ASSERT_NE(safe.front(), L' ');
                ASSERT_LE(safe.size(), 128u);
                for (wchar_t ch : safe) ASSERT_TRUE(ch >= 0x20 && ch != 0x7F) << int(ch);
                ++checked;
            }
    EXPECT_EQ(checked, pieces.size() * pieces.size() * pieces.size());
}

TEST(SafeNameProperty, WhatIsLeftWhenNothingSurvivesIsTheCallersChoice)
{
    EXPECT_EQ(MakeSafeName(L"", L""), L"");
    EXPECT_EQ(MakeSafeName(kEmoji, L"Untitled Folder"), L"Untitled Folder");
    EXPECT_EQ(MakeSafeName(L" \t", std::wstring()), L"");
}

struct NameKeyCase {
    const char* label;
    std::wstring a;
    std::wstring b;
    bool same;
};

class FileSystemKey : public ::testing::TestWithParam<NameKeyCase> {};

TEST_P(FileSystemKey, ComparesAsCaseAndNormalisationInsensitiveDisksDo)
{
    EXPECT_EQ(FileSystemNameKey(GetParam().a) == FileSystemNameKey(GetParam().b), GetParam().same);
}

INSTANTIATE_TEST_SUITE_P(
    Pairs, FileSystemKey,
    ::testing::Values(NameKeyCase{"CaseOnly", L"Work", L"work", true},
                      NameKeyCase{"ComposedAndDecomposed", L"Caf\u00E9", L"Cafe\u0301", true},
                      NameKeyCase{"CapitalAccented", L"CAF\u00C9", L"caf\u00E9", true},
                      NameKeyCase{"AccentIsNotDropped", L"Caf\u00E9", L"Cafe", false},
                      NameKeyCase{"ColonAndUnderscoreDiffer", L"Re: Plan", L"Re_ Plan", false},
                      NameKeyCase{"Numbered", L"Work (1)", L"work (1)", true}),
    [](const ::testing::TestParamInfo<NameKeyCase>& info) { return info.param.label; });

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
