#include "foundation/pixel_access.h"

#include "support/fakes.h"
#include "support/image_fixtures.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <thread>

namespace folvex {
namespace {

using testing::ScopedBitmap;

std::uint8_t* pixelAt(const DibSlot& slot, int x, int y)
{
    const int stride = slot.SlotWidth * 3 + slot.RowPad;
    return slot.PixelStart + x * 3 + (slot.SlotHeight - 1 - y) * stride;
}

std::uint32_t colourAt(const DibSlot& slot, int x, int y)
{
    const std::uint8_t* pixel = pixelAt(slot, x, y);
    return std::uint32_t{pixel[2]} << 16 | std::uint32_t{pixel[1]} << 8 | pixel[0];
}

TEST(PixelAccessTest, EmptyBufferHasPaddedRowsAndAPackedHeader)
{
    const int expectedPad[] = {1, 2, 3, 0, 1};
    for (int width = 1; width <= 5; ++width) {
        SCOPED_TRACE(width);
        const int height = 3;
        ASSERT_EQ(StartPixelFast(width, height, NoHandle), 1);
        const DibSlot& slot = *dibSlot(1);
        EXPECT_EQ(slot.SlotMode, 1);
        EXPECT_EQ(slot.RowPad, expectedPad[width - 1]);
        const int stride = width * 3 + slot.RowPad;
        EXPECT_EQ(stride % 4, 0);
        EXPECT_EQ(slot.PixelStart, slot.Block.get() + 40);
        EXPECT_EQ(slot.AktPos, slot.PixelStart);
        EXPECT_EQ(slot.EndPos, slot.PixelStart + height * stride - 1);
        BitmapInfoHeader header;
        std::memcpy(&header, slot.Block.get(), sizeof header);
        EXPECT_EQ(header.biSize, 40u);
        EXPECT_EQ(header.biWidth, width);
        EXPECT_EQ(header.biHeight, height);
        EXPECT_EQ(header.biBitCount, 24);
        EXPECT_EQ(header.biXPelsPerMeter, 3779);
        EXPECT_EQ(FinishPixelFast(1, NoHandle, 0, 0), 1);
        EXPECT_FALSE(dibSlot(1)->Block);
    }
}

TEST(PixelAccessTest, ReadsEveryDepthAsTheLibraryDoes)
{
    std::mt19937 random(7);
    for (const std::uint16_t depth : {1, 4, 8, 24, 32}) {
        SCOPED_TRACE(depth);
        ScopedBitmap bitmap(testing::makeRandomBitmap(11, 6, depth, 0.3, random));
        const testing::ImagePtr image = testing::toFreeImage(bitmap.bitmap());
        ASSERT_EQ(StartPixelFast(11, 6, bitmap.handle()), 1);
        const DibSlot& slot = *dibSlot(1);
        EXPECT_EQ(slot.SlotMode, 2);
        for (int y = 0; y < 6; ++y) {
            for (int x = 0; x < 11; ++x) {
                ASSERT_EQ(colourAt(slot, x, y), testing::libraryColourAt(image.get(), x, y)) << x << "," << y;
            }
        }
        EXPECT_EQ(FinishPixelFast(1, NoHandle, 0, 0), 1);
    }
}

TEST(PixelAccessTest, PixelSetThroughTheFormulaLandsAtItsPlace)
{
    struct Case
    {
        const char* label;
        std::uint16_t depth;
    };

    const Case cases[] = {{"24-bit", 24}, {"8-bit palette", 8}};
    std::mt19937 random(11);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        ScopedBitmap bitmap(testing::makeRandomBitmap(9, 5, c.depth, 0.2, random));
        const testing::ImagePtr before = testing::toFreeImage(bitmap.bitmap());
        // A colour the bitmap can show exactly: a palette entry of the indexed one.
        const std::uint32_t colour = c.depth == 8 ? bitmap.bitmap().palette[200] : 0x123456;
        const int x = 6;
        const int y = 1;
        ASSERT_EQ(StartPixelFast(9, 5, bitmap.handle()), 1);
        std::uint8_t* pixel = pixelAt(*dibSlot(1), x, y);
        pixel[0] = static_cast<std::uint8_t>(colour);
        pixel[1] = static_cast<std::uint8_t>(colour >> 8);
        pixel[2] = static_cast<std::uint8_t>(colour >> 16);
        ASSERT_EQ(FinishPixelFast(1, bitmap.handle(), 0, 0), 1);

        const testing::ImagePtr after = testing::toFreeImage(bitmap.bitmap());
        for (int py = 0; py < 5; ++py) {
            for (int px = 0; px < 9; ++px) {
                const std::uint32_t expected =
                    px == x && py == y ? colour : testing::libraryColourAt(before.get(), px, py);
                EXPECT_EQ(testing::libraryColourAt(after.get(), px, py), expected) << px << "," << py;
            }
        }
    }
}

TEST(PixelAccessTest, IndexedWriteBackTakesTheNearestPaletteEntry)
{
    auto made = makeDibBitmap(2, 1, 1);
    made->palette = {0x000000, 0xFFFFFF};
    ScopedBitmap bitmap(std::move(made));
    ASSERT_EQ(StartPixelFast(2, 1, bitmap.handle()), 1);
    std::memset(pixelAt(*dibSlot(1), 0, 0), 0x90, 3); // nearer to white
    std::memset(pixelAt(*dibSlot(1), 1, 0), 0x70, 3); // nearer to black
    ASSERT_EQ(FinishPixelFast(1, bitmap.handle(), 0, 0), 1);
    EXPECT_EQ(bitmap.bitmap().bits[0] & 0xC0, 0x80);
}

TEST(PixelAccessTest, FlipReversesTheRows)
{
    ScopedBitmap bitmap(makeDibBitmap(3, 4, 24));
    ASSERT_EQ(StartPixelFast(3, 4, NoHandle), 1);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 3; ++x) {
            std::memset(pixelAt(*dibSlot(1), x, y), 10 * y + x, 3);
        }
    }
    ASSERT_EQ(FinishPixelFast(1, bitmap.handle(), 1, 0), 1);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 3; ++x) {
            EXPECT_EQ(bitmap.bitmap().rowTopDown(y)[3 * x], 10 * (3 - y) + x) << x << "," << y;
        }
    }
}

TEST(PixelAccessTest, OneSlotPerThread)
{
    testing::ScopedFakeEffects fakes;
    ScopedBitmap bitmap(makeDibBitmap(4, 87, 24));
    ASSERT_EQ(StartPixelFast(4, 87, bitmap.handle()), 1);
    const std::uint8_t* mine = dibSlot(1)->PixelStart;

    fakes.messages.queueAnswer(MessageAnswer::Ok);
    EXPECT_EQ(StartPixelFast(2, 2, NoHandle), 0);
    ASSERT_EQ(fakes.messages.shown.size(), 1u);
    EXPECT_EQ(
        fakes.messages.shown[0].text,
        "StartPixelFast: maximale Anzahl an DIBs (1) erreicht\r\r"
        "ggf. im Hauptprogramm die Konstante StandardMaxAnzDIBs anpassen");
    EXPECT_EQ(fakes.messages.shown[0].buttons, MessageButtons::OkCancel);

    int otherResult = 0;
    const std::uint8_t* other = nullptr;
    std::thread worker([&] {
        otherResult = StartPixelFast(2, 2, NoHandle);
        other = dibSlot(1)->PixelStart;
        FinishPixelFast(otherResult, NoHandle, 0, 0);
    });
    worker.join();
    EXPECT_EQ(otherResult, 1);
    EXPECT_NE(other, mine);

    // The first slot is untouched and still usable.
    EXPECT_EQ(dibSlot(1)->PixelStart, mine);
    std::memset(pixelAt(*dibSlot(1), 2, 86), 0xAB, 3);
    ASSERT_EQ(FinishPixelFast(1, bitmap.handle(), 0, 0), 1);
    EXPECT_EQ(bitmap.bitmap().rowTopDown(86)[6], 0xAB);
    EXPECT_EQ(fakes.messages.shown.size(), 1u);
}

TEST(PixelAccessTest, RefusalsLeaveTheSlotFree)
{
    struct Case
    {
        const char* label;
        int width;
        int height;
        bool validHandle;
        const char* note;
    };

    const Case cases[] = {
        {"size differs",
         5,
         4,
         true,
         "StartPixelFast: einer der Parameter beim Aufruf von GetDIBits ist ungültig"},
        {"no bitmap", 4, 4, false, "StartPixelFast: GetDIBits mit Parameter 0 fehlgeschlagen"},
        {"empty size",
         0,
         4,
         false,
         "StartPixelFast: einer der Parameter beim Aufruf von GetDIBits ist ungültig"},
    };
    ScopedBitmap bitmap(makeDibBitmap(4, 4, 8));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        testing::ScopedFakeEffects fakes;
        fakes.messages.queueAnswer(MessageAnswer::Ok);
        const Handle handle =
            c.validHandle ? bitmap.handle() : (c.width > 0 ? Handle{999'999'999} : NoHandle);
        EXPECT_EQ(StartPixelFast(c.width, c.height, handle), 0);
        ASSERT_EQ(fakes.messages.shown.size(), 1u);
        EXPECT_EQ(fakes.messages.shown[0].text, c.note);
        EXPECT_FALSE(dibSlot(1)->Block);
        ASSERT_EQ(StartPixelFast(4, 4, bitmap.handle()), 1);
        ASSERT_EQ(FinishPixelFast(1, NoHandle, 0, 0), 1);
    }
}

TEST(PixelAccessTest, FinishRefusals)
{
    testing::ScopedFakeEffects fakes;
    for (const int nDIB : {0, 1, 2}) {
        SCOPED_TRACE(nDIB);
        fakes.messages.queueAnswer(MessageAnswer::Ok);
        EXPECT_EQ(FinishPixelFast(nDIB, NoHandle, 0, 0), 0);
        EXPECT_EQ(
            fakes.messages.shown.back().text,
            "FinishPixelFast: es wurde für die angegebene nDIB (" + std::to_string(nDIB) +
                ") noch kein StartPixelFast aufgerufen");
        EXPECT_EQ(fakes.messages.shown.back().buttons, MessageButtons::OkCancel);
    }

    // The completeness check refuses (nothing advances AktPos) and frees the slot.
    ASSERT_EQ(StartPixelFast(3, 3, NoHandle), 1);
    const auto aktPos = reinterpret_cast<std::uintptr_t>(dibSlot(1)->AktPos);
    const auto endPos = reinterpret_cast<std::uintptr_t>(dibSlot(1)->EndPos);
    fakes.messages.queueAnswer(MessageAnswer::Ok);
    EXPECT_EQ(FinishPixelFast(1, NoHandle, 0, 1), 0);
    EXPECT_EQ(
        fakes.messages.shown.back().text,
        "FinishPixelFast: es wurden noch nicht alle benötigten Pixel mit SetNextPixelFast... gesetzt "
        "(nDIB=1)\r"
        "AktPos=" +
            std::to_string(aktPos) + "\rEndPos=" + std::to_string(endPos));
    EXPECT_FALSE(dibSlot(1)->Block);

    // A write-back that cannot be done is a mode-0 note; the slot is freed all the same.
    ScopedBitmap other(makeDibBitmap(4, 3, 24));
    ASSERT_EQ(StartPixelFast(3, 3, NoHandle), 1);
    fakes.messages.queueAnswer(MessageAnswer::Ok);
    EXPECT_EQ(FinishPixelFast(1, other.handle(), 0, 0), 0);
    EXPECT_EQ(fakes.messages.shown.back().text, "FinishPixelFast: SetDIBits fehlgeschlagen (nDIB=1)");
    EXPECT_EQ(fakes.messages.shown.back().buttons, MessageButtons::Ok);
    EXPECT_FALSE(dibSlot(1)->Block);
}

TEST(PixelAccessTest, CancelOnANoteEndsTheProgram)
{
    testing::ScopedFakeEffects fakes;
    fakes.messages.queueAnswer(MessageAnswer::Cancel);
    EXPECT_THROW(FinishPixelFast(1, NoHandle, 0, 0), testing::ProgramEnded);
    EXPECT_EQ(fakes.exit.codes, std::vector<int>{-1});
}

TEST(DrawLineTest, DrawsBlackUpToButNotIncludingTheEndPoint)
{
    for (const std::uint16_t depth : {1, 24, 32}) {
        SCOPED_TRACE(depth);
        auto made = makeDibBitmap(6, 4, depth);
        std::memset(made->bits.data(), 0xFF, made->bits.size());
        ScopedBitmap bitmap(std::move(made));
        DrawLine(bitmap.handle(), 0, 0, 3, 3);
        DrawLine(bitmap.handle(), 5, 0, 9, 0); // runs off the right edge
        const testing::ImagePtr image = testing::toFreeImage(bitmap.bitmap());
        for (int y = 0; y < 4; ++y) {
            for (int x = 0; x < 6; ++x) {
                const bool onLine = (x == y && x < 3) || (y == 0 && x == 5);
                EXPECT_EQ(testing::libraryColourAt(image.get(), x, y), onLine ? 0u : 0xFFFFFFu)
                    << x << "," << y;
            }
        }
    }
}

} // namespace
} // namespace folvex
