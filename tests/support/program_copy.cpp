#include "support/program_copy.h"

#include "shell/settings.h"

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace folvex::testing {

namespace {

constexpr auto PollStep = std::chrono::milliseconds(10);

} // namespace

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

ProgramCopy::ProgramCopy(const std::string& program)
{
    const std::filesystem::path root = m_root.path();
    for (const char* folder : {"prog", "home", "config", "data", "cache", "runtime", "tmp", "sane"}) {
        std::filesystem::create_directories(root / folder);
    }
    std::filesystem::permissions(root / "runtime", std::filesystem::perms::owner_all);
    writeFile((root / "sane" / "dll.conf").string(), "");
    std::filesystem::copy_file(program, root / "prog" / "Folvex");
    std::filesystem::permissions(root / "prog" / "Folvex", std::filesystem::perms::owner_all);
    // The licence texts the build puts beside the program go with it.
    const std::filesystem::path licences = std::filesystem::path(program).parent_path() / "Licenses";
    if (std::filesystem::is_directory(licences)) {
        std::filesystem::copy(licences, root / "prog" / "Licenses", std::filesystem::copy_options::recursive);
    }
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

ProgramCopy::~ProgramCopy()
{
    if (m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }
}

std::string ProgramCopy::programDir() const
{
    return (m_root.path() / "prog").string() + "/";
}

pid_t ProgramCopy::start()
{
    // Built before the fork: the child only calls async-signal-safe functions.
    std::vector<char*> env;
    for (std::string& entry : m_environment) {
        env.push_back(entry.data());
    }
    env.push_back(nullptr);
    std::string program = programDir() + "Folvex";
    const std::string folder = m_root.path().string();
    char* argv[] = {program.data(), nullptr};

    sigset_t quitSignals;
    sigemptyset(&quitSignals);
    sigaddset(&quitSignals, SIGUSR1);
    sigaddset(&quitSignals, SIGTERM);
    sigset_t previous;
    ::pthread_sigmask(SIG_BLOCK, &quitSignals, &previous);
    m_pid = ::fork();
    if (m_pid == 0) {
        if (::chdir(folder.c_str()) != 0) {
            ::_exit(126);
        }
        ::execve(program.c_str(), argv, env.data());
        ::_exit(127);
    }
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return m_pid;
}

bool ProgramCopy::catches(int signal) const
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

std::optional<int> ProgramCopy::waitForExit(std::chrono::milliseconds limit)
{
    int status = 0;
    if (!waitFor([&] { return ::waitpid(m_pid, &status, WNOHANG) == m_pid; }, limit)) {
        return std::nullopt;
    }
    m_pid = 0;
    if (!WIFEXITED(status)) {
        return std::nullopt;
    }
    return WEXITSTATUS(status);
}

std::string ProgramCopy::setting(const std::string& section, const std::string& key) const
{
    SettingsState state;
    state.ProgramDir = programDir();
    return readSetting(state, section, key);
}

bool ProgramCopy::store(const std::string& section, const std::string& key, const std::string& value) const
{
    SettingsState state;
    state.ProgramDir = programDir();
    return writeSetting(state, section, key, value) == 1;
}

} // namespace folvex::testing
