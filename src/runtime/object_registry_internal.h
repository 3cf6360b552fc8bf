#pragma once
// The registry's storage of fonts, brushes and pens, for draw_objects.cpp. GUI thread.

#include "runtime/object_registry.h"

#include <QBrush>
#include <QFont>
#include <QPen>

#include <variant>

namespace folvex {

using DrawObject = std::variant<std::monostate, QFont, QBrush, QPen>;

// Keeps value under a fresh handle of the given kind.
Handle registerDrawObject(ObjectKind kind, DrawObject value);

// The kept value; nullptr for handles without one. Valid until eraseDrawObject(handle).
const DrawObject* findDrawObject(Handle handle);

// Frees a draw object; false when handle has none.
bool eraseDrawObject(Handle handle);

} // namespace folvex
