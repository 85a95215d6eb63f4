#include "applemail/EMLXEmailAsset.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include <boost/algorithm/string/predicate.hpp>
#include <boost/algorithm/string/trim.hpp>
#include <boost/filesystem.hpp>
#include <boost/lexical_cast.hpp>
#include <boost/make_shared.hpp>

#include "applemail/AppleMailFlags.h"
#include "applemail/AppleMailPlist.h"
#include "applemail/AttachedFolderArchive.h"
#include "formats/MboxWriter.h"
#include "formats/MessageHead.h"
#include "mime/KSCharsets.h"
#include "streams/KSContainerData.h"
#include "streams/KSFileSystem.h"
#include "streams/Platform.h"
#include "streams/SourceLimits.h"

namespace fs = boost::filesystem;

namespace KestrinMIMEEngineCommon {

namespace {

const char kContentLengthMarker[] = "X-Apple-Content-Length";
const wchar_t kPartialWarning[] =
    L"\r\n(Warning: This email has been partially downloaded from server or it may have "
    L"uncached Attachments.)\uFEFF";

// Makes the stream the part's content: for an attached message the message
// parsed from it, for any other leaf a data wrapper in the given encoding.
bool SetPartContent(GMimeObject* part, GMimeStream* stream, GMimeContentEncoding encoding)
{
    if (!stream) return false;
    if (GMIME_IS_MESSAGE_PART(part)) {
        auto parser = AdoptGObject(g_mime_parser_new_with_stream(stream));
        auto message = AdoptGObject(
            g_mime_parser_construct_message(parser.get(), g_mime_parser_options_get_default()));
        if (!message) return false;
        g_mime_message_part_set_message(GMIME_MESSAGE_PART(part), message.get());
        return true;
    }
    if (GMIME_IS_PART(part)) {
        auto wrapper = AdoptGObject(g_mime_data_wrapper_new_with_stream(stream, encoding));
        g_mime_part_set_content(GMIME_PART(part), wrapper.get());
        return true;
    }
    return false;
}


// Entries of a folder sorted by name, so that "the first" does not depend on
// the file system's listing order. Attachment folders hold a handful of
// entries.
std::vector<fs::path> SortedEntries(const fs::path& folder)
{
    std::vector<fs::path> entries;
    boost::system::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        if (!SkipSymbolicLink(it->path().string())) entries.push_back(it->path());
    std::sort(entries.begin(), entries.end());
    return entries;
}

std::string PartNumber(const std::vector<int>& indexPath)
{
    std::string number;
    for (int index : indexPath) {
        if (!number.empty()) number += '.';
        number += std::to_string(index + 1);
    }
    return number;
}

// The name a file may take inside a folder of ours: the last component of
// what the message says, never "." or "..", so a hostile file name cannot
// point outside.
std::string SafeLeafName(const char* name)
{
    if (!name) return {};
    const fs::path leaf = fs::path(name).filename();
    if (leaf.empty() || leaf == "." || leaf == ".." || leaf == "/") return {};
    return leaf.string();
}

bool IsAutoArchivedFolder(GMimeObject* part)
{
    GMimeContentType* type = g_mime_object_get_content_type(part);
    if (!type || !g_mime_content_type_is_type(type, "application", "zip")) return false;
    const char* flag = g_mime_content_type_get_parameter(type, "x-mac-auto-archive");
    return flag && boost::algorithm::iequals(flag, "yes");
}

// A folder the sender attached: Apple Mail keeps it unpacked as
// attachments/<folder>; it is zipped again into a fresh temporary folder,
// opened, and the folder removed while the stream keeps the data readable.
// When the folder is there but cannot be zipped, problem says why.
GMimeStreamPtr ArchiveAttachedFolder(GMimeObject* part, const fs::path& attachments, std::string& problem)
{
    std::string zipName = GMIME_IS_PART(part) ? SafeLeafName(g_mime_part_get_filename(GMIME_PART(part)))
                                               : std::string();
    if (zipName.empty()) {
        for (const fs::path& entry : SortedEntries(attachments)) {
            const std::string name = entry.filename().string();
            if (IsFinderMetadata(name)) continue;
            boost::system::error_code ec;
            if (fs::is_directory(entry, ec)) {
                zipName = name + ".zip";
                break;
            }
        }
        if (zipName.empty()) return {};
    }
    const std::string folderName = fs::path(zipName).stem().string();
    const fs::path folder = attachments / folderName;
    boost::system::error_code ec;
    if (folderName.empty() || SkipSymbolicLink(folder.string()) || !fs::is_directory(folder, ec))
        return {};

    const auto failed = [&](const std::string& why) {
        problem = "the attached folder " + folder.string() + " could not be packed as " + zipName + " (" + why + ")";
        return GMimeStreamPtr();
    };
    const fs::path temporaryRoot = fs::temp_directory_path(ec);
    if (ec) return failed("no temporary folder: " + ec.message());
    const fs::path temporary = temporaryRoot / fs::unique_path("%%%%-%%%%-%%%%-%%%%", ec);
    if (ec) return failed(ec.message());
    if (!KSFileSystem::CreateFolder(
            KSFileSystemPath(boost::make_shared<KSPathTraitsFile>(), temporary.string())))
        return failed("cannot create a folder in " + temporaryRoot.string());
    struct RemoveWhenDone {
        fs::path path;
        ~RemoveWhenDone()
        {
            boost::system::error_code ignored;
            fs::remove_all(path, ignored);
        }
    } cleanup{temporary};

    const fs::path zipPath = temporary / zipName;
    std::string why;
    if (!ZipAttachedFolder(folder, zipPath, folderName, why)) return failed(why);
    return OpenMimeFileStream(zipPath.string());
}

// The first non-empty regular file of the part's attachment folder.
GMimeStreamPtr OpenAttachmentFile(const fs::path& attachments)
{
    for (const fs::path& entry : SortedEntries(attachments)) {
        if (IsFinderMetadata(entry.filename().string())) continue;
        boost::system::error_code ec;
        if (!fs::is_regular_file(entry, ec)) continue;
        const uintmax_t size = fs::file_size(entry, ec);
        if (ec || size == 0) continue;
        return OpenMimeFileStream(entry.string());
    }
    return {};
}

// A message file is read whole when it is at most this large (one read, then
// everything works on memory); a larger one is read in windows of
// kFileWindow bytes whenever its bytes are needed, so that a message of
// hundreds of megabytes is never held in memory while it waits to be written.
constexpr int64_t kWholeFileLimit = int64_t(64) << 20;
constexpr size_t kFileWindow = size_t(1) << 20;

using Platform::ReadOnlyFile;

// Reads until length bytes or the end of the file; answers the count read.
size_t ReadFully(ReadOnlyFile& file, uint8_t* buffer, size_t length, int64_t offset)
{
    size_t done = 0;
    while (done < length) {
        const size_t got = file.ReadAt(reinterpret_cast<char*>(buffer) + done, length - done,
                                       offset + static_cast<int64_t>(done));
        if (got == 0) break;
        done += got;
    }
    return done;
}

// The file's bytes, from memory when it was read whole, else from the file.
class StoredFile {
public:
    StoredFile(ReadOnlyFile& file, std::vector<uint8_t>& whole, int64_t size)
        : m_file(file), m_whole(whole), m_size(size)
    {
    }
    int64_t Size() const { return m_size; }
    bool InMemory() const { return m_size <= kWholeFileLimit; }
    size_t ReadAt(uint8_t* buffer, size_t length, int64_t offset)
    {
        if (offset < 0 || offset >= m_size) return 0;
        length = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(length), m_size - offset));
        if (!InMemory()) return ReadFully(m_file, buffer, length, offset);
        std::memcpy(buffer, m_whole.data() + offset, length);
        return length;
    }

private:
    ReadOnlyFile& m_file;
    std::vector<uint8_t>& m_whole;
    int64_t m_size;
};

// Where Apple Mail's property-list trailer begins, counted from `from`; -1
// when the file has none. The message ends there whatever its count line says.
int64_t TrailerOffset(StoredFile& stored, int64_t from)
{
    const int64_t fileSize = stored.Size();
    if (fileSize <= from) return -1;
    const int64_t available = fileSize - from;
    // The trailer is a few hundred bytes; a generous tail finds it without
    // reading the message.
    const int64_t tailLength = std::min<int64_t>(available, 64 * 1024);
    std::string tail(static_cast<size_t>(tailLength), '\0');
    tail.resize(stored.ReadAt(reinterpret_cast<uint8_t*>(&tail[0]), tail.size(), fileSize - tailLength));
    // A whole trailer ends the file: a property list quoted inside the
    // message is followed by more of the message.
    const size_t close = tail.rfind("</plist>");
    if (close == std::string::npos ||
        tail.find_first_not_of(" \t\r\n", close + 8) != std::string::npos)
        return -1;
    size_t at = tail.rfind("<?xml", close);
    while (at != std::string::npos) {
        const int64_t absolute = fileSize - tailLength + static_cast<int64_t>(at);
        const bool atLineStart = absolute == from || (at > 0 && tail[at - 1] == '\n');
        if (atLineStart && tail.find("<plist", at) < close) return absolute - from;
        if (at == 0) break;
        at = tail.rfind("<?xml", at - 1);
    }
    return -1;
}

// The byte-count line: the file's first line without its LF, and where the
// message starts (-1 when the file has no line end).
void ReadCountLine(StoredFile& stored, std::string& line, int64_t& messageStart)
{
    messageStart = -1;
    uint8_t buffer[64];
    int64_t offset = 0;
    for (;;) {
        const size_t got = stored.ReadAt(buffer, sizeof buffer, offset);
        if (got == 0) return;
        const uint8_t* lineFeed = std::find(buffer, buffer + got, '\n');
        // A count is a few digits: a longer first line is no count line,
        // and only its beginning is needed to tell.
        const size_t take = std::min<size_t>(static_cast<size_t>(lineFeed - buffer), 4096 - std::min<size_t>(line.size(), 4096));
        line.append(reinterpret_cast<const char*>(buffer), take);
        if (lineFeed != buffer + got) {
            messageStart = offset + (lineFeed - buffer) + 1;
            return;
        }
        offset += static_cast<int64_t>(got);
    }
}

// Whether a message's first line starts at offset: a header field ("Name:",
// RFC 5322's printable name) or an mbox "From " line. Tells a file without a
// byte-count line, whose first line is the message's own, from one whose
// count line is damaged, and both from a file that holds no message at all.
bool StartsLikeMessage(StoredFile& stored, int64_t offset)
{
    uint8_t head[256];
    const size_t got = stored.ReadAt(head, sizeof head, offset);
    if (got >= 5 && std::memcmp(head, "From ", 5) == 0) return true;
    size_t at = 0;
    while (at < got && head[at] > 32 && head[at] < 127 && head[at] != ':') ++at;
    if (at == 0) return false;
    while (at < got && (head[at] == ' ' || head[at] == '\t')) ++at;
    return at < got && head[at] == ':';
}

std::wstring Bytes(int64_t count)
{
    return std::to_wstring(count) + (count == 1 ? L" byte" : L" bytes");
}

const size_t kMarkerLength = sizeof kContentLengthMarker - 1;

// Whether Apple Mail's marker of a part stored apart ("X-Apple-Content-Length",
// in any case) is anywhere in the bytes. Looked for at every "-", which is
// rarer in mail than any letter of the name.
bool ContainsMarker(const uint8_t* bytes, size_t length)
{
    const uint8_t* const end = bytes + length;
    const uint8_t* at = bytes;
    while (at < end) {
        const void* dash = std::memchr(at, '-', static_cast<size_t>(end - at));
        if (!dash) return false;
        const uint8_t* hit = static_cast<const uint8_t*>(dash);
        if (hit > bytes && static_cast<size_t>(end - hit) + 1 >= kMarkerLength &&
            g_ascii_strncasecmp(reinterpret_cast<const char*>(hit - 1), kContentLengthMarker,
                                kMarkerLength) == 0)
            return true;
        at = hit + 1;
    }
    return false;
}

// The same over a message in the file, window by window; the windows overlap
// so that a marker across a window's end is found.
bool ContainsMarker(StoredFile& stored, int64_t offset, int64_t length)
{
    std::vector<uint8_t> window(kFileWindow + kMarkerLength);
    int64_t done = 0;
    while (done < length) {
        const size_t want = static_cast<size_t>(
            std::min<int64_t>(static_cast<int64_t>(window.size()), length - done));
        const size_t got = stored.ReadAt(window.data(), want, offset + done);
        if (ContainsMarker(window.data(), got)) return true;
        if (got < want || done + static_cast<int64_t>(got) >= length) return false;
        done += static_cast<int64_t>(got - kMarkerLength);
    }
    return false;
}

// The message as GMime writes it (after parts were put back), or false when
// writing failed.
bool SerializeMessage(GMimeMessage* message, size_t expectedSize, std::vector<uint8_t>& bytes)
{
    // Room for the stored size and what comes back: a large message is then
    // never moved while it grows.
    const size_t room = expectedSize + expectedSize / 4 + 4096;
    if (room > std::numeric_limits<guint>::max()) return false;
    GMimeStreamPtr stream = AdoptGObject(
        g_mime_stream_mem_new_with_byte_array(g_byte_array_sized_new(static_cast<guint>(room))));
    if (!stream) return false;
    const ssize_t written = g_mime_object_write_to_stream(GMIME_OBJECT(message), nullptr, stream.get());
    if (written < 0) return false;
    const GByteArray* array = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(stream.get()));
    bytes.assign(array->data, array->data + array->len);
    return true;
}

// Finds the message in an .emlx file: after its byte-count line, up to the
// count, which a sound file's trailer confirms. Whatever does not fit is
// worked around without losing a byte of the message, and said in notes; a
// file that holds no message at all answers a start of -1 and says why.
void LocateMessage(StoredFile& stored, const std::string& path, int64_t& messageStart,
                   int64_t& messageSize, std::vector<AssetNote>& notes, std::string& noMessage)
{
    const std::wstring file = L"Message file " + UTF8ToWide(path);
    const int64_t fileSize = stored.Size();
    std::string countLine;
    ReadCountLine(stored, countLine, messageStart);
    boost::algorithm::trim(countLine);
    int64_t count = 0;
    bool counted = !countLine.empty() && countLine.find_first_not_of("0123456789") == std::string::npos;
    if (counted) {
        try {
            count = boost::lexical_cast<int64_t>(countLine);
        } catch (const boost::bad_lexical_cast&) {
            counted = false;  // more digits than any file could hold
        }
    }
    counted = counted && count > 0 && messageStart >= 0;

    if (!counted) {
        // Without a count the message runs from its first header line to
        // the trailer (or the file's end). A first line that is itself a
        // header is the message's own: it is kept.
        if (StartsLikeMessage(stored, 0)) {
            messageStart = 0;
            notes.push_back({AssetNoteKind::Repaired, file + L" has no byte-count line; the whole message was taken."});
        } else if (messageStart >= 0 && StartsLikeMessage(stored, messageStart)) {
            notes.push_back({AssetNoteKind::Repaired,
                               file + L" has an unreadable byte-count line (\"" + UTF8ToWide(countLine) +
                                   L"\"); the message after it was taken whole."});
        } else {
            messageStart = -1;
            noMessage = fileSize == 0 ? "The file is empty"
                                        : "The file holds no message (no byte count and no message headers)";
            return;
        }
        const int64_t trailer = TrailerOffset(stored, messageStart);
        messageSize = trailer >= 0 ? trailer : fileSize - messageStart;
        return;
    }

    // The count is the file's own check of the message: the trailer follows
    // right at its end in a sound file, which one small read confirms.
    const int64_t available = fileSize - messageStart;
    uint8_t next[5] = {0};
    if (count == available ||
        (count < available && stored.ReadAt(next, sizeof next, messageStart + count) == sizeof next &&
         std::memcmp(next, "<?xml", sizeof next) == 0)) {
        messageSize = count;
        return;
    }
    const int64_t trailer = TrailerOffset(stored, messageStart);
    if (trailer >= 0) {
        // Common in partial downloads: the count is merely off, and the
        // trailer says where the message ends.
        messageSize = trailer;
        notes.push_back({AssetNoteKind::Repaired,
                           file + L": its byte count (" + Bytes(count) + L") does not match the message (" +
                               Bytes(trailer) + L" before Apple Mail's trailer); the message was taken up to the trailer."});
        return;
    }
    if (count > available) {
        // No trailer and fewer bytes than counted: the file was cut (an
        // interrupted copy or backup). What is there is all there is.
        messageSize = available;
        notes.push_back({AssetNoteKind::Damaged,
                           file + L" is cut short: it holds " + Bytes(available) + L" of the " + Bytes(count) +
                               L" its byte count gives, and no trailer. The part that is there was written."});
        return;
    }
    messageSize = count;
    // Anything but blanks after the counted message is neither message nor
    // trailer; it is left out, and said so.
    std::vector<uint8_t> rest(static_cast<size_t>(std::min<int64_t>(available - count, 4096)));
    rest.resize(stored.ReadAt(rest.data(), rest.size(), messageStart + count));
    // Blanks, or the start of a trailer the file was cut in, hold nothing.
    const bool nothing =
        available - count <= 4096 &&
        (std::all_of(rest.begin(), rest.end(),
                     [](uint8_t c) { return c == '\n' || c == '\r' || c == ' ' || c == '\t'; }) ||
         (rest.size() < 5 && std::memcmp(rest.data(), "<?xml", rest.size()) == 0));
    if (!nothing)
        notes.push_back({AssetNoteKind::Repaired,
                           file + L": " + Bytes(available - count) + L" after the message (" + Bytes(count) +
                               L" by its byte count) are not Apple Mail's trailer and were not written."});
}

// The state Apple Mail kept in the trailer after the message: its flags
// word and the time it arrived. Left unknown when there is no trailer or it
// holds no flags.
void ReadTrailerState(StoredFile& stored, int64_t trailerStart, MessageState& state)
{
    const int64_t length = stored.Size() - trailerStart;
    // A trailer is a few hundred bytes; anything much larger is not one.
    if (trailerStart < 0 || length <= 0 || length > 64 * 1024) return;
    std::string text(static_cast<size_t>(length), '\0');
    text.resize(stored.ReadAt(reinterpret_cast<uint8_t*>(&text[0]), text.size(), trailerStart));
    const size_t begin = text.find('<');
    if (begin == std::string::npos) return;
    PlistHandle root = ReadPlistBytes(text.data() + begin, text.size() - begin);
    if (!root || plist_get_node_type(root.get()) != PLIST_DICT) return;
    int64_t flags = 0;
    if (PlistDictInteger(root.get(), "flags", flags)) state = StateFromAppleFlags(static_cast<uint64_t>(flags));
    int64_t received = 0;
    if (PlistDictInteger(root.get(), "date-received", received) && received > 0) state.received = received;
}

}  // namespace

EMLXEmailAsset::EMLXEmailAsset(const std::string& path, Platform::DirectoryOpener* opener)
    : m_path(path)
{
    ReadOnlyFile file(path, opener);
    if (!file.IsOpen()) {
        m_readError = Platform::ErrorText(file.OpenError());
        m_notFound = file.OpenError() == ENOENT || file.OpenError() == ENOTDIR;
        return;
    }
    if (file.Size() > kMaxMessageFileBytes) {
        m_readError = "Larger than the 2 GiB limit for one message file";
        return;
    }
    m_readable = true;
    // One read of the whole file: the count line, the check for the trailer
    // and the message all come from this buffer.
    std::vector<uint8_t> whole;
    int64_t fileSize = file.Size();
    if (fileSize <= kWholeFileLimit) {
        whole.resize(static_cast<size_t>(fileSize));
        whole.resize(ReadFully(file, whole.data(), whole.size(), 0));
        fileSize = static_cast<int64_t>(whole.size());
    }
    StoredFile stored(file, whole, fileSize);

    int64_t messageStart = -1;
    int64_t messageSize = 0;
    LocateMessage(stored, path, messageStart, messageSize, m_notes, m_noMessage);
    if (messageSize > 0 && messageStart >= 0) ReadTrailerState(stored, messageStart + messageSize, m_state);
    if (messageSize <= 0 || messageStart < 0) {
        if (m_noMessage.empty()) m_noMessage = "The file holds no message, only its byte count";
    } else {
        const bool inMemory = stored.InMemory();
        const uint8_t* message = inMemory ? whole.data() + messageStart : nullptr;
        const bool marked = inMemory ? ContainsMarker(message, static_cast<size_t>(messageSize))
                                     : ContainsMarker(stored, messageStart, messageSize);
        // Only a message with parts stored apart is parsed and written
        // anew; any other is written as the bytes that are there.
        const bool reassembled = marked && LoadReassembled(path, whole, messageStart, messageSize);
        if (!reassembled) {
            m_offset = messageStart;
            m_length = messageSize;
            MessageHead head;
            if (inMemory) {
                m_bytes.swap(whole);
                head = HeadOfRawMessage(m_bytes.data() + m_offset, static_cast<size_t>(m_length));
            } else {
                m_fromFile = true;
                std::vector<uint8_t> first(static_cast<size_t>(std::min<int64_t>(m_length, 4 * kFileWindow)));
                first.resize(stored.ReadAt(first.data(), first.size(), m_offset));
                head = HeadOfRawMessage(first.data(), first.size());
            }
            // A marked message that GMime cannot parse keeps its parts empty.
            if (marked) m_attributes |= kAssetFlagIncomplete;
            TakeHead(head);
        }
        m_hasMessage = true;
    }
    // A read that failed looked like the file's end: what was read is not
    // the message, and the file counts as unreadable rather than short.
    if (file.ReadError() != 0) {
        m_readable = false;
        m_hasMessage = false;
        m_notes.clear();
        m_readError = Platform::ErrorText(file.ReadError());
        return;
    }
    if (m_attributes & kAssetFlagIncomplete) m_description += kPartialWarning;
}

bool EMLXEmailAsset::LoadReassembled(const std::string& path, const std::vector<uint8_t>& whole,
                                     int64_t messageStart, int64_t messageSize)
{
    GMimeMessagePtr message =
        whole.empty() ? ParseMimeMessageFromFile(path, messageStart, messageSize)
                      : ParseMimeMessageFromBuffer(whole.data() + messageStart, static_cast<size_t>(messageSize));
    if (!message) return false;
    std::vector<int> indexPath;
    const fs::path file(path);
    fs::path stem = file.filename();
    for (int i = 0; i < 2 && stem.has_extension(); ++i) stem = stem.stem();
    const bool incomplete =
        ReassembleMessage(message.get(), indexPath, stem.string(), file.parent_path().string());
    if (!SerializeMessage(message.get(), static_cast<size_t>(messageSize), m_bytes)) {
        m_notes.push_back({AssetNoteKind::Damaged,
                           L"Message file " + UTF8ToWide(path) +
                               L": the attachments stored beside it could not be put back; the message was "
                               L"written as stored, without them."});
        m_bytes.clear();
        return false;
    }
    if (incomplete) m_attributes |= kAssetFlagIncomplete;
    m_reassembled = true;
    m_offset = 0;
    m_length = static_cast<int64_t>(m_bytes.size());
    TakeHead(HeadOfMessage(message.get()));
    return true;
}

void EMLXEmailAsset::TakeHead(const MessageHead& head)
{
    FillSummary(head.summary.from, head.summary.date, head.summary.subject, head.summary.messageId);
    if (!m_state.received && head.summary.hasDate) m_state.received = head.summary.date;
    m_separatorLine = head.separatorLine;
    m_receivedLine = head.receivedLine;
}

EMLXEmailAsset::~EMLXEmailAsset() = default;

namespace {

// Puts the content Apple Mail stored apart for part number `number` into
// part; answers false when it is not there, or (saying why in problem) when
// it is there but could not be used.
bool FillStoredContent(GMimeObject* part, const std::string& number, const std::string& stem,
                       const fs::path& folder, std::string& problem)
{
    const fs::path emlxPart = folder / (stem + "." + number + ".emlxpart");
    boost::system::error_code ec;
    if (fs::is_regular_file(emlxPart, ec)) {
        // An empty one means Apple Mail never got the content: looking
        // further would find nothing better.
        if (fs::file_size(emlxPart, ec) == 0 || ec) return false;
        const GMimeContentEncoding encoding = GMIME_IS_PART(part)
                                                  ? g_mime_part_get_content_encoding(GMIME_PART(part))
                                                  : GMIME_CONTENT_ENCODING_DEFAULT;
        if (SetPartContent(part, OpenMimeFileStream(emlxPart.string()).get(), encoding)) return true;
        problem = "its part file " + emlxPart.string() + " could not be read";
        return false;
    }
    const fs::path attachments = folder.parent_path() / "Attachments" / stem / number;
    GMimeStreamPtr content;
    if (IsAutoArchivedFolder(part)) content = ArchiveAttachedFolder(part, attachments, problem);
    // Without the unpacked folder the zip itself may still be there.
    if (!content) content = OpenAttachmentFile(attachments);
    if (content && SetPartContent(part, content.get(), GMIME_CONTENT_ENCODING_BINARY)) {
        problem.clear();
        return true;
    }
    return false;
}

// A part whose content is not put back is not left empty, posing as the
// real attachment: it becomes a short text saying what was left out and
// why, so that the reader of the converted message knows. problem is empty
// when Apple Mail never downloaded the content.
std::string LeftOutNotice(const std::string& what, const std::string& declaredLength, const std::string& problem)
{
    std::string text = "This attachment was not converted: ";
    text += problem.empty() ? "Apple Mail had not downloaded it, and its content was not on this disk when the "
                              "message was converted."
                            : problem + ".";
    text += "\r\n\r\nThe attachment: " + what;
    const std::string digits = boost::algorithm::trim_copy(declaredLength);
    if (!digits.empty() && digits.find_first_not_of("0123456789") == std::string::npos)
        text += ", " + digits + " bytes as sent";
    text += ".\r\n";
    if (problem.empty()) text += "It may still be on the mail server.\r\n";
    return text;
}

boost::shared_ptr<GMimePart> NoticePart(const std::string& text)
{
    auto part = AdoptGObject(GMIME_PART(g_mime_text_part_new_with_subtype("plain")));
    g_mime_text_part_set_text(GMIME_TEXT_PART(part.get()), text.c_str());
    g_mime_part_set_content_encoding(
        part.get(), g_mime_part_get_best_content_encoding(part.get(), GMIME_ENCODING_CONSTRAINT_7BIT));
    return part;
}

void MarkLeftOut(GMimeObject* part, const std::string& declaredLength, const std::string& problem)
{
    if (GMIME_IS_PART(part)) {
        GMimePart* leaf = GMIME_PART(part);
        std::string what;
        if (GMimeContentType* type = g_mime_object_get_content_type(part)) {
            gchar* mimeType = g_mime_content_type_get_mime_type(type);
            what = mimeType ? mimeType : "";
            g_free(mimeType);
        }
        const char* fileName = g_mime_part_get_filename(leaf);
        const std::string name = fileName ? fileName : "";
        if (!name.empty()) what = "\"" + name + "\" (" + what + ")";
        const auto notice = NoticePart(LeftOutNotice(what, declaredLength, problem));
        // The part keeps its place and disposition; its type, encoding and
        // content become the notice's.
        auto type = AdoptGObject(g_mime_content_type_parse(
            nullptr, g_mime_object_get_header(GMIME_OBJECT(notice.get()), "Content-Type")));
        if (type) g_mime_object_set_content_type(part, type.get());
        g_mime_part_set_content_encoding(leaf, g_mime_part_get_content_encoding(notice.get()));
        g_mime_part_set_content(leaf, g_mime_part_get_content(notice.get()));
        if (!name.empty())
            g_mime_part_set_filename(
                leaf, (name + (problem.empty() ? " (not downloaded).txt" : " (not converted).txt")).c_str());
    } else if (GMIME_IS_MESSAGE_PART(part)) {
        auto message = AdoptGObject(g_mime_message_new(TRUE));
        g_mime_message_set_subject(message.get(), "Attached message not converted", nullptr);
        const auto notice = NoticePart(LeftOutNotice("an attached message", declaredLength, problem));
        g_mime_message_set_mime_part(message.get(), GMIME_OBJECT(notice.get()));
        g_mime_message_part_set_message(GMIME_MESSAGE_PART(part), message.get());
    }
}

}  // namespace

bool EMLXEmailAsset::FillMarkedPart(GMimeObject* holder, GMimeObject* part, const std::string& number,
                                    const std::string& stem, const std::string& messageFolder)
{
    const char* marker = g_mime_object_get_header(holder, kContentLengthMarker);
    if (!marker) return false;
    const std::string declaredLength = marker;
    std::string problem;
    const bool missing = !FillStoredContent(part, number, stem, fs::path(messageFolder), problem);
    g_mime_object_remove_header(holder, kContentLengthMarker);
    if (!missing) return false;
    MarkLeftOut(part, declaredLength, problem);
    // Content that is on this disk but could not be put back is lost by the
    // conversion, not by Apple Mail: that is damage to name.
    if (!problem.empty())
        m_notes.push_back({AssetNoteKind::Damaged, L"Message file " + UTF8ToWide(m_path) + L": part " +
                                                       UTF8ToWide(number) + L" was left out: " +
                                                       UTF8ToWide(problem) + L"."});
    return true;
}

bool EMLXEmailAsset::ReassembleParts(GMimeObject* part, std::vector<int>& indexPath,
                                     const std::string& stem, const std::string& messageFolder)
{
    bool incomplete = FillMarkedPart(part, part, PartNumber(indexPath), stem, messageFolder);

    if (GMIME_IS_MESSAGE_PART(part)) {
        // An attached message's parts are numbered below the attachment's
        // own number (2.1, 2.2, ...), and may be stored apart as well.
        GMimeMessage* inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(part));
        if (inner && ReassembleMessage(inner, indexPath, stem, messageFolder)) incomplete = true;
    } else if (GMIME_IS_MULTIPART(part)) {
        GMimeMultipart* multipart = GMIME_MULTIPART(part);
        const int count = g_mime_multipart_get_count(multipart);
        for (int i = 0; i < count; ++i) {
            indexPath.push_back(i);
            if (ReassembleParts(g_mime_multipart_get_part(multipart, i), indexPath, stem,
                                messageFolder))
                incomplete = true;
            indexPath.pop_back();
        }
    }
    return incomplete;
}

bool EMLXEmailAsset::ReassembleMessage(GMimeMessage* message, std::vector<int>& indexPath,
                                       const std::string& stem, const std::string& messageFolder)
{
    GMimeObject* body = g_mime_message_get_mime_part(message);
    if (!body) return false;
    // The top-level multipart itself has the empty number; an attached
    // message's multipart shares the attachment's number.
    if (GMIME_IS_MULTIPART(body)) return ReassembleParts(body, indexPath, stem, messageFolder);
    bool incomplete = false;
    indexPath.push_back(0);
    // A single-part message carries the marker among its own headers, where
    // the body part does not see it.
    incomplete = FillMarkedPart(GMIME_OBJECT(message), body, PartNumber(indexPath), stem, messageFolder);
    if (ReassembleParts(body, indexPath, stem, messageFolder)) incomplete = true;
    indexPath.pop_back();
    return incomplete;
}

template <typename Sink>
bool EMLXEmailAsset::ForEachPiece(Sink&& sink)
{
    if (!m_fromFile) {
        sink(m_bytes.data() + m_offset, static_cast<size_t>(m_length));
        return true;
    }
    // The file is read again window by window: the message was too large to
    // keep in memory until now.
    ReadOnlyFile file(m_path);
    if (!file.IsOpen()) {
        m_notes.push_back({AssetNoteKind::Damaged, L"Message file " + UTF8ToWide(m_path) +
                                                       L" could not be read again to be written - " +
                                                       UTF8ToWide(Platform::ErrorText(file.OpenError()))});
        return false;
    }
    std::vector<uint8_t> window(kFileWindow);
    for (int64_t done = 0; done < m_length;) {
        const size_t want = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(window.size()), m_length - done));
        const size_t got = ReadFully(file, window.data(), want, m_offset + done);
        if (got > 0) sink(window.data(), got);
        if (got < want) {
            m_notes.push_back({AssetNoteKind::Damaged,
                               L"Message file " + UTF8ToWide(m_path) + L" became shorter while it was written"});
            return false;
        }
        done += static_cast<int64_t>(got);
    }
    return true;
}

WriteResult EMLXEmailAsset::WriteRawMessage(const boost::shared_ptr<KSDataStreamOut>& out)
{
    if (!m_hasMessage || !out) return WriteResult::Ok;
    KSDataLock<KSDataStreamOut> lock(out);
    bool whole = true;
    const bool read = ForEachPiece([&](const uint8_t* bytes, size_t length) {
        if (whole && lock->Write(bytes, length) != length) whole = false;
    });
    return read && whole ? WriteResult::Ok : WriteResult::Short;
}

WriteResult EMLXEmailAsset::WriteMBOXMessage(std::ostream& out)
{
    return WriteMBOXEntry(out, std::string());
}

WriteResult EMLXEmailAsset::WriteMBOXEntry(std::ostream& out, const std::string& stateLines)
{
    if (!m_hasMessage) {
        out << '\n';
        out.flush();
        return out ? WriteResult::Ok : WriteResult::StreamFailed;
    }
    MboxEntryWriter writer(out, m_separatorLine, m_receivedLine, stateLines);
    const bool read = ForEachPiece([&](const uint8_t* bytes, size_t length) { writer.Append(bytes, length); });
    const WriteResult result = writer.Finish(1);
    return read ? result : WriteResult::Short;
}

}  // namespace KestrinMIMEEngineCommon
