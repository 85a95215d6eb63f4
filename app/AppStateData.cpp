#include "app/AppStateData.h"

namespace KestrinApp {

AppStateData& AppStateData::GetSingleton()
{
    static AppStateData instance;
    return instance;
}

void AppStateData::Set(const std::string& key, Value value)
{
    boost::mutex::scoped_lock lock(m_mutex);
    m_state[key] = std::move(value);
}

boost::optional<AppStateData::Value> AppStateData::Get(const std::string& key) const
{
    boost::mutex::scoped_lock lock(m_mutex);
    const auto found = m_state.find(key);
    if (found == m_state.end())
        return boost::none;
    return found->second;
}

bool AppStateData::Has(const std::string& key) const
{
    boost::mutex::scoped_lock lock(m_mutex);
    return m_state.count(key) != 0;
}

void AppStateData::ResetData()
{
    boost::mutex::scoped_lock lock(m_mutex);
    m_state.clear();
}

namespace {

// The value's content when it holds a T; null when absent or of another type.
template <class T>
const T* Held(const boost::optional<AppStateData::Value>& value)
{
    return value ? boost::get<T>(&*value) : nullptr;
}

}  // namespace

boost::optional<std::string> AppStateData::GetString(const std::string& key) const
{
    const auto value = Get(key);
    if (const auto* text = Held<std::string>(value))
        return *text;
    return boost::none;
}

boost::optional<int64_t> AppStateData::GetInteger(const std::string& key) const
{
    const auto value = Get(key);
    if (const auto* number = Held<int64_t>(value))
        return *number;
    if (const auto* flag = Held<bool>(value))
        return *flag ? 1 : 0;
    return boost::none;
}

bool AppStateData::IsSet(const std::string& key) const
{
    const auto value = Get(key);
    if (!value)
        return false;
    if (const auto* flag = Held<bool>(value))
        return *flag;
    if (const auto* number = Held<int64_t>(value))
        return *number != 0;
    return true;
}

FolderNodeList AppStateData::GetNodes(const std::string& key) const
{
    const auto value = Get(key);
    if (const auto* nodes = Held<FolderNodeList>(value))
        return *nodes;
    return {};
}

}  // namespace KestrinApp
