#include "formats/MaildirNames.h"

#include <unistd.h>

#include <memory>
#include <vector>

#include <unicode/ucnv.h>
#include <unicode/unistr.h>

#include "streams/KSDiagnostics.h"

namespace KestrinMIMEEngineCommon {

namespace {

// "/" and ":" cannot stand in a message's name (a directory separator, the
// info separator); Maildir writers spell them as octal escapes.
std::string EscapeHost(const std::string& host)
{
    std::string escaped;
    for (const char c : host) {
        if (c == '/')
            escaped += "\\057";
        else if (c == ':')
            escaped += "\\072";
        else
            escaped += c;
    }
    return escaped;
}

struct ConverterCloser {
    void operator()(UConverter* converter) const { ucnv_close(converter); }
};

}  // namespace

std::string MaildirInfo(const MessageState& state)
{
    std::string info = "2,";
    if (state.draft) info += 'D';
    if (state.flagged) info += 'F';
    if (state.forwarded) info += 'P';
    if (state.answered) info += 'R';
    if (state.read) info += 'S';
    if (state.deleted) info += 'T';
    return info;
}

std::string MaildirFileName(int64_t seconds, const std::string& unique, const std::string& host,
                            const std::string& info)
{
    return std::to_string(seconds) + "." + unique + "." + host + ":" + info;
}

std::string MaildirHostName()
{
    char buffer[256] = {};
    if (::gethostname(buffer, sizeof buffer - 1) != 0 || buffer[0] == '\0') return "localhost";
    return EscapeHost(buffer);
}

std::string MaildirFolderLevel(const std::wstring& name)
{
    std::u32string level(name.begin(), name.end());
    for (char32_t& c : level)
        if (c == U'.') c = U'_';
    const icu::UnicodeString text =
        icu::UnicodeString::fromUTF32(reinterpret_cast<const UChar32*>(level.data()),
                                      static_cast<int32_t>(level.size()));

    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UConverter, ConverterCloser> converter(ucnv_open("IMAP-mailbox-name", &status));
    if (U_SUCCESS(status)) {
        std::vector<char> out(static_cast<size_t>(text.length()) * 4 + 16);
        const int32_t length = ucnv_fromUChars(converter.get(), out.data(),
                                               static_cast<int32_t>(out.size()), text.getBuffer(),
                                               text.length(), &status);
        if (U_SUCCESS(status)) return std::string(out.data(), static_cast<size_t>(length));
    }
    // Only a broken ICU gets here; the name is still safe, if not what
    // Dovecot would show.
    KSDiagnostic("ERROR: Unable to write the folder name in modified UTF-7 - %s\n",
                 u_errorName(status));
    std::string plain;
    for (const char32_t c : level) plain += (c >= 0x20 && c < 0x7f && c != U'&') ? char(c) : '_';
    return plain;
}

}  // namespace KestrinMIMEEngineCommon
