// The calls that differ between the systems Kestrin builds on (Linux and
// macOS) or exist on one of them only: exclusive file creation and plain
// descriptor reads, the Finder information attribute, the terminal, and the
// signals that ask the process to stop. Everything else goes through the C++ and Boost
// libraries, so a port starts and ends here.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "streams/FileDescriptor.h"

namespace KestrinMIMEEngineCommon {
namespace Platform {

enum class CreateOutcome { Created, Taken, Failed };

// Creates an empty file only when the name is free: taking the name and
// creating the file are one step, so two writers can never share a file.
// On failure, error holds the system's reason.
// The file is never created through a symbolic link.
CreateOutcome CreateNewFile(const std::string& path, std::string& error);
// The same, leaving the created file open for writing: fd holds its
// descriptor when the answer is Created, else none.
CreateOutcome CreateNewFile(const std::string& path, std::string& error, FileDescriptor& fd);
// Creates one directory below an existing parent, with at most rwxrwx---
// (the umask may take more away; the caller sets the mode it wants); Taken
// when anything is already at the path.
CreateOutcome CreateNewDirectory(const std::string& path, std::string& error);

// What is at a path, the link itself when it is a symbolic link: walks of
// the mail folder must never go through a link (a link to "." converts a
// library over and over).
enum class FileKind { Missing, Regular, Directory, SymbolicLink, Other };
FileKind GetFileKind(const std::string& path);

// Error numbers of our own, beside the system's, for OpenError.
constexpr int kErrorNotRegularFile = -1;
// The reason for an error number, the system's or one of ours, in plain words.
std::string ErrorText(int error);

// Opens a file for reading only, and only when it is a regular file: a FIFO,
// socket or device (or a link to one, such as /dev/zero) is refused without
// ever blocking on it. Answers the descriptor, or none with error set
// (kErrorNotRegularFile or the system's number). size gets the file's length
// when not null.
FileDescriptor OpenRegularFileForReading(const std::string& path, int& error, int64_t* size = nullptr);

// A regular file opened for reading that closes itself.
// Opens regular files one after another, those that follow another of the
// same directory through a descriptor of that directory: the long path of a
// message file is then walked once per directory rather than once per file
// (up to a tenth of the loading thread's time). Meant for one listing: a
// directory replaced under the same path while it is kept open would not be
// seen.
class DirectoryOpener {
public:
    DirectoryOpener() = default;
    DirectoryOpener(const DirectoryOpener&) = delete;
    DirectoryOpener& operator=(const DirectoryOpener&) = delete;
    // As OpenRegularFileForReading, but the descriptor stays non-blocking
    // (reads of a regular file ignore that).
    FileDescriptor OpenRegular(const std::string& path, int& error, int64_t* size);

private:
    std::string m_directory;
    FileDescriptor m_fd;
};

class ReadOnlyFile {
public:
    explicit ReadOnlyFile(const std::string& path, DirectoryOpener* opener = nullptr);
    bool IsOpen() const { return m_fd.IsOpen(); }
    // The system's error number when the file could not be opened.
    int OpenError() const { return m_openError; }
    // The file's length when it was opened.
    int64_t Size() const { return m_size; }
    // Bytes read; 0 at the end or on an error.
    size_t Read(char* buffer, size_t length);
    // Bytes read at offset, without moving the read position.
    size_t ReadAt(char* buffer, size_t length, int64_t offset);
    // The system's error number of the first read that failed, else 0: a
    // failed read answers 0 like the end of the file, which only this tells
    // apart.
    int ReadError() const { return m_readError; }

private:
    FileDescriptor m_fd;
    int m_openError = 0;
    int m_readError = 0;
    int64_t m_size = 0;
};

// Whether path, not following a last symbolic link, names the file open
// on fd.
bool IsSameFile(int fd, const std::string& path);

// macOS keeps a file's Finder information in a 32-byte extended attribute.
// Both answer false where there is none (and always on other systems).
using FinderInfo = std::array<uint8_t, 32>;
bool GetFinderInfo(const std::string& path, FinderInfo& info);
bool SetFinderInfo(const std::string& path, const FinderInfo& info);

// Whether standard error is a terminal, and its width in columns (0 when
// unknown).
bool StandardErrorIsTerminal();
size_t StandardErrorColumns();

// The signals that ask a process to stop: Ctrl-C (SIGINT), SIGTERM (a
// logout, a service manager, kill) and SIGHUP (the terminal was closed) all
// call handler until RestoreStopSignals puts back what was there before.
// handler runs inside a signal handler.
using InterruptHandler = void (*)(int);
bool CatchStopSignals(InterruptHandler handler);
void RestoreStopSignals();
// Safe inside a signal handler: writes text to standard error and ends the
// process at once with status, running no exit handlers. The text is left
// out when standard error would block (a full pipe nobody reads, a paused
// terminal): ending must not wait for a reader.
[[noreturn]] void WriteAndExitAtOnce(const char* text, size_t length, int status);

}  // namespace Platform
}  // namespace KestrinMIMEEngineCommon
