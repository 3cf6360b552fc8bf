#pragma once
// The foundation's small window routines: geometry on the outer-rectangle model, kept style bits,
// fixed system metrics, pointer and keyboard state, scroll-bar controls, subclass procedures and word
// and bit helpers. Window handles are the runtime registry's; an unknown handle gives 0 (or the
// routine's failure value). Texts are UTF-8. GUI thread.

#include "runtime/handles.h"
#include "runtime/subclass.h"
#include "runtime/window_geometry.h"

#include <cstdint>
#include <string>

namespace folvex {

// Window geometry in pixels, screen coordinates. A top-level window's outer rectangle is its client
// area grown by the fixed frame, caption and menu metrics; a child control's is its own rectangle.
int WindowLeft(Handle hwnd);
int WindowTop(Handle hwnd);
int WindowRight(Handle hwnd);
int WindowBottom(Handle hwnd);
int WindowWidth(Handle hwnd);
int WindowHeight(Handle hwnd);
int ClientWidth(Handle hwnd);
int ClientHeight(Handle hwnd);

// Style bits as kept for the handle: ex = 0 the style, otherwise the extended style.
std::uint32_t GetStyle(Handle hwnd, int ex);

// Replaces the kept style (ex = 0) or extended style bits. Returns 0.
int SetStyle(Handle hwnd, std::uint32_t value, int ex);

// 1 when the style has a border, a dialog frame or a sizing frame, else 0.
int HasFrame(Handle hwnd);

// 1 when the style has a sizing frame.
int HasSizingFrame(Handle hwnd);

// 2 for a tool window, 1 for a full caption, else 0.
int CaptionKind(Handle hwnd);

int HasMenu(Handle hwnd);
int IsMaximized(Handle hwnd);

// Enables (on ≠ 0) or disables the control. Returns 0.
int EnableControl(Handle hwnd, int on);

// Sets the text of a control or the title of a window; 1 when set, 0 for an unknown handle. Carriage
// returns break the lines of a label.
int SetText(Handle hwnd, const std::string& text);

// Repaints the widget now (erase: the background is painted anyway). Returns 0.
int Redraw(Handle hwnd, int erase);

// FrameWidth(), DialogFrameWidth(), CaptionHeight(), SmallCaptionHeight() and MenuHeight() are the
// fixed metrics of runtime/window_geometry.h.

// Size of the primary screen in pixels; 0 without a screen.
int ScreenWidth();
int ScreenHeight();

// The pointer position in screen coordinates.
int DesktopMouseX();
int DesktopMouseY();

// Flags of WindowMouseX/WindowMouseY, to be added: 1 no frame, 2 no caption, 4 no menu, 8 frame
// even without frame style, 16 caption even without caption style, 32 menu even without menu.
// raw ≠ 0 gives the position relative to the outer rectangle.
int WindowMouseX(Handle hwnd, int raw, int flags);
int WindowMouseY(Handle hwnd, int raw, int flags);

// Modifiers of KeyDown, to be added.
inline constexpr int KeyModShift = 1;
inline constexpr int KeyModCtrl = 2;
inline constexpr int KeyModAlt = 4;
inline constexpr int KeyModAltGr = 8;

// 1 when vk is held with every requested modifier (Ctrl and Alt do not count while AltGr is held)
// and, for hwnd ≠ 0, hwnd is the application's active window; a 1 also takes one queued window
// event (without waiting). Otherwise 0.
int KeyDown(int vk, int modifiers, Handle hwnd);

// Scroll-bar controls (a QScrollBar). Positions are clamped to the range, as the control keeps them.
// GetScrollBarPos: the position (0 for no scroll bar). SetScrollBarPos, SetScrollBarRange: the
// position afterwards. GetScrollBarRange: 1, or 0 for no scroll bar (then nothing is written).
int GetScrollBarPos(Handle hwnd);
int SetScrollBarPos(Handle hwnd, int pos);
int GetScrollBarRange(Handle hwnd, std::int32_t* minAddress, std::int32_t* maxAddress);
int SetScrollBarRange(Handle hwnd, int min, int max);

// on = 1 attaches InputSubclassProc to the control (once per control), on = 0 detaches it; other
// values do nothing. Returns 0.
int EditSubclass(Handle hwnd, int on, std::intptr_t refData);

// on = 1 attaches proc with id and refData, on = 0 detaches (proc, id), other values do nothing.
// Returns 0.
int Subclass(Handle hwnd, int on, SubclassProc proc, std::intptr_t id, std::intptr_t refData);

// Selects the whole text of an edit field or spin box when it gets the focus.
std::intptr_t InputSubclassProc(
    Handle hwnd,
    std::uint32_t message,
    std::intptr_t wParam,
    std::intptr_t lParam,
    std::intptr_t id,
    std::intptr_t refData);

// The record ClickWatchProc's refData points to.
struct ClickWatchRecord
{
    std::int32_t unused = 0;
    std::int32_t control = 0; // the watched button's handle
    std::int32_t clicked = 0; // set to 1 by a click of that button
};

// Sets the record's clicked flag when the watched child button is clicked.
std::intptr_t ClickWatchProc(
    Handle hwnd,
    std::uint32_t message,
    std::intptr_t wParam,
    std::intptr_t lParam,
    std::intptr_t id,
    std::intptr_t refData);

// The low and high 16 bits of v, sign-extended.
int LoWord(std::intptr_t v);
int HiWord(std::intptr_t v);

// 1 when bit (0 = lowest, up to 63) is set in value; 0 for bits outside 0-63.
int BitSet(std::int64_t value, int bit);

// Plays the system sound of type (64, 32, 48, 16; 0 the simple beep). Returns 0.
int SystemBeep(std::uint32_t type);

// Window-enumeration callback: lParam is the address of a zero-ended UTF-8 text. When the window's
// title begins with it, keeps hwnd as windowFoundByTitle() and returns 0 (stop), otherwise 1.
int FindWindowByTitleProc(Handle hwnd, std::intptr_t lParam);

// The window the last successful FindWindowByTitleProc kept; 0 before.
Handle windowFoundByTitle();

} // namespace folvex
