// Character sets by Windows code page and the conversions between byte
// buffers, UTF-16LE and wide (UTF-32) strings, all through ICU.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

namespace KestrinMIMEEngineCommon {

struct CharsetInfo {
    int available = 0;  // 1 when ICU could open a converter for name
    int32_t codePage = 0;
    void* reserved = nullptr;
    std::string name;         // the ICU converter name
    std::string displayName;  // human-readable, not used by conversions
};

boost::shared_ptr<CharsetInfo> GetCharsetByCodePage(int32_t codePage);
// Every registered charset, in the registry's table order (for listings).
std::vector<boost::shared_ptr<CharsetInfo>> GetAllCharsets();
boost::shared_ptr<CharsetInfo> GetUTF8Charset();     // 65001
boost::shared_ptr<CharsetInfo> GetUTF16LECharset();  // 1200
boost::shared_ptr<CharsetInfo> GetUTF32LECharset();  // 12000

std::u16string MultiBytesToUTF16LEBytes(const void* bytes, size_t count,
                                        const boost::shared_ptr<CharsetInfo>& charset);
std::vector<uint8_t> UTF16LEBytesToMultiBytes(const void* bytes, size_t count,
                                              const boost::shared_ptr<CharsetInfo>& charset);
std::wstring MultiBytesToWide(const std::vector<uint8_t>& bytes,
                              const boost::shared_ptr<CharsetInfo>& charset);
std::vector<uint8_t> WideToMultiBytes(const std::wstring& text,
                                      const boost::shared_ptr<CharsetInfo>& charset);
std::vector<uint8_t> WideToUTF16LEBytes(const std::wstring& text);
std::wstring UTF16LEBytesToWide(const void* bytes, size_t count);
std::string UTF16LEBytesToUTF8(const void* bytes, size_t count);
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
