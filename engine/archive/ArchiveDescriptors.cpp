#include "archive/ArchiveDescriptors.h"

#include <boost/filesystem.hpp>
#include <boost/make_shared.hpp>

#include "archive/MacFileType.h"
#include "formats/FormatsSupport.h"
#include "streams/KSContainerData.h"
#include "streams/KSDataFilter.h"
#include "streams/KSDiagnostics.h"
#include "streams/KSFileData.h"

namespace fs = boost::filesystem;

namespace KestrinMIMEEngineCommon {

namespace {

struct DescriptorFile {
    const char* relativePath;
    size_t offset;
    size_t size;
};

const DescriptorFile kDescriptorFiles[] = {
    {"Archive.xml", kArchiveXmlOffset, kArchiveXmlSize},
    {"Contents/Info.plist", kInfoPlistOffset, kInfoPlistSize},
    {"Contents/PkgInfo", kPkgInfoOffset, kPkgInfoSize},
};

constexpr size_t kDescriptorBytes = kPkgInfoOffset + kPkgInfoSize;

// Anything at the path counts, a dangling link included: it is not ours to
// replace.
bool PathTaken(const std::string& path)
{
    boost::system::error_code ec;
    return fs::exists(fs::symlink_status(path, ec));
}

}  // namespace

std::vector<uint8_t> ExpandArchiveTemplate(
    const std::array<uint8_t, kArchiveTemplateFrameSize>& frame)
{
    using Frame = std::array<uint8_t, kArchiveTemplateFrameSize>;
    auto source = boost::make_shared<KSContainerData<Frame>>(boost::make_shared<Frame>(frame));
    auto filter = boost::make_shared<ZStdDecompressionFilter>(
        source, static_cast<int64_t>(kArchiveTemplateExpandedSize));

    // One byte more than the filter is asked for, zeroed, as the expansion
    // has always been done.
    std::vector<uint8_t> expanded(kArchiveTemplateExpandedSize + 1, 0);
    size_t total = 0;
    {
        KSDataLock<ZStdDecompressionFilter> lock(filter);
        while (total < kArchiveTemplateExpandedSize) {
            const size_t got = lock->Read(expanded.data() + total, kArchiveTemplateExpandedSize - total);
            if (got == 0) break;
            total += got;
        }
    }
    if (total < kDescriptorBytes) {
        KSDiagnostic("ERROR: The archive template expanded to %zu bytes, too few for the "
                     "package descriptors\n",
                     total);
        return {};
    }
    return expanded;
}

bool WriteArchiveDescriptors(const std::string& packagePath)
{
    // Asked for every item routed to a default folder: when the package is
    // complete this costs a few status calls and nothing is expanded.
    std::vector<uint8_t> expanded;
    for (const DescriptorFile& descriptor : kDescriptorFiles) {
        const std::string path = packagePath + "/" + descriptor.relativePath;
        if (PathTaken(path)) continue;
        if (expanded.empty()) {
            expanded = ExpandArchiveTemplate();
            if (expanded.empty()) return false;
            // Inside the package only: a package that went away is not made
            // again somewhere the user no longer looks.
            if (!fs::is_directory(packagePath)) return false;
            CreateSingleDirectory(packagePath + "/Contents");
        }
        auto data = boost::make_shared<KSFileData>(path);
        bool written = false;
        {
            KSDataLock<KSFileData> file(data);
            written = file->Write(expanded.data() + descriptor.offset, descriptor.size) ==
                      descriptor.size;
        }
        written = data->Close() && written;
        if (!written) {
            KSDiagnostic("ERROR: Unable to write the archive descriptor - %s\n", path.c_str());
            boost::system::error_code ec;
            fs::remove(path, ec);
            return false;
        }
    }
    SetMacFileTypeAndCreator(packagePath + "/Archive.xml", kMacTypeText, kMacCreatorOutlook);
    return true;
}

}  // namespace KestrinMIMEEngineCommon
