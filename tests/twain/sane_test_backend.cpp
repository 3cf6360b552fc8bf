#include "sane_test_backend.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace folvex::testing {

namespace {

const std::map<std::string, std::string>& backendDefaults()
{
    static const std::map<std::string, std::string> defaults = {
        {"number_of_devices", "2"},
        {"mode", "Gray"},
        {"depth", "8"},
        {"hand-scanner", "false"},
        {"three-pass", "false"},
        {"three-pass-order", "RGB"},
        {"resolution_min", "1.0"},
        {"resolution_max", "1200.0"},
        {"resolution_quant", "1.0"},
        {"resolution", "50.0"},
        {"test-picture", "\"Solid black\""},
        {"invert-endianess", "false"},
        {"read-limit", "false"},
        {"read-limit-size", "1"},
        {"read-delay", "false"},
        {"read-delay-duration", "1000"},
        {"read-status-code", "\"Default\""},
        {"fuzzy-parameters", "false"},
        {"ppl-loss", "0"},
        {"non-blocking", "false"},
        {"select-fd", "false"},
        {"enable-test-options", "false"},
        {"geometry_min", "0.0"},
        {"geometry_max", "200.0"},
        {"geometry_quant", "1.0"},
        {"tl_x", "0.0"},
        {"tl_y", "0.0"},
        {"br_x", "80.0"},
        {"br_y", "100.0"},
    };
    return defaults;
}

} // namespace

SaneTestConfig::SaneTestConfig(const std::map<std::string, std::string>& overrides)
{
    std::filesystem::create_directories(directory());
    std::filesystem::create_directories(work());
    writeFile(directory() + "/dll.conf", "test\n");
    std::map<std::string, std::string> values = backendDefaults();
    for (const auto& [key, value] : overrides) {
        values[key] = value;
    }
    std::string conf;
    for (const auto& [key, value] : values) {
        conf += key + " " + value + "\n";
    }
    writeFile(directory() + "/test.conf", conf);
}

void runSaneCase(const SaneTestConfig& config, int timeoutMs, const std::function<void()>& body)
{
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0) << "fork failed";
    if (child == 0) {
        ::setenv("SANE_CONFIG_DIR", config.directory().c_str(), 1);
        body();
        std::fflush(stdout);
        std::fflush(stderr);
        // Straight out: no destructors, no atexit handlers, nothing that could touch SANE again.
        ::_exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, child, 0));
    bool finished = false;
    if (pidfd >= 0) {
        pollfd watch{pidfd, POLLIN, 0};
        int ready = 0;
        do {
            ready = ::poll(&watch, 1, timeoutMs);
        } while (ready < 0 && errno == EINTR);
        finished = ready > 0;
        ::close(pidfd);
    } else {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!finished && std::chrono::steady_clock::now() < deadline) {
            int status = 0;
            finished = ::waitpid(child, &status, WNOHANG) == child;
            if (finished) {
                EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
                    << "the SANE case failed in its child";
                return;
            }
            ::usleep(10000);
        }
    }
    if (!finished) {
        ::kill(child, SIGKILL);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(finished) << "the SANE case hung and was killed after " << timeoutMs << " ms";
    EXPECT_TRUE(WIFEXITED(status)) << "the SANE case died with signal " << WTERMSIG(status);
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 0) << "the SANE case failed in its child";
}

void ScriptedSaneDialogs::waitForWake()
{
    std::unique_lock lock(m_mutex);
    m_wake.wait_for(lock, std::chrono::milliseconds(20), [&] { return m_woken; });
    m_woken = false;
}

std::optional<std::size_t> ScriptedSaneDialogs::chooseDevice(DeviceSearch& search, Handle /*parent*/)
{
    search.setWakeUp([this] {
        std::lock_guard lock(m_mutex);
        m_woken = true;
        m_wake.notify_all();
    });
    while (!search.finished()) {
        waitForWake();
        search.checkWatchdog();
    }
    search.setWakeUp({});
    const std::vector<SaneDevice> devices = search.devices();
    listed.clear();
    std::optional<std::size_t> chosen;
    for (std::size_t i = 0; i < devices.size(); ++i) {
        listed.push_back(devices[i].productName);
        if (choice && devices[i].productName == *choice) {
            chosen = i;
        }
    }
    return chosen;
}

void ScriptedSaneDialogs::showProgress(AcquisitionSession& session, Handle /*parent*/)
{
    ++progressShown;
    m_session = &session;
    session.setWakeUp([this] {
        std::lock_guard lock(m_mutex);
        m_woken = true;
        m_wake.notify_all();
    });
    while (!session.finished()) {
        if (onTick) {
            onTick(session);
        }
        session.checkWatchdog();
        session.deliverEvents();
        if (!session.finished()) {
            waitForWake();
        }
    }
    session.setWakeUp({});
    m_session = nullptr;
}

void ScriptedSaneDialogs::pressCancel()
{
    if (m_session != nullptr) {
        m_session->requestCancel();
    }
}

SaneTimeouts testTimeouts()
{
    SaneTimeouts timeouts;
    timeouts.callMs = 5000;
    timeouts.searchMs = 10000;
    timeouts.startMs = 10000;
    timeouts.readMs = 5000;
    return timeouts;
}

std::vector<std::string> filesIn(const std::string& folder)
{
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

int bitsOf(const std::string& path)
{
    const std::string bytes = readFile(path);
    return bytes.size() > 29 ? static_cast<unsigned char>(bytes[28]) : 0;
}

std::int32_t dotsPerMetreOf(const std::string& path)
{
    const std::string bytes = readFile(path);
    if (bytes.size() < 42) {
        return 0;
    }
    std::int32_t value = 0;
    for (int i = 3; i >= 0; --i) {
        value = (value << 8) | static_cast<unsigned char>(bytes[38 + static_cast<std::size_t>(i)]);
    }
    return value;
}

} // namespace folvex::testing
