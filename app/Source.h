// Opening the mail to convert: a path becomes an opened source, the loaded
// store with its folder tree as it was at load time. The command line opens
// one and converts it; the window opens one, shows its tree and converts the
// folders ticked in it, without reading the mail folder again.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <boost/optional.hpp>
#include <boost/shared_ptr.hpp>

#include "app/Seams.h"
#include "assets/IAssetFolder.h"
#include "assets/IAssetStore.h"
#include "assets/IProgressPresenter.h"

namespace KestrinApp {

using KestrinMIMEEngineCommon::IAssetFolder;
using KestrinMIMEEngineCommon::IAssetStore;
using KestrinMIMEEngineCommon::ICancelable;
using KestrinMIMEEngineCommon::Status;

// One folder of a source as loaded: counts and names are taken once and
// never refreshed. Folders of the kinds never shown (notes, tasks, the
// unused kind) are left out with everything below them.
struct SourceFolder {
    boost::shared_ptr<IAssetFolder> folder;
    // The folder's kind, a generic folder (7) taken as a mail folder (4).
    int kind = 0;
    // Messages, or bytes for stores whose counts are sizes; -1 when not counted.
    int64_t count = -1;
    // The store's name for the store's own row, the folder's display name otherwise.
    std::wstring name;
    // The emphasised count part of the row: "  [42]", or "  [1.5 KB]" for
    // stores whose counts are byte sizes; empty unless the count is above 0.
    std::wstring countText;
    // The folder's path as the folder list names it ("/INBOX/").
    std::string path;
    std::vector<std::shared_ptr<const SourceFolder>> children;

    std::wstring RowText() const { return name + countText; }
    // Whether this folder or one below it was counted above 0.
    bool HoldsMessages() const;
};

// The tree below (and including) a store's root folder; empty for no folder
// or one of a kind never shown.
std::shared_ptr<const SourceFolder> DescribeFolders(const boost::shared_ptr<IAssetFolder>& root);

// The folders of the tree at any of the paths ("INBOX", "/INBOX" and
// "/INBOX/" alike), each with everything below it, in tree order and each
// once; every folder when no path is given. The store's own row is never
// among them. A path that no folder has is named in missingPath (as the
// folder list spells it), and nothing is selected.
std::vector<std::shared_ptr<const SourceFolder>> SelectFolders(
    const std::shared_ptr<const SourceFolder>& root, const std::vector<std::string>& paths,
    std::string* missingPath);
// "/INBOX/" for "INBOX" and "/INBOX".
std::string NormalizeFolderPath(std::string path);

// A loaded mail folder. The store stays open while anyone holds this; the
// last holder closes it.
class OpenedSource {
public:
    // store is open; its folder tree is described at once.
    OpenedSource(std::string path, boost::shared_ptr<IAssetStore> store);
    ~OpenedSource();
    OpenedSource(const OpenedSource&) = delete;
    OpenedSource& operator=(const OpenedSource&) = delete;

    // The path it was opened by, as given.
    const std::string& Path() const { return m_path; }
    const boost::shared_ptr<IAssetStore>& Store() const { return m_store; }
    KestrinMIMEEngineCommon::StoreKind StoreKind() const { return m_storeKind; }
    // The store's own row with the folders below; empty when the store has no root.
    const std::shared_ptr<const SourceFolder>& Root() const { return m_root; }
    // Closes the store now rather than with the last holder.
    void Close();

private:
    std::string m_path;
    boost::shared_ptr<IAssetStore> m_store;
    KestrinMIMEEngineCommon::StoreKind m_storeKind;
    std::shared_ptr<const SourceFolder> m_root;
    bool m_closed = false;
};

// What opening a source tells its caller, on the thread that opens it.
class LoadObserver {
public:
    virtual ~LoadObserver() = default;
    // What is being read (a folder's or a message's name).
    virtual void LoadMessage(const std::wstring& text) {}
    // The file or folder being read.
    virtual void LoadPath(const std::wstring& text) {}
    // Asked while reading; true gives up.
    virtual bool IsCanceled() { return false; }
};

// Why a load gave no source.
enum class LoadFailure {
    None,        // loaded, or canceled
    NoMailData,  // the folder holds no mail of any kind the reader knows
    ReadFailed,  // the reader found mail but could not read it
};
const char* ToString(LoadFailure failure);

struct LoadResult {
    Status status = Status::Failed;
    LoadFailure failure = LoadFailure::None;
    std::shared_ptr<OpenedSource> source;  // when loaded
    // The kind of the store made, even when it did not open; none when none was made.
    boost::optional<KestrinMIMEEngineCommon::StoreKind> storeKind;
    // Why it failed, in the user's terms, when that is known: the whole
    // message for NoMailData, the cause the reader or the system found for
    // ReadFailed.
    std::string reason;
};

// What a store factory throws for a folder in which it finds no mail data
// at all; what() is NoMailDataMessage(folder).
class NoMailDataFound : public std::runtime_error {
public:
    explicit NoMailDataFound(const std::string& folder);
};
// "No Apple Mail data was found in <folder>. Choose ..."
std::string NoMailDataMessage(const std::string& folder);

// Creates the unopened store that can read a folder; empty when none can.
// Throws NoMailDataFound for a folder that holds no mail.
using StoreFactory = std::function<boost::shared_ptr<IAssetStore>(
    const std::string& path, const boost::shared_ptr<ICancelable>& cancelable)>;

// The Apple Mail reader's choice of store, named "Apple Mail Database". A
// folder without an Envelope Index, mailbox bundles, mailbox trees or
// exported mailboxes is refused with NoMailDataFound.
StoreFactory MakeAppleMailStoreFactory();
// SQLite's words for a database file that does not answer a first query
// ("<path>: database disk image is malformed"); empty when it answers.
std::string DescribeDatabaseDamage(const std::string& databasePath);

// Reads a mail folder, on the calling thread: the store the factory makes
// for it, opened with its folder tree. Never throws: a reader's exception
// is a failure with its reason (and a line on standard error).
LoadResult OpenSource(const std::string& path, LoadObserver& observer,
                      const StoreFactory& factory = MakeAppleMailStoreFactory());

// Why a folder could not be loaded, in the user's terms, as far as the file
// system tells: "The folder ... does not exist.", "Permission denied: ...",
// "... is not a database" for an Envelope Index that is no SQLite file,
// SQLite's own words for one that is damaged. Empty when nothing is found
// wrong.
std::string DescribeLoadFailure(const std::string& path);
// What the load-error alert advises after the reason (the privacy settings
// on macOS).
std::string LoadErrorAdvice();
// The alert for a failed load: the reason first, in the system's words,
// then the advice. storeHeld: a store is still loaded while it shows.
AlertText LoadErrorAlert(const std::string& reason, bool storeHeld);
// The alert for a load that failed: the plain no-mail message for a folder
// without mail, the load error with its cause otherwise.
AlertText LoadFailureAlert(const LoadResult& result, bool storeHeld);

// The user's home folder ($HOME) and the mail folder in it.
std::string HomeDirectory();
std::string DefaultMailFolder();

}  // namespace KestrinApp
