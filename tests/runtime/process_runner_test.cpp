#include "runtime/process_runner.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace folvex {
namespace {

struct ProgramRun
{
    ProcessResult result;
    std::vector<std::string> lines;
};

ProgramRun runProgram(const std::vector<std::string>& argv, const std::string& workingDir = {})
{
    ProgramRun run;
    PosixProcessRunner runner;
    run.result = runner.run(argv, workingDir, [&run](const std::string& line) { run.lines.push_back(line); });
    return run;
}

TEST(PosixProcessRunnerTest, GivesEachLineAndTheExitCode)
{
    struct Case
    {
        const char* label;
        const char* script;
        std::vector<std::string> lines;
        int exitCode;
    };

    const Case cases[] = {
        {"two lines, status 3", "echo a; echo b; exit 3", {"a", "b"}, 3},
        {"no output", "exit 0", {}, 0},
        {"last line without newline, CR LF", "printf 'x\\r\\ny'", {"x", "y"}, 0},
        {"no shell between: arguments stay whole", "echo \"$0|$1\"", {"sh|a b;c"}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const ProgramRun run = runProgram({"sh", "-c", c.script, "sh", "a b;c"});
        ASSERT_TRUE(run.result.started) << run.result.error;
        EXPECT_EQ(run.lines, c.lines);
        EXPECT_EQ(run.result.exitCode, c.exitCode);
    }
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
