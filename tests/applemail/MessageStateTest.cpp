// Read, answered and flagged as Apple Mail kept them, from each place it
// keeps them (the Envelope Index, the .emlx trailer, the Status lines of an
// exported mailbox), and the lines an mbox entry carries them in: stale
// state lines inside the message are replaced, never doubled, and nothing
// else of the message changes.
#include <gtest/gtest.h>

#include <sstream>

#include <boost/filesystem.hpp>
#include <boost/make_shared.hpp>

#include "applemail/AppleMailDBStoreSQLITE.h"
#include "applemail/AppleMailStoreHelper.h"
#include "applemail/EMLXEmailAsset.h"
#include "EnvelopeTestSupport.h"
#include "formats/MBOXEmailAsset.h"
#include "formats/MboxWriter.h"
#include "libbuilder/Emlx.h"
#include "libbuilder/EnvelopeIndex.h"
#include "support/TestSupport.h"

namespace fs = boost::filesystem;
using namespace KestrinMIMEEngineCommon;
namespace lb = kestrin_libbuilder;

namespace {

enum class Source {
    Index,           // a message file whose trailer disagrees with its index row
    IndexHeaderOnly, // a row without a file
    Trailer,         // a message file with no index (mailbox folders)
    Exported,        // a message of a mailbox Apple Mail exported
};

// Apple Mail's flags word.
constexpr uint64_t kRead = 1, kDeleted = 2, kAnswered = 4, kFlagged = 16, kDraft = 64, kForwarded = 256;

struct StateCase {
    const char* name;
    Source source;
    uint64_t flags;    // the index row's or the trailer's word
    bool read;         // the index row's own columns (Index rows only)
    bool flagged;
    bool deleted;
    // Header lines already in the stored message (an Exported row's are its
    // whole state); "" for none.
    std::vector<std::pair<std::string, std::string>> inside;
    const char* expected;  // the state lines of the written entry, in order
};

void PrintTo(const StateCase& c, std::ostream* os) { *os << c.name; }

constexpr int64_t kSent = 1500000000;
constexpr int64_t kIndexReceived = kSent + 2;  // MakeEnvelopeMessage's received date
constexpr int64_t kTrailerReceived = kSent + 100;

struct Loaded {
    boost::shared_ptr<IEmailAsset> message;
    std::string stored;  // the message as stored, for what must not change
};

Loaded Load(const StateCase& c, const fs::path& dir)
{
    Loaded loaded;
    if (c.source == Source::Exported) {
        std::string text;
        for (const auto& header : c.inside) text += header.first + ": " + header.second + "\n";
        text += "From: Sender Example <sender@example.com>\nSubject: Exported\n"
                "Date: Fri, 14 Jul 2017 02:40:00 +0000\n\nBody of the exported message.\n";
        loaded.stored = text;
        loaded.message = boost::make_shared<MBOXEmailAsset>(std::vector<uint8_t>(text.begin(), text.end()));
        return loaded;
    }
    lb::EnvelopeMessage m = lb::MakeEnvelopeMessage(5, "State", kSent, c.source != Source::IndexHeaderOnly);
    for (const auto& header : c.inside) m.file.headers.push_back(header);
    m.file.dateReceived = kTrailerReceived;
    if (c.source == Source::Trailer) {
        m.file.flags = c.flags;
        const fs::path path = lb::WriteMessage(dir / "Messages", 5, m.file).emlxPath;
        auto message = boost::make_shared<EMLXEmailAsset>(path.string());
        loaded.message = message;
        return loaded;
    }
    // The trailer says unread and nothing else: only the row may speak.
    m.file.flags = 0;
    m.flags = c.flags;
    m.read = c.read;
    m.flagged = c.flagged;
    m.deleted = c.deleted;
    lb::EnvelopeIndexRecipe recipe;
    recipe.layout = 10;
    lb::EnvelopeMailbox box;
    box.rowId = 1;
    box.url = "imap://ACCOUNT/INBOX";
    box.bundle = "V10/ACCOUNT/INBOX.mbox";
    box.messages = {m};
    recipe.mailboxes = {box};
    lb::WriteEnvelopeIndexLibrary(dir / "Mail", recipe);
    // A library without account files says so on the diagnostic stream.
    kestrin_test::CapturedDiagnostics diagnostics;
    auto store = boost::dynamic_pointer_cast<AppleMailDBStoreSQLITE>(
        AppleMailStoreHelper::CreateStore((dir / "Mail").string(), L"Apple Mail", {}));
    if (!store || store->Open({}, {}, {}, false) != Status::Succeeded) return loaded;
    const auto folders = envelope_test::FoldersByPath(store->GetRootFolder());
    const auto inbox = folders.find("/ACCOUNT/INBOX/");
    if (inbox == folders.end()) return loaded;
    const auto items = envelope_test::ListFolder(inbox->second);
    if (items.size() == 1) loaded.message = boost::dynamic_pointer_cast<IEmailAsset>(items[0].asset);
    return loaded;
}

// The lines of the entry's header block that carry state, and the rest of
// the entry with them taken out.
void SplitEntry(const std::string& entry, std::string& stateLines, std::string& rest)
{
    const size_t blockEnd = entry.find("\n\n");
    size_t at = 0;
    bool dropping = false;
    while (at < entry.size()) {
        size_t end = entry.find('\n', at);
        end = end == std::string::npos ? entry.size() : end + 1;
        const std::string line = entry.substr(at, end - at);
        if (at < blockEnd && at > 0) {
            if (line[0] != ' ' && line[0] != '\t')
                dropping = IsMboxStateHeader(reinterpret_cast<const uint8_t*>(line.data()), line.size() - 1);
        } else {
            dropping = false;
        }
        (dropping ? stateLines : rest) += line;
        at = end;
    }
}

class MessageStateTest : public ::testing::TestWithParam<StateCase> {};

TEST_P(MessageStateTest, StateIsReadAndWrittenAsStatusLinesInPlaceOfStaleOnes)
{
    const StateCase& c = GetParam();
    kestrin_test::TempDir dir;
    const Loaded loaded = Load(c, dir.path());
    ASSERT_TRUE(loaded.message);
    const MessageState& state = loaded.message->GetState();
    const std::string lines = MboxStateLines(state);

    std::ostringstream plain, withState;
    ASSERT_EQ(WriteResult::Ok, loaded.message->WriteMBOXMessage(plain));
    ASSERT_EQ(WriteResult::Ok, loaded.message->WriteMBOXEntry(withState, lines));

    std::string written, rest, stale, plainRest;
    SplitEntry(withState.str(), written, rest);
    SplitEntry(plain.str(), stale, plainRest);
    EXPECT_EQ(c.expected, written);
    // Everything but the state lines is the message as it was written before.
    EXPECT_EQ(plainRest, rest);
    // The state sits in the header block, above the body.
    if (!written.empty()) {
        EXPECT_LT(withState.str().find(written), withState.str().find("Body of"));
    }

    switch (c.source) {
    case Source::Index:
    case Source::IndexHeaderOnly:
        EXPECT_EQ(kIndexReceived, state.received.value_or(0));
        break;
    case Source::Trailer:
        EXPECT_EQ(kTrailerReceived, state.received.value_or(0));
        break;
    case Source::Exported:
        EXPECT_EQ(kSent, state.received.value_or(0));  // its Date line
        break;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sources, MessageStateTest,
    ::testing::Values(
        StateCase{"IndexReadAnswered", Source::Index, kRead | kAnswered, true, false, false, {},
                  "Status: RO\nX-Status: A\nX-Mozilla-Status: 0003\n"},
        // Newer layouts keep read / flagged / deleted in columns of their own,
        // which win over the flags word.
        StateCase{"IndexColumnsWinOverTheWord", Source::Index, kRead | kAnswered, false, true, true, {},
                  "Status: O\nX-Status: AFD\nX-Mozilla-Status: 0006\n"},
        StateCase{"IndexUnreadWithStaleStatusInside", Source::Index, 0, false, false, false,
                  {{"Status", "RO"}, {"X-Status", "AF"}, {"X-Mozilla-Status", "0005"}},
                  "Status: O\nX-Mozilla-Status: 0000\n"},
        StateCase{"HeaderOnlyRowDraftForwarded", Source::IndexHeaderOnly, kRead | kDraft | kForwarded, true, false,
                  false, {}, "Status: RO\nX-Status: T\nX-Mozilla-Status: 1001\n"},
        StateCase{"TrailerFlaggedUnread", Source::Trailer, kFlagged | (uint64_t(3) << 41), false, false, false, {},
                  "Status: O\nX-Status: F\nX-Mozilla-Status: 0004\n"},
        StateCase{"TrailerAllWithStaleLinesInside", Source::Trailer,
                  kRead | kAnswered | kFlagged | kDeleted | kDraft | kForwarded, false, false, false,
                  {{"X-Status", "T"}, {"status", "O"}},
                  "Status: RO\nX-Status: AFDT\nX-Mozilla-Status: 1007\n"},
        // Apple Mail's default word for a read message with priority and
        // other bits above the ones that matter.
        StateCase{"TrailerDefaultWord", Source::Trailer, 8590195713ULL, false, false, false, {},
                  "Status: RO\nX-Mozilla-Status: 0001\n"},
        StateCase{"ExportedStatusLinesKept", Source::Exported, 0, false, false, false,
                  {{"Status", "RO"}, {"X-Status", "FA"}},
                  "Status: RO\nX-Status: AF\nX-Mozilla-Status: 0007\n"},
        StateCase{"ExportedMozillaStatusOnly", Source::Exported, 0, false, false, false,
                  {{"X-Mozilla-Status", "1003"}}, "Status: RO\nX-Status: A\nX-Mozilla-Status: 1003\n"},
        StateCase{"ExportedFoldedStaleLine", Source::Exported, 0, false, false, false,
                  {{"X-Status", "D\n T"}, {"Status", "O"}}, "Status: O\nX-Status: DT\nX-Mozilla-Status: 0000\n"},
        // No state anywhere: the entry is the message as stored.
        StateCase{"ExportedWithoutState", Source::Exported, 0, false, false, false, {}, ""}),
    [](const ::testing::TestParamInfo<StateCase>& info) { return std::string(info.param.name); });

TEST(MessageStateFlags, FlagColourOnlyOnFlaggedMessages)
{
    kestrin_test::TempDir dir;
    const StateCase flagged{"", Source::Trailer, kFlagged | (uint64_t(3) << 41), false, false, false, {}, ""};
    EXPECT_EQ(3, Load(flagged, dir.path()).message->GetState().flagColour.value_or(-1));
    kestrin_test::TempDir other;
    const StateCase notFlagged{"", Source::Trailer, kRead | (uint64_t(3) << 41), false, false, false, {}, ""};
    EXPECT_FALSE(Load(notFlagged, other.path()).message->GetState().flagColour);
}

}  // namespace
