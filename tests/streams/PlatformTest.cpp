// The platform layer: exclusive creation, descriptor reads, and the Finder
// information that only macOS keeps.
#include <gtest/gtest.h>

#include <boost/filesystem.hpp>

#include "streams/Platform.h"
#include "support/TestSupport.h"

using namespace KestrinMIMEEngineCommon;
namespace fs = boost::filesystem;

namespace {

TEST(Platform, NewFilesAreCreatedOnlyWhereTheNameIsFree)
{
    kestrin_test::TempDir dir;
    const std::string path = (dir.path() / "a.eml").string();
    std::string error;
    EXPECT_EQ(Platform::CreateNewFile(path, error), Platform::CreateOutcome::Created);
    EXPECT_TRUE(fs::is_regular_file(path));
    EXPECT_EQ(fs::file_size(path), 0u);

    kestrin_test::WriteFile(path, "kept");
    EXPECT_EQ(Platform::CreateNewFile(path, error), Platform::CreateOutcome::Taken);
    EXPECT_EQ(kestrin_test::ReadFile(path), "kept");

    const std::string nowhere = (dir.path() / "missing" / "b.eml").string();
    EXPECT_EQ(Platform::CreateNewFile(nowhere, error), Platform::CreateOutcome::Failed);
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(fs::exists(dir.path() / "missing"));
}

TEST(Platform, ReadOnlyFileReadsToTheEnd)
{
    kestrin_test::TempDir dir;
    const std::string path = (dir.path() / "m.emlx").string();
    kestrin_test::WriteFile(path, "12\nHello");
    Platform::ReadOnlyFile file(path);
    ASSERT_TRUE(file.IsOpen());
    std::string read;
    char buffer[4];
    while (const size_t got = file.Read(buffer, sizeof buffer))
        read.append(buffer, got);
    EXPECT_EQ(read, "12\nHello");

    Platform::ReadOnlyFile missing((dir.path() / "none.emlx").string());
    EXPECT_FALSE(missing.IsOpen());
    EXPECT_EQ(missing.Read(buffer, sizeof buffer), 0u);
}

TEST(Platform, FinderInformationRoundTripsWhereTheSystemKeepsIt)
{
    kestrin_test::TempDir dir;
    const std::string path = (dir.path() / "Archive.xml").string();
    kestrin_test::WriteFile(path, "<archive/>");
    Platform::FinderInfo info{};
    info[0] = 'T';
    info[8] = 0x40;
    const bool set = Platform::SetFinderInfo(path, info);
#ifdef __APPLE__
    ASSERT_TRUE(set);
    Platform::FinderInfo back{};
    ASSERT_TRUE(Platform::GetFinderInfo(path, back));
    EXPECT_EQ(back, info);
#else
    EXPECT_FALSE(set);
    Platform::FinderInfo back{};
    EXPECT_FALSE(Platform::GetFinderInfo(path, back));
#endif
    EXPECT_EQ(kestrin_test::ReadFile(path), "<archive/>");
}

}  // namespace
