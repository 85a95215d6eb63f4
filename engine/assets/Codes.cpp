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

const char* ToString(StoreKind kind)
{
    switch (kind) {
    case StoreKind::EnvelopeIndex: return "envelope-index";
    case StoreKind::MboxArchive: return "mbox-archive";
    case StoreKind::Archive: return "archive";
    case StoreKind::Mbox: return "mbox";
    case StoreKind::Eml: return "eml";
    case StoreKind::AppleMailV1: return "apple-mail-v1";
    case StoreKind::Maildir: return "maildir";
    case StoreKind::AppleMailV2: break;
    }
    return "apple-mail-v2";
}

int StoreKindNumber(StoreKind kind)
{
    switch (kind) {
    case StoreKind::EnvelopeIndex: return 0;
    case StoreKind::MboxArchive: return 1;
    case StoreKind::Archive: return 2;
    case StoreKind::Mbox: return 6;
    case StoreKind::Eml: return 7;
    case StoreKind::AppleMailV1: return 38;
    case StoreKind::Maildir: return 8;
    case StoreKind::AppleMailV2: break;
    }
    return 39;
}

const char* ToString(WriteResult result)
{
    switch (result) {
    case WriteResult::Ok: return "ok";
    case WriteResult::Short: return "short";
    case WriteResult::StreamFailed: break;
    }
    return "stream-failed";
}

const char* ToString(AddAssetCode code)
{
    switch (code) {
    case AddAssetCode::Written: return "written";
    case AddAssetCode::Failed: return "failed";
    case AddAssetCode::StreamFailed: break;
    }
    return "stream-failed";
}

}  // namespace KestrinMIMEEngineCommon
