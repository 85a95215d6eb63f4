#include "libbuilder/Mailboxes.h"

#include <cstdio>

#include <boost/filesystem/operations.hpp>

namespace fs = boost::filesystem;

namespace kestrin_libbuilder {

namespace {

std::string FindHeader(const MessageRecipe& message, const std::string& name)
{
    for (const auto& header : message.headers)
        if (header.first == name) return header.second;
    return {};
}

// The address inside angle brackets, or the whole text.
std::string BareAddress(const std::string& from)
{
    const size_t open = from.find('<');
    const size_t close = from.find('>', open == std::string::npos ? 0 : open);
    if (open == std::string::npos || close == std::string::npos) return from.empty() ? "-" : from;
    return from.substr(open + 1, close - open - 1);
}

}  // namespace

std::string MakeStoreUuid(unsigned seed)
{
    char text[40];
    std::snprintf(text, sizeof text, "F2D0D67E-7B19-4C30-B2E9-%012llX",
                  0xB58FE4780000ULL + static_cast<unsigned long long>(seed));
    return text;
}

fs::path V2DataFolder(uint64_t id)
{
    fs::path folder = "Data";
    for (uint64_t rest = id / 1000; rest != 0; rest /= 10) folder /= std::to_string(rest % 10);
    return folder;
}

fs::path V2MessagesFolder(const fs::path& bundle, const std::string& uuid, uint64_t id)
{
    return bundle / uuid / V2DataFolder(id) / "Messages";
}

fs::path WriteV1Mailbox(const fs::path& parent, const std::string& name,
                        const std::vector<MailboxMessage>& messages, const std::string& extension)
{
    const fs::path bundle = parent / (name + extension);
    fs::create_directories(bundle / "Messages");
    for (const MailboxMessage& entry : messages)
        WriteMessage(bundle / "Messages", entry.id, entry.message);
    return bundle;
}

fs::path WriteV2Mailbox(const fs::path& parent, const std::string& name, const std::string& uuid,
                        const std::vector<MailboxMessage>& messages)
{
    const fs::path bundle = parent / (name + ".mbox");
    fs::create_directories(bundle / uuid / "Data");
    for (const MailboxMessage& entry : messages)
        WriteMessage(V2MessagesFolder(bundle, uuid, entry.id), entry.id, entry.message);
    return bundle;
}

MailboxMessage TextMailboxMessage(uint64_t id, const std::string& subject, const std::string& text)
{
    return {id, MakeMessage(subject, TextPart(text), kBaseDate + static_cast<int64_t>(id))};
}

MailboxMessage AttachmentMailboxMessage(uint64_t id, const std::string& subject, PartRecipe attachment)
{
    return {id, MakeMessage(subject, Multipart("mixed", {TextPart("see attached\n"), std::move(attachment)}),
                            kBaseDate + static_cast<int64_t>(id))};
}

std::string RenderMboxSeparator(const MessageRecipe& message)
{
    return "From " + BareAddress(FindHeader(message, "From")) + " " + FormatAscTimeUtc(message.dateReceived);
}

std::string RenderMboxEntry(const MessageRecipe& message)
{
    std::string out = RenderMboxSeparator(message) + "\n";
    const std::string full = RenderFullMessage(message);
    size_t start = 0;
    while (start < full.size()) {
        size_t end = full.find('\n', start);
        if (end == std::string::npos) end = full.size();
        const std::string line = full.substr(start, end - start);
        const size_t quotes = line.find_first_not_of('>');
        if (quotes != std::string::npos && line.compare(quotes, 5, "From ") == 0) out += ">";
        out += line + "\n";
        start = end + 1;
    }
    return out + "\n";
}

namespace {

std::string RenderMailbox(const std::vector<MessageRecipe>& messages, const std::string& leading)
{
    std::string mbox = leading;
    for (const MessageRecipe& message : messages) mbox += RenderMboxEntry(message);
    return mbox;
}

}  // namespace

fs::path WriteExportedMailbox(const fs::path& parent, const std::string& name,
                              const std::vector<MessageRecipe>& messages, const std::string& leading)
{
    const fs::path bundle = parent / (name + ".mbox");
    WriteBinaryFile(bundle / "mbox", RenderMailbox(messages, leading));
    return bundle;
}

fs::path WriteMailboxFile(const fs::path& parent, const std::string& name,
                          const std::vector<MessageRecipe>& messages)
{
    const fs::path file = parent / (name + ".mbox");
    WriteBinaryFile(file, RenderMailbox(messages, std::string()));
    return file;
}

}  // namespace kestrin_libbuilder
