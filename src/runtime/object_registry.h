#pragma once
// The handle registry of the window layer: windows, controls and menus (QObjects) by integer handle,
// both ways, with the style bits kept per handle. The registry owns nothing: a QObject stays owned by
// its Qt parent (or its creator), and once it is destroyed its handle reads as none. Handles come from
// allocateHandle() and are never reused. Any thread may look up; objects are used on the GUI thread.

#include "runtime/handles.h"

#include <QObject>
#include <QWidget>

#include <cstdint>

namespace folvex {

enum class ObjectKind
{
    None = 0,
    Window = 1,
    Control = 2,
    Menu = 3,
    Font = 4,
    Brush = 5,
    Pen = 6,
};

// Gives object a fresh handle (or returns its handle when it already has one). style: the
// window-style bits the object was made with (WS_… values), kept for later queries.
Handle registerObject(QObject* object, ObjectKind kind, std::uint32_t style = 0);

// The object behind a handle; nullptr for 0, an unknown handle, a destroyed object or a handle of a
// font, brush or pen.
QObject* findObject(Handle handle);

// findObject() as a widget; nullptr when it is none.
QWidget* findWidget(Handle handle);

// The handle of a registered object; NoHandle when it has none (or is nullptr).
Handle handleOf(const QObject* object);

// ObjectKind::None for unknown handles and destroyed objects.
ObjectKind kindOf(Handle handle);

// The kept style bits; 0 for unknown handles.
std::uint32_t styleOf(Handle handle);

// Replaces the kept style bits (no effect on the object itself). False for an unknown handle.
bool setStyleOf(Handle handle, std::uint32_t style);

// The kept extended-style bits (WS_EX_… values); 0 for unknown handles and by default.
std::uint32_t exStyleOf(Handle handle);

// Replaces the kept extended-style bits. False for an unknown handle.
bool setExStyleOf(Handle handle, std::uint32_t exStyle);

// Whether a top-level window has a menu bar (counted in its outer rectangle); false by default.
bool hasMenuBar(Handle handle);
void setHasMenuBar(Handle handle, bool hasMenu);

// Forgets a handle without touching its object (which then has no handle). For handles whose object
// is deleted by other means, the registry notices the destruction itself.
void releaseHandle(Handle handle);

} // namespace folvex
