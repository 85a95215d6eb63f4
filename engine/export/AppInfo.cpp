#include "export/AppInfo.h"

#include <mutex>

namespace KestrinMIMEEngineCommon {

namespace {
std::mutex g_appInfoMutex;
boost::shared_ptr<IAppInfo> g_appInfo;
}  // namespace

std::string TaviAppInfo::GetSupportAddress() { return "support@kestrin-mail.app"; }

void SetAppInfo(const boost::shared_ptr<IAppInfo>& info)
{
    std::lock_guard<std::mutex> guard(g_appInfoMutex);
    g_appInfo = info;
}

boost::shared_ptr<IAppInfo> GetAppInfo()
{
    std::lock_guard<std::mutex> guard(g_appInfoMutex);
    return g_appInfo;
}

std::string SupportAddress()
{
    if (const auto info = GetAppInfo()) return info->GetSupportAddress();
    return TaviAppInfo().GetSupportAddress();
}

}  // namespace KestrinMIMEEngineCommon
