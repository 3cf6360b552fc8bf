#pragma once
// Whether the pages in the temporary folder were saved: after a save that took every page, the
// saved-pages marker lists the page files with their sizes and modification times; a page the list
// does not name as it is now (scanned, imported or edited later) counts as unsaved. No marker, a
// damaged one or a crash before it is complete all make the pages count as unsaved. Any thread.

#include <cstdint>
#include <string>

namespace folvex {

// Records the page files TmpReadyImg1 .. pageCount of tmpPath (no trailing "/") as saved, in the
// marker written safely; pages no longer there (moved away by the save) are left out. False when the
// marker could not be written: then no marker remains and the pages count as unsaved.
bool markPagesSaved(const std::string& tmpPath, std::int32_t pageCount);

// The number of pages in tmpPath (the names the page editor collects as pages) that the marker does not
// list with their present size and modification time; 0 for a folder that cannot be listed.
std::int32_t countUnsavedPages(const std::string& tmpPath);

} // namespace folvex
