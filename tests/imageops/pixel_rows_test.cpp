// The vector row kernels against the pixel-by-pixel forms, byte for byte, on every kernel this
// processor runs: rows of every width around the step sizes (16 and 64 pixels) with bytes at and next
// to the points, so a pixel split over two registers or a lost tail shows.

#include "imageops/pixel_operations_internal.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace folvex {
namespace {

const unsigned RowWidths[] = {0,  1,  2,  3,  5,  15,  16,  17,  21,  31,  32,
                              33, 63, 64, 65, 66, 127, 128, 129, 150, 2481};

std::string kernelName(RowKernel kernel)
{
    switch (kernel) {
        case RowKernel::Avx512:
            return "Avx512";
        case RowKernel::Ssse3:
            return "Ssse3";
        case RowKernel::Portable:
            return "Portable";
        case RowKernel::ByPixel:
            break;
    }
    return "ByPixel";
}

// A row of width pixels and a guard byte after it; each byte is taken near one of the values given
// (within 1) or anywhere, so the compares meet their edge cases often.
std::vector<BYTE> randomRow(std::mt19937& random, unsigned width, const std::vector<int>& near)
{
    std::vector<BYTE> row(3 * std::size_t{width} + 1);
    std::uniform_int_distribution<int> anyByte(0, 255);
    std::uniform_int_distribution<std::size_t> pick(0, near.size());
    std::uniform_int_distribution<int> step(-1, 1);
    for (BYTE& byte : row) {
        const std::size_t chosen = pick(random);
        byte = static_cast<BYTE>(
            chosen == near.size() ? anyByte(random) : std::clamp(near[chosen] + step(random), 0, 255));
    }
    row.back() = 0xA5;
    return row;
}

TEST(PixelRowKernelsTest, DeGrayGivesTheSameBytesAsPixelByPixel)
{
    std::mt19937 random(7);
    std::uniform_int_distribution<int> anyByte(0, 255);
    for (int round = 0; round < 40; ++round) {
        DeGrayPoints points{};
        points.whiteRed = static_cast<std::uint8_t>(anyByte(random));
        points.whiteGreen = static_cast<std::uint8_t>(anyByte(random));
        points.whiteBlue = static_cast<std::uint8_t>(anyByte(random));
        points.blackRed = static_cast<std::uint8_t>(anyByte(random));
        points.blackGreen = static_cast<std::uint8_t>(anyByte(random));
        points.blackBlue = static_cast<std::uint8_t>(anyByte(random));
        const std::vector<int> near = {
            points.whiteRed,
            points.whiteGreen,
            points.whiteBlue,
            points.blackRed,
            points.blackGreen,
            points.blackBlue};
        for (const unsigned width : RowWidths) {
            const std::vector<BYTE> row = randomRow(random, width, near);
            std::vector<BYTE> expected = row;
            deGrayRow(expected.data(), width, points, RowKernel::ByPixel);
            for (const RowKernel kernel : rowKernels()) {
                SCOPED_TRACE(kernelName(kernel) + ", width " + std::to_string(width));
                std::vector<BYTE> actual = row;
                deGrayRow(actual.data(), width, points, kernel);
                ASSERT_EQ(actual, expected);
            }
        }
    }
}

TEST(PixelRowKernelsTest, DeGrayDecidesPerPixelWithWhiteFirst)
{
    // Points white (200, 150, 100), black (60, 50, 40) in the red, green, blue fields; the pixels
    // (blue, green, red bytes) at the two ends of a 64-pixel step and one split over two registers.
    const DeGrayPoints points{200, 150, 100, 60, 50, 40};

    struct Case
    {
        BYTE blue, green, red, outBlue, outGreen, outRed;
    };

    const Case cases[] = {
        {100, 150, 200, 255, 255, 255}, // exactly the white points
        {99, 150, 200, 99, 150, 200},   // one channel below
        {40, 50, 60, 0, 0, 0},          // exactly the black points
        {41, 50, 60, 41, 50, 60},       // one channel above
        {40, 255, 60, 40, 255, 60},     // white green, black red and blue: neither
    };
    const unsigned width = 128;
    for (const unsigned pixel : {0u, 5u, 21u, 42u, 63u, 64u, 127u}) {
        for (const Case& test : cases) {
            for (const RowKernel kernel : rowKernels()) {
                SCOPED_TRACE(kernelName(kernel) + ", pixel " + std::to_string(pixel));
                // Mid-grey elsewhere stays as it is.
                std::vector<BYTE> row(3 * width, 128);
                row[3 * pixel + FI_RGBA_BLUE] = test.blue;
                row[3 * pixel + FI_RGBA_GREEN] = test.green;
                row[3 * pixel + FI_RGBA_RED] = test.red;
                deGrayRow(row.data(), width, points, kernel);
                std::vector<BYTE> expected(3 * width, 128);
                expected[3 * pixel + FI_RGBA_BLUE] = test.outBlue;
                expected[3 * pixel + FI_RGBA_GREEN] = test.outGreen;
                expected[3 * pixel + FI_RGBA_RED] = test.outRed;
                ASSERT_EQ(row, expected);
            }
        }
    }
}

TEST(PixelRowKernelsTest, InversionAndWhiteBalanceGiveTheSameBytesAsPixelByPixel)
{
    std::mt19937 random(11);
    std::uniform_int_distribution<int> anyByte(0, 255);
    std::uniform_int_distribution<int> anyReference(1, 255);
    for (int round = 0; round < 20; ++round) {
        // Real tables, and tables of any bytes, so every entry of the registers' tables is looked at.
        std::array<std::array<std::uint8_t, 256>, 3> tables{};
        for (std::array<std::uint8_t, 256>& table : tables) {
            if (round % 2 == 0) {
                table = whiteBalanceTable(anyReference(random));
            } else {
                for (std::uint8_t& entry : table) {
                    entry = static_cast<std::uint8_t>(anyByte(random));
                }
            }
        }
        for (const unsigned width : RowWidths) {
            const std::vector<BYTE> row = randomRow(random, width, {});
            std::vector<BYTE> balanced = row;
            std::vector<BYTE> inverted = row;
            for (std::size_t at = 0; at < 3 * std::size_t{width}; at += 3) {
                balanced[at + FI_RGBA_RED] = tables[0][row[at + FI_RGBA_RED]];
                balanced[at + FI_RGBA_GREEN] = tables[1][row[at + FI_RGBA_GREEN]];
                balanced[at + FI_RGBA_BLUE] = tables[2][row[at + FI_RGBA_BLUE]];
                for (std::size_t c = 0; c < 3; ++c) {
                    inverted[at + c] = static_cast<BYTE>(255 - row[at + c]);
                }
            }
            for (const RowKernel kernel : rowKernels()) {
                SCOPED_TRACE(kernelName(kernel) + ", width " + std::to_string(width));
                std::vector<BYTE> actual = row;
                WhiteBalanceRows(tables[0], tables[1], tables[2], kernel).apply(actual.data(), width);
                ASSERT_EQ(actual, balanced);
                actual = row;
                invertRow(actual.data(), width, kernel);
                ASSERT_EQ(actual, inverted);
            }
        }
    }
}

TEST(PixelRowKernelsTest, OnlyTablesThatGiveEveryValueBackAreTheIdentity)
{
    std::array<std::uint8_t, 256> same{};
    for (unsigned v = 0; v < 256; ++v) {
        same[v] = static_cast<std::uint8_t>(v);
    }
    EXPECT_TRUE(WhiteBalanceRows(same, same, same).identity());
    EXPECT_TRUE(WhiteBalanceRows(whiteBalanceTable(255), same, whiteBalanceTable(255)).identity());
    EXPECT_FALSE(WhiteBalanceRows(same, whiteBalanceTable(254), same).identity());
}

} // namespace
} // namespace folvex
