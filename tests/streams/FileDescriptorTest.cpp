// The descriptor owner: each descriptor is closed once, by its last holder.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <utility>

#include <gtest/gtest.h>

#include "streams/FileDescriptor.h"
#include "support/TestSupport.h"

using namespace KestrinMIMEEngineCommon;

namespace {

bool IsOpenDescriptor(int fd)
{
    return ::fcntl(fd, F_GETFD) != -1;
}

int OpenNull()
{
    const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    EXPECT_GE(fd, 0);
    return fd;
}

}  // namespace

TEST(FileDescriptor, ClosesOnceWhenTheLastHolderGoes)
{
    int raw = -1;
    {
        FileDescriptor first(OpenNull());
        raw = first.Get();
        FileDescriptor second(std::move(first));
        EXPECT_FALSE(first);
        EXPECT_EQ(first.Get(), -1);
        EXPECT_EQ(second.Get(), raw);

        FileDescriptor third;
        third = std::move(second);
        EXPECT_FALSE(second);
        EXPECT_TRUE(IsOpenDescriptor(raw)) << "moving must not close";
        // Through a reference, as a self-move happens in real code (swaps,
        // container shuffles), not spelled out where the compiler sees it.
        FileDescriptor& same = third;
        third = std::move(same);
        EXPECT_EQ(third.Get(), raw) << "moving onto itself keeps the descriptor";
    }
    EXPECT_FALSE(IsOpenDescriptor(raw));
}

TEST(FileDescriptor, AssigningOrResettingClosesTheOneHeld)
{
    FileDescriptor held(OpenNull());
    const int before = held.Get();
    FileDescriptor other(OpenNull());
    const int replacement = other.Get();
    held = std::move(other);
    EXPECT_FALSE(IsOpenDescriptor(before));
    EXPECT_EQ(held.Get(), replacement);

    held.Reset();
    EXPECT_FALSE(held);
    EXPECT_FALSE(IsOpenDescriptor(replacement));

    held.Reset(-5);
    EXPECT_EQ(held.Get(), -1) << "any negative number means none";
}

TEST(FileDescriptor, ReleaseHandsTheDescriptorOver)
{
    int raw = -1;
    {
        FileDescriptor fd(OpenNull());
        raw = fd.Release();
        EXPECT_FALSE(fd);
    }
    EXPECT_TRUE(IsOpenDescriptor(raw));
    ::close(raw);
}

TEST(FileDescriptor, CloseAnswersWhetherItWorkedAndGivesTheDescriptorUp)
{
    FileDescriptor fd(OpenNull());
    const int raw = fd.Get();
    EXPECT_TRUE(fd.Close());
    EXPECT_FALSE(fd);
    EXPECT_FALSE(IsOpenDescriptor(raw));
    EXPECT_FALSE(fd.Close()) << "nothing held, nothing closed";

    // A number that is no open descriptor: close fails, nothing is kept.
    FileDescriptor stale(raw);
    EXPECT_FALSE(stale.Close());
    EXPECT_EQ(errno, EBADF);
    EXPECT_FALSE(stale);
}

TEST(UniqueFile, ClosesTheStreamAndItsDescriptor)
{
    kestrin_test::TempDir dir;
    const std::string path = (dir / "f").string();
    int raw = -1;
    {
        UniqueFile file{std::fopen(path.c_str(), "wb")};
        ASSERT_TRUE(file);
        raw = ::fileno(file.get());
        ASSERT_GE(std::fputs("kept", file.get()), 0);
    }
    EXPECT_FALSE(IsOpenDescriptor(raw));
    EXPECT_EQ(kestrin_test::ReadFile(path), "kept") << "buffered bytes reach the file at the close";
}
