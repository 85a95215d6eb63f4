// Items moved by the engine. Every item of this system is an e-mail message.
#pragma once

#include <cstdint>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "assets/Codes.h"
#include "assets/MessageState.h"
#include "mime/MakeSafeName.h"
#include "streams/KSData.h"

namespace KestrinMIMEEngineCommon {

// Asset-type codes.
enum : int {
    kAssetTypeEmail = 2,
    kAssetTypeContact = 3,
    kAssetTypeCalendarEvent = 4,
    kAssetTypeTask = 5,
    kAssetTypeNote = 6,
};

// Attribute word bit: the item's content is incomplete (partial download,
// header-only message).
constexpr uint16_t kAssetFlagIncomplete = 4;
// Attribute word bit: only the headers the source's index holds were
// available (the message was never downloaded); set with kAssetFlagIncomplete.
constexpr uint16_t kAssetFlagHeaderOnly = 8;

// What reading an item found amiss, beyond content that was never
// downloaded (which the attribute word says).
enum class AssetNoteKind {
    // The item was read whole although its file was not as it should be
    // (a byte count missing or wrong): nothing of it was lost.
    Repaired,
    // Part of the item is lost (its file was cut short): what is there
    // was written.
    Damaged,
};

struct AssetNote {
    AssetNoteKind kind;
    std::wstring text;  // in the user's terms, naming the file
};

class IAsset {
public:
    virtual ~IAsset() = default;
    virtual std::wstring GetDescription() = 0;
    // The item's name for a file name, written in the given style.
    virtual std::wstring GetTitle(NameStyle style) = 0;
    virtual int GetAssetType() = 0;
    virtual uint16_t GetAssetFlags() { return m_attributes; }
    virtual uint64_t GetSize() = 0;
    // Memory the item keeps until it is written: what the export's read-ahead
    // budget counts. Items whose size is their byte count need not say more.
    virtual uint64_t GetHeldBytes() { return GetSize(); }
    // Repairs and damage found while reading, for the report and the totals.
    const std::vector<AssetNote>& GetNotes() const { return m_notes; }
    // Read, answered, flagged and received date, as the source kept them.
    const MessageState& GetState() const { return m_state; }

protected:
    uint16_t m_attributes = 0;
    std::vector<AssetNote> m_notes;
    MessageState m_state;
};

class IEmailAsset : public virtual IAsset {
public:
    int GetAssetType() override { return kAssetTypeEmail; }
    // The Message-ID, unchanged; empty when the message has none.
    virtual std::string GetUniqueId() = 0;
    // Appends one mbox entry: "From - " + date + "\n", the message, "\n\n".
    // Answers 0, or 4 when the output stream failed.
    virtual WriteResult WriteMBOXMessage(std::ostream& out) = 0;
    // The same entry with stateLines (each ended by LF) in its header block
    // in place of any state lines the message carried; an item that cannot
    // edit its header block writes the plain entry.
    virtual WriteResult WriteMBOXEntry(std::ostream& out, const std::string& stateLines)
    {
        return WriteMBOXMessage(out);
    }
    // Writes the raw message bytes; 0 when all went out, 2 on a short write.
    virtual WriteResult WriteRawMessage(const boost::shared_ptr<KSDataStreamOut>& out) = 0;
};

// What every message carries: a description for the log, a title for file
// names and a unique id. Concrete classes fill them once, from their parsed
// message. The title is made from the subject on first use: only the EML
// target names files after it, and transliterating every subject costs more
// than the rest of the summary. The ASCII title is kept once made; the
// Unicode one costs little and is made when asked for.
class EmailAssetBase : public IEmailAsset {
public:
    std::wstring GetDescription() override { return m_description; }
    std::wstring GetTitle(NameStyle style) override;
    std::string GetUniqueId() override { return m_uniqueId; }
    // For the folder that lists the message: its index may know the state
    // better than the message's own file.
    void SetState(const MessageState& state) { m_state = state; }

protected:
    // Builds description, unique id and title by the e-mail rule:
    // "From : " + from + "\r\nDate : " + RFC 822 date + "\r\nSubject : " +
    // subject (appended to what the description already holds); the title is
    // the subject through MakeSafeName.
    void FillSummary(const std::wstring& from, int64_t dateSeconds, const std::wstring& subject,
                     const std::string& messageId);

    std::wstring m_description;
    std::string m_uniqueId;
    std::wstring m_title;

private:
    std::wstring m_subject;
    std::once_flag m_titleOnce;
};

}  // namespace KestrinMIMEEngineCommon
