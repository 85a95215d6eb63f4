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

// What kind of store reads or writes the mail.
enum class StoreKind {
    EnvelopeIndex,  // Apple Mail's "Envelope Index" database
    MboxArchive,    // mbox store over Apple Mail's exported mailboxes
    Archive,        // the Outlook archive package
    Mbox,           // plain mbox output
    Eml,
    AppleMailV1,
    AppleMailV2,
    Maildir,        // Maildir++ output
};

// "envelope-index", "mbox-archive", "archive", "mbox", "eml", "apple-mail-v1",
// "apple-mail-v2" or "maildir".
const char* ToString(StoreKind kind);
// The number the command line's JSON listing has always shown for a kind.
int StoreKindNumber(StoreKind kind);

// What writing one message into a stream came to.
enum class WriteResult {
    Ok,
    Short,         // the stream took fewer bytes than offered
    StreamFailed,  // the output stream reported a failure
};

// "ok", "short" or "stream-failed".
const char* ToString(WriteResult result);

// What adding one item to an output folder came to.
enum class AddAssetCode {
    Written,
    Failed,
    StreamFailed,  // the folder's output stream reported a failure
};

// "written", "failed" or "stream-failed".
const char* ToString(AddAssetCode code);

}  // namespace KestrinMIMEEngineCommon
