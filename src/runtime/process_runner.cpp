#include "runtime/process_runner.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace folvex {
namespace {

// The argument vector for execv, built before fork: the child of a threaded process may only make
// async-signal-safe calls, so it must not allocate.
std::vector<char*> execArguments(const std::vector<std::string>& argv)
{
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    return args;
}

// In the child: changes folder and execs; on failure writes errno to the close-on-exec report pipe.
[[noreturn]] void execOrReport(char* const* args, const char* program, const char* workingDir, int reportFd)
{
    if (workingDir[0] != '\0' && ::chdir(workingDir) != 0) {
        const int error = errno;
        [[maybe_unused]] ssize_t ignored = ::write(reportFd, &error, sizeof error);
        ::_exit(127);
    }
    ::execv(program, args);
    const int error = errno;
    [[maybe_unused]] ssize_t ignored = ::write(reportFd, &error, sizeof error);
    ::_exit(127);
}

// Reads the exec report of a child: 0 when exec succeeded (the pipe closed without data).
int readExecReport(int fd)
{
    int error = 0;
    ssize_t got = 0;
    do {
        got = ::read(fd, &error, sizeof error);
    } while (got < 0 && errno == EINTR);
    return got == static_cast<ssize_t>(sizeof error) ? error : 0;
}

void closeFd(int& fd)
{
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

std::string startError(const std::string& what, int error)
{
    return what + ": " + std::strerror(error);
}

} // namespace

ProcessResult PosixProcessRunner::run(
    const std::vector<std::string>& argv,
    const std::string& workingDir,
    const std::function<void(const std::string&)>& onLine)
{
    ProcessResult result;
    if (argv.empty()) {
        result.error = "no program given";
        return result;
    }
    const std::string program = findInPath(argv[0]);
    if (program.empty()) {
        result.error = argv[0] + ": program not found";
        return result;
    }
    int output[2] = {-1, -1};
    int report[2] = {-1, -1};
    if (::pipe2(output, O_CLOEXEC) != 0 || ::pipe2(report, O_CLOEXEC) != 0) {
        result.error = startError("pipe", errno);
        closeFd(output[0]);
        closeFd(output[1]);
        return result;
    }
    const std::vector<char*> args = execArguments(argv);
    const pid_t pid = ::fork();
    if (pid < 0) {
        result.error = startError("fork", errno);
        closeFd(output[0]);
        closeFd(output[1]);
        closeFd(report[0]);
        closeFd(report[1]);
        return result;
    }
    if (pid == 0) {
        const int nullInput = ::open("/dev/null", O_RDONLY);
        if (nullInput >= 0) {
            ::dup2(nullInput, STDIN_FILENO);
        }
        ::dup2(output[1], STDOUT_FILENO);
        execOrReport(args.data(), program.c_str(), workingDir.c_str(), report[1]);
    }
    closeFd(output[1]);
    closeFd(report[1]);
    const int execError = readExecReport(report[0]);
    closeFd(report[0]);

    std::string pending;
    char buffer[4096];
    while (true) {
        const ssize_t got = ::read(output[0], buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        pending.append(buffer, static_cast<std::size_t>(got));
        std::size_t newline = 0;
        while ((newline = pending.find('\n')) != std::string::npos) {
            std::string line = pending.substr(0, newline);
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            pending.erase(0, newline + 1);
            if (onLine) {
                onLine(line);
            }
        }
    }
    if (!pending.empty() && onLine) {
        onLine(pending);
    }
    closeFd(output[0]);

    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (execError != 0) {
        result.error = startError(argv[0], execError);
        return result;
    }
    result.started = true;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

bool PosixProcessRunner::startDetached(const std::vector<std::string>& argv, const std::string& workingDir)
{
    if (argv.empty()) {
        return false;
    }
    const std::string program = findInPath(argv[0]);
    if (program.empty()) {
        return false;
    }
    int report[2] = {-1, -1};
    if (::pipe2(report, O_CLOEXEC) != 0) {
        return false;
    }
    const std::vector<char*> args = execArguments(argv);
    const pid_t pid = ::fork();
    if (pid < 0) {
        closeFd(report[0]);
        closeFd(report[1]);
        return false;
    }
    if (pid == 0) {
        // The grandchild runs the program; the child ends at once so the caller can reap it.
        ::setsid();
        const pid_t grandchild = ::fork();
        if (grandchild < 0) {
            const int error = errno;
            [[maybe_unused]] ssize_t ignored = ::write(report[1], &error, sizeof error);
            ::_exit(127);
        }
        if (grandchild > 0) {
            ::_exit(0);
        }
        const int nullInput = ::open("/dev/null", O_RDWR);
        if (nullInput >= 0) {
            ::dup2(nullInput, STDIN_FILENO);
        }
        execOrReport(args.data(), program.c_str(), workingDir.c_str(), report[1]);
    }
    closeFd(report[1]);
    const int execError = readExecReport(report[0]);
    closeFd(report[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return execError == 0;
}

bool PosixProcessRunner::openWithDefaultViewer(const std::string& path)
{
    return startDetached({"xdg-open", path}, {});
}

void ImmediateProgramExit::endProgramAtOnce(int code)
{
    ::_exit(code & 0xFF);
}

void EndProgramAtOnce(int code)
{
    effects().exit->endProgramAtOnce(code);
}

} // namespace folvex
