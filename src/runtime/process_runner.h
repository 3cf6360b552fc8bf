#pragma once
// The real process runner (fork and exec, no shell) and the real immediate exit. Qt-free; any
// thread may run a program, and onLine is called on the thread that waits.

#include "runtime/effects.h"

namespace folvex {

class PosixProcessRunner final : public ProcessRunner
{
public:
    // Blocks the calling thread (the window layer's runner keeps the GUI thread going). Standard input
    // is /dev/null. The child is killed when the thread that runs it ends (so at the latest when the
    // program ends, also at once or by a crash). A program that cannot be started gives started =
    // false and the reason.
    ProcessResult run(const ProcessRequest& request) override;

    // The child is not waited for (a double fork, so it leaves no zombie).
    bool startDetached(const std::vector<std::string>& argv, const std::string& workingDir) override;

    // Starts "xdg-open path" detached.
    bool openWithDefaultViewer(const std::string& path) override;
};

// _exit(code & 0xFF): no destructors, no atexit handlers, no flushing; −1 becomes status 255.
class ImmediateProgramExit final : public ProgramExit
{
public:
    [[noreturn]] void endProgramAtOnce(int code) override;
};

// Convenience: effects().exit->endProgramAtOnce(code).
void EndProgramAtOnce(int code);

} // namespace folvex
