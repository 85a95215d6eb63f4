#include "export/ExportCodes.h"

namespace KestrinMIMEEngineCommon {

const char* ToString(ExportTarget target)
{
    switch (target) {
    case ExportTarget::Mbox: return "mbox";
    case ExportTarget::Archive: return "archive";
    case ExportTarget::Eml: break;
    }
    return "eml";
}

boost::optional<ExportTarget> ExportTargetFromString(const std::string& text)
{
    for (const ExportTarget target : {ExportTarget::Eml, ExportTarget::Mbox, ExportTarget::Archive})
        if (text == ToString(target)) return target;
    return boost::none;
}

}  // namespace KestrinMIMEEngineCommon
