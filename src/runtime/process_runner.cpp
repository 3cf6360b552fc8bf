#include "runtime/process_runner.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string_view>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

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

// In the child, before exec: the signal mask and the dispositions a caller's thread may have changed
// go back to their defaults, as exec keeps both. Async-signal-safe.
void resetSignals()
{
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    for (const int signal : {SIGPIPE, SIGTERM, SIGUSR1, SIGINT, SIGHUP}) {
        ::signal(signal, SIG_DFL);
    }
}

// In the child of a waited run: signals reset, and the child is killed when the thread that started
// it ends, which at the latest is when the program ends, however it ends. Async-signal-safe.
void prepareWaitedChild(pid_t parent)
{
    resetSignals();
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    // The program may have ended between fork and prctl.
    if (::getppid() != parent) {
        ::_exit(127);
    }
}

// In the child: changes folder and execs; on failure writes errno to the close-on-exec report pipe.
[[noreturn]] void execOrReport(
    char* const* args, char* const* environment, const char* program, const char* workingDir, int reportFd)
{
    if (workingDir[0] != '\0' && ::chdir(workingDir) != 0) {
        const int error = errno;
        [[maybe_unused]] ssize_t ignored = ::write(reportFd, &error, sizeof error);
        ::_exit(127);
    }
    ::execve(program, args, environment);
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

// Both ends close-on-exec, so a child started meanwhile by another thread does not hold them open.
struct Pipe
{
    int readEnd = -1;
    int writeEnd = -1;

    Pipe() = default;
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;

    ~Pipe()
    {
        closeFd(readEnd);
        closeFd(writeEnd);
    }

    bool open()
    {
        int fds[2] = {-1, -1};
        if (::pipe2(fds, O_CLOEXEC) != 0) {
            return false;
        }
        readEnd = fds[0];
        writeEnd = fds[1];
        return true;
    }
};

// The program's environment with the "NAME=value" entries of extra replacing or adding their names.
std::vector<std::string> childEnvironment(const std::vector<std::string>& extra)
{
    const auto nameOf = [](std::string_view entry) { return entry.substr(0, entry.find('=')); };
    std::vector<std::string> entries;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string_view name = nameOf(*entry);
        const bool replaced = std::any_of(
            extra.begin(), extra.end(), [&](const std::string& added) { return nameOf(added) == name; });
        if (!replaced) {
            entries.emplace_back(*entry);
        }
    }
    entries.insert(entries.end(), extra.begin(), extra.end());
    return entries;
}

// Splits the bytes of one stream into lines, LF or CR LF ending a line.
class LineSplitter
{
public:
    LineSplitter(OutputStream stream, const OutputLineHandler& onLine)
        : m_stream(stream)
        , m_onLine(onLine)
    {}

    void add(const char* data, std::size_t size)
    {
        m_pending.append(data, size);
        std::size_t start = 0;
        std::size_t newline = 0;
        while ((newline = m_pending.find('\n', start)) != std::string::npos) {
            std::size_t end = newline;
            if (end > start && m_pending[end - 1] == '\r') {
                --end;
            }
            emit(m_pending.substr(start, end - start));
            start = newline + 1;
        }
        m_pending.erase(0, start);
    }

    void finish()
    {
        if (!m_pending.empty()) {
            emit(m_pending);
            m_pending.clear();
        }
    }

private:
    void emit(const std::string& line)
    {
        if (m_onLine) {
            m_onLine(m_stream, line);
        }
    }

    OutputStream m_stream;
    const OutputLineHandler& m_onLine;
    std::string m_pending;
};

// Reads standard output and standard error together until both are closed, so a program that fills
// one pipe while the other is read cannot block.
void readLines(int outputFd, int errorFd, const OutputLineHandler& onLine)
{
    LineSplitter outputLines(OutputStream::StandardOutput, onLine);
    LineSplitter errorLines(OutputStream::StandardError, onLine);
    pollfd fds[2] = {{outputFd, POLLIN, 0}, {errorFd, POLLIN, 0}};
    LineSplitter* splitters[2] = {&outputLines, &errorLines};
    char buffer[4096];
    while (fds[0].fd >= 0 || fds[1].fd >= 0) {
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) {
                continue;
            }
            const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
            if (got < 0 && (errno == EINTR || errno == EAGAIN)) {
                continue;
            }
            if (got <= 0) {
                // poll ignores negative descriptors; the pipe itself is closed by its owner.
                fds[i].fd = -1;
                continue;
            }
            splitters[i]->add(buffer, static_cast<std::size_t>(got));
        }
    }
    outputLines.finish();
    errorLines.finish();
}

} // namespace

ProcessResult PosixProcessRunner::run(const ProcessRequest& request)
{
    ProcessResult result;
    if (request.argv.empty()) {
        result.error = "no program given";
        return result;
    }
    const std::string program = findInPath(request.argv[0]);
    if (program.empty()) {
        result.error = request.argv[0] + ": program not found";
        return result;
    }
    Pipe output;
    Pipe errors;
    Pipe report;
    if (!output.open() || !errors.open() || !report.open()) {
        result.error = startError("pipe", errno);
        return result;
    }
    const std::vector<char*> args = execArguments(request.argv);
    std::vector<std::string> environmentEntries = childEnvironment(request.environment);
    const std::vector<char*> environment = execArguments(environmentEntries);
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0) {
        result.error = startError("fork", errno);
        return result;
    }
    if (pid == 0) {
        prepareWaitedChild(parent);
        const int nullInput = ::open("/dev/null", O_RDONLY);
        if (nullInput >= 0) {
            ::dup2(nullInput, STDIN_FILENO);
        }
        ::dup2(output.writeEnd, STDOUT_FILENO);
        ::dup2(errors.writeEnd, STDERR_FILENO);
        execOrReport(
            args.data(), environment.data(), program.c_str(), request.workingDir.c_str(), report.writeEnd);
    }
    closeFd(output.writeEnd);
    closeFd(errors.writeEnd);
    closeFd(report.writeEnd);
    const int execError = readExecReport(report.readEnd);

    readLines(output.readEnd, errors.readEnd, request.onLine);

    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (execError != 0) {
        result.error = startError(request.argv[0], execError);
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
        resetSignals();
        const int nullInput = ::open("/dev/null", O_RDWR);
        if (nullInput >= 0) {
            ::dup2(nullInput, STDIN_FILENO);
        }
        execOrReport(args.data(), environ, program.c_str(), workingDir.c_str(), report[1]);
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
