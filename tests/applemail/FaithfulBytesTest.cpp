// What Apple Mail stored is what the user gets: a message that needs nothing
// put back is written byte for byte, however odd its form, and only messages
// with parts stored apart go through the MIME parser and out again.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>

#include "EmlxTestSupport.h"
#include "applemail/EMLXEmailAsset.h"
#include "libbuilder/Emlx.h"
#include "libbuilder/MessageRecipe.h"
#include "mime/KSCharsets.h"
#include "mime/MimeServices.h"
#include "support/MboxReference.h"
#include "support/TestSupport.h"

namespace fs = boost::filesystem;
using namespace KestrinMIMEEngineCommon;
using namespace kestrin_libbuilder;
using emlx_test::RawOutput;

namespace {

const char kDate[] = "Date: Fri, 14 Jul 2017 02:40:00 +0000";

std::string Lines(std::initializer_list<const char*> lines, const char* end = "\n")
{
    std::string text;
    for (const char* line : lines) text.append(line).append(end);
    return text;
}

const char kDateLine[] = "\r\nDate : Fri, 14 Jul 2017 02:40:00 +0000\r\nSubject : ";
const char kWarning[] =
    "\r\n(Warning: This email has been partially downloaded from server or it may have "
    "uncached Attachments.)\xef\xbb\xbf";

struct Row {
    const char* name;
    std::string message;
    // Added to the true byte count on the count line.
    int64_t countExcess;
    // The log's description (UTF-8), as the full parse gave it before
    // messages were written as stored.
    std::string description;
    // What the EML file holds when the message is rewritten (a marker, or a
    // count that does not fit); empty: the stored bytes.
    std::string rewritten = {};
    uint16_t flags = 0;
};

std::string Described(const std::string& from, const std::string& subject)
{
    return "From : " + from + kDateLine + subject;
}

// What the stripped "a.pdf" part of the marked rows becomes: Apple Mail
// never downloaded it, so a text says so in its place.
const char kPdfNotice[] =
    "Content-Type: text/plain; charset=us-ascii; name=\"a.pdf (not downloaded).txt\"\n"
    "Content-Disposition: attachment; filename=\"a.pdf (not downloaded).txt\"\n\n"
    "This attachment was not converted: Apple Mail had not downloaded it, and its content was not on "
    "this disk when the message was converted.\n\n"
    "The attachment: \"a.pdf\" (application/pdf), 1234 bytes as sent.\n"
    "It may still be on the mail server.\n";

std::vector<Row> Rows()
{
    const std::string nested =
        Lines({"From: Nest <nest@example.com>", kDate, "Subject: Nested", "MIME-Version: 1.0",
               "Content-Type: multipart/mixed; boundary=\"outer\"", "", "--outer",
               "Content-Type: multipart/alternative; boundary=\"inner\"", "", "--inner",
               "Content-Type: text/plain", "", "plain", "--inner", "Content-Type: text/html", "",
               "<p>html</p>", "--inner--", "--outer", "Content-Type: text/plain", "", "second",
               "--outer--"});
    auto marked = [](const char* from, const char* subject, const char* markerLine) {
        return Lines({from, kDate, subject, "MIME-Version: 1.0",
                      "Content-Type: multipart/mixed; boundary=\"p\"", "", "--p", "Content-Type: text/plain", "",
                      "text", "--p", "Content-Type: application/pdf; name=a.pdf",
                      "Content-Transfer-Encoding: base64", markerLine, "", "", "--p--"});
    };
    const std::string markerInHeaders =
        Lines({"From: Head <head@example.com>", kDate, "Subject: Stripped body", "MIME-Version: 1.0",
               "Content-Type: application/pdf; name=a.pdf", "Content-Transfer-Encoding: base64",
               "X-Apple-Content-Length: 1234", "", ""});
    const std::string markerInPart = marked("From: Part <part@example.com>", "Subject: Stripped part",
                                            "X-Apple-Content-Length: 1234");
    auto noticed = [](const char* from, const char* subject) {
        return Lines({from, kDate, subject, "MIME-Version: 1.0", "Content-Type: multipart/mixed; boundary=\"p\"",
                      "", "--p", "Content-Type: text/plain", "", "text", "--p"}) +
               kPdfNotice + "\n--p--\n";
    };
    const std::string markerLowerCase =
        marked("From: Low <low@example.com>", "Subject: Lower case", "x-apple-content-length: 1234");
    const std::string counted =
        Lines({"From: Long <long@example.com>", kDate, "Subject: Counted long", "", "body"});
    return {
        {"LF line ends",
         Lines({"From: Anna <anna@example.com>", kDate, "Subject: Plain", "Message-ID: <1@example.com>", "",
                "Body line", "From the start of a line", ">From quoted"}),
         0, Described("Anna <anna@example.com>", "Plain")},
        {"CRLF line ends",
         Lines({"Received-SPF: pass", "From: Anna <anna@example.com>", kDate, "Subject: Windows", "",
                "Body line", "From here"},
               "\r\n"),
         0, Described("Anna <anna@example.com>", "Windows")},
        {"NUL in a header",
         std::string("From: Nul <nul@example.com>\n") + kDate + "\nSubject: Before" + std::string(1, '\0') +
             "after\nX-Other: kept\n\nbody\n",
         0, Described("Nul <nul@example.com>", "Before")},
        {"header line without a colon",
         Lines({"From: Colon <colon@example.com>", kDate, "This line has no colon", "Subject: After it", "",
                "body"}),
         0, Described("Colon <colon@example.com>", "After it")},
        {"leading From line",
         Lines({"From anna@example.com Fri Jul 14 02:40:00 2017", "From: Anna <anna@example.com>", kDate,
                "Subject: Separator kept", "", "body"}),
         0, Described("Anna <anna@example.com>", "Separator kept")},
        {"blank first line",
         Lines({"", "From: Late <late@example.com>", kDate, "Subject: Late", "", "body"}), 0,
         "From : \r\nDate : Thu, 01 Jan 1970 00:00:00 +0000\r\nSubject : "},
        {"blank first line with CRLF",
         Lines({"", "From: Late <late@example.com>", kDate, "Subject: Late", "", "body"}, "\r\n"), 0,
         "From : \r\nDate : Thu, 01 Jan 1970 00:00:00 +0000\r\nSubject : "},
        {"no blank line after the headers",
         Lines({"From: Only <only@example.com>", kDate, "Subject: Headers only"}), 0,
         Described("Only <only@example.com>", "Headers only")},
        {"no final line end",
         Lines({"From: End <end@example.com>", kDate, "Subject: Open end", ""}) + "last line", 0,
         Described("End <end@example.com>", "Open end")},
        {"folded, duplicate, 8-bit and encoded-word headers",
         Lines({"From: =?iso-8859-1?Q?J=F6rg?= <joerg@example.com>", kDate,
                "Subject: =?utf-8?B?R3LDvMOfZQ==?= and", "\ta folded tail", "To: one@example.com",
                "To: two@example.com", "X-Note: Gr\xc3\xbc\xc3\x9f" "e roh", "", "body"}),
         0, Described("J\xc3\xb6rg <joerg@example.com>", "Gr\xc3\xbc\xc3\x9f" "e and\ta folded tail")},
        {"nested multipart without a blank line", nested, 0, Described("Nest <nest@example.com>", "Nested")},
        {"missing end boundary",
         Lines({"From: Cut <cut@example.com>", kDate, "Subject: Unfinished", "MIME-Version: 1.0",
                "Content-Type: multipart/mixed; boundary=\"b\"", "", "--b", "Content-Type: text/plain", "",
                "only part"}),
         0, Described("Cut <cut@example.com>", "Unfinished")},
        {"marker in the headers", markerInHeaders, 0,
         Described("Head <head@example.com>", "Stripped body") + kWarning,
         Lines({"From: Head <head@example.com>", kDate, "Subject: Stripped body", "MIME-Version: 1.0"}) + kPdfNotice,
         kAssetFlagIncomplete},
        {"marker in a part", markerInPart, 0, Described("Part <part@example.com>", "Stripped part") + kWarning,
         noticed("From: Part <part@example.com>", "Subject: Stripped part"), kAssetFlagIncomplete},
        {"marker in lower case", markerLowerCase, 0,
         Described("Low <low@example.com>", "Lower case") + kWarning,
         noticed("From: Low <low@example.com>", "Subject: Lower case"), kAssetFlagIncomplete},
        {"marker only in the body",
         Lines({"From: Body <body@example.com>", kDate, "Subject: Mentions it", "",
                "X-Apple-Content-Length: 12 is just text here"}),
         0, Described("Body <body@example.com>", "Mentions it"),
         Lines({"From: Body <body@example.com>", kDate, "Subject: Mentions it", "",
                "X-Apple-Content-Length: 12 is just text here"})},
        // The trailer says where the message ends: it is written as stored,
        // not parsed and written anew.
        {"byte count larger than the file", counted, 5000, Described("Long <long@example.com>", "Counted long")},
    };
}

// Failure messages show control bytes as escapes.
std::string Escaped(const std::string& text)
{
    std::string out;
    for (unsigned char c : text) {
        if (c == '\n') {
            out += "\\n\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c < 0x20 && c != '\t') {
            char code[8];
            std::snprintf(code, sizeof code, "\\x%02x", c);
            out += code;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string EmlxFile(const Row& row)
{
    MessageRecipe recipe;
    recipe.countWidth = 10;
    if (row.countExcess != 0) {
        recipe.overrideCountLine = true;
        recipe.countLine = std::to_string(static_cast<int64_t>(row.message.size()) + row.countExcess);
    }
    return RenderEmlxAround(row.message, recipe);
}

// The mbox entry of message bytes by the rules every raw-bytes message
// follows, worked out the plain way: synthesized Received line from a full
// parse, LF line ends, escapes, one empty line at the end. The separator line
// is left out (it holds the current time for a message without date). Without
// the full parse (for a large message that calls for no Received line) no
// Received line is looked for.
std::string MboxFormWithoutSeparator(const std::string& bytes, bool parseWhole = true)
{
    std::string received;
    if (parseWhole)
        AppendSynthesizedReceivedFromBuffer(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
                                            received);
    const std::string entry = kestrin_test::MboxReferenceEntry("", received, bytes, 1);
    return entry.substr(1);
}

}  // namespace

TEST(FaithfulBytesTest, StoredMessagesAreWrittenAsStoredAndDescribedAsBefore)
{
    for (const Row& row : Rows()) {
        SCOPED_TRACE(row.name);
        kestrin_test::TempDir dir;
        const fs::path file = dir / "Box.mbox" / "Messages" / "77.emlx";
        WriteBinaryFile(file, EmlxFile(row));
        kestrin_test::CapturedDiagnostics diagnostics;
        EMLXEmailAsset asset(file.string());

        EXPECT_EQ(WideToUTF8(asset.GetDescription()), row.description);
        EXPECT_EQ(asset.GetAssetFlags(), row.flags);
        EXPECT_TRUE(asset.HasMessage());
        const std::string expected = row.rewritten.empty() ? row.message : row.rewritten;
        EXPECT_EQ(asset.IsStoredBytes(), row.rewritten.empty());
        EXPECT_EQ(Escaped(RawOutput(asset)), Escaped(expected));

        std::ostringstream mbox;
        ASSERT_EQ(asset.WriteMBOXMessage(mbox), WriteResult::Ok);
        const std::string entry = mbox.str();
        const size_t firstLineEnd = entry.find('\n');
        ASSERT_NE(firstLineEnd, std::string::npos);
        if (row.description.find("1970") == std::string::npos) {
            EXPECT_EQ(entry.substr(0, firstLineEnd), "From - Fri Jul 14 02:40:00 2017");
        }
        EXPECT_EQ(Escaped(entry.substr(firstLineEnd + 1)), Escaped(MboxFormWithoutSeparator(expected)));
    }
}

// A message larger than what is read whole is read from its file again when
// written: the same bytes, in pieces.
TEST(FaithfulBytesTest, LargeMessageIsWrittenFromItsFileAsStored)
{
    std::string message = Lines({"From: Big <big@example.com>", kDate, "Subject: Big one", ""}, "\r\n");
    std::string line(998, 'a');
    line += "\r\n";
    const std::string separatorLike = "From the middle\r\n";
    while (message.size() < (size_t(65) << 20)) {
        message += line;
        if (message.size() % 7 == 0) message += separatorLike;
    }
    message += "From the end without a line end";
    kestrin_test::TempDir dir;
    const fs::path file = dir / "88.emlx";
    MessageRecipe recipe;
    WriteBinaryFile(file, RenderEmlxAround(message, recipe));

    EMLXEmailAsset asset(file.string());
    EXPECT_TRUE(asset.IsStoredBytes());
    EXPECT_LT(asset.GetHeldBytes(), uint64_t(1) << 20) << "the message waits in its file, not in memory";
    EXPECT_EQ(WideToUTF8(asset.GetDescription()), Described("Big <big@example.com>", "Big one"));
    EXPECT_TRUE(RawOutput(asset) == message);

    std::ostringstream mbox;
    ASSERT_EQ(asset.WriteMBOXMessage(mbox), WriteResult::Ok);
    const std::string entry = mbox.str();
    EXPECT_EQ(entry.compare(0, 32, "From - Fri Jul 14 02:40:00 2017\n"), 0);
    EXPECT_TRUE(entry.substr(32) == MboxFormWithoutSeparator(message, false));

    // Cut or taken away after it was read: the write fails, and the note
    // says why for the report (not standard error).
    kestrin_test::CapturedDiagnostics diagnostics;
    ASSERT_TRUE(asset.GetNotes().empty());
    fs::resize_file(file, fs::file_size(file) / 2);
    WriteResult result = WriteResult::Ok;
    RawOutput(asset, &result);
    EXPECT_EQ(result, WriteResult::Short);
    fs::remove(file);
    RawOutput(asset, &result);
    EXPECT_EQ(result, WriteResult::Short);
    ASSERT_EQ(asset.GetNotes().size(), 2u);
    EXPECT_EQ(asset.GetNotes()[0].kind, AssetNoteKind::Damaged);
    EXPECT_EQ(asset.GetNotes()[0].text,
              L"Message file " + UTF8ToWide(file.string()) + L" became shorter while it was written");
    EXPECT_EQ(asset.GetNotes()[1].text, L"Message file " + UTF8ToWide(file.string()) +
                                            L" could not be read again to be written - No such file or directory");
    EXPECT_EQ(diagnostics.text(), "");
}
