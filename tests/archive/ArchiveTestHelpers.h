// Helpers shared by the archive package tests.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include <boost/filesystem.hpp>
#include <boost/make_shared.hpp>
#include <gtest/gtest.h>

#include "archive/MSEAssetStore.h"
#include "formats/EMLEmailAsset.h"
#include "formats/MBOXAssetStore.h"
#include "support/TestSupport.h"

namespace archive_test {

using namespace KestrinMIMEEngineCommon;
namespace fs = boost::filesystem;

inline std::string SourceTree()
{
    const char* dir = std::getenv("KESTRIN_SOURCE_DIR");
    return dir ? dir : KESTRIN_ARCHIVE_TEST_SOURCE_DIR;
}

inline std::string TemplateFile(const std::string& name)
{
    return kestrin_test::ReadFile(fs::path(SourceTree()) / "engine/archive/template" / name);
}

// Every entry below root, sorted: "dir/" for directories, "file (size)"
// for files ("file" alone without sizes).
inline std::vector<std::string> Listing(const fs::path& root, bool withSizes = true)
{
    std::vector<std::string> entries;
    for (fs::recursive_directory_iterator it(root), end; it != end; ++it) {
        const std::string relative = it->path().lexically_relative(root).generic_string();
        if (fs::is_directory(it->path()))
            entries.push_back(relative + "/");
        else if (withSizes)
            entries.push_back(relative + " (" + std::to_string(fs::file_size(it->path())) + ")");
        else
            entries.push_back(relative);
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

// A small message with LF line ends.
inline std::string MessageText(const std::string& subject, const std::string& body)
{
    return "From: Alice <alice@example.com>\nTo: Bob <bob@example.com>\nSubject: " + subject +
           "\nDate: Tue, 05 Mar 2019 14:07:09 +0000\nMessage-ID: <" + subject +
           "@example.com>\n\n" + body + "\n";
}

inline boost::shared_ptr<EMLEmailAsset> Message(const std::string& subject,
                                                const std::string& body = "Hello.")
{
    const std::string text = MessageText(subject, body);
    return boost::make_shared<EMLEmailAsset>(
        boost::make_shared<std::vector<uint8_t>>(text.begin(), text.end()));
}

// An opened archive store over a new package at path.
inline boost::shared_ptr<MSEAssetStore> CreatePackage(const std::string& path)
{
    auto store = boost::make_shared<MSEAssetStore>(path, L"");
    EXPECT_EQ(store->Open({}, {}, {}, true), Status::Succeeded);
    return store;
}

// A tree of mailbox files at root, opened as a source store: every key is a
// folder path relative to root ("" for the root folder itself), its value
// the subjects of the messages in it. Folder "A/B" is the file "A/B.mbox".
inline boost::shared_ptr<MBOXAssetStore> MboxSource(
    const fs::path& root, const std::wstring& name,
    const std::map<std::string, std::vector<std::string>>& folders)
{
    for (const auto& folder : folders) {
        const fs::path file = folder.first.empty()
                                  ? root / (root.filename().string() + ".mbox")
                                  : root / (folder.first + ".mbox");
        fs::create_directories(file.parent_path());
        std::string text;
        for (const std::string& subject : folder.second)
            text += "From - Tue Mar  5 14:07:09 2019\n" +
                    MessageText(subject, "Body of " + subject + ".\n>From here on.") + "\n";
        kestrin_test::WriteFile(file, text);
    }
    auto store = boost::make_shared<MBOXAssetStore>(root.string(), name, StoreKind::Mbox);
    EXPECT_EQ(store->Open({}, {}, {}, false), Status::Succeeded);
    return store;
}

// A folder of a source store by its path of names below the root.
inline boost::shared_ptr<IAssetFolder> SourceFolder(const boost::shared_ptr<IAssetStore>& store,
                                                    const std::vector<std::wstring>& names)
{
    boost::shared_ptr<IAssetFolder> folder = store->GetRootFolder();
    for (const std::wstring& name : names) {
        if (!folder) break;
        folder = folder->FindSubFolder(name);
    }
    EXPECT_TRUE(folder);
    return folder;
}

}  // namespace archive_test
