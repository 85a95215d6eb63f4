// The messages of the sample library: a hand-written set that shows what real
// mail holds (several languages, attachments, a partial download, a folder
// attachment, a message Apple Mail never downloaded) and a generator of plain
// bulk mail for large libraries, one message at a time.
#pragma once

#include <cstdint>
#include <string>

#include "libbuilder/EnvelopeIndex.h"
#include "libbuilder/MessageRecipe.h"

namespace kestrin_sample {

struct Person {
    std::string name;
    std::string address;
};

// A header text as it travels: unchanged when it is plain ASCII, else RFC 2047
// encoded words ("=?UTF-8?B?...?=") split on character boundaries and folded.
std::string EncodeHeaderText(const std::string& text);
// "Name <address>" with the name encoded when needed.
std::string FormatAddress(const Person& person);

// A message whose database row and file agree: sender, subject, dates and a
// Message-ID derived from the row.
kestrin_libbuilder::EnvelopeMessage Letter(uint64_t rowId, const Person& from, const Person& to,
                                           const std::string& subject, int64_t date,
                                           kestrin_libbuilder::PartRecipe body);

// A UTF-8 text part; non-ASCII text goes quoted-printable, or base64 when
// asked (as mailers do for CJK text).
kestrin_libbuilder::PartRecipe Utf8Text(const std::string& text, bool base64 = false);

// Generated bulk message number index (from 0) stored under rowId. The same
// index always gives the same message; sizes vary from a few hundred bytes to
// some tens of kilobytes (every tenth message carries an attachment).
kestrin_libbuilder::EnvelopeMessage GeneratedMessage(uint64_t index, uint64_t rowId);

}  // namespace kestrin_sample
