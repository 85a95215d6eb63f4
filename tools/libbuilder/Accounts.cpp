#include "libbuilder/Accounts.h"

#include <cstdlib>
#include <memory>
#include <stdexcept>

#include <boost/filesystem/operations.hpp>
#include <plist/plist.h>
#include "libbuilder/BuilderSqlite.h"
#include "libbuilder/Emlx.h"

namespace fs = boost::filesystem;

namespace kestrin_libbuilder {

namespace {

struct PlistFree {
    void operator()(void* node) const { plist_free(static_cast<plist_t>(node)); }
};
using PlistPtr = std::unique_ptr<void, PlistFree>;

void WritePlist(const fs::path& path, plist_t root, PlistFormat format)
{
    char* bytes = nullptr;
    uint32_t length = 0;
    if (format == PlistFormat::Binary)
        plist_to_bin(root, &bytes, &length);
    else
        plist_to_xml(root, &bytes, &length);
    if (!bytes)
        throw std::runtime_error("property list could not be rendered: " + path.string());
    const std::string content(bytes, length);
    if (format == PlistFormat::Binary)
        plist_to_bin_free(bytes);
    else
        plist_to_xml_free(bytes);
    WriteBinaryFile(path, content);
}

void SetString(plist_t dict, const char* key, const std::string& value)
{
    plist_dict_set_item(dict, key, plist_new_string(value.c_str()));
}

plist_t TOCArray(const std::vector<BackupTOCEntry>& entries)
{
    plist_t array = plist_new_array();
    for (const auto& entry : entries) {
        plist_t item = plist_new_dict();
        plist_dict_set_item(item, "type", plist_new_uint(static_cast<uint64_t>(entry.type)));
        if (!entry.accountId.empty())
            SetString(item, "account-id", entry.accountId);
        if (!entry.path.empty())
            SetString(item, "path", entry.path);
        if (!entry.mailboxes.empty())
            plist_dict_set_item(item, "mailboxes", TOCArray(entry.mailboxes));
        plist_array_append_item(array, item);
    }
    return array;
}

}  // namespace

void WriteAccountsPlist(const fs::path& path, const std::vector<PlistAccount>& accounts,
                        PlistFormat format)
{
    PlistPtr root(plist_new_dict());
    plist_t array = plist_new_array();
    for (const auto& account : accounts) {
        plist_t item = plist_new_dict();
        SetString(item, "AccountType", account.accountType);
        if (account.hasUsername)
            SetString(item, "Username", account.username);
        if (!account.hostname.empty())
            SetString(item, "Hostname", account.hostname);
        if (!account.accountPath.empty())
            SetString(item, "AccountPath", account.accountPath);
        if (account.hasCanonicalEmailAddress)
            SetString(item, "CanonicalEmailAddress", account.canonicalEmailAddress);
        plist_array_append_item(array, item);
    }
    plist_dict_set_item(root.get(), "MailAccounts", array);
    WritePlist(path, root.get(), format);
}

void WriteBackupTOC(const fs::path& path, const std::vector<BackupTOCEntry>& entries,
                    PlistFormat format)
{
    PlistPtr root(plist_new_dict());
    plist_dict_set_item(root.get(), "mailboxes", TOCArray(entries));
    WritePlist(path, root.get(), format);
}

void WriteMailboxInfoPlist(const fs::path& bundle, const std::string& mailboxName,
                           PlistFormat format)
{
    PlistPtr root(plist_new_dict());
    SetString(root.get(), "MailboxName", mailboxName);
    WritePlist(bundle / "Info.plist", root.get(), format);
}

void WriteAccountsDatabase(const fs::path& path, const std::vector<ZAccountRow>& rows)
{
    BuilderDb db = CreateDatabase(path);
    Exec(db.get(),
         "CREATE TABLE ZACCOUNT ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, "
         "ZACTIVE INTEGER, ZAUTHENTICATED INTEGER, ZSUPPORTSAUTHENTICATION INTEGER, "
         "ZVISIBLE INTEGER, ZACCOUNTTYPE INTEGER, ZPARENTACCOUNT INTEGER, ZDATE TIMESTAMP, "
         "ZACCOUNTDESCRIPTION VARCHAR, ZAUTHENTICATIONTYPE VARCHAR, ZIDENTIFIER VARCHAR, "
         "ZOWNINGBUNDLEID VARCHAR, ZUSERNAME VARCHAR )");
    Exec(db.get(), "CREATE INDEX ZACCOUNT_ZPARENTACCOUNT_INDEX ON ZACCOUNT (ZPARENTACCOUNT)");
    Exec(db.get(), "CREATE TABLE ZACCOUNTTYPE ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, "
                   "Z_OPT INTEGER, ZIDENTIFIER VARCHAR, ZACCOUNTTYPEDESCRIPTION VARCHAR )");
    Exec(db.get(), "INSERT INTO ZACCOUNTTYPE VALUES (1, 3, 1, 'com.apple.account.IMAP', 'IMAP')");

    BuilderStatement insert = Prepare(db.get(),
                       "INSERT INTO ZACCOUNT (Z_PK, Z_ENT, Z_OPT, ZACTIVE, ZVISIBLE, ZACCOUNTTYPE, "
                       "ZPARENTACCOUNT, ZACCOUNTDESCRIPTION, ZIDENTIFIER, ZOWNINGBUNDLEID, "
                       "ZUSERNAME) VALUES (?1, 1, 1, 1, 1, 1, ?2, ?3, ?4, 'com.apple.mail', ?5)");
    auto bindText = [&](int index, const std::string& text, bool nullWhenEmpty) {
        if (text.empty() && nullWhenEmpty)
            sqlite3_bind_null(insert.get(), index);
        else
            BindText(insert, index, text);
    };
    for (const auto& row : rows) {
        sqlite3_bind_int64(insert.get(), 1, row.key);
        if (row.parentKey == 0)
            sqlite3_bind_null(insert.get(), 2);
        else
            sqlite3_bind_int64(insert.get(), 2, row.parentKey);
        bindText(3, row.description, row.nullWhenEmpty);
        bindText(4, row.identifier, false);
        bindText(5, row.username, row.nullWhenEmpty);
        StepDone(db.get(), insert);
    }
}

}  // namespace kestrin_libbuilder
