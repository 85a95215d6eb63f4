// Conversions between UTF-8 and wide (UTF-32) strings, and from the
// charset a message declares to UTF-8, all through ICU.
#pragma once

#include <cstdint>
#include <string>

namespace KestrinMIMEEngineCommon {

std::string WideToUTF8(const std::wstring& text);
std::wstring UTF8ToWide(const std::string& text);
// Text in the charset a message declares, by its MIME name ("gb2312",
// "koi8-r"), as UTF-8. False when ICU does not know the charset, when the
// charset does not keep ASCII as it is (so it cannot be what raw header
// bytes are in), or when the bytes are not valid in it: the declaration then
// does not fit the text. Names that mail writes for a smaller charset than it
// means read as the larger one (gb2312 as GB18030, euc-kr as Windows-949,
// iso-8859-1 as Windows-1252).
bool DeclaredCharsetToUTF8(const std::string& bytes, const std::string& charset, std::string& utf8);

// The bytes one wide unit takes in UTF-8.
inline size_t UTF8Length(wchar_t c)
{
    const uint32_t u = static_cast<uint32_t>(c);
    return u < 0x80 ? 1 : u < 0x800 ? 2 : u < 0x10000 ? 3 : 4;
}

}  // namespace KestrinMIMEEngineCommon
