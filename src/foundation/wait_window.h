#pragma once
// The wait window: a small captioned window "Bitte warten..." with a progress text, centred over a
// parent window; at most one is open. Long operations change the text with
// SetText(WaitWindowText(), ...). Not modal. GUI thread.

#include "runtime/handles.h"

#include <cstdint>
#include <string>

namespace folvex {

inline constexpr char WaitWindowTitle[] = "Bitte warten...";
inline constexpr char WaitWindowOpenTwiceNote[] =
    "Prozedur XWarten ohne vorheriges XWartenEnde nochmal aufgerufen!\\n\\nZweiter Aufruf wird ignoriert.";
inline constexpr char WaitWindowNotOpenNote[] =
    "Prozedur XWartenEnde ohne vorheriges XWarten nochmal aufgerufen!\\n\\nZweiter Aufruf wird ignoriert.";

// Opens the wait window: text in font (0 = the default font) with margin pixels around it, the
// window filled with colour 0x00BBGGRR (−1 = the normal window colour), the text moved by dx, dy,
// centred on parent's outer rectangle (0 = the main window). The window's client area is as wide as
// the text plus both margins; the text control keeps that size when its text changes. A wait window
// already open is kept and the call is refused with a note (mode 1). Returns 0.
int XWarten(
    const std::string& text, Handle font, int margin, std::int32_t colour, int dx, int dy, Handle parent);

// Gives the focus back to the main window and closes the wait window; without one, refuses with a
// note (mode 1). Returns 0.
int XWartenEnde();

// The open wait window and its text control; 0 when none is open.
Handle WaitWindow();
Handle WaitWindowText();

// The wait window's subclass procedure (id 1, refData 0): the text's colours live in its palette,
// so it passes everything on.
std::intptr_t WaitTextColourProc(
    Handle hwnd,
    std::uint32_t message,
    std::intptr_t wParam,
    std::intptr_t lParam,
    std::intptr_t id,
    std::intptr_t refData);

} // namespace folvex
