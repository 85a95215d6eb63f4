// The result of `kestrin convert --json`: one JSON object, for scripts that
// check a conversion before the source goes away.
#pragma once

#include <string>

#include "app/ExportRecord.h"
#include "app/VerifyExport.h"

namespace KestrinCli {

// verify is given when the run read its output back. Invalid UTF-8 in names
// becomes U+FFFD rather than making the object unreadable.
std::string ConvertResultJson(const KestrinApp::ExportRecord& record,
                              const KestrinApp::VerifyResult* verify);

}  // namespace KestrinCli
