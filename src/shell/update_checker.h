#pragma once
// The update checker "Updora", a separate program in the program folder: it always runs from a copy,
// "Updora1", made at start-up and on every start from the help menu. At most once a day the start-up
// starts it automatically from a thread of its own, which reports to the main window with
// AppMessage. GUI thread, except UpdateCheckThread.

#include "runtime/handles.h"
#include "runtime/semaphore.h"
#include "shell/settings.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace folvex {

inline constexpr const char* UpdateCheckerProgram = "Updora";
inline constexpr const char* UpdateCheckerRunCopy = "Updora1";
inline constexpr const char* UpdateCheckStatusText = "Update-Checker starten...";
inline constexpr const char* UpdateCheckDayKey = "LastUpdateCheckDay";
inline constexpr const char* UpdateCheckDayMask = "%yyyy-%mm-%dd";
// How long the update thread waits on UpdateMutex.
inline constexpr std::chrono::milliseconds UpdateWaitTimeout{10000};

// The command line's last argument.
enum class UpdateCheckMode
{
    Manual = 0,
    Automatic = 1,
};

// The six fields handed to the update thread, each as text.
struct UpdateParamFields
{
    std::string program;       // ProgramDir + "Updora1"
    std::string parameters;    // the automatic command line after the program, blank-separated
    std::string workingFolder; // empty: the program's own
    std::string message;       // the message to send; "$" introduces hexadecimal ("$8000")
    std::string window;        // the main window's handle, decimal
    std::string mutex;         // the handle of UpdateMutex, decimal; "0": no wait
};

// The daily check's state, kept from start-up until CleanUpOnExit frees it. The thread holds its own
// copy of the fields and its own share of the semaphore, so freeing them here never harms it.
struct UpdateCheckState
{
    std::optional<UpdateParamFields> UpdateParamBlock;
    // Created by the GUI thread and never released: the thread's wait normally ends by time-out.
    std::shared_ptr<Semaphore> UpdateMutex;
    std::chrono::milliseconds waitTimeout = UpdateWaitTimeout;
};

// What the update checker needs to know of the running program.
struct UpdateCheckContext
{
    SettingsState& settings;
    Handle mainWindow = NoHandle;
    std::uint32_t processId = 0;
    // Shows a text in the splash's status line.
    std::function<void(const std::string&)> showStatus;
};

// The checker's arguments: the main window's handle, the process id, "4.23a", "176" and the mode.
std::vector<std::string>
updateCheckerArguments(Handle mainWindow, std::uint32_t processId, UpdateCheckMode mode);

// Deletes ProgramDir + "Updora1" when present, then copies "Updora" to it with its permission bits (written
// under a temporary name first, so a failed copy leaves no half program). Failures are silent.
void makeUpdateCheckerRunCopy(const std::string& programDir);

// Menu "Update-Checker aufrufen": makes the run copy and starts it with the manual command line, not
// waiting. Failures are not reported.
void StartUpdateChecker(const UpdateCheckContext& context);

// Start-up: makes the run copy, and when today's check is due (no settings file with content, or a
// stored day other than today) writes today's date first, then starts UpdateCheckThread.
void prepareUpdateCheck(UpdateCheckState& check, const UpdateCheckContext& context);

// A number of a parameter field: decimal, or hexadecimal after "$"; 0 when it is none.
std::intptr_t parameterNumber(const std::string& field);

// The update thread: sends (message, 1, 1) to the window, starts the program detached with the
// parameters, waits up to timeout on the semaphore named by the mutex field, and only when that wait
// did not time out sends (2, 1) or (2, 0) for the start and then (1, 2). Returns 0. Any thread.
std::int32_t
UpdateCheckThread(const UpdateParamFields& block, std::chrono::milliseconds timeout = UpdateWaitTimeout);

} // namespace folvex
