#include "applemail/AttachedFolderArchive.h"

#include <memory>

#include <boost/algorithm/string/predicate.hpp>
#include <boost/filesystem/operations.hpp>
#include <zip.h>

#include "streams/KSFileSystem.h"
#include "streams/Platform.h"

namespace fs = boost::filesystem;

namespace KestrinMIMEEngineCommon {

namespace {

struct ZipDiscard {
    void operator()(zip_t* archive) const { zip_discard(archive); }
};
struct ZipSourceFree {
    void operator()(zip_source_t* source) const { zip_source_free(source); }
};
struct ZipErrorFini {
    void operator()(zip_error_t* error) const { zip_error_fini(error); }
};
using ZipArchive = std::unique_ptr<zip_t, ZipDiscard>;
using ZipSource = std::unique_ptr<zip_source_t, ZipSourceFree>;

}  // namespace

bool IsFinderMetadata(const std::string& name)
{
    return boost::algorithm::istarts_with(name, ".DS_Store") || boost::algorithm::starts_with(name, "._");
}

namespace {

bool AddFiles(zip_t* archive, const fs::path& folder, const std::string& prefix)
{
    boost::system::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; it != end; it.increment(ec)) {
        if (ec) return false;
        const std::string name = it->path().filename().string();
        if (IsFinderMetadata(name)) continue;
        const std::string entryName = prefix + "/" + name;
        // A link may lead anywhere (outside the mail folder, or back up
        // into a loop): only what the folder itself holds is zipped.
        if (SkipSymbolicLink(it->path().string())) continue;
        const Platform::FileKind kind = Platform::GetFileKind(it->path().string());
        // Apple Mail keeps a sub-folder of the attached folder as a sub-folder;
        // its files belong in the archive too.
        if (kind == Platform::FileKind::Directory) {
            if (!AddFiles(archive, it->path(), entryName)) return false;
            continue;
        }
        // A FIFO or device would block or never end the archive.
        if (kind != Platform::FileKind::Regular) continue;
        ZipSource source(zip_source_file(archive, it->path().c_str(), 0, -1));
        if (!source) return false;
        if (zip_file_add(archive, entryName.c_str(), source.get(),
                         ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE) < 0)
            return false;
        source.release();  // the archive owns it now
    }
    return !ec;
}

}  // namespace

bool ZipAttachedFolder(const fs::path& folder, const fs::path& zipPath, const std::string& entryPrefix,
                       std::string& why)
{
    zip_error_t errorStorage;
    zip_error_init(&errorStorage);
    std::unique_ptr<zip_error_t, ZipErrorFini> error(&errorStorage);

    ZipSource target(zip_source_file_create(zipPath.c_str(), 0, -1, error.get()));
    if (!target) {
        why = std::string("cannot create the archive: ") + zip_error_strerror(error.get());
        return false;
    }
    ZipArchive archive(zip_open_from_source(target.get(), ZIP_CREATE | ZIP_TRUNCATE, error.get()));
    if (!archive) {
        why = std::string("cannot create the archive: ") + zip_error_strerror(error.get());
        return false;
    }
    target.release();  // the archive owns it now

    if (!AddFiles(archive.get(), folder, entryPrefix)) {
        why = zip_strerror(archive.get());
        return false;  // discarding writes nothing
    }
    if (zip_close(archive.get()) != 0) {
        why = std::string("cannot write the archive: ") + zip_strerror(archive.get());
        boost::system::error_code ignored;
        fs::remove(zipPath, ignored);
        return false;
    }
    archive.release();  // closed and freed by zip_close
    return true;
}

}  // namespace KestrinMIMEEngineCommon
