// The store base: state database, open/close, and mapping source folders
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

std::string SchemaSql(sqlite3* db, const std::string& table)
{
    sqlite3_stmt* raw = nullptr;
    sqlite3_prepare_v2(db, "SELECT sql FROM sqlite_master WHERE name = ?", -1, &raw, nullptr);
    SqliteStatement statement(raw);
    sqlite3_bind_text(raw, 1, table.c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_step(raw) != SQLITE_ROW) return std::string();
    return reinterpret_cast<const char*>(sqlite3_column_text(raw, 0));
}

TEST(AssetStoreBaseTest, EmptyStatePathIsStampedInMemoryAndOpens)
{
    auto store = boost::make_shared<FakeStore>("/loc", L"Name");
    ASSERT_TRUE(store->GetStateDatabase());
    EXPECT_STREQ(sqlite3_db_filename(store->GetStateDatabase(), "main"), "");  // in memory
    EXPECT_EQ(AssetStoreBase::ReadDBSchemaVersion(store->GetStateDatabase()), 201020);
    EXPECT_FALSE(store->IsStateSchemaOutdated());
    EXPECT_FALSE(store->IsOpen());

    EXPECT_EQ(store->Open({}, {}, {}, false), kStatusOK);
    EXPECT_TRUE(store->IsOpen());
    EXPECT_EQ(SchemaSql(store->GetStateDatabase(), "AssetStoreBase.FolderStateV1"),
              "CREATE TABLE `AssetStoreBase.FolderStateV1` (\t\t\t\t\t\t\t`NAME`\tTEXT,\t\t\t\t\t\t\t"
              "`FOLDERID`\tTEXT PRIMARY KEY UNIQUE,\t\t\t\t\t\t\t`PARENTFOLDERID`\tTEXT,\t\t\t\t\t\t\t"
              "`DEFAULTTYPE`\tINTEGER)");
    EXPECT_EQ(SchemaSql(store->GetStateDatabase(), "DBSchemaInfo"),
              "CREATE TABLE 'DBSchemaInfo' ('KEY' TEXT PRIMARY KEY, 'VALUE' TEXT)");
    EXPECT_EQ(store->GetLocation(), "/loc");
    EXPECT_EQ(store->GetStoreName(), L"Name");
}

TEST(AssetStoreBaseTest, StateDatabaseFileIsStampedOnlyWhenNew)
{
    kestrin_test::TempDir dir;
    const std::string fresh = (dir / "fresh.db").string();
    EXPECT_EQ(boost::make_shared<FakeStore>("/loc", L"n", fresh)->Open({}, {}, {}, false), kStatusOK);

    // An existing database without the stamp is outdated: the base part of
    // Open refuses it.
    const std::string old = (dir / "old.db").string();
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open(old.c_str(), &raw), SQLITE_OK);
    SqliteHandle keep(raw);
    sqlite3_exec(raw, "CREATE TABLE t (x);", nullptr, nullptr, nullptr);
    keep.reset();
    auto store = boost::make_shared<FakeStore>("/loc", L"n", old);
    EXPECT_EQ(AssetStoreBase::ReadDBSchemaVersion(store->GetStateDatabase()), 0);
    EXPECT_EQ(store->Open({}, {}, {}, false), kStatusFailed);
    EXPECT_FALSE(store->IsOpen());
}

TEST(AssetStoreBaseTest, UnopenableStateDatabaseLeavesNoneAndOpenFails)
{
    kestrin_test::TempDir dir;
    auto store = boost::make_shared<FakeStore>("/loc", L"n", (dir / "missing" / "state.db").string());
    EXPECT_FALSE(store->GetStateDatabase());
    EXPECT_EQ(store->Open({}, {}, {}, false), kStatusFailed);
}

struct VersionCase {
    const char* name;
    const char* setup;  // SQL run on a fresh in-memory database
    int expected;
    bool diagnostic;
};

class ReadVersionTest : public ::testing::TestWithParam<VersionCase> {};

TEST_P(ReadVersionTest, ValueOrZero)
{
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open(":memory:", &raw), SQLITE_OK);
    SqliteHandle db(raw);
    ASSERT_EQ(sqlite3_exec(raw, GetParam().setup, nullptr, nullptr, nullptr), SQLITE_OK);
    kestrin_test::CapturedDiagnostics diagnostics;
    EXPECT_EQ(AssetStoreBase::ReadDBSchemaVersion(raw), GetParam().expected);
    EXPECT_EQ(Contains(diagnostics.text(), " ERROR: BadCast: on minorVersion in ReadDBSchemaVersion\n"),
              GetParam().diagnostic);
}

#define SCHEMA "CREATE TABLE DBSchemaInfo (KEY TEXT PRIMARY KEY, VALUE TEXT);"
INSTANTIATE_TEST_SUITE_P(
    Versions, ReadVersionTest,
    ::testing::Values(
        VersionCase{"Current", SCHEMA "INSERT INTO DBSchemaInfo VALUES('DB_SCHEMA_MINOR','201020');",
                    201020, false},
        VersionCase{"Older", SCHEMA "INSERT INTO DBSchemaInfo VALUES('DB_SCHEMA_MINOR','201019');",
                    201019, false},
        VersionCase{"NoTable", "", 0, false},
        VersionCase{"NoRow", SCHEMA, 0, false},
        VersionCase{"NullValue", SCHEMA "INSERT INTO DBSchemaInfo VALUES('DB_SCHEMA_MINOR',NULL);", 0,
                    false},
        VersionCase{"NotANumber", SCHEMA "INSERT INTO DBSchemaInfo VALUES('DB_SCHEMA_MINOR','abc');",
                    0, true},
        VersionCase{"TooLarge",
                    SCHEMA "INSERT INTO DBSchemaInfo VALUES('DB_SCHEMA_MINOR','99999999999');", 0,
                    true}),
    [](const ::testing::TestParamInfo<VersionCase>& info) { return std::string(info.param.name); });
#undef SCHEMA

TEST(AssetStoreBaseTest, OutdatedStampMakesOpenFail)
{
    auto store = boost::make_shared<FakeStore>("/loc", L"n");
    sqlite3_exec(store->GetStateDatabase(),
                 "UPDATE DBSchemaInfo SET VALUE='201019' WHERE KEY='DB_SCHEMA_MINOR';", nullptr,
                 nullptr, nullptr);
    EXPECT_TRUE(store->IsStateSchemaOutdated());
    EXPECT_EQ(store->Open({}, {}, {}, false), kStatusFailed);
}

TEST(AssetStoreBaseTest, CloseDropsTheRootAndTheStoreReopens)
{
    auto store = MakeOpenStore("/loc");
    boost::weak_ptr<FakeFolder> root = store->Root();
    ASSERT_TRUE(root.lock());
    EXPECT_EQ(store->Close(), kStatusOK);
    EXPECT_FALSE(store->IsOpen());
    EXPECT_FALSE(store->GetRootFolder());
    EXPECT_FALSE(root.lock());
    EXPECT_EQ(store->Close(), kStatusOK);

    EXPECT_EQ(store->Open({}, {}, {}, false), kStatusOK);
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

TEST(AssetStoreBaseTest, BaseDefaultFolderIsNotImplemented)
{
    auto store = boost::make_shared<FakeStore>("/loc", L"n");
    try {
        store->GetDefaultFolderMutable(kAssetTypeEmail, true);
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "IAssetFolderMutable::GetDefaultFolderMutable : Not implemented.");
    }
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
