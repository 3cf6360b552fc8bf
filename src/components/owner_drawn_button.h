#pragma once
// Owner-drawn push buttons: controls that paint one of seven faces from their slot of the button
// table and raise a Clicked flag that the caller's loop polls with ODBClicked. At most 50 live
// buttons; a destroyed button (or closed dialog) frees its slot. GUI thread.

#include "components/owner_drawn_button_table.h"
#include "runtime/handles.h"

#include <string>

namespace folvex {

// Starts the component with every slot never used. A second call without DeInitODB shows a note
// and changes nothing. Slots of destroyed buttons are always freed, whatever withDestroyHook says.
// Returns 0.
int InitODB(int withDestroyHook);

// Destroys every live button and stops the component. Returns 0.
int DeInitODB();

// A new button of parent window hParent at x, y (client pixels) with the given size and caption
// ("&" marks the mnemonic); props is copied with its fall-backs applied. Returns the button's
// control handle, or 0 with a note when the component is not started, 50 buttons live or the
// parent is not a window.
Handle CreateODB(
    Handle hParent, const std::string& text, int x, int y, int width, int height, const ODBProperties& props);

// Frees the button's slot and deletes it (later, when called from inside the button's own event).
// 1 when the button was known, else 0 with a note.
int DestroyODB(Handle hButton);

// The pen's style: 0 solid, 1 dash, 2 dot, 3 dash-dot, 4 dash-dot-dot, 5 null; 0 for 0 or a handle
// that is not a pen.
int ODBPenStyle(Handle pen);

// Queues a control event for the button, so that a loop waiting for events wakes and polls it.
// Returns 0.
int ODBClickEvent(Handle hButton);

// The brush of disabled faces that set none: light grey (192, 192, 192). Made once, never deleted.
Handle odbStockLightGreyBrush();

} // namespace folvex
