// GMime set-up, parsing, header and date services and the
// message summary shared by every e-mail item.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>
#include <gmime/gmime.h>
#include <unicode/timezone.h>

#include "mime/GMimeObject.h"
#include "streams/KSData.h"


namespace KestrinMIMEEngineCommon {

using GMimeMessagePtr = boost::shared_ptr<GMimeMessage>;
using GMimeStreamPtr = boost::shared_ptr<GMimeStream>;

// Once per process, before any store is opened: g_mime_init and the four
// loose parser options. Safe to call more than once.
void InitializeMimeEngine();

// The buffer is not copied and must outlive the parse; the message does not
// refer to it afterwards.
GMimeMessagePtr ParseMimeMessageFromBuffer(const uint8_t* bytes, size_t length);
GMimeMessagePtr ParseMimeMessageFromFile(const std::string& path, int64_t offset, int64_t length);
// A GMime file stream opened "rb"; null (with a diagnostic line) when the file
// cannot be opened.
GMimeStreamPtr OpenMimeFileStream(const std::string& path);

std::string Base64Encode(const void* bytes, size_t length);
// Appends the value as it should stand in a header; true when not encoded.
bool EncodeHeaderWord(const std::wstring& value, bool quoteIfPlain, std::string& out);
// Replaces the text by one encoded word when it needs one; true when unchanged.
bool EncodeHeaderText(std::string& text);
void FormatMailbox(const std::wstring& displayName, const std::wstring& address,
                   const std::wstring& addressType, const std::wstring& alternateAddress,
                   const std::wstring& fallbackAddress, std::string& out);

// Appends "Received: (Synthesized by ...); <date>\n" when the message's first
// Received-family header is Received-SPF and it has a Date.
void AppendSynthesizedReceived(GMimeMessage* message, std::string& out);
void AppendSynthesizedReceivedFromBuffer(const uint8_t* bytes, size_t length, std::string& out);
// The line itself, for a message whose Date gave these seconds.
void AppendSynthesizedReceivedForDate(int64_t seconds, std::string& out);

// The charset a message declares for its text, asked for only when a header
// value needs it.
using CharsetLookup = std::function<std::string()>;

// The text of an unstructured header value (Subject) from its raw value, as
// GMime reads it: unfolded, encoded words decoded. Raw 8-bit text that is not
// UTF-8 is first read in the charset the message declares, when that fits
// it; otherwise GMime's own guess stands. Empty when GMime decodes nothing.
std::string DecodeUnstructuredHeader(const std::string& rawValue, const CharsetLookup& declaredCharset);

// The charset parameter of the message's Content-Type, else that of its first
// text part that names one (multiparts looked into, attached messages not);
// empty when there is none.
std::string DeclaredCharset(GMimeMessage* message);

struct MessageSummary {
    std::wstring from;      // From list, else Sender list, as one display string
    int64_t date = 0;       // seconds since 1970; 0 when missing
    bool hasDate = false;
    std::wstring subject;   // decoded
    std::string messageId;  // empty when missing
};
// declaredCharset: where the charset for a raw 8-bit subject comes from;
// without it, from the message (DeclaredCharset).
MessageSummary SummarizeMessage(GMimeMessage* message, const CharsetLookup& declaredCharset = {});

// "EEE',' dd MMM yyyy HH':'mm':'ss ZZZ", en_US, in zone (null = default zone).
std::string FormatRFC822Date(int64_t seconds, const icu::TimeZone* zone = nullptr);
// "EEE MMM dd HH':'mm':'ss yyyy" in a fixed English POSIX locale, into the
// caller's buffer (the mbox writers pass 256 bytes).
void FormatMboxDate(int64_t seconds, char* buffer, size_t capacity,
                    const icu::TimeZone* zone = nullptr);
std::string FormatMboxDate(int64_t seconds, const icu::TimeZone* zone = nullptr);

}  // namespace KestrinMIMEEngineCommon
