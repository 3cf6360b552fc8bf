#pragma once
// Integer handles of the runtime's objects (windows, controls, menus, images, fonts, brushes, pens).
// 0 means none; numbers start above 1000 and are never reused. Any thread.

#include <cstdint>

namespace folvex {

using Handle = std::intptr_t;

inline constexpr Handle NoHandle = 0;
inline constexpr Handle FirstHandle = 1001;

// A fresh handle number, unique for the life of the process.
Handle allocateHandle();

} // namespace folvex
