#include "cli/KestrinCli.h"

#include <memory>
#include <sstream>

#include <boost/algorithm/string/replace.hpp>
#include <boost/filesystem.hpp>
#include <boost/optional.hpp>
#include <nlohmann/json.hpp>

#include "app/Application.h"
#include "app/Convert.h"
#include "app/Source.h"
#include "app/StopSignals.h"
#include "app/VerifyExport.h"
#include "cli/CliFrontEnd.h"
#include "cli/ConvertResultJson.h"
#include "cli/HelpTexts.h"
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
    KestrinMIMEEngineCommon::ExportTarget target = KestrinMIMEEngineCommon::ExportTarget::Eml;
    std::string out;
    std::vector<std::string> folders;
    bool skipEmpty = false;
    bool noProgress = false;
    bool verify = false;
    bool keepBytes = false;
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
        } else if (word == "--keep-bytes" && convert) {
            flag();
            parsed.keepBytes = true;
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
            throw UsageError("convert needs --to eml, mbox, archive or maildir");
        const auto target = KestrinMIMEEngineCommon::ExportTargetFromString(parsed.to);
        if (!target)
            throw UsageError("--to must be eml, mbox, archive or maildir, not \"" + parsed.to + "\"");
        parsed.target = *target;
        if (parsed.out.empty())
            throw UsageError("convert needs --out DIR");
    }
    return parsed;
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

void PrintTree(std::ostream& out, const SourceFolder& folder, size_t depth)
{
    for (const auto& child : folder.children) {
        out << std::string(depth * 2, ' ') << PlainText(child->RowText()) << "    "
            << PlainText(child->path) << "\n";
        PrintTree(out, *child, depth + 1);
    }
}

nlohmann::ordered_json JsonFolder(const SourceFolder& source)
{
    nlohmann::ordered_json folder = {{"name", WideToUTF8(source.name)},
                                     {"path", source.path},
                                     {"kind", source.kind},
                                     {"count", source.count},
                                     {"children", nlohmann::ordered_json::array()}};
    for (const auto& child : source.children)
        folder["children"].push_back(JsonFolder(*child));
    return folder;
}

// The report text ends its lines with CR LF, as the log file does.
std::string TerminalText(std::string text)
{
    boost::algorithm::replace_all(text, "\r\n", "\n");
    return text;
}

// One run of the command: the source is opened, then listed or converted,
// all on this thread.
class Session {
public:
    Session(const Arguments& arguments, std::ostream& out, std::ostream& err,
            const CliEnvironment& environment)
        : m_arguments(arguments), m_out(out), m_err(err),
          m_observer(err, environment.stderrIsTerminal && !arguments.noProgress)
    {
        m_observer.onItemShown = environment.onItemShown;
        m_providers = environment.providers ? environment.providers
                                            : KestrinApp::MakeStandardProviderFactory();
    }

    int Run()
    {
        // Refused before the mail folder is even read: a wrong --out is a
        // mistake to hear about at once, not after a long load.
        if (m_arguments.command == "convert") {
            if (const auto refusal = OutputFolderRefusal(m_arguments.out, m_arguments.source)) {
                PrintAlert(m_err, *refusal);
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
        m_observer.Line().Begin();
        const LoadResult result = OpenSource(m_arguments.source, m_observer);
        m_observer.Line().End();
        switch (result.status) {
        case Status::Succeeded:
            m_source = result.source;
            return kExitSuccess;
        case Status::Canceled:
            m_err << "kestrin: loading canceled.\n";
            return kExitCanceled;
        case Status::Failed:
            break;
        }
        PrintAlert(m_err, LoadFailureAlert(result, false));
        return kExitLoadFailed;
    }

    int List()
    {
        const auto& store = m_source->Store();
        const auto& row = m_source->Root();
        if (m_arguments.json) {
            const nlohmann::ordered_json listing = {
                {"store",
                 {{"name", WideToUTF8(store->GetStoreName())},
                  {"kind", StoreKindNumber(store->GetStoreKind())},
                  {"location", store->GetLocation()}}},
                {"root", row ? JsonFolder(*row) : nlohmann::ordered_json(nullptr)}};
            m_out << DumpJson(listing) << "\n";
            return kExitSuccess;
        }
        if (row) {
            m_out << PlainText(row->RowText()) << "    " << PlainText(store->GetLocation()) << "\n";
            PrintTree(m_out, *row, 1);
        }
        return kExitSuccess;
    }

    int Convert()
    {
        ExportRequest request;
        request.source = m_source;
        std::string missing;
        request.folders = SelectFolders(m_source->Root(), m_arguments.folders, &missing);
        if (!missing.empty()) {
            m_err << "kestrin: there is no folder " << missing << " in " << m_arguments.source
                  << " (kestrin list shows the folders)\n";
            return kExitUsage;
        }
        request.target = m_arguments.target;
        request.outputFolder = m_arguments.out;
        request.skipEmpty = m_arguments.skipEmpty;
        request.keepBytes = m_arguments.keepBytes;
        request.names = m_arguments.names;

        m_observer.Line().Begin();
        const ExportRecord record = KestrinApp::Convert(request, m_observer, m_providers);
        m_observer.Line().End();

        switch (record.refusal) {
        case ExportRefusal::None:
            break;
        case ExportRefusal::NothingSelected:
            PrintAlert(m_err, record.refusalAlert);
            return kExitErrors;
        case ExportRefusal::OutputInsideMailFolder:
            PrintAlert(m_err, record.refusalAlert);
            return kExitUsage;
        }

        // With --json the object alone goes to standard output; the report
        // still reaches the user, on standard error.
        const ReportData report = MakeReport(record);
        std::ostream& text = m_arguments.json ? m_err : m_out;
        text << report.title << "\n" << report.summary.headline << "\n";
        for (const std::string& line : report.summary.notices) text << line << "\n";
        for (const std::string& line : report.summary.problems) text << line << "\n";
        text << "\n"
             << TerminalText(report.report) << "\n"
             << report.footer1 << "\n"
             << report.footer2 << "\n";
        text << "\n" << TotalsText(record.Totals());

        int exitCode = record.status == Status::Succeeded  ? kExitSuccess
                       : record.status == Status::Canceled ? kExitCanceled
                                                                 : kExitErrors;
        boost::optional<VerifyResult> verified;
        if (m_arguments.verify) {
            verified = VerifyExport(record);
            text << "\n" << VerifyText(*verified);
            if (!verified->ok)
                exitCode = kExitErrors;
        }
        if (m_arguments.json)
            m_out << ConvertResultJson(record, verified.get_ptr()) << "\n";
        return exitCode;
    }

    const Arguments& m_arguments;
    std::ostream& m_out;
    std::ostream& m_err;
    CliObserver m_observer;
    KestrinApp::OutputProviderFactory m_providers;
    std::shared_ptr<OpenedSource> m_source;
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
