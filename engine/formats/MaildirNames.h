// How a Maildir names what it holds: the flag letters after ":2," in a
// message's file name, the file name itself, and a folder's directory name
// in the Maildir++ layout (".Parent.Child" below the root Maildir).
#pragma once

#include <cstdint>
#include <string>

#include "assets/MessageState.h"

namespace KestrinMIMEEngineCommon {

// The info part of a message's name: "2," and the letters of the state in
// ASCII order: D draft, F flagged, P passed (forwarded), R replied, S seen,
// T trashed (deleted). Junk and the flag colour have no letter.
std::string MaildirInfo(const MessageState& state);

// "<seconds>.<unique>.<host>:<info>", the name a delivered message takes in
// cur/. The host is the Maildir way: "/" written "\057" and ":" "\072", so
// the name has one ":" (before the info) and no directory separator.
std::string MaildirFileName(int64_t seconds, const std::string& unique, const std::string& host,
                            const std::string& info);

// The host name for message file names, escaped as above; "localhost" when
// the system gives none.
std::string MaildirHostName();

// One folder name as a level of a Maildir++ directory name: "." is the
// level separator there, so a "." in the name becomes "_", and the name is
// then written in IMAP's modified UTF-7 ("&" as "&-", anything beyond
// printable ASCII in "&...-" runs), the encoding Dovecot and Courier expect
// on disk. ASCII names without "." or "&" stay as they are.
std::string MaildirFolderLevel(const std::wstring& name);

}  // namespace KestrinMIMEEngineCommon
