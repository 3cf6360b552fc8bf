#pragma once
// Deterministic window geometry: fixed system metrics and the relation between a top-level window's
// client area and its outer rectangle, independent of the window manager's real frame. GUI thread for
// the handle functions; the formulas are pure.

#include "runtime/handles.h"

#include <cstdint>

namespace folvex {

// A fixed system metric in pixels. It reads as an int (FrameWidth) and can be called like the
// metric routines the program's layout code is written with (FrameWidth()); both give the same value.
struct SystemMetric
{
    int value = 0;

    constexpr operator int() const { return value; }

    constexpr int operator()() const { return value; }
};

inline constexpr SystemMetric FrameWidth{4};          // sizing frame, each side, pixels
inline constexpr SystemMetric DialogFrameWidth{3};    // fixed (dialog) frame, each side, pixels
inline constexpr SystemMetric CaptionHeight{23};      // title bar, pixels
inline constexpr SystemMetric SmallCaptionHeight{19}; // title bar of a tool window, pixels
inline constexpr SystemMetric MenuHeight{20};         // a menu bar (one line), pixels

// Window-style bits that decide the frame.
inline constexpr std::uint32_t StyleBorder = 0x00800000;      // WS_BORDER
inline constexpr std::uint32_t StyleDialogFrame = 0x00400000; // WS_DLGFRAME
inline constexpr std::uint32_t StyleCaption = 0x00C00000;     // WS_CAPTION = border + dialog frame
inline constexpr std::uint32_t StyleThickFrame = 0x00040000;  // WS_THICKFRAME
inline constexpr std::uint32_t StyleChild = 0x40000000;       // WS_CHILD

// Extended-style bit of a tool window (small caption), kept per handle (setExStyleOf).
inline constexpr std::uint32_t ExStyleToolWindow = 0x00000080; // WS_EX_TOOLWINDOW

struct WindowRect
{
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;

    bool operator==(const WindowRect&) const = default;
};

// What surrounds the client area of a window made with a style.
struct WindowFrame
{
    int frame = 0;   // each side
    int caption = 0; // above the menu bar and client area
    int menu = 0;    // MenuHeight when there is a menu bar
};

// Sizing frame: FrameWidth; else a dialog frame: DialogFrameWidth; else a border: 1; else 0. A full
// caption adds CaptionHeight (SmallCaptionHeight for tool windows); child windows get no menu bar.
WindowFrame frameForStyle(std::uint32_t style, bool hasMenu, bool toolWindow = false);

// outer = client grown by the frame on every side and by caption + menu on top.
WindowRect outerFromClient(const WindowRect& client, const WindowFrame& frame);

// The inverse of outerFromClient (sizes never below 0).
WindowRect clientFromOuter(const WindowRect& outer, const WindowFrame& frame);

// A registered window's client rectangle in screen coordinates and its outer rectangle, from its kept
// style, extended style (ExStyleToolWindow: small caption) and menu flag. A top-level window's widget holds
// the menu bar (MenuHeight high, at its top) and the client area below it. A child window has no frame here:
// its outer rectangle is its widget's. All zero for an unknown handle.
WindowRect windowClientRect(Handle window);
WindowRect windowOuterRect(Handle window);

// Places a registered window so that windowOuterRect() gives outer. False for an unknown handle.
bool placeWindowByOuterRect(Handle window, const WindowRect& outer);

// Places a registered window by its client rectangle (screen coordinates for top-level windows, the
// parent's client coordinates for child windows).
bool placeWindowByClientRect(Handle window, const WindowRect& client);

} // namespace folvex
