#pragma once
// The fixture of the page-operation tests: a job of page files in a temporary folder with a fake editor
// context, small images of any depth drawn in code, and the colour a reader sees at a pixel.

#include "imageops/raster.h"
#include "imageops_fixtures.h"
#include "page_ops_fakes.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

namespace folvex::testing {

struct Rgb
{
    int red = 0;
    int green = 0;
    int blue = 0;

    bool operator==(const Rgb& other) const
    {
        return red == other.red && green == other.green && blue == other.blue;
    }
};

inline std::ostream& operator<<(std::ostream& out, const Rgb& colour)
{
    return out << "(" << colour.red << "," << colour.green << "," << colour.blue << ")";
}

inline constexpr unsigned Dpm300 = 11811;
inline constexpr unsigned DpmY = 5906;

inline FreeImageBitmap makeImage(unsigned width, unsigned height, unsigned bpp, Rgb fill = {})
{
    const FreeImageFunctionTable& fi = imageLibrary();
    FreeImageBitmap image = ownFreeImage(
        fi, fi.Allocate(static_cast<int>(width), static_cast<int>(height), static_cast<int>(bpp), 0, 0, 0));
    fi.SetDotsPerMeterX(image.get(), Dpm300);
    fi.SetDotsPerMeterY(image.get(), DpmY);
    if (bpp <= 8) {
        // A grey palette, black to white.
        const unsigned colours = 1U << bpp;
        for (unsigned i = 0; i < colours; ++i) {
            const auto level = static_cast<BYTE>(i * 255 / (colours - 1));
            fi.GetPalette(image.get())[i] = {level, level, level, 0};
        }
    } else {
        for (unsigned y = 0; y < height; ++y) {
            for (unsigned x = 0; x < width; ++x) {
                BYTE* pixel = rowFromTop(fi, image.get(), y) + x * bpp / 8;
                pixel[FI_RGBA_RED] = static_cast<BYTE>(fill.red);
                pixel[FI_RGBA_GREEN] = static_cast<BYTE>(fill.green);
                pixel[FI_RGBA_BLUE] = static_cast<BYTE>(fill.blue);
                if (bpp == 32) {
                    pixel[FI_RGBA_ALPHA] = 255;
                }
            }
        }
    }
    return image;
}

inline void setPixel(FIBITMAP* image, unsigned x, unsigned y, Rgb colour)
{
    const FreeImageFunctionTable& fi = imageLibrary();
    BYTE* pixel = rowFromTop(fi, image, y) + x * fi.GetBPP(image) / 8;
    pixel[FI_RGBA_RED] = static_cast<BYTE>(colour.red);
    pixel[FI_RGBA_GREEN] = static_cast<BYTE>(colour.green);
    pixel[FI_RGBA_BLUE] = static_cast<BYTE>(colour.blue);
}

// The colour shown at (x, y), y from the top, whatever the depth.
inline Rgb pixelAt(FIBITMAP* image, unsigned x, unsigned y)
{
    const FreeImageFunctionTable& fi = imageLibrary();
    RGBQUAD colour{};
    fi.GetPixelColor(image, x, fi.GetHeight(image) - 1 - y, &colour);
    if (fi.GetBPP(image) <= 8) {
        BYTE index = 0;
        RGBQUAD* palette = fi.GetPalette(image);
        const BYTE* row = rowFromTop(fi, image, y);
        switch (fi.GetBPP(image)) {
            case 1:
                index = (row[x / 8] >> (7 - x % 8)) & 1U;
                break;
            case 4:
                index = (row[x / 2] >> (x % 2 == 0 ? 4 : 0)) & 0x0FU;
                break;
            default:
                index = row[x];
        }
        colour = palette[index];
    }
    return Rgb{colour.rgbRed, colour.rgbGreen, colour.rgbBlue};
}

class PageOperationsTest : public ::testing::Test
{
protected:
    const FreeImageFunctionTable& fi = imageLibrary();
    TempDir dir;
    FakePageContext ctx;

    // Saves the image as the next page file "TmpReadyImg<k>.bmp", without a working copy, and adds it to
    // the job.
    FakePage& addPage(FIBITMAP* image)
    {
        const std::string path = dir.file("TmpReadyImg" + std::to_string(ctx.pages.size() + 1) + ".bmp");
        std::filesystem::remove(workingCopyPath(path));
        EXPECT_TRUE(SavePageBmp(fi, image, path));
        ctx.pages.push_back(FakePage{path});
        return ctx.pages.back();
    }

    std::string workingCopy(std::int32_t page) const
    {
        return workingCopyPath(ctx.pages[static_cast<std::size_t>(page - 1)].path);
    }

    FreeImageBitmap loadWorkingCopy(std::int32_t page) const
    {
        return ownFreeImage(fi, fi.LoadU(FIF_BMP, workingCopy(page)));
    }

    bool hasWorkingCopy(std::int32_t page) const { return std::filesystem::exists(workingCopy(page)); }

    std::vector<std::string>& notes() { return ctx.recordingUi.notes; }

    std::vector<std::string>& waitEvents() { return ctx.recordingUi.waitEvents; }
};

} // namespace folvex::testing
