// Directory creation for output stores. A location is a path with traits that
// name its scheme; only local files are served. Directories created here get
// exactly rwxrwx--- whatever the process umask; a directory that was there
// before is never changed.
#pragma once

#include <string>

#include <boost/shared_ptr.hpp>

namespace KestrinMIMEEngineCommon {

class KSPathTraits {
public:
    enum Scheme { kSchemeFile = 0 };
    explicit KSPathTraits(int scheme) : m_scheme(scheme) {}
    virtual ~KSPathTraits() = default;
    int GetScheme() const { return m_scheme; }

private:
    int m_scheme;
};

class KSPathTraitsFile : public KSPathTraits {
public:
    KSPathTraitsFile() : KSPathTraits(kSchemeFile) {}
};

class KSFileSystemPath {
public:
    KSFileSystemPath() = default;
    KSFileSystemPath(boost::shared_ptr<KSPathTraits> traits, std::string path)
        : m_traits(std::move(traits)), m_path(std::move(path))
    {
    }
    const boost::shared_ptr<KSPathTraits>& GetTraits() const { return m_traits; }
    const std::string& GetPath() const { return m_path; }
    bool IsEmpty() const { return !m_traits; }

private:
    boost::shared_ptr<KSPathTraits> m_traits;
    std::string m_path;
};

class KSFileSystem {
public:
    // Creates one directory below an existing parent. Answers true only when
    // a new directory was made.
    static bool CreateFolder(const KSFileSystemPath& location);
    // Creates the directory and its missing parents. Answers true when the
    // directory exists afterwards.
    static bool CreateFolderTree(const KSFileSystemPath& location);
    // Creates a new folder below parent (made first when missing) named
    // name + suffix, or else name + " (" + n + ")" + suffix for n = 1, 2,
    // ...: every attempt is one exclusive create, so two callers at once
    // never share a folder and an existing one is never taken over. Answers
    // the path created, or "" with a plain reason in error.
    static std::string CreateUniqueFolder(const KSFileSystemPath& parent, const std::string& name,
                                          std::string& error, const std::string& suffix = std::string());

    // Gives a directory that was just created here exactly rwxrwx---. A disk
    // that keeps no permissions (FAT, exFAT) refuses that for every folder:
    // the first refusal of the process is noted on the diagnostic stream,
    // the others are not, and none fails the creation.
    static void SetCreatedFolderMode(const std::string& path);
    // Tests: stands in for chmod in SetCreatedFolderMode, to play a disk
    // that keeps no permissions; nullptr puts chmod back. Either way the
    // next refusal is noted again.
    using ChangeMode = int (*)(const char* path, unsigned mode);
    static void SetChangeModeForTesting(ChangeMode change);
};

// True, with a diagnostic line naming it, when path is a symbolic link:
// walks of a source folder never go through one, so a link to "." or to a
// folder outside can neither repeat the library nor reach beyond it.
bool SkipSymbolicLink(const std::string& path);

}  // namespace KestrinMIMEEngineCommon
