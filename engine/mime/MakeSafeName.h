// Turns a subject or folder name into a short name every file system
// accepts: by default in ASCII letters, or in the text's own script.
#pragma once

#include <string>

#include <boost/optional.hpp>

namespace KestrinMIMEEngineCommon {

// How output names are written.
enum class NameStyle {
    // Transliterated to ASCII, which every disk and program reads: Japanese
    // in romaji, Chinese in pinyin, other scripts in their Latin spelling.
    Ascii,
    // The text itself (NFC), with only what file systems refuse replaced.
    Unicode,
};

// "ascii" or "unicode", as the command line and the preferences spell it.
const char* ToString(NameStyle style);
boost::optional<NameStyle> NameStyleFromString(const std::string& text);

// The argument is consumed; its storage becomes the result. The result is
// never "", "." or "..", holds no control character (below 0x20, or 0x7F,
// and in Unicode style none of U+0080..U+009F), begins with neither a
// blank nor a dot and ends with neither (FAT, exFAT and Windows drop
// trailing dots and blanks, so "Notes." would meet "Notes" there), is no
// device name of Windows ("CON", "nul.txt"), and takes at most 128 bytes of
// UTF-8, cut between characters; so joined to a folder it names something
// inside that folder on any disk. When nothing of the text survives (an
// empty subject, emoji only in ASCII style) the result is whenNothingLeft;
// a caller that uses the name only as a prefix may pass "".
std::wstring MakeSafeName(std::wstring name, const std::wstring& whenNothingLeft,
                          NameStyle style = NameStyle::Ascii);
std::wstring MakeSafeName(std::wstring name);

// What MakeSafeName answers for a name with nothing usable in it.
extern const wchar_t kNamelessSafeName[];

// The form under which file systems that ignore case and Unicode
// normalisation (macOS, Windows) compare names: NFC, then case-folded.
// Two names with equal keys are one entry on such a disk.
std::wstring FileSystemNameKey(const std::wstring& name);

}  // namespace KestrinMIMEEngineCommon
