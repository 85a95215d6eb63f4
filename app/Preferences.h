// What the window remembers between runs: the last mail folder, the last save
// folder, the output format, the style of the output's names, the window's
// geometry and the recent mail folders. Values are text; the front end stores them where its platform
// keeps settings. Main thread only.
#pragma once

#include <map>
#include <string>
#include <vector>

#include <boost/optional.hpp>

#include "mime/MakeSafeName.h"

namespace KestrinApp {

namespace PreferenceKey {
constexpr const char* kLastMailFolder = "LastMailFolder";
constexpr const char* kLastSaveFolder = "LastSaveFolder";
constexpr const char* kOutputFormat = "OutputFormatIndex";
constexpr const char* kWindowGeometry = "WindowGeometry";  // opaque to the logic
constexpr const char* kRecentMailFolders = "RecentMailFolders";
constexpr const char* kIgnoreEmptyFolders = "IgnoreEmptyFolders";
constexpr const char* kNameStyle = "NameStyle";  // "ascii" or "unicode"
// One entry per mail folder: its location, then the paths of the folders
// left unticked in it, each on its own line; the latest first.
constexpr const char* kUntickedFolders = "UntickedFolders";
constexpr const char* kKeepStoredBytes = "KeepStoredBytes";  // "1": no read/flag lines in mailboxes
}  // namespace PreferenceKey

class IPreferences {
public:
    virtual ~IPreferences() = default;
    virtual boost::optional<std::string> Get(const std::string& key) const = 0;
    virtual void Set(const std::string& key, const std::string& value) = 0;
    virtual std::vector<std::string> GetList(const std::string& key) const = 0;
    virtual void SetList(const std::string& key, const std::vector<std::string>& values) = 0;
};

// For tests and for a run that must leave no trace.
class MemoryPreferences : public IPreferences {
public:
    boost::optional<std::string> Get(const std::string& key) const override;
    void Set(const std::string& key, const std::string& value) override;
    std::vector<std::string> GetList(const std::string& key) const override;
    void SetList(const std::string& key, const std::vector<std::string>& values) override;

private:
    std::map<std::string, std::string> m_values;
    std::map<std::string, std::vector<std::string>> m_lists;
};

// The values a first run starts from; registered at start-up without
// overwriting what the user already has.
void RegisterDefaultPreferences(IPreferences& preferences);

constexpr size_t kRecentMailFolderLimit = 8;

// Puts a folder first in the recent list, without duplicates, at most
// kRecentMailFolderLimit long.
void RememberRecentMailFolder(IPreferences& preferences, const std::string& folder);

// The output format index kept in the preferences, 0 when none or garbled.
int RememberedOutputFormat(const IPreferences& preferences);

// The name style kept in the preferences, ASCII when none or garbled.
KestrinMIMEEngineCommon::NameStyle RememberedNameStyle(const IPreferences& preferences);

constexpr size_t kRememberedTicksLimit = 20;

// The folders left unticked in a mail folder, by their paths in it, kept for
// the next time it is loaded; an empty list forgets the mail folder.
void RememberUntickedFolders(IPreferences& preferences, const std::string& mailFolder,
                             const std::vector<std::string>& untickedPaths);
std::vector<std::string> RememberedUntickedFolders(const IPreferences& preferences,
                                                   const std::string& mailFolder);

// Where the save chooser opens: the remembered folder while it is a folder,
// else the first of Desktop, Documents and the home folder that is one.
std::string SaveChooserStartFolder(const std::string& remembered);

// Dropping onto the window loads a folder only when exactly one item is
// dropped and it is an existing folder. Items that are not local files (web
// addresses) arrive as empty paths.
boost::optional<std::string> AcceptDroppedFolder(const std::vector<std::string>& paths);

}  // namespace KestrinApp
