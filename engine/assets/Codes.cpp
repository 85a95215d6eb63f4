#include "assets/Codes.h"

namespace KestrinMIMEEngineCommon {

const char* ToString(Status status)
{
    switch (status) {
    case Status::Succeeded: return "succeeded";
    case Status::Canceled: return "canceled";
    case Status::Failed: break;
    }
    return "failed";
}

}  // namespace KestrinMIMEEngineCommon
