#include "twain/sane_image.h"

#include "runtime/checked_cast.h"

#include <cerrno>
#include <cstring>

namespace folvex {

namespace {

// Bytes that the pixels of one line need for the given samples per pixel.
std::optional<std::size_t> neededLineBytes(const ScanFrame& frame, int samplesPerPixel)
{
    if (frame.pixelsPerLine <= 0 || (frame.depth != 1 && frame.depth != 8 && frame.depth != 16)) {
        return std::nullopt;
    }
    const auto bits = checkedMultiply<std::size_t>(
        static_cast<std::size_t>(frame.pixelsPerLine),
        static_cast<std::size_t>(samplesPerPixel * frame.depth));
    if (!bits) {
        return std::nullopt;
    }
    return (*bits + 7) / 8;
}

std::size_t lineCount(const ScanFrame& frame)
{
    if (frame.bytesPerLine <= 0) {
        return 0;
    }
    const std::size_t available = frame.bytes.size() / static_cast<std::size_t>(frame.bytesPerLine);
    if (frame.lines < 0) {
        return available;
    }
    return std::min(available, static_cast<std::size_t>(frame.lines));
}

// Sample number index of a line; highIsDark inverts bilevel samples.
std::uint8_t sampleAt(const std::uint8_t* line, int depth, std::size_t index, bool highIsDark)
{
    switch (depth) {
        case 1: {
            const bool set = (line[index / 8] & (0x80 >> (index % 8))) != 0;
            return set != highIsDark ? 255 : 0;
        }
        case 8:
            return line[index];
        default: {
            std::uint16_t value = 0;
            std::memcpy(&value, line + 2 * index, sizeof value);
            return static_cast<std::uint8_t>(value >> 8);
        }
    }
}

int samplesPerPixel(FrameFormat format)
{
    return format == FrameFormat::Rgb ? 3 : 1;
}

} // namespace

bool frameComplete(const ScanFrame& frame)
{
    if (frame.bytesPerLine <= 0) {
        return false;
    }
    const auto needed = neededLineBytes(frame, samplesPerPixel(frame.format));
    if (!needed || *needed > static_cast<std::size_t>(frame.bytesPerLine)) {
        return false;
    }
    if (frame.lines < 0) {
        return frame.bytes.size() >= static_cast<std::size_t>(frame.bytesPerLine);
    }
    const auto total = checkedMultiply<std::size_t>(
        static_cast<std::size_t>(frame.lines), static_cast<std::size_t>(frame.bytesPerLine));
    return frame.lines > 0 && total && frame.bytes.size() >= *total;
}

Expected<PageImage> assemblePage(const std::vector<ScanFrame>& frames, double dpi)
{
    if (frames.empty()) {
        return Error{EINVAL, "keine Bilddaten"};
    }
    for (const ScanFrame& frame : frames) {
        if (!frameComplete(frame)) {
            return Error{EIO, "unvollständige Bilddaten"};
        }
    }
    PageImage page;
    page.dpi = dpi;
    const ScanFrame& first = frames.front();
    page.width = first.pixelsPerLine;
    page.height = static_cast<int>(lineCount(first));
    const std::size_t width = static_cast<std::size_t>(page.width);
    const std::size_t height = static_cast<std::size_t>(page.height);

    if (frames.size() == 1 && (first.format == FrameFormat::Grey || first.format == FrameFormat::Rgb)) {
        page.channels = first.format == FrameFormat::Rgb ? 3 : 1;
        const std::size_t perLine = width * static_cast<std::size_t>(page.channels);
        page.samples.resize(perLine * height);
        const bool highIsDark = first.format == FrameFormat::Grey;
        for (std::size_t y = 0; y < height; ++y) {
            const std::uint8_t* line = first.bytes.data() + y * static_cast<std::size_t>(first.bytesPerLine);
            for (std::size_t i = 0; i < perLine; ++i) {
                page.samples[y * perLine + i] = sampleAt(line, first.depth, i, highIsDark);
            }
        }
        return page;
    }

    if (frames.size() != 3) {
        return Error{EINVAL, "unerwartete Folge von Bildteilen"};
    }
    const ScanFrame* channels[3] = {nullptr, nullptr, nullptr};
    for (const ScanFrame& frame : frames) {
        int slot = -1;
        switch (frame.format) {
            case FrameFormat::Red:
                slot = 0;
                break;
            case FrameFormat::Green:
                slot = 1;
                break;
            case FrameFormat::Blue:
                slot = 2;
                break;
            default:
                break;
        }
        if (slot < 0 || channels[slot] != nullptr || frame.pixelsPerLine != first.pixelsPerLine ||
            lineCount(frame) != height) {
            return Error{EINVAL, "unerwartete Folge von Bildteilen"};
        }
        channels[slot] = &frame;
    }
    page.channels = 3;
    page.samples.resize(width * height * 3);
    for (std::size_t c = 0; c < 3; ++c) {
        const ScanFrame& frame = *channels[c];
        for (std::size_t y = 0; y < height; ++y) {
            const std::uint8_t* line = frame.bytes.data() + y * static_cast<std::size_t>(frame.bytesPerLine);
            for (std::size_t x = 0; x < width; ++x) {
                page.samples[(y * width + x) * 3 + c] = sampleAt(line, frame.depth, x, false);
            }
        }
    }
    return page;
}

} // namespace folvex
