#pragma once
// Making one page's thumbnail without Qt: the shape rule that fits a page into the T × T square, the
// quarter turns and free angle pending on the page, the blank test of the first build and the
// lightened grey of a marked page; the captions under the thumbnails and the wait texts. The image
// work runs on worker threads; every call goes through the image library's table.

#include "foundation/freeimage_binding.h"

#include <cstdint>
#include <string>
#include <vector>

namespace folvex {

// Tile colour of the grid and the captions, 0x00BBGGRR.
inline constexpr std::uint32_t GridColour = 0x00D5EFFF; // RGB(255,239,213)
inline constexpr std::uint8_t GridRed = 255;
inline constexpr std::uint8_t GridGreen = 239;
inline constexpr std::uint8_t GridBlue = 213;

inline constexpr const char* ThumbnailWaitStartText = "erstelle Thumbnail 0000/0000";
inline constexpr const char* SplitToggleTooltip = "an dieser Stelle Ausgabe trennen und neue Datei beginnen";
// The resolution recorded for a page file that states none.
inline constexpr std::int32_t DefaultPageDpi = 200;

// The blank-page profile the first build tests with.
struct BlankTestProfile
{
    float percentage = 98.5F;
    int step = 5;
    int minColour = 250;
};

// "erstelle Thumbnail p/N"
std::string thumbnailWaitText(std::int32_t position, std::int32_t count);

// How a W × H page becomes its thumbnail of edge T: rescaled to scaledWidth × scaledHeight (the page's
// size when it is not rescaled) and, with a tile, pasted on a T × T tile of the grid colour at
// (pasteLeft, pasteTop). Pages are never enlarged.
struct ThumbnailShape
{
    std::int32_t scaledWidth = 0;
    std::int32_t scaledHeight = 0;
    bool rescaled = false;
    bool tile = false;
    std::int32_t pasteLeft = 0;
    std::int32_t pasteTop = 0;

    bool operator==(const ThumbnailShape&) const = default;
};

ThumbnailShape thumbnailShape(std::int32_t width, std::int32_t height, std::int32_t thumbnailSize);

// The grey level of a marked thumbnail: v + Int((255 − v) / 1.5), at most 255.
std::uint8_t lightenedGrey(std::uint8_t value);

// The dpi cell text of a resolution as the page file states it; 0 (none stated) gives "200".
std::string pageDpiText(std::int32_t dpi);

// The captions of positions 1 .. pageCount (entry 0 unused): "Seite p" without a pressed toggle,
// else "Datei f, Seite n"; the last of two or more pages gets " / Ref.-Bild". pressed[p] is the toggle
// after page p; missing entries read as released.
std::vector<std::string> thumbnailCaptions(std::int32_t pageCount, const std::vector<bool>& pressed);

// One page's thumbnail job, as the GUI thread hands it to a worker.
struct ThumbnailJob
{
    std::string pagePath;
    std::int32_t thumbnailSize = 0;
    std::uint8_t turns = 0;
    double angleDeg = 0.0;
    bool markedForDeletion = false;
    bool markedBlank = false; // the mark as the page has it before this build
    bool blankTest = false;   // the first build with detectBlank on
    BlankTestProfile profile;
};

struct ThumbnailResult
{
    FreeImageBitmap image; // the thumbnail image; empty when it could not be made at all
    bool loaded = false;   // false: the page could not be loaded; the image is an empty tile
    std::string dpiText;   // empty when the page has a working copy or could not be loaded
    bool blank = false;    // the blank test found the page blank (only with the test)
    bool marked = false;   // the image is the lightened grey of a marked page
};

// The thumbnail image of a loaded page by the shape rule: a tile of 24 bits, or the rescaled page.
// With a profile the page is also tested for blankness into blank, exactly as the blank-page test
// answers 1 for it; a 24-bit page is reduced and tested in one pass.
FreeImageBitmap
makeThumbnailImage(const FreeImageFunctionTable& functions, FIBITMAP* page, std::int32_t size);
FreeImageBitmap makeThumbnailImage(
    const FreeImageFunctionTable& functions,
    FIBITMAP* page,
    std::int32_t size,
    const BlankTestProfile* profile,
    bool* blank);

// A 24-bit page reduced to targetWidth × targetHeight (each at most the page's), every target pixel
// the rounded mean of the page pixels whose centres fall into its box; with a profile the same pass
// takes the blank test's samples and sets blank.
FreeImageBitmap areaAverage24(
    const FreeImageFunctionTable& functions,
    FIBITMAP* page,
    std::int32_t targetWidth,
    std::int32_t targetHeight,
    const BlankTestProfile* profile,
    bool& blank);

// The thumbnail turned by a free angle, cut back to its size, white in the corners.
FreeImageBitmap turnThumbnail(const FreeImageFunctionTable& functions, FIBITMAP* thumbnail, double angleDeg);

// The lightened 24-bit grey of a thumbnail (what a marked page shows under its marks).
FreeImageBitmap lightenedGreyImage(const FreeImageFunctionTable& functions, FIBITMAP* thumbnail);

// Loads the page as edited so far, records its resolution (not for a working copy), runs the blank
// test when asked, and makes the thumbnail with the pending turns and angle, lightened when the page
// is marked. An unreadable page gives an empty tile, is not tested and records no resolution. Any
// thread; library messages go to the caller's message scope.
ThumbnailResult buildThumbnail(const FreeImageFunctionTable& functions, const ThumbnailJob& job);

} // namespace folvex
