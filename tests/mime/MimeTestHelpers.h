// Small helpers shared by the MIME tests.
#pragma once

#include <memory>
#include <string>

#include <gmime/gmime.h>
#include <unicode/locid.h>
#include <unicode/timezone.h>

#include "mime/MimeServices.h"

namespace mime_test {

// The message as GMime writes it back out.
inline std::string MessageText(GMimeMessage* message)
{
    using namespace KestrinMIMEEngineCommon;
    GMimeStreamPtr out = AdoptGObject(g_mime_stream_mem_new());
    g_mime_object_write_to_stream(GMIME_OBJECT(message), nullptr, out.get());
    GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(out.get()));
    return std::string(reinterpret_cast<const char*>(bytes->data), bytes->len);
}

inline KestrinMIMEEngineCommon::GMimeMessagePtr Parse(const std::string& text)
{
    return KestrinMIMEEngineCommon::ParseMimeMessageFromBuffer(
        reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

// Sets ICU's default zone for one test and puts the previous one back.
class DefaultZone {
public:
    explicit DefaultZone(const char* id) : m_previous(icu::TimeZone::createDefault())
    {
        icu::TimeZone::adoptDefault(icu::TimeZone::createTimeZone(id));
    }
    ~DefaultZone() { icu::TimeZone::adoptDefault(m_previous.release()); }
    DefaultZone(const DefaultZone&) = delete;
    DefaultZone& operator=(const DefaultZone&) = delete;

private:
    std::unique_ptr<icu::TimeZone> m_previous;
};

// Sets ICU's default locale for one test and puts the previous one back.
class DefaultLocale {
public:
    explicit DefaultLocale(const char* name) : m_previous(icu::Locale::getDefault())
    {
        UErrorCode status = U_ZERO_ERROR;
        icu::Locale::setDefault(icu::Locale(name), status);
    }
    ~DefaultLocale()
    {
        UErrorCode status = U_ZERO_ERROR;
        icu::Locale::setDefault(m_previous, status);
    }
    DefaultLocale(const DefaultLocale&) = delete;
    DefaultLocale& operator=(const DefaultLocale&) = delete;

private:
    icu::Locale m_previous;
};

}  // namespace mime_test
