#include "twain/sane_page_writer.h"

#include "support/temp_dir.h"
#include "twain/bmp_page.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <random>

namespace folvex {
namespace {

using testing::readFile;
using testing::TempDir;

// One frame as a device delivers it: its parameters and every byte up to the end of the frame.
struct Frame
{
    FrameLayout layout;
    std::vector<std::uint8_t> bytes;
};

std::vector<std::uint8_t> words16(const std::vector<std::uint16_t>& values)
{
    std::vector<std::uint8_t> bytes(values.size() * 2);
    std::memcpy(bytes.data(), values.data(), bytes.size());
    return bytes;
}

// Writes the frames through a writer, the bytes of each frame in pieces of chunk bytes; the first
// problem, or nullopt when the page was committed.
std::optional<PageProblem>
writePage(const std::string& path, BmpDepth wanted, const std::vector<Frame>& frames, std::size_t chunk)
{
    PageWriter writer(path, wanted, 150.0);
    for (const Frame& frame : frames) {
        if (auto problem = writer.beginFrame(frame.layout)) {
            return problem;
        }
        for (std::size_t at = 0; at < frame.bytes.size(); at += chunk) {
            const std::size_t size = std::min(chunk, frame.bytes.size() - at);
            if (auto problem = writer.write(frame.bytes.data() + at, size)) {
                return problem;
            }
        }
        if (!writer.frameComplete()) {
            return PageProblem{PageFault::BadData, "incomplete frame"};
        }
    }
    if (auto problem = writer.finish()) {
        return problem;
    }
    return writer.commit();
}

TEST(PageWriterTest, FramesBecomePagesInAnySplit)
{
    struct Row
    {
        const char* label;
        std::vector<Frame> frames;
        int width;
        int height;
        std::vector<std::uint8_t> samples; // grey, or red, green, blue per pixel
    };

    const Row rows[] = {
        {"grey 8 with padding dropped",
         {{{FrameFormat::Grey, 8, 2, 4, 2}, {10, 20, 99, 99, 30, 40, 99, 99}}},
         2,
         2,
         {10, 20, 30, 40}},
        {"grey 1: a set bit is black",
         {{{FrameFormat::Grey, 1, 3, 1, 2}, {0xA0, 0x40}}},
         3,
         2,
         {0, 255, 0, 255, 0, 255}},
        {"grey 16 keeps the high byte",
         {{{FrameFormat::Grey, 16, 2, 4, 1}, words16({0x12FF, 0xAB01})}},
         2,
         1,
         {0x12, 0xAB}},
        {"rgb 8", {{{FrameFormat::Rgb, 8, 1, 3, 2}, {1, 2, 3, 4, 5, 6}}}, 1, 2, {1, 2, 3, 4, 5, 6}},
        {"rgb 16", {{{FrameFormat::Rgb, 16, 1, 6, 1}, words16({0x0100, 0x0200, 0x0300})}}, 1, 1, {1, 2, 3}},
        {"three passes in any order",
         {{{FrameFormat::Blue, 8, 2, 2, 1}, {5, 6}},
          {{FrameFormat::Red, 8, 2, 2, 1}, {1, 2}},
          {{FrameFormat::Green, 8, 2, 2, 1}, {3, 4}}},
         2,
         1,
         {1, 3, 5, 2, 4, 6}},
        {"three passes of unknown height",
         {{{FrameFormat::Green, 8, 1, 1, -1}, {3, 4}},
          {{FrameFormat::Red, 8, 1, 1, -1}, {1, 2}},
          {{FrameFormat::Blue, 8, 1, 1, -1}, {5, 6}}},
         1,
         2,
         {1, 3, 5, 2, 4, 6}},
        {"unknown height: whole lines up to the end",
         {{{FrameFormat::Grey, 8, 2, 2, -1}, {1, 2, 3, 4, 5}}},
         2,
         2,
         {1, 2, 3, 4}},
        {"lines beyond the announced height are dropped",
         {{{FrameFormat::Grey, 8, 1, 1, 2}, {7, 8, 9}}},
         1,
         2,
         {7, 8}},
    };
    for (const Row& row : rows) {
        const bool colour = row.samples.size() == static_cast<std::size_t>(3 * row.width * row.height);
        for (std::size_t chunk : {std::size_t{1}, std::size_t{3}, std::size_t{1} << 20}) {
            SCOPED_TRACE(std::string(row.label) + ", pieces of " + std::to_string(chunk));
            TempDir folder;
            const std::string path = folder.file("p.bmp");
            const auto problem =
                writePage(path, colour ? BmpDepth::Colour : BmpDepth::Grey, row.frames, chunk);
            ASSERT_FALSE(problem) << problem->message;
            const auto page = decodeBmp(readFile(path));
            ASSERT_TRUE(page.hasValue()) << page.error().message;
            EXPECT_EQ(page->width, row.width);
            EXPECT_EQ(page->height, row.height);
            EXPECT_EQ(page->samples, row.samples);
            EXPECT_EQ(dotsPerMetre(page->dpi), dotsPerMetre(150.0));
            EXPECT_EQ(testing::readFile(path).size(), std::filesystem::file_size(path));
            std::size_t files = 0;
            for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder.path())) {
                ++files;
            }
            EXPECT_EQ(files, 1u) << "no spool or temporary file left";
        }
    }
}

// A page of random samples, and the frames a device would deliver for it.
struct RandomPage
{
    PageImage image;
    std::vector<Frame> frames;
};

RandomPage
randomPage(int width, int height, FrameFormat format, int depth, bool announceHeight, unsigned seed)
{
    std::mt19937 random(seed);
    RandomPage page;
    const bool colour = format != FrameFormat::Grey;
    page.image.width = width;
    page.image.height = height;
    page.image.channels = colour ? 3 : 1;
    page.image.dpi = 150.0;
    page.image.samples.resize(static_cast<std::size_t>(width * height * page.image.channels));
    for (auto& sample : page.image.samples) {
        sample = depth == 1 ? (random() % 2 != 0 ? 255 : 0) : static_cast<std::uint8_t>(random());
    }
    const std::vector<FrameFormat> formats =
        format == FrameFormat::Red ? std::vector{FrameFormat::Green, FrameFormat::Blue, FrameFormat::Red}
                                   : std::vector{format};
    for (FrameFormat frameFormat : formats) {
        const int channels = frameFormat == FrameFormat::Rgb ? 3 : 1;
        const int first = frameFormat == FrameFormat::Green ? 1 : frameFormat == FrameFormat::Blue ? 2 : 0;
        const int perLine = width * channels;
        const int lineBytes = depth == 1 ? (perLine + 7) / 8 + 1 : perLine * depth / 8 + 2; // with padding
        Frame frame{{frameFormat, depth, width, lineBytes, announceHeight ? height : -1}, {}};
        frame.bytes.assign(static_cast<std::size_t>(lineBytes * height), 0x5A);
        for (int y = 0; y < height; ++y) {
            std::uint8_t* line = frame.bytes.data() + static_cast<std::size_t>(y * lineBytes);
            std::memset(line, 0, static_cast<std::size_t>(lineBytes - 1));
            for (int i = 0; i < perLine; ++i) {
                const int pixel = y * width + i / channels;
                const int channel = channels == 3 ? i % 3 : first;
                const std::uint8_t sample =
                    page.image.samples[static_cast<std::size_t>(pixel * page.image.channels + channel)];
                if (depth == 1) {
                    if (sample == 0) { // a set bit is black
                        line[i / 8] = static_cast<std::uint8_t>(line[i / 8] | (0x80 >> (i % 8)));
                    }
                } else if (depth == 8) {
                    line[i] = sample;
                } else {
                    const std::uint16_t word = static_cast<std::uint16_t>(sample << 8 | (random() & 0xFF));
                    std::memcpy(line + 2 * i, &word, 2);
                }
            }
        }
        page.frames.push_back(std::move(frame));
    }
    return page;
}

TEST(PageWriterTest, StreamedFilesEqualTheWholePageEncoding)
{
    // Lines long enough that a page spans several write blocks; every conversion of the writer must
    // give the very bytes the whole-page encoder gives.
    struct Row
    {
        const char* label;
        FrameFormat format; // Red: three passes
        int depth;
        BmpDepth wanted;
    };

    const Row rows[] = {
        {"grey 8", FrameFormat::Grey, 8, BmpDepth::Grey},
        {"grey 16", FrameFormat::Grey, 16, BmpDepth::Grey},
        {"grey 1 as bilevel", FrameFormat::Grey, 1, BmpDepth::Bilevel},
        {"grey 8 thresholded", FrameFormat::Grey, 8, BmpDepth::Bilevel},
        {"rgb 8", FrameFormat::Rgb, 8, BmpDepth::Colour},
        {"rgb 16", FrameFormat::Rgb, 16, BmpDepth::Colour},
        {"rgb 8 as grey", FrameFormat::Rgb, 8, BmpDepth::Grey},
        {"rgb 8 as bilevel", FrameFormat::Rgb, 8, BmpDepth::Bilevel},
        {"three passes", FrameFormat::Red, 8, BmpDepth::Colour},
        {"three passes as grey", FrameFormat::Red, 8, BmpDepth::Grey},
    };
    unsigned seed = 1;
    for (const Row& row : rows) {
        for (bool announced : {true, false}) {
            SCOPED_TRACE(std::string(row.label) + (announced ? "" : ", height unknown"));
            const RandomPage page = randomPage(1501, 300, row.format, row.depth, announced, seed++);
            TempDir folder;
            const std::string path = folder.file("p.bmp");
            const auto problem = writePage(path, row.wanted, page.frames, 65536 + 7);
            ASSERT_FALSE(problem) << problem->message;
            const auto expected = encodeBmp(page.image, row.wanted);
            ASSERT_TRUE(expected.hasValue());
            const std::string actual = readFile(path);
            ASSERT_EQ(actual.size(), expected->size());
            const auto differs = std::mismatch(actual.begin(), actual.end(), expected->begin());
            EXPECT_TRUE(differs.first == actual.end())
                << "first difference at byte " << (differs.first - actual.begin());
        }
    }
}

TEST(PageWriterTest, BrokenFramesAndUnwritableFoldersLeaveNoFile)
{
    struct Row
    {
        const char* label;
        std::vector<Frame> frames;
        PageFault fault;
    };

    const Row rows[] = {
        {"no frame", {}, PageFault::BadData},
        {"a line short", {{{FrameFormat::Grey, 8, 2, 2, 3}, {1, 2, 3, 4}}}, PageFault::BadData},
        {"unknown height without a whole line",
         {{{FrameFormat::Grey, 8, 4, 4, -1}, {1, 2}}},
         PageFault::BadData},
        {"line shorter than its pixels",
         {{{FrameFormat::Rgb, 8, 2, 4, 1}, {1, 2, 3, 4}}},
         PageFault::BadData},
        {"depth 4", {{{FrameFormat::Grey, 4, 2, 1, 1}, {0x12}}}, PageFault::BadData},
        {"a line of 100 MB", {{{FrameFormat::Grey, 8, 100000000, 100000000, 1}, {}}}, PageFault::BadData},
        {"two reds",
         {{{FrameFormat::Red, 8, 1, 1, 1}, {1}},
          {{FrameFormat::Red, 8, 1, 1, 1}, {1}},
          {{FrameFormat::Blue, 8, 1, 1, 1}, {1}}},
         PageFault::BadData},
        {"passes of different height",
         {{{FrameFormat::Red, 8, 1, 1, 1}, {1}},
          {{FrameFormat::Green, 8, 1, 1, 2}, {1, 2}},
          {{FrameFormat::Blue, 8, 1, 1, 1}, {1}}},
         PageFault::BadData},
        {"a later pass of unknown height longer",
         {{{FrameFormat::Red, 8, 1, 1, -1}, {1}},
          {{FrameFormat::Green, 8, 1, 1, -1}, {1, 2}},
          {{FrameFormat::Blue, 8, 1, 1, -1}, {1}}},
         PageFault::BadData},
        {"two passes only",
         {{{FrameFormat::Red, 8, 1, 1, 1}, {1}}, {{FrameFormat::Green, 8, 1, 1, 1}, {1}}},
         PageFault::BadData},
        {"far more data than announced",
         {{{FrameFormat::Grey, 8, 1, 1, 1}, std::vector<std::uint8_t>(600 * 1024, 0)}},
         PageFault::TooMuchData},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        TempDir folder;
        const auto problem = writePage(folder.file("p.bmp"), BmpDepth::Colour, row.frames, 4096);
        ASSERT_TRUE(problem.has_value());
        EXPECT_EQ(problem->fault, row.fault) << problem->message;
        EXPECT_TRUE(std::filesystem::is_empty(folder.path()));
    }

    TempDir folder;
    testing::writeFile(folder.file("plain"), "not a folder");
    const auto problem =
        writePage(folder.file("plain/p.bmp"), BmpDepth::Grey, {{{FrameFormat::Grey, 8, 1, 1, 1}, {1}}}, 1);
    ASSERT_TRUE(problem.has_value());
    EXPECT_EQ(problem->fault, PageFault::NotWritten);
    EXPECT_EQ(problem->message, std::strerror(ENOTDIR));

    // A page given up halfway (a cancel) leaves neither its file nor a spool.
    for (int lines : {4, -1}) {
        SCOPED_TRACE(lines);
        TempDir half;
        {
            PageWriter writer(half.file("p.bmp"), BmpDepth::Grey, 100.0);
            ASSERT_FALSE(writer.beginFrame({FrameFormat::Grey, 8, 2, 2, lines}));
            const std::uint8_t line[2] = {1, 2};
            ASSERT_FALSE(writer.write(line, 2));
            EXPECT_FALSE(writer.temporaryPath().empty());
        }
        EXPECT_TRUE(std::filesystem::is_empty(half.path()));
    }
}

} // namespace
} // namespace folvex
