#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

#include "streams/KSDiagnostics.h"

namespace fs = boost::filesystem;

namespace kestrin_test {

TempDir::TempDir()
{
    m_path = fs::temp_directory_path() / fs::unique_path("kestrin-test-%%%%-%%%%-%%%%");
    fs::create_directories(m_path);
}

TempDir::~TempDir()
{
    boost::system::error_code ec;
    fs::remove_all(m_path, ec);
}

CapturedDiagnostics::CapturedDiagnostics()
{
    m_file = std::tmpfile();
    if (!m_file) throw std::runtime_error("cannot create a temporary file");
    m_previous = KestrinMIMEEngineCommon::KSSetDiagnosticStream(m_file);
}

CapturedDiagnostics::~CapturedDiagnostics()
{
    KestrinMIMEEngineCommon::KSSetDiagnosticStream(m_previous);
    std::fclose(m_file);
}

std::string CapturedDiagnostics::text() const
{
    std::fflush(m_file);
    long end = std::ftell(m_file);
    std::string out(static_cast<size_t>(end), '\0');
    std::rewind(m_file);
    size_t got = std::fread(out.data(), 1, out.size(), m_file);
    out.resize(got);
    std::fseek(m_file, 0, SEEK_END);
    return out;
}

int OpenDescriptorCount()
{
    int count = 0;
    for (fs::directory_iterator it("/proc/self/fd"), end; it != end; ++it) ++count;
    return count;
}

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path.string(), std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

size_t CountFiles(const fs::path& folder, const std::string& extension)
{
    size_t count = 0;
    if (!fs::is_directory(folder))
        return 0;
    for (fs::recursive_directory_iterator it(folder), end; it != end; ++it)
        if (fs::is_regular_file(it->path()) && it->path().extension() == extension)
            ++count;
    return count;
}

std::vector<unsigned char> ReadBytes(const fs::path& path)
{
    std::string s = ReadFile(path);
    return std::vector<unsigned char>(s.begin(), s.end());
}

void WriteFile(const fs::path& path, const std::string& content)
{
    if (path.has_parent_path()) fs::create_directories(path.parent_path());
    std::ofstream out(path.string(), std::ios::binary | std::ios::trunc);
    out << content;
}

std::string SamplesDir()
{
    const char* dir = std::getenv("KESTRIN_SAMPLES_DIR");
    if (!dir || !*dir || !fs::is_directory(dir)) {
        const char* ci = std::getenv("CI");
        if (ci && std::string(ci) == "true")
            ADD_FAILURE() << "the Apple Mail samples are missing (" << (dir ? dir : "KESTRIN_SAMPLES_DIR unset")
                          << "); CI runs every test that reads them";
        return {};
    }
    return dir;
}

std::string SourceDir()
{
    const char* dir = std::getenv("KESTRIN_SOURCE_DIR");
    return dir ? dir : ".";
}

bool RunAsNobody(const std::function<std::string()>& work, std::string& result)
{
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0) return false;
    const pid_t child = ::fork();
    if (child < 0) return false;
    if (child == 0) {
        ::close(pipeEnds[0]);
        std::string message;
        // A temporary folder the unprivileged user may write to.
        ::setenv("TMPDIR", "/tmp", 1);
        if (::setgid(65534) == 0 && ::setuid(65534) == 0) try {
            message = work();
        } catch (const std::exception&) {
            message.clear();
        }
        size_t at = 0;
        while (at < message.size()) {
            const ssize_t wrote = ::write(pipeEnds[1], message.data() + at, message.size() - at);
            if (wrote <= 0) break;
            at += static_cast<size_t>(wrote);
        }
        ::_exit(message.empty() ? 1 : 0);
    }
    ::close(pipeEnds[1]);
    result.clear();
    char buffer[4096];
    for (ssize_t got; (got = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0;)
        result.append(buffer, static_cast<size_t>(got));
    ::close(pipeEnds[0]);
    int childStatus = 0;
    ::waitpid(child, &childStatus, 0);
    return WIFEXITED(childStatus) && WEXITSTATUS(childStatus) == 0;
}

}  // namespace kestrin_test
