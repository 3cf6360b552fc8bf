#pragma once

// How the C library's heap treats page-sized blocks. A page image is a block of 25-100 MB, and turning or
// straightening a page allocates and frees several of them; by default each comes fresh from the kernel
// and goes back at once, so every page pays for mapping, zeroing and unmapping, and worker threads doing
// this side by side hold each other up in the kernel. Any thread; a no-op without glibc.

namespace folvex {

// Lets the heap keep freed blocks of up to 32 MB (an A4 page at 300 dpi in 24 bits and the library's
// larger intermediate images while turning it) and their memory for the next page, instead of unmapping
// them. Called once at program start, before the first worker thread.
void keepPageBlocksForReuse();

// Gives the memory the heap keeps in free blocks back to the system, after a run over many pages.
void releaseFreeHeapMemory();

} // namespace folvex
