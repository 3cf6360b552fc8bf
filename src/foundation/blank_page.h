#pragma once
// The blank-page test of one page bitmap against a blank-page profile. Reads the bitmap where it lies
// (no slot, no copy), so it also works while the calling thread holds its pixel-access slot. Any
// thread, as long as no other thread changes the bitmap meanwhile.

#include "runtime/handles.h"

namespace folvex {

// Samples every step-th pixel of every step-th row, starting at the top-left pixel, and counts the
// samples whose red, green and blue are each at least level. With S samples and W white ones the
// share is P = W div (S div 100), below 100 samples P = W * 100 div S. Returns 1 (blank) when
// percent <= P, else 0; -1 after the note "IsPicBlank: StartPixelFast fehlgeschlagen" (mode 1) when
// the handle is not a bitmap of 1, 4, 8, 24 or 32 bits of width x height.
// step below 1 counts as 1; level is clamped to 0..255; percent (0.0..100.0) is used unchanged.
int IsPicBlank(Handle hBitmap, int width, int height, float percent, int step, int level);

} // namespace folvex
