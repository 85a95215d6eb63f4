// Writing through the descriptor a file was created with.
#include <fcntl.h>

#include <cerrno>

#include <gtest/gtest.h>

#include "streams/KSDescriptorOut.h"
#include "streams/Platform.h"
#include "support/TestSupport.h"

using namespace KestrinMIMEEngineCommon;

TEST(DescriptorOut, WritesTheCreatedFileAndClosesIt)
{
    kestrin_test::TempDir dir;
    const std::string path = (dir / "new.eml").string();
    std::string error;
    FileDescriptor fd;
    ASSERT_EQ(Platform::CreateNewFile(path, error, fd), Platform::CreateOutcome::Created);
    ASSERT_TRUE(fd);
    FileDescriptor again;
    EXPECT_EQ(Platform::CreateNewFile(path, error, again), Platform::CreateOutcome::Taken);
    EXPECT_FALSE(again);

    KSDescriptorOut out(std::move(fd), path);
    EXPECT_EQ(out.Write("Subject: a\r\n", 12), 12u);
    EXPECT_EQ(out.Write("\r\nbody", 6), 6u);
    EXPECT_TRUE(out.Close());
    EXPECT_EQ(kestrin_test::ReadFile(path), "Subject: a\r\n\r\nbody");
    EXPECT_EQ(out.Write("late", 4), 0u) << "nothing goes out after the close";
}

TEST(DescriptorOut, FullDiskIsAShortWriteAndAFailedClose)
{
    FileDescriptor fd(::open("/dev/full", O_WRONLY | O_CLOEXEC));
    if (!fd) GTEST_SKIP() << "no /dev/full";
    kestrin_test::CapturedDiagnostics quiet;
    KSDescriptorOut out(std::move(fd), "/dev/full");
    EXPECT_EQ(out.Error(), 0);
    EXPECT_LT(out.Write("message", 7), 7u);
    EXPECT_FALSE(out.Close());
    EXPECT_EQ(out.Error(), ENOSPC) << "the cause goes up to the export, which stops on it";
    EXPECT_NE(quiet.text().find("Cannot write file /dev/full"), std::string::npos);
}
