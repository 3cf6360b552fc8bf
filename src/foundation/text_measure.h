#pragma once
// Pixel extent of a text: the advance of the whole text (one line) and the font's height, in the
// font of a window (hwnd ≠ 0), of the main window (hwnd 0, font 0) or a given font handle. GUI thread.

#include "runtime/handles.h"

#include <string>

namespace folvex {

// 0 for an empty text or an unknown window handle.
int MeasureTextWidth(const std::string& text, Handle hwnd, Handle font);
int MeasureTextHeight(const std::string& text, Handle hwnd, Handle font);

} // namespace folvex
