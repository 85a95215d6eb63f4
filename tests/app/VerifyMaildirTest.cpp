// The read-back check of a Maildir counts the message files of cur/ and
// new/ that hold bytes; a Maildir without cur/ is named as missing.
#include <gtest/gtest.h>

#include <boost/filesystem.hpp>

#include "app/VerifyExport.h"
#include "support/TestSupport.h"

namespace {

using namespace KestrinApp;
namespace fs = boost::filesystem;

TEST(VerifyMaildirTest, CountsMessageFilesOfCurAndNew)
{
    kestrin_test::TempDir dir;
    const fs::path maildir = dir / ".Projects";
    for (const char* part : {"cur", "new", "tmp"}) fs::create_directories(maildir / part);
    kestrin_test::WriteFile(maildir / "maildirfolder", "");
    kestrin_test::WriteFile(maildir / "cur" / "1500000001.P1Q1.host:2,S", "Subject: a\n\nbody\n");
    kestrin_test::WriteFile(maildir / "cur" / "1500000002.P1Q2.host:2,", "Subject: b\n\nbody\n");
    kestrin_test::WriteFile(maildir / "new" / "1500000003.P1Q3.host", "Subject: c\n\nbody\n");
    // Not messages: a half-written file in tmp/, an empty file, a hidden one.
    kestrin_test::WriteFile(maildir / "tmp" / "1500000004.P1Q4.host", "Subject: d\n");
    kestrin_test::WriteFile(maildir / "cur" / "1500000005.P1Q5.host:2,", "");
    kestrin_test::WriteFile(maildir / "cur" / ".hidden", "Subject: e\n\nbody\n");

    ExportOutputRecord output{ExportOutputRecord::Kind::Maildir, maildir.string(), 3, {}};
    std::string reason;
    EXPECT_EQ(CountMessagesInOutput(output, &reason), 3) << reason;
    ExportRecord record;
    record.outputs = {output};
    EXPECT_TRUE(VerifyExport(record).ok);

    fs::remove_all(maildir / "cur");
    EXPECT_EQ(CountMessagesInOutput(output, &reason), -1);
    EXPECT_EQ(reason, "the Maildir is missing or has no cur folder");
}

}  // namespace
