// The codes the engine and the application answer with, each with its one
// spelling as text.
#pragma once

namespace KestrinMIMEEngineCommon {

// How an operation ended: opening or closing a store, loading its folder
// tree, an export, loading a source.
enum class Status {
    Succeeded,
    Canceled,
    Failed,  // completed with errors, or stopped by one
};

// "succeeded", "canceled" or "failed", as the command line's JSON spells them.
const char* ToString(Status status);

}  // namespace KestrinMIMEEngineCommon
