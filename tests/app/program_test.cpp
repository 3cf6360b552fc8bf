// Starts the program Folvex as a child, from a copy in a temporary program folder with its own home
// and XDG folders, and checks that a quit signal ends it cleanly.

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace folvex {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// A started copy of the program; killed if a test leaves it running.
class ProgramChild
{
public:
    // Starts the copy with SIGUSR1 and SIGTERM blocked, as the program's own start blocks them: a
    // signal sent at once stays pending until the program's handler is in place.
    explicit ProgramChild(const testing::TempDir& home)
    {
        const fs::path program = home.path() / "Folvex";
        fs::copy_file(FOLVEX_PROGRAM, program);
        for (const char* folder : {"config", "data", "cache", "runtime", "tmp"}) {
            fs::create_directory(home.path() / folder);
        }
        fs::permissions(home.path() / "runtime", fs::perms::owner_all);
        std::vector<std::string> environment = {
            "HOME=" + home.path().string(),
            "XDG_CONFIG_HOME=" + home.file("config"),
            "XDG_DATA_HOME=" + home.file("data"),
            "XDG_CACHE_HOME=" + home.file("cache"),
            "XDG_RUNTIME_DIR=" + home.file("runtime"),
            "TMPDIR=" + home.file("tmp"),
            "QT_QPA_PLATFORM=offscreen",
            "PATH=/usr/bin:/bin",
        };
        sigset_t quitSignals;
        sigemptyset(&quitSignals);
        sigaddset(&quitSignals, SIGUSR1);
        sigaddset(&quitSignals, SIGTERM);
        // Blocked before the fork, so the child holds the block from its first instruction on.
        sigset_t previous;
        ::pthread_sigmask(SIG_BLOCK, &quitSignals, &previous);
        m_pid = ::fork();
        if (m_pid == 0) {
            std::vector<char*> envp;
            for (std::string& entry : environment) {
                envp.push_back(entry.data());
            }
            envp.push_back(nullptr);
            const std::string path = program.string();
            char* const argv[] = {const_cast<char*>(path.c_str()), nullptr};
            ::execve(path.c_str(), argv, envp.data());
            ::_exit(127);
        }
        ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    }

    ~ProgramChild()
    {
        if (m_pid > 0 && !m_ended) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }

    ProgramChild(const ProgramChild&) = delete;
    ProgramChild& operator=(const ProgramChild&) = delete;

    pid_t pid() const { return m_pid; }

    // The wait status once the program has ended within the limit; -1 when it still runs.
    int waitForEnd(std::chrono::milliseconds limit)
    {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < deadline) {
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_ended = true;
                return status;
            }
            std::this_thread::sleep_for(10ms);
        }
        return -1;
    }

    // Whether the program catches the signal (its handler is installed), read from /proc.
    bool catches(int signal) const
    {
        std::ifstream status("/proc/" + std::to_string(m_pid) + "/status");
        std::string line;
        while (std::getline(status, line)) {
            if (line.rfind("SigCgt:", 0) == 0) {
                const unsigned long long mask = std::stoull(line.substr(7), nullptr, 16);
                return (mask >> (signal - 1) & 1U) != 0;
            }
        }
        return false;
    }

private:
    pid_t m_pid = -1;
    bool m_ended = false;
};

TEST(ProgramTest, AQuitSignalEndsTheProgramWithStatusZero)
{
    struct Case
    {
        const char* label;
        int signal;
        bool atOnce; // sent right after the start, else once the program catches it
    };

    const Case cases[] = {
        {"SIGUSR1 at once", SIGUSR1, true},
        {"SIGTERM at once", SIGTERM, true},
        {"SIGUSR1 while running", SIGUSR1, false},
        {"SIGTERM while running", SIGTERM, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const testing::TempDir home;
        ProgramChild child(home);
        ASSERT_GT(child.pid(), 0);
        if (!c.atOnce) {
            const auto deadline = std::chrono::steady_clock::now() + 10s;
            while (!child.catches(c.signal) && std::chrono::steady_clock::now() < deadline) {
                std::this_thread::sleep_for(10ms);
            }
            ASSERT_TRUE(child.catches(c.signal));
        }
        ASSERT_EQ(::kill(child.pid(), c.signal), 0);
        const int status = child.waitForEnd(10s);
        ASSERT_NE(status, -1) << "still running 10 s after the signal";
        ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
        EXPECT_EQ(WEXITSTATUS(status), 0);
    }
}

} // namespace
} // namespace folvex
