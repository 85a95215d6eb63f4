// The output folder each source folder was mapped to, so that the items of a
// folder, asked for one by one, cost one lookup each rather than a walk of
// the folder's chain of names and its siblings.
#pragma once

#include <functional>
#include <unordered_map>

#include <boost/shared_ptr.hpp>
#include <boost/weak_ptr.hpp>

#include "assets/IAssetFolder.h"

namespace KestrinMIMEEngineCommon {

class OutputFolderCache {
public:
    using MapFolder = std::function<boost::shared_ptr<IAssetFolderMutable>()>;

    // The folder remembered for source; otherwise map's answer, remembered
    // when it is a folder. An empty answer is not remembered: the next item
    // tries again, as it would without the cache.
    boost::shared_ptr<IAssetFolderMutable> Find(const boost::shared_ptr<IAssetFolder>& source,
                                                const MapFolder& map);
    // Forgets every mapping (the output stores were closed).
    void Clear() { m_folders.clear(); }

private:
    struct Mapped {
        // Kept weakly on both sides: a source folder that went away (and a
        // new one made at its address) is never taken for another, and the
        // cache does not keep output folders alive past their store.
        boost::weak_ptr<IAssetFolder> source;
        boost::weak_ptr<IAssetFolderMutable> output;
    };
    std::unordered_map<const IAssetFolder*, Mapped> m_folders;
};

}  // namespace KestrinMIMEEngineCommon
