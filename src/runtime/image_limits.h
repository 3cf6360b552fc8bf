#pragma once
// The largest picture the program decodes into memory at once. Qt-free; any thread.

#include <cstdint>

namespace folvex {

// In bytes of decoded pixels, rows padded to 4 bytes as bitmaps keep them. An A3 page at 1200 dpi in
// 24-bit colour (14,031 × 19,843 pixels, about 835 MB) fits; no accepted picture comes near the 4 GiB
// that a bitmap file's header can state.
inline constexpr std::uint64_t MaxDecodedImageBytes = std::uint64_t{1} << 30;

} // namespace folvex
