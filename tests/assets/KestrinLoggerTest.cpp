// The conversion log file and the brief report text.
#include <gtest/gtest.h>

#include "assets/KestrinLogger.h"
#include "support/TestSupport.h"

using namespace KestrinMIMEEngineCommon;
using kestrin_test::ReadFile;

namespace {

const std::string kBom = "\xEF\xBB\xBF";

TEST(KestrinLoggerTest, NewFileStartsWithByteOrderMarkAndLinesEndInCrLf)
{
    kestrin_test::TempDir dir;
    const auto path = dir / "Detailed Conversion Report.txt";
    KestrinLogger logger(path.string());
    EXPECT_EQ(ReadFile(path), kBom);

    logger.Log(L"Begin processing Folder: /Bo\u00eete/", true, true);
    logger.Log(L"", true, true);
    logger.Log(L"Operation completed successfully.\n", true, true);
    logger.Flush();
    EXPECT_EQ(ReadFile(path), kBom + "Begin processing Folder: /Bo\xC3\xAEte/\r\n\r\n"
                                     "Operation completed successfully.\n\r\n");
    EXPECT_EQ(logger.GetReportText(), L"Begin processing Folder: /Bo\u00eete/\r\n\r\n"
                                      L"Operation completed successfully.\n\r\n");
}

TEST(KestrinLoggerTest, LongReportKeepsItsStartAndEndAndCountsWhatIsLeftOut)
{
    kestrin_test::TempDir dir;
    const auto path = dir / "log.txt";
    KestrinLogger logger(path.string());
    logger.SetReportLimits(20, 2);  // "line 0\r\nline 1\r\n" is 16 characters
    for (int i = 0; i < 10; ++i)
        logger.Log(L"line " + std::to_wstring(i), true, true);
    EXPECT_EQ(logger.GetReportText(),
              L"line 0\r\nline 1\r\n[6 more lines are in the detailed report: " +
                  std::wstring(path.wstring()) + L"]\r\nline 8\r\nline 9\r\n");
    std::string all = kBom;
    for (int i = 0; i < 10; ++i)
        all += "line " + std::to_string(i) + "\r\n";
    logger.Flush();
    EXPECT_EQ(ReadFile(path), all);  // the file stays complete
}

TEST(KestrinLoggerTest, ReportWithinTheLimitIsWhole)
{
    kestrin_test::TempDir dir;
    KestrinLogger logger((dir / "log.txt").string());
    logger.SetReportLimits(16, 2);
    logger.Log(L"line 0", true, false);
    logger.Log(L"line 1", true, false);
    logger.Log(L"line 2", true, false);  // goes to the tail: nothing is left out yet
    EXPECT_EQ(logger.GetReportText(), L"line 0\r\nline 1\r\nline 2\r\n");
}

TEST(KestrinLoggerTest, ChannelsAreIndependent)
{
    kestrin_test::TempDir dir;
    const auto path = dir / "log.txt";
    KestrinLogger logger(path.string());
    logger.Log(L"file only", false, true);
    logger.Log(L"report only", true, false);
    logger.Log(L"nowhere", false, false);
    logger.Flush();
    EXPECT_EQ(ReadFile(path), kBom + "file only\r\n");
    EXPECT_EQ(logger.GetReportText(), L"report only\r\n");
}

TEST(KestrinLoggerTest, ExistingFileIsAppendedToWithoutSecondMark)
{
    kestrin_test::TempDir dir;
    const auto path = dir / "log.txt";
    kestrin_test::WriteFile(path, "earlier\r\n");
    KestrinLogger logger(path.string());
    logger.Log(L"later", false, true);
    logger.Flush();
    EXPECT_EQ(ReadFile(path), "earlier\r\nlater\r\n");
}

TEST(KestrinLoggerTest, UnopenableFileLosesTheFileLineOnly)
{
    kestrin_test::TempDir dir;  // a directory cannot be opened as the log file
    KestrinLogger logger(dir.str());
    logger.Log(L"kept for the report", true, true);
    logger.Log(L"lost", false, true);
    EXPECT_EQ(logger.GetReportText(), L"kept for the report\r\n");
    EXPECT_TRUE(boost::filesystem::is_directory(dir.path()));
    EXPECT_TRUE(boost::filesystem::is_empty(dir.path()));
}

// The file is kept open between lines; one that could not be opened yet is
// tried again for the next line, which then gets there.
TEST(KestrinLoggerTest, FileThatAppearsLaterGetsTheLaterLines)
{
    kestrin_test::TempDir dir;
    const auto path = dir / "later" / "log.txt";
    KestrinLogger logger(path.string());
    logger.Log(L"lost", false, true);
    boost::filesystem::create_directory(dir / "later");
    logger.Log(L"first kept", false, true);
    logger.Flush();
    EXPECT_EQ(ReadFile(path), "first kept\r\n");
    logger.Log(L"second kept", false, true);
    logger.Flush();
    EXPECT_EQ(ReadFile(path), "first kept\r\nsecond kept\r\n");
}

// Lines wait in memory for a moment; Flush (an export's end), the question
// whether the file lost lines and the logger's end each take them to the
// file.
TEST(KestrinLoggerTest, LinesReachTheFileOnFlushOnTheWriteCheckAndAtTheEnd)
{
    kestrin_test::TempDir dir;
    const auto path = dir / "log.txt";
    const std::string lines = "From : a\r\n\r\nProcessed Item Count: 1\r\n";
    {
        KestrinLogger logger(path.string());
        logger.Log(L"From : a", false, true);
        logger.Log(L"", false, true);
        logger.Log(L"Processed Item Count: 1", true, true);
        logger.Flush();
        EXPECT_EQ(ReadFile(path), kBom + lines);
        logger.Log(L"From : b", false, true);
        EXPECT_FALSE(logger.HasWriteFailed());
        EXPECT_EQ(ReadFile(path), kBom + lines + "From : b\r\n");
        logger.Log(L"From : c", false, true);
    }
    EXPECT_EQ(ReadFile(path), kBom + lines + "From : b\r\nFrom : c\r\n");
}

}  // namespace
