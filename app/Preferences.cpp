#include "app/Preferences.h"

#include <algorithm>

#include <boost/filesystem/operations.hpp>

#include "app/Source.h"

namespace KestrinApp {

boost::optional<std::string> MemoryPreferences::Get(const std::string& key) const
{
    const auto found = m_values.find(key);
    if (found == m_values.end())
        return boost::none;
    return found->second;
}

void MemoryPreferences::Set(const std::string& key, const std::string& value)
{
    m_values[key] = value;
}

std::vector<std::string> MemoryPreferences::GetList(const std::string& key) const
{
    const auto found = m_lists.find(key);
    return found == m_lists.end() ? std::vector<std::string>() : found->second;
}

void MemoryPreferences::SetList(const std::string& key, const std::vector<std::string>& values)
{
    m_lists[key] = values;
}

void RegisterDefaultPreferences(IPreferences& preferences)
{
    const std::pair<const char*, std::string> defaults[] = {
        {PreferenceKey::kOutputFormat, "1"},
        {PreferenceKey::kIgnoreEmptyFolders, "0"},
        {PreferenceKey::kKeepStoredBytes, "0"},
        {PreferenceKey::kNameStyle, KestrinMIMEEngineCommon::ToString(KestrinMIMEEngineCommon::NameStyle::Ascii)},
        {PreferenceKey::kLastSaveFolder, HomeDirectory() + "/Desktop"},
    };
    for (const auto& entry : defaults)
        if (!preferences.Get(entry.first))
            preferences.Set(entry.first, entry.second);
}

void RememberRecentMailFolder(IPreferences& preferences, const std::string& folder)
{
    if (folder.empty())
        return;
    auto list = preferences.GetList(PreferenceKey::kRecentMailFolders);
    list.erase(std::remove(list.begin(), list.end(), folder), list.end());
    list.insert(list.begin(), folder);
    if (list.size() > kRecentMailFolderLimit)
        list.resize(kRecentMailFolderLimit);
    preferences.SetList(PreferenceKey::kRecentMailFolders, list);
    preferences.Set(PreferenceKey::kLastMailFolder, folder);
}

int RememberedOutputFormat(const IPreferences& preferences)
{
    const auto text = preferences.Get(PreferenceKey::kOutputFormat);
    if (!text || text->size() != 1 || (*text)[0] < '0' || (*text)[0] > '3')
        return 0;
    return (*text)[0] - '0';
}

KestrinMIMEEngineCommon::NameStyle RememberedNameStyle(const IPreferences& preferences)
{
    using KestrinMIMEEngineCommon::NameStyle;
    const auto text = preferences.Get(PreferenceKey::kNameStyle);
    return text ? KestrinMIMEEngineCommon::NameStyleFromString(*text).value_or(NameStyle::Ascii)
                : NameStyle::Ascii;
}

namespace {

// An entry's lines; the first is the mail folder.
std::vector<std::string> EntryLines(const std::string& entry)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start <= entry.size()) {
        const size_t end = std::min(entry.find('\n', start), entry.size());
        lines.push_back(entry.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

}  // namespace

void RememberUntickedFolders(IPreferences& preferences, const std::string& mailFolder,
                             const std::vector<std::string>& untickedPaths)
{
    if (mailFolder.empty())
        return;
    auto entries = preferences.GetList(PreferenceKey::kUntickedFolders);
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [&](const std::string& entry) {
                                     return EntryLines(entry).front() == mailFolder;
                                 }),
                  entries.end());
    if (!untickedPaths.empty()) {
        std::string entry = mailFolder;
        for (const auto& path : untickedPaths)
            entry += "\n" + path;
        entries.insert(entries.begin(), entry);
    }
    if (entries.size() > kRememberedTicksLimit)
        entries.resize(kRememberedTicksLimit);
    preferences.SetList(PreferenceKey::kUntickedFolders, entries);
}

std::vector<std::string> RememberedUntickedFolders(const IPreferences& preferences,
                                                   const std::string& mailFolder)
{
    for (const auto& entry : preferences.GetList(PreferenceKey::kUntickedFolders)) {
        auto lines = EntryLines(entry);
        if (lines.front() == mailFolder) {
            lines.erase(lines.begin());
            return lines;
        }
    }
    return {};
}

std::string SaveChooserStartFolder(const std::string& remembered)
{
    const std::string home = HomeDirectory();
    for (const std::string& folder : {remembered, home + "/Desktop", home + "/Documents"}) {
        boost::system::error_code error;
        if (!folder.empty() && boost::filesystem::is_directory(folder, error))
            return folder;
    }
    return home;
}

boost::optional<std::string> AcceptDroppedFolder(const std::vector<std::string>& paths)
{
    if (paths.size() != 1 || paths[0].empty())
        return boost::none;
    boost::system::error_code error;
    if (!boost::filesystem::is_directory(paths[0], error))
        return boost::none;
    return paths[0];
}

}  // namespace KestrinApp
