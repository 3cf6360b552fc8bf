#include "runtime/object_registry.h"

#include "runtime/dib.h"
#include "runtime/draw_objects.h"

#include <gtest/gtest.h>

#include <QPushButton>
#include <QWidget>

#include <memory>

namespace folvex {
namespace {

TEST(ObjectRegistryTest, HandlesFindTheirObjectsBothWaysWithTheirStyle)
{
    QWidget window;
    const Handle handle = registerObject(&window, ObjectKind::Window, 0x10CF0000);
    EXPECT_GT(handle, 1000);
    EXPECT_EQ(findObject(handle), &window);
    EXPECT_EQ(findWidget(handle), &window);
    EXPECT_EQ(handleOf(&window), handle);
    EXPECT_EQ(kindOf(handle), ObjectKind::Window);
    EXPECT_EQ(styleOf(handle), 0x10CF0000u);
    EXPECT_EQ(registerObject(&window, ObjectKind::Window), handle);

    EXPECT_TRUE(setStyleOf(handle, 0x10C90000));
    EXPECT_EQ(styleOf(handle), 0x10C90000u);

    for (const Handle none : {NoHandle, Handle{1}, handle + 1000000}) {
        SCOPED_TRACE(none);
        EXPECT_EQ(findObject(none), nullptr);
        EXPECT_EQ(kindOf(none), ObjectKind::None);
        EXPECT_EQ(styleOf(none), 0u);
        EXPECT_FALSE(setStyleOf(none, 1));
    }
    EXPECT_EQ(handleOf(nullptr), NoHandle);
}

TEST(ObjectRegistryTest, ADestroyedObjectsHandleReadsAsNoneAndIsNotReused)
{
    auto window = std::make_unique<QWidget>();
    auto* button = new QPushButton(window.get());
    const Handle windowHandle = registerObject(window.get(), ObjectKind::Window, 1);
    const Handle buttonHandle = registerObject(button, ObjectKind::Control, 2);
    ASSERT_EQ(findWidget(buttonHandle), button);

    window.reset(); // deletes the button with it
    for (const Handle gone : {windowHandle, buttonHandle}) {
        SCOPED_TRACE(gone);
        EXPECT_EQ(findObject(gone), nullptr);
        EXPECT_EQ(findWidget(gone), nullptr);
        EXPECT_EQ(kindOf(gone), ObjectKind::None);
        EXPECT_EQ(styleOf(gone), 0u);
    }

    // A new object, even at a reused address, gets a new number.
    QWidget next;
    const Handle nextHandle = registerObject(&next, ObjectKind::Window);
    EXPECT_GT(nextHandle, buttonHandle);
    EXPECT_EQ(findObject(windowHandle), nullptr);
}

TEST(ObjectRegistryTest, ReleasedHandleForgetsItsObjectOnly)
{
    QWidget window;
    const Handle handle = registerObject(&window, ObjectKind::Window);
    releaseHandle(handle);
    EXPECT_EQ(findObject(handle), nullptr);
    EXPECT_EQ(handleOf(&window), NoHandle);
    EXPECT_NE(registerObject(&window, ObjectKind::Window), handle);
}

TEST(DrawObjectsTest, FontsByNameAndPoints)
{
    struct Case
    {
        const char* name;
        const char* family;
    };

    const Case cases[] = {
        {"Segoe UI", "Liberation Sans"},
        {"segoe ui", "Liberation Sans"},
        {"Arial", "Liberation Sans"},
        {"ARIAL", "Liberation Sans"},
        {"DejaVu Sans Mono", "DejaVu Sans Mono"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Handle handle = createFont(c.name, 9, static_cast<std::uint32_t>(FontFlag::Bold));
        const QFont* font = findFont(handle);
        ASSERT_NE(font, nullptr);
        EXPECT_EQ(font->family(), QString::fromUtf8(c.family));
        EXPECT_EQ(font->pointSizeF(), 9.0);
        EXPECT_TRUE(font->bold());
        EXPECT_FALSE(font->italic());
        EXPECT_EQ(kindOf(handle), ObjectKind::Font);
        EXPECT_TRUE(deleteDrawObject(handle));
        EXPECT_EQ(findFont(handle), nullptr);
        EXPECT_FALSE(deleteDrawObject(handle));
    }
}

TEST(DrawObjectsTest, BrushesAndPensKeepTheirColourAndKind)
{
    const Handle brush = createSolidBrush(0x00FF8040);
    const Handle pen = createPen(2, 0x000000FF);
    const Handle nullPen = createNullPen();

    ASSERT_NE(findBrush(brush), nullptr);
    EXPECT_EQ(findBrush(brush)->color(), QColor(0x40, 0x80, 0xFF));
    EXPECT_EQ(findBrush(brush)->style(), Qt::SolidPattern);
    ASSERT_NE(findPen(pen), nullptr);
    EXPECT_EQ(findPen(pen)->color(), QColor(0xFF, 0, 0));
    EXPECT_EQ(findPen(pen)->width(), 2);
    ASSERT_NE(findPen(nullPen), nullptr);
    EXPECT_EQ(findPen(nullPen)->style(), Qt::NoPen);

    // A handle of one kind is none for the others.
    EXPECT_EQ(findPen(brush), nullptr);
    EXPECT_EQ(findBrush(pen), nullptr);
    EXPECT_EQ(findFont(pen), nullptr);
    EXPECT_EQ(findObject(brush), nullptr);

    QWidget window;
    EXPECT_FALSE(deleteDrawObject(registerObject(&window, ObjectKind::Window)));
    for (const Handle handle : {brush, pen, nullPen}) {
        EXPECT_TRUE(deleteDrawObject(handle));
    }
}

TEST(DrawObjectsTest, ImageOfDibShowsEveryDepthTopRowFirst)
{
    // Two pixels in two rows: the top row red, then blue; the bottom row green, then white.
    struct Case
    {
        const char* label;
        std::uint16_t bitCount;
    };

    const Case cases[] = {{"1 bit", 1}, {"4 bits", 4}, {"8 bits", 8}, {"24 bits", 24}, {"32 bits", 32}};
    const QRgb top[] = {qRgb(255, 0, 0), qRgb(0, 0, 255)};
    const QRgb bottom[] = {qRgb(0, 255, 0), qRgb(255, 255, 255)};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        std::unique_ptr<DibBitmap> dib = makeDibBitmap(2, 2, c.bitCount);
        ASSERT_NE(dib, nullptr);
        const auto put = [&dib, &c](int x, int y, QRgb colour, std::uint32_t index) {
            std::uint8_t* row = dib->rowTopDown(y);
            if (c.bitCount >= 24) {
                std::uint8_t* p = row + x * (c.bitCount / 8);
                p[0] = static_cast<std::uint8_t>(qBlue(colour));
                p[1] = static_cast<std::uint8_t>(qGreen(colour));
                p[2] = static_cast<std::uint8_t>(qRed(colour));
                return;
            }
            dib->palette[index] = colour & 0xFFFFFF; // blue in the lowest byte
            const int bitPos = x * c.bitCount;
            row[bitPos / 8] |= static_cast<std::uint8_t>(index << (8 - c.bitCount - bitPos % 8));
        };
        if (c.bitCount == 1) {
            // Two palette entries only: one colour per entry, so the rows share them.
            put(0, 0, top[0], 0);
            put(1, 0, top[1], 1);
            put(0, 1, top[0], 0);
            put(1, 1, top[1], 1);
        } else {
            put(0, 0, top[0], 0);
            put(1, 0, top[1], 1);
            put(0, 1, bottom[0], 2);
            put(1, 1, bottom[1], 3);
        }
        const QImage image = imageOfDib(*dib);
        ASSERT_EQ(image.size(), QSize(2, 2));
        EXPECT_EQ(image.pixel(0, 0), top[0]);
        EXPECT_EQ(image.pixel(1, 0), top[1]);
        EXPECT_EQ(image.pixel(0, 1), c.bitCount == 1 ? top[0] : bottom[0]);
        EXPECT_EQ(image.pixel(1, 1), c.bitCount == 1 ? top[1] : bottom[1]);
    }
}

TEST(DrawObjectsTest, ImageOfDibRefusesWhatItCannotRead)
{
    std::unique_ptr<DibBitmap> sixteen = makeDibBitmap(2, 2, 24);
    sixteen->bitCount = 16;
    EXPECT_TRUE(imageOfDib(*sixteen).isNull()) << "16 bits";
    std::unique_ptr<DibBitmap> cut = makeDibBitmap(2, 2, 24);
    cut->bits.resize(cut->bits.size() - 1);
    EXPECT_TRUE(imageOfDib(*cut).isNull()) << "too few bytes";
    DibBitmap empty;
    EXPECT_TRUE(imageOfDib(empty).isNull()) << "empty";
}

} // namespace
} // namespace folvex
