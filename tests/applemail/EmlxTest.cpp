// Reading .emlx files: the byte-count line, the bounded parse, and putting
// back the content Apple Mail stored beside the message.
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <sstream>

#include <zip.h>

#include "EmlxTestSupport.h"
#include "applemail/AppleMailDBStoreV2.h"
#include "applemail/EMLXEmailAsset.h"
#include "libbuilder/Emlx.h"
#include "libbuilder/MessageRecipe.h"
#include "mime/KSCharsets.h"
#include "support/FailingStream.h"
#include "support/TestSupport.h"

namespace fs = boost::filesystem;
using namespace KestrinMIMEEngineCommon;
using namespace kestrin_libbuilder;
using emlx_test::DecodedPart;
using emlx_test::RawOutput;

namespace {

const std::wstring kWarning =
    L"\r\n(Warning: This email has been partially downloaded from server or it may have "
    L"uncached Attachments.)\uFEFF";

bool EndsWith(const std::wstring& text, const std::wstring& tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Apple Mail's folder for message 55 of a mailbox: <box>/Messages.
struct MailboxFolder {
    kestrin_test::TempDir dir;
    fs::path messages() const { return dir / "Box.mbox" / "Messages"; }
    fs::path attachments(const std::string& number) const
    {
        return dir / "Box.mbox" / "Attachments" / "55" / number;
    }
};

MessageRecipe WithAttachmentAt(const std::string& number, PartRecipe attachment)
{
    if (number == "2")
        return MakeMessage("Attachment at 2", Multipart("mixed", {TextPart("body\n"), attachment}));
    return MakeMessage("Attachment at 2.2",
                       Multipart("alternative", {TextPart("plain\n"),
                                                 Multipart("mixed", {TextPart("<p>html</p>", "html"),
                                                                     attachment})}));
}

std::set<std::string> ZipEntries(const std::string& zipBytes, std::string* firstContent)
{
    std::set<std::string> names;
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(zipBytes.data(), zipBytes.size(), 0, &error);
    zip_t* archive = source ? zip_open_from_source(source, ZIP_RDONLY, &error) : nullptr;
    if (!archive) {
        if (source) zip_source_free(source);
        zip_error_fini(&error);
        return names;
    }
    for (zip_int64_t i = 0; i < zip_get_num_entries(archive, 0); ++i) {
        const std::string name = zip_get_name(archive, static_cast<zip_uint64_t>(i), 0);
        names.insert(name);
        if (firstContent && name == "Photos/a.jpg") {
            zip_file_t* file = zip_fopen_index(archive, static_cast<zip_uint64_t>(i), 0);
            char buffer[64];
            const zip_int64_t got = zip_fread(file, buffer, sizeof buffer);
            *firstContent = std::string(buffer, static_cast<size_t>(got > 0 ? got : 0));
            zip_fclose(file);
        }
    }
    zip_discard(archive);
    zip_error_fini(&error);
    return names;
}

// Points the system temporary folder elsewhere while alive.
class TemporaryFolderOverride {
public:
    explicit TemporaryFolderOverride(const fs::path& folder)
    {
        const char* previous = std::getenv("TMPDIR");
        m_hadPrevious = previous != nullptr;
        if (previous) m_previous = previous;
        setenv("TMPDIR", folder.c_str(), 1);
    }
    ~TemporaryFolderOverride()
    {
        if (m_hadPrevious)
            setenv("TMPDIR", m_previous.c_str(), 1);
        else
            unsetenv("TMPDIR");
    }

private:
    bool m_hadPrevious = false;
    std::string m_previous;
};

}  // namespace

// --- the byte-count line --------------------------------------------------

TEST(EmlxTest, CountLinesThatHoldAMessage)
{
    const MessageRecipe base = MakeMessage("Count", TextPart("the body text\n"));
    const size_t size = RenderStoredMessage(base).size();
    struct Case {
        const char* name;
        int countWidth;
        const char* overrideLine;  // with "%zu" where the size goes
    } cases[] = {
        {"bare number", 0, nullptr},
        {"padded with blanks as Apple Mail writes it", 10, nullptr},
        {"blanks before and after", 0, "   %zu   "},
        {"carriage return before the line feed", 0, "%zu\r"},
        {"longer than one read of the line",
         0, "%zu                                                                                  "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        kestrin_test::TempDir dir;
        MessageRecipe recipe = base;
        recipe.countWidth = c.countWidth;
        if (c.overrideLine) {
            std::string line = c.overrideLine;
            line.replace(line.find("%zu"), 3, std::to_string(size));
            recipe.overrideCountLine = true;
            recipe.countLine = line;
        }
        const fs::path file = dir / "7.emlx";
        WriteBinaryFile(file, RenderEmlx(recipe));

        EMLXEmailAsset asset(file.string());
        EXPECT_TRUE(asset.HasMessage());
        EXPECT_EQ(asset.GetAssetFlags(), 0);
        EXPECT_EQ(asset.GetDescription().rfind(L"From : Sender Example <sender@example.com>\r\n", 0), 0u)
            << WideToUTF8(asset.GetDescription());
        EXPECT_TRUE(EndsWith(asset.GetDescription(), L"\r\nSubject : Count"));
        EXPECT_EQ(asset.GetTitle(NameStyle::Ascii), L"Count");
        EXPECT_EQ(asset.GetUniqueId(), "1500000000.5@libbuilder.example");
        const std::string out = RawOutput(asset);
        EXPECT_NE(out.find("the body text\n"), std::string::npos) << out;
        EXPECT_EQ(out.find("plist"), std::string::npos) << "the trailer is not part of the message";
    }
}

const char* const kUnusableCounts[] = {"0", "-12", "abc", "", "12abc", "99999999999999999999999"};

// A damaged count line must not lose the message that follows it: the
// message is taken up to Apple Mail's property-list trailer, and the repair
// is a note of the asset (for the report), not a line on standard error.
TEST(EmlxTest, UnusableCountLineStillYieldsTheMessage)
{
    for (const char* line : kUnusableCounts) {
        SCOPED_TRACE(line);
        kestrin_test::TempDir dir;
        MessageRecipe recipe = MakeMessage("Still here", TextPart("kept\n"));
        recipe.overrideCountLine = true;
        recipe.countLine = line;
        const fs::path file = dir / "8.emlx";
        WriteBinaryFile(file, RenderEmlx(recipe));

        kestrin_test::CapturedDiagnostics diagnostics;
        EMLXEmailAsset asset(file.string());
        EXPECT_EQ(diagnostics.text(), "");
        ASSERT_EQ(asset.GetNotes().size(), 1u);
        EXPECT_EQ(asset.GetNotes()[0].kind, AssetNoteKind::Repaired);
        EXPECT_EQ(asset.GetNotes()[0].text, L"Message file " + UTF8ToWide(file.string()) +
                                                L" has an unreadable byte-count line (\"" + UTF8ToWide(line) +
                                                L"\"); the message after it was taken whole.");
        EXPECT_TRUE(asset.HasMessage());
        EXPECT_EQ(asset.GetAssetFlags(), 0);
        EXPECT_NE(asset.GetDescription().find(L"Subject : Still here"), std::wstring::npos);
        EXPECT_EQ(RawOutput(asset), RenderStoredMessage(recipe));
    }
}

// Where the message lies when the count line and the rest of the file do
// not agree: every byte of the message is written as it is stored (never
// parsed and written anew), and what was found is a note of the asset.
TEST(EmlxTest, CountAndTrailerDecideWhereTheMessageEnds)
{
    // CR LF line ends, which a parse and rewrite would turn into LF.
    const std::string message = "From: a@example.com\r\nSubject: ends\r\n\r\nline one\r\nline two\r\n";
    const std::string trailer = EmlxTrailer(MakeMessage("ends", TextPart("x\n")));
    const std::string count = std::to_string(message.size()) + "\n";
    struct Case {
        const char* name;
        std::string file;
        std::string written;
        int notes;          // 0 none, 1 repaired, 2 damaged
        std::string words;  // in the note
    } cases[] = {
        {"count and trailer agree", count + message + trailer, message, 0, ""},
        {"count and no trailer", count + message, message, 0, ""},
        {"cut inside the trailer", count + message + "<?x", message, 0, ""},
        {"blank lines after the message", count + message + "\n\n", message, 0, ""},
        {"no count line", message + trailer, message, 1, "has no byte-count line"},
        {"no count line and no trailer", message, message, 1, "has no byte-count line"},
        {"count past the message", std::to_string(message.size() + 9) + "\n" + message + trailer, message, 1,
         "does not match the message"},
        {"count short of the message", "10\n" + message + trailer, message, 1, "does not match the message"},
        {"cut short with no trailer", count + message.substr(0, 30), message.substr(0, 30), 2,
         "is cut short: it holds 30 bytes of the " + std::to_string(message.size()) + " bytes"},
        {"bytes after the message that are no trailer", count + message + "stray bytes\n", message, 1,
         "12 bytes after the message"},
        {"a quoted property list inside the message is no trailer",
         std::to_string(message.size() + 40) + "\n" + message + "<?xml v?>\n<plist></plist>\nmore text\n", "", 2,
         "is cut short"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        kestrin_test::TempDir dir;
        const fs::path file = dir / "4.emlx";
        WriteBinaryFile(file, c.file);
        kestrin_test::CapturedDiagnostics diagnostics;
        EMLXEmailAsset asset(file.string());
        EXPECT_EQ(diagnostics.text(), "");
        ASSERT_TRUE(asset.HasMessage());
        if (!c.written.empty()) {
            EXPECT_EQ(RawOutput(asset), c.written);
        }
        if (c.notes == 0) {
            EXPECT_TRUE(asset.GetNotes().empty());
            continue;
        }
        ASSERT_EQ(asset.GetNotes().size(), 1u);
        EXPECT_EQ(asset.GetNotes()[0].kind, c.notes == 1 ? AssetNoteKind::Repaired : AssetNoteKind::Damaged);
        EXPECT_NE(asset.GetNotes()[0].text.find(UTF8ToWide(c.words)), std::wstring::npos)
            << WideToUTF8(asset.GetNotes()[0].text);
        EXPECT_NE(asset.GetNotes()[0].text.find(UTF8ToWide(file.string())), std::wstring::npos);
    }
}

// Files that hold no message say why; nothing is written of them.
TEST(EmlxTest, FilesWithoutAMessageSayWhy)
{
    const MessageRecipe recipe = MakeMessage("Never there", TextPart("x\n"));
    struct Case {
        const char* name;
        std::string file;
        const char* reason;
    } cases[] = {
        {"empty", "", "The file is empty"},
        {"count line only", "120\n", "The file holds no message, only its byte count"},
        {"count line and trailer", "120\n" + EmlxTrailer(recipe), "The file holds no message"},
        {"zero and trailer", "0\n" + EmlxTrailer(recipe), "The file holds no message"},
        {"a picture", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16), "The file holds no message"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        kestrin_test::TempDir dir;
        const fs::path file = dir / "8.emlx";
        WriteBinaryFile(file, c.file);
        EMLXEmailAsset asset(file.string());
        EXPECT_TRUE(asset.WasReadable());
        EXPECT_FALSE(asset.HasMessage());
        EXPECT_EQ(asset.NoMessageReason().rfind(c.reason, 0), 0u) << asset.NoMessageReason();
        WriteResult result = WriteResult::StreamFailed;
        EXPECT_EQ(RawOutput(asset, &result), "");
        EXPECT_EQ(result, WriteResult::Ok);
    }
}

// Without a line end there is no message after the count line.
TEST(EmlxTest, FileWithoutLineEndHoldsNoMessage)
{
    const std::string cases[] = {"", "12", std::string(200, '7')};
    for (const std::string& content : cases) {
        SCOPED_TRACE(content);
        kestrin_test::TempDir dir;
        const fs::path file = dir / "9.emlx";
        WriteBinaryFile(file, content);
        EMLXEmailAsset asset(file.string());
        EXPECT_TRUE(asset.WasReadable());
        EXPECT_FALSE(asset.HasMessage());
        EXPECT_EQ(RawOutput(asset), "");
    }
}

TEST(EmlxTest, FileThatDoesNotOpenGivesAnEmptyAsset)
{
    kestrin_test::TempDir dir;
    EMLXEmailAsset asset((dir / "gone.emlx").string());
    EXPECT_FALSE(asset.WasReadable());
    EXPECT_FALSE(asset.HasMessage());
    EXPECT_EQ(asset.GetAssetFlags(), 0);
    EXPECT_EQ(asset.GetDescription(), L"");
    EXPECT_EQ(RawOutput(asset), "");
}

// --- separately stored content --------------------------------------------

TEST(EmlxTest, StrippedPartIsFoundByItsPartNumberAndStem)
{
    const std::string content = "PDF content \x01\x02\xff of the attachment";
    struct Case {
        const char* name;
        const char* number;
        PartStorage storage;
        const char* expectedFile;  // relative to the mailbox bundle
    } cases[] = {
        {"second top-level part in .emlxpart", "2", PartStorage::EmlxPart, "Messages/55.2.emlxpart"},
        {"second top-level part in Attachments", "2", PartStorage::Attachments,
         "Attachments/55/2/report.pdf"},
        {"nested part in .emlxpart", "2.2", PartStorage::EmlxPart, "Messages/55.2.2.emlxpart"},
        {"nested part in Attachments", "2.2", PartStorage::Attachments,
         "Attachments/55/2.2/report.pdf"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MailboxFolder box;
        const MessageRecipe recipe =
            WithAttachmentAt(c.number, AttachmentPart("report.pdf", "application/pdf", content, c.storage));
        const WrittenMessage written = WriteMessage(box.messages(), 55, recipe);
        ASSERT_EQ(written.emlxPath.filename(), "55.partial.emlx");
        ASSERT_TRUE(fs::is_regular_file(box.dir / "Box.mbox" / c.expectedFile));

        EMLXEmailAsset asset(written.emlxPath.string());
        EXPECT_EQ(asset.GetAssetFlags(), 0);
        EXPECT_FALSE(EndsWith(asset.GetDescription(), kWarning));
        const std::string out = RawOutput(asset);
        EXPECT_EQ(DecodedPart(out, c.number), content);
        EXPECT_EQ(out.find("X-Apple-Content-Length"), std::string::npos);
        EXPECT_NE(out.find("filename=report.pdf"), std::string::npos) << "part headers kept";
    }
}

TEST(EmlxTest, EmlxPartIsPreferredOverAttachmentsFolder)
{
    MailboxFolder box;
    const MessageRecipe recipe = WithAttachmentAt(
        "2", AttachmentPart("a.txt", "text/plain", "from emlxpart", PartStorage::EmlxPart));
    const WrittenMessage written = WriteMessage(box.messages(), 55, recipe);
    kestrin_test::WriteFile(box.attachments("2") / "a.txt", "from attachments");

    EMLXEmailAsset asset(written.emlxPath.string());
    EXPECT_EQ(DecodedPart(RawOutput(asset), "2"), "from emlxpart");
}

TEST(EmlxTest, EmptyEmlxPartLeavesThePartMissingWithoutLookingFurther)
{
    MailboxFolder box;
    const MessageRecipe recipe = WithAttachmentAt(
        "2", AttachmentPart("a.txt", "text/plain", "lost", PartStorage::EmptyEmlxPart));
    const WrittenMessage written = WriteMessage(box.messages(), 55, recipe);
    ASSERT_EQ(fs::file_size(box.messages() / "55.2.emlxpart"), 0u);
    kestrin_test::WriteFile(box.attachments("2") / "a.txt", "would be found");

    EMLXEmailAsset asset(written.emlxPath.string());
    EXPECT_EQ(asset.GetAssetFlags(), kAssetFlagIncomplete);
    EXPECT_TRUE(EndsWith(asset.GetDescription(), L"\r\nSubject : Attachment at 2" + kWarning));
    const std::string out = RawOutput(asset);
    EXPECT_EQ(DecodedPart(out, "2").find("This attachment was not converted"), 0u) << out;
    EXPECT_EQ(out.find("X-Apple-Content-Length"), std::string::npos);
}

TEST(EmlxTest, TwoMissingAttachmentsOfWhichOneIsFound)
{
    MailboxFolder box;
    const MessageRecipe recipe = MakeMessage(
        "Two", Multipart("mixed", {TextPart("body\n"),
                                   AttachmentPart("found.bin", "application/octet-stream", "FOUND",
                                                  PartStorage::Attachments),
                                   AttachmentPart("lost.bin", "application/octet-stream", "LOST",
                                                  PartStorage::Missing)}));
    const WrittenMessage written = WriteMessage(box.messages(), 55, recipe);
    // Empty and Finder files in the attachment folder are passed over.
    kestrin_test::WriteFile(box.attachments("3") / ".DS_Store", "finder");
    kestrin_test::WriteFile(box.attachments("3") / "empty.bin", "");

    EMLXEmailAsset asset(written.emlxPath.string());
    EXPECT_EQ(asset.GetAssetFlags(), kAssetFlagIncomplete);
    EXPECT_TRUE(EndsWith(asset.GetDescription(), kWarning));
    const std::string out = RawOutput(asset);
    EXPECT_EQ(out.find("X-Apple-Content-Length"), std::string::npos) << "both markers removed";
    EXPECT_EQ(DecodedPart(out, "2"), "FOUND");
    // The lost one is not an empty file posing as lost.bin: its place says
    // what was left out.
    const std::string notice = DecodedPart(out, "3");
    EXPECT_EQ(notice.find("This attachment was not converted"), 0u) << notice;
    EXPECT_NE(notice.find("\"lost.bin\" (application/octet-stream), 10 bytes as sent"), std::string::npos) << notice;
    EXPECT_NE(out.find("filename=\"lost.bin (not downloaded).txt\""), std::string::npos) << out;
}

TEST(EmlxTest, AutoArchivedFolderBecomesAZipOfItsFiles)
{
    struct Case {
        const char* name;
        bool withFileName;
    } cases[] = {
        {"named Photos.zip", true},
        {"without a file name: named after its folder", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MailboxFolder box;
        PartRecipe folder = FolderAttachmentPart(
            "Photos", {{"a.jpg", "JPEG-A"}, {"b.txt", "text b"}, {".DS_Store", "finder"}},
            c.withFileName ? PartStorage::AttachedFolder : PartStorage::Missing);
        if (!c.withFileName) {
            folder.fileName.clear();
            folder.contentTypeParams = {{"x-mac-auto-archive", "YES"}};
        }
        const WrittenMessage written = WriteMessage(box.messages(), 55, WithAttachmentAt("2", folder));
        const fs::path photos = box.attachments("2") / "Photos";
        if (!c.withFileName) {
            kestrin_test::WriteFile(photos / "a.jpg", "JPEG-A");
            kestrin_test::WriteFile(photos / "b.txt", "text b");
            kestrin_test::WriteFile(box.attachments("2") / ".DS_Store", "finder");
        }
        // A folder inside the attached folder is kept, with its files.
        kestrin_test::WriteFile(photos / "Trip" / "c.jpg", "JPEG-C");
        kestrin_test::WriteFile(photos / "Trip" / ".DS_Store", "finder");
        // Copies through exFAT or SMB leave AppleDouble companions everywhere.
        WriteAppleDouble(photos / "a.jpg");
        WriteAppleDouble(photos / "Trip");
        WriteAppleDouble(photos);

        kestrin_test::TempDir temporary;
        std::string out;
        {
            TemporaryFolderOverride useTemporary(temporary.path());
            EMLXEmailAsset asset(written.emlxPath.string());
            EXPECT_EQ(asset.GetAssetFlags(), 0);
            EXPECT_TRUE(fs::is_empty(temporary.path())) << "the temporary archive folder is removed";
            out = RawOutput(asset);
        }
        std::string firstContent;
        const std::set<std::string> expected = {"Photos/a.jpg", "Photos/b.txt", "Photos/Trip/c.jpg"};
        EXPECT_EQ(ZipEntries(DecodedPart(out, "2"), &firstContent), expected);
        EXPECT_EQ(firstContent, "JPEG-A");
        EXPECT_NE(out.find("Content-Type: application/zip"), std::string::npos);
    }
}

// An attached folder that is on this disk but cannot be packed (here: the
// temporary folder cannot be written) is lost by the conversion: the message
// says so in the part's place, and the asset is damaged, not "not downloaded".
TEST(EmlxTest, AttachedFolderThatCannotBePackedIsDamageNamedInItsPlace)
{
    MailboxFolder box;
    const WrittenMessage written = WriteMessage(
        box.messages(), 56, WithAttachmentAt("2", FolderAttachmentPart("Photos", {{"a.jpg", "JPEG-A"}})));
    kestrin_test::TempDir temporary;
    kestrin_test::CapturedDiagnostics diagnostics;
    std::string out;
    std::vector<AssetNote> notes;
    {
        TemporaryFolderOverride useTemporary(temporary.path() / "gone");
        EMLXEmailAsset asset(written.emlxPath.string());
        out = RawOutput(asset);
        notes = asset.GetNotes();
    }
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0].kind, AssetNoteKind::Damaged);
    const std::string note = WideToUTF8(notes[0].text);
    EXPECT_EQ(note.rfind("Message file " + written.emlxPath.string() + ": part 2 was left out: the attached folder ", 0),
              0u)
        << note;
    EXPECT_NE(note.find("could not be packed as Photos.zip"), std::string::npos) << note;
    const std::string notice = DecodedPart(out, "2");
    EXPECT_EQ(notice.find("This attachment was not converted: the attached folder "), 0u) << notice;
    EXPECT_EQ(notice.find("mail server"), std::string::npos) << notice;
    EXPECT_NE(out.find("filename=\"Photos.zip (not converted).txt\""), std::string::npos) << out;
    EXPECT_EQ(diagnostics.text(), "");
}

// --- writing ---------------------------------------------------------------

TEST(EmlxTest, MboxEntryCarriesTheReassembledMessage)
{
    MailboxFolder box;
    const MessageRecipe recipe = WithAttachmentAt(
        "2", AttachmentPart("a.bin", "application/octet-stream", "ATTACHED BYTES", PartStorage::EmlxPart));
    const WrittenMessage written = WriteMessage(box.messages(), 55, recipe);
    EMLXEmailAsset asset(written.emlxPath.string());

    std::ostringstream mbox;
    EXPECT_EQ(asset.WriteMBOXMessage(mbox), WriteResult::Ok);
    const std::string entry = mbox.str();
    EXPECT_EQ(entry.rfind("From - Fri Jul 14 02:40:00 2017\n", 0), 0u) << entry.substr(0, 60);
    EXPECT_NE(entry.find(kestrin_libbuilder::Base64Encode("ATTACHED BYTES", 0)), std::string::npos);
    EXPECT_EQ(entry.find("X-Apple-Content-Length"), std::string::npos);
    EXPECT_EQ(entry.back(), '\n');

    std::ostringstream failed;
    failed.setstate(std::ios::badbit);
    EXPECT_EQ(asset.WriteMBOXMessage(failed), WriteResult::StreamFailed);
}

TEST(EmlxTest, ShortRawWriteIsReported)
{
    kestrin_test::TempDir dir;
    WriteBinaryFile(dir / "1.emlx", RenderEmlx(MakeMessage("Short", TextPart("body\n"))));
    EMLXEmailAsset asset((dir / "1.emlx").string());
    auto out = kestrin_test::FailingStream::Writer(10);
    EXPECT_EQ(asset.WriteRawMessage(out), WriteResult::Short);
}

// --- real Apple Mail files --------------------------------------------------

class EmlxSamplesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (kestrin_test::SamplesDir().empty()) GTEST_SKIP() << "no Apple Mail samples";
        m_samples = kestrin_test::SamplesDir();
    }
    // A private copy: the reader must never be handed the samples themselves.
    fs::path Copy(const std::string& relative)
    {
        const fs::path target = m_work.path() / fs::path(relative).filename();
        emlx_test::CopyTree(m_samples / relative, target);
        return target;
    }

    fs::path m_samples;
    kestrin_test::TempDir m_work;
};

TEST_F(EmlxSamplesTest, StrippedPdfComesBackFromItsEmlxPart)
{
    const fs::path data =
        Copy("hoover-testdata/data/lists.mbox/F2D0D67E-7B19-4C30-B2E9-B58FE4789D51/Data/1");
    EMLXEmailAsset asset((data / "Messages" / "1498.partial.emlx").string());
    EXPECT_TRUE(asset.HasMessage());
    EXPECT_EQ(asset.GetAssetFlags(), 0);
    const std::string out = RawOutput(asset);
    EXPECT_EQ(DecodedPart(out, "3"),
              kestrin_test::ReadFile(data / "Attachments" / "1498" / "3" /
                                     "Legea-299-2015-informatiile-publice.pdf"));
    // Part 2 was never stripped: the bounded parse kept it whole.
    EXPECT_EQ(DecodedPart(out, "2"),
              kestrin_test::ReadFile(data / "Attachments" / "1498" / "2" /
                                     "Legea-299-2015-informatiile-publice.odt"));
    EXPECT_EQ(out.find("X-Apple-Content-Length"), std::string::npos);
    EXPECT_EQ(out.find("<plist"), std::string::npos);
}

TEST_F(EmlxSamplesTest, MessageWhoseContentIsGoneIsFlaggedIncomplete)
{
    const fs::path folder = Copy("hoover-testdata/data/emlx-4-missing-part");
    EMLXEmailAsset asset((folder / "1498.partial.emlx").string());
    EXPECT_TRUE(asset.HasMessage());
    EXPECT_EQ(asset.GetAssetFlags(), kAssetFlagIncomplete);
    EXPECT_TRUE(EndsWith(asset.GetDescription(), kWarning));
    EXPECT_EQ(RawOutput(asset).find("X-Apple-Content-Length"), std::string::npos);
}

TEST_F(EmlxSamplesTest, NestedPartNumbersAndNonAsciiNamesAreFound)
{
    const fs::path input = Copy("partial-emlx-converter/input");
    struct Case {
        const char* message;
        const char* number;
        const char* file;  // below Attachments/<id>/<number>/
    } cases[] = {
        {"114894", "2.2", "short.txt"},
        {"114894", "2.4", "original.doc"},
        {"114894", "2.6", "text.txt"},
        {"114894", "2.8", "Mail-Anhang.png"},
        {"114892", "2.8", "image001.png"},
        {"465622", "2", "7.10_\xE7\xAC\xAC" "2\xE5\x9B\x9E\xE7\xA0\x94\xE7\xA9\xB6\xE4\xBC\x9A.pdf"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.message) + " part " + c.number);
        EMLXEmailAsset asset(
            (input / "Messages" / (std::string(c.message) + ".partial.emlx")).string());
        EXPECT_EQ(asset.GetAssetFlags(), 0);
        EXPECT_EQ(DecodedPart(RawOutput(asset), c.number),
                  kestrin_test::ReadFile(input / "Attachments" / c.message / c.number / c.file));
    }
}

TEST_F(EmlxSamplesTest, WrongByteCountsStillGiveTheMessage)
{
    // These three files were edited after Apple Mail wrote them: their counts
    // run past the message into the trailer.
    const fs::path input = Copy("partial-emlx-converter/input");
    for (const char* id : {"136153", "207046", "229417"}) {
        SCOPED_TRACE(id);
        EMLXEmailAsset asset((input / "Messages" / (std::string(id) + ".partial.emlx")).string());
        EXPECT_TRUE(asset.HasMessage());
        EXPECT_NE(asset.GetDescription().find(L"\r\nSubject : "), std::wstring::npos);
        EXPECT_EQ(RawOutput(asset).find("X-Apple-Content-Length"), std::string::npos);
    }
}

TEST_F(EmlxSamplesTest, RealMailboxIsReadByTheNewerLayoutStore)
{
    const fs::path data = Copy("hoover-testdata/data");
    auto store = boost::make_shared<AppleMailDBStoreV2>(data.string(), L"");
    ASSERT_EQ(store->Open({}, {}, {}, false), Status::Succeeded);
    const auto mailboxes = store->GetRootFolder()->GetSubFolders();
    ASSERT_EQ(mailboxes.size(), 1u) << "a folder without bundles is no folder of the tree";
    EXPECT_EQ(mailboxes[0]->GetName(), L"lists");
    EXPECT_EQ(mailboxes[0]->GetAssetCount(), 1);

    auto iterator = mailboxes[0]->GetAssetIterator(kQueryKindNew, {}, {}, {});
    iterator->Begin();
    ASSERT_TRUE(iterator->HasCurrent());
    auto asset = boost::dynamic_pointer_cast<IEmailAsset>(iterator->GetCurrent()->GetAsset());
    ASSERT_TRUE(asset);
    EXPECT_EQ(asset->GetAssetFlags(), 0);
    EXPECT_NE(RawOutput(*asset).find(kestrin_test::ReadFile(
                  data / "lists.mbox" / "F2D0D67E-7B19-4C30-B2E9-B58FE4789D51" / "Data" / "1" /
                  "Messages" / "1498.3.emlxpart")),
              std::string::npos)
        << "the stripped part is written with its stored encoding";
    iterator->Increment();
    EXPECT_FALSE(iterator->HasCurrent());
}
