#include "mime/KSCharsets.h"

#include <functional>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <boost/make_shared.hpp>
#include <gtest/gtest.h>

#include "support/TestSupport.h"

using namespace KestrinMIMEEngineCommon;

namespace {

std::vector<uint8_t> Bytes(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

boost::shared_ptr<CharsetInfo> BogusCharset()
{
    auto charset = boost::make_shared<CharsetInfo>();
    charset->codePage = 4242;
    charset->name = "no-such-charset";
    return charset;
}

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

// ---------------------------------------------------------------------------
// Legacy code pages

struct CodePageCase {
    const char* label;
    int32_t codePage;
    std::string bytes;
    std::wstring wide;
};

class LegacyCodePage : public ::testing::TestWithParam<CodePageCase> {};

TEST_P(LegacyCodePage, ConvertsBothWays)
{
    const CodePageCase& c = GetParam();
    auto charset = GetCharsetByCodePage(c.codePage);
    ASSERT_TRUE(charset);
    EXPECT_EQ(MultiBytesToWide(Bytes(c.bytes), charset), c.wide);
    EXPECT_EQ(WideToMultiBytes(c.wide, charset), Bytes(c.bytes));
}

INSTANTIATE_TEST_SUITE_P(
    Table, LegacyCodePage,
    ::testing::Values(
        CodePageCase{"Windows1252", 1252, "caf\xE9 \x80 \x93ok\x94", L"caf\u00E9 \u20AC \u201Cok\u201D"},
        CodePageCase{"Koi8R", 20866, "\xF0\xD2\xC9\xD7\xC5\xD4", L"\u041F\u0440\u0438\u0432\u0435\u0442"},
        CodePageCase{"ShiftJIS", 932, "\x93\xFA\x96\x7B abc", L"\u65E5\u672C abc"},
        CodePageCase{"Latin1", 28591, "Gr\xFC\xDF", L"Gr\u00FC\u00DF"},
        // Stateful encodings need more than four bytes for a single unit.
        CodePageCase{"Iso2022JP", 50220, "\x1B$BF|\x1B(B", L"\u65E5"},
        CodePageCase{"Utf7", 65000, "+AOk-", L"\u00E9"}),
    [](const ::testing::TestParamInfo<CodePageCase>& info) { return info.param.label; });

TEST(LegacyCodePage, UnmappableCharacterIsSubstituted)
{
    // windows-1252 has no Cyrillic; ICU writes its substitution byte.
    EXPECT_EQ(WideToMultiBytes(L"a\u0416b", GetCharsetByCodePage(1252)), Bytes("a\x1A" "b"));
}

// ---------------------------------------------------------------------------
// UTF-16LE buffers

TEST(UTF16LE, WideAndBytesRoundTripWithSurrogatePairs)
{
    std::wstring wide = L"A\u00E9" + std::wstring(1, wchar_t(0x1F600));
    std::vector<uint8_t> expected = {0x41, 0x00, 0xE9, 0x00, 0x3D, 0xD8, 0x00, 0xDE};
    EXPECT_EQ(WideToUTF16LEBytes(wide), expected);
    EXPECT_EQ(UTF16LEBytesToWide(expected.data(), expected.size()), wide);
    EXPECT_EQ(UTF16LEBytesToUTF8(expected.data(), expected.size()), "A\xC3\xA9\xF0\x9F\x98\x80");
}

TEST(UTF16LE, ConvertsToAndFromLegacyCharsets)
{
    const char16_t nihon[] = u"\u65E5\u672C";
    const std::string jis = "\x1B$BF|K\\\x1B(B";  // escape sequences: more than four bytes per unit
    EXPECT_EQ(UTF16LEBytesToMultiBytes(nihon, 4, GetCharsetByCodePage(50220)), Bytes(jis));
    EXPECT_EQ(MultiBytesToUTF16LEBytes(jis.data(), jis.size(), GetCharsetByCodePage(50220)), u"\u65E5\u672C");
    EXPECT_EQ(UTF16LEBytesToMultiBytes(nihon, 4, GetCharsetByCodePage(932)), Bytes("\x93\xFA\x96\x7B"));
    EXPECT_EQ(MultiBytesToUTF16LEBytes("\x93\xFA\x96\x7B", 4, GetCharsetByCodePage(932)), u"\u65E5\u672C");
}

TEST(UTF16LE, EmptyInputsGiveEmptyResults)
{
    EXPECT_TRUE(WideToUTF16LEBytes(L"").empty());
    EXPECT_TRUE(UTF16LEBytesToWide("", 0).empty());
    EXPECT_TRUE(UTF16LEBytesToUTF8("", 0).empty());
    EXPECT_TRUE(MultiBytesToUTF16LEBytes("", 0, GetUTF8Charset()).empty());
    EXPECT_TRUE(UTF16LEBytesToMultiBytes("", 0, GetUTF8Charset()).empty());
    EXPECT_TRUE(MultiBytesToWide({}, GetUTF8Charset()).empty());
    EXPECT_TRUE(WideToMultiBytes(L"", GetUTF8Charset()).empty());
}

TEST(UTF16LE, OddByteCountDropsTheLastByte)
{
    const uint8_t bytes[] = {0x41, 0x00, 0x42, 0x00, 0x43};
    EXPECT_EQ(MultiBytesToUTF16LEBytes(bytes, sizeof bytes, GetUTF16LECharset()), u"AB");
    EXPECT_EQ(UTF16LEBytesToWide(bytes, sizeof bytes), L"AB");
}

TEST(UTF16LE, UnalignedInputIsRead)
{
    const uint8_t storage[] = {0xFF, 0x41, 0x00, 0x16, 0x04};
    EXPECT_EQ(UTF16LEBytesToWide(storage + 1, 4), L"A\u0416");
    EXPECT_EQ(MultiBytesToUTF16LEBytes(storage + 1, 4, GetUTF16LECharset()), u"A\u0416");
}

TEST(UTF16LE, TheUTF16CharsetPassesBytesThrough)
{
    const uint8_t bytes[] = {0x00, 0xD8, 0x41};  // a lone surrogate and an odd tail stay as they are
    EXPECT_EQ(UTF16LEBytesToMultiBytes(bytes, sizeof bytes, GetUTF16LECharset()),
              std::vector<uint8_t>(bytes, bytes + sizeof bytes));
}

TEST(UTF16LE, UTF32CharsetCopiesWholeUnits)
{
    std::vector<uint8_t> bytes = {0x00, 0xF6, 0x01, 0x00, 0x41, 0x00, 0x00, 0x00, 0x7F};
    EXPECT_EQ(MultiBytesToWide(bytes, GetUTF32LECharset()), (std::wstring{wchar_t(0x1F600), L'A'}));
    EXPECT_EQ(WideToMultiBytes(L"A", GetUTF32LECharset()), (std::vector<uint8_t>{0x41, 0, 0, 0}));
}

// ---------------------------------------------------------------------------
// Registry

TEST(CharsetRegistry, LooksUpByCodePage)
{
    auto cp1252 = GetCharsetByCodePage(20127);
    ASSERT_TRUE(cp1252);
    EXPECT_EQ(cp1252->name, "CP1252");
    EXPECT_EQ(cp1252->displayName, "Windows-1252");
    EXPECT_EQ(cp1252->available, 1);
    EXPECT_EQ(cp1252->reserved, nullptr);

    EXPECT_FALSE(GetCharsetByCodePage(1));
    EXPECT_FALSE(GetCharsetByCodePage(0));

    EXPECT_EQ(GetUTF8Charset()->codePage, 65001);
    EXPECT_EQ(GetUTF8Charset()->displayName, "Unicode (UTF-8)");
    EXPECT_EQ(GetUTF16LECharset()->codePage, 1200);
    EXPECT_EQ(GetUTF16LECharset()->displayName, "Unicode");
    EXPECT_EQ(GetUTF32LECharset()->codePage, 12000);
    EXPECT_EQ(GetUTF32LECharset()->displayName, "Unicode (UTF-32)");
    EXPECT_EQ(GetCharsetByCodePage(50932)->displayName, "Japanese (Auto Select)");
    EXPECT_EQ(GetCharsetByCodePage(1141)->displayName, "IBM EBCDIC (Germany-Euro)");
    EXPECT_EQ(GetCharsetByCodePage(10000)->displayName, "Western European (Mac)");
    EXPECT_EQ(GetCharsetByCodePage(20127), cp1252) << "entries are shared, not rebuilt";
}

TEST(CharsetRegistry, HoldsEveryRowInTableOrder)
{
    auto all = GetAllCharsets();
    ASSERT_EQ(all.size(), 143u);
    EXPECT_EQ(all.front()->codePage, 864);
    EXPECT_EQ(all.front()->name, "IBM864");
    EXPECT_EQ(all.back()->codePage, 50000);
    EXPECT_EQ(all.back()->name, "x-user-defined");

    std::set<int32_t> codePages;
    int available = 0;
    for (const auto& charset : all) {
        codePages.insert(charset->codePage);
        EXPECT_FALSE(charset->displayName.empty()) << charset->codePage;
        EXPECT_EQ(GetCharsetByCodePage(charset->codePage), charset);
        available += charset->available;
    }
    EXPECT_EQ(codePages.size(), 143u);
    EXPECT_GT(available, 100) << "ICU serves most of the table";
}

TEST(CharsetRegistry, RowThatICULacksIsKeptAsUnavailable)
{
    auto userDefined = GetCharsetByCodePage(50000);
    ASSERT_TRUE(userDefined);
    EXPECT_EQ(userDefined->available, 0);
    EXPECT_EQ(userDefined->displayName, "User Defined (Windows)");
}

// ---------------------------------------------------------------------------
// Charsets ICU cannot open

TEST(CharsetErrors, UnopenableNameThrowsNamingTheConverter)
{
    auto bogus = BogusCharset();
    const std::string toUnicode =
        "MultiBytesToUTF16LEBytes : ucnv_open failed with no-such-charset, invalid target converter.";
    const std::string fromUnicode =
        "UTF16LEBytesToMultiBytes : ucnv_open failed with no-such-charset, invalid target converter.";
    const uint8_t bytes[] = {0x41, 0x00};

    struct Call {
        const char* label;
        std::function<void()> run;
        std::string message;
    };
    const Call calls[] = {
        {"MultiBytesToUTF16LEBytes", [&] { MultiBytesToUTF16LEBytes(bytes, 2, bogus); }, toUnicode},
        {"MultiBytesToWide", [&] { MultiBytesToWide(Bytes("A"), bogus); }, toUnicode},
        {"UTF16LEBytesToMultiBytes", [&] { UTF16LEBytesToMultiBytes(bytes, 2, bogus); }, fromUnicode},
        {"WideToMultiBytes", [&] { WideToMultiBytes(L"A", bogus); }, fromUnicode},
        {"UnavailableRegistryRow", [&] { MultiBytesToWide(Bytes("A"), GetCharsetByCodePage(50000)); },
         "MultiBytesToUTF16LEBytes : ucnv_open failed with x-user-defined, invalid target converter."},
    };
    for (const Call& call : calls) {
        try {
            call.run();
            ADD_FAILURE() << call.label << " did not throw";
        } catch (const std::runtime_error& error) {
            EXPECT_EQ(error.what(), call.message) << call.label;
        }
    }
}

TEST(CharsetErrors, EmptyNameIsNotTheDefaultConverter)
{
    auto unnamed = boost::make_shared<CharsetInfo>();
    EXPECT_THROW(MultiBytesToWide(Bytes("A"), unnamed), std::runtime_error);
}

}  // namespace
