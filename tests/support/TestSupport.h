// Helpers shared by every test binary.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include <boost/filesystem.hpp>

namespace kestrin_test {

// A fresh folder below the system's temporary folder, removed with the object.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const boost::filesystem::path& path() const { return m_path; }
    std::string str() const { return m_path.string(); }
    boost::filesystem::path operator/(const std::string& name) const { return m_path / name; }

private:
    boost::filesystem::path m_path;
};

// Sends the diagnostic stream to a temporary file while alive; text() reads
// what was written so far.
class CapturedDiagnostics {
public:
    CapturedDiagnostics();
    ~CapturedDiagnostics();
    std::string text() const;

private:
    FILE* m_file;
    FILE* m_previous;
};

std::string ReadFile(const boost::filesystem::path& path);
std::vector<unsigned char> ReadBytes(const boost::filesystem::path& path);
void WriteFile(const boost::filesystem::path& path, const std::string& content);
// Files anywhere below a folder whose names end with extension (".eml");
// 0 when the folder is missing.
size_t CountFiles(const boost::filesystem::path& folder, const std::string& extension);
// How many descriptors this process has open (from /proc/self/fd).
int OpenDescriptorCount();

// Runs work as the unprivileged user "nobody" in a forked child, so that
// file modes apply even to a test run as root; result gets what work
// answered. False when the child could not switch users, threw, or answered
// nothing.
bool RunAsNobody(const std::function<std::string()>& work, std::string& result);

// Folder of the real Apple Mail samples kept beside the repository; empty
// when absent (tests that need them are skipped). Under CI (CI=true) a missing
// folder also fails the calling test: CI must never pass without them.
std::string SamplesDir();
// Root of the source tree (for fixtures).
std::string SourceDir();

}  // namespace kestrin_test
