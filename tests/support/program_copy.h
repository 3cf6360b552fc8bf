#pragma once
// A copy of the built program in a fresh program folder with its own home, XDG folders, temporary
// folder and a scanner configuration without backends, started as a child process offscreen. The
// child is killed if a test leaves it running. Test thread only.

#include "support/temp_dir.h"

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace folvex::testing {

// Polls a condition until it holds, at most limit; true when it came.
bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit);

class ProgramCopy
{
public:
    // Copies the program file (the built executable) into the new program folder, with the folder
    // "Licenses" beside it when there is one.
    explicit ProgramCopy(const std::string& program);
    ~ProgramCopy();
    ProgramCopy(const ProgramCopy&) = delete;
    ProgramCopy& operator=(const ProgramCopy&) = delete;

    // The program folder with a trailing "/".
    std::string programDir() const;

    std::string settingsFile() const { return programDir() + "Folvex.ini"; }

    // Starts the copy with SIGUSR1 and SIGTERM blocked, as the program's own start blocks them: a quit
    // signal sent at once stays pending until the program's handler is in place. The process id, or
    // -1 when the fork failed.
    pid_t start();

    pid_t pid() const { return m_pid; }

    // True when the running copy has a handler for the signal (read from /proc).
    bool catches(int signal) const;

    // The exit status once the process has ended within limit; nullopt when it did not end or did not
    // exit normally (killed by a signal).
    std::optional<int> waitForExit(std::chrono::milliseconds limit);

    std::string setting(const std::string& section, const std::string& key) const;

    // Writes a setting into the copy's settings file; false when it could not be written.
    bool store(const std::string& section, const std::string& key, const std::string& value) const;

private:
    TempDir m_root;
    std::vector<std::string> m_environment;
    pid_t m_pid = 0;
};

} // namespace folvex::testing
