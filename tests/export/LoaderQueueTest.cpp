// The export's two threads: a loader thread lists the folders in turn and
// builds the items, the export's own thread writes them. The log, the
// presenter calls and the events must read as if one thread had done
// everything, whatever the queue depth; the iterator is used on the loading thread alone; cancelling and
// exceptions end the folder as they always did.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <set>
#include <thread>

#include "export/AppInfo.h"
#include "export/ExportDriver.h"
#include "export/FakeEngine.h"
#include "export/RecordingEvents.h"

using namespace KestrinMIMEEngineCommon;
using namespace kestrin_fakes;

namespace {

using Lines = std::vector<std::wstring>;

// What the loader did, seen from the fakes on either thread.
struct Observation {
    std::mutex mutex;
    std::set<std::thread::id> iteratorThreads;
    std::set<std::thread::id> assetDestroyedOn;
    std::atomic<int> built{0};
    std::vector<int> builtAtWrite;  // items built when each item was written
    std::atomic<int> iteratorsAlive{0};

    void UsedIterator()
    {
        std::lock_guard<std::mutex> guard(mutex);
        iteratorThreads.insert(std::this_thread::get_id());
    }
};

class TrackedAsset : public FakeAsset {
public:
    TrackedAsset(const std::wstring& description, uint64_t size, Observation& seen)
        : FakeAsset(description), m_size(size), m_seen(seen)
    {
    }
    ~TrackedAsset() override
    {
        std::lock_guard<std::mutex> guard(m_seen.mutex);
        m_seen.assetDestroyedOn.insert(std::this_thread::get_id());
    }
    uint64_t GetSize() override { return m_size; }

private:
    uint64_t m_size;
    Observation& m_seen;
};

// One listed position and what the iterator logs around it.
struct Step {
    FakeEntry entry;
    std::wstring said;             // logged (report and file) while the item is built
    std::wstring saidOnIncrement;  // logged while moving past it
    uint64_t size = 1;             // the asset's size
};

Step Say(const std::wstring& description, const std::wstring& said = L"",
         const std::wstring& saidOnIncrement = L"")
{
    return Step{ItemEntry(description), said, saidOnIncrement, 1};
}

enum class Throw { Nowhere, GetAssetIterator, Begin, Increment, End };

struct Script {
    std::vector<Step> steps;
    std::wstring saidOnBegin;
    std::wstring saidOnEnd;
    int beginAnswer = 0;
    int endAnswer = 0;
    Throw throws = Throw::Nowhere;
    size_t throwAt = 0;  // Increment: the position it throws on
};

// Walks a script, logging through the logger it was given and posting the
// item messages through the presenter it was given.
class ScriptedIterator : public IAssetIterator {
public:
    ScriptedIterator(const Script& script, const boost::shared_ptr<IProgressPresenter>& presenter,
                     const boost::shared_ptr<ILogger>& logger, Observation& seen)
        : m_script(script), m_presenter(presenter), m_logger(logger), m_seen(seen)
    {
        ++m_seen.iteratorsAlive;
    }
    ~ScriptedIterator() override
    {
        m_seen.UsedIterator();
        --m_seen.iteratorsAlive;
    }
    int Begin() override
    {
        m_seen.UsedIterator();
        if (m_script.throws == Throw::Begin) throw std::runtime_error("no listing");
        Say(m_script.saidOnBegin);
        m_begun = true;
        return m_script.beginAnswer;
    }
    int End() override
    {
        m_seen.UsedIterator();
        if (m_script.throws == Throw::End) throw std::runtime_error("end failed");
        Say(m_script.saidOnEnd);
        return m_script.endAnswer;
    }
    boost::shared_ptr<IAssetQueryResult> GetCurrent() override
    {
        m_seen.UsedIterator();
        const Step& step = m_script.steps.at(m_position);
        Say(step.said);
        if (m_presenter && !step.said.empty()) m_presenter->PostItemMessage(L"loading " + step.said);
        ++m_seen.built;
        switch (step.entry.kind) {
        case FakeEntry::ThrowsStd:
            throw std::runtime_error(std::string(step.entry.description.begin(), step.entry.description.end()));
        case FakeEntry::ThrowsOther: throw 42;
        case FakeEntry::Unreadable:
            return boost::make_shared<NewAssetQueryResult>(boost::shared_ptr<IAsset>(), 0, step.entry.id,
                                                           kQueryStatusUnreadable);
        case FakeEntry::Deleted: return boost::make_shared<DeleteAssetQueryResult>(step.entry.id, 1);
        case FakeEntry::NoAsset:
            return boost::make_shared<NewAssetQueryResult>(boost::shared_ptr<IAsset>(), 1, step.entry.id,
                                                           kQueryStatusReadable);
        case FakeEntry::Item: break;
        }
        return boost::make_shared<NewAssetQueryResult>(
            boost::make_shared<TrackedAsset>(step.entry.description, step.size, m_seen), step.entry.units,
            step.entry.id, kQueryStatusReadable);
    }
    void Increment() override
    {
        m_seen.UsedIterator();
        if (m_script.throws == Throw::Increment && m_position == m_script.throwAt)
            throw std::runtime_error("lost the place");
        Say(m_script.steps.at(m_position).saidOnIncrement);
        ++m_position;
    }
    bool IsValid() override
    {
        m_seen.UsedIterator();
        return m_begun && m_position < m_script.steps.size();
    }
    int GetUnitCount(int64_t* count) override
    {
        m_seen.UsedIterator();
        *count = static_cast<int64_t>(m_script.steps.size());
        return 0;
    }

private:
    void Say(const std::wstring& line)
    {
        if (m_logger && !line.empty()) m_logger->Log(line, true, true);
    }

    Script m_script;
    boost::shared_ptr<IProgressPresenter> m_presenter;
    boost::shared_ptr<ILogger> m_logger;
    Observation& m_seen;
    size_t m_position = 0;
    bool m_begun = false;
};

class ScriptedFolder : public FakeFolder {
public:
    using FakeFolder::FakeFolder;
    Script script;
    Observation* seen = nullptr;

    boost::shared_ptr<IAssetIterator> GetAssetIterator(
        unsigned, const boost::shared_ptr<IProgressPresenter>& presenter,
        const boost::shared_ptr<ICancelable>&, const boost::shared_ptr<ILogger>& logger) override
    {
        seen->UsedIterator();
        if (logger) logger->Log(L"asked for the iterator of " + GetPath(), false, true);
        if (script.throws == Throw::GetAssetIterator) throw std::runtime_error("no iterator");
        return boost::make_shared<ScriptedIterator>(script, presenter, logger, *seen);
    }
};

// An output folder that notes how many items the loader had built when each
// item was written.
class ObservingOutput : public FakeFolder {
public:
    using FakeFolder::FakeFolder;
    Observation* seen = nullptr;

    AddAssetResult AddAsset(const boost::shared_ptr<IAsset>& asset,
                            const boost::shared_ptr<IProgressPresenter>& presenter,
                            const boost::shared_ptr<ILogger>& logger,
                            const boost::shared_ptr<ICancelable>& cancelable,
                            const std::string& assetId) override
    {
        seen->builtAtWrite.push_back(seen->built.load());
        if (asset->GetDescription().find(L"refused") != std::wstring::npos)
            return AddAssetResult{AddAssetCode::Failed, std::string()};
        return FakeFolder::AddAsset(asset, presenter, logger, cancelable, assetId);
    }
};

// Everything one export showed the outside.
struct Outside {
    ExportSummary summary;
    Lines log;
    Lines presenter;
    Lines events;
    Lines received;
};

class LoaderQueueTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetAppInfo(boost::make_shared<TaviAppInfo>());
        source = MakeOpenStore("/src", L"Source");
        output = MakeOpenStore("/out", L"Output");
        out = boost::make_shared<ObservingOutput>(L"Inbox", output, output->Root());
        output->Root()->AddChild(out);
        out->seen = &seen;
        provider = boost::make_shared<FakeProvider>(
            [this](const boost::shared_ptr<IAssetFolder>&, const boost::shared_ptr<IAsset>& asset) {
                return asset->GetDescription().find(L"unmapped") == std::wstring::npos
                           ? boost::static_pointer_cast<IAssetFolderMutable>(out)
                           : boost::shared_ptr<IAssetFolderMutable>();
            });
    }

    boost::shared_ptr<ScriptedFolder> Folder(const std::wstring& name, Script script)
    {
        auto folder = boost::make_shared<ScriptedFolder>(name, source, source->Root());
        source->Root()->AddChild(folder);
        folder->script = std::move(script);
        folder->seen = &seen;
        return folder;
    }

    Outside Export(const std::vector<boost::shared_ptr<IAssetFolder>>& folders, ExportQueueLimits limits,
               boost::shared_ptr<ICancelable> cancelable = {})
    {
        Outside run;
        out->received.clear();
        auto logger = boost::make_shared<RecordingLogger>();
        auto presenter = boost::make_shared<RecordingPresenter>();
        RecordingEvents events;
        const int64_t total = static_cast<int64_t>(folders.size());
        int64_t counter = 0;
        RunExport(run.summary, &total, presenter, folders, logger, cancelable, provider, 0, true, &counter,
                  &events, limits);
        run.log = logger->lines;
        run.presenter = presenter->calls;
        run.events = events.calls;
        run.received = out->received;
        return run;
    }

    Observation seen;
    boost::shared_ptr<FakeStore> source;
    boost::shared_ptr<FakeStore> output;
    boost::shared_ptr<ObservingOutput> out;
    boost::shared_ptr<FakeProvider> provider;
};

const ExportQueueLimits kDepthOne{1, uint64_t(64) << 20};
const ExportQueueLimits kDepthEight{8, uint64_t(64) << 20};
const ExportQueueLimits kTinyBudget{8, 1};  // every item alone

const std::wstring kEq(70, L'=');
const std::wstring kDash(70, L'-');

TEST_F(LoaderQueueTest, WhatTheIteratorSaysComesJustBeforeItsItemAndTheEndAfterTheLastOutput)
{
    Script script;
    script.saidOnBegin = L"listing begins";
    script.steps = {Say(L"a", L"WARNING : a is partial"), Say(L"b", L"", L"moved past b"),
                    Say(L"c", L"ERROR : c is odd")};
    script.saidOnEnd = L"listing ends";
    script.endAnswer = 2;
    auto inbox = Folder(L"Inbox", script);

    const Outside run = Export({inbox}, kDepthEight);
    const Lines expected = {
        L"RF Processing Content From: /src",
        L"RF " + kEq,
        L"RF Begin processing Folder: /Inbox/",
        L"-F " + kEq,
        L"-F asked for the iterator of /Inbox/",
        L"RF listing begins",
        L"RF WARNING : a is partial",
        L"-F a",
        L"-F ",
        L"-F b",
        L"-F ",
        L"RF moved past b",
        L"RF ERROR : c is odd",
        L"-F c",
        L"-F ",
        L"-F " + kDash,
        L"-F Saved As: /out/Inbox/",
        L"RF ",
        L"RF listing ends",
        L"RF ERROR : Folder /Inbox/ could not be read completely.",
        L"-F " + kDash,
        L"-F End processing Folder: Inbox",
        L"RF Processed Item Count: 3",
        L"RF ",
        L"RF " + kDash,
        L"RF Operation completed with errors. Please look for ERROR in export log emitted above.\n",
        L"RF Total number of items processed:3",
    };
    EXPECT_EQ(run.log, expected);
    // The iterator's presenter calls reach the presenter on the writer, in
    // their place among the driver's own.
    EXPECT_EQ(run.presenter,
              (Lines{L"PostStoreMessage /src", L"SetOverallText Overall: Folders [ 1 / 1 ]",
                     L"SetTotalUnits 3", L"SetFolderText Folder: Inbox",
                     L"PostItemMessage loading WARNING : a is partial", L"PostItemMessage a",
                     L"AdvanceProgress 1", L"PostItemMessage b", L"AdvanceProgress 1",
                     L"PostItemMessage loading ERROR : c is odd", L"PostItemMessage c",
                     L"AdvanceProgress 1"}));
}

// Folders whose runs are compared across queue depths.
struct DepthCase {
    const char* name;
    std::vector<Script> folders;
};

Script Items(std::vector<Step> steps)
{
    Script script;
    script.steps = std::move(steps);
    return script;
}

Script Many(int count, const std::wstring& prefix)
{
    Script script;
    for (int n = 0; n < count; ++n) {
        const std::wstring name = prefix + std::to_wstring(n);
        script.steps.push_back(Say(name, n % 7 == 3 ? L"WARNING : " + name + L" is partial" : L"",
                                   n % 11 == 5 ? L"after " + name : L""));
    }
    return script;
}

void PrintTo(const DepthCase& c, std::ostream* out) { *out << c.name; }

class LoaderDepthTest : public LoaderQueueTest, public ::testing::WithParamInterface<DepthCase> {};

TEST_P(LoaderDepthTest, LogPresenterAndEventsAreTheSameAtEveryDepth)
{
    std::vector<boost::shared_ptr<IAssetFolder>> folders;
    int n = 0;
    for (const Script& script : GetParam().folders) folders.push_back(Folder(L"F" + std::to_wstring(n++), script));

    const Outside one = Export(folders, kDepthOne);
    const Outside eight = Export(folders, kDepthEight);
    const Outside tiny = Export(folders, kTinyBudget);
    for (const Outside* run : {&eight, &tiny}) {
        EXPECT_EQ(run->log, one.log);
        EXPECT_EQ(run->presenter, one.presenter);
        EXPECT_EQ(run->events, one.events);
        EXPECT_EQ(run->received, one.received);
        EXPECT_EQ(run->summary.status, one.summary.status);
        EXPECT_EQ(run->summary.processed, one.summary.processed);
        EXPECT_EQ(run->summary.failed, one.summary.failed);
    }
    EXPECT_EQ(seen.iteratorsAlive.load(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LoaderDepthTest,
    ::testing::Values(
        DepthCase{"ManyItemsWithWarnings", {Many(200, L"m"), Many(30, L"n")}},
        DepthCase{"UnreadableDeletedRefusedAndUnmapped",
                  {Items({Say(L"a"), Step{UnreadableEntry(), L"ERROR : Cannot read message file x", L"", 0},
                          Step{DeletedEntry(), L"", L"", 0}, Say(L"refused b", L"WARNING : b"),
                          Say(L"unmapped c"), Step{NoAssetEntry(), L"", L"", 0}, Say(L"d")}),
                   Many(20, L"x")}},
        DepthCase{"ListingBreaksOff",
                  [] {
                      Script broken = Many(25, L"b");
                      broken.saidOnEnd = L"ERROR : Failed to list the messages";
                      broken.endAnswer = 2;
                      Script refused = Many(5, L"r");
                      refused.beginAnswer = 2;
                      return std::vector<Script>{broken, refused, Many(3, L"after")};
                  }()},
        DepthCase{"ThrowsWhileBuildingAnItem",
                  {Items({Say(L"a"), Say(L"b", L"WARNING : b"), Step{ThrowingEntry(L"disk gone"), L"said first"},
                          Say(L"c")}),
                   Many(3, L"never")}}),
    [](const ::testing::TestParamInfo<DepthCase>& info) { return std::string(info.param.name); });

TEST_F(LoaderQueueTest, TheIteratorIsUsedOnTheLoadingThreadAloneAndItemsDieOnTheWriter)
{
    auto inbox = Folder(L"Inbox", Many(50, L"m"));
    auto sent = Folder(L"Sent", Many(5, L"s"));
    const Outside run = Export({inbox, sent}, kDepthEight);
    EXPECT_EQ(run.summary.processed, 55);

    std::lock_guard<std::mutex> guard(seen.mutex);
    // One loading thread for every folder, never the export's own.
    EXPECT_EQ(seen.iteratorThreads.size(), 1u);
    EXPECT_EQ(seen.iteratorThreads.count(std::this_thread::get_id()), 0u);
    // The loader keeps no reference to what it handed over.
    EXPECT_EQ(seen.assetDestroyedOn, (std::set<std::thread::id>{std::this_thread::get_id()}));
    EXPECT_EQ(seen.iteratorsAlive.load(), 0);
}

struct BoundCase {
    const char* name;
    ExportQueueLimits limits;
    uint64_t itemSize;
    int ahead;  // most items built beyond the one being written
    size_t folders = 1;  // the 40 items spread over this many folders
};

void PrintTo(const BoundCase& c, std::ostream* out) { *out << c.name; }

class LoaderBoundTest : public LoaderQueueTest, public ::testing::WithParamInterface<BoundCase> {};

TEST_P(LoaderBoundTest, TheLoaderRunsAheadNoFurtherThanTheLimits)
{
    // The next folder's loader starts while this one's last items are
    // written; together they stay within the limits.
    const size_t count = GetParam().folders;
    std::vector<boost::shared_ptr<IAssetFolder>> folders;
    for (size_t f = 0; f < count; ++f) {
        Script script = Many(40 / count, L"m" + std::to_wstring(f) + L"-");
        for (Step& step : script.steps) step.size = GetParam().itemSize;
        folders.push_back(Folder(L"Box" + std::to_wstring(f), script));
    }
    const Outside run = Export(folders, GetParam().limits);
    EXPECT_EQ(run.summary.processed, 40);
    ASSERT_EQ(seen.builtAtWrite.size(), 40u);
    for (size_t k = 0; k < seen.builtAtWrite.size(); ++k)
        EXPECT_LE(seen.builtAtWrite[k], static_cast<int>(k) + 1 + GetParam().ahead) << "item " << k;
}

INSTANTIATE_TEST_SUITE_P(
    Limits, LoaderBoundTest,
    ::testing::Values(BoundCase{"DepthOne", {1, uint64_t(64) << 20}, 1, 1},
                      BoundCase{"DepthThree", {3, uint64_t(64) << 20}, 1, 3},
                      // Two items fit the budget; a third waits once built.
                      BoundCase{"ByteBudget", {8, 250}, 100, 3},
                      // Larger than the whole budget: each still passes, alone.
                      BoundCase{"ItemLargerThanTheBudget", {8, 10}, 1000, 2},
                      BoundCase{"DepthThreeOverTenFolders", {3, uint64_t(64) << 20}, 1, 3, 10},
                      BoundCase{"ByteBudgetOverTwentyFolders", {8, 250}, 100, 3, 20}),
    [](const ::testing::TestParamInfo<BoundCase>& info) { return std::string(info.param.name); });

TEST_F(LoaderQueueTest, CancelWritesNothingMoreAndJoinsTheLoader)
{
    auto inbox = Folder(L"Inbox", Many(500, L"m"));
    auto sent = Folder(L"Sent", Many(5, L"s"));
    const Outside run = Export({inbox, sent}, kDepthEight, boost::make_shared<FakeCancelable>(3));

    EXPECT_EQ(run.summary.status, Status::Canceled);
    EXPECT_EQ(run.received, (Lines{L"m0", L"m1", L"m2"}));
    // The loader stopped within its queue's reach, and is gone.
    EXPECT_LE(seen.built.load(), 3 + 1 + 8);
    EXPECT_EQ(seen.iteratorsAlive.load(), 0);
    EXPECT_EQ(run.log.back(), L"RF Total number of items processed:3");
    EXPECT_EQ(run.log[run.log.size() - 2], L"RF Operation canceled by user.\n");
    EXPECT_EQ(run.events.back(), L"ended /Inbox/");
}

struct ThrowCase {
    const char* name;
    Throw where;
    std::wstring line;
    Lines journal;  // what the output folder saw
};

void PrintTo(const ThrowCase& c, std::ostream* out) { *out << c.name; }

class LoaderThrowTest : public LoaderQueueTest, public ::testing::WithParamInterface<ThrowCase> {};

TEST_P(LoaderThrowTest, AnExceptionOnTheLoaderFailsTheFolderLikeOneOnTheWriter)
{
    Script script = Many(3, L"a");
    script.throws = GetParam().where;
    script.throwAt = 1;
    out->journal = MakeJournal();
    auto inbox = Folder(L"Inbox", script);
    auto sent = Folder(L"Sent", Many(3, L"s"));
    for (const ExportQueueLimits& limits : {kDepthOne, kDepthEight}) {
        SCOPED_TRACE(limits.items);
        out->journal->clear();
        const Outside run = Export({inbox, sent}, limits);
        EXPECT_EQ(run.summary.status, Status::Failed);
        // The exception's line, then at once the summary.
        const auto line = std::find(run.log.begin(), run.log.end(), L"RF " + GetParam().line);
        ASSERT_NE(line, run.log.end());
        ASSERT_NE(line + 1, run.log.end());
        EXPECT_EQ(line[1], L"RF " + kDash);
        EXPECT_EQ(*out->journal, GetParam().journal);
        // No further folder is started.
        EXPECT_EQ(run.events.back(), L"ended /Inbox/");
        EXPECT_EQ(seen.iteratorsAlive.load(), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Throwers, LoaderThrowTest,
    ::testing::Values(
        ThrowCase{"GetAssetIterator", Throw::GetAssetIterator,
                  L"Exception occurred during conversion - no iterator", {}},
        ThrowCase{"Begin", Throw::Begin, L"Exception occurred during conversion - no listing", {}},
        ThrowCase{"Increment", Throw::Increment, L"Exception occurred during conversion - lost the place",
                  {L"begin /Inbox/", L"add a0 to /Inbox/", L"add a1 to /Inbox/"}},
        // End() comes after the last output was closed.
        ThrowCase{"End", Throw::End, L"Exception occurred during conversion - end failed",
                  {L"begin /Inbox/", L"add a0 to /Inbox/", L"add a1 to /Inbox/", L"add a2 to /Inbox/",
                   L"end /Inbox/"}}),
    [](const ::testing::TestParamInfo<ThrowCase>& info) { return std::string(info.param.name); });

}  // namespace
