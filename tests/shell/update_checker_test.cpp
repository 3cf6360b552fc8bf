#include "shell/update_checker.h"

#include "foundation/control_creation.h"
#include "foundation/paths.h"
#include "runtime/clock.h"
#include "runtime/effects.h"
#include "runtime/object_registry.h"
#include "runtime/process_runner.h"
#include "runtime/window_events.h"
#include "runtime/window_messages.h"
#include "shell/main_window.h"
#include "shell_parts.h"
#include "support/action_box_fakes.h"
#include "support/fakes.h"
#include "support/temp_dir.h"
#include "twain/fake_scanner_library.h"

#include <gtest/gtest.h>

#include <QTest>
#include <QWidget>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace folvex {
namespace {

using namespace std::chrono_literals;
using testing::TempDir;

constexpr int WaitLimitMs = 20000;
// 2026-12-11 12:00 UTC: the same calendar day in every time zone from UTC−11 to UTC+11.
constexpr std::int64_t NoonUtc = 1796990400;
const std::string Today = "2026-12-11";

struct Message
{
    std::uint32_t message;
    std::intptr_t wParam;
    std::intptr_t lParam;

    bool operator==(const Message&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Message& m)
{
    return out << "(" << m.message << ", " << m.wParam << ", " << m.lParam << ")";
}

// One line per run of the stub checker: its arguments, working folder, process id and the settings
// file's update day at the moment it started.
struct CheckerRun
{
    std::string arguments;
    std::string folder;
    pid_t pid = 0;
    std::string day;
};

std::vector<CheckerRun> checkerRuns(const std::string& log)
{
    std::vector<CheckerRun> runs;
    std::istringstream lines(testing::readFile(log));
    std::string line;
    while (std::getline(lines, line)) {
        std::vector<std::string> fields;
        std::istringstream parts(line);
        std::string field;
        while (std::getline(parts, field, '|')) {
            fields.push_back(field);
        }
        fields.resize(4);
        runs.push_back({fields[0], fields[1], static_cast<pid_t>(std::atoi(fields[2].c_str())), fields[3]});
    }
    return runs;
}

bool isExecutable(const std::string& path)
{
    return ::access(path.c_str(), X_OK) == 0;
}

// The program started in a temporary program folder with the fake scanner, a pinned clock and the real
// process runner, so a stub checker made by the test really runs. A spy sees every message the main
// window's callback gets from the start of the update check on.
class UpdateCheckerTest : public ::testing::Test
{
protected:
    UpdateCheckerTest()
        : clock(NoonUtc)
    {
        setProgramClock(&clock);
        m_previousRunner = effects().processes;
        effects().processes = &runner;
    }

    ~UpdateCheckerTest() override
    {
        stopShell();
        effects().processes = m_previousRunner;
        setProgramClock(nullptr);
    }

    // A stub "Updora" that logs its run; with waitForStop it then runs on until the file "stop" exists.
    void makeStubChecker(bool waitForStop = false)
    {
        std::string script = "#!/bin/sh\nday=$(grep -o 'LastUpdateCheckDay=[0-9-]*' '" + ini() +
                             "')\necho \"$*|$(pwd)|$$|$day\" >> '" + log() + "'\n";
        if (waitForStop) {
            // Bounded, so a stub left behind by a failed test ends by itself.
            script += "i=0\nwhile [ ! -e '" + programDir->file("stop") +
                      "' ] && [ $i -lt 600 ]; do sleep 0.05; i=$((i+1)); done\necho ended > '" +
                      programDir->file("ended") + "'\n";
        }
        testing::writeFile(programDir->file("Updora"), script);
        ASSERT_EQ(::chmod(programDir->file("Updora").c_str(), 0750), 0);
    }

    void startShell()
    {
        messages.clear();
        testing::startShellParts(programDir->folder(), scanner, [this](ShellProgram& program) {
            program.updateCheck.waitTimeout = 50ms;
            // The main window has its callback by the time the update check is prepared; the spy
            // sits in front of it.
            std::function<void()>& prepare = program.state.entryPoints.prepareUpdateCheck;
            prepare = [this, original = prepare] {
                SetWindowCallback(
                    mainWindow(),
                    [this](Handle window, std::uint32_t message, std::intptr_t w, std::intptr_t l) {
                        messages.push_back({message, w, l});
                        return MainWindowCallback(window, message, w, l);
                    });
                original();
            };
        });
        m_running = true;
        const std::shared_ptr<Semaphore>& mutex = shellProgram().updateCheck.UpdateMutex;
        m_mutex = mutex ? mutex->handle() : NoHandle;
    }

    // Ends the program's parts and waits until the update thread, if one ran, has ended.
    void stopShell()
    {
        if (!m_running) {
            return;
        }
        m_running = false;
        testing::stopShellParts();
        QTRY_VERIFY_WITH_TIMEOUT(findSemaphore(m_mutex) == nullptr, WaitLimitMs);
        DrainWindowEvents();
    }

    // One turn of the main loop on that menu item alone (the wake-ups the update thread caused are
    // dropped first).
    void chooseMenu(MenuItem item)
    {
        DrainWindowEvents();
        postMenuEvent(mainWindow(), static_cast<int>(item));
        MainWindowPort port;
        runMainLoopTurn(state(), port);
    }

    ShellState& state() { return shellProgram().state; }

    Handle mainWindow() { return shellProgram().windows.MainWindow; }

    std::string ini() { return programDir->file("Folvex.ini"); }

    std::string log() { return programDir->file("checker.log"); }

    std::string runCopy() { return programDir->file("Updora1"); }

    std::string storedDay()
    {
        SettingsState settings;
        settings.ProgramDir = programDir->folder();
        return readSetting(settings, "ALLGEMEIN", "LastUpdateCheckDay");
    }

    void storeSetting(const std::string& key, const std::string& value)
    {
        SettingsState settings;
        settings.ProgramDir = programDir->folder();
        ASSERT_EQ(writeSetting(settings, "ALLGEMEIN", key, value), 1);
    }

    std::string commandLine(UpdateCheckMode mode)
    {
        return std::to_string(mainWindow()) + " " + std::to_string(foundationLibrary().ProcessId) +
               " 4.23a 176 " + std::to_string(static_cast<int>(mode));
    }

    bool statusShown()
    {
        const std::vector<std::string>& history = shellProgram().windows.splashHistory;
        return std::find(history.begin(), history.end(), UpdateCheckStatusText) != history.end();
    }

    std::unique_ptr<TempDir> programDir = std::make_unique<TempDir>();
    testing::FixedClock clock;
    FakeScannerLibrary scanner;
    testing::ScopedFakeEffects fakeEffects;
    testing::ScriptedActionBoxAnswerer answerer;
    PosixProcessRunner runner;
    std::vector<Message> messages;

private:
    bool m_running = false;
    Handle m_mutex = NoHandle;
    ProcessRunner* m_previousRunner = nullptr;
};

const Message FirstReport{AppMessage, 1, 1};

TEST_F(UpdateCheckerTest, DueCheckWritesTheDayThenStartsTheCheckerOnce)
{
    const struct
    {
        const char* label;
        std::function<void()> prepare;
    } cases[] = {
        {"no settings file", [] {}},
        {"empty settings file", [this] { testing::writeFile(ini(), ""); }},
        {"no update day", [this] { storeSetting("LastWindowMaximized", "0"); }},
        {"yesterday", [this] { storeSetting("LastUpdateCheckDay", "2026-12-10"); }},
    };

    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        programDir = std::make_unique<TempDir>();
        makeStubChecker();
        c.prepare();
        startShell();
        EXPECT_TRUE(statusShown());
        EXPECT_EQ(storedDay(), Today);
        EXPECT_TRUE(isExecutable(runCopy()));
        QTRY_COMPARE_WITH_TIMEOUT(checkerRuns(log()).size(), 1U, WaitLimitMs);
        const CheckerRun run = checkerRuns(log())[0];
        EXPECT_EQ(run.arguments, commandLine(UpdateCheckMode::Automatic));
        EXPECT_EQ(run.day, "LastUpdateCheckDay=" + Today) << "the day must be written before the start";
        EXPECT_EQ(run.folder, std::filesystem::current_path().string());
        stopShell();
        // Never signalled, the wait timed out: the first report is the only one.
        EXPECT_EQ(messages, std::vector<Message>{FirstReport});
        EXPECT_EQ(FileExists(runCopy()), 0);
    }
    EXPECT_TRUE(fakeEffects.messages.shown.empty());
}

TEST_F(UpdateCheckerTest, SameDayStartsNoSecondCheckButTheMenuStartsOneAnyTime)
{
    makeStubChecker();
    startShell();
    QTRY_COMPARE_WITH_TIMEOUT(checkerRuns(log()).size(), 1U, WaitLimitMs);
    stopShell();

    startShell();
    EXPECT_EQ(state().settingsState.settings.LastUpdateCheckDay, Today);
    EXPECT_FALSE(statusShown());
    EXPECT_FALSE(shellProgram().updateCheck.UpdateParamBlock.has_value());
    EXPECT_EQ(shellProgram().updateCheck.UpdateMutex, nullptr);
    EXPECT_TRUE(isExecutable(runCopy())) << "the run copy is made at every start";

    std::filesystem::remove(runCopy());
    chooseMenu(MenuItem::UpdateChecker);
    EXPECT_TRUE(isExecutable(runCopy()));
    QTRY_COMPARE_WITH_TIMEOUT(checkerRuns(log()).size(), 2U, WaitLimitMs);
    EXPECT_EQ(checkerRuns(log())[1].arguments, commandLine(UpdateCheckMode::Manual));
    EXPECT_TRUE(messages.empty());
}

TEST_F(UpdateCheckerTest, WithoutTheCheckerNothingIsReportedAndTheProgramRunsOn)
{
    testing::writeFile(runCopy(), "stale");
    startShell();
    EXPECT_EQ(FileExists(runCopy()), 0) << "a run copy without its original is deleted";
    EXPECT_EQ(storedDay(), Today);
    QTRY_COMPARE_WITH_TIMEOUT(messages.size(), 1U, WaitLimitMs);
    chooseMenu(MenuItem::UpdateChecker);
    EXPECT_EQ(FileExists(runCopy()), 0);
    chooseMenu(MenuItem::Quit);
    EXPECT_EQ(state().EndProgram, 1);
    stopShell();
    EXPECT_EQ(messages, std::vector<Message>{FirstReport});
    EXPECT_TRUE(fakeEffects.messages.shown.empty());
    EXPECT_TRUE(answerer.shown.empty());
}

TEST_F(UpdateCheckerTest, CleanUpRemovesTheRunCopyWhileTheCheckerStillRuns)
{
    makeStubChecker(true);
    startShell();
    QTRY_COMPARE_WITH_TIMEOUT(checkerRuns(log()).size(), 1U, WaitLimitMs);
    const pid_t checker = checkerRuns(log())[0].pid;
    ASSERT_GT(checker, 0);
    stopShell();
    EXPECT_EQ(FileExists(runCopy()), 0);
    EXPECT_EQ(::kill(checker, 0), 0) << "the checker must still run";
    testing::writeFile(programDir->file("stop"), "");
    QTRY_VERIFY_WITH_TIMEOUT(FileExists(programDir->file("ended")) == 1, WaitLimitMs);
}

TEST(UpdateParamTest, NumbersOfTheFields)
{
    const struct
    {
        const char* field;
        std::intptr_t number;
    } cases[] = {
        {"$8000", 0x8000},
        {"$ff", 255},
        {"1042", 1042},
        {"0", 0},
        {"", 0},
        {"$", 0},
        {"12x", 0},
        {"-", 0},
    };

    for (const auto& c : cases) {
        SCOPED_TRACE(c.field);
        EXPECT_EQ(parameterNumber(c.field), c.number);
    }
}

// The thread on its own: a window whose callback records, a stub checker that ends at once.
TEST(UpdateCheckThreadTest, ReportsTheStartOnlyWhenTheWaitDidNotTimeOut)
{
    TempDir folder;
    const std::string checker = folder.file("Updora1");
    testing::writeFile(checker, "#!/bin/sh\nexit 0\n");
    ASSERT_EQ(::chmod(checker.c_str(), 0755), 0);
    PosixProcessRunner runner;
    ProcessRunner* previousRunner = effects().processes;
    effects().processes = &runner;

    QWidget window;
    const Handle handle = registerObject(&window, ObjectKind::Window);
    std::vector<Message> messages;
    SetWindowCallback(handle, [&messages](Handle, std::uint32_t message, std::intptr_t w, std::intptr_t l) {
        messages.push_back({message, w, l});
        return MessageResult{0};
    });

    const struct
    {
        const char* label;
        std::string program;
        bool released;
        bool noMutex;
        std::vector<Message> expected;
    } cases[] = {
        {"released, started", checker, true, false, {{0x8000, 1, 1}, {0x8000, 2, 1}, {0x8000, 1, 2}}},
        {"released, not started",
         folder.file("missing"),
         true,
         false,
         {{0x8000, 1, 1}, {0x8000, 2, 0}, {0x8000, 1, 2}}},
        {"no mutex", checker, false, true, {{0x8000, 1, 1}, {0x8000, 2, 1}, {0x8000, 1, 2}}},
        {"timed out", checker, false, false, {{0x8000, 1, 1}}},
    };

    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        messages.clear();
        const std::shared_ptr<Semaphore> mutex = createSemaphore();
        if (c.released) {
            mutex->release();
        }
        const UpdateParamFields block{
            c.program,
            "1 2 4.23a 176 1",
            "",
            "$8000",
            std::to_string(handle),
            c.noMutex ? "0" : std::to_string(mutex->handle())};
        std::atomic<bool> done = false;
        std::int32_t result = -1;
        std::thread thread([&] {
            result = UpdateCheckThread(block, 50ms);
            done = true;
        });
        QTRY_VERIFY_WITH_TIMEOUT(done.load(), WaitLimitMs);
        thread.join();
        EXPECT_EQ(result, 0);
        EXPECT_EQ(messages, c.expected);
    }
    SetWindowCallback(handle, {});
    effects().processes = previousRunner;
}

} // namespace
} // namespace folvex
