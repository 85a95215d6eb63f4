// Facts about the application that the engine puts into its reports.
#pragma once

#include <string>

#include <boost/shared_ptr.hpp>

namespace KestrinMIMEEngineCommon {

class IAppInfo {
public:
    virtual ~IAppInfo() = default;
    // UTF-8.
    virtual std::string GetSupportAddress() = 0;
};

class TaviAppInfo : public IAppInfo {
public:
    std::string GetSupportAddress() override;
};

// The process-wide application information, installed once at start-up.
// GetAppInfo answers an empty pointer until then.
void SetAppInfo(const boost::shared_ptr<IAppInfo>& info);
boost::shared_ptr<IAppInfo> GetAppInfo();
// The installed information's support address, the built-in one before any
// is installed.
std::string SupportAddress();

}  // namespace KestrinMIMEEngineCommon
