// Every input that once made a fuzz target fail (tests/fixtures/fuzz/<target>/)
// and every seed (fuzz/corpus/<target>/) goes through the target's own entry
// function here, so a fixed fault stays fixed without running the fuzzer.
// A broken property fails the test unless fuzz/known-findings.txt lists it.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <boost/filesystem.hpp>

#include "FuzzEntries.h"
#include "support/TestSupport.h"

namespace fs = boost::filesystem;

namespace KestrinFuzz {
// Shown in test listings in place of the struct's raw bytes.
void PrintTo(const Target& target, std::ostream* out) { *out << target.name; }
}  // namespace KestrinFuzz

namespace {

struct Finding {
    std::string key;
    std::string detail;
};

std::vector<Finding>& Findings()
{
    static std::vector<Finding> findings;
    return findings;
}

void Record(const char* target, const char* kind, const std::string& detail)
{
    Findings().push_back({std::string(target) + ":" + kind, detail});
}

std::vector<std::string> KnownFindings()
{
    std::vector<std::string> known;
    std::ifstream in((fs::path(kestrin_test::SourceDir()) / "fuzz" / "known-findings.txt").string());
    std::string line;
    while (std::getline(in, line)) {
        line.erase(0, line.find_first_not_of(" \t"));
        line.erase(line.find_last_not_of(" \t\r") + 1);
        if (!line.empty() && line[0] != '#') known.push_back(line);
    }
    return known;
}

std::vector<fs::path> FilesIn(const fs::path& folder)
{
    std::vector<fs::path> files;
    boost::system::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        if (fs::is_regular_file(it->path()) && it->path().filename() != "README.md")
            files.push_back(it->path());
    std::sort(files.begin(), files.end());
    return files;
}

class FuzzReplay : public ::testing::TestWithParam<KestrinFuzz::Target> {
protected:
    void SetUp() override
    {
        KestrinFuzz::SetUp();
        m_previous = KestrinFuzz::SetFailureHandler(&Record);
        Findings().clear();
    }
    void TearDown() override { KestrinFuzz::SetFailureHandler(m_previous); }

    KestrinFuzz::FailureHandler m_previous = nullptr;
};

TEST_P(FuzzReplay, KeptInputsHoldEveryProperty)
{
    const KestrinFuzz::Target target = GetParam();
    const fs::path source(kestrin_test::SourceDir());
    std::vector<fs::path> inputs = FilesIn(source / "tests" / "fixtures" / "fuzz" / target.name);
    const std::vector<fs::path> seeds = FilesIn(source / "fuzz" / "corpus" / target.name);
    EXPECT_FALSE(seeds.empty()) << "no seeds for " << target.name;
    inputs.insert(inputs.end(), seeds.begin(), seeds.end());

    const std::vector<std::string> known = KnownFindings();
    for (const fs::path& input : inputs) {
        std::ifstream in(input.string(), std::ios::binary);
        const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                         std::istreambuf_iterator<char>());
        Findings().clear();
        target.entry(bytes.data(), bytes.size());
        for (const Finding& finding : Findings()) {
            if (std::find(known.begin(), known.end(), finding.key) == known.end())
                ADD_FAILURE() << input.filename().string() << ": " << finding.key << ": "
                              << finding.detail;
        }
    }
}

std::vector<KestrinFuzz::Target> AllTargets()
{
    std::vector<KestrinFuzz::Target> targets;
    for (const KestrinFuzz::Target* t = KestrinFuzz::Targets(); t->name; ++t) targets.push_back(*t);
    return targets;
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzReplay, ::testing::ValuesIn(AllTargets()),
                         [](const ::testing::TestParamInfo<KestrinFuzz::Target>& info) {
                             std::string name = info.param.name;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

}  // namespace
