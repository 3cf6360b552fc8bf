#pragma once
// The colour picker: freezes the primary screen in a full-screen window, lets the user click a pixel
// and returns its colour. Modal by covering the screen; all its objects live only during the call.
// GUI thread.

#include <cstdint>
#include <string>

namespace folvex {

inline constexpr char ColorPickerTitle[] = "ColorPicker";
inline constexpr char ColorPickerUnavailableNote[] =
    "Die Farbaufnahme vom Bildschirm ist hier nicht möglich.";

// hideFirst: hide the windows before the screen is grabbed (else after). windowList: nullptr, or
// {n, handle 1, ..., handle n} of windows to hide during the call (the active window is hidden as
// well); all are shown again afterwards and the active window gets the focus back. hint: the text of
// the hint window. Returns the clicked pixel as 0x00BBGGRR, or −1 for Esc, a click outside the frozen
// screen, or a screen that cannot be grabbed (after a note). With effects().colourPicks set, that
// answers instead and nothing is shown or hidden.
std::int32_t ColorPicker(bool hideFirst, const std::intptr_t* windowList, const std::string& hint);

} // namespace folvex
