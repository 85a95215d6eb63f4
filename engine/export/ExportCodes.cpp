#include "export/ExportCodes.h"

namespace KestrinMIMEEngineCommon {

const char* ToString(ExportTarget target)
{
    switch (target) {
    case ExportTarget::Mbox: return "mbox";
    case ExportTarget::Archive: return "archive";
    case ExportTarget::Maildir: return "maildir";
    case ExportTarget::Eml: break;
    }
    return "eml";
}

boost::optional<ExportTarget> ExportTargetFromString(const std::string& text)
{
    for (const ExportTarget target : {ExportTarget::Eml, ExportTarget::Mbox, ExportTarget::Archive,
                                      ExportTarget::Maildir})
        if (text == ToString(target)) return target;
    return boost::none;
}

}  // namespace KestrinMIMEEngineCommon
