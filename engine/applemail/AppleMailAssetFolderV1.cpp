#include "applemail/AppleMailAssetFolderV1.h"

#include <boost/make_shared.hpp>
#include <boost/thread/lock_guard.hpp>

#include "applemail/EMLXEmailAsset.h"

namespace fs = boost::filesystem;

namespace KestrinMIMEEngineCommon {

AppleMailAssetFolderV1::AppleMailAssetFolderV1(const std::wstring& name,
                                               const std::string& location,
                                               const boost::shared_ptr<IAssetStore>& store,
                                               const boost::shared_ptr<IAssetFolder>& parent)
    : AppleAssetFolder(name, location, store, parent)
{
    SetFolderKind(kFolderKindMail);
    m_messageFolders.push_back((fs::path(location) / "Messages").string());
}

int AppleMailAssetFolderV1::RefreshAssetCount()
{
    boost::lock_guard<boost::recursive_mutex> guard(Mutex());
    CountMessages();
    return 0;
}

void AppleMailAssetFolderV1::CountMessages()
{
    SetAssetCount(0);
    int64_t count = 0;
    for (const std::string& folder : m_messageFolders) {
        if (!fs::is_directory(folder)) continue;
        for (fs::directory_iterator it(folder), end; it != end; ++it)
            if (IsAssetFile(it->path().string())) ++count;
    }
    SetAssetCount(count);
}

std::vector<std::string> AppleMailAssetFolderV1::GetMessageFolders()
{
    boost::lock_guard<boost::recursive_mutex> guard(Mutex());
    return m_messageFolders;
}

boost::shared_ptr<IAssetIterator> AppleMailAssetFolderV1::GetAssetIterator(
    unsigned queryKind, const boost::shared_ptr<IProgressPresenter>& presenter,
    const boost::shared_ptr<ICancelable>& cancelable, const boost::shared_ptr<ILogger>& logger)
{
    if (queryKind != kQueryKindNew) return {};
    // A folder that was never counted does not know its message folders yet.
    if (GetAssetCount() < 0) RefreshAssetCount();
    auto self = boost::static_pointer_cast<AppleMailAssetFolderV1>(shared_from_this());
    return boost::make_shared<AppleMailAssetFolderV1Iterator>(presenter, cancelable, logger, self);
}

AppleMailAssetFolderV1Iterator::AppleMailAssetFolderV1Iterator(
    const boost::shared_ptr<IProgressPresenter>& presenter,
    const boost::shared_ptr<ICancelable>& cancelable, const boost::shared_ptr<ILogger>& logger,
    const boost::shared_ptr<AppleMailAssetFolderV1>& folder)
    : m_presenter(presenter), m_cancelable(cancelable), m_logger(logger), m_folder(folder)
{
}

int AppleMailAssetFolderV1Iterator::Begin()
{
    if (m_begun) return 0;
    m_begun = true;
    m_messageFolders = m_folder->GetMessageFolders();
    m_nextFolder = 0;
    Increment();
    return 0;
}

void AppleMailAssetFolderV1Iterator::Increment()
{
    m_valid = false;
    const fs::directory_iterator end;
    boost::system::error_code ec;
    if (!m_firstStep && m_listing != end) m_listing.increment(ec);
    m_firstStep = false;
    for (;;) {
        while (!ec && m_listing != end) {
            if (m_folder->IsAssetFile(m_listing->path().string())) {
                m_valid = true;
                return;
            }
            m_listing.increment(ec);
        }
        // A listing that fails half-way ends that folder, not the pass.
        if (ec) m_listing = end;
        ec.clear();
        if (m_nextFolder >= m_messageFolders.size()) return;
        m_listing = fs::directory_iterator(m_messageFolders[m_nextFolder++], ec);
        if (ec) m_listing = end;
    }
}

boost::shared_ptr<IAssetQueryResult> AppleMailAssetFolderV1Iterator::GetCurrent()
{
    if (m_valid && m_listing != fs::directory_iterator()) {
        auto asset = boost::make_shared<EMLXEmailAsset>(m_listing->path().string());
        // A file that went away after listing is a message that could not be
        // read, not an empty message written as converted.
        if (asset->WasReadable())
            return boost::make_shared<NewAssetQueryResult>(asset, 1, std::string(),
                                                           kQueryStatusReadable);
    }
    return boost::make_shared<NewAssetQueryResult>(boost::shared_ptr<IAsset>(), 0, std::string(),
                                                   kQueryStatusUnreadable);
}

int AppleMailAssetFolderV1Iterator::GetUnitCount(int64_t* count)
{
    if (count) *count = m_folder->GetAssetCount();
    return 0;
}

}  // namespace KestrinMIMEEngineCommon
