#pragma once
// The program's view of keyboard and mouse: a key-state table of virtual keys fed by an
// application-wide event filter, and the last known pointer position. The table is cleared when the
// application loses activation, so a loop waiting for a release always ends. Pressing Esc or Return
// in a registered window posts a key event for it (window_events.h). GUI thread.

#include <QPoint>

class QWidget;

namespace folvex {

// Virtual keys the table records.
inline constexpr int VkLeftButton = 1;
inline constexpr int VkRightButton = 2;
inline constexpr int VkBackspace = 8;
inline constexpr int VkTab = 9;
inline constexpr int VkReturn = 13; // Return and Enter
inline constexpr int VkShift = 16;
inline constexpr int VkControl = 17; // also held while AltGr is held
inline constexpr int VkAlt = 18;
inline constexpr int VkEscape = 27;
inline constexpr int VkSpace = 32;
inline constexpr int VkLeft = 37; // then up 38, right 39, down 40
inline constexpr int VkDelete = 46;
inline constexpr int VkDigit0 = 48;  // digits 48-57
inline constexpr int VkLetterA = 65; // letters 65-90
// Upper-case Latin-1 letters (À-Þ without ×, 192-222) are recorded under their character codes, so
// an accelerator letter such as "Ä" reads as its code.
inline constexpr int VkF1 = 112;       // F1-F12 112-123
inline constexpr int VkRightAlt = 165; // right Alt and AltGr

// Installs the event filter on the application (once; later calls do nothing). It is installed by
// itself when the application object is made, and by the first query.
void installInputState();

// Whether the virtual key (or mouse button 1/2) is held, as the table knows it. Consumes nothing and
// asks no window; keys outside 0-255 are never down.
bool KeyIsDown(int vk);

// The top-level window whose widget received the press of the held key vk, or nullptr when vk is not
// held or its press reached no widget. A key pressed in a popup menu or a modal box keeps naming that
// window after it closed, until the key is let go.
QWidget* keyPressWindow(int vk);

// Forgets every held key and button.
void clearKeyStates();

// Counts every press and release of a recorded key or button. A loop that sleeps until the next
// window event compares it, so it also wakes when input changed what KeyIsDown answers.
unsigned long long keyStateChanges();

// The last pointer position in screen coordinates that the program's mouse events reported, or the
// one set by setPointerPosition.
QPoint pointerPosition();
void setPointerPosition(QPoint globalPos);

} // namespace folvex
