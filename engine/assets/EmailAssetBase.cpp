#include "assets/IAsset.h"

#include "mime/MakeSafeName.h"
#include "mime/MimeServices.h"

namespace KestrinMIMEEngineCommon {

void EmailAssetBase::FillSummary(const std::wstring& from, int64_t dateSeconds,
                                 const std::wstring& subject, const std::string& messageId)
{
    // The formatted date is plain ASCII, so widening byte by byte is exact.
    const std::string date = FormatRFC822Date(dateSeconds);

    m_description.reserve(512);
    m_description += L"From : ";
    m_description += from;
    m_description += L"\r\nDate : ";
    m_description.append(date.begin(), date.end());
    m_description += L"\r\nSubject : ";
    m_description += subject;

    m_uniqueId = messageId;
    m_subject = subject;
}

std::wstring EmailAssetBase::GetTitle(NameStyle style)
{
    if (style == NameStyle::Unicode) return MakeSafeName(m_subject, std::wstring(), style);
    // The loading and export threads may both ask; the first makes it.
    std::call_once(m_titleOnce, [this] { m_title = MakeSafeName(m_subject, std::wstring()); });
    return m_title;
}

}  // namespace KestrinMIMEEngineCommon
