#pragma once
// The large view of one page: the page as edited so far with its pending quarter turns and free angle,
// fitted into the screen less a margin (never enlarged), and the run that shows it through a small
// port the editor window implements. Qt-free; GUI thread.

#include "foundation/freeimage_binding.h"
#include "pageeditor/page_table.h"

#include <cstdint>
#include <string>

namespace folvex {

inline constexpr const char* LargeViewTitle = "Seite groß anzeigen (Esc oder Linksklick=zurück)";
// Kept free of the screen's width and of its height.
inline constexpr std::int32_t LargeViewMarginPx = 150;
// The poll while waiting for the release of the Esc that closed the view.
inline constexpr int LargeViewEscPollMs = 25;

struct LargeViewSize
{
    std::int32_t width = 0;
    std::int32_t height = 0;

    bool operator==(const LargeViewSize&) const = default;
};

// The size a W × H page is shown in on a SW × SH screen: unchanged when it fits into
// (SW − 150) × (SH − 150); else its longer side is set to the room there, and then each side that still
// does not fit is brought into it, the other side scaled along, truncated. At least 1 × 1.
LargeViewSize
largeViewSize(std::int32_t width, std::int32_t height, std::int32_t screenWidth, std::int32_t screenHeight);

// "Seite p kann nicht angezeigt werden."
std::string largeViewUnreadableNote(std::int32_t page);

// The page file's working copy when there is one, else the page file, turned clockwise by turns
// quarter turns and by angleDeg degrees (white corners, size kept), scaled with the box filter to
// largeViewSize. Empty when the page cannot be loaded or turned.
FreeImageBitmap largeViewImage(
    const FreeImageFunctionTable& functions,
    const std::string& pagePath,
    std::uint8_t turns,
    double angleDeg,
    std::int32_t screenWidth,
    std::int32_t screenHeight);

// The window side of the large view.
class LargeViewPort
{
public:
    virtual ~LargeViewPort() = default;

    virtual std::int32_t screenWidth() = 0;
    virtual std::int32_t screenHeight() = 0;
    // Shows the image in its window and returns when the user has closed it.
    virtual void showImage(FIBITMAP* image) = 0;
    virtual void showNote(const std::string& text) = 0;
};

// Shows page (1-based position in lv) with its pending turns and angle until the user closes the
// view; a page that cannot be loaded gives the note instead, with the image library's messages about
// it appended. Returns 0.
std::int32_t ShowPageLarge(
    const FreeImageFunctionTable& functions,
    LargeViewPort& port,
    std::int32_t page,
    std::uint8_t turns,
    const PageTable& lv,
    double angle);

} // namespace folvex
