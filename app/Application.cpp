#include "app/Application.h"

#include <mutex>

#include <boost/make_shared.hpp>

#include "export/AppInfo.h"
#include "mime/MimeServices.h"

namespace KestrinApp {

using namespace KestrinMIMEEngineCommon;

void InitializeApplication()
{
    static std::once_flag once;
    std::call_once(once, [] {
        SetAppInfo(boost::make_shared<TaviAppInfo>());
        InitializeMimeEngine();
    });
}

}  // namespace KestrinApp
