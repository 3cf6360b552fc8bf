#pragma once
// A dialog made only of the window layer's dialog pieces: an owned dialog window with a combo box, a
// spin box, a check box, a toggle, a text field, two buttons, a list view and a scroll area. The
// control gallery tool shows it; the window tests drive it. GUI thread.

#include "runtime/handles.h"

namespace folvex {

struct GalleryDialog
{
    Handle window = NoHandle;
    Handle combo = NoHandle;
    Handle spin = NoHandle;
    Handle check = NoHandle;
    Handle toggle = NoHandle;
    Handle edit = NoHandle;
    Handle okButton = NoHandle;
    Handle cancelButton = NoHandle;
    Handle list = NoHandle;
    Handle scrollArea = NoHandle;
};

inline constexpr int GalleryClientWidthPx = 370;
inline constexpr int GalleryClientHeightPx = 300;

// Opens the dialog over owner (NoHandle: the main window).
GalleryDialog openGalleryDialog(Handle owner);

} // namespace folvex
