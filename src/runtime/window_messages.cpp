#include "runtime/window_messages.h"

#include "runtime/object_registry.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <map>
#include <unistd.h>

namespace folvex {
namespace {

// GUI-thread state of the message vocabulary.
struct MessageState
{
    std::map<Handle, WindowCallback> callbacks;
    Handle mainWindow = NoHandle;
    int heldSignals = 0;
    bool signalsInstalled = false;
};

// Never destroyed: other objects that live until exit() may still reach it from their destructors.
MessageState& messageState()
{
    static auto* state = new MessageState;
    return *state;
}

// Written by the signal handler, read by the event loop. Only the handler touches it outside the GUI
// thread, and only with write().
int signalPipeWrite = -1;

extern "C" void onQuitSignal(int)
{
    const int savedErrno = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t ignored = ::write(signalPipeWrite, &byte, 1);
    errno = savedErrno;
}

bool onGuiThread()
{
    const QCoreApplication* app = QCoreApplication::instance();
    return app == nullptr || QThread::currentThread() == app->thread();
}

// GUI thread: runs the window's callback; 0 for no callback, a gone window or default processing.
std::intptr_t deliver(Handle window, std::uint32_t message, std::intptr_t wParam, std::intptr_t lParam)
{
    MessageState& state = messageState();
    const auto found = state.callbacks.find(window);
    if (found == state.callbacks.end()) {
        return 0;
    }
    if (findObject(window) == nullptr) {
        state.callbacks.erase(found);
        return 0;
    }
    // A copy: the callback may replace or remove itself.
    const WindowCallback callback = found->second;
    return callback(window, message, wParam, lParam).value_or(0);
}

void deliverHeldSignals()
{
    MessageState& state = messageState();
    while (state.heldSignals > 0 && state.mainWindow != NoHandle &&
           state.callbacks.count(state.mainWindow) != 0 && findObject(state.mainWindow) != nullptr) {
        --state.heldSignals;
        deliver(state.mainWindow, AppQuitMessage, 0, 0);
    }
}

sigset_t quitSignalSet()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGUSR1);
    sigaddset(&set, SIGTERM);
    return set;
}

} // namespace

void SetWindowCallback(Handle window, WindowCallback callback)
{
    MessageState& state = messageState();
    if (callback) {
        state.callbacks[window] = std::move(callback);
    } else {
        state.callbacks.erase(window);
    }
    if (window == state.mainWindow) {
        deliverHeldSignals();
    }
}

std::intptr_t
SendWindowMessage(Handle window, std::uint32_t message, std::intptr_t wParam, std::intptr_t lParam)
{
    if (onGuiThread()) {
        return deliver(window, message, wParam, lParam);
    }
    std::intptr_t result = 0;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [&result, window, message, wParam, lParam] { result = deliver(window, message, wParam, lParam); },
        Qt::BlockingQueuedConnection);
    return result;
}

void setMainWindowHandle(Handle window)
{
    messageState().mainWindow = window;
    deliverHeldSignals();
}

Handle mainWindowHandle()
{
    return messageState().mainWindow;
}

void blockQuitSignals()
{
    const sigset_t set = quitSignalSet();
    ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void installQuitSignals()
{
    MessageState& state = messageState();
    if (state.signalsInstalled) {
        return;
    }
    int fds[2] = {-1, -1};
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        return;
    }
    signalPipeWrite = fds[1];
    const int readFd = fds[0];
    auto* notifier = new QSocketNotifier(readFd, QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [readFd] {
        char buffer[64];
        ssize_t got = 0;
        while ((got = ::read(readFd, buffer, sizeof buffer)) > 0) {
            messageState().heldSignals += static_cast<int>(got);
        }
        deliverHeldSignals();
    });

    struct sigaction action = {};
    action.sa_handler = onQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGUSR1, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    state.signalsInstalled = true;

    const sigset_t set = quitSignalSet();
    ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

int heldQuitSignals()
{
    return messageState().heldSignals;
}

} // namespace folvex
