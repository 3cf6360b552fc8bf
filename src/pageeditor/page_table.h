#pragma once
// The editor's table of pages: one row of six text cells per page in page order, the order of the
// page numbers and the collection of the page files from the temporary
// folder. GUI thread; no state of its own.

#include "runtime/file_ops.h"

#include <cstdint>
#include <string>
#include <vector>

namespace folvex {

// A mark cell holding exactly this text is a cleared mark; any other text is a set one.
inline constexpr const char* ClearedMark = "0";
inline constexpr const char* SetMark = "1";

// One page, every cell text.
struct PageRow
{
    std::string path;                      // full path of the page file
    std::string toBeDeleted = ClearedMark; // "1" = marked for deletion
    std::string pageEmpty = ClearedMark;   // "1" = marked blank
    std::string OrigNumber;                // position after the collection's sort, decimal
    std::string StraightenDegrees = "0.0"; // kept as written; the working angle lives in the model
    std::string dpi;                       // resolution as the last thumbnail build read it

    bool markedForDeletion() const { return toBeDeleted != ClearedMark; }

    bool markedBlank() const { return pageEmpty != ClearedMark; }
};

// The rows in page order; row r (0-based) is page position r + 1.
struct PageTable
{
    std::vector<PageRow> rows;

    std::int32_t PageCount() const { return static_cast<std::int32_t>(rows.size()); }
};

// The number of a page file: the run of decimal digits at the end of its base name (the file name
// without folder and without the text from its last "."), 0 when there is none, saturated at the
// largest 32-bit value.
std::int32_t pageNumberOf(const std::string& path);

// Orders two rows by their page numbers: 1 when the first is greater, −1 when the second is, else 0.
std::int32_t ComparePageNumbers(const PageRow& row1, const PageRow& row2);

// True for a file name the collection takes as a page: in lower case it ends ".bmp" and begins
// "tmpimg" or "tmpreadyimg", and it does not contain "_edited".
bool isPageFileName(const std::string& name);

// Collects the pages of tmpPath (no trailing "/"): every regular file whose name isPageFileName
// becomes a row, sorted by page number and, among equal numbers, by the bytes of the file name;
// OrigNumber is the row's position. Other ".bmp" files the program made itself (left-over working
// copies of pages) are removed; foreign files are left alone. A folder that cannot be listed gives no
// rows.
PageTable collectPages(FileOps& files, const std::string& tmpPath);

} // namespace folvex
