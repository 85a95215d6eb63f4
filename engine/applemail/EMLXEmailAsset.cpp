#include "applemail/EMLXEmailAsset.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>

#include <boost/algorithm/string/predicate.hpp>
#include <boost/algorithm/string/trim.hpp>
#include <boost/filesystem.hpp>
#include <boost/lexical_cast.hpp>
#include <boost/make_shared.hpp>

#include "applemail/AttachedFolderArchive.h"
#include "formats/MboxWriter.h"
#include "mime/KSCharsets.h"
#include "streams/KSDiagnostics.h"
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
GMimeStreamPtr ArchiveAttachedFolder(GMimeObject* part, const fs::path& attachments)
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

    const fs::path temporaryRoot = fs::temp_directory_path(ec);
    if (ec) return {};
    const fs::path temporary = temporaryRoot / fs::unique_path("%%%%-%%%%-%%%%-%%%%", ec);
    if (ec) return {};
    if (!KSFileSystem::CreateFolder(
            KSFileSystemPath(boost::make_shared<KSPathTraitsFile>(), temporary.string())))
        return {};
    struct RemoveWhenDone {
        fs::path path;
        ~RemoveWhenDone()
        {
            boost::system::error_code ignored;
            fs::remove_all(path, ignored);
        }
    } cleanup{temporary};

    const fs::path zipPath = temporary / zipName;
    if (!ZipAttachedFolder(folder, zipPath, folderName)) return {};
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

// Counts what reaches the target, since GMime does not notice a write that
// took only part of the bytes.
class ShortWriteWatch : public KSDataStreamOut {
public:
    explicit ShortWriteWatch(boost::shared_ptr<KSDataStreamOut> target) : m_target(std::move(target))
    {
    }
    void Lock() override { m_target->Lock(); }
    void Unlock() override { m_target->Unlock(); }
    size_t Write(const void* buffer, size_t n) override
    {
        const size_t written = m_target->Write(buffer, n);
        if (written < n) m_short = true;
        return written;
    }
    bool Flush() override { return m_target->Flush(); }
    bool WasShort() const { return m_short; }

private:
    boost::shared_ptr<KSDataStreamOut> m_target;
    bool m_short = false;
};

// When the count line cannot be trusted the message still lies between that
// line and Apple Mail's property-list trailer; answers its length (0 when
// nothing but the trailer follows the count line).
int64_t MessageLengthBeforeTrailer(const std::string& path, int64_t messageStart)
{
    boost::system::error_code ec;
    const uintmax_t fileSize = fs::file_size(path, ec);
    if (ec || static_cast<int64_t>(fileSize) <= messageStart) return 0;
    const int64_t available = static_cast<int64_t>(fileSize) - messageStart;
    // The trailer is a few hundred bytes; a generous tail finds it without
    // reading the message.
    const int64_t tailLength = std::min<int64_t>(available, 64 * 1024);
    std::ifstream in(path, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(fileSize) - tailLength);
    std::string tail(static_cast<size_t>(tailLength), '\0');
    in.read(&tail[0], tailLength);
    tail.resize(static_cast<size_t>(in.gcount()));
    size_t at = tail.rfind("<?xml");
    while (at != std::string::npos) {
        const int64_t absolute = static_cast<int64_t>(fileSize) - tailLength + static_cast<int64_t>(at);
        const bool atLineStart = absolute == messageStart || (at > 0 && tail[at - 1] == '\n');
        if (atLineStart && tail.find("<plist", at) != std::string::npos)
            return absolute - messageStart;
        if (at == 0) break;
        at = tail.rfind("<?xml", at - 1);
    }
    return available;
}

using Platform::ReadOnlyFile;

// The byte-count line: the file's first line without its LF, and where the
// message starts (-1 when the file has no line end). Read in small pieces: the
// line is a few digits, and the message is read by the parser later.
void ReadCountLine(ReadOnlyFile& file, std::string& line, int64_t& messageStart)
{
    messageStart = -1;
    char buffer[64];
    int64_t offset = 0;
    for (;;) {
        const size_t got = file.Read(buffer, sizeof buffer);
        if (got == 0) return;
        const char* begin = buffer;
        const char* end = begin + got;
        const char* lineFeed = std::find(begin, end, '\n');
        line.append(begin, lineFeed);
        if (lineFeed != end) {
            messageStart = offset + (lineFeed - begin) + 1;
            return;
        }
        offset += static_cast<int64_t>(got);
    }
}

}  // namespace

EMLXEmailAsset::EMLXEmailAsset(const std::string& path) : m_path(path)
{
    std::string countLine;
    int64_t messageStart = -1;
    ReadOnlyFile file(path);
    if (!file.IsOpen()) {
        m_readError = Platform::ErrorText(file.OpenError());
        return;
    }
    if (file.Size() > kMaxMessageFileBytes) {
        m_readError = "Larger than the 2 GiB limit for one message file";
        return;
    }
    m_readable = true;
    ReadCountLine(file, countLine, messageStart);
    boost::algorithm::trim(countLine);
    int64_t messageSize = 0;
    bool counted = true;
    try {
        messageSize = boost::lexical_cast<int64_t>(countLine);
    } catch (const boost::bad_lexical_cast&) {
        KSDiagnostic("%s ERROR: BadCast: On mimeSize in EMLXEmailAsset\n");
        counted = false;
    }
    // A count that runs past the message would carry the trailer (or, near
    // 2^63, an offset that overflows) into the message: the trailer is where
    // the message ends whatever the count says. A sound file has the trailer
    // right at the count's end, which one small read confirms.
    if (counted && messageSize > 0 && messageStart >= 0) {
        boost::system::error_code ec;
        const uintmax_t fileSize = fs::file_size(path, ec);
        const int64_t available =
            ec || static_cast<int64_t>(fileSize) < messageStart ? 0 : static_cast<int64_t>(fileSize) - messageStart;
        char next[5] = {0};
        const bool endsAtTrailer =
            messageSize == available ||
            (messageSize < available &&
             file.ReadAt(next, sizeof next, messageStart + messageSize) == sizeof next &&
             std::memcmp(next, "<?xml", sizeof next) == 0);
        if (!endsAtTrailer) {
            const int64_t limit = MessageLengthBeforeTrailer(path, messageStart);
            if (messageSize > limit) {
                KSDiagnostic("%s ERROR: EMLX byte count runs past the message, message taken up "
                             "to its trailer - %s\n",
                             path.c_str());
                messageSize = limit;
            }
        }
    }
    // A count that is missing, zero or negative does not make the message
    // go away: a damaged count line must not lose the user's mail.
    if ((!counted || messageSize <= 0) && messageStart >= 0) {
        messageSize = MessageLengthBeforeTrailer(path, messageStart);
        if (messageSize > 0)
            KSDiagnostic("%s ERROR: EMLX byte count unusable, message taken up to its trailer - %s\n",
                         path.c_str());
    }
    if (messageSize <= 0) {
        m_description += L"Skipped : Blank EMLX file: ";
        m_description += UTF8ToWide(path);
        m_attributes |= kAssetFlagIncomplete;
    }

    if (messageSize > 0 && messageStart >= 0) {
        m_message = ParseMimeMessageFromFile(path, messageStart, messageSize);
        if (m_message) {
            std::vector<int> indexPath;
            const fs::path file(path);
            fs::path stem = file.filename();
            for (int i = 0; i < 2 && stem.has_extension(); ++i) stem = stem.stem();
            if (ReassembleMessage(m_message.get(), indexPath, stem.string(),
                                  file.parent_path().string()))
                m_attributes |= kAssetFlagIncomplete;

            GMimeHeaderList* headers = g_mime_object_get_header_list(GMIME_OBJECT(m_message.get()));
            m_noHeaderList = !headers || g_mime_header_list_get_count(headers) == 0;
            m_parsed = 1;
            const MessageSummary summary = SummarizeMessage(m_message.get());
            FillSummary(summary.from, summary.date, summary.subject, summary.messageId);
        }
    }
    if (m_attributes & kAssetFlagIncomplete) m_description += kPartialWarning;
}

EMLXEmailAsset::~EMLXEmailAsset() = default;

namespace {

// Puts the content Apple Mail stored apart for part number `number` into
// part; answers false when it is not there.
bool FillStoredContent(GMimeObject* part, const std::string& number, const std::string& stem,
                       const fs::path& folder)
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
        return SetPartContent(part, OpenMimeFileStream(emlxPart.string()).get(), encoding);
    }
    const fs::path attachments = folder.parent_path() / "Attachments" / stem / number;
    GMimeStreamPtr content;
    if (IsAutoArchivedFolder(part)) content = ArchiveAttachedFolder(part, attachments);
    // Without the unpacked folder the zip itself may still be there.
    if (!content) content = OpenAttachmentFile(attachments);
    return content && SetPartContent(part, content.get(), GMIME_CONTENT_ENCODING_BINARY);
}

}  // namespace

bool EMLXEmailAsset::ReassembleParts(GMimeObject* part, std::vector<int>& indexPath,
                                     const std::string& stem, const std::string& messageFolder)
{
    bool incomplete = false;
    if (g_mime_object_get_header(part, kContentLengthMarker)) {
        incomplete = !FillStoredContent(part, PartNumber(indexPath), stem, fs::path(messageFolder));
        g_mime_object_remove_header(part, kContentLengthMarker);
    }

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
    GMimeObject* headers = GMIME_OBJECT(message);
    if (g_mime_object_get_header(headers, kContentLengthMarker)) {
        incomplete = !FillStoredContent(body, PartNumber(indexPath), stem, fs::path(messageFolder));
        g_mime_object_remove_header(headers, kContentLengthMarker);
    }
    if (ReassembleParts(body, indexPath, stem, messageFolder)) incomplete = true;
    indexPath.pop_back();
    return incomplete;
}

int EMLXEmailAsset::WriteRawMessage(const boost::shared_ptr<KSDataStreamOut>& out)
{
    if (!m_message || !out) return kWriteOK;
    auto watch = boost::make_shared<ShortWriteWatch>(out);
    GMimeStreamPtr stream = CreateMimeStream(watch);
    if (!stream) return kWriteShort;
    const ssize_t written =
        g_mime_object_write_to_stream(GMIME_OBJECT(m_message.get()), nullptr, stream.get());
    g_mime_stream_flush(stream.get());
    return written < 0 || watch->WasShort() ? kWriteShort : kWriteOK;
}

int EMLXEmailAsset::WriteMBOXMessage(std::ostream& out)
{
    if (!m_message) {
        out << '\n';
        out.flush();
        return out ? kWriteOK : kWriteStreamFailed;
    }
    // GMime's own memory stream: a write there cannot come up short.
    GMimeStreamPtr memory = AdoptGObject(g_mime_stream_mem_new());
    if (!memory ||
        g_mime_object_write_to_stream(GMIME_OBJECT(m_message.get()), nullptr, memory.get()) < 0)
        return kWriteShort;
    GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(memory.get()));
    if (!bytes) return kWriteShort;
    return WriteMboxEntry(out, bytes->data, bytes->len, m_message.get(), 1);
}

}  // namespace KestrinMIMEEngineCommon
