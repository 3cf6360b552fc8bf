#include "pageeditor/thumbnail_build.h"

#include "foundation/blank_page.h"
#include "imageops/raster.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <utility>

namespace folvex {

namespace {

// Int of a floating-point value: truncated toward zero.
std::int32_t truncated(double value)
{
    return static_cast<std::int32_t>(value);
}

// A T × T tile of 24 bits in the grid colour.
FreeImageBitmap gridTile(const FreeImageFunctionTable& functions, std::int32_t size)
{
    FreeImageBitmap tile = ownFreeImage(functions, functions.Allocate(size, size, 24, 0, 0, 0));
    if (tile) {
        RGBQUAD colour{GridBlue, GridGreen, GridRed, 0};
        functions.FillBackground(tile.get(), &colour, 0);
    }
    return tile;
}

// The blank verdict from the samples the test took: the share of white ones, rounded in favour of
// blank as the blank-page test rounds it.
bool blankVerdict(std::int64_t white, std::int64_t samples, float percentage)
{
    if (samples == 0) {
        return false;
    }
    const std::int64_t share = samples < 100 ? white * 100 / samples : white / (samples / 100);
    return static_cast<double>(percentage) <= static_cast<double>(share);
}

// For each of count source pixels (a row or a column) the target box its centre falls into, as the
// first source index of every target box plus the end.
std::vector<std::int32_t> boxStarts(std::int32_t source, std::int32_t target)
{
    std::vector<std::int32_t> starts(static_cast<std::size_t>(target) + 1, source);
    std::int32_t box = 0;
    for (std::int32_t i = 0; i < source && box < target; ++i) {
        const auto of =
            static_cast<std::int32_t>((2 * std::int64_t{i} + 1) * target / (2 * std::int64_t{source}));
        while (box <= of && box < target) {
            starts[static_cast<std::size_t>(box++)] = i;
        }
    }
    return starts;
}

// The blank-page test on a copy of the page as a bitmap: only its answer 1 is blank, so a page the
// test cannot read (−1) is kept.
bool blankByTest(const FreeImageFunctionTable& functions, FIBITMAP* page, const BlankTestProfile& profile)
{
    const Handle bitmap = FreeImageToHBitmap(functions, page);
    const bool blank = bitmap != NoHandle && IsPicBlank(
                                                 bitmap,
                                                 static_cast<int>(functions.GetWidth(page)),
                                                 static_cast<int>(functions.GetHeight(page)),
                                                 profile.percentage,
                                                 profile.step,
                                                 profile.minColour) == 1;
    FreeHBitmap(bitmap);
    return blank;
}

// Little-endian fields of a BMP header.
std::uint32_t u32At(const unsigned char* p)
{
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::uint16_t u16At(const unsigned char* p)
{
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

// Sums the boxes of a reduction and the blank test's samples from the rows of a 24-bit page, taken in
// any order, so that a page file can be read row by row without holding the page.
class BoxReducer
{
public:
    BoxReducer(
        std::int32_t width,
        std::int32_t height,
        std::int32_t targetWidth,
        std::int32_t targetHeight,
        const BlankTestProfile* profile)
        : m_width(width)
        , m_targetWidth(targetWidth)
        , m_targetHeight(targetHeight)
        , m_columns(boxStarts(width, targetWidth))
        , m_rows(boxStarts(height, targetHeight))
        , m_rowBox(static_cast<std::size_t>(height))
        , m_sums(static_cast<std::size_t>(targetWidth) * static_cast<std::size_t>(targetHeight) * 3)
        , m_columnSums(static_cast<std::size_t>(width) * 3)
        , m_profile(profile)
        , m_step(profile != nullptr ? std::max(profile->step, 1) : 1)
        , m_level(static_cast<std::uint8_t>(profile != nullptr ? std::clamp(profile->minColour, 0, 255) : 0))
        , m_samples(
              ((std::int64_t{width} + m_step - 1) / m_step) * ((std::int64_t{height} + m_step - 1) / m_step))
    {
        for (std::int32_t ty = 0; ty < targetHeight; ++ty) {
            for (std::int32_t y = m_rows[static_cast<std::size_t>(ty)];
                 y < m_rows[static_cast<std::size_t>(ty) + 1];
                 ++y) {
                m_rowBox[static_cast<std::size_t>(y)] = ty;
            }
        }
    }

    // Row y of the picture, counted from the top, as 3-byte pixels. The rows of one box come one
    // after the other (top down or bottom up): they are summed byte by byte, and the box row is
    // reduced across once they are all in.
    void addRow(std::int32_t y, const BYTE* row)
    {
        const std::int32_t box = m_rowBox[static_cast<std::size_t>(y)];
        if (box != m_openBox) {
            closeBox();
            m_openBox = box;
        }
        std::uint32_t* column = m_columnSums.data();
        const std::size_t bytes = m_columnSums.size();
        for (std::size_t i = 0; i < bytes; ++i) {
            column[i] += row[i];
        }
        if (m_profile != nullptr && y % m_step == 0) {
            for (std::int32_t x = 0; x < m_width; x += m_step) {
                const BYTE* pixel = row + 3 * x;
                m_white += pixel[0] >= m_level && pixel[1] >= m_level && pixel[2] >= m_level;
            }
        }
    }

    // Adds the summed rows of the open box into its target row.
    void closeBox()
    {
        if (m_openBox < 0) {
            return;
        }
        std::uint32_t* sum =
            &m_sums[3 * static_cast<std::size_t>(m_openBox) * static_cast<std::size_t>(m_targetWidth)];
        for (std::int32_t tx = 0; tx < m_targetWidth; ++tx, sum += 3) {
            const auto from = static_cast<std::size_t>(m_columns[static_cast<std::size_t>(tx)]);
            const auto to = static_cast<std::size_t>(m_columns[static_cast<std::size_t>(tx) + 1]);
            for (std::size_t x = from; x < to; ++x) {
                sum[0] += m_columnSums[3 * x];
                sum[1] += m_columnSums[3 * x + 1];
                sum[2] += m_columnSums[3 * x + 2];
            }
        }
        std::fill(m_columnSums.begin(), m_columnSums.end(), 0U);
        m_openBox = -1;
    }

    bool blank() const
    {
        return m_profile != nullptr && blankVerdict(m_white, m_samples, m_profile->percentage);
    }

    // The reduced image: every box's rounded mean.
    FreeImageBitmap image(const FreeImageFunctionTable& functions)
    {
        closeBox();
        FreeImageBitmap target =
            ownFreeImage(functions, functions.Allocate(m_targetWidth, m_targetHeight, 24, 0, 0, 0));
        if (!target) {
            return target;
        }
        for (std::int32_t ty = 0; ty < m_targetHeight; ++ty) {
            BYTE* out = rowFromTop(functions, target.get(), static_cast<unsigned>(ty));
            const std::uint32_t* sum =
                &m_sums[3 * static_cast<std::size_t>(ty) * static_cast<std::size_t>(m_targetWidth)];
            const std::int32_t rows =
                m_rows[static_cast<std::size_t>(ty) + 1] - m_rows[static_cast<std::size_t>(ty)];
            for (std::int32_t tx = 0; tx < m_targetWidth; ++tx) {
                const auto count = static_cast<std::uint32_t>(
                    rows *
                    (m_columns[static_cast<std::size_t>(tx) + 1] - m_columns[static_cast<std::size_t>(tx)]));
                for (int c = 0; c < 3; ++c) {
                    out[3 * tx + c] =
                        static_cast<BYTE>(count == 0 ? 255 : (sum[3 * tx + c] + count / 2) / count);
                }
            }
        }
        return target;
    }

private:
    std::int32_t m_width;
    std::int32_t m_targetWidth;
    std::int32_t m_targetHeight;
    std::vector<std::int32_t> m_columns;
    std::vector<std::int32_t> m_rows;
    std::vector<std::int32_t> m_rowBox;
    std::vector<std::uint32_t> m_sums;
    std::vector<std::uint32_t> m_columnSums; // the rows of the open box, summed per byte
    std::int32_t m_openBox = -1;
    const BlankTestProfile* m_profile;
    std::int32_t m_step;
    std::uint8_t m_level;
    std::int64_t m_samples;
    std::int64_t m_white = 0;
};

// The thumbnail of an uncompressed 24-bit BMP file that needs reducing, read row by row without
// loading the page; nothing (and the file untouched) for any other file, which the library loads.
struct StreamedPage
{
    FreeImageBitmap reduced;
    std::int32_t width = 0;
    std::int32_t height = 0;
    bool blank = false;
};

std::optional<StreamedPage> streamReducedBmp(
    const FreeImageFunctionTable& functions,
    const std::string& path,
    std::int32_t size,
    const BlankTestProfile* profile)
{
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!file) {
        return std::nullopt;
    }
    unsigned char header[54];
    if (std::fread(header, 1, sizeof header, file.get()) != sizeof header || header[0] != 'B' ||
        header[1] != 'M') {
        return std::nullopt;
    }
    const std::uint32_t offset = u32At(header + 10);
    const std::uint32_t infoSize = u32At(header + 14);
    const auto width = static_cast<std::int32_t>(u32At(header + 18));
    const auto rawHeight = static_cast<std::int32_t>(u32At(header + 22));
    if (infoSize < 40 || u16At(header + 26) != 1 || u16At(header + 28) != 24 || u32At(header + 30) != 0 ||
        width <= 0 || rawHeight == 0 || rawHeight == INT32_MIN || width > 1 << 20) {
        return std::nullopt;
    }
    const bool topDown = rawHeight < 0;
    const std::int32_t height = topDown ? -rawHeight : rawHeight;
    const ThumbnailShape shape = thumbnailShape(width, height, size);
    if (!shape.rescaled) {
        return std::nullopt;
    }
    const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
    if (std::fseek(file.get(), static_cast<long>(offset), SEEK_SET) != 0) {
        return std::nullopt;
    }
    BoxReducer reducer(width, height, shape.scaledWidth, shape.scaledHeight, profile);
    // Rows are read about a megabyte at a time into a buffer each worker keeps.
    thread_local std::vector<BYTE> buffer;
    const auto rowsPerRead =
        static_cast<std::int32_t>(std::max<std::size_t>(1, (std::size_t{1} << 20) / stride));
    buffer.resize(std::max(buffer.size(), stride * static_cast<std::size_t>(rowsPerRead)));
    for (std::int32_t fileRow = 0; fileRow < height; fileRow += rowsPerRead) {
        const std::int32_t count = std::min(rowsPerRead, height - fileRow);
        const std::size_t bytes = stride * static_cast<std::size_t>(count);
        if (std::fread(buffer.data(), 1, bytes, file.get()) != bytes) {
            return std::nullopt; // a short file goes to the library, which says what it can read
        }
        for (std::int32_t i = 0; i < count; ++i) {
            const std::int32_t r = fileRow + i;
            reducer.addRow(
                topDown ? r : height - 1 - r, buffer.data() + stride * static_cast<std::size_t>(i));
        }
    }
    StreamedPage page{reducer.image(functions), width, height, reducer.blank()};
    if (page.reduced) {
        functions.SetDotsPerMeterX(page.reduced.get(), u32At(header + 38));
        functions.SetDotsPerMeterY(page.reduced.get(), u32At(header + 42));
    }
    return page;
}

// The reduced page as the shape rule shows it: alone, or pasted on a tile.
FreeImageBitmap onTile(
    const FreeImageFunctionTable& functions,
    FreeImageBitmap scaled,
    const ThumbnailShape& shape,
    std::int32_t size)
{
    if (!shape.tile || !scaled) {
        return scaled;
    }
    FreeImageBitmap tile = gridTile(functions, size);
    if (!tile) {
        return tile;
    }
    // The tile has 24 bits; pasting needs the same depth on both sides.
    FreeImageBitmap scaled24;
    FIBITMAP* source = scaled.get();
    if (functions.GetBPP(source) != 24) {
        scaled24 = ownFreeImage(functions, functions.ConvertTo24Bits(source));
        source = scaled24.get();
    }
    if (source != nullptr) {
        functions.Paste(tile.get(), source, shape.pasteLeft, shape.pasteTop, 1000);
    }
    return tile;
}

} // namespace

FreeImageBitmap areaAverage24(
    const FreeImageFunctionTable& functions,
    FIBITMAP* page,
    std::int32_t targetWidth,
    std::int32_t targetHeight,
    const BlankTestProfile* profile,
    bool& blank)
{
    const auto width = static_cast<std::int32_t>(functions.GetWidth(page));
    const auto height = static_cast<std::int32_t>(functions.GetHeight(page));
    BoxReducer reducer(width, height, targetWidth, targetHeight, profile);
    for (std::int32_t y = 0; y < height; ++y) {
        reducer.addRow(y, rowFromTop(functions, page, static_cast<unsigned>(y)));
    }
    blank = reducer.blank();
    FreeImageBitmap target = reducer.image(functions);
    if (target) {
        CopyResolution(functions, page, target.get());
    }
    return target;
}

std::string thumbnailWaitText(std::int32_t position, std::int32_t count)
{
    return "erstelle Thumbnail " + std::to_string(position) + "/" + std::to_string(count);
}

ThumbnailShape thumbnailShape(std::int32_t width, std::int32_t height, std::int32_t thumbnailSize)
{
    const double t = thumbnailSize;
    ThumbnailShape shape{width, height, false, true, 0, 0};
    if (width <= 0 || height <= 0) {
        return shape;
    }
    const bool upright = height >= width;
    const std::int32_t longer = upright ? height : width;
    const std::int32_t shorter = upright ? width : height;
    if (longer > thumbnailSize) {
        shape.rescaled = true;
        if (upright) {
            shape.scaledWidth = std::max(1, truncated(t * width / height));
            shape.scaledHeight = thumbnailSize;
        } else {
            shape.scaledWidth = thumbnailSize;
            shape.scaledHeight = std::max(1, truncated(t * height / width));
        }
        shape.tile = shorter <= thumbnailSize;
    }
    if (shape.tile) {
        shape.pasteLeft = truncated(t / 2 - shape.scaledWidth / 2.0);
        shape.pasteTop = truncated(t / 2 - shape.scaledHeight / 2.0);
    }
    return shape;
}

std::uint8_t lightenedGrey(std::uint8_t value)
{
    const int lighter = value + truncated((255 - value) / 1.5);
    return static_cast<std::uint8_t>(std::min(lighter, 255));
}

std::string pageDpiText(std::int32_t dpi)
{
    return std::to_string(dpi == 0 ? DefaultPageDpi : dpi);
}

std::vector<std::string> thumbnailCaptions(std::int32_t pageCount, const std::vector<bool>& pressed)
{
    const auto isPressed = [&pressed](std::int32_t p) {
        return p >= 1 && static_cast<std::size_t>(p) < pressed.size() && pressed[static_cast<std::size_t>(p)];
    };
    bool split = false;
    for (std::int32_t p = 1; p < pageCount; ++p) {
        split = split || isPressed(p);
    }
    std::vector<std::string> captions(static_cast<std::size_t>(std::max(pageCount, 0)) + 1);
    std::int32_t file = 1;
    std::int32_t inFile = 0;
    for (std::int32_t p = 1; p <= pageCount; ++p) {
        std::string text;
        if (!split) {
            text = "Seite " + std::to_string(p);
        } else {
            if (p > 1 && isPressed(p - 1)) {
                ++file;
                inFile = 1;
            } else {
                ++inFile;
            }
            text = "Datei " + std::to_string(file) + ", Seite " + std::to_string(inFile);
        }
        if (p == pageCount && pageCount >= 2) {
            text += " / Ref.-Bild";
        }
        captions[static_cast<std::size_t>(p)] = std::move(text);
    }
    return captions;
}

FreeImageBitmap makeThumbnailImage(const FreeImageFunctionTable& functions, FIBITMAP* page, std::int32_t size)
{
    return makeThumbnailImage(functions, page, size, nullptr, nullptr);
}

FreeImageBitmap makeThumbnailImage(
    const FreeImageFunctionTable& functions,
    FIBITMAP* page,
    std::int32_t size,
    const BlankTestProfile* profile,
    bool* blank)
{
    if (page == nullptr) {
        return gridTile(functions, size);
    }
    const auto width = static_cast<std::int32_t>(functions.GetWidth(page));
    const auto height = static_cast<std::int32_t>(functions.GetHeight(page));
    const ThumbnailShape shape = thumbnailShape(width, height, size);
    FreeImageBitmap scaled;
    if (shape.rescaled && functions.GetBPP(page) == 24 && functions.GetImageType(page) == FIT_BITMAP) {
        // Scanned pages: the reduction and the blank test in one pass over the page.
        bool fusedBlank = false;
        scaled = areaAverage24(functions, page, shape.scaledWidth, shape.scaledHeight, profile, fusedBlank);
        if (blank != nullptr) {
            *blank = fusedBlank;
        }
    } else {
        if (profile != nullptr && blank != nullptr) {
            *blank = blankByTest(functions, page, *profile);
        }
        scaled = ownFreeImage(
            functions,
            shape.rescaled ? functions.Rescale(page, shape.scaledWidth, shape.scaledHeight, FILTER_BOX)
                           : functions.Clone(page));
    }
    return onTile(functions, std::move(scaled), shape, size);
}

FreeImageBitmap turnThumbnail(const FreeImageFunctionTable& functions, FIBITMAP* thumbnail, double angleDeg)
{
    return RotateCropWhite(functions, thumbnail, angleDeg);
}

FreeImageBitmap lightenedGreyImage(const FreeImageFunctionTable& functions, FIBITMAP* thumbnail)
{
    FreeImageBitmap grey = ownFreeImage(functions, functions.ConvertToGreyscale(thumbnail));
    if (!grey) {
        return grey;
    }
    const unsigned width = functions.GetWidth(grey.get());
    const unsigned height = functions.GetHeight(grey.get());
    for (unsigned y = 0; y < height; ++y) {
        BYTE* row = rowFromTop(functions, grey.get(), y);
        std::transform(row, row + width, row, lightenedGrey);
    }
    return ownFreeImage(functions, functions.ConvertTo24Bits(grey.get()));
}

ThumbnailResult buildThumbnail(const FreeImageFunctionTable& functions, const ThumbnailJob& job)
{
    ThumbnailResult result;
    const std::string file = pageAsEditedPath(job.pagePath);
    const BlankTestProfile* profile = job.blankTest ? &job.profile : nullptr;
    // A scanned page is read row by row; any other file is loaded whole by the library.
    if (std::optional<StreamedPage> streamed =
            streamReducedBmp(functions, file, job.thumbnailSize, profile)) {
        result.loaded = true;
        if (file == job.pagePath) {
            result.dpiText = pageDpiText(PageDpi(functions, streamed->reduced.get()));
        }
        result.blank = streamed->blank;
        result.image = onTile(
            functions,
            std::move(streamed->reduced),
            thumbnailShape(streamed->width, streamed->height, job.thumbnailSize),
            job.thumbnailSize);
    } else {
        FreeImageBitmap page = ownFreeImage(functions, functions.LoadU(FIF_BMP, file, 0));
        result.loaded = static_cast<bool>(page);
        if (!page) {
            result.image = gridTile(functions, job.thumbnailSize);
            return result;
        }
        if (file == job.pagePath) {
            result.dpiText = pageDpiText(PageDpi(functions, page.get()));
        }
        result.image = makeThumbnailImage(functions, page.get(), job.thumbnailSize, profile, &result.blank);
    }
    const bool blankMark = job.blankTest ? result.blank : job.markedBlank;
    if (result.image && job.turns % 4 != 0) {
        if (FreeImageBitmap turned = QuarterTurn(functions, result.image.get(), job.turns % 4)) {
            result.image = std::move(turned);
        }
    }
    if (result.image && job.angleDeg != 0.0) {
        if (FreeImageBitmap turned = turnThumbnail(functions, result.image.get(), job.angleDeg)) {
            result.image = std::move(turned);
        }
    }
    result.marked = job.markedForDeletion || blankMark;
    if (result.image && result.marked) {
        if (FreeImageBitmap grey = lightenedGreyImage(functions, result.image.get())) {
            result.image = std::move(grey);
        }
    }
    return result;
}

} // namespace folvex
