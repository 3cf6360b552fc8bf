#include "runtime/window_geometry.h"

#include "runtime/object_registry.h"

#include <gtest/gtest.h>

#include <QWidget>

#include <ostream>

namespace folvex {

void PrintTo(const WindowRect& rect, std::ostream* out)
{
    *out << "{" << rect.x << ", " << rect.y << ", " << rect.width << " x " << rect.height << "}";
}

namespace {

constexpr std::uint32_t OverlappedWindowStyle = 0x10CF0000;
constexpr std::uint32_t CaptionDialogStyle = 0x10C90000;
constexpr std::uint32_t ChildStyle = 0x50000000;
constexpr std::uint32_t BorderedChildStyle = 0x50800000;

TEST(WindowGeometryTest, OuterRectangleIsClientPlusFrameCaptionAndMenu)
{
    struct Case
    {
        const char* label;
        std::uint32_t style;
        bool menu;
        bool tool;
        WindowRect outer;
    };

    const WindowRect client{100, 100, 580, 214};
    const Case cases[] = {
        {"sizing frame", OverlappedWindowStyle, false, false, {96, 73, 588, 245}},
        {"sizing frame, menu", OverlappedWindowStyle, true, false, {96, 53, 588, 265}},
        {"dialog frame", CaptionDialogStyle, false, false, {97, 74, 586, 243}},
        {"tool window", CaptionDialogStyle, false, true, {97, 78, 586, 239}},
        {"child", ChildStyle, true, false, {100, 100, 580, 214}},
        {"bordered child", BorderedChildStyle, false, false, {99, 99, 582, 216}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const WindowFrame frame = frameForStyle(c.style, c.menu, c.tool);
        EXPECT_EQ(outerFromClient(client, frame), c.outer);
        EXPECT_EQ(clientFromOuter(c.outer, frame), client);
    }
}

TEST(WindowGeometryTest, ClientFromATooSmallOuterRectangleIsEmpty)
{
    const WindowRect client = clientFromOuter({0, 0, 5, 10}, frameForStyle(OverlappedWindowStyle, true));
    EXPECT_EQ(client.width, 0);
    EXPECT_EQ(client.height, 0);
}

TEST(WindowGeometryTest, PlacingByOuterRectangleRoundTrips)
{
    struct Case
    {
        const char* label;
        std::uint32_t style;
        bool menu;
        QRect widgetGeometry;
    };

    const WindowRect outer{50, 60, 600, 300};
    const Case cases[] = {
        {"window", OverlappedWindowStyle, false, QRect(54, 87, 592, 269)},
        {"window with menu bar", OverlappedWindowStyle, true, QRect(54, 87, 592, 269)},
        {"dialog", CaptionDialogStyle, false, QRect(53, 86, 594, 271)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        QWidget window;
        const Handle handle = registerObject(&window, ObjectKind::Window, c.style);
        setHasMenuBar(handle, c.menu);
        ASSERT_TRUE(placeWindowByOuterRect(handle, outer));
        EXPECT_EQ(window.geometry(), c.widgetGeometry);
        EXPECT_EQ(windowOuterRect(handle), outer);
        const WindowRect client = windowClientRect(handle);
        EXPECT_EQ(client.y, c.widgetGeometry.y() + (c.menu ? MenuHeight : 0));
        EXPECT_EQ(client.height, c.widgetGeometry.height() - (c.menu ? MenuHeight : 0));
        EXPECT_EQ(outerFromClient(client, frameForStyle(c.style, c.menu)), outer);
    }
    EXPECT_FALSE(placeWindowByOuterRect(NoHandle, outer));
    EXPECT_EQ(windowOuterRect(NoHandle), WindowRect{});
}

} // namespace
} // namespace folvex
