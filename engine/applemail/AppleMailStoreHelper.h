// Decides what a chosen folder holds (an Apple Mail data folder with an
// "Envelope Index", mailbox bundles, exported mailboxes) and creates the one
// store that can read it.
#pragma once

#include <string>

#include <boost/shared_ptr.hpp>

#include "assets/IAssetStore.h"
#include "assets/IProgressPresenter.h"

namespace KestrinMIMEEngineCommon {

// Results of ScanForMailboxes / DetectMailboxLayout.
enum : int {
    kScanExportedMbox = 0,   // a bundle holding a file "mbox", or a mailbox file
    kScanMessagesFolder = 1, // a bundle holding "Messages"
    kScanUUIDFolder = 2,     // a bundle holding a UUID-named folder
    kScanV2Layout = 3,       // "V2" with "Mailboxes" and "MailData"
    kScanNothing = 4,
};

class AppleMailStoreHelper {
public:
    // The new store is returned unopened; null when the folder holds an
    // Envelope Index that does not open, or on cancellation.
    static boost::shared_ptr<IAssetStore> CreateStore(const std::string& rootPath,
                                                      const std::wstring& displayName,
                                                      const boost::shared_ptr<ICancelable>& cancel);
    // 0 usable (kind set), 4 the database does not open.
    static int DetermineStoreType(std::string rootPath, const boost::shared_ptr<ICancelable>& cancel,
                                  StoreKind& kind);
    // 0 or 4; version 0 and an empty path when no database exists.
    static int FindEnvelopeIndex(const std::string& rootPath, int& version,
                                 std::string& databasePath);
    static int DetectMailboxLayout(const std::string& rootPath,
                                   const boost::shared_ptr<ICancelable>& cancel);
    static bool IsV2Layout(const std::string& rootPath);
    static int ScanForMailboxes(const std::string& path,
                                const boost::shared_ptr<ICancelable>& cancel);
    // 0 when a numbered "Accounts/AccountsN.sqlite" was found below
    // directory (the highest N wins), failed when none.
    static Status DetermineAccountsInfo(const std::string& directory, int& version,
                                     std::string& databasePath);
};

}  // namespace KestrinMIMEEngineCommon
