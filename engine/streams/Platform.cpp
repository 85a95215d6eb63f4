#include "streams/Platform.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#ifdef __APPLE__
#include <sys/xattr.h>
#endif

namespace KestrinMIMEEngineCommon {
namespace Platform {

namespace {

// What errno says of a creation that did not happen.
CreateOutcome RefusedCreation(std::string& error)
{
    if (errno == EEXIST)
        return CreateOutcome::Taken;
    error = std::strerror(errno);
    return CreateOutcome::Failed;
}

}  // namespace

CreateOutcome CreateNewFile(const std::string& path, std::string& error, FileDescriptor& fd)
{
    fd.Reset(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666));
    if (fd)
        return CreateOutcome::Created;
    return RefusedCreation(error);
}

CreateOutcome CreateNewFile(const std::string& path, std::string& error)
{
    FileDescriptor fd;
    return CreateNewFile(path, error, fd);
}

CreateOutcome CreateNewDirectory(const std::string& path, std::string& error)
{
    if (::mkdir(path.c_str(), 0770) == 0)
        return CreateOutcome::Created;
    return RefusedCreation(error);
}

bool IsSameFile(int fd, const std::string& path)
{
    struct stat open, named;
    if (::fstat(fd, &open) != 0 || ::lstat(path.c_str(), &named) != 0) return false;
    return open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

FileKind GetFileKind(const std::string& path)
{
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) return FileKind::Missing;
    if (S_ISLNK(st.st_mode)) return FileKind::SymbolicLink;
    if (S_ISREG(st.st_mode)) return FileKind::Regular;
    if (S_ISDIR(st.st_mode)) return FileKind::Directory;
    return FileKind::Other;
}

std::string ErrorText(int error)
{
    if (error == kErrorNotRegularFile) return "Not a regular file";
    return std::strerror(error);
}

namespace {

// Non-blocking, so that opening a FIFO returns at once; the kind is then
// asked of the open descriptor, which no rename can swap afterwards. name is
// taken relative to directory (AT_FDCWD: as given).
FileDescriptor OpenRegularNonBlockingAt(int directory, const char* name, int& error, int64_t* size)
{
    FileDescriptor fd(::openat(directory, name, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (!fd) {
        error = errno;
        return fd;
    }
    struct stat st;
    if (::fstat(fd.Get(), &st) != 0) {
        error = errno;
        return FileDescriptor();
    }
    if (!S_ISREG(st.st_mode)) {
        error = kErrorNotRegularFile;
        return FileDescriptor();
    }
    if (size) *size = static_cast<int64_t>(st.st_size);
    error = 0;
    return fd;
}

FileDescriptor OpenRegularNonBlocking(const std::string& path, int& error, int64_t* size)
{
    return OpenRegularNonBlockingAt(AT_FDCWD, path.c_str(), error, size);
}

}  // namespace

FileDescriptor DirectoryOpener::OpenRegular(const std::string& path, int& error, int64_t* size)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos || slash == 0 || slash + 1 == path.size())
        return OpenRegularNonBlocking(path, error, size);
    const std::string directory = path.substr(0, slash);
    // A directory is opened only for its second file in a row: a listing
    // whose files each lie in another directory (a mailbox that gets one
    // message in a thousand) would otherwise pay an open and a close more
    // per file.
    if (directory != m_directory) {
        m_fd.Reset();
        m_directory = directory;
        return OpenRegularNonBlocking(path, error, size);
    }
    if (!m_fd) m_fd.Reset(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    // A directory that cannot be opened is left to the plain open, which
    // then gives the error the path itself meets.
    if (!m_fd) return OpenRegularNonBlocking(path, error, size);
    return OpenRegularNonBlockingAt(m_fd.Get(), path.c_str() + slash + 1, error, size);
}

FileDescriptor OpenRegularFileForReading(const std::string& path, int& error, int64_t* size)
{
    FileDescriptor fd = OpenRegularNonBlocking(path, error, size);
    if (fd) {
        const int flags = ::fcntl(fd.Get(), F_GETFL);
        if (flags >= 0) ::fcntl(fd.Get(), F_SETFL, flags & ~O_NONBLOCK);
    }
    return fd;
}

ReadOnlyFile::ReadOnlyFile(const std::string& path, DirectoryOpener* opener)
{
    // In the body: the members' own initialisers must not overwrite what
    // the open reports.
    // The descriptor stays non-blocking: reads of a regular file ignore
    // that, and making it blocking again cost two system calls for every
    // message file. A read that still answers EAGAIN (some network file
    // systems) is a read error (ReadError), never an early end.
    m_fd = opener ? opener->OpenRegular(path, m_openError, &m_size)
                  : OpenRegularNonBlocking(path, m_openError, &m_size);
}

size_t ReadOnlyFile::Read(char* buffer, size_t length)
{
    for (;;) {
        const ssize_t got = ::read(m_fd.Get(), buffer, length);
        if (got >= 0)
            return static_cast<size_t>(got);
        if (errno != EINTR) {
            m_readError = errno;
            return 0;
        }
    }
}

size_t ReadOnlyFile::ReadAt(char* buffer, size_t length, int64_t offset)
{
    for (;;) {
        const ssize_t got = ::pread(m_fd.Get(), buffer, length, static_cast<off_t>(offset));
        if (got >= 0)
            return static_cast<size_t>(got);
        if (errno != EINTR) {
            m_readError = errno;
            return 0;
        }
    }
}

#ifdef __APPLE__

namespace {
constexpr const char kFinderInfoAttribute[] = "com.apple.FinderInfo";
}

bool GetFinderInfo(const std::string& path, FinderInfo& info)
{
    const ssize_t got = getxattr(path.c_str(), kFinderInfoAttribute, info.data(), info.size(), 0, 0);
    return got == static_cast<ssize_t>(info.size());
}

bool SetFinderInfo(const std::string& path, const FinderInfo& info)
{
    return setxattr(path.c_str(), kFinderInfoAttribute, info.data(), info.size(), 0, 0) == 0;
}

#else

bool GetFinderInfo(const std::string&, FinderInfo&) { return false; }
bool SetFinderInfo(const std::string&, const FinderInfo&) { return false; }

#endif

bool StandardErrorIsTerminal()
{
    return isatty(STDERR_FILENO) != 0;
}

size_t StandardErrorColumns()
{
    winsize size = {};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0)
        return size.ws_col;
    return 0;
}

namespace {
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction g_previous[sizeof kStopSignals / sizeof kStopSignals[0]];
bool g_installed = false;
}  // namespace

bool CatchStopSignals(InterruptHandler handler)
{
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    // A second signal waits until the first one's handler returned.
    for (const int signal : kStopSignals)
        sigaddset(&action.sa_mask, signal);
    action.sa_flags = SA_RESTART;
    size_t i = 0;
    for (const int signal : kStopSignals) {
        struct sigaction& previous = g_previous[i++];
        if (!g_installed && sigaction(signal, nullptr, &previous) != 0)
            return false;
        // A signal the caller set aside stays ignored: "nohup kestrin ..."
        // must outlive the terminal, as the user asked.
        if (previous.sa_handler == SIG_IGN)
            continue;
        if (sigaction(signal, &action, nullptr) != 0)
            return false;
    }
    g_installed = true;
    return true;
}

void RestoreStopSignals()
{
    if (g_installed) {
        size_t i = 0;
        for (const int signal : kStopSignals)
            sigaction(signal, &g_previous[i++], nullptr);
    }
    g_installed = false;
}

void WriteAndExitAtOnce(const char* text, size_t length, int status)
{
    pollfd out = {STDERR_FILENO, POLLOUT, 0};
    if (::poll(&out, 1, 0) == 1 && (out.revents & POLLOUT)) {
        const ssize_t ignored = ::write(STDERR_FILENO, text, length);
        (void)ignored;
    }
    _exit(status);
}

}  // namespace Platform
}  // namespace KestrinMIMEEngineCommon
