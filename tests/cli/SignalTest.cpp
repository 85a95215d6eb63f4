// The built kestrin program stopped by a signal in the middle of a
// conversion: SIGTERM (a logout, a service manager) and SIGHUP (a closed
// terminal) end the run as Ctrl-C does, and a second signal ends the
// process at once; either way the private database copy is gone.
//
// The run is held in the middle: as soon as its report exists the process
// is stopped (SIGSTOP), the signals are sent while it stands still, and it
// is let go again (SIGCONT); the library is large enough that a run never
// ends between its report's first appearance and the stop.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <boost/filesystem.hpp>

#include "sample-library/SampleLibrary.h"
#include "support/TestSupport.h"

extern char** environ;

namespace fs = boost::filesystem;

namespace {

constexpr int kPipeBytes = 16384;
constexpr uint64_t kMessages = 3000;

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class KestrinProcess {
public:
    // Starts kestrin with standard output to outFile, standard error to a
    // pipe of kPipeBytes and TMPDIR set to temporary.
    KestrinProcess(const std::vector<std::string>& args, const fs::path& outFile, const fs::path& temporary)
    {
        int errPipe[2];
        if (pipe2(errPipe, O_CLOEXEC) != 0)
            return;
        m_err = errPipe[0];
        fcntl(errPipe[1], F_SETPIPE_SZ, kPipeBytes);
        const int out = ::open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out, STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, errPipe[1], STDERR_FILENO);
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        sigset_t all, none;
        sigfillset(&all);
        sigemptyset(&none);
        // Whatever the test runner ignores or blocks, the program gets the
        // signals as a shell would give them.
        posix_spawnattr_setsigdefault(&attributes, &all);
        posix_spawnattr_setsigmask(&attributes, &none);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

        std::vector<std::string> environment;
        for (char** entry = environ; *entry; ++entry)
            if (std::strncmp(*entry, "TMPDIR=", 7) != 0)
                environment.emplace_back(*entry);
        environment.push_back("TMPDIR=" + temporary.string());
        std::vector<std::string> words = {KESTRIN_BINARY};
        words.insert(words.end(), args.begin(), args.end());
        std::vector<char*> argv, envp;
        for (auto& word : words) argv.push_back(word.data());
        argv.push_back(nullptr);
        for (auto& entry : environment) envp.push_back(entry.data());
        envp.push_back(nullptr);
        if (posix_spawn(&m_pid, KESTRIN_BINARY, &actions, &attributes, argv.data(), envp.data()) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
        ::close(errPipe[1]);
        ::close(out);
    }

    ~KestrinProcess()
    {
        if (m_pid > 0 && !m_status) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        if (m_err >= 0)
            ::close(m_err);
    }

    pid_t Pid() const { return m_pid; }

    // Stops the process and waits until it stands still; false when it
    // ended first.
    bool Stop()
    {
        ::kill(m_pid, SIGSTOP);
        int status = 0;
        if (::waitpid(m_pid, &status, WUNTRACED) != m_pid) return false;
        if (WIFSTOPPED(status)) return true;
        m_status = status;
        return false;
    }

    // Sends the signals while it stands still, then lets it go on.
    void SendAndContinue(std::initializer_list<int> signals)
    {
        for (int number : signals) ::kill(m_pid, number);
        ::kill(m_pid, SIGCONT);
    }

    // Whether the process still runs (it is reaped when it ended).
    bool Running()
    {
        if (m_status)
            return false;
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid)
            m_status = status;
        return !m_status;
    }

    // Reads standard error to its end, then waits for the process; gives
    // up after a minute without either, killing the process.
    std::string ReadErrorAndWait()
    {
        std::string text;
        char buffer[4096];
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
        for (;;) {
            pollfd ready = {m_err, POLLIN, 0};
            if (::poll(&ready, 1, 100) > 0) {
                const ssize_t got = ::read(m_err, buffer, sizeof buffer);
                if (got <= 0)
                    break;
                text.append(buffer, static_cast<size_t>(got));
            }
            if (std::chrono::steady_clock::now() > deadline) {
                ADD_FAILURE() << "kestrin did not end";
                break;
            }
        }
        WaitForExit();
        return text;
    }

    // Waits up to a minute for the process to end.
    void WaitForExit()
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
        while (Running() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (Running()) {
            ADD_FAILURE() << "kestrin did not end";
            ::kill(m_pid, SIGKILL);
            int status = 0;
            ::waitpid(m_pid, &status, 0);
            m_status = status;
        }
    }

    // The exit status, or -1 when it did not exit normally.
    int ExitStatus() const { return m_status && WIFEXITED(*m_status) ? WEXITSTATUS(*m_status) : -1; }

private:
    pid_t m_pid = -1;
    int m_err = -1;
    std::optional<int> m_status;
};

// Private database copies of the process left in the temporary folder.
std::vector<std::string> CopiesOf(pid_t pid, const fs::path& temporary)
{
    std::vector<std::string> left;
    const std::string prefix = "kestrin-" + std::to_string(pid) + "-";
    for (fs::directory_iterator it(temporary), end; it != end; ++it)
        if (it->path().filename().string().compare(0, prefix.size(), prefix) == 0)
            left.push_back(it->path().string());
    return left;
}

class SignalTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_home = std::make_unique<kestrin_test::TempDir>();
        kestrin_sample::SampleOptions options;
        options.outDir = s_home->path();
        options.extraMessages = kMessages;
        s_mail = kestrin_sample::WriteSampleLibrary(options).mailFolder;
        for (fs::recursive_directory_iterator it(s_mail), end; it != end; ++it)
            s_messages += it->path().extension() == ".emlx";
    }
    static void TearDownTestSuite() { s_home.reset(); }

    void SetUp() override
    {
        ASSERT_GT(s_messages, kMessages);
        fs::create_directory(temporary);
    }

    // Starts a conversion and answers once it converts, its report open, and
    // it is stopped (SendAndContinue lets it go on).
    std::unique_ptr<KestrinProcess> StartConversion()
    {
        auto process = std::make_unique<KestrinProcess>(
            std::vector<std::string>{"convert", s_mail.string(), "--to", "eml", "--out", out.str(),
                                     "--no-progress"},
            out.path() / "stdout.txt", temporary);
        if (process->Pid() <= 0) {
            ADD_FAILURE() << "kestrin did not start";
            return process;
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
        while (!fs::exists(report) && process->Running() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        EXPECT_TRUE(fs::exists(report));
        EXPECT_TRUE(process->Stop()) << "the run ended before it could be stopped";
        EXPECT_FALSE(CopiesOf(process->Pid(), temporary).empty()) << "no private copy to remove";
        return process;
    }

    size_t Converted() const
    {
        size_t count = 0;
        for (fs::recursive_directory_iterator it(out.path() / "Converted Data"), end; it != end; ++it)
            count += it->path().extension() == ".eml";
        return count;
    }

    kestrin_test::TempDir out;
    kestrin_test::TempDir scratch;
    const fs::path temporary = scratch.path() / "tmp";
    const fs::path report = out.path() / "Converted Data" / "Detailed Conversion Report.txt";

    static inline std::unique_ptr<kestrin_test::TempDir> s_home;
    static inline fs::path s_mail;
    static inline size_t s_messages = 0;
};

struct StopSignal {
    const char* name;
    int number;
};

TEST_F(SignalTest, OneSignalEndsTheRunAsCtrlCDoes)
{
    for (const StopSignal stop : {StopSignal{"SIGTERM", SIGTERM}, StopSignal{"SIGHUP", SIGHUP},
                                  StopSignal{"SIGINT", SIGINT}}) {
        SCOPED_TRACE(stop.name);
        fs::remove_all(out.path() / "Converted Data");
        auto process = StartConversion();
        if (HasFailure())
            return;
        process->SendAndContinue({stop.number});
        const std::string err = process->ReadErrorAndWait();

        EXPECT_EQ(process->ExitStatus(), 1) << err.substr(err.size() > 2000 ? err.size() - 2000 : 0);
        const std::string log = kestrin_test::ReadFile(report);
        EXPECT_TRUE(Contains(log, "Operation canceled by user.")) << log.substr(log.size() > 2000 ? log.size() - 2000 : 0);
        const std::string shown = kestrin_test::ReadFile(out.path() / "stdout.txt");
        EXPECT_TRUE(Contains(shown, "Conversion cancelled\nCancelled: ")) << shown;
        EXPECT_LT(Converted(), s_messages);
        EXPECT_EQ(CopiesOf(process->Pid(), temporary), std::vector<std::string>());
    }
}

// Two different signals, so that neither is merged into the other while
// pending: the second ends the process at once.
TEST_F(SignalTest, ASecondSignalEndsTheProcessAtOnce)
{
    auto process = StartConversion();
    if (HasFailure())
        return;
    process->SendAndContinue({SIGTERM, SIGHUP});
    process->WaitForExit();
    EXPECT_EQ(process->ExitStatus(), 1);
    EXPECT_EQ(CopiesOf(process->Pid(), temporary), std::vector<std::string>());
    EXPECT_FALSE(Contains(kestrin_test::ReadFile(report), "Operation canceled by user."));
}

}  // namespace
