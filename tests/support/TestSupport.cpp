#include "support/TestSupport.h"

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

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path.string(), std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
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
    if (!dir || !*dir || !fs::is_directory(dir)) return {};
    return dir;
}

std::string SourceDir()
{
    const char* dir = std::getenv("KESTRIN_SOURCE_DIR");
    return dir ? dir : ".";
}

}  // namespace kestrin_test
