// The built program in its own process: each case copies it into a fresh program folder with its own
// home, configuration, data and temporary folders and a scanner configuration without backends, and
// runs it offscreen.

#include "shell/settings.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <signal.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace folvex {
namespace {

using testing::TempDir;

constexpr auto StartLimit = std::chrono::seconds(40);
constexpr auto PollStep = std::chrono::milliseconds(20);

// Waits for a condition, at most limit; true when it came.
bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(PollStep);
    }
    return true;
}

// The signals a process has handlers for ("SigCgt" of its status), 0 when it cannot be read.
unsigned long long caughtSignals(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("SigCgt:", 0) == 0) {
            return std::stoull(line.substr(7), nullptr, 16);
        }
    }
    return 0;
}

bool catches(pid_t pid, int signal)
{
    return (caughtSignals(pid) & (1ULL << (signal - 1))) != 0;
}

class ProgramCopy
{
public:
    ProgramCopy()
    {
        const std::filesystem::path root = m_root.path();
        for (const char* folder : {"prog", "home", "config", "data", "cache", "runtime", "tmp", "sane"}) {
            std::filesystem::create_directories(root / folder);
        }
        std::filesystem::permissions(root / "runtime", std::filesystem::perms::owner_all);
        testing::writeFile((root / "sane" / "dll.conf").string(), "");
        std::filesystem::copy_file(FOLVEX_PROGRAM, root / "prog" / "Folvex");
        std::filesystem::permissions(root / "prog" / "Folvex", std::filesystem::perms::owner_all);
        // The licence texts the build puts beside the program.
        std::filesystem::copy(
            FOLVEX_LICENCE_DIR, root / "prog" / "Licenses", std::filesystem::copy_options::recursive);
        m_environment = {
            "HOME=" + (root / "home").string(),
            "XDG_CONFIG_HOME=" + (root / "config").string(),
            "XDG_DATA_HOME=" + (root / "data").string(),
            "XDG_CACHE_HOME=" + (root / "cache").string(),
            "XDG_RUNTIME_DIR=" + (root / "runtime").string(),
            "TMPDIR=" + (root / "tmp").string(),
            "SANE_CONFIG_DIR=" + (root / "sane").string(),
            "QT_QPA_PLATFORM=offscreen",
            "PATH=/usr/bin:/bin",
            "LANG=C.UTF-8",
        };
    }

    ~ProgramCopy()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }

    std::string programDir() const { return (m_root.path() / "prog").string() + "/"; }

    std::string settingsFile() const { return programDir() + "Folvex.ini"; }

    pid_t start()
    {
        std::vector<char*> env;
        for (std::string& entry : m_environment) {
            env.push_back(entry.data());
        }
        env.push_back(nullptr);
        std::string program = programDir() + "Folvex";
        char* argv[] = {program.data(), nullptr};
        m_pid = ::fork();
        if (m_pid == 0) {
            ::chdir(m_root.path().c_str());
            ::execve(program.c_str(), argv, env.data());
            ::_exit(127);
        }
        return m_pid;
    }

    // The exit status once the process has ended within the limit; nullopt when it did not end or
    // did not exit normally.
    std::optional<int> waitForExit()
    {
        int status = 0;
        const bool ended = waitFor(
            [&] { return ::waitpid(m_pid, &status, WNOHANG) == m_pid; },
            std::chrono::duration_cast<std::chrono::milliseconds>(StartLimit));
        if (!ended) {
            return std::nullopt;
        }
        m_pid = 0;
        if (!WIFEXITED(status)) {
            return std::nullopt;
        }
        return WEXITSTATUS(status);
    }

    std::string setting(const std::string& section, const std::string& key)
    {
        SettingsState state;
        state.ProgramDir = programDir();
        return readSetting(state, section, key);
    }

    void store(const std::string& section, const std::string& key, const std::string& value)
    {
        SettingsState state;
        state.ProgramDir = programDir();
        ASSERT_EQ(writeSetting(state, section, key, value), 1);
    }

private:
    TempDir m_root;
    std::vector<std::string> m_environment;
    pid_t m_pid = 0;
};

// Runs the program until it is ready for quit signals and the settings file exists, then sends signal.
void runUntilSignal(ProgramCopy& copy, int signal)
{
    const pid_t pid = copy.start();
    ASSERT_GT(pid, 0);
    const auto limit = std::chrono::duration_cast<std::chrono::milliseconds>(StartLimit);
    ASSERT_TRUE(waitFor([&] { return catches(pid, signal); }, limit)) << "no handler for the signal";
    ASSERT_TRUE(waitFor([&] { return std::filesystem::exists(copy.settingsFile()); }, limit));
    ASSERT_EQ(::kill(pid, signal), 0);
    const std::optional<int> status = copy.waitForExit();
    ASSERT_TRUE(status.has_value()) << "the program did not end normally";
    EXPECT_EQ(*status, 0);
}

TEST(ProgramProcessTest, QuitSignalsEndTheProgramCleanly)
{
    for (const int signal : {SIGUSR1, SIGTERM}) {
        SCOPED_TRACE(signal == SIGUSR1 ? "SIGUSR1" : "SIGTERM");
        ProgramCopy copy;
        runUntilSignal(copy, signal);
        const std::string left = copy.setting("ALLGEMEIN", "LastWindowPosX1");
        const std::string top = copy.setting("ALLGEMEIN", "LastWindowPosY1");
        const std::string right = copy.setting("ALLGEMEIN", "LastWindowPosX2");
        const std::string bottom = copy.setting("ALLGEMEIN", "LastWindowPosY2");
        ASSERT_FALSE(left.empty() || top.empty() || right.empty() || bottom.empty());
        // The first start's window: a client area of 580 × 214 below caption and menu bar.
        EXPECT_EQ(std::stoi(right) - std::stoi(left), 580 + 2 * 4);
        EXPECT_EQ(std::stoi(bottom) - std::stoi(top), 214 + 23 + 20 + 2 * 4);
        EXPECT_EQ(copy.setting("ALLGEMEIN", "LastWindowMaximized"), "0");
        EXPECT_TRUE(std::filesystem::is_directory(copy.programDir() + "tmp"));
    }
}

TEST(ProgramProcessTest, NextStartRestoresTheWindow)
{
    ProgramCopy copy;
    runUntilSignal(copy, SIGTERM);
    copy.store("ALLGEMEIN", "LastWindowPosX1", "30");
    copy.store("ALLGEMEIN", "LastWindowPosY1", "40");
    copy.store("ALLGEMEIN", "LastWindowPosX2", "730");
    copy.store("ALLGEMEIN", "LastWindowPosY2", "400");
    runUntilSignal(copy, SIGUSR1);
    EXPECT_EQ(copy.setting("ALLGEMEIN", "LastWindowPosX1"), "30");
    EXPECT_EQ(copy.setting("ALLGEMEIN", "LastWindowPosY1"), "40");
    EXPECT_EQ(copy.setting("ALLGEMEIN", "LastWindowPosX2"), "730");
    EXPECT_EQ(copy.setting("ALLGEMEIN", "LastWindowPosY2"), "400");
}

// The update checker asks the program to quit with SIGUSR1 to the process id it was given.
TEST(ProgramProcessTest, QuitRequestOfTheUpdateCheckerEndsTheProgram)
{
    ProgramCopy copy;
    const std::string checker = copy.programDir() + "Updora";
    testing::writeFile(checker, "#!/bin/sh\nkill -USR1 \"$2\"\n");
    ASSERT_EQ(::chmod(checker.c_str(), 0755), 0);
    EXPECT_TRUE(std::filesystem::is_regular_file(copy.programDir() + "Licenses/LICENSE_FREEIMAGE.txt"));
    ASSERT_GT(copy.start(), 0);
    const std::optional<int> status = copy.waitForExit();
    ASSERT_TRUE(status.has_value()) << "the program did not end normally";
    EXPECT_EQ(*status, 0);
    EXPECT_FALSE(copy.setting("ALLGEMEIN", "LastWindowPosX1").empty());
    EXPECT_FALSE(copy.setting("ALLGEMEIN", "LastWindowPosY2").empty());
    EXPECT_FALSE(copy.setting("ALLGEMEIN", "LastUpdateCheckDay").empty());
    EXPECT_FALSE(std::filesystem::exists(copy.programDir() + "Updora1"));
}

} // namespace
} // namespace folvex
