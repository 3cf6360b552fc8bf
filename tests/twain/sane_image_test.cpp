#include "twain/sane_image.h"

#include <gtest/gtest.h>

#include <cstring>

namespace folvex {
namespace {

std::vector<std::uint8_t> words16(const std::vector<std::uint16_t>& values)
{
    std::vector<std::uint8_t> bytes(values.size() * 2);
    std::memcpy(bytes.data(), values.data(), bytes.size());
    return bytes;
}

TEST(SaneImageTest, FramesBecomePages)
{
    struct Row
    {
        const char* label;
        std::vector<ScanFrame> frames;
        int width;
        int height;
        int channels;
        std::vector<std::uint8_t> samples;
    };

    const Row rows[] = {
        {"grey 8 with padding dropped",
         {{FrameFormat::Grey, 8, 2, 4, 2, {10, 20, 99, 99, 30, 40, 99, 99}}},
         2,
         2,
         1,
         {10, 20, 30, 40}},
        {"grey 1: a set bit is black",
         {{FrameFormat::Grey, 1, 3, 1, 2, {0xA0, 0x40}}},
         3,
         2,
         1,
         {0, 255, 0, 255, 0, 255}},
        {"grey 16 keeps the high byte",
         {{FrameFormat::Grey, 16, 2, 4, 1, words16({0x12FF, 0xAB01})}},
         2,
         1,
         1,
         {0x12, 0xAB}},
        {"rgb 8", {{FrameFormat::Rgb, 8, 1, 3, 2, {1, 2, 3, 4, 5, 6}}}, 1, 2, 3, {1, 2, 3, 4, 5, 6}},
        {"rgb 16", {{FrameFormat::Rgb, 16, 1, 6, 1, words16({0x0100, 0x0200, 0x0300})}}, 1, 1, 3, {1, 2, 3}},
        {"three passes in any order",
         {{FrameFormat::Blue, 8, 2, 2, 1, {5, 6}},
          {FrameFormat::Red, 8, 2, 2, 1, {1, 2}},
          {FrameFormat::Green, 8, 2, 2, 1, {3, 4}}},
         2,
         1,
         3,
         {1, 3, 5, 2, 4, 6}},
        {"unknown height: whole lines up to the end",
         {{FrameFormat::Grey, 8, 2, 2, -1, {1, 2, 3, 4, 5}}},
         2,
         2,
         1,
         {1, 2, 3, 4}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        const auto page = assemblePage(row.frames, 150.0);
        ASSERT_TRUE(page.hasValue()) << page.error().message;
        EXPECT_EQ(page->width, row.width);
        EXPECT_EQ(page->height, row.height);
        EXPECT_EQ(page->channels, row.channels);
        EXPECT_EQ(page->samples, row.samples);
        EXPECT_EQ(page->dpi, 150.0);
    }
}

TEST(SaneImageTest, IncompleteOrInconsistentFramesAreRefused)
{
    struct Row
    {
        const char* label;
        std::vector<ScanFrame> frames;
    };

    const Row rows[] = {
        {"no frame", {}},
        {"a line short", {{FrameFormat::Grey, 8, 2, 2, 3, {1, 2, 3, 4}}}},
        {"unknown height without a whole line", {{FrameFormat::Grey, 8, 4, 4, -1, {1, 2}}}},
        {"line shorter than its pixels", {{FrameFormat::Rgb, 8, 2, 4, 1, {1, 2, 3, 4}}}},
        {"depth 4", {{FrameFormat::Grey, 4, 2, 1, 1, {0x12}}}},
        {"two reds",
         {{FrameFormat::Red, 8, 1, 1, 1, {1}},
          {FrameFormat::Red, 8, 1, 1, 1, {1}},
          {FrameFormat::Blue, 8, 1, 1, 1, {1}}}},
        {"passes of different height",
         {{FrameFormat::Red, 8, 1, 1, 1, {1}},
          {FrameFormat::Green, 8, 1, 1, 2, {1, 2}},
          {FrameFormat::Blue, 8, 1, 1, 1, {1}}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        EXPECT_FALSE(assemblePage(row.frames, 100.0).hasValue());
    }
    EXPECT_FALSE(frameComplete({FrameFormat::Grey, 8, 2, 2, 3, {1, 2, 3, 4}}));
    EXPECT_TRUE(frameComplete({FrameFormat::Grey, 8, 2, 2, 2, {1, 2, 3, 4}}));
}

} // namespace
} // namespace folvex
