// One Apple Mail message file (".emlx" or ".partial.emlx"): a byte-count
// line, the RFC 822 message, and a property-list trailer this reader ignores.
//
// Apple Mail leaves attachments it has not downloaded (or has moved out of
// the message) as parts with an "X-Apple-Content-Length" header and no body;
// their content is in "<stem>.<part number>.emlxpart" beside the file or in
// "Attachments/<stem>/<part number>/" beside the message folder. The asset
// puts that content back into the parsed message, so both writers emit the
// whole message. Everything is read in the constructor.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "assets/IAsset.h"
#include "mime/MimeServices.h"

namespace KestrinMIMEEngineCommon {

class EMLXEmailAsset : public EmailAssetBase {
public:
    explicit EMLXEmailAsset(const std::string& path);
    ~EMLXEmailAsset() override;

    int WriteMBOXMessage(std::ostream& out) override;
    int WriteRawMessage(const boost::shared_ptr<KSDataStreamOut>& out) override;
    // 1 once a message was parsed, 0 otherwise (callers test it for zero).
    uint64_t GetSize() override { return static_cast<uint64_t>(m_parsed); }

    // Puts separately stored content back into part and, for a multipart,
    // into its children. indexPath holds the 0-based child indexes leading to
    // part (empty for the top-level part); stem is the message file's name
    // without its extensions; messageFolder the folder holding the file.
    // Answers true while some content is still missing.
    bool ReassembleParts(GMimeObject* part, std::vector<int>& indexPath, const std::string& stem,
                         const std::string& messageFolder);
    // The same for a whole message (the top-level one or one attached as
    // message/rfc822 at indexPath): a single-part message keeps the marker on
    // its own headers, and its body is part number indexPath + "1".
    bool ReassembleMessage(GMimeMessage* message, std::vector<int>& indexPath,
                           const std::string& stem, const std::string& messageFolder);

    // False when the file could not be opened at all (deleted after listing,
    // no permission): the asset then carries nothing.
    bool WasReadable() const { return m_readable; }
    // Why the file could not be opened (the system's text), empty otherwise.
    const std::string& ReadError() const { return m_readError; }
    // True when a message was parsed: a file without one (0 bytes, only a
    // count line) holds nothing that could be written.
    bool HasMessage() const { return static_cast<bool>(m_message); }
    GMimeMessage* GetMessage() const { return m_message.get(); }

private:
    bool m_noHeaderList = false;
    GMimeMessagePtr m_message;
    std::string m_path;
    int64_t m_parsed = 0;
    bool m_readable = false;
    std::string m_readError;
};

}  // namespace KestrinMIMEEngineCommon
