// A folder name that leaves nothing after sanitising (emoji only) must still
// get a folder of its own, not its parent's directory or a hidden ".mbox".
#include <functional>

#include <gtest/gtest.h>

#include "FormatsTestHelpers.h"
#include "export/FakeEngine.h"

namespace formats_test {
namespace {

struct UntitledCase {
    const char* name;
    std::function<boost::shared_ptr<IAssetStore>(const std::string&)> open;
    const char* firstOnDisk;   // below the location
    const char* secondOnDisk;
};

class UntitledFolder : public ::testing::TestWithParam<UntitledCase> {};

TEST_P(UntitledFolder, GetsAUniqueNameAndIsFoundAgainForTheSameSource)
{
    kestrin_test::TempDir dir;
    const fs::path location = dir.path() / "Mails";
    auto store = GetParam().open(location.string());
    auto root = boost::dynamic_pointer_cast<IAssetFolderMutable>(store->GetRootFolder());
    ASSERT_TRUE(root);

    auto smiles = root->CreateSubFolder(L"\U0001F600\U0001F600", 4, "");
    ASSERT_TRUE(smiles);
    EXPECT_EQ(smiles->GetName(), L"Untitled Folder");
    EXPECT_EQ(root->CreateSubFolder(L"\U0001F600\U0001F600", 4, "").get(), smiles.get());
    auto party = root->CreateSubFolder(L"\U0001F389", 4, "");
    ASSERT_TRUE(party);
    EXPECT_EQ(party->GetName(), L"Untitled Folder (1)");
    EXPECT_EQ(root->GetSubFolderCount(), 2u);

    EXPECT_EQ(smiles->AddAsset(EmlAsset(MessageText("In smiles", {"a"})), {}, {}, {}, "").code,
              AddAssetCode::Written);
    smiles->EndAddAssets({}, {}, {});
    EXPECT_TRUE(fs::exists(location / GetParam().firstOnDisk));
    EXPECT_TRUE(fs::exists(location / GetParam().secondOnDisk));
    // Nothing landed in the parent's own place or in a nameless file.
    EXPECT_FALSE(fs::exists(location / ".mbox"));
    EXPECT_FALSE(fs::exists(location / "In smiles_1.eml"));

    // The export maps a source folder of that name onto the same folder.
    auto source = kestrin_fakes::MakeOpenStore("/source", L"Source");
    auto sourceFolder = source->AddFolder(L"\U0001F600\U0001F600");
    auto mutableStore = boost::dynamic_pointer_cast<IAssetStoreMutable>(store);
    EXPECT_EQ(mutableStore->MapAssetFolderRelative(sourceFolder, true).get(), smiles.get());
}

INSTANTIATE_TEST_SUITE_P(
    Stores, UntitledFolder,
    ::testing::Values(
        UntitledCase{"Eml",
                     [](const std::string& location) -> boost::shared_ptr<IAssetStore> {
                         return OpenEmlStore(location);
                     },
                     "Untitled Folder/In smiles_0.eml", "Untitled Folder (1)"},
        UntitledCase{"MboxPlainFiles",
                     [](const std::string& location) -> boost::shared_ptr<IAssetStore> {
                         return OpenMboxStore(location, StoreKind::Mbox, true);
                     },
                     "Untitled Folder.mbox", "Untitled Folder (1).mbox"},
        UntitledCase{"MboxMailboxArchive",
                     [](const std::string& location) -> boost::shared_ptr<IAssetStore> {
                         return OpenMboxStore(location, StoreKind::MboxArchive, true);
                     },
                     "Untitled Folder.mbox/mbox", "Untitled Folder (1).mbox/mbox"}),
    [](const ::testing::TestParamInfo<UntitledCase>& info) { return info.param.name; });

}  // namespace
}  // namespace formats_test
