// The folder base: paths, ids, child order and lookups, linking children.
#include <gtest/gtest.h>

#include "export/FakeEngine.h"

using namespace KestrinMIMEEngineCommon;
using namespace kestrin_fakes;

namespace {

std::vector<std::wstring> Names(const std::vector<boost::shared_ptr<IAssetFolder>>& folders)
{
    std::vector<std::wstring> names;
    for (const auto& folder : folders) names.push_back(folder->GetName());
    return names;
}

struct IdCase {
    const char* name;
    std::vector<std::wstring> chain;  // folder names from below the root down
    std::wstring path;
    std::string id;
};

class FolderIdTest : public ::testing::TestWithParam<IdCase> {};

TEST_P(FolderIdTest, PathAndEscapedId)
{
    auto store = MakeOpenStore("/s");
    boost::shared_ptr<FakeFolder> folder = store->Root();
    for (const auto& name : GetParam().chain) folder = store->AddFolder(name, folder);
    EXPECT_EQ(folder->GetPath(), GetParam().path);
    EXPECT_EQ(folder->GetPathUTF8(), GetParam().id);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, FolderIdTest,
    ::testing::Values(IdCase{"Root", {}, L"/", "%2F"},
                      IdCase{"Child", {L"Inbox"}, L"/Inbox/", "%2FInbox%2F"},
                      IdCase{"Space", {L"Sent Items"}, L"/Sent Items/", "%2FSent%20Items%2F"},
                      IdCase{"Nested", {L"Inbox", L"Work"}, L"/Inbox/Work/", "%2FInbox%2FWork%2F"},
                      IdCase{"UnreservedKept", {L"a-b.c_d~e"}, L"/a-b.c_d~e/", "%2Fa-b.c_d~e%2F"},
                      IdCase{"NonAsciiAsUtf8Bytes", {L"Caf\u00e9"}, L"/Caf\u00e9/",
                             "%2FCaf%C3%A9%2F"},
                      IdCase{"CjkAndEmoji", {L"\u65e5\u672c", L"\U0001F600"}, L"/\u65e5\u672c/\U0001F600/",
                             "%2F%E6%97%A5%E6%9C%AC%2F%F0%9F%98%80%2F"},
                      IdCase{"PercentSignAndEscapedLookingName", {L"100% done", L"%2F"},
                             L"/100% done/%2F/", "%2F100%25%20done%2F%252F%2F"},
                      IdCase{"SlashInsideAName", {L"Q1/Q2"}, L"/Q1/Q2/", "%2FQ1%2FQ2%2F"},
                      IdCase{"ReservedCharacters", {L"!*'();:@&=+$,?#[]"}, L"/!*'();:@&=+$,?#[]/",
                             "%2F%21%2A%27%28%29%3B%3A%40%26%3D%2B%24%2C%3F%23%5B%5D%2F"},
                      IdCase{"OtherAsciiPunctuationAndTab", {L"\"<>\\^`{|}\t"}, L"/\"<>\\^`{|}\t/",
                             "%2F%22%3C%3E%5C%5E%60%7B%7C%7D%09%2F"},
                      IdCase{"NulByte", {std::wstring(L"a\0b", 3)}, std::wstring(L"/a\0b/", 5),
                             "%2Fa%00b%2F"}),
    [](const ::testing::TestParamInfo<IdCase>& info) { return std::string(info.param.name); });

struct LocationCase {
    const char* name;
    std::string location;
    std::wstring expected;
};

class NameFromLocationTest : public ::testing::TestWithParam<LocationCase> {};

TEST_P(NameFromLocationTest, EmptyNameIsTakenFromTheLocation)
{
    auto folder = boost::make_shared<AssetFolderBase>(L"", GetParam().location,
                                                      boost::shared_ptr<IAssetStore>(),
                                                      boost::shared_ptr<IAssetFolder>(), false);
    EXPECT_EQ(folder->GetName(), GetParam().expected);
    EXPECT_EQ(folder->GetFolderId(), GetParam().location);
}

INSTANTIATE_TEST_SUITE_P(
    Locations, NameFromLocationTest,
    ::testing::Values(LocationCase{"File", "/Users/x/Mail/Work.mbox", L"Work.mbox"},
                      LocationCase{"TrailingSlash", "/Users/x/Mail/Work.mbox/", L"Work.mbox"},
                      LocationCase{"Relative", "Work.mbox", L"Work.mbox"},
                      LocationCase{"Utf8", "/x/Bo\xC3\xAEte", L"Bo\u00eete"}),
    [](const ::testing::TestParamInfo<LocationCase>& info) { return std::string(info.param.name); });

TEST(AssetFolderBaseTest, KindIsRootWithoutParentAndGenericWithOne)
{
    auto root = boost::make_shared<AssetFolderBase>(L"r", "", boost::shared_ptr<IAssetStore>(),
                                                    boost::shared_ptr<IAssetFolder>(), false);
    auto child = boost::make_shared<AssetFolderBase>(L"c", "", boost::shared_ptr<IAssetStore>(),
                                                     root, true);
    EXPECT_EQ(root->GetFolderKind(), kFolderKindRoot);
    EXPECT_EQ(child->GetFolderKind(), kFolderKindGeneric);
    EXPECT_EQ(child->GetPath(), L"/c/");
    EXPECT_TRUE(child->IsDefaultFolder());
    EXPECT_EQ(root->GetAssetCount(), -1);
}

TEST(AssetFolderBaseTest, ChildrenAreOrderedByIdBytes)
{
    auto store = MakeOpenStore("/s");
    for (const wchar_t* name : {L"b", L"Inbox2", L"a", L"B", L"Inbox", L"A b"}) store->AddFolder(name);
    // Upper case before lower case; a name before its extensions.
    EXPECT_EQ(Names(store->Root()->GetSubFolders()),
              (std::vector<std::wstring>{L"A b", L"B", L"Inbox", L"Inbox2", L"a", L"b"}));
    EXPECT_EQ(store->Root()->GetSubFolderCount(), 6u);
    EXPECT_EQ(store->Root()->GetSubFoldersMutable().size(), 6u);
}

TEST(AssetFolderBaseTest, LinkingAParentUpdatesTheWholeSubtree)
{
    auto store = MakeOpenStore("/s");
    auto inbox = boost::make_shared<FakeFolder>(L"Inbox", store, nullptr);
    auto work = boost::make_shared<FakeFolder>(L"Work", store, nullptr);
    ASSERT_TRUE(inbox->AddChild(work));
    EXPECT_EQ(work->GetPath(), L"/Work/");

    ASSERT_TRUE(store->Root()->AddChild(inbox));
    EXPECT_EQ(inbox->GetPath(), L"/Inbox/");
    EXPECT_EQ(work->GetPath(), L"/Inbox/Work/");
    EXPECT_EQ(work->GetParent(), inbox);
    EXPECT_EQ(work->GetPathUTF8(), "%2FInbox%2FWork%2F");
    EXPECT_EQ(inbox->FindSubFolder(L"Work"), work);
}

TEST(AssetFolderBaseTest, FindSubFolderIsExactAndCaseSensitive)
{
    auto store = MakeOpenStore("/s");
    auto inbox = store->AddFolder(L"Inbox");
    EXPECT_EQ(store->Root()->FindSubFolder(L"Inbox"), inbox);
    EXPECT_FALSE(store->Root()->FindSubFolder(L"inbox"));
    EXPECT_FALSE(store->Root()->FindSubFolder(L"Inbo"));
}

// Children are found through an index; it must follow children whose ids
// moved with a path after it was built, and tell apart names that only fold
// alike.
TEST(AssetFolderBaseTest, LookupsFollowIdsThatMovedAfterTheFirstLookup)
{
    auto store = MakeOpenStore("/s");
    auto inbox = boost::make_shared<FakeFolder>(L"Inbox", store, nullptr);
    auto work = boost::make_shared<FakeFolder>(L"Work", store, nullptr);
    ASSERT_TRUE(inbox->AddChild(work));
    EXPECT_EQ(inbox->FindSubFolder(L"Work"), work);

    ASSERT_TRUE(store->Root()->AddChild(inbox));
    EXPECT_EQ(work->GetPathUTF8(), "%2FInbox%2FWork%2F");
    EXPECT_EQ(inbox->FindSubFolder(L"Work"), work);
}

TEST(AssetFolderBaseTest, NamesThatFoldAlikeStayApartForExactLookups)
{
    auto store = MakeOpenStore("/s");
    auto upper = store->AddFolder(L"Inbox");
    EXPECT_FALSE(store->Root()->FindSubFolder(L"INBOX"));
    auto lower = store->AddFolder(L"inbox");
    auto decomposed = store->AddFolder(L"Cafe\u0301");
    EXPECT_EQ(store->Root()->FindSubFolder(L"Inbox"), upper);
    EXPECT_EQ(store->Root()->FindSubFolder(L"inbox"), lower);
    EXPECT_FALSE(store->Root()->FindSubFolder(L"INBOX"));
    EXPECT_EQ(store->Root()->FindSubFolder(L"Cafe\u0301"), decomposed);
    EXPECT_FALSE(store->Root()->FindSubFolder(L"Caf\u00E9"));
    EXPECT_TRUE(store->Root()->HasSubFolderNamedAlike(L"INBOX"));
    EXPECT_TRUE(store->Root()->HasSubFolderNamedAlike(L"caf\u00C9"));
    EXPECT_FALSE(store->Root()->HasSubFolderNamedAlike(L"Inbox (1)"));
    EXPECT_EQ(store->Root()->MakeUniqueSubFolderName(L"INBOX", kFolderKindMail), L"INBOX");
    EXPECT_EQ(store->Root()->MakeUniqueSubFolderName(L"inbox", kFolderKindMail), L"inbox (1)");
}

TEST(AssetFolderBaseTest, ChildOfAnotherStoreIsRefusedAndBothTreesStay)
{
    auto mine = MakeOpenStore("/mine");
    auto other = MakeOpenStore("/other");
    auto stranger = other->AddFolder(L"Stranger");

    EXPECT_FALSE(mine->Root()->AddChild(stranger));
    EXPECT_EQ(mine->Root()->GetSubFolderCount(), 0u);
    EXPECT_EQ(stranger->GetParent(), other->Root());
    EXPECT_EQ(stranger->GetPath(), L"/Stranger/");
    EXPECT_EQ(other->Root()->FindSubFolder(L"Stranger"), stranger);
}

TEST(AssetFolderBaseTest, SecondChildWithTheSameIdIsRefusedAndStaysDetached)
{
    auto store = MakeOpenStore("/s");
    auto first = store->AddFolder(L"Inbox");
    auto second = boost::make_shared<FakeFolder>(L"Inbox", store, nullptr);

    EXPECT_FALSE(store->Root()->AddChild(second));
    EXPECT_FALSE(second->GetParent());
    EXPECT_EQ(second->GetPath(), L"/");
    EXPECT_EQ(store->Root()->FindSubFolder(L"Inbox"), first);
    EXPECT_TRUE(store->Root()->AddChild(first));  // linking the same child again is harmless
    EXPECT_EQ(store->Root()->GetSubFolderCount(), 1u);
}

struct UniqueNameCase {
    const char* name;
    std::vector<std::wstring> children;
    std::wstring expected;
};

class UniqueNameTest : public ::testing::TestWithParam<UniqueNameCase> {};

TEST_P(UniqueNameTest, FirstFreeNumberedName)
{
    auto store = MakeOpenStore("/s");
    for (const auto& child : GetParam().children) store->AddFolder(child);
    EXPECT_EQ(store->Root()->MakeUniqueSubFolderName(L"Notes", kFolderKindNotes), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Names, UniqueNameTest,
    ::testing::Values(UniqueNameCase{"Free", {L"Inbox"}, L"Notes"},
                      UniqueNameCase{"Taken", {L"Notes"}, L"Notes (1)"},
                      UniqueNameCase{"TakenTwice", {L"Notes", L"Notes (1)"}, L"Notes (2)"},
                      UniqueNameCase{"OnlyNumberedTaken", {L"Notes (1)"}, L"Notes"},
                      UniqueNameCase{"OtherCase", {L"notes"}, L"Notes"}),
    [](const ::testing::TestParamInfo<UniqueNameCase>& info) { return std::string(info.param.name); });

TEST(AssetFolderBaseTest, BaseOutputOperationsTakeNothing)
{
    auto store = MakeOpenStore("/s");
    auto base = boost::make_shared<AssetFolderBase>(L"Plain", "", store, store->Root(), false);
    ASSERT_TRUE(store->Root()->AddChild(base));

    AddAssetResult result = base->AddAsset(boost::make_shared<FakeAsset>(L"x"), {}, {}, {}, "id");
    EXPECT_EQ(result.code, AddAssetCode::Failed);
    EXPECT_TRUE(result.text.empty());
    EXPECT_FALSE(base->GetAssetIterator(0, {}, {}, {}));
    EXPECT_TRUE(base->BeginAddAssets(nullptr, {}, {}));
    EXPECT_EQ(base->RefreshAssetCount(), Status::Succeeded);
    EXPECT_EQ(base->GetStoreMutable(), store);

    // A folder of a store that is only read makes none, nor hands out one
    // it already has.
    auto work = boost::make_shared<AssetFolderBase>(L"Work", "", store, base, false);
    ASSERT_TRUE(base->AddChild(work));
    EXPECT_FALSE(base->CreateSubFolder(L"Work", kFolderKindMail, "%2FPlain%2FWork%2F"));
    EXPECT_FALSE(base->CreateSubFolder(L"New", kFolderKindMail, "%2FNew%2F"));
    EXPECT_EQ(base->GetSubFolderCount(), 1u);
}

TEST(AssetFolderBaseTest, FoldersShareOneSenderTypeIdAndStoresAnother)
{
    auto store = MakeOpenStore("/s");
    auto inbox = store->AddFolder(L"Inbox");
    auto plain = boost::make_shared<AssetFolderBase>(L"p", "", store, nullptr, false);
    EXPECT_EQ(inbox->GetSenderTypeId(), plain->GetSenderTypeId());
    EXPECT_EQ(store->GetSenderTypeId(), MakeOpenStore("/t")->GetSenderTypeId());
    EXPECT_NE(store->GetSenderTypeId(), inbox->GetSenderTypeId());
}

}  // namespace
