#pragma once
// Subclass procedures: observers attached to a widget by (procedure, id) that receive a small set of
// window messages about it. They observe only: every event still reaches the widget. GUI thread.

#include "runtime/handles.h"

#include <cstdint>

namespace folvex {

// The messages a subclass procedure receives.
inline constexpr std::uint32_t SizeMessage = 0x0005;          // WM_SIZE: lParam = width | height << 16
inline constexpr std::uint32_t SetFocusMessage = 0x0007;      // WM_SETFOCUS
inline constexpr std::uint32_t HelpMessage = 0x0053;          // WM_HELP: F1 over the widget
inline constexpr std::uint32_t CommandMessage = 0x0111;       // WM_COMMAND: a child button was clicked
inline constexpr std::uint32_t LeftButtonUpMessage = 0x0202;  // WM_LBUTTONUP: lParam = x | y << 16
inline constexpr std::uint32_t RightButtonUpMessage = 0x0205; // WM_RBUTTONUP: lParam = x | y << 16

// WM_SIZE's wParam.
inline constexpr std::intptr_t SizeRestored = 0;
inline constexpr std::intptr_t SizeMinimized = 1;
inline constexpr std::intptr_t SizeMaximized = 2;

// Mouse-key flags in the wParam of the button-up messages: buttons and keys still held.
inline constexpr std::intptr_t MouseKeyLeft = 0x01;
inline constexpr std::intptr_t MouseKeyRight = 0x02;
inline constexpr std::intptr_t MouseKeyShift = 0x04;
inline constexpr std::intptr_t MouseKeyControl = 0x08;
inline constexpr std::intptr_t MouseKeyMiddle = 0x10;

// (hwnd, message, wParam, lParam, id, refData) → result. Positions in lParam are client coordinates,
// 16 bits each (negative values as their 16-bit two's complement). WM_COMMAND: wParam 0 (code 0,
// identifier 0), lParam = the clicked button's handle. WM_SIZE: the client size.
using SubclassProc = std::intptr_t (*)(
    Handle hwnd,
    std::uint32_t message,
    std::intptr_t wParam,
    std::intptr_t lParam,
    std::intptr_t id,
    std::intptr_t refData);

// Attaches proc with id to the widget behind hwnd; attaching the same (proc, id) again only replaces
// refData. False when hwnd is no widget or proc is null. The attachment ends with the widget.
bool SetWindowSubclass(Handle hwnd, SubclassProc proc, std::intptr_t id, std::intptr_t refData);

// Detaches (proc, id); false when it was not attached.
bool RemoveWindowSubclass(Handle hwnd, SubclassProc proc, std::intptr_t id);

// The end of every subclass procedure: the widget handles the event itself, so this returns 0.
std::intptr_t DefSubclassProc(Handle hwnd, std::uint32_t message, std::intptr_t wParam, std::intptr_t lParam);

// Delivers a message to the procedures attached to hwnd, the most recently attached first; returns
// the first procedure's result (0 when none is attached).
std::intptr_t
sendSubclassMessage(Handle hwnd, std::uint32_t message, std::intptr_t wParam, std::intptr_t lParam);

// Number of procedures attached to hwnd (for tests and diagnostics).
int subclassCount(Handle hwnd);

} // namespace folvex
