// Every output provider maps a source folder once: the items of one folder get
// the same output folder object, siblings that meet on a case- and
// normalisation-insensitive disk keep folders of their own, and a tree of
// many siblings is named exactly as the numbered-name rule says.
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ArchiveTestHelpers.h"
#include "archive/OutputMSEStoreProvider.h"
#include "export/FakeEngine.h"
#include "export/OutputGeneralFormatStoreProvider.h"

namespace archive_test {
namespace {

struct ProviderCase {
    const char* name;
    std::function<boost::shared_ptr<IOutputStoreProvider>(const std::string& outputRoot)> make;
};

const ProviderCase kProviders[] = {
    {"Eml",
     [](const std::string& root) -> boost::shared_ptr<IOutputStoreProvider> {
         return boost::make_shared<OutputGeneralFormatStoreProvider>(root, ExportTarget::Eml,
                                                                     std::vector<int>{});
     }},
    {"Mbox",
     [](const std::string& root) -> boost::shared_ptr<IOutputStoreProvider> {
         return boost::make_shared<OutputGeneralFormatStoreProvider>(root, ExportTarget::Mbox,
                                                                     std::vector<int>{});
     }},
    {"Archive",
     [](const std::string& root) -> boost::shared_ptr<IOutputStoreProvider> {
         return boost::make_shared<OutputMSEStoreProvider>(root, L"Apple Mail Export");
     }},
};

class ProviderFolderMapping : public ::testing::TestWithParam<ProviderCase> {
protected:
    boost::shared_ptr<IAssetFolderMutable> Map(const boost::shared_ptr<IAssetFolder>& source)
    {
        return provider->GetOutputFolder(source, {}, false);
    }

    kestrin_test::TempDir dir;
    boost::shared_ptr<IOutputStoreProvider> provider = GetParam().make(dir.str());
    boost::shared_ptr<kestrin_fakes::FakeStore> source =
        kestrin_fakes::MakeOpenStore("/source", L"Source");
};

TEST_P(ProviderFolderMapping, OneFolderObjectPerSourceFolder)
{
    auto inbox = source->AddFolder(L"Inbox");
    auto work = source->AddFolder(L"Work", inbox);
    auto lowerInbox = source->AddFolder(L"INBOX");
    auto other = kestrin_fakes::MakeOpenStore("/other", L"Other");
    auto otherInbox = other->AddFolder(L"Inbox");

    const auto inboxOut = Map(inbox);
    const auto workOut = Map(work);
    const auto lowerOut = Map(lowerInbox);
    ASSERT_TRUE(inboxOut && workOut && lowerOut);
    EXPECT_EQ(Map(inbox), inboxOut);
    EXPECT_EQ(Map(work), workOut);
    EXPECT_EQ(workOut->GetParent(), inboxOut);
    // Another folder whose name folds alike gets its own numbered folder.
    EXPECT_NE(lowerOut, inboxOut);
    EXPECT_EQ(lowerOut->GetName(), L"INBOX (1)");
    EXPECT_EQ(Map(lowerInbox), lowerOut);
    // The same path in another source store is the same output folder.
    EXPECT_EQ(Map(otherInbox), inboxOut);
    EXPECT_EQ(Map(inbox), inboxOut);
    provider->CloseStores();
}

// Four sibling source folders per stem whose names meet after folding (case,
// then an accent that transliteration drops), each set mapped after all the
// others of the one before, so that every collision is with a folder made
// long before.
TEST_P(ProviderFolderMapping, ManySiblingsGetDistinctNumberedNames)
{
    const int stems = 100;
    const std::vector<std::pair<std::wstring, std::wstring>> variants = {
        {L"Box ", L""}, {L"box ", L" (1)"}, {L"BOX ", L" (2)"}, {L"B\u00F3x ", L" (3)"}};
    std::vector<boost::shared_ptr<IAssetFolder>> sources;
    std::vector<std::wstring> expected;
    for (const auto& variant : variants) {
        for (int i = 0; i < stems; ++i) {
            const std::wstring number = std::to_wstring(i);
            sources.push_back(source->AddFolder(variant.first + number));
            const std::wstring safeStem = variant.first == L"B\u00F3x " ? L"Box " : variant.first;
            expected.push_back(safeStem + number + variant.second);
        }
    }

    std::vector<boost::shared_ptr<IAssetFolderMutable>> outputs;
    std::vector<std::wstring> names;
    for (const auto& folder : sources) {
        outputs.push_back(Map(folder));
        ASSERT_TRUE(outputs.back());
        names.push_back(outputs.back()->GetName());
    }
    EXPECT_EQ(names, expected);
    auto parent = outputs.front()->GetParent();
    ASSERT_TRUE(parent);
    EXPECT_EQ(parent->GetSubFolderCount(), sources.size());
    for (size_t i = sources.size(); i-- > 0;) EXPECT_EQ(Map(sources[i]), outputs[i]);
    provider->CloseStores();
}

INSTANTIATE_TEST_SUITE_P(
    Targets, ProviderFolderMapping, ::testing::ValuesIn(kProviders),
    [](const ::testing::TestParamInfo<ProviderCase>& info) { return info.param.name; });

}  // namespace
}  // namespace archive_test
