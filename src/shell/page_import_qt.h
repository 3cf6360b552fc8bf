#pragma once
// The page imports on the real windows: the wait window is the program's own, centred on the main
// window, and the import slots of the shell's entry points call the importers. GUI thread.

#include "foundation/freeimage_binding.h"
#include "shell/shell_state.h"

namespace folvex {

// Fills ImportImageFiles, ImportMultipageTiff and ImportPdfViaGhostscript. state and functions must
// outlive the slots.
void installPageImports(ShellState& state, const FreeImageFunctionTable& functions);

} // namespace folvex
