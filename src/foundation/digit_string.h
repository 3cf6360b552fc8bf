#pragma once
// Remainder of a decimal number of any length written as text. Any thread; no state.

#include <cstdint>
#include <string>

namespace folvex {

// digits mod m. digits is read as decimal digits up to the first other character; m must be above 0
// (m of 0 or less gives 0).
std::int64_t DigitStringMod(const std::string& digits, std::int64_t m);

} // namespace folvex
