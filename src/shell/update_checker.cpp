#include "shell/update_checker.h"

#include "runtime/clock.h"
#include "runtime/effects.h"
#include "runtime/safe_file.h"
#include "runtime/window_messages.h"
#include "shell/help_texts.h"

#include <charconv>
#include <cstdio>
#include <sstream>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace folvex {
namespace {

constexpr std::intptr_t ProgressReport = 1; // wParam of (1, 1) and (1, 2)
constexpr std::intptr_t StartReport = 2;    // wParam of (2, 1) and (2, 0)

bool isExecutableFile(const std::string& path)
{
    struct stat info
    {};

    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// A program that is not there counts as not started without asking the runner: the run copy is
// missing whenever "Updora" is.
bool startProgram(const std::vector<std::string>& argv, const std::string& workingFolder)
{
    return isExecutableFile(argv.front()) && effects().processes->startDetached(argv, workingFolder);
}

std::vector<std::string> splitAtBlanks(const std::string& text)
{
    std::vector<std::string> words;
    std::istringstream stream(text);
    std::string word;
    while (stream >> word) {
        words.push_back(word);
    }
    return words;
}

std::string joinWithBlanks(const std::vector<std::string>& words)
{
    std::string text;
    for (const std::string& word : words) {
        text += (text.empty() ? "" : " ") + word;
    }
    return text;
}

// "$" and the number in hexadecimal digits.
std::string hexadecimalField(std::uint32_t number)
{
    char digits[16] = {};
    const auto result = std::to_chars(std::begin(digits), std::end(digits), number, 16);
    return "$" + std::string(digits, result.ptr);
}

bool settingsFileHasContent(SettingsState& settings)
{
    struct stat info
    {};

    return ::stat(settingsFile(settings).c_str(), &info) == 0 && info.st_size > 0;
}

} // namespace

std::vector<std::string>
updateCheckerArguments(Handle mainWindow, std::uint32_t processId, UpdateCheckMode mode)
{
    return {
        std::to_string(mainWindow),
        std::to_string(processId),
        ProgramVersion,
        ProgramBuild,
        std::to_string(static_cast<int>(mode))};
}

void makeUpdateCheckerRunCopy(const std::string& programDir)
{
    const std::string runCopy = programDir + UpdateCheckerRunCopy;
    ::unlink(runCopy.c_str());
    const std::string original = programDir + UpdateCheckerProgram;

    struct stat info
    {};

    if (::stat(original.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return;
    }
    Expected<std::string> content = readWholeFile(original);
    if (!content) {
        return;
    }
    Expected<SafeFileWriter> writer = SafeFileWriter::create(runCopy);
    if (!writer || !writer->write(*content) ||
        ::fchmod(::fileno(writer->stream()), info.st_mode & 0777) != 0) {
        return;
    }
    [[maybe_unused]] const Expected<void> committed = writer->commit();
}

void StartUpdateChecker(const UpdateCheckContext& context)
{
    const std::string& programDir = context.settings.ProgramDir;
    makeUpdateCheckerRunCopy(programDir);
    std::vector<std::string> argv{programDir + UpdateCheckerRunCopy};
    for (std::string& argument :
         updateCheckerArguments(context.mainWindow, context.processId, UpdateCheckMode::Manual)) {
        argv.push_back(std::move(argument));
    }
    startProgram(argv, {});
}

void prepareUpdateCheck(UpdateCheckState& check, const UpdateCheckContext& context)
{
    SettingsState& settings = context.settings;
    makeUpdateCheckerRunCopy(settings.ProgramDir);

    const std::string today = FormatDate(UpdateCheckDayMask, Date());
    if (settingsFileHasContent(settings) && settings.settings.LastUpdateCheckDay == today) {
        return;
    }
    if (context.showStatus) {
        context.showStatus(UpdateCheckStatusText);
    }
    // Written before the checker runs: a start that fails still counts as today's check.
    writeSetting(settings, "ALLGEMEIN", UpdateCheckDayKey, today);
    settings.settings.LastUpdateCheckDay = today;

    check.UpdateMutex = createSemaphore(0);
    UpdateParamFields block;
    block.program = settings.ProgramDir + UpdateCheckerRunCopy;
    block.parameters = joinWithBlanks(
        updateCheckerArguments(context.mainWindow, context.processId, UpdateCheckMode::Automatic));
    block.message = hexadecimalField(AppMessage);
    block.window = std::to_string(context.mainWindow);
    block.mutex = std::to_string(check.UpdateMutex->handle());
    check.UpdateParamBlock = block;

    // The thread gets its own copy of the fields and its own share of the semaphore.
    try {
        std::thread([block, hold = check.UpdateMutex, timeout = check.waitTimeout] {
            UpdateCheckThread(block, timeout);
        }).detach();
    } catch (const std::system_error&) {
        // No thread, no automatic check this time; the day stays written.
    }
}

std::intptr_t parameterNumber(const std::string& field)
{
    const bool hexadecimal = !field.empty() && field.front() == '$';
    const char* first = field.data() + (hexadecimal ? 1 : 0);
    const char* last = field.data() + field.size();
    std::intptr_t value = 0;
    const auto result = std::from_chars(first, last, value, hexadecimal ? 16 : 10);
    return result.ec == std::errc() && result.ptr == last ? value : 0;
}

std::int32_t UpdateCheckThread(const UpdateParamFields& block, std::chrono::milliseconds timeout)
{
    const auto message = static_cast<std::uint32_t>(parameterNumber(block.message));
    const Handle window = parameterNumber(block.window);
    const Handle mutex = parameterNumber(block.mutex);

    SendWindowMessage(window, message, ProgressReport, 1);

    std::vector<std::string> argv{block.program};
    for (std::string& argument : splitAtBlanks(block.parameters)) {
        argv.push_back(std::move(argument));
    }
    const bool started = startProgram(argv, block.workingFolder);

    bool timedOut = false;
    if (mutex != NoHandle) {
        if (const std::shared_ptr<Semaphore> semaphore = findSemaphore(mutex)) {
            timedOut = !semaphore->acquireFor(timeout);
        }
    }
    if (!timedOut) {
        SendWindowMessage(window, message, StartReport, started ? 1 : 0);
        SendWindowMessage(window, message, ProgressReport, 2);
    }
    return 0;
}

} // namespace folvex
