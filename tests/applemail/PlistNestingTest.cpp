// Property lists nested too deeply for the property-list library (which
// parses and frees recursively) are refused before it sees them, in both
// forms, and the account readers carry on without them.
#include <gtest/gtest.h>

#include <string>

#include <boost/filesystem.hpp>
#include <boost/make_shared.hpp>

#include "applemail/AppleMailDBStoreSQLITE.h"
#include "applemail/AppleMailPlist.h"
#include "libbuilder/EnvelopeIndex.h"
#include "support/TestSupport.h"

namespace fs = boost::filesystem;
using namespace KestrinMIMEEngineCommon;
namespace lb = kestrin_libbuilder;

namespace {

// A dictionary {"MailAccounts": [[[ ... ]]]} with depth nested arrays.
std::string NestedXml(size_t depth)
{
    std::string text =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
        "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
        "<plist version=\"1.0\"><dict><key>MailAccounts</key>";
    for (size_t i = 0; i < depth; ++i) text += "<array>";
    text += "<string>x</string>";
    for (size_t i = 0; i < depth; ++i) text += "</array>";
    text += "</dict></plist>\n";
    return text;
}

void AppendBigEndian(std::string& out, uint64_t value, size_t width)
{
    for (size_t i = width; i-- > 0;) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

// A binary list of arrays. Object i is an array holding `fanOut` references
// to object i + 1 (the last is empty): fanOut 1 nests count levels deep;
// fanOut 2 shares each level twice, which the library expands to 2^count
// copies.
std::string NestedBinary(size_t count, size_t fanOut = 1)
{
    std::string out = "bplist00";
    std::vector<uint64_t> offsets;
    for (size_t i = 0; i < count; ++i) {
        offsets.push_back(out.size());
        const bool last = i + 1 == count;
        out += static_cast<char>(last ? 0xA0 : 0xA0 | fanOut);
        if (!last)
            for (size_t f = 0; f < fanOut; ++f) AppendBigEndian(out, i + 1, 4);
    }
    const uint64_t table = out.size();
    for (uint64_t offset : offsets) AppendBigEndian(out, offset, 4);
    out += std::string(6, '\0');
    out += static_cast<char>(4);  // offset width
    out += static_cast<char>(4);  // reference width
    AppendBigEndian(out, count, 8);
    AppendBigEndian(out, 0, 8);  // top object
    AppendBigEndian(out, table, 8);
    return out;
}

struct NestingCase {
    const char* name;
    std::string bytes;
    bool accepted;
    const char* reason;  // part of the diagnostic when refused
};

void PrintTo(const NestingCase& c, std::ostream* os) { *os << c.name; }

class PlistNesting : public ::testing::TestWithParam<NestingCase> {};

TEST_P(PlistNesting, DeepListsAreRefusedBeforeParsing)
{
    const NestingCase& c = GetParam();
    kestrin_test::TempDir dir;
    const fs::path path = dir / "Accounts.plist";
    kestrin_test::WriteFile(path, c.bytes);
    kestrin_test::CapturedDiagnostics diagnostics;
    PlistHandle root = ReadPlistFile(path.string());
    EXPECT_EQ(static_cast<bool>(root), c.accepted);
    if (c.accepted) {
        EXPECT_EQ(diagnostics.text(), "");
    } else {
        EXPECT_NE(diagnostics.text().find(std::string("Property list skipped, ") + c.reason),
                  std::string::npos)
            << diagnostics.text();
        EXPECT_NE(diagnostics.text().find(path.string()), std::string::npos);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lists, PlistNesting,
    ::testing::Values(
        NestingCase{"XmlWithinTheLimit", NestedXml(400), true, ""},
        NestingCase{"BinaryWithinTheLimit", NestedBinary(500), true, ""},
        NestingCase{"XmlJustBeyondTheLimit", NestedXml(kPlistMaxDepth), false, "nested deeper than 512"},
        NestingCase{"XmlTwoHundredThousandLevels", NestedXml(200000), false, "nested deeper than 512"},
        NestingCase{"BinaryOneLevelBeyondTheLimit", NestedBinary(kPlistMaxDepth + 1), false,
                    "nested deeper than 512"},
        NestingCase{"BinaryTwoHundredThousandLevels", NestedBinary(200000), false,
                    "nested deeper than 512"},
        NestingCase{"BinarySharedLevelsExpandBeyondTheLimit", NestedBinary(64, 2), false,
                    "too large once its shared parts are expanded"}),
    [](const ::testing::TestParamInfo<NestingCase>& info) { return info.param.name; });

TEST(PlistNesting, TagsInCommentsAndTextDoNotCount)
{
    std::string deepComment = "<!--";
    for (int i = 0; i < 1000; ++i) deepComment += "<array>";
    deepComment += "-->";
    const std::string text = "<?xml version=\"1.0\"?>" + deepComment +
                             "<plist version=\"1.0\"><dict><key>MailboxName</key>"
                             "<string><![CDATA[" + std::string(1000, '<') + "array>]]></string>"
                             "<key>a</key><array/></dict></plist>";
    EXPECT_EQ(CheckPlistNesting(text.data(), text.size()), "");
    PlistHandle root = ReadPlistBytes(text.data(), text.size());
    ASSERT_TRUE(root);
    EXPECT_TRUE(PlistDictItem(root.get(), "a", PLIST_ARRAY));
}

TEST(PlistNesting, BinaryListThatContainsItselfIsRefused)
{
    std::string bytes = NestedBinary(3);
    // Object 1 refers back to object 0.
    bytes[8 + 5 + 1 + 3] = 0;
    std::string refusal;
    EXPECT_FALSE(ReadPlistBytes(bytes.data(), bytes.size(), &refusal));
    EXPECT_EQ(refusal, "a list that contains itself");
}

// The crash this guards against was in the layout-2 account reader, which
// reads "Accounts.plist" when the store opens.
TEST(PlistNesting, AccountReaderRefusesADeepAccountsPlistCleanly)
{
    for (const std::string& bytes : {NestedXml(200000), NestedBinary(200000)}) {
        kestrin_test::TempDir dir;
        lb::EnvelopeIndexRecipe recipe;
        recipe.layout = 2;
        lb::WriteEnvelopeIndexDatabase(dir / "V2" / "MailData" / "Envelope Index", recipe);
        kestrin_test::WriteFile(dir / "V2" / "MailData" / "Accounts.plist", bytes);
        kestrin_test::CapturedDiagnostics diagnostics;
        auto store = boost::make_shared<AppleMailDBStoreSQLITE>(dir.str(), L"");
        EXPECT_EQ(store->ReadAccounts(), Status::Succeeded);
        EXPECT_TRUE(store->GetAccountFolders().empty());
        EXPECT_NE(diagnostics.text().find("nested deeper than 512 levels"), std::string::npos);
    }
}

}  // namespace
