#include "export/ExportDriver.h"

#include <cerrno>
#include <exception>
#include <memory>
#include <string>

#include <boost/filesystem/operations.hpp>
#include <boost/lexical_cast.hpp>

#include "assets/IAssetStore.h"
#include "export/AppInfo.h"
#include "mime/KSCharsets.h"

namespace KestrinMIMEEngineCommon {

namespace {

const std::wstring kSeparatorDouble(70, L'=');
const std::wstring kSeparatorSingle(70, L'-');

std::wstring Number(int64_t value) { return boost::lexical_cast<std::wstring>(value); }

// The item in the user's terms: its log description on one line, or, for
// an item that could not be read at all, its file or the source's id.
std::wstring ItemName(const boost::shared_ptr<IAsset>& asset,
                      const boost::shared_ptr<IAssetQueryResult>& result)
{
    std::wstring name = asset ? asset->GetDescription() : std::wstring();
    for (size_t at = name.find(L"\r\n"); at != std::wstring::npos; at = name.find(L"\r\n", at))
        name.replace(at, 2, L"; ");
    if (name.empty() && result) name = result->GetItemName();
    if (name.empty() && result) name = UTF8ToWide(result->GetAssetId());
    return name.empty() ? std::wstring(L"(unreadable item)") : name;
}

bool HasNote(const IAsset& asset, AssetNoteKind kind)
{
    for (const AssetNote& note : asset.GetNotes())
        if (note.kind == kind) return true;
    return false;
}

ExportItemOutcome ConvertedOutcome(IAsset& asset)
{
    const uint16_t flags = asset.GetAssetFlags();
    if (HasNote(asset, AssetNoteKind::Damaged)) return ExportItemOutcome::ConvertedDamaged;
    if (flags & kAssetFlagHeaderOnly) return ExportItemOutcome::ConvertedHeaderOnly;
    if (flags & kAssetFlagIncomplete) return ExportItemOutcome::ConvertedNotFullyDownloaded;
    if (HasNote(asset, AssetNoteKind::Repaired)) return ExportItemOutcome::ConvertedRepaired;
    return ExportItemOutcome::Converted;
}

// The report's line for a note: damage is an error to look for, a repair
// only a note.
std::wstring NoteLine(const AssetNote& note)
{
    switch (note.kind) {
    case AssetNoteKind::Damaged: return L"ERROR : " + note.text;
    case AssetNoteKind::Repaired: break;
    }
    return L"NOTE : " + note.text;
}

// What a refused write means for the rest of the export. A full disk, a
// read-only file system or a used-up quota refuses every further message
// alike; trying each one would only list thousands of failures and push the
// report itself off the disk. A missing file or folder ends the export only
// when the output store's own folder is gone: one folder removed by hand
// leaves the others writable.
// Whether the output store's own folder (or package) has gone.
bool OutputStoreGone(const boost::shared_ptr<IAssetStore>& store)
{
    boost::system::error_code error;
    return store && !store->GetLocation().empty() && !boost::filesystem::exists(store->GetLocation(), error);
}

OutputStop StopFor(int systemError, IAssetFolderMutable& output)
{
    switch (systemError) {
    case ENOSPC: return OutputStop::NoSpace;
    case EROFS: return OutputStop::ReadOnly;
    case EDQUOT: return OutputStop::Quota;
    case ENOENT: return OutputStoreGone(output.GetStore()) ? OutputStop::OutputRemoved : OutputStop::None;
    default: return OutputStop::None;
    }
}

// One export's state while the driver walks the selection.
class ExportPass {
public:
    ExportPass(ExportSummary& summary, const boost::shared_ptr<ICancelableProgressPresenter>& presenter,
               const boost::shared_ptr<ILogger>& logger,
               const boost::shared_ptr<ICancelable>& cancelable,
               const boost::shared_ptr<IOutputStoreProvider>& provider, unsigned queryKind,
               bool useDefaultFolder, IExportEvents* events, const ExportQueueLimits& limits)
        : m_summary(summary), m_presenter(presenter), m_logger(logger), m_cancelable(cancelable),
          m_provider(provider), m_queryKind(queryKind), m_useDefaultFolder(useDefaultFolder),
          m_events(events), m_limits(limits)
    {
    }

    // Every further write would be refused alike: the cause and where go
    // into the report, and the caller stops the export.
    void StopOnOutput(OutputStop stop, const std::string& path)
    {
        m_summary.stop = stop;
        m_summary.stopPath = path;
        Log(L"ERROR : " + UTF8ToWide(StopCause(stop)) + L" while writing " + UTF8ToWide(path) +
                L". The export stopped here; no further messages were tried.",
            true);
    }

    void Tell(ExportItemOutcome outcome, const boost::shared_ptr<IAsset>& asset,
              const boost::shared_ptr<IAssetQueryResult>& result,
              const boost::shared_ptr<IAssetFolderMutable>& output)
    {
        if (!m_events) return;
        std::wstring name = ItemName(asset, result);
        if (outcome == ExportItemOutcome::ConvertedDamaged || outcome == ExportItemOutcome::ConvertedRepaired)
            for (const AssetNote& note : asset->GetNotes()) name += L" \u2014 " + note.text;
        if (asset && output && outcome != ExportItemOutcome::Failed && outcome != ExportItemOutcome::Skipped)
            m_events->ItemState(asset->GetState());
        m_events->ItemDone(outcome, name, output);
    }

    void Log(const std::wstring& text, bool toReport)
    {
        if (m_logger) m_logger->Log(text, toReport, true);
    }

    void AnnounceStore(const boost::shared_ptr<IAssetFolder>& folder)
    {
        boost::shared_ptr<IAssetStore> store = folder->GetStore();
        if (m_haveStore && store == m_currentStore) return;
        m_haveStore = true;
        m_currentStore = store;
        const std::wstring location = store ? UTF8ToWide(store->GetLocation()) : std::wstring();
        Log(L"Processing Content From: " + location, true);
        if (store)
            for (const std::wstring& note : store->GetReportNotes()) Log(note, true);
        if (m_presenter) m_presenter->PostStoreMessage(location);
    }

    // The folder's items, from the iterator request to the folder's end
    // lines. A loader thread lists the folder and builds its items while
    // this thread writes them; exceptions of either are left to the caller.
    // The next folder (when given) is listed on that thread as soon as this
    // one's listing is over, while this one's last items are written: with
    // many small folders, waiting for each folder's first item cost more
    // than the items.
    void ExportFolder(const boost::shared_ptr<IAssetFolder>& folder,
                      const boost::shared_ptr<IAssetFolder>& next)
    {
        const boost::shared_ptr<IProgressPresenter> presenter = m_presenter;
        std::unique_ptr<FolderLoader> current;
        if (m_nextLoader && m_nextFolder == folder)
            current = std::move(m_nextLoader);
        else
            current = std::make_unique<FolderLoader>(folder, m_queryKind, m_limits, &m_loaderThread,
                                                     m_gate);
        m_nextLoader.reset();
        m_nextFolder = next;
        if (next)
            m_nextLoader = std::make_unique<FolderLoader>(next, m_queryKind, m_limits,
                                                          &m_loaderThread, m_gate);
        FolderLoader& loader = *current;
        // An exception ends the export: the next folder's loader is told to
        // stop before this one is stopped, so that it never begins.
        struct StopNextOnThrow {
            ExportPass& pass;
            const int pending = std::uncaught_exceptions();
            ~StopNextOnThrow()
            {
                if (std::uncaught_exceptions() > pending) pass.StopNextFolder();
            }
        } stopNextOnThrow{*this};
        LoadedEntry entry = Take(loader);
        if (entry.kind == LoadedEntry::Kind::NoIterator) return;
        const int64_t units = entry.units;
        if (m_presenter) {
            m_presenter->SetTotalUnits(units);
            m_presenter->SetFolderText(L"Folder: " + folder->GetName());
        }

        int64_t folderProcessed = 0;
        int64_t listed = 0;
        boost::shared_ptr<IAssetFolderMutable> output;
        for (;;) {
            entry = Take(loader);
            if (entry.kind == LoadedEntry::Kind::End) break;
            boost::shared_ptr<IAssetQueryResult> result = std::move(entry.result);
            boost::shared_ptr<IAsset> asset = std::move(entry.asset);
            listed += 1;
            if (m_cancelable && m_cancelable->IsCanceled()) {
                m_summary.status = Status::Canceled;
                // Nothing the loaders built ahead is written, and the next
                // folder's never begins (the export drops it after this one).
                StopNextFolder();
                loader.Stop();
                break;
            }
            // A readable entry without an item is as unusable as an
            // unreadable one; counting it keeps the totals honest.
            const bool deleted = result && result->GetQueryKind() == kQueryKindDeleted;
            if (!result || result->GetStatus() == kQueryStatusUnreadable || (!asset && !deleted)) {
                m_summary.failed += 1;
                m_summary.status = Status::Failed;
                const std::wstring problem = result ? result->GetProblem() : std::wstring();
                if (!problem.empty())
                    Log(problem, true);
                else
                    Log(L"ERROR : Failed to retrieve item from data source. Please check if backup "
                        L"location is accessible or network issue in case backup is stored at cloud.",
                        false);
                Tell(ExportItemOutcome::Failed, asset, result, nullptr);
                continue;
            }
            if (deleted) {
                Tell(ExportItemOutcome::Skipped, asset, result, nullptr);
                continue;
            }

            const std::wstring description = asset->GetDescription();
            if (m_presenter) m_presenter->PostItemMessage(description);
            Log(description, false);
            Log(L"", false);
            // What reading the item found amiss is told whatever becomes of
            // it, in the report as well: a person must see it.
            const size_t notesRead = asset->GetNotes().size();
            for (const AssetNote& note : asset->GetNotes()) Log(NoteLine(note), true);

            boost::shared_ptr<IAssetFolderMutable> target =
                m_provider ? m_provider->GetOutputFolder(folder, asset, m_useDefaultFolder)
                           : boost::shared_ptr<IAssetFolderMutable>();
            if (!target) {
                // The message reaches no output: that is a failed item, and the
                // export must not end as a success.
                m_summary.failed += 1;
                m_summary.status = Status::Failed;
                // No folder can be made once the output itself was taken
                // away: every further message would fail alike.
                if (OutputStoreGone(m_outputStore)) {
                    StopOnOutput(OutputStop::OutputRemoved, m_outputStore->GetLocation());
                    Tell(ExportItemOutcome::Failed, asset, result, nullptr);
                    StopNextFolder();
                    loader.Stop();
                    break;
                }
                Log(L"Failed to map this folder for current asset.", false);
                Tell(ExportItemOutcome::Failed, asset, result, nullptr);
                continue;
            }
            if (target->GetStore()) m_outputStore = target->GetStore();
            if (target != output) {
                if (output) CloseOutput(output, folder);
                target->BeginAddAssets(folder, presenter, m_logger);
                output = target;
            }

            AddAssetResult added =
                target->AddAsset(asset, presenter, m_logger, m_cancelable, result->GetAssetId());
            if (added.code == AddAssetCode::Written) {
                m_summary.processed += 1;
                folderProcessed += 1;
                const ExportItemOutcome outcome = ConvertedOutcome(*asset);
                // A message written cut short is not a success of the run.
                if (outcome == ExportItemOutcome::ConvertedDamaged) {
                    m_summary.damaged += 1;
                    m_summary.status = Status::Failed;
                }
                Tell(outcome, asset, result, target);
            } else {
                m_summary.failed += 1;
                m_summary.status = Status::Failed;
                // Why the item could not be written, when reading it again
                // said so.
                const std::vector<AssetNote>& notes = asset->GetNotes();
                for (size_t at = notesRead; at < notes.size(); ++at) Log(NoteLine(notes[at]), true);
                const OutputStop stop = StopFor(added.systemError, *target);
                if (stop != OutputStop::None) {
                    StopOnOutput(stop, !added.text.empty() || !target->GetStore()
                                           ? added.text
                                           : target->GetStore()->GetLocation());
                } else {
                    Log(L"ERROR : Error occurred while converting this item.\r\n", false);
                }
                Tell(ExportItemOutcome::Failed, asset, result, target);
                if (stop != OutputStop::None) {
                    StopNextFolder();
                    loader.Stop();
                    break;
                }
            }
            if (m_presenter) m_presenter->AdvanceProgress(result->GetUnits());
        }
        if (output) CloseOutput(output, folder);
        if (m_summary.status != Status::Canceled && m_summary.stop == OutputStop::None) {
            // What the iterator's End() said follows the last output's lines.
            entry.atEnd.Replay(m_logger.get(), m_presenter.get());
            if (entry.error) std::rethrow_exception(entry.error);
            if (entry.brokeOff) FolderBrokeOff(folder, units - listed);
        }

        Log(kSeparatorSingle, false);
        Log(L"End processing Folder: " + folder->GetName(), false);
        Log(L"Processed Item Count: " + Number(folderProcessed), true);
        Log(L"", true);
    }

    // Tells the next folder's loader to build nothing, without waiting: its
    // job is queued behind this folder's, which must be stopped first.
    void StopNextFolder()
    {
        if (m_nextLoader) m_nextLoader->RequestStop();
    }

    // Stops the next folder's loader: the export ends before it.
    void DropNextFolder()
    {
        m_nextLoader.reset();
        m_nextFolder.reset();
    }

    void LogSummary()
    {
        Log(kSeparatorSingle, true);
        switch (m_summary.status) {
        case Status::Failed:
            // Every message was written, but some only as far as their
            // files went: problems, not failures.
            if (m_summary.failed == 0 && m_summary.damaged > 0)
                Log(L"Operation completed with problems. Please look for ERROR in export log "
                    L"emitted above.\n",
                    true);
            else
                Log(L"Operation completed with errors. Please look for ERROR in export log emitted "
                    L"above.\n",
                    true);
            break;
        case Status::Canceled: Log(L"Operation canceled by user.\n", true); break;
        default: Log(L"Operation completed successfully.\n", true); break;
        }
        if (m_summary.processed > 0)
            Log(L"Total number of items processed:" + Number(m_summary.processed), true);
        if (m_summary.damaged > 0)
            Log(L"Total number of items damaged (written cut short):" + Number(m_summary.damaged), true);
        if (m_summary.failed > 0) {
            const std::string contact =
                " (Please contact our Support Team for assistance at " + SupportAddress() + ")";
            Log(L"Total number of items failed:" + Number(m_summary.failed) + UTF8ToWide(contact),
                true);
        }
    }

private:
    // The loader's next entry, after what the iterator said while making it;
    // what the iterator threw is thrown here, in its place.
    LoadedEntry Take(FolderLoader& loader)
    {
        LoadedEntry entry = loader.Next();
        entry.before.Replay(m_logger.get(), m_presenter.get());
        if (entry.kind == LoadedEntry::Kind::Failed) std::rethrow_exception(entry.error);
        return entry;
    }

    // A listing that ended early (the iterator's Begin or End answered an
    // error) must not pass for the folder's end: what the folder announced
    // but did not hand out counts as failed.
    void FolderBrokeOff(const boost::shared_ptr<IAssetFolder>& folder, int64_t unlisted)
    {
        m_summary.status = Status::Failed;
        if (unlisted > 0) m_summary.failed += unlisted;
        Log(L"ERROR : Folder " + folder->GetPath() + L" could not be read completely" +
                (unlisted > 0 ? L"; " + Number(unlisted) + L" items were not read." : L"."),
            true);
    }

    void CloseOutput(const boost::shared_ptr<IAssetFolderMutable>& output,
                     const boost::shared_ptr<IAssetFolder>& source)
    {
        output->EndAddAssets(source, m_presenter, m_logger);
        boost::shared_ptr<IAssetStore> store = output->GetStore();
        const std::wstring location = store ? UTF8ToWide(store->GetLocation()) : std::wstring();
        Log(kSeparatorSingle, false);
        Log(L"Saved As: " + location + output->GetPath(), false);
        Log(L"", true);
    }

    ExportSummary& m_summary;
    boost::shared_ptr<ICancelableProgressPresenter> m_presenter;
    boost::shared_ptr<ILogger> m_logger;
    boost::shared_ptr<ICancelable> m_cancelable;
    boost::shared_ptr<IOutputStoreProvider> m_provider;
    unsigned m_queryKind;
    bool m_useDefaultFolder;
    IExportEvents* m_events;
    ExportQueueLimits m_limits;
    bool m_haveStore = false;
    boost::shared_ptr<IAssetStore> m_currentStore;
    // The store the last message was written to: when it is gone, the
    // export stops rather than fail every message left.
    boost::shared_ptr<IAssetStore> m_outputStore;
    // Every folder's items are built on this one thread, in turn, within
    // one budget (declared before the loaders, which must go first).
    LoaderThread m_loaderThread;
    std::shared_ptr<LoaderGate> m_gate = std::make_shared<LoaderGate>();
    boost::shared_ptr<IAssetFolder> m_nextFolder;
    std::unique_ptr<FolderLoader> m_nextLoader;
};

}  // namespace

const char* ToString(OutputStop stop)
{
    switch (stop) {
    case OutputStop::NoSpace: return "no-space";
    case OutputStop::ReadOnly: return "read-only";
    case OutputStop::Quota: return "quota";
    case OutputStop::OutputRemoved: return "output-removed";
    case OutputStop::None: break;
    }
    return "none";
}

const char* StopCause(OutputStop stop)
{
    switch (stop) {
    case OutputStop::NoSpace: return "No space left on device";
    case OutputStop::ReadOnly: return "The output's file system is read-only";
    case OutputStop::Quota: return "The disk quota is used up";
    case OutputStop::OutputRemoved: return "The output folder was removed";
    case OutputStop::None: break;
    }
    return "";
}

void RunExport(ExportSummary& summary, const int64_t* folderTotal,
               const boost::shared_ptr<ICancelableProgressPresenter>& presenter,
               const std::vector<boost::shared_ptr<IAssetFolder>>& folders,
               const boost::shared_ptr<ILogger>& logger,
               const boost::shared_ptr<ICancelable>& cancelable,
               const boost::shared_ptr<IOutputStoreProvider>& provider, unsigned queryKind,
               bool preserveFolderHierarchy, int64_t* folderCounter, IExportEvents* events,
               const ExportQueueLimits& limits)
{
    summary = ExportSummary();
    ExportPass pass(summary, presenter, logger, cancelable, provider, queryKind,
                    !preserveFolderHierarchy, events, limits);
    int64_t localCounter = 0;
    int64_t* counter = folderCounter ? folderCounter : &localCounter;
    const int64_t total = folderTotal ? *folderTotal : 0;

    for (size_t index = 0; index < folders.size(); ++index) {
        const boost::shared_ptr<IAssetFolder>& folder = folders[index];
        if (!folder) continue;
        boost::shared_ptr<IAssetFolder> next;
        for (size_t later = index + 1; later < folders.size() && !next; ++later) next = folders[later];
        pass.AnnounceStore(folder);
        pass.Log(kSeparatorDouble, true);
        pass.Log(L"Begin processing Folder: " + folder->GetPath(), true);
        pass.Log(kSeparatorDouble, false);

        *counter += 1;
        if (presenter)
            presenter->SetOverallText(L"Overall: Folders [ " + Number(*counter) + L" / " +
                                      Number(total) + L" ]");

        if (events) events->FolderBegun(folder);
        try {
            pass.ExportFolder(folder, next);
        } catch (const std::exception& e) {
            summary.status = Status::Failed;
            pass.Log(L"Exception occurred during conversion - " + UTF8ToWide(e.what()), true);
            if (events) events->FolderEnded(folder);
            break;
        } catch (...) {
            summary.status = Status::Failed;
            pass.Log(L"Unknown error occurred during conversion.", true);
            if (events) events->FolderEnded(folder);
            break;
        }
        if (events) events->FolderEnded(folder);
        if (summary.status == Status::Canceled || summary.stop != OutputStop::None) break;
    }

    pass.DropNextFolder();
    pass.LogSummary();
    // The log file is whole once the export is over.
    if (logger) logger->Flush();
}

}  // namespace KestrinMIMEEngineCommon
