// The typed readers of the application's keyed state: what each answers for
// every kind of value a key may hold, and for an absent key.
#include <gtest/gtest.h>

#include <boost/make_shared.hpp>
#include <boost/optional/optional_io.hpp>

#include "app/AppStateData.h"
#include "app/FolderTree.h"
#include "formats/EMLAssetFolder.h"

namespace {

using namespace KestrinApp;

struct ReaderCase {
    const char* name;
    boost::optional<AppStateData::Value> value;  // none: the key is absent
    boost::optional<std::string> text;
    boost::optional<int64_t> integer;
    bool isSet;
    size_t nodes;
};

class TypedReaders : public ::testing::TestWithParam<ReaderCase> {};

TEST_P(TypedReaders, AnswerForTheTypeTheKeyHolds)
{
    const ReaderCase& c = GetParam();
    AppStateData state;
    if (c.value) state.Set("Key", *c.value);
    EXPECT_EQ(state.GetString("Key"), c.text);
    EXPECT_EQ(state.GetInteger("Key"), c.integer);
    EXPECT_EQ(state.IsSet("Key"), c.isSet);
    EXPECT_EQ(state.GetNodes("Key").size(), c.nodes);
}

std::shared_ptr<FolderNodeData> Node()
{
    return std::make_shared<FolderNodeData>(
        boost::make_shared<KestrinMIMEEngineCommon::EMLAssetFolder>("/folder", nullptr, nullptr, false));
}

const FolderNodeList kTwoNodes = {Node(), Node()};

INSTANTIATE_TEST_SUITE_P(
    Table, TypedReaders,
    ::testing::Values(
        ReaderCase{"Absent", boost::none, boost::none, boost::none, false, 0},
        ReaderCase{"True", AppStateData::Value(true), boost::none, int64_t{1}, true, 0},
        ReaderCase{"False", AppStateData::Value(false), boost::none, int64_t{0}, false, 0},
        ReaderCase{"Zero", AppStateData::Value(int64_t{0}), boost::none, int64_t{0}, false, 0},
        ReaderCase{"Seven", AppStateData::Value(int64_t{7}), boost::none, int64_t{7}, true, 0},
        ReaderCase{"EmptyText", AppStateData::Value(std::string()), std::string(), boost::none, true, 0},
        ReaderCase{"Text", AppStateData::Value(std::string("/lib")), std::string("/lib"), boost::none, true,
                   0},
        ReaderCase{"Nodes", AppStateData::Value(kTwoNodes), boost::none, boost::none, true, 2}),
    [](const ::testing::TestParamInfo<ReaderCase>& info) { return std::string(info.param.name); });

}  // namespace
