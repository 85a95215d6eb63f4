// The account configuration Apple Mail keeps beside its mailboxes:
// "Accounts.plist" (layout V2), "BackupTOC.plist" (layout V3), the account
// database "Accounts/AccountsN.sqlite" beside the mail folder (V3 and later)
// and a mailbox bundle's "Info.plist". Property lists are written in the
// binary or the XML form, as real libraries hold both.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <boost/filesystem/path.hpp>

namespace kestrin_libbuilder {

enum class PlistFormat { Binary, XML };

// One dictionary of the "MailAccounts" array. An empty optional field is
// left out of the dictionary.
struct PlistAccount {
    std::string accountType;  // "IMAPAccount", "POPAccount", "AosImapAccount", "LocalAccount", "RSSAccount"
    std::string username;
    bool hasUsername = true;
    std::string hostname;
    std::string accountPath;  // "~/Library/Mail/V2/IMAP-john@imap.example.com"
    std::string canonicalEmailAddress;
    bool hasCanonicalEmailAddress = true;
};

void WriteAccountsPlist(const boost::filesystem::path& path,
                        const std::vector<PlistAccount>& accounts, PlistFormat format);

// An entry of "BackupTOC.plist"'s "mailboxes" arrays: type 8 is an account
// with "account-id" and "path"; other types only group "mailboxes".
struct BackupTOCEntry {
    int64_t type = 8;
    std::string accountId;
    std::string path;
    std::vector<BackupTOCEntry> mailboxes;
};

void WriteBackupTOC(const boost::filesystem::path& path, const std::vector<BackupTOCEntry>& entries,
                    PlistFormat format);

// A row of ZACCOUNT; parentKey 0 stores NULL in ZPARENTACCOUNT. Empty
// texts are stored as NULL when nullWhenEmpty is set, else as ''.
struct ZAccountRow {
    int64_t key = 0;
    std::string identifier;
    std::string description;
    std::string username;
    int64_t parentKey = 0;
    std::string accountType = "IMAP";
    bool nullWhenEmpty = true;
};

// Writes the account database with Apple's ZACCOUNT columns (an existing
// file is replaced).
void WriteAccountsDatabase(const boost::filesystem::path& path,
                           const std::vector<ZAccountRow>& rows);

// "<bundle>/Info.plist" holding "MailboxName".
void WriteMailboxInfoPlist(const boost::filesystem::path& bundle, const std::string& mailboxName,
                           PlistFormat format);

}  // namespace kestrin_libbuilder
