// Helpers of the .emlx and mailbox-directory tests: what an asset writes,
// the decoded content of one part of it, copies of the real samples.
#pragma once

#include <string>
#include <vector>

#include <boost/filesystem.hpp>
#include <boost/make_shared.hpp>
#include <gmime/gmime.h>

#include "assets/IAsset.h"
#include "mime/GMimeObject.h"
#include "mime/MimeServices.h"
#include "streams/KSContainerData.h"

namespace emlx_test {

inline std::string RawOutput(KestrinMIMEEngineCommon::IEmailAsset& asset, KestrinMIMEEngineCommon::WriteResult* result = nullptr)
{
    using namespace KestrinMIMEEngineCommon;
    auto bytes = boost::make_shared<KSByteVector>();
    const WriteResult answer = asset.WriteRawMessage(boost::make_shared<KSVectorData>(bytes));
    if (result) *result = answer;
    return std::string(bytes->begin(), bytes->end());
}

// The part at the 1-based part number ("2", "2.2") of the message, or null.
// As in IMAP, an attached message's parts are numbered below it and a
// single-part body (of the message or of an attached one) is number 1.
inline GMimeObject* FindPart(GMimeMessage* message, const std::string& number)
{
    GMimeObject* part = g_mime_message_get_mime_part(message);
    size_t start = 0;
    while (part && start < number.size()) {
        size_t dot = number.find('.', start);
        if (dot == std::string::npos) dot = number.size();
        const int index = std::stoi(number.substr(start, dot - start)) - 1;
        if (GMIME_IS_MESSAGE_PART(part)) {
            GMimeMessage* inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(part));
            part = inner ? g_mime_message_get_mime_part(inner) : nullptr;
            if (!part) return nullptr;
        }
        if (!GMIME_IS_MULTIPART(part)) {
            if (index != 0) return nullptr;
        } else {
            if (index >= g_mime_multipart_get_count(GMIME_MULTIPART(part))) return nullptr;
            part = g_mime_multipart_get_part(GMIME_MULTIPART(part), index);
        }
        start = dot + 1;
    }
    return part;
}

// The decoded content of a leaf part of written message bytes; "<missing>"
// when there is no such part.
inline std::string DecodedPart(const std::string& messageBytes, const std::string& number)
{
    using namespace KestrinMIMEEngineCommon;
    GMimeMessagePtr message = ParseMimeMessageFromBuffer(
        reinterpret_cast<const uint8_t*>(messageBytes.data()), messageBytes.size());
    GMimeObject* part = message ? FindPart(message.get(), number) : nullptr;
    if (!part || !GMIME_IS_PART(part)) return "<missing>";
    GMimeDataWrapper* content = g_mime_part_get_content(GMIME_PART(part));
    if (!content) return std::string();
    auto sink = AdoptGObject(g_mime_stream_mem_new());
    g_mime_data_wrapper_write_to_stream(content, sink.get());
    GByteArray* array = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(sink.get()));
    return std::string(reinterpret_cast<const char*>(array->data), array->len);
}

// Copies a tree with fresh, writable permissions (the samples are read-only).
inline void CopyTree(const boost::filesystem::path& from, const boost::filesystem::path& to)
{
    namespace fs = boost::filesystem;
    fs::create_directories(to);
    for (fs::directory_iterator it(from), end; it != end; ++it) {
        const fs::path target = to / it->path().filename();
        if (fs::is_directory(it->path()))
            CopyTree(it->path(), target);
        else
            fs::copy_file(it->path(), target);
    }
}

}  // namespace emlx_test
