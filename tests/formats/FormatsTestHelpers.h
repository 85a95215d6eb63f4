// Helpers shared by the EML and mbox store tests.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include <boost/filesystem.hpp>
#include <boost/make_shared.hpp>
#include <gtest/gtest.h>

#include "assets/ILogger.h"
#include "formats/EMLAssetStore.h"
#include "formats/EMLEmailAsset.h"
#include "formats/MBOXAssetStore.h"
#include "formats/MBOXEmailAsset.h"
#include "mime/KSCharsets.h"
#include "support/TestSupport.h"

namespace formats_test {

using namespace KestrinMIMEEngineCommon;
namespace fs = boost::filesystem;

class RecordingLogger : public ILogger {
public:
    void Log(const std::wstring& text, bool toReport, bool toFile) override { lines.push_back(text); }
    std::vector<std::wstring> lines;
};

// An item that is not an e-mail message: mail folders must refuse it.
class NoteAsset : public IAsset {
public:
    std::wstring GetDescription() override { return L"note"; }
    std::wstring GetTitle(NameStyle) override { return L"note"; }
    int GetAssetType() override { return kAssetTypeNote; }
    uint64_t GetSize() override { return 0; }
};

// A small message; lineEnd separates every line, the last one included.
inline std::string MessageText(const std::string& subject, const std::vector<std::string>& bodyLines,
                               const std::string& lineEnd = "\r\n",
                               const std::string& date = "Tue, 05 Mar 2019 14:07:09 +0000")
{
    std::string text = "From: Alice <alice@example.com>" + lineEnd + "To: Bob <bob@example.com>" +
                       lineEnd + "Subject: " + subject + lineEnd + "Date: " + date + lineEnd +
                       "Message-ID: <" + std::to_string(subject.size()) + "@example.com>" + lineEnd +
                       lineEnd;
    for (const std::string& line : bodyLines) text += line + lineEnd;
    return text;
}

inline boost::shared_ptr<EMLEmailAsset> EmlAsset(const std::string& bytes, uint16_t flags = 0)
{
    return boost::make_shared<EMLEmailAsset>(
        boost::make_shared<std::vector<uint8_t>>(bytes.begin(), bytes.end()), flags);
}

inline std::string AsString(const std::vector<uint8_t>& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

// Every message of the folder, in file order, as the iterator hands it out.
inline std::vector<std::string> ReadMailbox(const boost::shared_ptr<IAssetFolder>& folder)
{
    std::vector<std::string> messages;
    auto iterator = folder->GetAssetIterator(kQueryKindNew, {}, {}, {});
    if (!iterator) return messages;
    iterator->Begin();
    while (iterator->HasCurrent()) {
        auto result = iterator->GetCurrent();
        EXPECT_EQ(result->GetStatus(), kQueryStatusReadable);
        auto message = boost::dynamic_pointer_cast<MBOXEmailAsset>(result->GetAsset());
        EXPECT_TRUE(message);
        if (message) {
            EXPECT_EQ(result->GetUnits(), message->GetSize());
            messages.push_back(AsString(message->GetRawBytes()));
        }
        iterator->Increment();
    }
    return messages;
}

// The source tree: KESTRIN_SOURCE_DIR when set, else the tree this binary
// was built from.
inline std::string SourceRoot()
{
    const char* fromEnvironment = std::getenv("KESTRIN_SOURCE_DIR");
    return fromEnvironment && *fromEnvironment ? std::string(fromEnvironment)
                                               : std::string(KESTRIN_FORMATS_SOURCE_DIR);
}

inline std::string FixturePath(const std::string& relative)
{
    return SourceRoot() + "/tests/fixtures/formats/" + relative;
}

inline void CopyTree(const fs::path& from, const fs::path& to)
{
    if (fs::is_directory(from)) {
        fs::create_directories(to);
        for (const auto& entry : fs::directory_iterator(from))
            CopyTree(entry.path(), to / entry.path().filename());
    } else {
        fs::copy_file(from, to);
    }
}

// A copy of a fixture file or tree inside dir, answered as its path.
inline std::string CopyFixture(const kestrin_test::TempDir& dir, const std::string& relative)
{
    const fs::path target = dir.path() / fs::path(relative).filename();
    CopyTree(FixturePath(relative), target);
    return target.string();
}

inline boost::shared_ptr<MBOXAssetStore> OpenMboxStore(const std::string& location, StoreKind kind,
                                                       bool create = false)
{
    auto store = boost::make_shared<MBOXAssetStore>(location, L"", kind);
    EXPECT_EQ(store->Open({}, {}, {}, create), Status::Succeeded);
    return store;
}

inline boost::shared_ptr<EMLAssetStore> OpenEmlStore(const std::string& location,
                                                     bool keepEmptyFolders = true,
                                                     bool create = true)
{
    auto store = boost::make_shared<EMLAssetStore>(location, L"", keepEmptyFolders);
    EXPECT_EQ(store->Open({}, {}, {}, create), Status::Succeeded);
    return store;
}

template <typename Folder>
boost::shared_ptr<Folder> RootOf(const boost::shared_ptr<IAssetStore>& store)
{
    return boost::dynamic_pointer_cast<Folder>(store->GetRootFolder());
}

template <typename Folder>
boost::shared_ptr<Folder> Child(const boost::shared_ptr<IAssetFolder>& parent, const std::wstring& name)
{
    return boost::dynamic_pointer_cast<Folder>(parent->FindSubFolder(name));
}

inline std::vector<std::string> SortedFileNames(const fs::path& directory)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(directory))
        if (fs::is_regular_file(entry.path())) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace formats_test
