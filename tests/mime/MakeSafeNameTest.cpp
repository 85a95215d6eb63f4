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
    NameStyle style = NameStyle::Ascii;
};

class SafeName : public ::testing::TestWithParam<SafeNameCase> {};

std::string CaseLabel(const ::testing::TestParamInfo<SafeNameCase>& info) { return info.param.label; }

TEST_P(SafeName, MakesTheExpectedName)
{
    EXPECT_EQ(MakeSafeName(GetParam().input, kNamelessSafeName, GetParam().style), GetParam().expected);
}

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
        SafeNameCase{"DotsOnly", L"..", L"_"},
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
        SafeNameCase{"BlankDotDot", L" ..", L"_"},
        SafeNameCase{"TabDotDot", L"\t..", L"_"},
        SafeNameCase{"BlankDot", L" .", L"_"},
        SafeNameCase{"BlankAppleDouble", L" ._x", L"_._x"},
        SafeNameCase{"Dot", L".", L"_"},
        SafeNameCase{"NewlineInside", L"a\nb", L"a_b"},
        SafeNameCase{"StartOfHeadingInside", L"a\x01" L"b", L"a_b"},
        SafeNameCase{"EscapeAndBell", L"\x1b[31mred\x07", L"_[31mred_"},
        SafeNameCase{"ControlsInTransliteratedName", L"Caf\u00E9\n\x07", L"Cafe__"},
        SafeNameCase{"ControlBeforeDots", L"\x01..", L"_"},
        SafeNameCase{"ComposedCafe", L"Caf\u00E9", L"Cafe"},
        SafeNameCase{"DecomposedCafe", L"Cafe\u0301", L"Cafe"}),
    CaseLabel);

// Japanese (kana present) in romaji with the kanji read the Japanese way;
// Chinese (no kana) in pinyin.
INSTANTIATE_TEST_SUITE_P(
    Scripts, SafeName,
    ::testing::Values(
        SafeNameCase{"JapaneseSubject", L"\u65E5\u672C\u8A9E\u30E1\u30FC\u30EB\u30C6\u30B9\u30C8",
                     L"nihongo meerutesuto"},
        SafeNameCase{"Hiragana", L"\u3053\u3093\u306B\u3061\u306F", L"konnichiha"},
        SafeNameCase{"LongVowelsDoubled", L"\u30B3\u30FC\u30D2\u30FC", L"koohii"},
        SafeNameCase{"NBeforeAVowelWithoutApostrophe", L"\u3057\u3093\u3044\u3061", L"shinichi"},
        SafeNameCase{"KanjiWithKanaAmidAscii", L"Re: \u4F1A\u8B70\u306E\u8B70\u4E8B\u9332 2024",
                     L"Re_ kaigi no gijiroku 2024"},
        SafeNameCase{"HalfWidthKatakana", L"\uFF76\uFF9E\uFF72\uFF84\uFF9E", L"gaido"},
        SafeNameCase{"JapanesePunctuation", L"\u3010\u91CD\u8981\u3011\u304A\u77E5\u3089\u305B",
                     L"( juuyou ) o shirase"},
        SafeNameCase{"ChineseStaysPinyin", L"\u4E2D\u6587\u90AE\u4EF6\u6D4B\u8BD5",
                     L"zhong wen you jian ce shi"},
        SafeNameCase{"KanjiAloneIsReadAsChinese", L"\u4F1A\u8B70", L"hui yi"},
        SafeNameCase{"CyrillicWithJapaneseElsewhere", L"\u041E\u0442\u0447\u0451\u0442 \u30E1\u30E2",
                     L"Otcet memo"}),
    CaseLabel);

// What FAT, exFAT and Windows would drop or refuse is gone already.
INSTANTIATE_TEST_SUITE_P(
    RemovableDisks, SafeName,
    ::testing::Values(SafeNameCase{"TrailingDot", L"Notes.", L"Notes"},
                      SafeNameCase{"TrailingDotsAndBlanks", L"Notes . . .  ", L"Notes"},
                      SafeNameCase{"TrailingDotAfterTransliteration", L"Caf\u00E9.", L"Cafe"},
                      SafeNameCase{"InnerDotsStay", L"v1.2 final", L"v1.2 final"},
                      SafeNameCase{"DeviceName", L"CON", L"_CON"},
                      SafeNameCase{"DeviceNameAnyCase", L"nul", L"_nul"},
                      SafeNameCase{"DeviceNameWithExtension", L"aux.txt", L"_aux.txt"},
                      SafeNameCase{"NumberedDeviceName", L"com1", L"_com1"},
                      SafeNameCase{"NotADeviceName", L"Console", L"Console"},
                      SafeNameCase{"TwoDigitsIsNoDevice", L"LPT10", L"LPT10"}),
    CaseLabel);

// The text kept as written, only what disks refuse replaced.
constexpr NameStyle kAsWritten = NameStyle::Unicode;

INSTANTIATE_TEST_SUITE_P(
    Unicode, SafeName,
    ::testing::Values(
        SafeNameCase{"Japanese", L"\u65E5\u672C\u8A9E\u30E1\u30FC\u30EB",
                     L"\u65E5\u672C\u8A9E\u30E1\u30FC\u30EB", kAsWritten},
        SafeNameCase{"ReservedCharacters", L"Re: \u4F1A\u8B70 <draft>?", L"Re_ \u4F1A\u8B70 _draft__",
                     kAsWritten},
        SafeNameCase{"SlashAndCyrillic", L"\u041C\u043E\u0441\u043A\u0432\u0430/\u041E\u0442\u0447\u0451\u0442",
                     L"\u041C\u043E\u0441\u043A\u0432\u0430\u2215\u041E\u0442\u0447\u0451\u0442", kAsWritten},
        SafeNameCase{"DecomposedIsComposed", L"Cafe\u0301", L"Caf\u00E9", kAsWritten},
        SafeNameCase{"EmojiStay", kEmoji, kEmoji, kAsWritten},
        SafeNameCase{"LeadingDot", L".hidden", L"_.hidden", kAsWritten},
        SafeNameCase{"DotsOnly", L" ..", L"_", kAsWritten},
        SafeNameCase{"TrailingDot", L"Notes.", L"Notes", kAsWritten},
        SafeNameCase{"IdeographicFullStopIsNoDot", L"\u540D\u524D\u3002", L"\u540D\u524D\u3002", kAsWritten},
        SafeNameCase{"IdeographicSpacesTrimmed", L"\u3000\u540D\u524D\u3000", L"\u540D\u524D", kAsWritten},
        SafeNameCase{"C0AndC1Controls", L"a\nb\u0090c\x7f" L"d", L"a_b_c_d", kAsWritten},
        SafeNameCase{"DirectionOverride", L"invoice\u202Efdp.exe", L"invoice_fdp.exe", kAsWritten},
        SafeNameCase{"LineSeparator", L"a\u2028b", L"a_b", kAsWritten},
        SafeNameCase{"NotACodePoint", std::wstring{L'a', wchar_t(0xD800), L'b', wchar_t(0x110000)}, L"ab",
                     kAsWritten},
        SafeNameCase{"DeviceName", L"PRN", L"_PRN", kAsWritten},
        SafeNameCase{"OnlyBlanks", L" \u3000 ", L"Untitled", kAsWritten}),
    CaseLabel);

// The property every caller relies on, checked over a spread of inputs built
// from the troublesome pieces.
TEST(SafeNameProperty, NeverAnUnsafeName)
{
    const std::vector<std::wstring> pieces = {L"", L" ", L"\t", L"\n", L".", L"..", L"/", L"\x01",
                                              L"\x7f", L"\u00A0", L"\u00E9", kEmoji, L"a", L"~",
                                              L"\u3000", L"\u30E1\u30FC", L"\u0085", L"con"};
    size_t checked = 0;
    for (NameStyle style : {NameStyle::Ascii, NameStyle::Unicode})
        for (const auto& a : pieces)
            for (const auto& b : pieces)
                for (const auto& c : pieces) {
                    const std::wstring input = a + b + c;
                    const std::wstring safe = MakeSafeName(input, kNamelessSafeName, style);
                    SCOPED_TRACE(::testing::PrintToString(WideToUTF8(input)) + " " + ToString(style));
                    ASSERT_FALSE(safe.empty());
                    ASSERT_NE(safe.front(), L'.');
                    ASSERT_NE(safe.front(), L' ');
                    ASSERT_NE(safe.back(), L'.');
                    ASSERT_NE(safe.back(), L' ');
                    ASSERT_NE(safe, L"con");
                    ASSERT_LE(WideToUTF8(safe).size(), 128u);
                    for (wchar_t ch : safe) ASSERT_TRUE(ch >= 0x20 && !(ch >= 0x7F && ch <= 0x9F)) << int(ch);
                    ++checked;
                }
    EXPECT_EQ(checked, 2 * pieces.size() * pieces.size() * pieces.size());
}

TEST(SafeNameStyle, SpelledAsTheCommandLineAndPreferencesTakeIt)
{
    for (NameStyle style : {NameStyle::Ascii, NameStyle::Unicode})
        EXPECT_TRUE(NameStyleFromString(ToString(style)) == style) << ToString(style);
    EXPECT_EQ(ToString(NameStyle::Unicode), std::string("unicode"));
    EXPECT_FALSE(NameStyleFromString("Unicode"));
    EXPECT_FALSE(NameStyleFromString(""));
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

struct LengthCase {
    const char* label;
    NameStyle style;
    std::wstring input;
    std::wstring expected;
};

class SafeNameLength : public ::testing::TestWithParam<LengthCase> {};

// Names take at most 128 bytes of UTF-8, cut where a reader sees two
// characters meet, and lose what then ends them.
TEST_P(SafeNameLength, IsCutBetweenCharacters)
{
    const std::wstring safe = MakeSafeName(GetParam().input, kNamelessSafeName, GetParam().style);
    EXPECT_EQ(WideToUTF8(safe), WideToUTF8(GetParam().expected));
    EXPECT_LE(WideToUTF8(safe).size(), 128u);
}

std::wstring Repeated(const std::wstring& piece, size_t times)
{
    std::wstring text;
    for (size_t i = 0; i < times; ++i) text += piece;
    return text;
}

const std::wstring kFlag = L"\U0001F1EF\U0001F1F5";  // two regional indicators, 8 bytes

INSTANTIATE_TEST_SUITE_P(
    Cases, SafeNameLength,
    ::testing::Values(
        LengthCase{"AsciiExactly128", NameStyle::Ascii, std::wstring(128, L'x'), std::wstring(128, L'x')},
        LengthCase{"Ascii129", NameStyle::Ascii, std::wstring(129, L'x'), std::wstring(128, L'x')},
        // 100 letters that each become two (ss) are 200 after transliteration.
        LengthCase{"LimitAppliesToTheTransliteration", NameStyle::Ascii, std::wstring(100, L'\u00DF'),
                   std::wstring(128, L's')},
        // Each slash becomes the three-byte U+2215.
        LengthCase{"LimitCountsBytesOfReplacements", NameStyle::Ascii, std::wstring(60, L'/'),
                   std::wstring(42, L'\u2215')},
        LengthCase{"CutUncoversBlanksAndDots", NameStyle::Ascii,
                   std::wstring(120, L'y') + L" . . . . . more", std::wstring(120, L'y')},
        // 30 times "tesuto" read as one word, 180 letters.
        LengthCase{"JapaneseRomajiIsCut", NameStyle::Ascii, Repeated(L"\u30C6\u30B9\u30C8", 30),
                   Repeated(L"tesuto", 22).substr(0, 128)},
        LengthCase{"KanjiThreeBytesEach", NameStyle::Unicode, std::wstring(50, L'\u65E5'),
                   std::wstring(42, L'\u65E5')},
        LengthCase{"AccentStaysWithItsLetter", NameStyle::Unicode, Repeated(L"x\u0301", 50),
                   Repeated(L"x\u0301", 42)},
        LengthCase{"FlagIsNotHalved", NameStyle::Unicode, L"a" + Repeated(kFlag, 20), L"a" + Repeated(kFlag, 15)},
        LengthCase{"OneCharacterLongerThanTheLimit", NameStyle::Unicode, L"x" + Repeated(L"\u0301", 100),
                   L"x" + Repeated(L"\u0301", 63)}),
    [](const ::testing::TestParamInfo<LengthCase>& info) { return info.param.label; });

// Without KAKASI's dictionary, KAKASI would end the process: the kana are
// spelled by ICU's rules instead, and the kanji fall back to pinyin. A
// process of its own, so that KAKASI was never started before.
TEST(SafeNameWithoutKakasi, KanaAreStillRomaji)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            setenv("KANWADICTPATH", "/nonexistent/kanwadict", 1);
            const bool ok = MakeSafeName(L"\u30E1\u30FC\u30EB \u3053\u3093\u306B\u3061\u306F") ==
                                L"meeru konnichiha" &&
                            MakeSafeName(L"\u65E5\u672C\u30E1\u30FC\u30EB") == L"ri benmeeru";
            std::exit(ok ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
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
