#include "applemail/MailFolderPaths.h"

#include <algorithm>
#include <cctype>

#include <boost/crc.hpp>
#include <boost/filesystem.hpp>
#include <unicode/normalizer2.h>
#include <unicode/unistr.h>

#include "streams/KSFileSystem.h"
#include "streams/Platform.h"

namespace KestrinMIMEEngineCommon {

namespace fs = boost::filesystem;

bool PathExists(const std::string& path)
{
    boost::system::error_code ec;
    const fs::file_status st = fs::status(path, ec);
    if (ec)
        return false;
    return st.type() != fs::file_not_found && st.type() != fs::status_error;
}

bool IsDirectoryPath(const std::string& path)
{
    boost::system::error_code ec;
    return fs::is_directory(path, ec) && !ec;
}

std::string JoinPath(const std::string& base, const std::string& name)
{
    return (fs::path(base) / name).string();
}

std::string NormaliseRootPath(const std::string& path)
{
    if (path.empty())
        return path;
    fs::path absolute = fs::absolute(fs::path(path));
    std::vector<std::string> parts;
    for (const auto& part : absolute) {
        const std::string text = part.string();
        if (text.empty() || text == "." || text == "/")
            continue;
        if (text == "..") {
            if (!parts.empty())
                parts.pop_back();
            continue;
        }
        parts.push_back(text);
    }
    std::string out;
    for (const auto& part : parts)
        out += "/" + part;
    return out.empty() ? std::string("/") : out;
}

std::string LastPathComponent(const std::string& path)
{
    const size_t end = path.find_last_not_of('/');
    if (end == std::string::npos)
        return std::string();
    const size_t slash = path.find_last_of('/', end);
    const size_t start = slash == std::string::npos ? 0 : slash + 1;
    return path.substr(start, end + 1 - start);
}

bool HasUUIDShape(const std::string& name)
{
    return name.size() == 36 && name[8] == '-' && name[13] == '-';
}

bool IsUUIDText(const std::string& name)
{
    if (name.size() != 36)
        return false;
    for (size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (c != '-')
                return false;
        } else if (!std::isxdigit(static_cast<unsigned char>(c))) {
            return false;
        }
    }
    return true;
}

std::string FindUUIDFolderName(const std::string& dir)
{
    boost::system::error_code ec;
    fs::directory_iterator it(dir, ec), end;
    std::string best;
    for (; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (!IsUUIDText(name)) continue;
        // One question for both answers: not a link, and a directory.
        const std::string path = it->path().string();
        const Platform::FileKind kind = Platform::GetFileKind(path);
        if (kind == Platform::FileKind::SymbolicLink) {
            SkipSymbolicLink(path);
            continue;
        }
        if (kind != Platform::FileKind::Directory) continue;
        if (best.empty() || name < best)
            best = name;
    }
    return best;
}

namespace {

bool NormalizeNFC(const std::string& text, icu::UnicodeString& out)
{
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status) || !nfc)
        return false;
    out = nfc->normalize(icu::UnicodeString::fromUTF8(text), status);
    return U_SUCCESS(status);
}

}  // namespace

bool SameNormalizedName(const std::string& a, const std::string& b)
{
    if (a == b)
        return true;
    icu::UnicodeString na, nb;
    if (!NormalizeNFC(a, na) || !NormalizeNFC(b, nb))
        return false;
    return na == nb;
}

std::string ResolveChildPath(const std::string& dir, const std::string& name)
{
    const std::string exact = JoinPath(dir, name);
    if (PathExists(exact))
        return exact;
    return FindNormalizedChild(dir, name);
}

std::string FindNormalizedChild(const std::string& dir, const std::string& name)
{
    // Only names with non-ASCII characters can differ in normalization.
    if (std::all_of(name.begin(), name.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        return std::string();
    icu::UnicodeString wanted;
    if (!NormalizeNFC(name, wanted))
        return std::string();
    boost::system::error_code ec;
    fs::directory_iterator it(dir, ec), end;
    std::string found;
    for (; !ec && it != end; it.increment(ec)) {
        const std::string candidate = it->path().filename().string();
        icu::UnicodeString normalized;
        if (NormalizeNFC(candidate, normalized) && normalized == wanted) {
            // Two entries may both match; take the same one every time.
            if (found.empty() || candidate < found)
                found = candidate;
        }
    }
    return found.empty() ? std::string() : JoinPath(dir, found);
}

namespace {

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

}  // namespace

std::string PercentDecode(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            const int hi = HexValue(text[i + 1]);
            const int lo = HexValue(text[i + 2]);
            if (hi >= 0 && lo >= 0) {
                out.push_back(static_cast<char>(hi * 16 + lo));
                i += 2;
                continue;
            }
        }
        out.push_back(text[i]);
    }
    return out;
}

bool IsSafePathComponent(const std::string& component)
{
    if (component.empty() || component == "." || component == "..")
        return false;
    return component.find('/') == std::string::npos &&
           component.find('\0') == std::string::npos;
}

bool SplitMailboxPath(const std::string& path, std::vector<std::string>& out)
{
    out.clear();
    std::string text = path;
    if (!text.empty() && text.back() == '/')
        text.pop_back();
    size_t start = 0;
    while (true) {
        const size_t slash = text.find('/', start);
        const std::string part =
            text.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        if (part != ".") {
            if (!IsSafePathComponent(part))
                return false;
            out.push_back(part);
        }
        if (slash == std::string::npos)
            break;
        start = slash + 1;
    }
    return !out.empty();
}

uint32_t Crc32(const void* bytes, size_t length)
{
    boost::crc_32_type crc;
    crc.process_bytes(bytes, length);
    return crc.checksum();
}

}  // namespace KestrinMIMEEngineCommon
