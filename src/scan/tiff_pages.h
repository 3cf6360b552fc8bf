#pragma once
// Joins single-page TIFF files into one multi-page TIFF as the pages come, without decoding them: each
// page's image strips and tag values are copied behind the pages before and its offsets moved, so the
// pages can be encoded elsewhere (in parallel) and the joining costs little more than the copy.
// Little-endian classic TIFF in strips, as the image library writes it here. One thread at a time.
// Also a quick encoder for the usual page depths.

#include "foundation/freeimage_binding.h"

#include <FreeImage.h>

#include <cstdint>
#include <cstdio>
#include <string>

namespace folvex {

class TiffPageJoiner
{
public:
    TiffPageJoiner() = default;
    ~TiffPageJoiner();
    TiffPageJoiner(const TiffPageJoiner&) = delete;
    TiffPageJoiner& operator=(const TiffPageJoiner&) = delete;

    // Creates the file (permissions 0600) and writes the TIFF header; false when it cannot be created
    // or something of that name exists already, a link too.
    bool open(const std::string& path);

    // Appends the page of a single-page TIFF file as the last page. False, with the file still holding
    // the pages before, when the page cannot be read, is not a little-endian classic TIFF in strips,
    // would pass the 4 GB offset limit, or cannot be written. Sub-IFD pointers (EXIF, GPS) are dropped.
    bool appendFile(const std::string& singlePage);

    // Closes the file; true when the file is complete (every write since open succeeded and at least
    // one page was appended). Called by the destructor when not called before.
    bool close();

    std::int32_t pages() const { return m_pages; }

private:
    std::FILE* m_file = nullptr;
    std::uint64_t m_size = 0;    // bytes written so far
    std::uint64_t m_linkPos = 4; // where the offset of the next page's IFD goes
    std::int32_t m_pages = 0;
    bool m_failed = false; // a write failed: the file is not complete
};

// Writes a page of 24 bits, or of 1 or 8 bits of grey (min-is-black or min-is-white), as a single-page
// PackBits TIFF with its resolution, as the image library would write it but without its page-sized
// working copy: the rows are encoded one at a time. False, writing nothing, for other pages (the
// caller then lets the library write them); false as well when the file cannot be written or something
// of that name exists already (the file is created new, permissions 0600).
bool writePackBitsPage(const FreeImageFunctionTable& functions, FIBITMAP* page, const std::string& path);

} // namespace folvex
