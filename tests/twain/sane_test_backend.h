#pragma once
// Test support for the SANE library: a private SANE configuration whose dll.conf lists only the
// "test" backend, a runner that takes each case into a child process under a watchdog, and scripted
// windows that choose a device and run the progress loop without a screen.

#include "support/temp_dir.h"
#include "twain/sane_scanner_library.h"

#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace folvex::testing {

// The test backend's configuration: its defaults, with the given keys replaced (values as written
// in test.conf, strings in double quotes).
class SaneTestConfig
{
public:
    explicit SaneTestConfig(const std::map<std::string, std::string>& overrides);

    SaneTestConfig(std::initializer_list<std::pair<const std::string, std::string>> overrides = {})
        : SaneTestConfig(std::map<std::string, std::string>(overrides))
    {}

    std::string directory() const { return m_folder.file("sane"); }

    // A folder for the case's files.
    std::string work() const { return m_folder.file("work"); }

private:
    TempDir m_folder;
};

// Runs body in a child process with SANE_CONFIG_DIR set to the configuration; the test fails when
// the body fails, the child dies, or it runs longer than timeoutMs (it is then killed).
void runSaneCase(const SaneTestConfig& config, int timeoutMs, const std::function<void()>& body);

// The watchdog time of one case, and the product names of the backend's first two devices.
inline constexpr int CaseTimeoutMs = 40000;
inline const std::string TestDevice0 = "Noname frontend-tester (test:0)";
inline const std::string TestDevice1 = "Noname frontend-tester (test:1)";

// Windows without a screen: the chooser waits for the search and takes the device named in choice
// (none: cancelled); the progress loop delivers the pages and ends when the session finishes.
class ScriptedSaneDialogs final : public SaneDialogs
{
public:
    std::optional<std::string> choice;
    std::vector<std::string> listed; // product names the chooser was shown
    int progressShown = 0;
    // Called on the calling thread at every turn of the progress loop, as a user who watches it.
    std::function<void(AcquisitionSession&)> onTick;

    std::optional<std::size_t> chooseDevice(DeviceSearch& search, Handle parent) override;
    void showProgress(AcquisitionSession& session, Handle parent) override;

    // "Abbrechen" in the running progress window.
    void pressCancel();

private:
    void waitForWake();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_woken = false;
    AcquisitionSession* m_session = nullptr;
};

// Short watchdog times for tests, so a hung backend ends a case quickly.
SaneTimeouts testTimeouts();

// The names of the files in a folder, sorted.
std::vector<std::string> filesIn(const std::string& folder);

// The bits per pixel and the horizontal dots per metre in a BMP file's header; 0 when it is too short.
int bitsOf(const std::string& path);
std::int32_t dotsPerMetreOf(const std::string& path);

} // namespace folvex::testing
