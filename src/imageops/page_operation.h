#pragma once
// The frame shared by the per-page pixel operations of the page editor: which pages are visited, the
// page loaded as edited so far, the 24-bit working image the pass works on, the row progress in the
// wait window and the working copy written back in the page's stored orientation and depth. The page
// file itself is never written. Qt-free; GUI thread (the context's user interface is the editor's).

#include "foundation/freeimage_binding.h"
#include "imageops/page_op_context.h"

#include <FreeImage.h>

#include <cstdint>
#include <functional>
#include <string>

namespace folvex {

// Shows the row progress of one page: the prefix (e.g. "invertiere Bild 3/7 (") with the percentage
// and "%)..." every 25th row, at rows 24, 49, 74 and so on. Silent without a prefix.
class RowProgress
{
public:
    RowProgress(EditorUi& ui, std::string prefix, unsigned height);

    // Call at the start of row y (rows counted from the top, in order).
    void startRow(unsigned y);

private:
    EditorUi& m_ui;
    std::string m_prefix;
    unsigned m_height;
    unsigned m_counter = 0;
};

// The pending geometry of a page and the size of its stored image: maps points of the page as the
// user sees it (quarter turns, then the free angle) back to the stored image.
struct PageGeometry
{
    unsigned storedWidth = 0;
    unsigned storedHeight = 0;
    // Pending clockwise quarter turns 0-3 and the free angle in degrees (counter-clockwise positive).
    std::uint8_t turns = 0;
    double angle = 0.0;

    unsigned shownWidth() const;
    unsigned shownHeight() const;

    // The stored pixel under the shown pixel (x, y), both counted from the top left. False when it
    // falls outside the stored page (a corner the free angle uncovers, shown white).
    bool storedPixelOfShown(int x, int y, unsigned& storedX, unsigned& storedY) const;
};

// Where the pass sees the page.
enum class PassOrientation
{
    // The page as stored: no turn or rotation; the pass maps points through the geometry itself.
    Stored,
    // The page as shown: the frame turns and rotates the working image before the pass and back after
    // it (for a pass that draws on the page the way the user reads it).
    AsShown,
};

// What a pass gets for one page.
struct PagePassInput
{
    const FreeImageFunctionTable& functions;
    // The 24-bit working image (its dots per metre are the page's); the pass changes it in place.
    FIBITMAP* image;
    std::int32_t page;
    std::int32_t pageCount;
    PageGeometry geometry;
    // The page's row progress (silent when the operation has no prefix).
    RowProgress& progress;
    // Cleared by a pass that leaves the page as it was: nothing is saved for it.
    bool save = true;
};

using PagePass = std::function<void(PagePassInput&)>;

struct PageOperation
{
    // Progress prefix, e.g. "invertiere Bild "; empty for no progress texts.
    std::string progressPrefix;
    // Pages of 1 bit per pixel are left as they are.
    bool skipsOneBit = false;
    PassOrientation orientation = PassOrientation::Stored;
};

// Runs the pass on page (1 or more: that page only; 0 or less: every page), skipping pages marked for
// deletion or as empty. Each processed page is loaded once from its working copy, else its file, and
// its result saved once as its working copy, in the stored depth: 24 and 32 bits and grey pages of 1, 4
// and 8 bits as they were, colour-palette and other pages as 24 bits; dots per metre kept. A page that
// cannot be loaded or converted, or whose working copy cannot be saved, is skipped with a note; its
// earlier working copy stays.
void PageOperationFrame(
    const FreeImageFunctionTable& functions,
    std::int32_t page,
    PageOpContext& ctx,
    const PageOperation& operation,
    const PagePass& pass);

// True for an image of 8 bits or fewer whose palette holds only shades of grey (in any order).
bool hasGreyPalette(const FreeImageFunctionTable& functions, FIBITMAP* image);

// What the working copy's depth is restored from: the stored page's bits per pixel and whether its
// palette is grey.
struct StoredDepth
{
    unsigned bitsPerPixel = 24;
    bool greyPalette = false;
};

StoredDepth storedDepthOf(const FreeImageFunctionTable& functions, FIBITMAP* image);

// The 24-bit working image brought back to the stored depth: 24 and 32 bits and grey pages of 1, 4 and 8
// bits as they were, colour-palette and other pages as 24 bits. Empty when the library refuses the
// conversion.
FreeImageBitmap restoreStoredDepth(
    const FreeImageFunctionTable& functions, FreeImageBitmap working, const StoredDepth& depth);

// The notes for a page that could not be worked on and for a working copy that could not be saved.
std::string pageFailedNote(std::int32_t page, const std::string& file);
std::string saveFailedNote(const std::string& file);

// The number a point field's text begins with (optional blanks and sign, then digits), limited to the
// 32-bit range; 0 when the text does not begin with a number.
std::int32_t fieldNumber(const std::string& text);

// Saves result as the page's working copy; on failure shows the note and returns false.
bool saveWorkingCopy(
    const FreeImageFunctionTable& functions, FIBITMAP* result, const std::string& pagePath, EditorUi& ui);

} // namespace folvex
