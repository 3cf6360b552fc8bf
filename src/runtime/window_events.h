#pragma once
// The program-wide event queue the program's loops poll: one FIFO of window events. Whichever loop
// waits takes every window's events. Waiting processes Qt's own events (painting, input). The wait and
// read functions are for the GUI thread; PostCustomEvent may be called from any thread, the other
// posting functions from the GUI thread (where the windows turn Qt signals into events).

#include "runtime/handles.h"

#include <cstdint>

namespace folvex {

// The kinds of events, as WaitWindowEvent() and EventType... return them; 0 = none / timed out.
enum class EventKind : int
{
    None = 0,
    Control = 1,       // a control was used (EventControl, EventType = the control's sub-kind)
    Menu = 2,          // a menu item was chosen (EventMenu)
    CloseWindow = 3,   // the user asked to close EventWindow(); the window stays open
    Custom = 4,        // posted by PostCustomEvent (EventData)
    LeftButtonUp = 5,  // left mouse button released over EventControl (or the window) at EventX/EventY
    RightButtonUp = 6, // the same for the right button
    Key = 7,           // Esc or Return pressed while EventWindow() was active; EventType() = its virtual key
};

// The sub-kinds of control events (EventType() of an EventKind::Control event).
enum class ControlEventType : int
{
    Clicked = 0,          // a button was pressed; a check box, radio button or toggle changed its state
    Changed = 1,          // a combo box's current item or a spin box's value changed
    ReturnPressed = 2,    // Return in a text field
    SelectionChanged = 3, // the selected rows of a list view or list box changed
    DoubleClicked = 4,    // a row of a list view or list box was double-clicked
};

// Waits for the next event and makes it current; timeoutMs −1 waits without limit. Returns the
// event's kind as a number, 0 when timeoutMs passed first (never earlier).
int WaitWindowEvent(int timeoutMs = -1);

// Takes the next event if one is queued (after processing pending Qt events), else returns 0.
int WindowEvent();

// Fields of the current event (the one the last WaitWindowEvent/WindowEvent returned); 0 when not
// applicable.
Handle EventWindow();
Handle EventControl();
int EventMenu();
int EventType(); // the control's sub-kind (ControlEventType) or, for key events, the virtual key
std::intptr_t EventData();
int EventX(); // button-up position in the window's (or control's) client coordinates
int EventY();

// The kind of the current event, as an enum.
EventKind currentEventKind();

// Lets Qt paint and handle what is pending, then drops every queued event.
void DrainWindowEvents();

// Sleeps ms milliseconds while Qt's events are processed (windows keep painting); queued window events
// stay queued.
void Delay(int ms);

// Producers. window/control are handles of the runtime's registry.
void postControlEvent(Handle window, Handle control, int type = 0);
void postMenuEvent(Handle window, int menuItem);
void postCloseEvent(Handle window);
void postButtonUpEvent(Handle window, Handle control, bool rightButton, int x, int y);
void postKeyEvent(Handle window, int virtualKey);

// Any thread: queues a custom event and wakes the waiting loop.
void PostCustomEvent(Handle window, std::intptr_t data = 0);

// Number of queued events (for tests and diagnostics). Any thread.
int queuedWindowEvents();

} // namespace folvex
