// ".emlx" files as Apple Mail writes them: the decimal byte count of the
// message on the first line (padded with blanks), the message bytes, then an
// XML property-list trailer. Stripped parts go to ".emlxpart" files beside the
// message or to "Attachments/<stem>/<part number>/" beside the message folder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <boost/filesystem/path.hpp>

#include "libbuilder/MessageRecipe.h"

namespace kestrin_libbuilder {

struct WrittenMessage {
    boost::filesystem::path emlxPath;
    // ".emlxpart" files and files below "Attachments", in writing order.
    std::vector<boost::filesystem::path> sideFiles;
};

// "<id>.partial.emlx" when some part is stripped, else "<id>.emlx".
std::string EmlxFileName(uint64_t id, const MessageRecipe& recipe);
// The file name with up to two extensions removed: 55.partial.emlx -> 55.
std::string MessageStem(const boost::filesystem::path& emlxPath);

// The whole ".emlx" file: count line, stored message, trailer.
std::string RenderEmlx(const MessageRecipe& recipe);
// The same around message bytes given as they are (for odd messages: CR LF
// line ends, broken MIME). Count line and trailer follow the MessageRecipe.
std::string RenderEmlxAround(const std::string& message, const MessageRecipe& recipe);
std::string EmlxTrailer(const MessageRecipe& recipe);

// Writes the ".emlx" at this exact path, every ".emlxpart" beside it and the
// stripped content below "<parent of its folder>/Attachments/<stem>/".
WrittenMessage WriteEmlx(const boost::filesystem::path& emlxPath, const MessageRecipe& recipe);
// Writes into a message folder under the name Apple Mail gives it.
WrittenMessage WriteMessage(const boost::filesystem::path& messagesFolder, uint64_t id,
                            const MessageRecipe& recipe);

// Message files as damaged copies, crashes and full disks leave them.
enum class EmlxDamage {
    Empty,              // 0 bytes
    CountLineOnly,      // the byte count line and nothing after it
    CountPastMessage,   // a count larger than the message: it runs into the trailer
    CountNearInt64Max,  // a count a little below 2^63
};
// Writes the damaged file into a message folder under the name Apple Mail
// gives it (no side files) and answers its path.
boost::filesystem::path WriteDamagedEmlx(const boost::filesystem::path& messagesFolder, uint64_t id,
                                         const MessageRecipe& recipe, EmlxDamage damage);

// The AppleDouble companion "._<name>" beside file: 4 KB of resource-fork
// metadata, as copies through exFAT or SMB leave them. Answers its path.
boost::filesystem::path WriteAppleDouble(const boost::filesystem::path& file);

// Creates the parent folders and writes the bytes; throws on failure.
void WriteBinaryFile(const boost::filesystem::path& path, const std::string& content);

}  // namespace kestrin_libbuilder
