// What an export writes, as the engine and the application name it.
#pragma once

#include <string>

#include <boost/optional.hpp>

namespace KestrinMIMEEngineCommon {

// What an export writes.
enum class ExportTarget {
    Eml,      // one ".eml" file per message, a folder per folder
    Mbox,     // one mailbox file per folder
    Archive,  // the Outlook archive package
    Maildir,  // a Maildir++ tree: a Maildir per folder, a file per message
};

// "eml", "mbox", "archive" or "maildir", as the command line and its JSON spell them.
const char* ToString(ExportTarget target);
boost::optional<ExportTarget> ExportTargetFromString(const std::string& text);

}  // namespace KestrinMIMEEngineCommon
