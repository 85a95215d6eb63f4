// The engine's output providers by target code. Kept apart so that tests
// with their own providers do not pull in every writer.
#include <boost/make_shared.hpp>

#include "app/ExportRun.h"
#include "export/OutputGeneralFormatStoreProvider.h"

namespace KestrinApp {

using namespace KestrinMIMEEngineCommon;

OutputProviderFactory MakeStandardProviderFactory()
{
    return [](int targetCode, const std::string& outputRoot,
              const std::vector<int>& mergeList) -> boost::shared_ptr<IOutputStoreProvider> {
        switch (targetCode) {
        case kTargetArchive:
            // GAP: the archive package provider is not in the engine yet; an
            // empty provider makes the export fail with "This output format is
            // not available."
            return {};
        case kTargetMbox:
            return boost::make_shared<OutputGeneralFormatStoreProvider>(outputRoot, kOutputTypeMbox,
                                                                        mergeList);
        default:
            return boost::make_shared<OutputGeneralFormatStoreProvider>(outputRoot, kOutputTypeEML,
                                                                        mergeList);
        }
    };
}

}  // namespace KestrinApp
