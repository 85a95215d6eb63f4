// The files we write must read back correctly in an independent reader:
// Python's mailbox and email packages (check_interop.py) read the mbox and
// EML output of every write path.
#include <cstdlib>

#include <gtest/gtest.h>

#include "FormatsTestHelpers.h"
#include "export/ExportDriver.h"
#include "export/OutputGeneralFormatStoreProvider.h"

namespace formats_test {
namespace {

struct Sample {
    std::string subject;  // decoded, as Python shows it
    std::string raw;      // the message as an EML file holds it
    std::string body;     // its body with LF line ends
};

std::vector<Sample> Samples()
{
    const std::string head = "From: Alice <alice@example.com>\r\nTo: Bob <bob@example.com>\r\n"
                             "Date: Tue, 05 Mar 2019 14:07:09 +0000\r\n";
    return {
        {"Plain", head + "Subject: Plain\r\n\r\nHello\r\nworld\r\n", "Hello\nworld\n"},
        {"Escapes",
         head + "Subject: Escapes\r\n\r\nFrom the start\r\n>From quoted\r\n>>From deeper\r\nFrom\r\n"
                ">From\r\nFromage\r\n",
         "From the start\n>From quoted\n>>From deeper\nFrom\n>From\nFromage\n"},
        {"Unterminated", head + "Subject: Unterminated\r\n\r\nalmost done\r\nFrom the end",
         "almost done\nFrom the end"},
        {"Gr\xC3\xBC\xC3\x9F" "e aus K\xC3\xB6ln",
         head + "Subject: =?utf-8?B?R3LDvMOfZSBhdXMgS8O2bG4=?=\r\n\r\nencoded subject\r\n",
         "encoded subject\n"},
        {"Line feeds only",
         "From: Carol <carol@example.com>\nDate: Wed, 06 Mar 2019 09:00:00 +0000\n"
         "Subject: Line feeds only\n\nFrom a Unix machine\nbye\n",
         "From a Unix machine\nbye\n"},
    };
}

std::string JsonString(const std::string& text)
{
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string JsonMessages(const std::vector<Sample>& samples)
{
    std::string out = "[";
    for (size_t i = 0; i < samples.size(); ++i) {
        if (i) out += ", ";
        out += "{\"subject\": " + JsonString(samples[i].subject) + ", \"body\": " +
               JsonString(samples[i].body) + "}";
    }
    return out + "]";
}

// Runs the checker on dir; answers its output, empty on success.
std::string PythonFindings(const fs::path& dir, const std::string& expectedJson)
{
    const fs::path expected = dir / "expected.json";
    const fs::path report = dir / "python-report.txt";
    kestrin_test::WriteFile(expected, expectedJson);
    const std::string command = "python3 '" + SourceRoot() +
                                "/tests/formats/check_interop.py' '" + dir.string() + "' '" +
                                expected.string() + "' > '" + report.string() + "' 2>&1";
    const int status = std::system(command.c_str());
    const std::string output = kestrin_test::ReadFile(report);
    if (status == 0) return std::string();
    return output.empty() ? "python3 exited with status " + std::to_string(status) : output;
}

ExportSummary Export(const boost::shared_ptr<IAssetFolder>& folder, const fs::path& outputRoot,
                     ExportTarget targetType)
{
    auto provider = boost::make_shared<OutputGeneralFormatStoreProvider>(outputRoot.string(),
                                                                         targetType,
                                                                         std::vector<int>{});
    ExportSummary summary;
    const int64_t total = 1;
    int64_t counter = 0;
    RunExport(summary, &total, {}, {folder}, {}, {}, provider, 0, true, &counter);
    provider->CloseStores();
    return summary;
}

TEST(Interop, PythonReadsWhatEveryWritePathProduces)
{
    kestrin_test::TempDir dir;
    const std::vector<Sample> samples = Samples();
    const std::string messages = JsonMessages(samples);

    // EML items into a mailbox.
    const fs::path source = dir.path() / "source";
    {
        auto store = OpenMboxStore(source.string(), StoreKind::Mbox, true);
        auto inbox = RootOf<MBOXAssetFolder>(store)->CreateSubFolder(L"Inbox", 4, "");
        for (const Sample& sample : samples)
            ASSERT_EQ(inbox->AddAsset(EmlAsset(sample.raw), {}, {}, {}, "").code, AddAssetCode::Written);
        inbox->EndAddAssets({}, {}, {});
    }
    EXPECT_EQ(PythonFindings(source, "{\"mbox\": {\"Inbox.mbox\": " + messages + "}}"), "");

    // Messages read from that mailbox, exported as EML files and as a mailbox.
    auto store = OpenMboxStore(source.string(), StoreKind::Mbox);
    auto inbox = store->GetRootFolder()->FindSubFolder(L"Inbox");
    ASSERT_TRUE(inbox);
    ASSERT_EQ(ReadMailbox(inbox).size(), samples.size());

    const fs::path emlOut = dir.path() / "eml-out";
    EXPECT_EQ(Export(inbox, emlOut, ExportTarget::Eml).processed, static_cast<int64_t>(samples.size()));
    EXPECT_EQ(PythonFindings(emlOut, "{\"eml\": {\"Mails/Inbox\": " + messages + "}}"), "");

    const fs::path mboxOut = dir.path() / "mbox-out";
    EXPECT_EQ(Export(inbox, mboxOut, ExportTarget::Mbox).processed, static_cast<int64_t>(samples.size()));
    EXPECT_EQ(PythonFindings(mboxOut, "{\"mbox\": {\"Mails/Inbox.mbox\": " + messages + "}}"), "");
}

TEST(Interop, CheckerNoticesAMissingEscape)
{
    // The checker itself must fail on a mailbox a careless writer produced.
    kestrin_test::TempDir dir;
    kestrin_test::WriteFile(dir.path() / "bad.mbox",
                            "From - Tue Mar 05 14:07:09 2019\nSubject: one\n\nFrom the start\n");
    const std::string findings = PythonFindings(
        dir.path(), "{\"mbox\": {\"bad.mbox\": [{\"subject\": \"one\", \"body\": \"From the start\\n\"}]}}");
    EXPECT_NE(findings.find("2 messages, expected 1"), std::string::npos) << findings;
}

}  // namespace
}  // namespace formats_test
