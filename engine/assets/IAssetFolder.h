// Folders, iterators and query results: how source folders hand out their
// items and how output folders accept them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "assets/Codes.h"
#include "assets/IAsset.h"
#include "assets/ILogger.h"
#include "assets/IProgressPresenter.h"

namespace KestrinMIMEEngineCommon {

class IAssetStore;
class IAssetStoreMutable;
class IAssetFolderMutable;

// Folder kinds.
enum : int {
    kFolderKindCalendar = 1,
    kFolderKindContacts = 2,
    kFolderKindUnused = 3,
    kFolderKindMail = 4,
    kFolderKindNotes = 5,
    kFolderKindTasks = 6,
    kFolderKindGeneric = 7,
    kFolderKindRoot = 9,
};

// Retrieval status of a query result.
enum : int { kQueryStatusReadable = 0, kQueryStatusUnreadable = 2 };
// Query kinds.
enum : int { kQueryKindNew = 0, kQueryKindDeleted = 2 };

struct AddAssetResult {
    AddAssetCode code = AddAssetCode::Written;
    std::string text;  // the written file's path, when the folder writes files
    // The system's error number when the output itself refused (a full disk,
    // a read-only or removed folder); 0 otherwise.
    int systemError = 0;
};

class IKSNotificationSender {
public:
    virtual ~IKSNotificationSender() = default;
    virtual int GetSenderTypeId() = 0;
};

// Process-wide counter handing out one type id per sender kind.
int KSNextSenderTypeId();

class IAssetQueryResult {
public:
    virtual ~IAssetQueryResult() = default;
    virtual boost::shared_ptr<IAsset> GetAsset() = 0;
    virtual std::string GetAssetId() = 0;
    virtual uint64_t GetUnits() = 0;
    virtual int GetQueryKind() = 0;
    virtual int GetStatus() = 0;
    // For an item that could not be read: which one it was (its file, in
    // the user's terms) and the report's line saying why. Empty when the
    // source knows no more than that the item is unreadable.
    virtual std::wstring GetItemName() { return {}; }
    virtual std::wstring GetProblem() { return {}; }
};

class AssetQueryResultBase : public IAssetQueryResult {
public:
    explicit AssetQueryResultBase(int status) : m_status(status) {}
    int GetStatus() override { return m_status; }

protected:
    int m_status;
};

class NewAssetQueryResult : public AssetQueryResultBase {
public:
    NewAssetQueryResult(boost::shared_ptr<IAsset> asset, uint64_t units, std::string assetId,
                        int status)
        : AssetQueryResultBase(status), m_asset(std::move(asset)), m_units(units),
          m_assetId(std::move(assetId))
    {
    }
    boost::shared_ptr<IAsset> GetAsset() override { return m_asset; }
    std::string GetAssetId() override { return m_assetId; }
    uint64_t GetUnits() override { return m_units; }
    int GetQueryKind() override { return kQueryKindNew; }

private:
    boost::shared_ptr<IAsset> m_asset;
    uint64_t m_units;
    std::string m_assetId;
};

// An item the source lists but cannot hand out.
class UnreadableAssetQueryResult : public AssetQueryResultBase {
public:
    UnreadableAssetQueryResult(std::wstring name, std::wstring problem, std::string assetId = {})
        : AssetQueryResultBase(kQueryStatusUnreadable), m_name(std::move(name)),
          m_problem(std::move(problem)), m_assetId(std::move(assetId))
    {
    }
    boost::shared_ptr<IAsset> GetAsset() override { return {}; }
    std::string GetAssetId() override { return m_assetId; }
    uint64_t GetUnits() override { return 0; }
    int GetQueryKind() override { return kQueryKindNew; }
    std::wstring GetItemName() override { return m_name; }
    std::wstring GetProblem() override { return m_problem; }

private:
    std::wstring m_name;
    std::wstring m_problem;
    std::string m_assetId;
};

class DeleteAssetQueryResult : public AssetQueryResultBase {
public:
    DeleteAssetQueryResult(std::string assetId, uint64_t units)
        : AssetQueryResultBase(kQueryStatusReadable), m_assetId(std::move(assetId)), m_units(units)
    {
    }
    boost::shared_ptr<IAsset> GetAsset() override { return {}; }
    std::string GetAssetId() override { return m_assetId; }
    uint64_t GetUnits() override { return m_units; }
    int GetQueryKind() override { return kQueryKindDeleted; }

private:
    std::string m_assetId;
    uint64_t m_units;
};

class IAssetIterator {
public:
    virtual ~IAssetIterator() = default;
    virtual int Begin() = 0;
    virtual int End() = 0;
    virtual boost::shared_ptr<IAssetQueryResult> GetCurrent() = 0;
    virtual void Increment() = 0;
    virtual bool IsValid() = 0;
    // Stores the folder's total units (normally its asset count); answers succeeded.
    virtual int GetUnitCount(int64_t* count) = 0;
    bool HasCurrent() { return IsValid(); }
};

class IAssetFolder : public IKSNotificationSender {
public:
    virtual int GetFolderKind() = 0;
    // -1 until counted.
    virtual int64_t GetAssetCount() = 0;
    virtual std::wstring GetName() = 0;
    virtual std::wstring GetPath() = 0;
    // The location string: a file-system path for file-based folders.
    virtual std::string GetFolderId() = 0;
    virtual boost::shared_ptr<IAssetFolder> GetParent() = 0;
    virtual boost::shared_ptr<IAssetStore> GetStore() = 0;
    virtual Status RefreshAssetCount() = 0;
    virtual int LoadSubFolders() = 0;
    virtual std::vector<boost::shared_ptr<IAssetFolder>> GetSubFolders() = 0;
    virtual size_t GetSubFolderCount() = 0;
    virtual boost::shared_ptr<IAssetFolder> FindSubFolder(const std::wstring& name) = 0;
    // The folder id: the path in UTF-8, URL-escaped.
    virtual std::string GetPathUTF8() = 0;
    virtual boost::shared_ptr<IAssetIterator> GetAssetIterator(
        unsigned queryKind, const boost::shared_ptr<IProgressPresenter>& presenter,
        const boost::shared_ptr<ICancelable>& cancelable, const boost::shared_ptr<ILogger>& logger) = 0;
};

class IAssetFolderMutable : public IAssetFolder {
public:
    virtual boost::shared_ptr<IAssetStoreMutable> GetStoreMutable() = 0;
    virtual boost::shared_ptr<IAssetFolderMutable> CreateSubFolder(const std::wstring& name,
                                                                   unsigned kind,
                                                                   const std::string& sourceId) = 0;
    virtual bool BeginAddAssets(const boost::shared_ptr<IAssetFolder>& source,
                                const boost::shared_ptr<IProgressPresenter>& presenter,
                                const boost::shared_ptr<ILogger>& logger) = 0;
    virtual void EndAddAssets(const boost::shared_ptr<IAssetFolder>& source,
                              const boost::shared_ptr<IProgressPresenter>& presenter,
                              const boost::shared_ptr<ILogger>& logger) = 0;
    virtual AddAssetResult AddAsset(const boost::shared_ptr<IAsset>& asset,
                                    const boost::shared_ptr<IProgressPresenter>& presenter,
                                    const boost::shared_ptr<ILogger>& logger,
                                    const boost::shared_ptr<ICancelable>& cancelable,
                                    const std::string& assetId) = 0;
    virtual std::vector<boost::shared_ptr<IAssetFolderMutable>> GetSubFoldersMutable() = 0;
    virtual std::wstring MakeUniqueSubFolderName(const std::wstring& wished, unsigned kind) = 0;
    virtual void UpdatePath() = 0;
    // The sub-folder standing for a source folder named wishedName. Output
    // folders answer the one made for that name, whatever name it got on
    // disk, and never one made for a different name; others look the name
    // up as it is.
    virtual boost::shared_ptr<IAssetFolder> FindMappedSubFolder(const std::wstring& wishedName)
    {
        return FindSubFolder(wishedName);
    }
};

}  // namespace KestrinMIMEEngineCommon
