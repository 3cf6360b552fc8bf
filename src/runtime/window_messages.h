#pragma once
// The small message vocabulary of the runtime: a per-window callback for AppMessage (WM_APP) and
// AppQuitMessage (WM_APP+1), SendWindowMessage from any thread, and the quit signals SIGUSR1 and SIGTERM
// delivered as AppQuitMessage to the main window.

#include "runtime/handles.h"

#include <cstdint>
#include <functional>
#include <optional>

namespace folvex {

inline constexpr std::uint32_t AppMessage = 0x8000;     // WM_APP
inline constexpr std::uint32_t AppQuitMessage = 0x8001; // WM_APP+1: a request to quit

// A callback's answer: a result, or std::nullopt (DefaultProcessing) for the runtime's default
// processing (which gives 0).
using MessageResult = std::optional<std::intptr_t>;
inline constexpr MessageResult DefaultProcessing = std::nullopt;

using WindowCallback = std::function<MessageResult(
    Handle window, std::uint32_t message, std::intptr_t wParam, std::intptr_t lParam)>;

// GUI thread. Installs (or with an empty function removes) the window's callback; it is dropped when
// the window is destroyed. Installing the main window's callback delivers any held quit signals.
void SetWindowCallback(Handle window, WindowCallback callback);

// Any thread. Runs the window's callback on the GUI thread (waiting until it has run; the GUI thread
// runs it while it processes events, e.g. in WaitWindowEvent) and returns its result; 0 when the
// window has no callback, is gone, or the callback asks for default processing.
std::intptr_t
SendWindowMessage(Handle window, std::uint32_t message, std::intptr_t wParam, std::intptr_t lParam);

// GUI thread. The window that quit signals are delivered to; held signals are delivered when it has a
// callback.
void setMainWindowHandle(Handle window);
Handle mainWindowHandle();

// Call first in main(), before any thread exists: blocks SIGUSR1 and SIGTERM so one arriving during
// start-up waits instead of killing the process.
void blockQuitSignals();

// GUI thread, after the QApplication exists: installs async-signal-safe handlers for SIGUSR1 and
// SIGTERM (a self-pipe read by the event loop), then unblocks both. Each signal arrives as
// AppQuitMessage (wParam 0, lParam 0) at the main window's callback; one that arrives before the
// main window or its callback exists is held until both do. Calling it again does nothing.
void installQuitSignals();

// Signals received and not yet delivered (for tests).
int heldQuitSignals();

} // namespace folvex
