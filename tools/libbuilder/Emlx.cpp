#include "libbuilder/Emlx.h"

#include <fstream>
#include <stdexcept>

#include <boost/filesystem/operations.hpp>

namespace fs = boost::filesystem;

namespace kestrin_libbuilder {

namespace {

bool HasStrippedPart(const MessageRecipe& recipe)
{
    for (const NumberedPart& numbered : NumberParts(recipe.body))
        if (numbered.part->IsStripped()) return true;
    return false;
}

std::string CountLine(size_t size, const MessageRecipe& recipe)
{
    if (recipe.overrideCountLine) return recipe.countLine + "\n";
    std::string line = std::to_string(size);
    if (recipe.countWidth > 0 && line.size() < static_cast<size_t>(recipe.countWidth))
        line.append(static_cast<size_t>(recipe.countWidth) - line.size(), ' ');
    return line + "\n";
}

}  // namespace

std::string EmlxFileName(uint64_t id, const MessageRecipe& recipe)
{
    return std::to_string(id) + (HasStrippedPart(recipe) ? ".partial.emlx" : ".emlx");
}

std::string MessageStem(const fs::path& emlxPath)
{
    fs::path name = emlxPath.filename();
    for (int i = 0; i < 2 && name.has_extension(); ++i) name = name.stem();
    return name.string();
}

std::string EmlxTrailer(const MessageRecipe& recipe)
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
        "\t<integer>" + std::to_string(recipe.dateReceived) + "</integer>\n"
        "\t<key>flags</key>\n"
        "\t<integer>" + std::to_string(recipe.flags) + "</integer>\n";
    if (!recipe.remoteId.empty())
        out += "\t<key>remote-id</key>\n\t<string>" + recipe.remoteId + "</string>\n";
    out += "</dict>\n</plist>\n";
    return out;
}

std::string RenderEmlxAround(const std::string& message, const MessageRecipe& recipe)
{
    return CountLine(message.size(), recipe) + message + EmlxTrailer(recipe);
}

std::string RenderEmlx(const MessageRecipe& recipe)
{
    return RenderEmlxAround(RenderStoredMessage(recipe), recipe);
}

void WriteBinaryFile(const fs::path& path, const std::string& content)
{
    if (path.has_parent_path()) fs::create_directories(path.parent_path());
    std::ofstream out(path.string(), std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    out.close();
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

WrittenMessage WriteEmlx(const fs::path& emlxPath, const MessageRecipe& recipe)
{
    WrittenMessage written;
    written.emlxPath = emlxPath;
    WriteBinaryFile(emlxPath, RenderEmlx(recipe));

    const std::string stem = MessageStem(emlxPath);
    const fs::path messageFolder = emlxPath.parent_path();
    const fs::path attachments = messageFolder.parent_path() / "Attachments" / stem;
    for (const NumberedPart& numbered : NumberParts(recipe.body)) {
        const PartRecipe& part = *numbered.part;
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

fs::path WriteDamagedEmlx(const fs::path& messagesFolder, uint64_t id, const MessageRecipe& recipe,
                          EmlxDamage damage)
{
    const fs::path path = messagesFolder / EmlxFileName(id, recipe);
    MessageRecipe counted = recipe;
    counted.overrideCountLine = true;
    const std::string message = RenderStoredMessage(recipe);
    switch (damage) {
    case EmlxDamage::Empty: WriteBinaryFile(path, std::string()); break;
    case EmlxDamage::CountLineOnly: WriteBinaryFile(path, CountLine(message.size(), recipe)); break;
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

WrittenMessage WriteMessage(const fs::path& messagesFolder, uint64_t id, const MessageRecipe& recipe)
{
    return WriteEmlx(messagesFolder / EmlxFileName(id, recipe), recipe);
}

}  // namespace kestrin_libbuilder
