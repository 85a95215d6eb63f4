#include "cli/KestrinCli.h"

#include <memory>
#include <sstream>

#include <boost/algorithm/string/replace.hpp>
#include <boost/filesystem.hpp>
#include <boost/optional.hpp>
#include <nlohmann/json.hpp>

#include "app/Application.h"
#include "app/EventQueueDispatcher.h"
#include "app/ExportRun.h"
#include "app/MainWindowController.h"
#include "app/StoreContentViewController.h"
#include "app/VerifyExport.h"
#include "cli/CliFrontEnd.h"
#include "cli/ConvertResultJson.h"
#include "cli/HelpTexts.h"
#include "app/StopSignals.h"
#include "mime/KSCharsets.h"
#include "mime/MakeSafeName.h"

namespace KestrinCli {

using namespace KestrinApp;
using KestrinMIMEEngineCommon::WideToUTF8;
using KestrinMIMEEngineCommon::UTF8ToWide;
namespace fs = boost::filesystem;

namespace {

// Folder names come from the disk and from the Envelope Index, so they may
// hold any bytes: nlohmann's replace handler turns what is not UTF-8 into
// U+FFFD instead of passing it through or throwing.
std::string DumpJson(const nlohmann::ordered_json& value)
{
    return value.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

}  // namespace

std::string JsonString(const std::string& utf8)
{
    return DumpJson(nlohmann::ordered_json(utf8));
}

namespace {

class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct Arguments {
    std::string command;
    std::string source;
    bool json = false;
    std::string to;
    std::string out;
    std::vector<std::string> folders;
    bool skipEmpty = false;
    bool noProgress = false;
    bool verify = false;
    KestrinMIMEEngineCommon::NameStyle names = KestrinMIMEEngineCommon::NameStyle::Ascii;
};

Arguments Parse(const std::vector<std::string>& args)
{
    Arguments parsed;
    if (args.empty())
        throw UsageError("missing command");
    parsed.command = args[0];
    if (parsed.command != "list" && parsed.command != "convert")
        throw UsageError("unknown command \"" + parsed.command + "\"");
    const bool convert = parsed.command == "convert";

    bool haveSource = false;
    for (size_t i = 1; i < args.size(); ++i) {
        std::string word = args[i];
        boost::optional<std::string> inlineValue;
        if (word.size() > 2 && word.compare(0, 2, "--") == 0) {
            const size_t equals = word.find('=');
            if (equals != std::string::npos) {
                inlineValue = word.substr(equals + 1);
                word = word.substr(0, equals);
            }
        }
        const auto value = [&]() -> std::string {
            if (inlineValue)
                return *inlineValue;
            if (i + 1 >= args.size())
                throw UsageError(word + " needs a value");
            return args[++i];
        };
        const auto flag = [&] {
            if (inlineValue)
                throw UsageError(word + " takes no value");
        };
        if (word == "--json") {
            flag();
            parsed.json = true;
        } else if (word == "--to" && convert) {
            parsed.to = value();
        } else if (word == "--out" && convert) {
            parsed.out = value();
        } else if (word == "--names" && convert) {
            const std::string style = value();
            const auto names = KestrinMIMEEngineCommon::NameStyleFromString(style);
            if (!names)
                throw UsageError("--names must be ascii or unicode, not \"" + style + "\"");
            parsed.names = *names;
        } else if (word == "--folder" && convert) {
            parsed.folders.push_back(value());
        } else if (word == "--skip-empty" && convert) {
            flag();
            parsed.skipEmpty = true;
        } else if (word == "--no-progress" && convert) {
            flag();
            parsed.noProgress = true;
        } else if (word == "--verify" && convert) {
            flag();
            parsed.verify = true;
        } else if (word == "--") {
            // Everything after is the source.
            for (++i; i < args.size(); ++i) {
                if (haveSource)
                    throw UsageError("more than one source given");
                parsed.source = args[i];
                haveSource = true;
            }
        } else if (!word.empty() && word[0] == '-') {
            throw UsageError("unknown option " + word + " for " + parsed.command);
        } else {
            if (haveSource)
                throw UsageError("more than one source given");
            parsed.source = word;
            haveSource = true;
        }
    }
    if (!haveSource)
        parsed.source = DefaultMailFolder();
    if (parsed.source.empty())
        throw UsageError("the source is empty");
    if (convert) {
        if (parsed.to.empty())
            throw UsageError("convert needs --to eml, mbox or archive");
        if (parsed.to != "eml" && parsed.to != "mbox" && parsed.to != "archive")
            throw UsageError("--to must be eml, mbox or archive, not \"" + parsed.to + "\"");
        if (parsed.out.empty())
            throw UsageError("convert needs --out DIR");
    }
    return parsed;
}

int FormatIndexFor(const std::string& target)
{
    if (target == "archive")
        return 0;
    if (target == "mbox")
        return 2;
    return 1;
}

// "Inbox" and "/Inbox" name the folder list prints as "/Inbox/".
std::string NormalizeFolderPath(std::string path)
{
    if (path.empty() || path.front() != '/')
        path.insert(path.begin(), '/');
    if (path.back() != '/')
        path.push_back('/');
    return path;
}

std::string FolderPath(const std::shared_ptr<TreeNode>& node)
{
    const auto& data = node->NodeData();
    return data && data->GetFolder() ? WideToUTF8(data->GetFolder()->GetPath()) : std::string();
}

void FindByPath(const std::shared_ptr<TreeNode>& from, const std::string& path,
                std::vector<std::shared_ptr<TreeNode>>& found)
{
    for (const auto& child : from->AllChildren()) {
        if (FolderPath(child) == path)
            found.push_back(child);
        FindByPath(child, path, found);
    }
}

// Folder names come from mail servers and other people's folders: a newline
// would fake a line of the listing, an escape sequence would drive the
// terminal. Control characters are shown as their visible symbols (U+2400
// onwards, U+2421 for DEL, U+FFFD for the C1 range).
std::string PlainText(std::wstring text)
{
    for (wchar_t& c : text) {
        const uint32_t u = static_cast<uint32_t>(c);
        if (u < 0x20)
            c = static_cast<wchar_t>(0x2400 + u);
        else if (u == 0x7F)
            c = static_cast<wchar_t>(0x2421);
        else if (u >= 0x80 && u < 0xA0)
            c = static_cast<wchar_t>(0xFFFD);
    }
    return WideToUTF8(text);
}

std::string PlainText(const std::string& text) { return PlainText(UTF8ToWide(text)); }

void PrintTree(std::ostream& out, const std::shared_ptr<TreeNode>& node, size_t depth)
{
    for (const auto& child : node->Children()) {
        out << std::string(depth * 2, ' ') << PlainText(child->NodeData()->RowText()) << "    "
            << PlainText(FolderPath(child)) << "\n";
        PrintTree(out, child, depth + 1);
    }
}

nlohmann::ordered_json JsonFolder(const std::shared_ptr<TreeNode>& node)
{
    const auto& data = node->NodeData();
    nlohmann::ordered_json folder = {{"name", WideToUTF8(data->Name())},
                                     {"path", FolderPath(node)},
                                     {"kind", data->folderType},
                                     {"count", data->contentCount},
                                     {"children", nlohmann::ordered_json::array()}};
    for (const auto& child : node->Children())
        folder["children"].push_back(JsonFolder(child));
    return folder;
}

// The report text ends its lines with CR LF, as the log file does.
std::string TerminalText(std::string text)
{
    boost::algorithm::replace_all(text, "\r\n", "\n");
    return text;
}

// One run of the application without a window.
class Session {
public:
    Session(const Arguments& arguments, std::ostream& out, std::ostream& err,
            const CliEnvironment& environment)
        : m_arguments(arguments), m_out(out), m_err(err),
          m_showProgress(environment.stderrIsTerminal && !arguments.noProgress),
          m_alerts(err), m_choosers(arguments.out), m_progress(err, m_showProgress),
          m_loading(err, m_showProgress),
          m_content(m_state, m_dispatcher, m_alerts, m_loading, MakeAppleMailStoreFactory()),
          m_window(MainWindowSeams{m_state, m_dispatcher, m_alerts, m_choosers, m_workspace,
                                   m_reports, m_progress},
                   m_content, MakeStandardProviderFactory())
    {
        m_progress.onItemShown = environment.onItemShown;
    }

    ~Session()
    {
        // Whatever ended the run, the workers must not be left waiting for a
        // main thread that is gone.
        m_loading.SetCancelRequested(true);
        m_progress.SetCancelRequested(true);
        m_dispatcher.RunUntil([&] { return !m_content.IsLoading() && !m_window.IsExporting(); });
    }

    int Run()
    {
        // Refused before the mail folder is even read: a wrong --out is a
        // mistake to hear about at once, not after a long load.
        if (m_arguments.command == "convert") {
            if (const auto refusal = OutputFolderRefusal(m_arguments.out, m_arguments.source)) {
                m_alerts.ShowAlert(*refusal);
                return kExitUsage;
            }
        }
        const int loaded = Load();
        if (loaded != kExitSuccess)
            return loaded;
        return m_arguments.command == "list" ? List() : Convert();
    }

private:
    int Load()
    {
        boost::system::error_code error;
        if (!fs::is_directory(m_arguments.source, error)) {
            const bool exists = fs::exists(m_arguments.source, error);
            m_err << "kestrin: Error occurred while loading your email data.\n"
                  << (exists ? "" : "The folder ") << m_arguments.source
                  << (exists ? " is not a folder.\n" : " does not exist.\n");
            return kExitLoadFailed;
        }
        int result = kLoadFailed;
        m_content.SetLoadFinishedHandler([&](int r) { result = r; });
        OpenDatabaseController selection(m_state, m_alerts, m_choosers, [this] {
            m_window.WorkflowStepCompleted(WorkflowStep::kFolderSelection);
        });
        selection.LocalFolderSelectionCompleted(m_arguments.source);
        m_dispatcher.RunUntil([&] {
            if (InterruptCount() > 0)
                m_loading.SetCancelRequested(true);
            m_loading.Draw();
            return !m_content.IsLoading();
        });
        if (result == kLoadCanceled) {
            m_err << "kestrin: loading canceled.\n";
            return kExitCanceled;
        }
        if (result != kLoadSucceeded || !m_content.SourceStore())
            return kExitLoadFailed;
        return kExitSuccess;
    }

    std::shared_ptr<TreeNode> StoreRow()
    {
        const auto& root = m_content.FolderView().RootNode();
        if (!root)
            return {};
        const auto rows = root->AllChildren();
        return rows.empty() ? nullptr : rows.front();
    }

    int List()
    {
        const auto store = m_content.SourceStore();
        const auto row = StoreRow();
        if (m_arguments.json) {
            const nlohmann::ordered_json listing = {
                {"store",
                 {{"name", WideToUTF8(store->GetStoreName())},
                  {"kind", store->GetStoreKind()},
                  {"location", store->GetLocation()}}},
                {"root", row ? JsonFolder(row) : nlohmann::ordered_json(nullptr)}};
            m_out << DumpJson(listing) << "\n";
            return kExitSuccess;
        }
        if (row) {
            m_out << PlainText(row->NodeData()->RowText()) << "    "
                  << PlainText(store->GetLocation()) << "\n";
            PrintTree(m_out, row, 1);
        }
        return kExitSuccess;
    }

    int Select()
    {
        FolderViewController& view = m_content.FolderView();
        if (m_arguments.folders.empty() || !view.RootNode())
            return kExitSuccess;
        view.SetSelected(nullptr, false, kAnyFolderType, true);
        for (const auto& wanted : m_arguments.folders) {
            std::vector<std::shared_ptr<TreeNode>> found;
            FindByPath(view.RootNode(), NormalizeFolderPath(wanted), found);
            if (found.empty()) {
                m_err << "kestrin: there is no folder " << NormalizeFolderPath(wanted)
                      << " in " << m_arguments.source << " (kestrin list shows the folders)\n";
                return kExitUsage;
            }
            for (const auto& node : found)
                view.SetSelected(node, true, kAnyFolderType, true);
        }
        view.UpdateAllItemStatusForContainerClass(kAllCategories);
        return kExitSuccess;
    }

    int Convert()
    {
        m_content.SetIgnoreEmptyFolders(m_arguments.skipEmpty);
        const int selected = Select();
        if (selected != kExitSuccess)
            return selected;

        m_window.SetOutputFormatIndex(FormatIndexFor(m_arguments.to));
        m_window.SetNameStyle(m_arguments.names);
        const ConvertStart started = m_window.ClickConvert();
        if (started == ConvertStart::kOutputInMailFolder)
            return kExitUsage;  // the alert said why
        if (started != ConvertStart::kStarted)
            return kExitErrors;  // nothing selected: the alert said so
        m_dispatcher.RunUntil([&] {
            PassOnInterrupt(m_progress);
            m_progress.Draw();
            return !m_window.IsExporting();
        });

        const auto& report = m_reports.Report();
        if (!report) {
            m_err << "kestrin: the conversion ended without a result.\n";
            return kExitErrors;
        }
        // With --json the object alone goes to standard output; the report
        // still reaches the user, on standard error.
        std::ostream& text = m_arguments.json ? m_err : m_out;
        text << report->title << "\n\n"
             << TerminalText(report->report) << "\n"
             << report->footer1 << "\n"
             << report->footer2 << "\n";
        const auto record = m_window.LastExport();
        if (record) text << "\n" << TotalsText(record->Totals());

        int exitCode = report->exportResult == 0   ? kExitSuccess
                       : report->exportResult == 1 ? kExitCanceled
                                                   : kExitErrors;
        boost::optional<VerifyResult> verified;
        if (m_arguments.verify && record) {
            verified = VerifyExport(*record);
            text << "\n" << VerifyText(*verified);
            if (!verified->ok)
                exitCode = kExitErrors;
        }
        if (m_arguments.json && record)
            m_out << ConvertResultJson(*record, verified.get_ptr()) << "\n";
        return exitCode;
    }

    const Arguments& m_arguments;
    std::ostream& m_out;
    std::ostream& m_err;
    bool m_showProgress;
    AppStateData m_state;
    EventQueueDispatcher m_dispatcher;
    CliAlerts m_alerts;
    // The target folder is the --out argument; nothing else is ever chosen.
    FixedSaveFolderChooser m_choosers;
    // The import guides belong to the window; the command line opens nothing.
    NoWorkspace m_workspace;
    CliReportView m_reports;
    CliProgressSheet m_progress;
    CliLoadingSheet m_loading;
    StoreContentViewController m_content;
    MainWindowController m_window;
};

}  // namespace

int RunKestrin(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
               const CliEnvironment& environment)
{
    try {
        if (!args.empty() && args[0] == "--version") {
            out << VersionText();
            return kExitSuccess;
        }
        if (!args.empty() && (args[0] == "--help" || args[0] == "-h" || args[0] == "help")) {
            const std::string command = args.size() > 1 ? CommandHelp(args[1]) : std::string();
            out << (command.empty() ? Usage() + MoreHelpText() : command);
            return kExitSuccess;
        }
        if (!args.empty() && !CommandHelp(args[0]).empty() && AsksForHelp(args)) {
            out << CommandHelp(args[0]);
            return kExitSuccess;
        }
        const Arguments arguments = Parse(args);
        InitializeApplication();
        ResetInterrupts();
        Session session(arguments, out, err, environment);
        return session.Run();
    } catch (const UsageError& wrong) {
        err << "kestrin: " << wrong.what() << "\n\n" << Usage();
        return kExitUsage;
    } catch (const std::exception& failure) {
        err << "kestrin: " << failure.what() << "\n";
        return kExitErrors;
    } catch (...) {
        err << "kestrin: an unexpected error stopped the run.\n";
        return kExitErrors;
    }
}

}  // namespace KestrinCli
