#pragma once
// The port through which computing code hands work to the GUI thread: whether the caller is on it, and
// a task queued to run there later. The window layer installs the real one at start-up; tests install
// a recorder. Any thread.

#include <functional>

namespace folvex {

class GuiThreadPort
{
public:
    virtual ~GuiThreadPort() = default;

    // True when called on the GUI thread.
    virtual bool onGuiThread() const = 0;

    // Runs task on the GUI thread while it processes events; does not wait for it.
    virtual void postToGuiThread(std::function<void()> task) = 0;
};

} // namespace folvex
