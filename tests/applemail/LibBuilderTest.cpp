// The library builder must write what Apple Mail writes, or every test built
// on it proves nothing. Where real files exist, its output is compared with
// them byte for byte.
#include <gtest/gtest.h>

#include <plist/plist.h>

#include <boost/filesystem.hpp>

#include "libbuilder/Emlx.h"
#include "libbuilder/Mailboxes.h"
#include "libbuilder/MessageRecipe.h"
#include "support/TestSupport.h"

namespace fs = boost::filesystem;
using namespace kestrin_libbuilder;

namespace {

struct PlistFree {
    void operator()(plist_t node) const { plist_free(node); }
};
using PlistPtr = std::unique_ptr<void, PlistFree>;

uint64_t PlistInteger(plist_t dict, const char* key)
{
    uint64_t value = 0;
    plist_t node = plist_dict_get_item(dict, key);
    if (node) plist_get_uint_val(node, &value);
    return value;
}

std::string PlistString(plist_t dict, const char* key)
{
    char* text = nullptr;
    plist_t node = plist_dict_get_item(dict, key);
    if (node) plist_get_string_val(node, &text);
    std::string value = text ? text : "";
    free(text);
    return value;
}

// Every kind of storage in one message, under a nested multipart so part
// numbers have two levels.
MessageRecipe EveryStorageMessage()
{
    std::vector<PartRecipe> inner = {
        TextPart("<html>see attachments</html>", "html"),
        AttachmentPart("short.txt", "text/plain", "short text\n", PartStorage::EmlxPart, "7bit"),
        AttachmentPart("empty.bin", "application/octet-stream", "zzz", PartStorage::EmptyEmlxPart),
        AttachmentPart("report.pdf", "application/pdf", "%PDF-1.4 body", PartStorage::Attachments),
        FolderAttachmentPart("Photos", {{"a.jpg", "AAA"}, {".DS_Store", "junk"}}),
        AttachmentPart("lost.doc", "application/msword", "gone", PartStorage::Missing),
    };
    MessageRecipe recipe = MakeMessage(
        "Every storage", Multipart("alternative", {TextPart("plain text\n"),
                                                   Multipart("mixed", std::move(inner))}));
    recipe.remoteId = "50758";
    return recipe;
}

}  // namespace

TEST(LibBuilderTest, EmlxHasPaddedCountMessageAndPlistTrailer)
{
    MessageRecipe recipe = MakeMessage("Hello", TextPart("Hi there\n"), 1449399800);
    recipe.remoteId = "18354";
    const std::string file = RenderEmlx(recipe);
    const std::string message = RenderStoredMessage(recipe);

    const size_t lineEnd = file.find('\n');
    ASSERT_EQ(lineEnd, 10u) << "Apple Mail pads the count to ten characters";
    EXPECT_EQ(std::stoul(file.substr(0, lineEnd)), message.size());
    EXPECT_EQ(file.substr(0, lineEnd).find_last_not_of(' ') + 1,
              std::to_string(message.size()).size());
    EXPECT_EQ(file.substr(lineEnd + 1, message.size()), message);

    const std::string trailer = file.substr(lineEnd + 1 + message.size());
    plist_t root = nullptr;
    plist_from_xml(trailer.data(), static_cast<uint32_t>(trailer.size()), &root);
    PlistPtr owner(root);
    ASSERT_NE(root, nullptr) << trailer;
    EXPECT_EQ(PlistInteger(root, "date-received"), 1449399802u);
    EXPECT_EQ(PlistInteger(root, "flags"), 8590195713u);
    EXPECT_EQ(PlistString(root, "remote-id"), "18354");

    recipe.countWidth = 0;
    EXPECT_EQ(RenderEmlx(recipe).find('\n'), std::to_string(message.size()).size());
    recipe.overrideCountLine = true;
    recipe.countLine = "abc";
    EXPECT_EQ(RenderEmlx(recipe).substr(0, 4), "abc\n");
}

TEST(LibBuilderTest, StrippedPartsAreWrittenWhereAppleMailKeepsThem)
{
    kestrin_test::TempDir dir;
    const MessageRecipe recipe = EveryStorageMessage();
    const WrittenMessage written = WriteMessage(dir / "Box.mbox" / "Messages", 77, recipe);

    const fs::path messages = dir / "Box.mbox" / "Messages";
    const fs::path attachments = dir / "Box.mbox" / "Attachments" / "77";
    EXPECT_EQ(written.emlxPath, messages / "77.partial.emlx");
    const std::vector<fs::path> expected = {
        messages / "77.2.2.emlxpart",
        messages / "77.2.3.emlxpart",
        attachments / "2.4" / "report.pdf",
        attachments / "2.5" / "Photos" / "a.jpg",
        attachments / "2.5" / "Photos" / ".DS_Store",
    };
    EXPECT_EQ(written.sideFiles, expected);
    EXPECT_EQ(kestrin_test::ReadFile(messages / "77.2.2.emlxpart"), "short text\n");
    EXPECT_EQ(fs::file_size(messages / "77.2.3.emlxpart"), 0u);
    EXPECT_EQ(kestrin_test::ReadFile(attachments / "2.4" / "report.pdf"), "%PDF-1.4 body");
    EXPECT_FALSE(fs::exists(attachments / "2.6"));

    // Each stripped part keeps its headers, gets the marker and loses its body.
    const std::string stored = RenderStoredMessage(recipe);
    size_t markers = 0;
    for (size_t at = stored.find("X-Apple-Content-Length: "); at != std::string::npos;
         at = stored.find("X-Apple-Content-Length: ", at + 1)) {
        ++markers;
        const size_t lineEnd = stored.find('\n', at);
        EXPECT_EQ(stored.compare(lineEnd, 4, "\n\n\n-"), 0) << "body not empty at " << at;
    }
    EXPECT_EQ(markers, 5u);
    EXPECT_NE(stored.find("X-Apple-Content-Length: 12\n"), std::string::npos)
        << "7bit length counted with CR LF";
    EXPECT_EQ(stored.find("%PDF"), std::string::npos);
    EXPECT_NE(RenderFullMessage(recipe).find(Base64Encode("%PDF-1.4 body")), std::string::npos);
    EXPECT_NE(stored.find("application/zip;\n\tname=Photos.zip;\n\tx-mac-auto-archive=yes"),
              std::string::npos);

    EXPECT_EQ(EmlxFileName(5, MakeMessage("s", TextPart("t"))), "5.emlx");
}

TEST(LibBuilderTest, EncodingMatchesRealAppleMailFiles)
{
    const std::string samples = kestrin_test::SamplesDir();
    if (samples.empty()) GTEST_SKIP() << "no Apple Mail samples";
    const fs::path data = fs::path(samples) / "hoover-testdata" / "data" / "lists.mbox" /
                          "F2D0D67E-7B19-4C30-B2E9-B58FE4789D51" / "Data" / "1";
    PartRecipe pdf = AttachmentPart(
        "Legea-299-2015-informatiile-publice.pdf", "application/pdf",
        kestrin_test::ReadFile(data / "Attachments" / "1498" / "3" /
                               "Legea-299-2015-informatiile-publice.pdf"),
        PartStorage::EmlxPart);
    EXPECT_EQ(EncodeContent(pdf), kestrin_test::ReadFile(data / "Messages" / "1498.3.emlxpart"));
    EXPECT_EQ(AppleContentLength(pdf), 76502u);
    EXPECT_EQ(MessageStem(data / "Messages" / "1498.partial.emlx"), "1498");
    EXPECT_EQ(V2DataFolder(1498), fs::path("Data") / "1");
}

TEST(LibBuilderTest, V2MessageFoldersUseThousandsDigitsLeastSignificantFirst)
{
    struct Case {
        const char* name;
        uint64_t id;
        const char* folder;
    } cases[] = {
        {"below a thousand", 999, "Data"},
        {"one thousand", 1000, "Data/1"},
        {"ten thousand", 10000, "Data/0/1"},
        {"six digits", 123456, "Data/3/2/1"},
    };
    for (const Case& c : cases) EXPECT_EQ(V2DataFolder(c.id).generic_string(), c.folder) << c.name;

    kestrin_test::TempDir dir;
    const std::string uuid = MakeStoreUuid(1);
    ASSERT_EQ(uuid.size(), 36u);
    const fs::path bundle = WriteV2Mailbox(
        dir.path(), "Inbox", uuid,
        {{7, MakeMessage("a", TextPart("a"))},
         {123456, MakeMessage("b", Multipart("mixed", {TextPart("b"),
                                                       AttachmentPart("x.bin", "application/octet-stream",
                                                                      "xx", PartStorage::Attachments)}))}});
    EXPECT_TRUE(fs::is_regular_file(bundle / uuid / "Data" / "Messages" / "7.emlx"));
    EXPECT_TRUE(fs::is_regular_file(bundle / uuid / "Data" / "3" / "2" / "1" / "Messages" /
                                    "123456.partial.emlx"));
    EXPECT_TRUE(fs::is_regular_file(bundle / uuid / "Data" / "3" / "2" / "1" / "Attachments" /
                                    "123456" / "2" / "x.bin"));
}

TEST(LibBuilderTest, ExportedMailboxEscapesFromLines)
{
    kestrin_test::TempDir dir;
    const fs::path bundle = WriteExportedMailbox(
        dir.path(), "Archive",
        {MakeMessage("one", TextPart("From here\n>From there\nFrom\n")),
         MakeMessage("two", TextPart("plain\n"))});
    const std::string mbox = kestrin_test::ReadFile(bundle / "mbox");
    EXPECT_EQ(mbox.compare(0, 30, "From sender@example.com Fri Ju"), 0) << mbox.substr(0, 40);
    EXPECT_NE(mbox.find("\n>From here\n>>From there\nFrom\n"), std::string::npos);
    size_t separators = 0;
    for (size_t at = 0; (at = mbox.find("From sender@example.com ", at)) != std::string::npos; ++at)
        ++separators;
    EXPECT_EQ(separators, 2u);
}
