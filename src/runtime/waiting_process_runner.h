#pragma once
// The program's process runner: on the GUI thread a run waits for its program while the thread keeps
// processing window events, so windows repaint and timers run while a silent program works; on any
// other thread it blocks like the plain runner. Any thread; a QApplication must exist for the waiting.

#include "runtime/process_runner.h"

namespace folvex {

class WaitingProcessRunner final : public ProcessRunner
{
public:
    // On the GUI thread the program runs on a helper thread; its lines reach onLine on the GUI thread in
    // the order they came. Input that arrives meanwhile is handled as usual: controls post their events
    // to the program's event queue, where they wait for the caller; nothing is dropped. The result is
    // the plain runner's.
    ProcessResult run(const ProcessRequest& request) override;

    bool startDetached(const std::vector<std::string>& argv, const std::string& workingDir) override;
    bool openWithDefaultViewer(const std::string& path) override;

private:
    PosixProcessRunner m_runner;
};

} // namespace folvex
