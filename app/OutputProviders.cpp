// The engine's output providers by target code. Kept apart so that tests
// with their own providers do not pull in every writer.
#include <boost/make_shared.hpp>

#include "app/ExportRun.h"
#include "archive/OutputMSEStoreProvider.h"
#include "export/OutputGeneralFormatStoreProvider.h"
#include "mime/KSCharsets.h"

namespace KestrinApp {

using namespace KestrinMIMEEngineCommon;

OutputProviderFactory MakeStandardProviderFactory()
{
    return [](int targetCode, const std::string& outputRoot, const std::vector<int>& mergeList,
              NameStyle names) -> boost::shared_ptr<IOutputStoreProvider> {
        switch (targetCode) {
        case kTargetArchive:
            return boost::make_shared<OutputMSEStoreProvider>(
                outputRoot, KestrinMIMEEngineCommon::UTF8ToWide(kArchivePackageName), names);
        case kTargetMbox:
            return boost::make_shared<OutputGeneralFormatStoreProvider>(outputRoot, kOutputTypeMbox,
                                                                        mergeList, names);
        default:
            return boost::make_shared<OutputGeneralFormatStoreProvider>(outputRoot, kOutputTypeEML,
                                                                        mergeList, names);
        }
    };
}

}  // namespace KestrinApp
