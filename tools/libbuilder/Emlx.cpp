#include "libbuilder/Emlx.h"

#include <fstream>
#include <stdexcept>

#include <boost/filesystem/operations.hpp>

namespace fs = boost::filesystem;

namespace kestrin_libbuilder {

namespace {

bool HasStrippedPart(const MessageSpec& spec)
{
    for (const NumberedPart& numbered : NumberParts(spec.body))
        if (numbered.part->IsStripped()) return true;
    return false;
}

std::string CountLine(size_t size, const MessageSpec& spec)
{
    if (spec.overrideCountLine) return spec.countLine + "\n";
    std::string line = std::to_string(size);
    if (spec.countWidth > 0 && line.size() < static_cast<size_t>(spec.countWidth))
        line.append(static_cast<size_t>(spec.countWidth) - line.size(), ' ');
    return line + "\n";
}

}  // namespace

std::string EmlxFileName(uint64_t id, const MessageSpec& spec)
{
    return std::to_string(id) + (HasStrippedPart(spec) ? ".partial.emlx" : ".emlx");
}

std::string MessageStem(const fs::path& emlxPath)
{
    fs::path name = emlxPath.filename();
    for (int i = 0; i < 2 && name.has_extension(); ++i) name = name.stem();
    return name.string();
}

std::string EmlxTrailer(const MessageSpec& spec)
{
    std::string out =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
        "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
        "<plist version=\"1.0\">\n"
        "<dict>\n"
        "\t<key>date-last-viewed</key>\n"
        "\t<integer>0</integer>\n"
        "\t<key>date-received</key>\n"
        "\t<integer>" + std::to_string(spec.dateReceived) + "</integer>\n"
        "\t<key>flags</key>\n"
        "\t<integer>" + std::to_string(spec.flags) + "</integer>\n";
    if (!spec.remoteId.empty())
        out += "\t<key>remote-id</key>\n\t<string>" + spec.remoteId + "</string>\n";
    out += "</dict>\n</plist>\n";
    return out;
}

std::string RenderEmlxAround(const std::string& message, const MessageSpec& spec)
{
    return CountLine(message.size(), spec) + message + EmlxTrailer(spec);
}

std::string RenderEmlx(const MessageSpec& spec)
{
    return RenderEmlxAround(RenderStoredMessage(spec), spec);
}

void WriteBinaryFile(const fs::path& path, const std::string& content)
{
    if (path.has_parent_path()) fs::create_directories(path.parent_path());
    std::ofstream out(path.string(), std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    out.close();
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

WrittenMessage WriteEmlx(const fs::path& emlxPath, const MessageSpec& spec)
{
    WrittenMessage written;
    written.emlxPath = emlxPath;
    WriteBinaryFile(emlxPath, RenderEmlx(spec));

    const std::string stem = MessageStem(emlxPath);
    const fs::path messageFolder = emlxPath.parent_path();
    const fs::path attachments = messageFolder.parent_path() / "Attachments" / stem;
    for (const NumberedPart& numbered : NumberParts(spec.body)) {
        const PartSpec& part = *numbered.part;
        const fs::path emlxPart = messageFolder / (stem + "." + numbered.number + ".emlxpart");
        const fs::path partFolder = attachments / numbered.number;
        switch (part.storage) {
        case PartStorage::Inline:
        case PartStorage::Missing:
            continue;
        case PartStorage::EmlxPart:
            WriteBinaryFile(emlxPart, EncodeContent(part));
            written.sideFiles.push_back(emlxPart);
            break;
        case PartStorage::EmptyEmlxPart:
            WriteBinaryFile(emlxPart, std::string());
            written.sideFiles.push_back(emlxPart);
            break;
        case PartStorage::Attachments: {
            const fs::path file = partFolder / part.fileName;
            WriteBinaryFile(file, part.content);
            written.sideFiles.push_back(file);
            break;
        }
        case PartStorage::AttachedFolder: {
            const fs::path folder = partFolder / fs::path(part.fileName).stem();
            fs::create_directories(folder);
            for (const FileEntry& entry : part.folderFiles) {
                WriteBinaryFile(folder / entry.name, entry.content);
                written.sideFiles.push_back(folder / entry.name);
            }
            break;
        }
        }
    }
    return written;
}

fs::path WriteDamagedEmlx(const fs::path& messagesFolder, uint64_t id, const MessageSpec& spec,
                          EmlxDamage damage)
{
    const fs::path path = messagesFolder / EmlxFileName(id, spec);
    MessageSpec counted = spec;
    counted.overrideCountLine = true;
    const std::string message = RenderStoredMessage(spec);
    switch (damage) {
    case EmlxDamage::Empty: WriteBinaryFile(path, std::string()); break;
    case EmlxDamage::CountLineOnly: WriteBinaryFile(path, CountLine(message.size(), spec)); break;
    case EmlxDamage::CountPastMessage:
        counted.countLine = std::to_string(message.size() + 100);
        WriteBinaryFile(path, RenderEmlxAround(message, counted));
        break;
    case EmlxDamage::CountNearInt64Max:
        counted.countLine = "9223372036854775000";
        WriteBinaryFile(path, RenderEmlxAround(message, counted));
        break;
    }
    return path;
}

fs::path WriteAppleDouble(const fs::path& file)
{
    // Magic 0x00051607, version 2, then filler up to the usual 4 KB.
    std::string bytes("\x00\x05\x16\x07\x00\x02\x00\x00", 8);
    bytes += "Mac OS X        ";
    bytes.resize(4096, '\0');
    const fs::path companion = file.parent_path() / ("._" + file.filename().string());
    WriteBinaryFile(companion, bytes);
    return companion;
}

WrittenMessage WriteMessage(const fs::path& messagesFolder, uint64_t id, const MessageSpec& spec)
{
    return WriteEmlx(messagesFolder / EmlxFileName(id, spec), spec);
}

}  // namespace kestrin_libbuilder
