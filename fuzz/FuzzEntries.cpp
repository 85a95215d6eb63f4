#include "FuzzEntries.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>
#include <vector>

#include <boost/filesystem.hpp>
#include <boost/make_shared.hpp>

#include "applemail/AppleMailAssetFolderSQLITE.h"
#include "applemail/AppleMailDBStoreSQLITE.h"
#include "applemail/AppleMailPlist.h"
#include "applemail/EMLXEmailAsset.h"
#include "applemail/MailFolderPaths.h"
#include "formats/MBOXAssetFolder.h"
#include "libbuilder/EnvelopeIndex.h"
#include "formats/MBOXEmailAsset.h"
#include "formats/MboxWriter.h"
#include "formats/MessageHead.h"
#include "mime/KSCharsets.h"
#include "mime/MakeSafeName.h"
#include "mime/MimeServices.h"
#include "streams/KSContainerData.h"
#include "streams/KSDiagnostics.h"
#include "streams/KSLineReader.h"
#include "streams/KSStringData.h"

namespace fs = boost::filesystem;
using namespace KestrinMIMEEngineCommon;

namespace KestrinFuzz {

namespace {

// ---------------------------------------------------------------------------
// Findings

void AbortingHandler(const char* target, const char* kind, const std::string& detail)
{
    if (IsKnownFinding(target, kind))
        return;
    std::fprintf(stderr, "==kestrin-fuzz== %s:%s: %s\n", target, kind, detail.c_str());
    std::fflush(stderr);
    std::abort();
}

FailureHandler g_handler = &AbortingHandler;

std::string Printable(const std::string& bytes)
{
    std::string out;
    for (unsigned char c : bytes) {
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            out += escaped;
        }
    }
    return out;
}

std::string Printable(const std::wstring& text)
{
    std::string out;
    for (wchar_t c : text) {
        if (c >= 0x20 && c < 0x7F && c != L'\\') {
            out += static_cast<char>(c);
        } else {
            char escaped[16];
            std::snprintf(escaped, sizeof escaped, "\\u{%X}", static_cast<unsigned>(c));
            out += escaped;
        }
    }
    return out;
}

// ---------------------------------------------------------------------------
// Scratch files: the readers under test take paths.

struct Scratch {
    fs::path root;
    ~Scratch()
    {
        boost::system::error_code ec;
        if (!root.empty())
            fs::remove_all(root, ec);
    }
};

Scratch& TheScratch()
{
    static Scratch scratch;
    return scratch;
}

void WriteFile(const fs::path& path, const void* data, size_t size)
{
    fs::create_directories(path.parent_path());
    std::ofstream out(path.string(), std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
}

void WriteText(const fs::path& path, const std::string& text)
{
    WriteFile(path, text.data(), text.size());
}

// An Envelope Index of the layout without mailboxes: the mailbox rows come
// from the input.
void WriteEnvelopeIndex(const fs::path& path, int layout)
{
    kestrin_libbuilder::EnvelopeIndexRecipe recipe;
    recipe.layout = layout;
    kestrin_libbuilder::WriteEnvelopeIndexDatabase(path, recipe);
}

const char kScratchMessage[] =
    "Subject: stored part\r\nContent-Type: text/plain\r\n\r\nstored beside the message\r\n";

void BuildScratch(const fs::path& root)
{
    // The message file's neighbours: a stored part and an attachment folder,
    // so inputs naming parts 2 and 3 reach the code that puts them back.
    WriteText(root / "emlx/Messages/1.2.emlxpart", kScratchMessage);
    WriteText(root / "emlx/Attachments/1/3/note.txt", "attached text\n");

    // Account property lists for layout 2 (Accounts.plist) and 3
    // (BackupTOC.plist); the input is written over them.
    WriteEnvelopeIndex(root / "plists/v2/V2/MailData/Envelope Index", 2);
    WriteText(root / "plists/v2/V2/MailData/Accounts.plist", "");
    WriteEnvelopeIndex(root / "plists/v3/V3/MailData/Envelope Index", 3);

    // A layout-5 mail folder with mailboxes that exist, and one beside the
    // mail folder that no mailbox URL may reach.
    const fs::path mail = root / "urls/Mail";
    WriteEnvelopeIndex(mail / "V5/MailData/Envelope Index", 5);
    fs::create_directories(mail / "V5/ACCOUNT/INBOX.mbox/Messages");
    fs::create_directories(mail / "V5/ACCOUNT/INBOX/Sub.mbox");
    fs::create_directories(mail / "V5/Mailboxes/Box.mbox");
    fs::create_directories(root / "urls/Secret.mbox");
    fs::create_directories(root / "urls/V5/Secret.mbox");
}

std::once_flag g_setUpOnce;

}  // namespace

FailureHandler SetFailureHandler(FailureHandler handler)
{
    FailureHandler previous = g_handler;
    g_handler = handler ? handler : &AbortingHandler;
    return previous;
}

void ReportFailure(const char* target, const char* kind, const std::string& detail)
{
    g_handler(target, kind, detail);
}

bool IsKnownFinding(const char* target, const char* kind)
{
    const char* known = std::getenv("KESTRIN_FUZZ_KNOWN");
    if (!known)
        return false;
    const std::string key = std::string(target) + ":" + kind;
    std::stringstream list(known);
    std::string item;
    while (std::getline(list, item, ',')) {
        const size_t first = item.find_first_not_of(" \t");
        const size_t last = item.find_last_not_of(" \t");
        if (first != std::string::npos && item.substr(first, last - first + 1) == key)
            return true;
    }
    return false;
}

void SetUp()
{
    std::call_once(g_setUpOnce, [] {
        InitializeMimeEngine();
        const char* verbose = std::getenv("KESTRIN_FUZZ_VERBOSE");
        if (!verbose || std::strcmp(verbose, "1") != 0) {
            // Diagnostics are expected for damaged input; thousands a second
            // would drown the fuzzer's own output.
            static FILE* devNull = std::fopen("/dev/null", "w");
            if (devNull)
                KSSetDiagnosticStream(devNull);
        }
        Scratch& scratch = TheScratch();
        scratch.root = fs::temp_directory_path() / fs::unique_path("kestrin-fuzz-%%%%-%%%%-%%%%");
        fs::create_directories(scratch.root);
        BuildScratch(scratch.root);
    });
}

const Target* Targets()
{
    static const Target targets[] = {
        {"emlx", &FuzzEmlx},
        {"line-reader", &FuzzLineReader},
        {"mbox-split", &FuzzMboxSplit},
        {"mbox-escape", &FuzzMboxEscape},
        {"safe-name", &FuzzSafeName},
        {"account-plists", &FuzzAccountPlists},
        {"mailbox-url", &FuzzMailboxUrl},
        {"message-head", &FuzzMessageHead},
        {nullptr, nullptr},
    };
    return targets;
}

// ---------------------------------------------------------------------------
// Lines as the engine splits them: CR, LF or CR LF end a line. The last
// entry is what follows the last terminator (possibly empty).

namespace {

std::vector<std::string> ReferenceLines(const uint8_t* data, size_t size)
{
    std::vector<std::string> lines(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == '\r' || data[i] == '\n') {
            if (data[i] == '\r' && i + 1 < size && data[i + 1] == '\n')
                ++i;
            lines.emplace_back();
        } else {
            lines.back() += static_cast<char>(data[i]);
        }
    }
    return lines;
}

// Hands out at most a few bytes per read, like a pipe or a network share.
class ChunkedSource : public KSDataStreamIn {
public:
    ChunkedSource(const uint8_t* data, size_t size, size_t chunk)
        : m_data(data), m_size(size), m_chunk(chunk)
    {
    }
    void Lock() override {}
    void Unlock() override {}
    int64_t GetSize() override { return static_cast<int64_t>(m_size); }
    size_t Read(void* buffer, size_t n) override
    {
        const size_t count = std::min({n, m_chunk, m_size - m_at});
        if (count) std::memcpy(buffer, m_data + m_at, count);
        m_at += count;
        return count;
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_chunk;
    size_t m_at = 0;
};

}  // namespace

int FuzzLineReader(const uint8_t* data, size_t size)
{
    // The first byte picks how many bytes each read hands out (0: all).
    if (size == 0)
        return 0;
    const size_t chunk = data[0] % 17 == 0 ? size : data[0] % 17;
    ++data;
    --size;

    const std::vector<std::string> expected = ReferenceLines(data, size);
    KSLineReader reader(boost::make_shared<ChunkedSource>(data, size, chunk));
    for (size_t i = 0; i < expected.size(); ++i) {
        std::string line;
        KSDataLock<KSDataStreamOut> sink(boost::make_shared<KSStringData>(&line));
        const bool terminated = reader.ReadLine(sink);
        const bool last = i + 1 == expected.size();
        if (line != expected[i] || terminated == last) {
            ReportFailure("line-reader", "wrong-line",
                          "line " + std::to_string(i) + ": [" + Printable(line) + "] (" +
                              (terminated ? "terminated" : "unterminated") + "), expected [" +
                              Printable(expected[i]) + "]");
            return 0;
        }
    }
    std::string after;
    KSDataLock<KSDataStreamOut> sink(boost::make_shared<KSStringData>(&after));
    if (reader.ReadLine(sink) || !after.empty())
        ReportFailure("line-reader", "past-end", "more after the end: [" + Printable(after) + "]");
    return 0;
}

// ---------------------------------------------------------------------------
// Mailbox splitting: a byte-order mark and blank lines before the first
// separator are passed over; a first line that is not a separator is the
// first message's first line; a message runs up to the next line starting
// with "From ", less one empty line that closes the entry; empty entries are
// passed over. Each message keeps the separator line it came with.

int FuzzMboxSplit(const uint8_t* data, size_t size)
{
    const fs::path path = TheScratch().root / "split.mbox";
    WriteFile(path, data, size);

    std::vector<std::string> expected;
    std::vector<std::string> separators;  // "" where one is made from the date
    std::string separator;
    const auto close = [&](std::string& message) {
        const size_t n = message.size();
        if (message == "\n" || (n >= 2 && message.compare(n - 2, 2, "\n\n") == 0)) message.pop_back();
        if (!message.empty()) {
            expected.push_back(message);
            separators.push_back(separator);
        }
        message.clear();
    };
    if (size > 0) {
        std::vector<std::string> lines = ReferenceLines(data, size);
        if (lines[0].compare(0, 3, "\xEF\xBB\xBF") == 0) lines[0].erase(0, 3);
        const auto blank = [](const std::string& line) {
            return line.find_first_not_of(" \t\r") == std::string::npos;
        };
        size_t first = 0;
        while (first + 1 < lines.size() && blank(lines[first])) ++first;
        std::string current;
        if (!blank(lines[first]) && lines[first].compare(0, 5, "From ") != 0) {
            current = lines[first];
            if (first + 1 < lines.size()) current += '\n';
        } else if (!blank(lines[first])) {
            separator = lines[first];
        }
        for (size_t i = first + 1; i < lines.size(); ++i) {
            const bool last = i + 1 == lines.size();
            if (!last && lines[i].compare(0, 5, "From ") == 0) {
                close(current);
                separator = lines[i];
                continue;
            }
            current += lines[i];
            if (!last) current += '\n';
        }
        close(current);
    }

    auto folder = boost::make_shared<MBOXAssetFolder>(path.string(), L"", boost::shared_ptr<IAssetStore>(),
                                                      boost::shared_ptr<IAssetFolder>(), false, false);
    auto iterator = folder->GetAssetIterator(0, {}, {}, {});
    std::vector<std::string> found;
    if (iterator) {
        iterator->Begin();
        while (iterator->HasCurrent() && found.size() <= expected.size()) {
            auto result = iterator->GetCurrent();
            auto message = boost::dynamic_pointer_cast<MBOXEmailAsset>(result ? result->GetAsset()
                                                                             : boost::shared_ptr<IAsset>());
            if (!message) {
                ReportFailure("mbox-split", "unreadable-entry", "entry " + std::to_string(found.size()));
                return 0;
            }
            const std::vector<uint8_t>& raw = message->GetRawBytes();
            const size_t index = found.size();
            found.emplace_back(raw.begin(), raw.end());
            if (index < separators.size() && !separators[index].empty() &&
                message->GetSeparatorLine() != separators[index]) {
                ReportFailure("mbox-split", "wrong-separator",
                              "message " + std::to_string(index) + " has [" +
                                  Printable(message->GetSeparatorLine()) + "], expected [" +
                                  Printable(separators[index]) + "]");
                return 0;
            }
            // Both output forms of the message.
            std::ostringstream mbox;
            message->WriteMBOXMessage(mbox);
            auto bytes = boost::make_shared<std::vector<uint8_t>>();
            message->WriteRawMessage(boost::make_shared<KSVectorData>(bytes));
            iterator->Increment();
        }
    }
    if (found != expected) {
        std::string detail = std::to_string(found.size()) + " messages, expected " +
                             std::to_string(expected.size());
        for (size_t i = 0; i < found.size() && i < expected.size(); ++i) {
            if (found[i] != expected[i]) {
                detail += "; message " + std::to_string(i) + " is [" + Printable(found[i]) +
                          "], expected [" + Printable(expected[i]) + "]";
                break;
            }
        }
        ReportFailure("mbox-split", "wrong-messages", detail);
    }
    return 0;
}

// ---------------------------------------------------------------------------
// Escaping: no written line may read as a separator, taking the escape off
// again gives the message's own lines, and the entry is the same however the
// message is cut into pieces.

namespace {

std::string MboxEntryInTwoPieces(const uint8_t* data, size_t size, size_t cut)
{
    std::ostringstream out;
    MboxEntryWriter writer(out, "S", "");
    writer.Append(data, cut);
    writer.Append(data + cut, size - cut);
    writer.Finish(0);
    return out.str();
}

void DropTrailingEmptyLines(std::vector<std::string>& lines)
{
    while (!lines.empty() && lines.back().empty()) lines.pop_back();
}

}  // namespace

int FuzzMboxEscape(const uint8_t* data, size_t size)
{
    const std::string entry = MboxEntryInTwoPieces(data, size, size);
    // A cut anywhere, even between CR and LF or inside a run of ">".
    const size_t cut = size == 0 ? 0 : (static_cast<size_t>(data[0]) * 7919u + size) % (size + 1);
    const std::string cutEntry = MboxEntryInTwoPieces(data, size, cut);
    if (cutEntry != entry) {
        ReportFailure("mbox-escape", "pieces-differ",
                      "whole [" + Printable(entry) + "], cut at " + std::to_string(cut) + " [" +
                          Printable(cutEntry) + "]");
        return 0;
    }

    // The written lines after the separator, unescaped.
    std::vector<std::string> written;
    {
        std::string line;
        for (size_t i = 2; i < entry.size(); ++i) {
            if (entry[i] != '\n') {
                line += entry[i];
                continue;
            }
            if (line.compare(0, 5, "From ") == 0) {
                ReportFailure("mbox-escape", "separator-in-body", "[" + Printable(line) + "]");
                return 0;
            }
            const uint8_t* bytes = reinterpret_cast<const uint8_t*>(line.data());
            written.push_back(line.substr(MboxUnescapePrefix(bytes, line.size())));
            line.clear();
        }
    }
    std::vector<std::string> expected = ReferenceLines(data, size);
    // The entry ends with an empty line whatever the message's own end.
    DropTrailingEmptyLines(written);
    DropTrailingEmptyLines(expected);
    if (written != expected)
        ReportFailure("mbox-escape", "round-trip",
                      "[" + Printable(std::string(data, data + size)) + "] came back as [" +
                          Printable(entry) + "]");

    // Escaping one line on its own, and taking the escape off again.
    const std::vector<std::string> lines = ReferenceLines(data, size);
    for (const std::string& line : lines) {
        const uint8_t* bytes = reinterpret_cast<const uint8_t*>(line.data());
        if (!NeedsMboxEscape(bytes, line.size()))
            continue;
        const std::string escaped = ">" + line;
        if (MboxUnescapePrefix(reinterpret_cast<const uint8_t*>(escaped.data()), escaped.size()) != 1)
            ReportFailure("mbox-escape", "unescape", "[" + Printable(escaped) + "]");
    }
    return 0;
}

// ---------------------------------------------------------------------------
// Safe names: whatever the subject or folder name, the result can be joined
// below an output folder without leaving it or hiding there.

int FuzzSafeName(const uint8_t* data, size_t size)
{
    // The first byte picks how the rest becomes a name: UTF-8 text, or raw
    // 32-bit units (any code point, also unpaired surrogates); and the name
    // style.
    if (size == 0)
        return 0;
    std::wstring name;
    if (data[0] & 1) {
        for (size_t i = 1; i + 4 <= size; i += 4) {
            uint32_t unit = 0;
            std::memcpy(&unit, data + i, 4);
            name += static_cast<wchar_t>(unit % 0x110000);
        }
    } else {
        name = UTF8ToWide(std::string(data + 1, data + size));
    }
    const std::wstring input = name;
    const NameStyle style = (data[0] & 2) ? NameStyle::Unicode : NameStyle::Ascii;
    const std::wstring safe = MakeSafeName(std::move(name), kNamelessSafeName, style);
    auto fail = [&](const char* kind) {
        ReportFailure("safe-name", kind, "[" + Printable(input) + "] became [" + Printable(safe) + "]");
    };
    if (safe.empty())
        return fail("empty"), 0;
    if (safe == L"." || safe == L"..")
        return fail("dot-name"), 0;
    for (wchar_t c : safe) {
        if (static_cast<uint32_t>(c) < 0x20 || (c >= 0x7F && c <= 0x9F))
            return fail("control-character"), 0;
        if (c == L'/' || c == 0)
            return fail("separator"), 0;
    }
    if (safe.front() == L'.')
        return fail("leading-dot"), 0;
    if (safe.front() == L' ' || safe.back() == L' ')
        return fail("untrimmed-blank"), 0;
    if (safe.back() == L'.')
        return fail("trailing-dot"), 0;
    if (WideToUTF8(safe).size() > 128)
        return fail("too-long"), 0;
    return 0;
}

// ---------------------------------------------------------------------------
// Property lists: the account readers of layouts 2 and 3 and the mailbox
// "Info.plist" lookup, over the input as the file.

int FuzzAccountPlists(const uint8_t* data, size_t size)
{
    const fs::path root = TheScratch().root / "plists";
    std::string refusal;
    PlistHandle direct = ReadPlistBytes(reinterpret_cast<const char*>(data), size, &refusal);
    std::string mailboxName;
    if (direct) PlistDictString(direct.get(), "MailboxName", mailboxName);
    direct.reset();

    WriteFile(root / "v2/V2/MailData/Accounts.plist", data, size);
    {
        auto store = boost::make_shared<AppleMailDBStoreSQLITE>((root / "v2").string(), L"");
        store->ReadAccounts();
    }
    WriteFile(root / "v3/V3/MailData/BackupTOC.plist", data, size);
    {
        auto store = boost::make_shared<AppleMailDBStoreSQLITE>((root / "v3").string(), L"");
        store->ReadAccounts();
    }
    return 0;
}

// ---------------------------------------------------------------------------
// Mailbox URLs: the Envelope Index's url column becomes a folder path below
// the mail folder, never outside it.

namespace {

bool LiesBelow(const std::string& path, const std::string& root)
{
    if (path.compare(0, root.size(), root) != 0) return false;
    if (path.size() > root.size() && path[root.size()] != '/') return false;
    std::vector<std::string> parts;
    std::stringstream rest(path.substr(root.size()));
    std::string part;
    while (std::getline(rest, part, '/'))
        if (part == "..") return false;
    return true;
}

boost::shared_ptr<AppleMailDBStoreSQLITE> UrlStore()
{
    static boost::shared_ptr<AppleMailDBStoreSQLITE> store = [] {
        auto opened = boost::make_shared<AppleMailDBStoreSQLITE>(
            (TheScratch().root / "urls/Mail").string(), L"");
        opened->Open({}, {}, {}, false);
        return opened;
    }();
    return store;
}

}  // namespace

int FuzzMailboxUrl(const uint8_t* data, size_t size)
{
    const std::string url(data, data + size);
    std::vector<std::string> components;
    if (SplitMailboxPath(PercentDecode(url), components)) {
        for (const std::string& component : components) {
            if (!IsSafePathComponent(component) || component == ".") {
                ReportFailure("mailbox-url", "unsafe-component",
                              "[" + Printable(url) + "] gave [" + Printable(component) + "]");
                return 0;
            }
        }
    }

    auto store = UrlStore();
    const std::string root = store->GetRootPath();
    std::string rowId = "7";
    char* values[] = {&rowId[0], const_cast<char*>(url.c_str())};
    char rowIdName[] = "ROWID";
    char urlName[] = "url";
    char* names[] = {rowIdName, urlName};
    AppleMailDBStoreSQLITE::mailboxes_sqlitecallback(store.get(), 2, values, names);

    // Every folder of the tree lies below the mail folder.
    std::vector<boost::shared_ptr<IAssetFolder>> pending;
    if (auto top = store->GetRootFolder()) pending.push_back(top);
    else ReportFailure("mailbox-url", "harness", "the scratch mail folder did not open");
    while (!pending.empty()) {
        auto folder = pending.back();
        pending.pop_back();
        if (!LiesBelow(folder->GetFolderId(), root)) {
            ReportFailure("mailbox-url", "outside-mail-folder",
                          "[" + Printable(url) + "] made folder " + Printable(folder->GetFolderId()));
            return 0;
        }
        for (const auto& sub : folder->GetSubFolders()) pending.push_back(sub);
    }
    return 0;
}

// ---------------------------------------------------------------------------
// The message file: count line, message, trailer.

int FuzzEmlx(const uint8_t* data, size_t size)
{
    const fs::path path = TheScratch().root / "emlx/Messages/1.emlx";
    WriteFile(path, data, size);
    EMLXEmailAsset asset(path.string());
    std::ostringstream mbox;
    asset.WriteMBOXMessage(mbox);
    std::string raw;
    asset.WriteRawMessage(boost::make_shared<KSStringData>(&raw));
    asset.GetDescription();
    // Without parts stored apart the message is written as the bytes that
    // are in the file: one piece of it, never anything made up or rewritten.
    const std::string file(reinterpret_cast<const char*>(data), size);
    std::string lower = file;
    for (char& c : lower) c = g_ascii_tolower(c);
    const bool marked = lower.find("x-apple-content-length") != std::string::npos;
    if (!marked && asset.HasMessage() && (raw.empty() || file.find(raw) == std::string::npos))
        ReportFailure("emlx", "stored-bytes", "the written message is not a piece of the file");
    return 0;
}

// ---------------------------------------------------------------------------
// The head of a message: read directly from the header block, it must be
// what a GMime parse of the block gives, field by field. The separator line
// takes the clock when there is no date (or a date of 0); it is compared
// only otherwise.

int FuzzMessageHead(const uint8_t* data, size_t size)
{
    const size_t blockLength = HeaderBlockLength(data, size);
    MessageHead direct;
    if (!ReadHeadFromHeaderBlock(data, blockLength, direct))
        return 0;
    const MessageHead parsed = ParseHeadFromHeaderBlock(data, blockLength);

    std::string differences;
    auto compare = [&](const char* field, const std::string& expected, const std::string& actual) {
        if (expected != actual)
            differences += std::string(" ") + field + ": parsed [" + Printable(expected) + "], read [" +
                           Printable(actual) + "]";
    };
    compare("from", WideToUTF8(parsed.summary.from), WideToUTF8(direct.summary.from));
    compare("date", std::to_string(parsed.summary.date) + (parsed.summary.hasDate ? "" : " (none)"),
            std::to_string(direct.summary.date) + (direct.summary.hasDate ? "" : " (none)"));
    compare("subject", WideToUTF8(parsed.summary.subject), WideToUTF8(direct.summary.subject));
    compare("message-id", parsed.summary.messageId, direct.summary.messageId);
    compare("received", parsed.receivedLine, direct.receivedLine);
    if (parsed.summary.date != 0)
        compare("separator", parsed.separatorLine, direct.separatorLine);
    if (!differences.empty())
        ReportFailure("message-head", "differs",
                      "[" + Printable(std::string(data, data + blockLength)) + "]" + differences);
    return 0;
}

}  // namespace KestrinFuzz
