// Source folders whose names meet after sanitising, or on a disk that ignores
// case and Unicode normalisation, keep output folders of their own; the same
// source folder always finds its folder again. And the confinement check
// that stands behind every created path.
#include <functional>

#include <gtest/gtest.h>

#include "FormatsTestHelpers.h"
#include "export/FakeEngine.h"
#include "formats/OutputPaths.h"

namespace formats_test {
namespace {

struct StoreCase {
    const char* name;
    std::function<boost::shared_ptr<IAssetStore>(const std::string&)> open;
};

struct NamesCase {
    const char* name;
    std::vector<std::wstring> sourceNames;  // siblings, mapped in this order
    std::vector<std::wstring> outputNames;  // the names they get
    NameStyle style = NameStyle::Ascii;
};

class DistinctFolders : public ::testing::TestWithParam<std::tuple<StoreCase, NamesCase>> {};

TEST_P(DistinctFolders, EverySourceFolderGetsItsOwnNumberedFolder)
{
    const StoreCase& storeCase = std::get<0>(GetParam());
    const NamesCase& names = std::get<1>(GetParam());
    kestrin_test::TempDir dir;
    auto store = boost::dynamic_pointer_cast<IAssetStoreMutable>(
        storeCase.open((dir.path() / "Mails").string()));
    ASSERT_TRUE(store);
    boost::dynamic_pointer_cast<AssetStoreBase>(store)->SetNameStyle(names.style);
    auto source = kestrin_fakes::MakeOpenStore("/source", L"Source");

    std::vector<boost::shared_ptr<IAssetFolder>> sources;
    std::vector<boost::shared_ptr<IAssetFolderMutable>> outputs;
    for (const auto& name : names.sourceNames) {
        sources.push_back(source->AddFolder(name));
        outputs.push_back(store->MapAssetFolderRelative(sources.back(), true));
        ASSERT_TRUE(outputs.back()) << WideToUTF8(name);
    }
    std::vector<std::wstring> got;
    for (const auto& output : outputs) got.push_back(output->GetName());
    EXPECT_EQ(got, names.outputNames);
    // Mapping again (every further item does) finds the same folders.
    for (size_t i = 0; i < sources.size(); ++i)
        EXPECT_EQ(store->MapAssetFolderRelative(sources[i], true).get(), outputs[i].get());
    EXPECT_EQ(store->GetRootFolder()->GetSubFolderCount(), names.outputNames.size());
}

INSTANTIATE_TEST_SUITE_P(
    Pairs, DistinctFolders,
    ::testing::Combine(
        ::testing::Values(
            StoreCase{"Eml", [](const std::string& location) -> boost::shared_ptr<IAssetStore> {
                          return OpenEmlStore(location);
                      }},
            StoreCase{"Mbox", [](const std::string& location) -> boost::shared_ptr<IAssetStore> {
                          return OpenMboxStore(location, StoreKind::Mbox, true);
                      }},
            StoreCase{"MboxArchiveLayout",
                      [](const std::string& location) -> boost::shared_ptr<IAssetStore> {
                          return OpenMboxStore(location, StoreKind::MboxArchive, true);
                      }}),
        ::testing::Values(
            NamesCase{"ColonAndUnderscore", {L"Re: Plan", L"Re_ Plan"}, {L"Re_ Plan", L"Re_ Plan (1)"}},
            NamesCase{"UnderscoreFirst", {L"Re_ Plan", L"Re: Plan"}, {L"Re_ Plan", L"Re_ Plan (1)"}},
            NamesCase{"CaseOnly", {L"Work", L"work"}, {L"Work", L"work (1)"}},
            NamesCase{"CafeThreeWays",
                      {L"Caf\u00E9", L"Cafe\u0301", L"Cafe"},
                      {L"Cafe", L"Cafe (1)", L"Cafe (2)"}},
            NamesCase{"NumberedNameTakenByCase",
                      {L"Work", L"work (1)", L"work"},
                      {L"Work", L"work (1)", L"work (2)"}},
            NamesCase{"DotNames", {L" ..", L"\t..", L" ."}, {L"_", L"_ (1)", L"_ (2)"}},
            // FAT, exFAT and Windows drop a name's trailing dots and blanks.
            NamesCase{"TrailingDot", {L"Notes.", L"Notes"}, {L"Notes", L"Notes (1)"}},
            NamesCase{"TrailingDotSecond", {L"Notes", L"Notes."}, {L"Notes", L"Notes (1)"}},
            NamesCase{"TrailingDotsBlanksAndCase", {L"Notes . .", L"notes"}, {L"Notes", L"notes (1)"}},
            NamesCase{"UnicodeCaseOnly",
                      {L"\u0410\u0440\u0445\u0438\u0432", L"\u0430\u0440\u0445\u0438\u0432"},
                      {L"\u0410\u0440\u0445\u0438\u0432", L"\u0430\u0440\u0445\u0438\u0432 (1)"},
                      NameStyle::Unicode},
            NamesCase{"UnicodeTrailingDot", {L"\u30E1\u30E2.", L"\u30E1\u30E2"},
                      {L"\u30E1\u30E2", L"\u30E1\u30E2 (1)"}, NameStyle::Unicode},
            NamesCase{"UnicodeComposedAndDecomposed", {L"Caf\u00E9", L"Cafe\u0301"},
                      {L"Caf\u00E9", L"Caf\u00E9 (1)"}, NameStyle::Unicode},
            NamesCase{"UnicodeAccentsStayApart", {L"Caf\u00E9", L"Cafe"}, {L"Caf\u00E9", L"Cafe"},
                      NameStyle::Unicode})),
    [](const ::testing::TestParamInfo<std::tuple<StoreCase, NamesCase>>& info) {
        return std::string(std::get<0>(info.param).name) + "_" + std::get<1>(info.param).name;
    });

// A folder found on disk (a tree opened again) still takes the source folder
// of exactly its name; another name that only meets it on a
// case-insensitive disk does not.
TEST(DistinctFoldersOnDisk, ExistingFolderIsTakenOnlyByItsOwnName)
{
    kestrin_test::TempDir dir;
    fs::create_directories(dir.path() / "Mails" / "Work");
    auto store = OpenEmlStore((dir.path() / "Mails").string());
    auto source = kestrin_fakes::MakeOpenStore("/source", L"Source");
    auto lower = store->MapAssetFolderRelative(source->AddFolder(L"work"), true);
    auto same = store->MapAssetFolderRelative(source->AddFolder(L"Work"), true);
    ASSERT_TRUE(lower && same);
    EXPECT_EQ(same->GetName(), L"Work");
    EXPECT_EQ(lower->GetName(), L"work (1)");
}

// A name taken on disk by something the tree does not know (a file where
// the mailbox would go) is stepped over, never written into.
TEST(DistinctFoldersOnDisk, FileAlreadyThereIsNeitherOpenedNorChanged)
{
    kestrin_test::TempDir dir;
    const fs::path location = dir.path() / "Mails";
    auto store = OpenMboxStore(location.string(), StoreKind::Mbox, true);
    kestrin_test::WriteFile(location / "Inbox.mbox", "not ours\n");
    auto root = boost::dynamic_pointer_cast<IAssetFolderMutable>(store->GetRootFolder());
    auto inbox = root->CreateSubFolder(L"Inbox", 4, "");
    ASSERT_TRUE(inbox);
    EXPECT_EQ(inbox->GetName(), L"Inbox (1)");
    EXPECT_EQ(inbox->AddAsset(EmlAsset(MessageText("mine", {"x"})), {}, {}, {}, "").code,
              AddAssetCode::Written);
    inbox->EndAddAssets({}, {}, {});
    EXPECT_EQ(kestrin_test::ReadFile(location / "Inbox.mbox"), "not ours\n");
    EXPECT_GT(fs::file_size(location / "Inbox (1).mbox"), 0u);
}

struct InsideCase {
    const char* name;
    const char* root;
    const char* path;
    bool inside;
};

class Confinement : public ::testing::TestWithParam<InsideCase> {};

TEST_P(Confinement, OnlyNamesBelowTheRootPass)
{
    EXPECT_EQ(LiesInside(GetParam().root, GetParam().path), GetParam().inside);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, Confinement,
    ::testing::Values(InsideCase{"Child", "/o/Mails", "/o/Mails/Inbox", true},
                      InsideCase{"Grandchild", "/o/Mails/", "/o/Mails/a/b.eml", true},
                      InsideCase{"TheRootItself", "/o/Mails", "/o/Mails", false},
                      InsideCase{"TheRootWithSlash", "/o/Mails", "/o/Mails/", false},
                      InsideCase{"Parent", "/o/Mails", "/o/Mails/..", false},
                      InsideCase{"ClimbsOut", "/o/Mails", "/o/Mails/a/../../x", false},
                      InsideCase{"DotComponent", "/o/Mails", "/o/Mails/./x", false},
                      InsideCase{"EmptyComponent", "/o/Mails", "/o/Mails//x", false},
                      InsideCase{"Sibling", "/o/Mails", "/o/Mails2/x", false},
                      InsideCase{"ControlCharacter", "/o/Mails", "/o/Mails/a\nb", false},
                      InsideCase{"DotsInsideAName", "/o/Mails", "/o/Mails/_../x..y", true},
                      InsideCase{"EmptyRoot", "", "/x", false}),
    [](const ::testing::TestParamInfo<InsideCase>& info) { return info.param.name; });

// The check refuses with an ERROR line in the report, before anything is
// created.
TEST(ConfinementCheck, RefusalIsReportedAndCreatesNothing)
{
    kestrin_test::TempDir dir;
    auto store = OpenEmlStore((dir.path() / "Mails").string());
    auto logger = boost::make_shared<RecordingLogger>();
    kestrin_test::CapturedDiagnostics diagnostics;
    const std::string outside = (dir.path() / "Mails" / ".." / "escaped").string();
    EXPECT_FALSE(ConfirmOutputPath(store, outside, logger));
    ASSERT_EQ(logger->lines.size(), 1u);
    EXPECT_EQ(logger->lines[0].rfind(L"ERROR: ", 0), 0u);
    EXPECT_NE(diagnostics.text().find("ERROR: Refused to write outside the output folder"),
              std::string::npos);
    EXPECT_TRUE(ConfirmOutputPath(store, (dir.path() / "Mails" / "Inbox").string(), logger));
    EXPECT_FALSE(fs::exists(dir.path() / "escaped"));
}

}  // namespace
}  // namespace formats_test
