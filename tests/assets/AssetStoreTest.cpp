// The store base: open/close, and mapping source folders
// onto output folders.
#include <gtest/gtest.h>

#include "export/FakeEngine.h"
#include "support/TestSupport.h"

using namespace KestrinMIMEEngineCommon;
using namespace kestrin_fakes;

namespace {

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

TEST(AssetStoreBaseTest, OpensWithItsLocationAndName)
{
    auto store = boost::make_shared<FakeStore>("/loc", L"Name");
    EXPECT_FALSE(store->IsOpen());
    EXPECT_EQ(store->Open({}, {}, {}, false), Status::Succeeded);
    EXPECT_TRUE(store->IsOpen());
    EXPECT_EQ(store->GetLocation(), "/loc");
    EXPECT_EQ(store->GetStoreName(), L"Name");
}

TEST(AssetStoreBaseTest, CloseDropsTheRootAndTheStoreReopens)
{
    auto store = MakeOpenStore("/loc");
    boost::weak_ptr<FakeFolder> root = store->Root();
    ASSERT_TRUE(root.lock());
    EXPECT_EQ(store->Close(), Status::Succeeded);
    EXPECT_FALSE(store->IsOpen());
    EXPECT_FALSE(store->GetRootFolder());
    EXPECT_FALSE(root.lock());
    EXPECT_EQ(store->Close(), Status::Succeeded);

    EXPECT_EQ(store->Open({}, {}, {}, false), Status::Succeeded);
    EXPECT_TRUE(store->GetRootFolder());
}

TEST(AssetStoreBaseTest, IsCanceledAsksTheCancelableGivenToOpenWhileItLives)
{
    auto store = boost::make_shared<FakeStore>("/loc", L"n");
    EXPECT_FALSE(store->IsCanceled());
    auto cancelable = boost::make_shared<FakeCancelable>(0);
    store->AssetStoreBase::Open({}, cancelable, {}, false);
    EXPECT_TRUE(store->IsCanceled());
    cancelable.reset();
    EXPECT_FALSE(store->IsCanceled());
}

TEST(AssetStoreBaseTest, BaseDefaultFolderIsTheRootForMailOnly)
{
    auto store = MakeOpenStore("/loc");
    EXPECT_EQ(store->GetDefaultFolderMutable(kAssetTypeEmail, true), store->Root());
    EXPECT_FALSE(store->GetDefaultFolderMutable(kAssetTypeContact, true));
}

TEST(AssetStoreBaseTest, FolderKindsMapToDefaultFolderAssetTypes)
{
    const std::vector<std::pair<int, int>> cases = {{1, 4}, {2, 3}, {3, 7}, {4, 2}, {5, 6},
                                                    {6, 5}, {7, 1}, {9, 1}, {0, 1}, {42, 1}};
    for (const auto& c : cases) EXPECT_EQ(AssetTypeForFolderKind(c.first), c.second) << c.first;
}

// A source store with /Inbox/Work/ and an output store whose folders
// create their children on demand.
class MapFolderTest : public ::testing::Test {
protected:
    boost::shared_ptr<FakeStore> source = MakeOpenStore("/src", L"Source");
    boost::shared_ptr<FakeFolder> inbox = source->AddFolder(L"Inbox");
    boost::shared_ptr<FakeFolder> work = source->AddFolder(L"Work", inbox);
    boost::shared_ptr<FakeStore> output = MakeOpenStore("/out", L"Output", true);
    kestrin_test::CapturedDiagnostics diagnostics;
};

TEST_F(MapFolderTest, CreatesTheChainOnceAndFindsItAgain)
{
    auto mapped = output->MapAssetFolderRelative(work, true);
    ASSERT_TRUE(mapped);
    EXPECT_EQ(mapped->GetPath(), L"/Inbox/Work/");
    EXPECT_EQ(mapped->GetStore(), output);
    EXPECT_EQ(output->Root()->createdChildren, 1);

    EXPECT_EQ(output->MapAssetFolderRelative(work, true), mapped);
    EXPECT_EQ(output->MapAssetFolderRelative(inbox, false), mapped->GetParent());
    EXPECT_EQ(output->Root()->createdChildren, 1);
    EXPECT_EQ(output->Root()->GetSubFolderCount(), 1u);
    EXPECT_EQ(diagnostics.text(), "");
}

TEST_F(MapFolderTest, WithoutCreateAMissingFolderMapsToNothing)
{
    EXPECT_FALSE(output->MapAssetFolderRelative(work, false));
    EXPECT_EQ(output->Root()->GetSubFolderCount(), 0u);
}

TEST_F(MapFolderTest, SourceRootMapsToTheStartFolder)
{
    EXPECT_EQ(output->MapAssetFolderRelative(source->Root(), true), output->Root());

    auto startFolder = output->AddFolder(L"Start");
    startFolder->createsChildren = true;
    boost::shared_ptr<IAssetFolderMutable> start = startFolder;
    EXPECT_EQ(output->MapAssetFolderRelative(source->Root(), start, true), start);
    auto mapped = output->MapAssetFolderRelative(inbox, start, true);
    ASSERT_TRUE(mapped);
    EXPECT_EQ(mapped->GetPath(), L"/Start/Inbox/");
    EXPECT_EQ(output->Root()->createdChildren, 0);
}

TEST_F(MapFolderTest, StoreWithoutRootMapsToNothing)
{
    auto closed = boost::make_shared<FakeStore>("/closed", L"Closed");
    EXPECT_FALSE(closed->MapAssetFolderRelative(work, true));
    EXPECT_FALSE(output->MapAssetFolderRelative(nullptr, true));
}

TEST_F(MapFolderTest, FailedCreationFallsBackToTheDefaultFolder)
{
    auto plain = MakeOpenStore("/plain", L"Plain");  // its root creates nothing
    auto mail = plain->AddFolder(L"Mail");
    mail->createsChildren = true;
    plain->hasDefaultFolder = true;
    plain->defaultFolder = mail;

    auto mapped = plain->MapAssetFolderRelative(inbox, true);
    ASSERT_TRUE(mapped);
    EXPECT_EQ(mapped->GetPath(), L"/Mail/Inbox/");
    EXPECT_TRUE(Contains(diagnostics.text(),
                         " ERROR: CreateAssetFolder failed - creating the folder in defaultfolder "
                         "instead\n"));
}

TEST_F(MapFolderTest, NoDefaultFolderEndsWithNothing)
{
    auto plain = MakeOpenStore("/plain", L"Plain");
    plain->hasDefaultFolder = true;  // but empty

    EXPECT_FALSE(plain->MapAssetFolderRelative(work, true));
    const std::string text = diagnostics.text();
    EXPECT_TRUE(Contains(text, " ERROR: CreateAssetFolder failed - creating the folder in "
                               "defaultfolder instead\n"));
    EXPECT_TRUE(Contains(text, " ERROR: CreateAssetFolder failed - unable to get default folder\n"));
}

TEST_F(MapFolderTest, DetachedSourceFolderIsNamedAfterItsStore)
{
    auto orphan = boost::make_shared<FakeFolder>(L"Orphan", source, nullptr);
    auto child = boost::make_shared<FakeFolder>(L"Child", source, orphan);
    ASSERT_TRUE(orphan->AddChild(child));

    auto mapped = output->MapAssetFolderRelative(child, true);
    ASSERT_TRUE(mapped);
    EXPECT_EQ(mapped->GetPath(), L"/Source/Child/");
    EXPECT_TRUE(Contains(diagnostics.text(),
                         " ERROR: Failed to traverse to root in MapAssetFolderRelative\n"));
}

}  // namespace
