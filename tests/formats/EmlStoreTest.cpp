// EML trees: counting message files, naming new ones, building the tree, and
// never writing into a file that is already there.
#include <functional>

#include <gtest/gtest.h>

#include "FormatsTestHelpers.h"

namespace formats_test {
namespace {

AddAssetResult Add(const boost::shared_ptr<IAssetFolderMutable>& folder,
                   const boost::shared_ptr<IAsset>& asset)
{
    return folder->AddAsset(asset, {}, {}, {}, "id");
}

TEST(EmlNumbering, CountedRootContinuesAfterItsFilesAndANewSubFolderStartsAtZero)
{
    kestrin_test::TempDir dir;
    auto store = OpenEmlStore((dir.path() / "Mails").string());
    EXPECT_EQ(store->GetStoreName(), L"EML Store");
    auto root = RootOf<EMLAssetFolder>(store);
    ASSERT_TRUE(root);
    EXPECT_EQ(root->GetAssetCount(), 0);
    EXPECT_EQ(root->GetFolderKind(), kFolderKindMail);

    auto message = EmlAsset(MessageText("Report", {"body"}));
    EXPECT_EQ(root->MapFileName(message), L"Report_1.eml");
    for (int i = 0; i < 3; ++i) {
        const AddAssetResult result = Add(root, message);
        EXPECT_EQ(result.code, AddAssetCode::Written);
        EXPECT_EQ(result.text, (dir.path() / "Mails" / ("Report_" + std::to_string(i + 1) + ".eml")).string());
    }
    EXPECT_EQ(root->GetAssetCount(), 3);

    auto sub = root->CreateSubFolder(L"Projects", 4, "");
    EXPECT_EQ(Add(sub, message).code, AddAssetCode::Written);
    EXPECT_EQ(Add(sub, message).code, AddAssetCode::Written);
    EXPECT_EQ(SortedFileNames(dir.path() / "Mails" / "Projects"),
              (std::vector<std::string>{"Report_0.eml", "Report_1.eml"}));
    EXPECT_EQ(kestrin_test::ReadFile(dir.path() / "Mails" / "Projects" / "Report_0.eml"),
              AsString(*message->GetRawBytes()));
}

// A subject full of slashes becomes a title of three-byte U+2215 characters:
// the name must still fit the file system's 255 bytes, or the message is lost.
TEST(EmlNumbering, LongMultiByteTitleIsCutToAFileNameThatCanBeCreated)
{
    kestrin_test::TempDir dir;
    auto store = OpenEmlStore((dir.path() / "Mails").string());
    auto root = RootOf<EMLAssetFolder>(store);
    ASSERT_TRUE(root);

    std::string subject;
    for (int i = 0; i < 120; ++i) subject += "a/";
    auto message = EmlAsset(MessageText(subject, {"body"}));
    const AddAssetResult result = Add(root, message);
    ASSERT_EQ(result.code, AddAssetCode::Written);
    const std::string name = boost::filesystem::path(result.text).filename().string();
    EXPECT_LE(name.size(), 255u);
    EXPECT_EQ(name.substr(name.size() - 6), "_1.eml");
    EXPECT_EQ(name.substr(0, 5), "a\xE2\x88\x95" "a");
}

struct CountCase {
    const char* name;
    std::vector<std::string> files;
    int64_t count;
};

class EmlCounting : public ::testing::TestWithParam<CountCase> {};

TEST_P(EmlCounting, CountsMessageFilesOnly)
{
    kestrin_test::TempDir dir;
    for (const std::string& file : GetParam().files) kestrin_test::WriteFile(dir.path() / file, "x");
    auto store = OpenEmlStore(dir.str());
    EXPECT_EQ(store->GetRootFolder()->GetAssetCount(), GetParam().count);
}

INSTANTIATE_TEST_SUITE_P(
    Directories, EmlCounting,
    ::testing::Values(CountCase{"CapitalExtensionCounted", {"a.eml", "B.EML"}, 2},
                      CountCase{"AppleDoubleCompanionNotCounted", {"B.EML", "._B.EML"}, 1},
                      CountCase{"OtherExtensionsNotCounted", {"a.emlx", "b.txt", "eml", "c.eml.bak"}, 0},
                      CountCase{"EmptyDirectory", {}, 0}),
    [](const ::testing::TestParamInfo<CountCase>& info) { return info.param.name; });

TEST(EmlTree, EmptyDirectoriesStayOnlyWhenAsked)
{
    kestrin_test::TempDir dir;
    fs::create_directories(dir.path() / "Empty");
    fs::create_directories(dir.path() / "Parent" / "Child");
    fs::create_directories(dir.path() / "Full");
    kestrin_test::WriteFile(dir.path() / "Full" / "m.eml", "Subject: m\r\n\r\n");

    auto keeping = OpenEmlStore(dir.str(), true, false);
    EXPECT_EQ(keeping->GetRootFolder()->GetSubFolderCount(), 3u);
    EXPECT_TRUE(keeping->GetRootFolder()->FindSubFolder(L"Empty"));

    auto pruning = OpenEmlStore(dir.str(), false, false);
    auto root = pruning->GetRootFolder();
    EXPECT_FALSE(root->FindSubFolder(L"Empty"));
    EXPECT_EQ(root->FindSubFolder(L"Full")->GetAssetCount(), 1);
    // Child is empty and pruned, so Parent has nothing left either.
    EXPECT_FALSE(root->FindSubFolder(L"Parent"));
}

TEST(EmlTree, SubFolderOfAnExistingSanitisedNameIsAnsweredAsItIs)
{
    kestrin_test::TempDir dir;
    auto store = OpenEmlStore(dir.str());
    auto root = RootOf<EMLAssetFolder>(store);
    auto first = root->CreateSubFolder(L"Q1/Q2", 4, "");
    ASSERT_TRUE(first);
    EXPECT_EQ(first->GetName(), L"Q1\u2215Q2");
    EXPECT_TRUE(fs::is_directory(dir.path() / "Q1\u2215Q2"));
    EXPECT_EQ(root->CreateSubFolder(L"Q1/Q2", 4, "").get(), first.get());
    EXPECT_EQ(root->GetSubFolderCount(), 1u);
}

// Nothing already on disk is ever overwritten or truncated.
TEST(EmlExclusiveFiles, TakenNamesAreSteppedOver)
{
    kestrin_test::TempDir dir;
    auto store = OpenEmlStore(dir.str());
    auto root = RootOf<EMLAssetFolder>(store);
    // Files that appear behind the store's back after it counted.
    kestrin_test::WriteFile(dir.path() / "Note_1.eml", "keep me 1");
    kestrin_test::WriteFile(dir.path() / "Note_2.eml", "keep me 2");

    auto message = EmlAsset(MessageText("Note", {"new"}));
    AddAssetResult result = Add(root, message);
    EXPECT_EQ(result.code, AddAssetCode::Written);
    EXPECT_EQ(result.text, (dir.path() / "Note_3.eml").string());
    EXPECT_EQ(kestrin_test::ReadFile(dir.path() / "Note_1.eml"), "keep me 1");
    EXPECT_EQ(kestrin_test::ReadFile(dir.path() / "Note_2.eml"), "keep me 2");
    EXPECT_EQ(Add(root, message).text, (dir.path() / "Note_4.eml").string());
}

TEST(EmlExclusiveFiles, TwoWritersOverOneDirectoryNeverShareAFile)
{
    kestrin_test::TempDir dir;
    auto storeA = OpenEmlStore(dir.str());
    auto storeB = OpenEmlStore(dir.str());
    auto a = RootOf<EMLAssetFolder>(storeA);
    auto b = RootOf<EMLAssetFolder>(storeB);
    const std::string textA = MessageText("Same", {"from A"});
    const std::string textB = MessageText("Same", {"from B, a longer body than A's"});
    const std::string pathA = Add(a, EmlAsset(textA)).text;
    const std::string pathB = Add(b, EmlAsset(textB)).text;
    EXPECT_NE(pathA, pathB);
    EXPECT_EQ(kestrin_test::ReadFile(pathA), textA);
    EXPECT_EQ(kestrin_test::ReadFile(pathB), textB);
}

TEST(EmlExclusiveFiles, UnwritableDirectoryIsAFailure)
{
    kestrin_test::TempDir dir;
    auto store = OpenEmlStore(dir.str());
    auto gone = boost::make_shared<EMLAssetFolder>((dir.path() / "missing").string(), store,
                                                   store->GetRootFolder(), false);
    kestrin_test::CapturedDiagnostics diagnostics;
    EXPECT_EQ(Add(gone, EmlAsset(MessageText("x", {"y"}))).code, AddAssetCode::Failed);
    EXPECT_NE(diagnostics.text().find("Unable to create file"), std::string::npos);
}

// An item whose raw writer reports the given answer, after writing a little.
class RawWriterAnswering : public EmailAssetBase {
public:
    explicit RawWriterAnswering(WriteResult answer) : m_answer(answer) {}
    WriteResult WriteMBOXMessage(std::ostream&) override { return WriteResult::Ok; }
    WriteResult WriteRawMessage(const boost::shared_ptr<KSDataStreamOut>& out) override
    {
        KSDataLock<KSDataStreamOut> lock(out);
        lock->Write("Subject: cut", 12);
        return m_answer;
    }
    uint64_t GetSize() override { return 12; }

private:
    WriteResult m_answer;
};

struct RefusalCase {
    const char* name;
    std::function<boost::shared_ptr<IAsset>()> make;
    AddAssetCode code;
    bool fileStarted;
};

class EmlRefusal : public ::testing::TestWithParam<RefusalCase> {};

// None of these may count as converted: the driver would otherwise report a
// message as exported that is not (fully) on disk. The folder's numbering is
// not advanced, and the next message still never lands in a used file.
TEST_P(EmlRefusal, IsNotCountedAsWritten)
{
    kestrin_test::TempDir dir;
    auto store = OpenEmlStore(dir.str());
    auto root = RootOf<EMLAssetFolder>(store);

    const AddAssetResult result = Add(root, GetParam().make());
    EXPECT_EQ(result.code, GetParam().code);
    EXPECT_EQ(root->GetAssetCount(), 0);
    if (!GetParam().fileStarted) {
        EXPECT_TRUE(SortedFileNames(dir.path()).empty());
    }

    const AddAssetResult next = Add(root, EmlAsset(MessageText("Next", {"body"})));
    EXPECT_EQ(next.code, AddAssetCode::Written);
    EXPECT_NE(next.text, result.text);
    if (GetParam().fileStarted && fs::exists(result.text)) {
        EXPECT_EQ(kestrin_test::ReadFile(result.text), "Subject: cut");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Items, EmlRefusal,
    ::testing::Values(
        RefusalCase{"NotAnEmailItem", [] { return boost::make_shared<NoteAsset>(); },
                    AddAssetCode::Failed, false},
        RefusalCase{"ShortRawWrite",
                    [] { return boost::make_shared<RawWriterAnswering>(WriteResult::Short); },
                    AddAssetCode::Failed, true},
        RefusalCase{"StreamFailed",
                    [] { return boost::make_shared<RawWriterAnswering>(WriteResult::StreamFailed); },
                    AddAssetCode::StreamFailed, true}),
    [](const ::testing::TestParamInfo<RefusalCase>& info) { return info.param.name; });

}  // namespace
}  // namespace formats_test
