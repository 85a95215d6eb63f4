// The engine's output providers by target. Kept apart so that tests with
// their own providers do not pull in every writer.
#include <boost/make_shared.hpp>

#include "app/Convert.h"
#include "archive/OutputMSEStoreProvider.h"
#include "export/OutputGeneralFormatStoreProvider.h"
#include "mime/KSCharsets.h"

namespace KestrinApp {

using namespace KestrinMIMEEngineCommon;

OutputProviderFactory MakeStandardProviderFactory()
{
    return [](ExportTarget target, const std::string& outputRoot, const std::vector<int>& mergeList,
              NameStyle names) -> boost::shared_ptr<IOutputStoreProvider> {
        if (target == ExportTarget::Archive)
            return boost::make_shared<OutputMSEStoreProvider>(
                outputRoot, UTF8ToWide(kArchivePackageName), names);
        return boost::make_shared<OutputGeneralFormatStoreProvider>(
            outputRoot, target, mergeList, names);
    };
}

}  // namespace KestrinApp
