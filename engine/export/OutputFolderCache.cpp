#include "export/OutputFolderCache.h"

namespace KestrinMIMEEngineCommon {

boost::shared_ptr<IAssetFolderMutable> OutputFolderCache::Find(
    const boost::shared_ptr<IAssetFolder>& source, const MapFolder& map)
{
    if (source) {
        auto known = m_folders.find(source.get());
        if (known != m_folders.end() && known->second.source.lock() == source) {
            if (auto output = known->second.output.lock()) return output;
        }
    }
    boost::shared_ptr<IAssetFolderMutable> output = map();
    if (source && output) m_folders[source.get()] = Mapped{source, output};
    return output;
}

}  // namespace KestrinMIMEEngineCommon
