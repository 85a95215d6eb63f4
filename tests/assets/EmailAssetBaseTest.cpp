// The description, title and unique id every e-mail item builds from its
// summary. Dates are formatted in the default zone, UTC for the tests.
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "assets/IAsset.h"

using namespace KestrinMIMEEngineCommon;

namespace {

class SummaryAsset : public EmailAssetBase {
public:
    explicit SummaryAsset(const std::wstring& leading = L"") { m_description = leading; }
    using EmailAssetBase::FillSummary;
    uint64_t GetSize() override { return 0; }
    WriteResult WriteMBOXMessage(std::ostream&) override { return WriteResult::Ok; }
    WriteResult WriteRawMessage(const boost::shared_ptr<KSDataStreamOut>&) override { return WriteResult::Ok; }
};

TEST(EmailAssetBaseTest, DescriptionKeepsTheSubjectTitleIsItsSafeName)
{
    SummaryAsset asset;
    asset.FillSummary(L"Anna M\u00fcller <anna@example.org>", 1551791229,
                      L"M\u00fcller/Stra\u00dfe: Teil 1", "<id@example.org>");
    EXPECT_EQ(asset.GetDescription(),
              L"From : Anna M\u00fcller <anna@example.org>\r\nDate : Tue, 05 Mar 2019 13:07:09 +0000"
              L"\r\nSubject : M\u00fcller/Stra\u00dfe: Teil 1");
    EXPECT_EQ(asset.GetTitle(NameStyle::Ascii), L"Muller\u2215Strasse_ Teil 1");
    EXPECT_EQ(asset.GetUniqueId(), "<id@example.org>");
    EXPECT_EQ(asset.GetAssetType(), kAssetTypeEmail);
    EXPECT_EQ(asset.GetAssetFlags(), 0);
}

TEST(EmailAssetBaseTest, MessageWithoutHeadersGivesEmptyPartsAndTheEpoch)
{
    SummaryAsset asset;
    asset.FillSummary(L"", 0, L"", "");
    EXPECT_EQ(asset.GetDescription(),
              L"From : \r\nDate : Thu, 01 Jan 1970 00:00:00 +0000\r\nSubject : ");
    EXPECT_EQ(asset.GetTitle(NameStyle::Ascii), L"");
    EXPECT_EQ(asset.GetUniqueId(), "");
}

TEST(EmailAssetBaseTest, SummaryIsAppendedToWhatTheDescriptionHolds)
{
    SummaryAsset asset(L"Partial message\r\n");
    asset.FillSummary(L"a@b", 0, L"Hi", "");
    EXPECT_EQ(asset.GetDescription(),
              L"Partial message\r\nFrom : a@b\r\nDate : Thu, 01 Jan 1970 00:00:00 +0000\r\nSubject : Hi");
}

// The title is made on first use; threads asking at once all get the same.
TEST(EmailAssetBaseTest, TitleIsMadeOnceForConcurrentCallers)
{
    SummaryAsset asset;
    asset.FillSummary(L"a@b", 0, L".Re: \u00c9t\u00e9 ", "");
    std::vector<std::wstring> titles(4);
    std::vector<std::thread> threads;
    for (auto& title : titles)
        threads.emplace_back([&asset, &title] { title = asset.GetTitle(NameStyle::Ascii); });
    for (auto& thread : threads) thread.join();
    for (const auto& title : titles) EXPECT_EQ(title, L"_.Re_ Ete");
    EXPECT_EQ(asset.GetTitle(NameStyle::Ascii), L"_.Re_ Ete");
    EXPECT_EQ(asset.GetDescription(),
              L"From : a@b\r\nDate : Thu, 01 Jan 1970 00:00:00 +0000\r\nSubject : .Re: \u00c9t\u00e9 ");
}

}  // namespace
