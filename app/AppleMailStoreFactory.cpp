// Kept apart so that only front ends that read real libraries pull in the
// Apple Mail reader.
#include "app/Source.h"
#include "applemail/AppleMailStoreHelper.h"

namespace KestrinApp {

StoreFactory MakeAppleMailStoreFactory()
{
    return [](const std::string& path, const boost::shared_ptr<ICancelable>& cancelable) {
        return KestrinMIMEEngineCommon::AppleMailStoreHelper::CreateStore(
            path, L"Apple Mail Database", cancelable);
    };
}

}  // namespace KestrinApp
