#include "runtime/process_runner.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace folvex {
namespace {

struct ProgramRun
{
    ProcessResult result;
    std::vector<std::string> lines;      // standard output
    std::vector<std::string> errorLines; // standard error
};

ProgramRun runProgram(
    const std::vector<std::string>& argv,
    const std::string& workingDir = {},
    const std::vector<std::string>& environment = {})
{
    ProgramRun run;
    PosixProcessRunner runner;
    run.result =
        runner.run({argv, workingDir, environment, [&run](OutputStream stream, const std::string& line) {
                        (stream == OutputStream::StandardError ? run.errorLines : run.lines).push_back(line);
                    }});
    return run;
}

TEST(PosixProcessRunnerTest, GivesEachLineWithItsStreamAndTheExitCode)
{
    struct Case
    {
        const char* label;
        const char* script;
        std::vector<std::string> lines;
        std::vector<std::string> errorLines;
        int exitCode;
    };

    const Case cases[] = {
        {"two lines, status 3", "echo a; echo b; exit 3", {"a", "b"}, {}, 3},
        {"no output", "exit 0", {}, {}, 0},
        {"last line without newline, CR LF", "printf 'x\\r\\ny'", {"x", "y"}, {}, 0},
        {"no shell between: arguments stay whole", "echo \"$0|$1\"", {"sh|a b;c"}, {}, 0},
        {"both streams",
         "echo eins; echo zwei >&2; echo drei; printf vier >&2; exit 1",
         {"eins", "drei"},
         {"zwei", "vier"},
         1},
        // More than a pipe holds on standard error before anything on standard output.
        {"full error pipe",
         "i=0; while [ $i -lt 3000 ]; do echo 0123456789012345678901234567890 >&2; i=$((i+1)); done; echo "
         "ende",
         {"ende"},
         std::vector<std::string>(3000, "0123456789012345678901234567890"),
         0},
        {"ended by SIGKILL", "echo vorher; kill -KILL $$", {"vorher"}, {}, 128 + SIGKILL},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const ProgramRun run = runProgram({"sh", "-c", c.script, "sh", "a b;c"});
        ASSERT_TRUE(run.result.started) << run.result.error;
        EXPECT_EQ(run.lines, c.lines);
        EXPECT_EQ(run.errorLines, c.errorLines);
        EXPECT_EQ(run.result.exitCode, c.exitCode);
    }
}

TEST(PosixProcessRunnerTest, TheChildGetsDefaultSignalsWhateverTheCallingThreadBlocks)
{
    // The program blocks its quit signals while it starts; a child must not inherit that block.
    sigset_t quit;
    sigemptyset(&quit);
    sigaddset(&quit, SIGTERM);
    sigset_t previous;
    ASSERT_EQ(::pthread_sigmask(SIG_BLOCK, &quit, &previous), 0);
    const ProgramRun run = runProgram({"sh", "-c", "kill -TERM $$; exit 0"});
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    ASSERT_TRUE(run.result.started) << run.result.error;
    EXPECT_EQ(run.result.exitCode, 128 + SIGTERM);
}

TEST(PosixProcessRunnerTest, ExtraEnvironmentIsAddedOrReplacesAndTheRestIsKept)
{
    ASSERT_EQ(::setenv("FOLVEX_KEPT", "bleibt", 1), 0);
    ASSERT_EQ(::setenv("FOLVEX_REPLACED", "alt", 1), 0);
    const ProgramRun run = runProgram(
        {"sh", "-c", "echo \"$FOLVEX_KEPT|$FOLVEX_REPLACED|$FOLVEX_ADDED\""},
        {},
        {"FOLVEX_REPLACED=neu", "FOLVEX_ADDED=a=b c"});
    ::unsetenv("FOLVEX_KEPT");
    ::unsetenv("FOLVEX_REPLACED");
    ASSERT_TRUE(run.result.started) << run.result.error;
    EXPECT_EQ(run.lines, std::vector<std::string>{"bleibt|neu|a=b c"});
    EXPECT_EQ(std::getenv("FOLVEX_ADDED"), nullptr);
}

// The state letter of a process in /proc ('Z' for a zombie); 0 when there is no such process.
char processState(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const std::size_t close = text.rfind(')');
    return close == std::string::npos || close + 2 >= text.size() ? '\0' : text[close + 2];
}

bool processGone(pid_t pid)
{
    const char state = processState(pid);
    return state == '\0' || state == 'Z';
}

TEST(PosixProcessRunnerTest, ARunStillGoingIsTerminatedWhenTheProgramEnds)
{
    struct Case
    {
        const char* label;
        bool atOnce; // _exit, else exit() with its clean-up
    };

    for (const Case c : {Case{"normal end", false}, Case{"end at once", true}}) {
        SCOPED_TRACE(c.label);
        testing::TempDir dir;
        const std::string pidFile = dir.file("child.pid");
        const pid_t program = ::fork();
        ASSERT_GE(program, 0);
        if (program == 0) {
            // A worker thread of the "program" runs a long child; the program ends meanwhile.
            std::thread([&] {
                PosixProcessRunner runner;
                const ProcessResult ignored = runner.run(
                    {{"sh", "-c", "echo $$ > child.tmp && mv child.tmp child.pid && exec sleep 60"},
                     dir.path().string(),
                     {},
                     {}});
                static_cast<void>(ignored);
            }).detach();
            for (int i = 0; i < 4000 && ::access(pidFile.c_str(), F_OK) != 0; ++i) {
                ::usleep(5000);
            }
            if (c.atOnce) {
                ::_exit(0);
            }
            std::exit(0);
        }
        ASSERT_EQ(::waitpid(program, nullptr, 0), program);
        const std::string text = testing::readFile(pidFile);
        ASSERT_FALSE(text.empty()) << "the child did not start";
        const pid_t child = static_cast<pid_t>(std::stol(text));
        bool gone = false;
        for (int i = 0; i < 2000 && !gone; ++i) {
            gone = processGone(child);
            if (!gone) {
                ::usleep(5000);
            }
        }
        EXPECT_TRUE(gone) << "the child still runs after the program ended";
        if (!gone) {
            ::kill(child, SIGKILL);
        }
    }
}

TEST(FindInPathTest, TakesOnlyRegularExecutableFiles)
{
    testing::TempDir dir;
    const std::string name = "folvex-find-me";
    for (const char* folder : {"a", "b", "c", "d"}) {
        std::filesystem::create_directory(dir.path() / folder);
    }
    // a: a folder of that name; b: a file that may not be executed; c: the program; d: a later copy.
    std::filesystem::create_directory(dir.path() / "a" / name);
    testing::writeFile(dir.file("b/" + name), "#!/bin/sh\n");
    testing::writeFile(dir.file("c/" + name), "#!/bin/sh\n");
    testing::writeFile(dir.file("d/" + name), "#!/bin/sh\n");
    ::chmod(dir.file("c/" + name).c_str(), 0755);
    ::chmod(dir.file("d/" + name).c_str(), 0755);

    const char* oldPath = std::getenv("PATH");
    const std::string savedPath = oldPath != nullptr ? oldPath : "";
    const std::string path = dir.file("a") + ":" + dir.file("b") + ":" + dir.file("c") + ":" + dir.file("d");
    ASSERT_EQ(::setenv("PATH", path.c_str(), 1), 0);
    const std::string found = findInPath(name);
    const std::string viaFolder = findInPath(dir.file("a/" + name));
    const std::string viaFile = findInPath(dir.file("c/" + name));
    ::setenv("PATH", savedPath.c_str(), 1);

    EXPECT_EQ(found, dir.file("c/" + name));
    EXPECT_EQ(viaFolder, "");
    EXPECT_EQ(viaFile, dir.file("c/" + name));
}

TEST(PosixProcessRunnerTest, RunsInTheWorkingFolder)
{
    testing::TempDir dir;
    const ProgramRun run = runProgram({"pwd", "-P"}, dir.path().string());
    ASSERT_TRUE(run.result.started) << run.result.error;
    char resolved[PATH_MAX];
    ASSERT_NE(::realpath(dir.path().c_str(), resolved), nullptr);
    EXPECT_EQ(run.lines, std::vector<std::string>{resolved});
}

TEST(PosixProcessRunnerTest, FailsCleanlyWhenTheProgramCannotStart)
{
    testing::TempDir dir;
    const std::string notExecutable = dir.path().string() + "/plain.txt";
    testing::writeFile(notExecutable, "echo hi\n");

    struct Case
    {
        const char* label;
        std::vector<std::string> argv;
        std::string workingDir;
    };

    const Case cases[] = {
        {"not in PATH", {"folvex-no-such-program-xyz"}, ""},
        {"missing path", {dir.path().string() + "/missing"}, ""},
        {"not executable", {notExecutable}, ""},
        {"missing working folder", {"sh", "-c", "echo started"}, dir.path().string() + "/missing"},
        {"no argv", {}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const ProgramRun run = runProgram(c.argv, c.workingDir);
        EXPECT_FALSE(run.result.started);
        EXPECT_FALSE(run.result.error.empty());
        EXPECT_TRUE(run.lines.empty());
        PosixProcessRunner runner;
        EXPECT_FALSE(runner.startDetached(c.argv, c.workingDir));
    }
}

TEST(PosixProcessRunnerTest, DetachedStartRunsTheProgram)
{
    testing::TempDir dir;
    const std::string marker = dir.path().string() + "/marker";
    PosixProcessRunner runner;
    ASSERT_TRUE(runner.startDetached(
        {"sh", "-c", "echo da > marker.tmp && mv marker.tmp marker"}, dir.path().string()));
    bool found = false;
    for (int i = 0; i < 2000 && !found; ++i) {
        found = ::access(marker.c_str(), F_OK) == 0;
        if (!found) {
            ::usleep(5000);
        }
    }
    ASSERT_TRUE(found);
    EXPECT_EQ(testing::readFile(marker), "da\n");
}

// Runs endProgramAtOnce in a child; returns its exit status and what it wrote to a pipe.
std::pair<int, std::string> endChildAtOnce(int code)
{
    int fds[2];
    if (::pipe(fds) != 0) {
        return {-1, {}};
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        ::dup2(fds[1], STDOUT_FILENO);
        // Buffered and never flushed: ending at once must not run the clean-up that would write it.
        std::fputs("buffered", stdout);
        ImmediateProgramExit exit;
        exit.endProgramAtOnce(code);
    }
    ::close(fds[1]);
    std::string output;
    char buffer[64];
    ssize_t got = 0;
    while ((got = ::read(fds[0], buffer, sizeof buffer)) > 0) {
        output.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

TEST(ImmediateProgramExitTest, EndsTheProcessWithoutCleanUp)
{
    struct Case
    {
        int code;
        int status;
    };

    for (const Case c : {Case{-1, 255}, Case{0, 0}, Case{3, 3}}) {
        SCOPED_TRACE(c.code);
        const auto [status, output] = endChildAtOnce(c.code);
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(output, "");
    }
}

} // namespace
} // namespace folvex
