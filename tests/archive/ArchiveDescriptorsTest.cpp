// The package's descriptor files as they come out of the embedded template.
#include <algorithm>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "ArchiveTestHelpers.h"
#include "archive/ArchiveDescriptors.h"

namespace archive_test {
namespace {

const char kArchiveXml[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
    "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
    "<plist version=\"1.0\">\n"
    "<dict>\n"
    "\t<key>Type</key>\n"
    "\t<string>All</string>\n"
    "\t<key>Version</key>\n"
    "\t<integer>1</integer>\n"
    "</dict>\n"
    "</plist>\n";

const char kInfoPlist[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
    "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
    "<plist version=\"1.0\">\n"
    "<dict>\n"
    "\t<key>CFBundleDevelopmentRegion</key>\n"
    "\t<string>English</string>\n"
    "\t<key>CFBundleInfoDictionaryVersion</key>\n"
    "\t<string>6.0</string>\n"
    "\t<key>CFBundlePackageType</key>\n"
    "\t<string>rge </string>\n"
    "\t<key>CFBundleSignature</key>\n"
    "\t<string>OPIM</string>\n"
    "</dict>\n"
    "</plist>\n";

const char kPkgInfo[] = "rge OPIM";

std::string Slice(const std::vector<uint8_t>& bytes, size_t offset, size_t size)
{
    return std::string(bytes.begin() + offset, bytes.begin() + offset + size);
}

TEST(ArchiveTemplate, ExpandsToTheThreeDescriptorFilesByteForByte)
{
    ASSERT_LE(kArchiveTemplateFrameLength, kArchiveTemplateFrameSize);
    EXPECT_TRUE(std::all_of(kArchiveTemplateFrame.begin() + kArchiveTemplateFrameLength,
                            kArchiveTemplateFrame.end(), [](uint8_t b) { return b == 0; }));

    const std::vector<uint8_t> expanded = ExpandArchiveTemplate();
    ASSERT_EQ(expanded.size(), kArchiveTemplateExpandedSize + 1);
    struct File {
        const char* name;
        size_t offset, size;
        std::string literal;
    };
    for (const File& file : {File{"Archive.xml", kArchiveXmlOffset, kArchiveXmlSize, kArchiveXml},
                             File{"Info.plist", kInfoPlistOffset, kInfoPlistSize, kInfoPlist},
                             File{"PkgInfo", kPkgInfoOffset, kPkgInfoSize, kPkgInfo}}) {
        SCOPED_TRACE(file.name);
        EXPECT_EQ(file.literal.size(), file.size);
        EXPECT_EQ(Slice(expanded, file.offset, file.size), file.literal);
        EXPECT_EQ(Slice(expanded, file.offset, file.size), TemplateFile(file.name));
    }
    // Beyond the descriptors the expansion buffer stays zero.
    EXPECT_TRUE(std::all_of(expanded.begin() + kPkgInfoOffset + kPkgInfoSize, expanded.end(),
                            [](uint8_t b) { return b == 0; }));
}

// Frames that still hold one whole template frame expand fully.
TEST(ArchiveTemplate, FrameFollowedByOtherBytesStillExpands)
{
    auto frame = kArchiveTemplateFrame;
    std::fill(frame.begin() + kArchiveTemplateFrameLength, frame.end(), 0xA5);
    const std::vector<uint8_t> expanded = ExpandArchiveTemplate(frame);
    ASSERT_FALSE(expanded.empty());
    EXPECT_EQ(Slice(expanded, kPkgInfoOffset, kPkgInfoSize), kPkgInfo);
}

struct BrokenFrame {
    const char* name;
    std::function<void(std::array<uint8_t, kArchiveTemplateFrameSize>&)> damage;
};

class ArchiveTemplateBroken : public ::testing::TestWithParam<BrokenFrame> {};

TEST_P(ArchiveTemplateBroken, GivesNothingToWrite)
{
    auto frame = kArchiveTemplateFrame;
    GetParam().damage(frame);
    kestrin_test::CapturedDiagnostics diagnostics;
    EXPECT_TRUE(ExpandArchiveTemplate(frame).empty());
    EXPECT_NE(diagnostics.text().find("ERROR: The archive template expanded to"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Frames, ArchiveTemplateBroken,
    ::testing::Values(
        BrokenFrame{"TruncatedToHalf",
                    [](std::array<uint8_t, kArchiveTemplateFrameSize>& f) {
                        std::fill(f.begin() + kArchiveTemplateFrameLength / 2, f.end(), 0);
                    }},
        BrokenFrame{"TruncatedAfterHeader",
                    [](std::array<uint8_t, kArchiveTemplateFrameSize>& f) {
                        std::fill(f.begin() + 12, f.end(), 0);
                    }},
        BrokenFrame{"NotAFrame",
                    [](std::array<uint8_t, kArchiveTemplateFrameSize>& f) { f[0] ^= 0xFF; }},
        BrokenFrame{"AllZero",
                    [](std::array<uint8_t, kArchiveTemplateFrameSize>& f) { f.fill(0); }}),
    [](const ::testing::TestParamInfo<BrokenFrame>& info) { return info.param.name; });

TEST(ArchiveDescriptors, WritesOnlyTheFilesThePackageLacks)
{
    kestrin_test::TempDir dir;
    const fs::path package = dir / "Kept.rge";
    fs::create_directories(package / "Contents");
    kestrin_test::WriteFile(package / "Archive.xml", "the user's own");

    WriteArchiveDescriptors(package.string());
    EXPECT_EQ(kestrin_test::ReadFile(package / "Archive.xml"), "the user's own");
    EXPECT_EQ(kestrin_test::ReadFile(package / "Contents/Info.plist"), kInfoPlist);
    EXPECT_EQ(kestrin_test::ReadFile(package / "Contents/PkgInfo"), kPkgInfo);

    // Writing them again (the application resources carry the same
    // template) changes nothing.
    kestrin_test::WriteFile(package / "Contents/PkgInfo", "edited");
    WriteArchiveDescriptors(package.string());
    EXPECT_EQ(kestrin_test::ReadFile(package / "Contents/PkgInfo"), "edited");
    EXPECT_EQ(Listing(package), (std::vector<std::string>{"Archive.xml (14)", "Contents/",
                                                          "Contents/Info.plist (424)",
                                                          "Contents/PkgInfo (6)"}));
}

}  // namespace
}  // namespace archive_test
