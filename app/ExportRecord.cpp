#include "app/ExportRecord.h"

#include "applemail/AppleMailAssetFolderSQLITE.h"
#include "assets/AssetFolderBase.h"
#include "formats/EMLAssetFolder.h"
#include "formats/MBOXAssetFolder.h"
#include "formats/MaildirAssetFolder.h"
#include "mime/KSCharsets.h"

namespace KestrinApp {

using namespace KestrinMIMEEngineCommon;

int64_t ExportFolderRecord::UnnamedCount() const
{
    const auto unnamed = [](int64_t counted, const std::vector<std::string>& names) {
        return counted > int64_t(names.size()) ? counted - int64_t(names.size()) : 0;
    };
    return unnamed(failed, failedNames) + unnamed(skipped, skippedNames) +
           unnamed(notDownloaded, notDownloadedNames) +
           unnamed(notFullyDownloaded, notFullyDownloadedNames) + unnamed(damaged, damagedNames) +
           unnamed(repaired, repairedNames);
}

ExportTotals ExportRecord::Totals() const
{
    ExportTotals totals;
    for (const ExportFolderRecord& folder : folders) {
        totals.listed += folder.Listed();
        totals.converted += folder.processed;
        totals.notDownloaded += folder.notDownloaded;
        totals.notFullyDownloaded += folder.notFullyDownloaded;
        totals.damaged += folder.damaged;
        totals.repaired += folder.repaired;
        totals.failed += folder.failed;
        totals.skipped += folder.skipped;
    }
    for (const NotOnDiskRecord& mailbox : notOnDisk) {
        totals.notOnDisk += mailbox.count;
        totals.listed += mailbox.count;
    }
    return totals;
}

ReportData MakeReport(const ExportRecord& record)
{
    ReportData report;
    report.status = record.status;
    report.report = record.reportText;
    // A run whose set-up failed made neither: naming the chosen folder or an
    // earlier run's log would send the user looking for data that is not there.
    report.footer1 = record.outputFolder.empty()
                         ? std::string("No converted data was saved.")
                         : "Converted Data is saved at following path:\n" + record.outputFolder;
    report.footer2 = record.logPath.empty()
                         ? std::string("No detailed Log Report was written.")
                         : "A detailed Log Report is saved at following path:\n" + record.logPath;
    report.summary = MakeResultSummary(record);
    report.title = report.summary.title;
    return report;
}

std::string TotalsText(const ExportTotals& totals)
{
    return "Messages listed: " + std::to_string(totals.listed) +
           "\nMessages converted: " + std::to_string(totals.converted) +
           "\nConverted header-only (not downloaded): " + std::to_string(totals.notDownloaded) +
           "\nConverted without some attachments (not fully downloaded): " +
           std::to_string(totals.notFullyDownloaded) +
           "\nConverted damaged (message file cut short): " + std::to_string(totals.damaged) +
           "\nConverted with repairs (see NOTE lines of the report): " + std::to_string(totals.repaired) +
           "\nMessages failed: " + std::to_string(totals.failed) +
           "\nMessages skipped: " + std::to_string(totals.skipped) +
           "\nListed but not on this disk (mailbox folder missing): " +
           std::to_string(totals.notOnDisk) + "\n";
}

void ExportRecorder::FolderBegun(const boost::shared_ptr<IAssetFolder>& source)
{
    m_record.folders.emplace_back();
    m_folder = &m_record.folders.back();
    if (!source) return;
    const std::wstring path = source->GetPath();
    m_folder->sourcePath = WideToUTF8(path);
    m_folder->name = WideToUTF8(source->GetName());
    m_folder->expected = source->GetAssetCount();
    // Output names in ASCII: any other letter in the folder's path was spelled anew.
    if (m_names == NameStyle::Ascii)
        for (const wchar_t letter : path)
            if (static_cast<uint32_t>(letter) > 0x7F) m_record.namesTransliterated = true;
    if (const auto mailbox = boost::dynamic_pointer_cast<AppleMailAssetFolderSQLITE>(source))
        m_folder->sourceUnread = mailbox->IndexUnreadCount();
}

void ExportRecorder::ItemState(const MessageState& state)
{
    if (!m_folder) FolderBegun(nullptr);
    if (state.known && !state.read) m_folder->unread += 1;
    if (state.known && state.flagged) m_folder->flagged += 1;
}

namespace {

std::string OutputKey(ExportOutputRecord::Kind kind, const std::string& path)
{
    switch (kind) {
    case ExportOutputRecord::Kind::Mailbox: return "m" + path;
    case ExportOutputRecord::Kind::Maildir: return "d" + path;
    case ExportOutputRecord::Kind::EmlDirectory: break;
    }
    return "e" + path;
}

}  // namespace

ExportRecorder::ExportRecorder(ExportRecord& record, NameStyle names)
    : m_record(record), m_names(names)
{
    for (size_t i = 0; i < m_record.outputs.size(); ++i)
        m_outputIndex.emplace(OutputKey(m_record.outputs[i].kind, m_record.outputs[i].path), i);
}

ExportOutputRecord& ExportRecorder::OutputFor(const boost::shared_ptr<IAssetFolderMutable>& output)
{
    // Messages of one folder arrive one after the other into the same output,
    // so the last one found answers nearly every call without a lookup. The
    // weak pointer tells a folder that is gone from a new one at its address.
    if (m_lastOutput.lock() == output && m_lastOutputIndex < m_record.outputs.size())
        return m_record.outputs[m_lastOutputIndex];
    ExportOutputRecord wanted;
    if (auto* mailbox = dynamic_cast<MBOXAssetFolder*>(output.get())) {
        wanted.kind = ExportOutputRecord::Kind::Mailbox;
        wanted.path = mailbox->GetMailboxPath();
    } else if (dynamic_cast<MaildirAssetFolder*>(output.get())) {
        wanted.kind = ExportOutputRecord::Kind::Maildir;
        wanted.path = output->GetFolderId();
    } else {
        wanted.kind = ExportOutputRecord::Kind::EmlDirectory;
        wanted.path = output->GetFolderId();
    }
    auto known = m_outputIndex.emplace(OutputKey(wanted.kind, wanted.path), m_record.outputs.size());
    if (known.second) m_record.outputs.push_back(wanted);
    m_lastOutput = output;
    m_lastOutputIndex = known.first->second;
    return m_record.outputs[m_lastOutputIndex];
}

void ExportRecorder::ItemDone(ExportItemOutcome outcome, const std::wstring& name,
                              const boost::shared_ptr<IAssetFolderMutable>& output)
{
    if (!m_folder) FolderBegun(nullptr);
    // Names are kept only for the messages a person must look at, so a
    // converted one costs no conversion of its name.
    const auto count = [&](int64_t& counter, std::vector<std::string>& names, size_t& kept) {
        counter += 1;
        if (kept >= kNamesKeptPerKind) return;
        kept += 1;
        names.push_back(WideToUTF8(name));
    };
    switch (outcome) {
    case ExportItemOutcome::Failed:
        count(m_folder->failed, m_folder->failedNames, m_failedNamesKept);
        return;
    case ExportItemOutcome::Skipped:
        count(m_folder->skipped, m_folder->skippedNames, m_skippedNamesKept);
        return;
    case ExportItemOutcome::ConvertedHeaderOnly:
        count(m_folder->notDownloaded, m_folder->notDownloadedNames, m_notDownloadedNamesKept);
        break;
    case ExportItemOutcome::ConvertedNotFullyDownloaded:
        count(m_folder->notFullyDownloaded, m_folder->notFullyDownloadedNames,
              m_notFullyDownloadedNamesKept);
        break;
    case ExportItemOutcome::ConvertedDamaged:
        count(m_folder->damaged, m_folder->damagedNames, m_damagedNamesKept);
        break;
    case ExportItemOutcome::ConvertedRepaired:
        count(m_folder->repaired, m_folder->repairedNames, m_repairedNamesKept);
        break;
    case ExportItemOutcome::Converted: break;
    }
    // Every kind of converted message was written somewhere.
    m_folder->processed += 1;
    if (output) {
        ExportOutputRecord& written = OutputFor(output);
        written.written += 1;
        if (written.sourcePaths.empty() || written.sourcePaths.back() != m_folder->sourcePath)
            written.sourcePaths.push_back(m_folder->sourcePath);
        if (m_folder->outputPath.empty()) m_folder->outputPath = written.path;
    }
}

void ExportRecorder::FolderEnded(const boost::shared_ptr<IAssetFolder>&)
{
    m_folder = nullptr;
}

}  // namespace KestrinApp
