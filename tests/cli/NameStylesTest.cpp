// Folder names and subjects in Japanese, Cyrillic and Chinese, converted with
// the default ASCII names and with --names unicode: the names on disk are
// what a reader of that script recognises, and folders that would meet on a
// removable disk keep apart.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include <boost/filesystem.hpp>

#include "CliRun.h"
#include "libbuilder/Mailboxes.h"
#include "support/TestSupport.h"

namespace fs = boost::filesystem;
namespace lb = kestrin_libbuilder;
using kestrin_cli_test::Contains;
using kestrin_cli_test::Kestrin;

namespace {

// "会议通知" (meeting notice) as GB2312 bytes, the way some mail programs
// send a subject: raw, with the charset named only in the Content-Type.
const std::string kGb2312Subject = "\xBB\xE1\xD2\xE9\xCD\xA8\xD6\xAA";

const std::string kJapaneseFolder = "日本語フォルダ";
const std::string kCyrillicFolder = "Входящие";
const std::string kChineseFolder = "收件箱";

std::string EncodedWord(const std::string& utf8)
{
    std::string base64 = lb::Base64Encode(utf8);
    while (!base64.empty() && base64.back() == '\n') base64.pop_back();
    return "=?UTF-8?B?" + base64 + "?=";
}

fs::path BuildLibrary(const fs::path& home)
{
    const fs::path source = home / "Library" / "Mail";
    lb::WriteV1Mailbox(source, kJapaneseFolder,
                       {{1, lb::MakeMessage(EncodedWord("日本語メールテスト"),
                                            lb::TextPart("body\n"))}});
    lb::WriteV1Mailbox(source, kCyrillicFolder,
                       {{2, lb::MakeMessage("Отчёт за май", lb::TextPart("body\n"))}});
    // The charset on the message, and (multipart) on its first text part.
    lb::WriteV1Mailbox(source, kChineseFolder,
                       {{3, lb::MakeMessage("中文邮件测试", lb::TextPart("body\n", "plain", "utf-8"))},
                        {4, lb::MakeMessage(kGb2312Subject, lb::TextPart("\xC4\xDA\xC8\xDD\n", "plain", "gb2312"))},
                        {5, lb::MakeMessage(kGb2312Subject + " 2",
                                            lb::Multipart("alternative",
                                                          {lb::TextPart("\xC4\xDA\xC8\xDD\n", "plain", "gb2312"),
                                                           lb::TextPart("<p>x</p>\n", "html", "gb2312")}))}});
    lb::WriteV1Mailbox(source, "Notes.", {{6, lb::MakeMessage("dotted", lb::TextPart("body\n"))}});
    lb::WriteV1Mailbox(source, "Notes", {{7, lb::MakeMessage("plain", lb::TextPart("body\n"))}});
    return source;
}

// Every folder and message file below the mail folder, as paths relative to
// it; message files without their "_<number>.eml" ending.
std::set<std::string> NamesOnDisk(const fs::path& mails)
{
    std::set<std::string> names;
    for (fs::recursive_directory_iterator it(mails), end; it != end; ++it) {
        std::string relative = fs::relative(it->path(), mails).string();
        if (fs::is_regular_file(it->path())) {
            if (it->path().extension() != ".eml") continue;
            relative = relative.substr(0, relative.rfind('_'));
        }
        names.insert(relative);
    }
    return names;
}

struct StyleCase {
    const char* name;
    std::vector<std::string> options;
    std::set<std::string> expected;
};

class NameStyles : public ::testing::TestWithParam<StyleCase> {};

TEST_P(NameStyles, NamesOnDiskReadInTheirScript)
{
    kestrin_test::TempDir home;
    kestrin_test::CapturedDiagnostics diagnostics;
    const fs::path source = BuildLibrary(home.path());
    const fs::path out = home.path() / "out";
    fs::create_directories(out);

    std::vector<std::string> args = {"convert", source.string(), "--to", "eml", "--out", out.string(),
                                      "--no-progress"};
    args.insert(args.end(), GetParam().options.begin(), GetParam().options.end());
    const auto run = Kestrin(args);
    ASSERT_EQ(run.status, KestrinCli::kExitSuccess) << run.out << run.err;

    const fs::path converted = out / "Converted Data";
    EXPECT_EQ(NamesOnDisk(converted / "Mails"), GetParam().expected);

    // The report reads the raw GB2312 subjects in their declared charset.
    const std::string log = kestrin_test::ReadFile(converted / "Detailed Conversion Report.txt");
    EXPECT_TRUE(Contains(log, "Subject : 会议通知\r\n")) << log;
    EXPECT_TRUE(Contains(log, "Subject : 会议通知 2\r\n")) << log;
}

// Japanese in romaji with Japanese readings, Chinese in pinyin; "Notes." and
// "Notes" would be one folder on a USB stick.
const std::set<std::string> kAsciiNames = {
    "nihongo foruda", "nihongo foruda/nihongo meerutesuto", "Vhodasie", "Vhodasie/Otcet za maj",
    "shou jian xiang", "shou jian xiang/zhong wen you jian ce shi", "shou jian xiang/hui yi tong zhi",
    "shou jian xiang/hui yi tong zhi 2", "Notes", "Notes/plain", "Notes (1)", "Notes (1)/dotted"};

INSTANTIATE_TEST_SUITE_P(
    Styles, NameStyles,
    ::testing::Values(
        StyleCase{"Ascii", {}, kAsciiNames},
        StyleCase{"Unicode",
                  {"--names", "unicode"},
                  {kJapaneseFolder, kJapaneseFolder + "/日本語メールテスト", kCyrillicFolder,
                   kCyrillicFolder + "/Отчёт за май", kChineseFolder, kChineseFolder + "/中文邮件测试",
                   kChineseFolder + "/会议通知", kChineseFolder + "/会议通知 2", "Notes", "Notes/plain",
                   "Notes (1)", "Notes (1)/dotted"}},
        StyleCase{"AsciiNamed", {"--names=ascii"}, kAsciiNames}),
    [](const ::testing::TestParamInfo<StyleCase>& info) { return info.param.name; });

TEST(NameStylesUsage, UnknownStyleIsAUsageError)
{
    const auto run = Kestrin({"convert", "/nowhere", "--to", "eml", "--out", "/tmp", "--names", "latin"});
    EXPECT_EQ(run.status, KestrinCli::kExitUsage);
    EXPECT_TRUE(Contains(run.err, "--names must be ascii or unicode, not \"latin\"")) << run.err;
}

}  // namespace
