#include "assets/AssetFolderBase.h"

#include <algorithm>
#include <memory>

#include <boost/lexical_cast.hpp>
#include <boost/thread/lock_guard.hpp>
#include <glib.h>

#include "mime/GMimeObject.h"
#include "mime/KSCharsets.h"
#include "mime/MakeSafeName.h"

namespace KestrinMIMEEngineCommon {

namespace {

// The last component of a location, ignoring trailing separators, so that
// "/Users/x/Mail/Work.mbox/" still names the folder "Work.mbox".
std::string LastPathComponent(const std::string& location)
{
    size_t end = location.find_last_not_of('/');
    if (end == std::string::npos) return std::string();
    size_t start = location.find_last_of('/', end);
    start = (start == std::string::npos) ? 0 : start + 1;
    return location.substr(start, end + 1 - start);
}

}  // namespace

int KSNextSenderTypeId()
{
    static std::atomic<int> counter{0};
    return ++counter;
}

bool FolderIdLess::operator()(const boost::shared_ptr<IAssetFolder>& a,
                              const boost::shared_ptr<IAssetFolder>& b) const
{
    return a->GetPathUTF8() < b->GetPathUTF8();
}

AssetFolderBase::AssetFolderBase(const std::wstring& name, const std::string& location,
                                 const boost::shared_ptr<IAssetStore>& store,
                                 const boost::shared_ptr<IAssetFolder>& parent,
                                 bool isDefaultFolder)
    : m_kind(parent ? kFolderKindGeneric : kFolderKindRoot),
      m_name(name.empty() ? UTF8ToWide(LastPathComponent(location)) : name),
      m_location(location),
      m_store(store),
      m_parent(parent),
      m_isDefaultFolder(isDefaultFolder)
{
    AssetFolderBase::UpdatePath();
}

AssetFolderBase::~AssetFolderBase() = default;

int AssetFolderBase::GetSenderTypeId()
{
    static const int typeId = KSNextSenderTypeId();
    return typeId;
}

int AssetFolderBase::LoadSubFolders()
{
    boost::lock_guard<boost::recursive_mutex> guard(m_mutex);
    m_childrenLoaded = true;
    return 0;
}

std::vector<boost::shared_ptr<IAssetFolder>> AssetFolderBase::GetSubFolders()
{
    boost::lock_guard<boost::recursive_mutex> guard(m_mutex);
    LoadSubFolders();
    return std::vector<boost::shared_ptr<IAssetFolder>>(m_children.begin(), m_children.end());
}

std::vector<boost::shared_ptr<IAssetFolderMutable>> AssetFolderBase::GetSubFoldersMutable()
{
    boost::lock_guard<boost::recursive_mutex> guard(m_mutex);
    LoadSubFolders();
    std::vector<boost::shared_ptr<IAssetFolderMutable>> out;
    out.reserve(m_children.size());
    for (const auto& child : m_children) {
        if (auto mutableChild = boost::dynamic_pointer_cast<IAssetFolderMutable>(child))
            out.push_back(mutableChild);
    }
    return out;
}

size_t AssetFolderBase::GetSubFolderCount()
{
    boost::lock_guard<boost::recursive_mutex> guard(m_mutex);
    return m_children.size();
}

boost::shared_ptr<IAssetFolder> AssetFolderBase::FindSubFolder(const std::wstring& name)
{
    boost::lock_guard<boost::recursive_mutex> guard(m_mutex);
    LoadSubFolders();
    EnsureChildIndex();
    auto bucket = m_childrenByKey.find(FileSystemNameKey(name));
    if (bucket == m_childrenByKey.end()) return {};
    // The first in set order among the children of exactly that name.
    boost::shared_ptr<IAssetFolder> found;
    for (const auto& child : bucket->second) {
        if (child->GetName() != name) continue;
        if (!found || FolderIdLess()(child, found)) found = child;
    }
    return found;
}

boost::shared_ptr<IAssetFolder> AssetFolderBase::FindSubFolderById(const std::string& id)
{
    boost::lock_guard<boost::recursive_mutex> guard(m_mutex);
    LoadSubFolders();
    EnsureChildIndex();
    auto found = m_childrenById.find(id);
    return found == m_childrenById.end() ? boost::shared_ptr<IAssetFolder>() : found->second;
}

bool AssetFolderBase::HasSubFolderNamedAlike(const std::wstring& name)
{
    boost::lock_guard<boost::recursive_mutex> guard(m_mutex);
    LoadSubFolders();
    EnsureChildIndex();
    auto bucket = m_childrenByKey.find(FileSystemNameKey(name));
    return bucket != m_childrenByKey.end() && !bucket->second.empty();
}

void AssetFolderBase::IndexChild(const boost::shared_ptr<IAssetFolder>& child)
{
    m_childrenByKey[FileSystemNameKey(child->GetName())].push_back(child);
    m_childrenById[child->GetPathUTF8()] = child;
    ++m_indexedCount;
}

void AssetFolderBase::RemoveChildEntry(const boost::shared_ptr<IAssetFolder>& child)
{
    boost::lock_guard<boost::recursive_mutex> guard(m_mutex);
    if (m_children.erase(child) == 0) return;
    if (!m_indexValid) return;
    auto byId = m_childrenById.find(child->GetPathUTF8());
    auto bucket = m_childrenByKey.find(FileSystemNameKey(child->GetName()));
    if (byId == m_childrenById.end() || byId->second != child || bucket == m_childrenByKey.end()) {
        m_indexValid = false;
        return;
    }
    m_childrenById.erase(byId);
    auto& named = bucket->second;
    named.erase(std::remove(named.begin(), named.end(), child), named.end());
    if (named.empty()) m_childrenByKey.erase(bucket);
    --m_indexedCount;
}

void AssetFolderBase::InsertChildEntry(const boost::shared_ptr<IAssetFolder>& child)
{
    boost::lock_guard<boost::recursive_mutex> guard(m_mutex);
    if (m_children.insert(child).second && m_indexValid) IndexChild(child);
}

void AssetFolderBase::EnsureChildIndex()
{
    if (m_indexValid && m_indexedCount == m_children.size()) return;
    m_childrenByKey.clear();
    m_childrenById.clear();
    m_indexedCount = 0;
    for (const auto& child : m_children) IndexChild(child);
    m_indexValid = true;
}

std::string AssetFolderBase::GetPathUTF8()
{
    return m_id;
}

std::string AssetFolderBase::EscapedId(const std::wstring& path)
{
    // Every byte but the unreserved ones (letters, digits, "-._~") becomes
    // %XX. GLib stops at a NUL byte, so each one is escaped here.
    const std::string utf8 = WideToUTF8(path);
    std::string escaped;
    size_t start = 0;
    for (;;) {
        const size_t nul = utf8.find('\0', start);
        const std::string piece =
            utf8.substr(start, nul == std::string::npos ? std::string::npos : nul - start);
        const GCharPtr text(g_uri_escape_string(piece.c_str(), nullptr, FALSE));
        if (text) escaped += text.get();
        if (nul == std::string::npos) return escaped;
        escaped += "%00";
        start = nul + 1;
    }
}

boost::shared_ptr<IAssetStoreMutable> AssetFolderBase::GetStoreMutable()
{
    return boost::dynamic_pointer_cast<IAssetStoreMutable>(m_store.lock());
}

boost::shared_ptr<IAssetFolderMutable> AssetFolderBase::CreateSubFolder(const std::wstring&, unsigned,
                                                                        const std::string&)
{
    return {};
}

std::wstring AssetFolderBase::MakeUniqueSubFolderName(const std::wstring& wished, unsigned kind)
{
    boost::lock_guard<boost::recursive_mutex> guard(m_mutex);
    if (!FindSubFolder(wished)) return wished;
    for (int64_t n = 1;; ++n) {
        std::wstring candidate = wished + L" (" + boost::lexical_cast<std::wstring>(n) + L")";
        if (!FindSubFolder(candidate)) return candidate;
    }
}

void AssetFolderBase::UpdatePath()
{
    boost::shared_ptr<IAssetFolder> parent = m_parent.lock();
    if (!parent) {
        m_path = L"/";
        m_id = EscapedId(m_path);
        return;
    }
    m_path = parent->GetPath();
    if (!m_name.empty()) m_path += m_name + L"/";
    // Kept with the path: children sets compare ids at every insertion.
    m_id = EscapedId(m_path);
    // The children's ids follow this path.
    m_indexValid = false;
    // Children keep their order: every id gains the same escaped prefix.
    for (const auto& child : m_children) {
        if (auto mutableChild = boost::dynamic_pointer_cast<IAssetFolderMutable>(child))
            mutableChild->UpdatePath();
    }
}

bool AssetFolderBase::AddChild(const boost::shared_ptr<AssetFolderBase>& child)
{
    if (!child) return false;
    boost::lock_guard<boost::recursive_mutex> guard(m_mutex);
    if (child->GetStore() != GetStore()) return false;

    boost::weak_ptr<IAssetFolder> previousParent = child->m_parent;
    child->m_parent = boost::static_pointer_cast<IAssetFolder>(shared_from_this());
    child->UpdatePath();
    auto inserted = m_children.insert(child);
    if (!inserted.second && *inserted.first != child) {
        // A different child already holds this id; linking a second one would
        // leave it unreachable, so the new child stays where it was.
        child->m_parent = previousParent;
        child->UpdatePath();
        return false;
    }
    if (m_indexValid) IndexChild(child);
    return true;
}

}  // namespace KestrinMIMEEngineCommon
