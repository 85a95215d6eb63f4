// The keyed state the application's steps pass to one another. One object per
// process; a key keeps its value until it is overwritten, so repeated exports
// see the options of earlier ones.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <boost/optional.hpp>
#include <boost/thread/mutex.hpp>
#include <boost/variant.hpp>

namespace KestrinApp {

class FolderNodeData;
using FolderNodeList = std::vector<std::shared_ptr<FolderNodeData>>;

namespace StateKey {
constexpr const char* kMailFolderPath = "MailFolderPath";
constexpr const char* kSelectedItems = "SelectedItems";
constexpr const char* kExportPath = "ExportPath";
constexpr const char* kLogReportPath = "LogReportPath";
constexpr const char* kBriefReportPath = "BriefReportPath";  // the report text itself
constexpr const char* kExportResult = "ExportResult";
constexpr const char* kSourceFormatKey = "SourceFormatKey";
constexpr const char* kTargetFormatKey = "TargetFormatKey";
constexpr const char* kMergeContacts = "MergeContacts";  // present only when on
constexpr const char* kMergeCalendar = "MergeCalendar";  // present only when on
constexpr const char* kNameStyle = "NameStyle";          // "ascii" (also when absent) or "unicode"
}  // namespace StateKey

class AppStateData {
public:
    using Value = boost::variant<bool, int64_t, std::string, FolderNodeList>;

    AppStateData() = default;
    AppStateData(const AppStateData&) = delete;
    AppStateData& operator=(const AppStateData&) = delete;

    // The process-wide instance the front ends share.
    static AppStateData& GetSingleton();

    void Set(const std::string& key, Value value);
    boost::optional<Value> Get(const std::string& key) const;
    bool Has(const std::string& key) const;
    void ResetData();

    // Typed readers: empty when the key is absent or holds another type.
    boost::optional<std::string> GetString(const std::string& key) const;
    boost::optional<int64_t> GetInteger(const std::string& key) const;
    // Present and true.
    bool IsSet(const std::string& key) const;
    FolderNodeList GetNodes(const std::string& key) const;

    // The main window, opaque to the logic; the front end keeps it here.
    void* MainWindow() const { return m_mainWindow; }
    void SetMainWindow(void* window) { m_mainWindow = window; }

private:
    mutable boost::mutex m_mutex;
    std::map<std::string, Value> m_state;
    void* m_mainWindow = nullptr;
};

}  // namespace KestrinApp
