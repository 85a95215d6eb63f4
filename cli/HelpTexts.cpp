#include "cli/HelpTexts.h"

#include "KestrinVersion.h"

namespace KestrinCli {

namespace {

constexpr const char kSourceText[] =
    "SOURCE is an Apple Mail data folder, an older mail folder or a folder of\n"
    "exported mailboxes or .mbox files (default: ~/Library/Mail).\n";

constexpr const char kListHelp[] =
    "Usage: kestrin list [SOURCE] [--json]\n"
    "\n"
    "Prints the folders of SOURCE as a tree with their message counts (sizes for\n"
    "exported mailboxes) and each folder's path, the path convert --folder takes.\n"
    "\n";

constexpr const char kListOptions[] =
    "\n"
    "Options:\n"
    "  --json       prints the store and the folder tree as one JSON object:\n"
    "               {\"store\":{\"name\",\"kind\",\"location\"},\n"
    "                \"root\":{\"name\",\"path\",\"kind\",\"count\",\"children\":[...]}}\n"
    "               Bytes that are not UTF-8 are replaced by U+FFFD.\n"
    "  -h, --help   shows this help.\n"
    "\n"
    "Exit status: 0 success, 1 cancelled, 3 the source could not be loaded,\n"
    "64 wrong usage.\n";

constexpr const char kConvertHelp[] =
    "Usage: kestrin convert [SOURCE] --to eml|mbox|archive|maildir --out DIR\n"
    "                       [--folder PATH]... [--names ascii|unicode]\n"
    "                       [--skip-empty] [--no-progress] [--verify] [--keep-bytes]\n"
    "                       [--json]\n"
    "\n"
    "Converts every folder of SOURCE, or the folders named with --folder, with\n"
    "their hierarchy mirrored. Writes \"Converted Data\" (or \"Converted Data (1)\",\n"
    "...) into DIR with \"Detailed Conversion Report.txt\", then prints the result\n"
    "and the brief report. Apple Mail's data is only read.\n"
    "\n";

constexpr const char kConvertOptions[] =
    "\n"
    "Options:\n"
    "  --to eml|mbox|archive|maildir\n"
    "               eml: one .eml file per message; mbox: one mbox file per\n"
    "               folder; archive: a package (.rge) Outlook for Mac imports;\n"
    "               maildir: a Maildir++ tree (the root Maildir, and a Maildir\n"
    "               \".Parent.Child\" beside it for every folder, as Dovecot's\n"
    "               stock maildir: location, mutt and notmuch open it), each\n"
    "               message a file in cur/ named \"TIME.UNIQUE.HOST:2,FLAGS\"\n"
    "               with the read, replied, flagged, forwarded, draft and deleted\n"
    "               marks, dated when it was received.\n"
    "  --out DIR    the folder that receives \"Converted Data\"; never the mail\n"
    "               folder or a folder inside it (refused with status 64).\n"
    "  --folder PATH\n"
    "               a folder path as kestrin list prints it (\"/Inbox/\"), with\n"
    "               everything below it; may be repeated.\n"
    "  --names ascii|unicode\n"
    "               how folders and files are named after the mail's folders\n"
    "               and subjects: ascii (the default) spells them in ASCII\n"
    "               letters, which every disk and program takes (Japanese in\n"
    "               romaji, Chinese in pinyin); unicode keeps the names as they\n"
    "               are, replacing only what file systems refuse.\n"
    "  --skip-empty leaves out folders without messages.\n"
    "  --keep-bytes\n"
    "               writes every message into mbox files and archives exactly as\n"
    "               stored, without the Status and X-Status lines that carry\n"
    "               read, answered and flagged.\n"
    "  --no-progress\n"
    "               draws no progress line (it is drawn on standard error only\n"
    "               when that is a terminal).\n"
    "  --verify     reads every written folder back and compares the messages\n"
    "               found with those converted; a difference ends with status 2.\n"
    "  --json       prints the result as one JSON object on standard output\n"
    "               (the report goes to standard error).\n"
    "  -h, --help   shows this help.\n"
    "An option's value may also follow an equals sign: --to=mbox.\n"
    "\n"
    "Ctrl-C once stops the conversion before the next message; twice quits at once.\n"
    "SIGTERM and SIGHUP stop it as Ctrl-C does.\n"
    "\n"
    "Exit status: 0 success, 1 cancelled, 2 completed with errors (or nothing was\n"
    "selected), 3 the source could not be loaded, 64 wrong usage.\n";

}  // namespace

std::string Usage()
{
    return "Usage:\n"
           "  kestrin list    [SOURCE] [--json]\n"
           "  kestrin convert [SOURCE] --to eml|mbox|archive|maildir --out DIR\n"
           "                  [--folder PATH]... [--names ascii|unicode]\n"
           "                  [--skip-empty] [--no-progress] [--verify] [--keep-bytes]\n"
           "                  [--json]\n"
           "\n" +
           std::string(kSourceText) +
           "\n"
           "list        prints the folders with their message counts and paths.\n"
           "  --json    prints them as JSON.\n"
           "convert     converts every folder, or those named with --folder.\n"
           "  --to      eml (one file per message), mbox (one file per folder),\n"
           "            archive (a package Outlook for Mac imports) or maildir\n"
           "            (a Maildir++ tree for Dovecot, mutt and notmuch).\n"
           "  --out     the folder that receives \"Converted Data\".\n"
           "  --folder  a folder path as list prints it (\"/Inbox/\"), with everything\n"
           "            below it; may be repeated.\n"
           "  --names   ascii (the default) or unicode: file and folder names in\n"
           "            ASCII letters, or in the script of the mail itself.\n"
           "  --skip-empty   leaves out folders without messages.\n"
           "  --keep-bytes   mbox and archive messages exactly as stored, without\n"
           "                 the lines that carry read, answered and flagged.\n"
           "  --no-progress  draws no progress line.\n"
           "  --verify  reads every written folder back and compares the messages\n"
           "            found with those converted; a difference ends with status 2.\n"
           "  --json    prints the result as one JSON object instead of the report.\n"
           "\n"
           "Ctrl-C once stops the conversion before the next message; twice quits at once.\n"
           "Exit status: 0 success, 1 cancelled, 2 completed with errors, 3 the source\n"
           "could not be loaded, 64 wrong usage.\n";
}

std::string VersionText()
{
    return std::string("kestrin ") + KESTRIN_VERSION + "\n";
}

std::string MoreHelpText()
{
    return "\n"
           "kestrin COMMAND --help shows the help of list or convert;\n"
           "kestrin --version prints the version. See also man kestrin.\n";
}

std::string CommandHelp(const std::string& command)
{
    if (command == "list")
        return std::string(kListHelp) + kSourceText + kListOptions;
    if (command == "convert")
        return std::string(kConvertHelp) + kSourceText + kConvertOptions;
    return {};
}

bool AsksForHelp(const std::vector<std::string>& args)
{
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--")
            return false;
        if (args[i] == "--help" || args[i] == "-h")
            return true;
    }
    return false;
}

}  // namespace KestrinCli
