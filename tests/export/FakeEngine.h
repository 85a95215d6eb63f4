// Small in-memory stand-ins for the engine's stores, folders, iterators,
// providers, presenters and loggers, for tests that drive the export or map
// folders without touching a real mail format.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include <boost/lexical_cast.hpp>
#include <boost/make_shared.hpp>
#include <boost/shared_ptr.hpp>

#include "assets/AssetFolderBase.h"
#include "assets/AssetStoreBase.h"
#include "assets/IAsset.h"
#include "assets/ILogger.h"
#include "assets/IProgressPresenter.h"
#include "export/IOutputStoreProvider.h"

namespace kestrin_fakes {

using namespace KestrinMIMEEngineCommon;

// A shared record of what happened, in order, across several fakes.
using Journal = boost::shared_ptr<std::vector<std::wstring>>;
inline Journal MakeJournal() { return boost::make_shared<std::vector<std::wstring>>(); }

class FakeAsset : public IEmailAsset {
public:
    explicit FakeAsset(std::wstring description) : m_description(std::move(description)) {}
    std::wstring GetDescription() override { return m_description; }
    std::wstring GetTitle(NameStyle) override { return m_description; }
    uint64_t GetSize() override { return m_description.size(); }
    std::string GetUniqueId() override { return std::string(); }
    WriteResult WriteMBOXMessage(std::ostream& out) override { return WriteResult::Ok; }
    WriteResult WriteRawMessage(const boost::shared_ptr<KSDataStreamOut>& out) override { return WriteResult::Ok; }

private:
    std::wstring m_description;
};

// One scripted position of a FakeIterator.
struct FakeEntry {
    enum Kind { Item, Unreadable, Deleted, ThrowsStd, ThrowsOther, NoAsset };
    Kind kind = Item;
    std::wstring description;  // the item's description, or the exception text (UTF-8 subset)
    uint64_t units = 1;
    std::string id;
};

inline FakeEntry ItemEntry(const std::wstring& description, uint64_t units = 1)
{
    return FakeEntry{FakeEntry::Item, description, units, "id-" + std::to_string(description.size())};
}
inline FakeEntry UnreadableEntry() { return FakeEntry{FakeEntry::Unreadable, L"", 0, "lost"}; }
inline FakeEntry DeletedEntry() { return FakeEntry{FakeEntry::Deleted, L"", 1, "gone"}; }
inline FakeEntry NoAssetEntry() { return FakeEntry{FakeEntry::NoAsset, L"", 1, "empty"}; }
// GetCurrent throws std::runtime_error(what) at this position.
inline FakeEntry ThrowingEntry(const std::wstring& what)
{
    return FakeEntry{FakeEntry::ThrowsStd, what, 0, ""};
}
// GetCurrent throws something that is not a std::exception.
inline FakeEntry ThrowingOtherEntry() { return FakeEntry{FakeEntry::ThrowsOther, L"", 0, ""}; }

class FakeIterator : public IAssetIterator {
public:
    FakeIterator(std::vector<FakeEntry> entries, int64_t unitCount)
        : m_entries(std::move(entries)), m_unitCount(unitCount)
    {
    }
    int Begin() override
    {
        m_begun = true;
        return 0;
    }
    int End() override { return 0; }
    boost::shared_ptr<IAssetQueryResult> GetCurrent() override
    {
        const FakeEntry& entry = m_entries.at(m_position);
        switch (entry.kind) {
        case FakeEntry::ThrowsStd:
            throw std::runtime_error(std::string(entry.description.begin(), entry.description.end()));
        case FakeEntry::ThrowsOther: throw 42;
        case FakeEntry::Unreadable:
            return boost::make_shared<NewAssetQueryResult>(boost::shared_ptr<IAsset>(), 0, entry.id,
                                                           kQueryStatusUnreadable);
        case FakeEntry::Deleted: return boost::make_shared<DeleteAssetQueryResult>(entry.id, entry.units);
        case FakeEntry::NoAsset:
            return boost::make_shared<NewAssetQueryResult>(boost::shared_ptr<IAsset>(), entry.units,
                                                           entry.id, kQueryStatusReadable);
        case FakeEntry::Item: break;
        }
        return boost::make_shared<NewAssetQueryResult>(boost::make_shared<FakeAsset>(entry.description),
                                                       entry.units, entry.id, kQueryStatusReadable);
    }
    void Increment() override { ++m_position; }
    bool IsValid() override { return m_begun && m_position < m_entries.size(); }
    int GetUnitCount(int64_t* count) override
    {
        *count = m_unitCount;
        return 0;
    }

private:
    std::vector<FakeEntry> m_entries;
    int64_t m_unitCount;
    size_t m_position = 0;
    bool m_begun = false;
};

// A mail folder that can be a source (scripted entries) and a target
// (records what it receives, optionally creates sub-folders on demand).
class FakeFolder : public AssetFolderBase {
public:
    FakeFolder(const std::wstring& name, const boost::shared_ptr<IAssetStore>& store,
               const boost::shared_ptr<IAssetFolder>& parent, const std::string& location = "")
        : AssetFolderBase(name, location, store, parent, false)
    {
        if (parent) SetFolderKind(kFolderKindMail);
    }

    // Source side.
    std::vector<FakeEntry> entries;
    bool hasIterator = true;
    int64_t unitCount = -1;  // -1: the number of entries

    boost::shared_ptr<IAssetIterator> GetAssetIterator(
        unsigned queryKind, const boost::shared_ptr<IProgressPresenter>& presenter,
        const boost::shared_ptr<ICancelable>& cancelable,
        const boost::shared_ptr<ILogger>& logger) override
    {
        if (!hasIterator) return {};
        return boost::make_shared<FakeIterator>(
            entries, unitCount < 0 ? static_cast<int64_t>(entries.size()) : unitCount);
    }

    // Target side.
    bool createsChildren = false;
    AddAssetCode addCode = AddAssetCode::Written;
    int createdChildren = 0;
    std::vector<std::wstring> received;
    Journal journal;

    boost::shared_ptr<IAssetFolderMutable> CreateSubFolder(const std::wstring& name, unsigned kind,
                                                           const std::string& sourceId) override
    {
        if (!createsChildren) return AssetFolderBase::CreateSubFolder(name, kind, sourceId);
        auto child = boost::make_shared<FakeFolder>(name, GetStore(), shared_from_this());
        child->createsChildren = true;
        if (!AddChild(child)) return {};
        ++createdChildren;
        return child;
    }
    bool BeginAddAssets(const boost::shared_ptr<IAssetFolder>& source,
                        const boost::shared_ptr<IProgressPresenter>& presenter,
                        const boost::shared_ptr<ILogger>& logger) override
    {
        Note(L"begin " + GetPath());
        return true;
    }
    void EndAddAssets(const boost::shared_ptr<IAssetFolder>& source,
                      const boost::shared_ptr<IProgressPresenter>& presenter,
                      const boost::shared_ptr<ILogger>& logger) override
    {
        Note(L"end " + GetPath());
    }
    AddAssetResult AddAsset(const boost::shared_ptr<IAsset>& asset,
                            const boost::shared_ptr<IProgressPresenter>& presenter,
                            const boost::shared_ptr<ILogger>& logger,
                            const boost::shared_ptr<ICancelable>& cancelable,
                            const std::string& assetId) override
    {
        received.push_back(asset->GetDescription());
        Note(L"add " + asset->GetDescription() + L" to " + GetPath());
        return AddAssetResult{addCode, std::string()};
    }

private:
    void Note(const std::wstring& line)
    {
        if (journal) journal->push_back(line);
    }
};

// A store with a root folder made on Open, following the open sequence of
// the real stores.
class FakeStore : public AssetStoreBase {
public:
    FakeStore(const std::string& location, const std::wstring& name)
        : AssetStoreBase(location, name, StoreKind::Eml)
    {
    }

    bool rootCreatesChildren = false;
    Status loadResult = Status::Succeeded;
    boost::shared_ptr<IAssetFolderMutable> defaultFolder;
    bool hasDefaultFolder = false;

    Status Open(const boost::shared_ptr<IProgressPresenter>& presenter,
             const boost::shared_ptr<ICancelable>& cancelable,
             const boost::shared_ptr<ILogger>& logger, bool createLocation) override
    {
        if (IsOpen()) return Status::Succeeded;
        Status result = AssetStoreBase::Open(presenter, cancelable, logger, createLocation);
        if (result == Status::Succeeded) result = LoadFolderTree(presenter, cancelable, logger);
        if (result == Status::Succeeded) {
            if (cancelable && cancelable->IsCanceled()) {
                SetRootFolder({});
                result = Status::Canceled;
            } else {
                SetOpen(true);
            }
        }
        ForgetCancelable();
        return result;
    }
    Status LoadFolderTree(const boost::shared_ptr<IProgressPresenter>& presenter,
                       const boost::shared_ptr<ICancelable>& cancelable,
                       const boost::shared_ptr<ILogger>& logger) override
    {
        if (loadResult != Status::Succeeded) return loadResult;
        if (!GetRootFolderImpl()) {
            auto root = boost::make_shared<FakeFolder>(L"", shared_from_this(), nullptr, GetLocation());
            root->createsChildren = rootCreatesChildren;
            SetRootFolder(root);
        }
        return Status::Succeeded;
    }
    bool SupportsFolderKind(int kind) override { return kind == kFolderKindMail; }
    boost::shared_ptr<IAssetFolderMutable> GetDefaultFolderMutable(int assetType,
                                                                   bool create) override
    {
        if (!hasDefaultFolder) return AssetStoreBase::GetDefaultFolderMutable(assetType, create);
        return defaultFolder;
    }

    boost::shared_ptr<FakeFolder> Root()
    {
        return boost::dynamic_pointer_cast<FakeFolder>(GetRootFolderImpl());
    }
    // Adds a mail folder below parent (the root when parent is empty).
    boost::shared_ptr<FakeFolder> AddFolder(const std::wstring& name,
                                            boost::shared_ptr<FakeFolder> parent = {})
    {
        if (!parent) parent = Root();
        auto folder = boost::make_shared<FakeFolder>(name, shared_from_this(), parent);
        parent->AddChild(folder);
        return folder;
    }
};

// An opened FakeStore with its root.
inline boost::shared_ptr<FakeStore> MakeOpenStore(const std::string& location,
                                                  const std::wstring& name = L"Store",
                                                  bool rootCreatesChildren = false)
{
    auto store = boost::make_shared<FakeStore>(location, name);
    store->rootCreatesChildren = rootCreatesChildren;
    store->Open({}, {}, {}, false);
    return store;
}

// Hands out whatever the route function chooses, remembering the flag it
// was asked with.
class FakeProvider : public IOutputStoreProvider {
public:
    using Route = std::function<boost::shared_ptr<IAssetFolderMutable>(
        const boost::shared_ptr<IAssetFolder>&, const boost::shared_ptr<IAsset>&)>;
    explicit FakeProvider(Route route) : m_route(std::move(route)) {}

    std::vector<bool> useDefaultFolderFlags;
    int closeCalls = 0;

    boost::shared_ptr<IAssetFolderMutable> GetOutputFolder(const boost::shared_ptr<IAssetFolder>& source,
                                                           const boost::shared_ptr<IAsset>& asset,
                                                           bool useDefaultFolder) override
    {
        useDefaultFolderFlags.push_back(useDefaultFolder);
        return m_route ? m_route(source, asset) : boost::shared_ptr<IAssetFolderMutable>();
    }
    Status CloseStores() override
    {
        ++closeCalls;
        return Status::Succeeded;
    }

private:
    Route m_route;
};

// Records every line with its channels: "RF text" (report and file),
// "-F text" (file only), "R- text" (report only).
class RecordingLogger : public ILogger {
public:
    std::vector<std::wstring> lines;
    void Log(const std::wstring& text, bool toReport, bool toFile) override
    {
        std::wstring line;
        line += toReport ? L'R' : L'-';
        line += toFile ? L'F' : L'-';
        line += L' ';
        lines.push_back(line + text);
    }
};

// Answers false for the first allowed checks, true from then on.
class FakeCancelable : public ICancelable {
public:
    explicit FakeCancelable(int allowedChecks) : m_allowed(allowedChecks) {}
    int checks = 0;
    bool IsCanceled() override { return ++checks > m_allowed; }
    void Cancel() override { m_allowed = 0; }

private:
    int m_allowed;
};

// Records every presenter call as one line, e.g. "AdvanceProgress 1".
class RecordingPresenter : public ICancelableProgressPresenter {
public:
    std::vector<std::wstring> calls;
    bool canceled = false;

    void BeginProgress() override { calls.push_back(L"BeginProgress"); }
    void EndProgress() override { calls.push_back(L"EndProgress"); }
    void SetTotalUnits(int64_t n) override { calls.push_back(L"SetTotalUnits " + Num(n)); }
    void SetOverallTotalUnits(int64_t n) override
    {
        calls.push_back(L"SetOverallTotalUnits " + Num(n));
    }
    void AdvanceProgress(uint64_t n) override
    {
        calls.push_back(L"AdvanceProgress " + Num(static_cast<int64_t>(n)));
    }
    void SetFolderText(const std::wstring& t) override { calls.push_back(L"SetFolderText " + t); }
    void SetOverallText(const std::wstring& t) override { calls.push_back(L"SetOverallText " + t); }
    void PostItemMessage(const std::wstring& t) override { calls.push_back(L"PostItemMessage " + t); }
    void PostStoreMessage(const std::wstring& t) override
    {
        calls.push_back(L"PostStoreMessage " + t);
    }
    bool IsCanceled() override { return canceled; }
    void Cancel() override { canceled = true; }

private:
    static std::wstring Num(int64_t n) { return boost::lexical_cast<std::wstring>(n); }
};

}  // namespace kestrin_fakes
