#include "components/size_change_widgets.h"

#include "runtime/draw_objects.h"
#include "runtime/object_registry.h"
#include "runtime/window_geometry.h"
#include "support/fakes.h"

#include <gtest/gtest.h>

#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QMouseEvent>
#include <QTest>

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace folvex {
namespace {

constexpr std::uint32_t SizableStyle = StyleCaption | StyleThickFrame;
constexpr std::uint32_t DialogStyle = StyleCaption | StyleDialogFrame;

struct Rect
{
    int x, y, w, h;

    bool operator==(const Rect&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Rect& r)
{
    return out << "(" << r.x << ", " << r.y << ", " << r.w << " × " << r.h << ")";
}

// A started component with one shown top-level window whose client area is 400 × 300 at (100, 80).
class SizeChangeWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        window = std::make_unique<QWidget>();
        windowHandle = registerObject(window.get(), ObjectKind::Window, SizableStyle);
        placeWindowByClientRect(windowHandle, {100, 80, 400, 300});
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        scs.InitSCS();
    }

    void TearDown() override
    {
        if (scs.initialised()) {
            scs.DeInitSCS();
        }
    }

    // A label in the window's client area, registered with the runtime.
    Handle addLabel(const Rect& r, const QString& text = QString())
    {
        auto* label = new QLabel(text, window.get());
        const Handle handle = registerObject(label, ObjectKind::Control, StyleChild);
        ws.moveControl(handle, r.x, r.y, r.w, r.h);
        label->show();
        return handle;
    }

    Rect placeOf(Handle control)
    {
        return {
            scs.SCSControlLeft(control, windowHandle),
            scs.SCSControlTop(control, windowHandle),
            ws.windowRight(control) - ws.windowLeft(control),
            ws.windowBottom(control) - ws.windowTop(control)};
    }

    // Resizes the client area and waits until the window has taken the new size.
    void resizeClient(int width, int height)
    {
        const int sizesBefore = sizeMessages;
        const WindowRect client = windowClientRect(windowHandle);
        placeWindowByClientRect(windowHandle, {client.x, client.y, width, height});
        ASSERT_TRUE(QTest::qWaitFor([&] { return sizeMessages > sizesBefore; }, 5000));
        ASSERT_EQ(ws.clientWidth(windowHandle), width);
        ASSERT_EQ(ws.clientHeight(windowHandle), height);
    }

    // Counts size messages with a callback (tests that spy on the callback replace it).
    void countSizes()
    {
        scs.SCSSetCallback([this](Handle, std::uint32_t msg, std::uintptr_t, std::intptr_t) -> std::intptr_t {
            sizeMessages += msg == scs_messages::Size ? 1 : 0;
            return 0;
        });
    }

    testing::ScopedFakeEffects fakes;
    SCSQtWindowSystem ws;
    SizeChangeSystem scs{ws};
    std::unique_ptr<QWidget> window;
    Handle windowHandle = NoHandle;
    int sizeMessages = 0;
};

TEST_F(SizeChangeWindowTest, EdgesAreClientCoordinatesForEveryFrame)
{
    struct Case
    {
        const char* label;
        std::uint32_t style;
        bool menuBar;
    };

    const Case cases[] = {
        {"sizing frame", SizableStyle, false},
        {"dialog frame", DialogStyle, false},
        {"sizing frame under a menu bar", SizableStyle, true},
        {"dialog frame under a menu bar", DialogStyle, true},
    };
    const Handle control = addLabel({30, 40, 120, 25});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        setStyleOf(windowHandle, c.style);
        setHasMenuBar(windowHandle, c.menuBar);
        ws.moveControl(control, 30, 40, 120, 25);
        const QPoint inWidget = findWidget(control)->pos();
        EXPECT_EQ(inWidget, QPoint(30, 40 + (c.menuBar ? MenuHeight : 0)));
        EXPECT_EQ(scs.SCSControlLeft(control, windowHandle), 30);
        EXPECT_EQ(scs.SCSControlTop(control, windowHandle), 40);
        EXPECT_EQ(scs.SCSControlRight(control, windowHandle), 150);
        EXPECT_EQ(scs.SCSControlBottom(control, windowHandle), 65);
    }
}

TEST_F(SizeChangeWindowTest, ControlsFollowTheResizedWindow)
{
    struct Case
    {
        const char* label;
        Rect start;
        std::uint32_t flags;
        std::optional<int> partner; // index of an earlier case
        std::uint32_t partnerFlag;
        Rect expected; // after 400 × 300 → 440 × 330
    };

    const std::vector<Case> cases = {
        {"right and bottom gaps kept", {300, 250, 80, 30}, 0x18, {}, 0, {340, 280, 80, 30}},
        {"stretched between left and right", {10, 10, 380, 20}, 0x2 | 0x8, {}, 0, {10, 10, 420, 20}},
        {"left gap kept", {10, 50, 100, 20}, 0x2, {}, 0, {10, 50, 100, 20}},
        {"no flags", {10, 80, 100, 20}, 0, {}, 0, {10, 80, 100, 20}},
        {"centre at 40 %", {140, 110, 40, 20}, scs_PROP_X, {}, 0, {156, 110, 40, 20}},
        {"stretched partner", {10, 140, 100, 20}, 0x2 | 0x8, {}, 0, {10, 140, 140, 20}},
        {"left follows the partner's right edge",
         {130, 140, 50, 20},
         scs_BIND_X1_CONTROL,
         5,
         scs_BIND_X1_CONTROL,
         {170, 140, 50, 20}},
        {"tall partner", {400 - 40, 10, 30, 150}, 0x4 | 0x10 | 0x8, {}, 0, {440 - 40, 10, 30, 180}},
        {"top follows the partner's bottom edge",
         {360, 170, 30, 20},
         scs_BIND_Y1_CONTROL,
         7,
         scs_BIND_Y1_CONTROL,
         {360, 200, 30, 20}},
        {"bottom partner", {200, 270, 100, 20}, 0x10, {}, 0, {200, 300, 100, 20}},
        {"bottom follows the partner's top edge",
         {200, 200, 100, 40},
         scs_BIND_Y2_CONTROL,
         9,
         scs_BIND_Y2_CONTROL,
         {200, 230, 100, 40}},
    };
    countSizes();
    std::vector<Handle> controls;
    for (const Case& c : cases) {
        controls.push_back(addLabel(c.start));
    }
    scs.SCSAddWindow(windowHandle);
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].label);
        if (cases[i].partner) {
            const Handle partner = controls.at(static_cast<std::size_t>(*cases[i].partner));
            scs.SCS_hBindX1 = cases[i].partnerFlag == scs_BIND_X1_CONTROL ? partner : NoHandle;
            scs.SCS_hBindY1 = cases[i].partnerFlag == scs_BIND_Y1_CONTROL ? partner : NoHandle;
            scs.SCS_hBindY2 = cases[i].partnerFlag == scs_BIND_Y2_CONTROL ? partner : NoHandle;
        }
        ASSERT_EQ(scs.SCSAddControl(controls[i], windowHandle, cases[i].flags), 1);
        ASSERT_EQ(placeOf(controls[i]), cases[i].start);
    }

    resizeClient(440, 330);
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].label);
        EXPECT_EQ(placeOf(controls[i]), cases[i].expected);
    }
}

TEST_F(SizeChangeWindowTest, GrowthSharesTheWidthOutToBothSidesOrLeftwards)
{
    countSizes();
    scs.SCSAddWindow(windowHandle);
    const Handle free = addLabel({100, 100, 200, 20});
    const Handle rightBound = addLabel({100, 150, 200, 20});
    scs.SCSAddControl(free, windowHandle, scs_ASPECT_X);
    scs.SCSAddControl(rightBound, windowHandle, scs_ASPECT_X | scs_BIND_X2);
    ASSERT_DOUBLE_EQ(scs.controls()[1].widthRatio, 0.5);

    resizeClient(600, 300);
    EXPECT_EQ(placeOf(free), (Rect{50, 100, 300, 20}));
    EXPECT_EQ(placeOf(rightBound), (Rect{200, 150, 300, 20}));
}

TEST_F(SizeChangeWindowTest, ScaledFontFollowsTheHeightAndStaysBold)
{
    countSizes();
    scs.SCSAddWindow(windowHandle);
    const Handle label = addLabel({10, 10, 200, 40}, QStringLiteral("Scannen"));
    QFont bold(QStringLiteral("DejaVu Sans"));
    bold.setPixelSize(14);
    bold.setBold(true);
    findWidget(label)->setFont(bold);
    scs.SCSAddControl(label, windowHandle, scs_FONT | scs_BIND_Y1 | scs_BIND_Y2);
    const double ratio = scs.controls()[1].fontHeightRatio;
    ASSERT_DOUBLE_EQ(ratio, QFontMetrics(bold).height() / 40.0);

    for (const int clientHeight : {330, 400}) {
        SCOPED_TRACE(clientHeight);
        resizeClient(400, clientHeight);
        const int controlHeight = placeOf(label).h;
        ASSERT_EQ(controlHeight, 40 + clientHeight - 300);
        const int wanted = static_cast<int>(std::lround(controlHeight * ratio));
        const QFont now = findWidget(label)->font();
        EXPECT_TRUE(QFontInfo(now).bold());
        EXPECT_EQ(QFontInfo(now).family(), QStringLiteral("DejaVu Sans"));
        EXPECT_LE(QFontMetrics(now).height(), wanted);
        QFont larger = now;
        larger.setPixelSize(now.pixelSize() + 1);
        EXPECT_GT(QFontMetrics(larger).height(), wanted) << "the largest size that fits";
        EXPECT_EQ(findFont(scs.controls()[1].font)->pixelSize(), now.pixelSize());
    }
}

TEST_F(SizeChangeWindowTest, CallbackAfterResizesAndButtonUpsOnly)
{
    std::vector<std::uint32_t> calls;
    scs.SCSSetCallback([&](Handle hWnd, std::uint32_t msg, std::uintptr_t, std::intptr_t) -> std::intptr_t {
        EXPECT_EQ(hWnd, windowHandle);
        calls.push_back(msg);
        sizeMessages += msg == scs_messages::Size ? 1 : 0;
        return 0;
    });
    scs.SCSAddWindow(windowHandle);
    window->setMouseTracking(true);

    resizeClient(440, 330);
    EXPECT_EQ(calls, std::vector<std::uint32_t>{scs_messages::Size});

    calls.clear();
    QTest::mouseMove(window.get(), QPoint(200, 150));
    QTest::mouseMove(window.get(), QPoint(210, 160));
    QTest::mousePress(window.get(), Qt::LeftButton, {}, QPoint(210, 160));
    QTest::mouseMove(window.get(), QPoint(220, 170));
    EXPECT_TRUE(calls.empty()) << "moves and presses are not reported";
    QTest::mouseRelease(window.get(), Qt::LeftButton, {}, QPoint(220, 170));
    EXPECT_EQ(calls, std::vector<std::uint32_t>{scs_messages::LeftButtonUp});
    QTest::mouseClick(window.get(), Qt::RightButton, {}, QPoint(220, 170));
    EXPECT_EQ(calls.size(), 1u) << "the right button is not reported";
}

TEST_F(SizeChangeWindowTest, SwitchOffRefusesARealWindowHandle)
{
    scs.SCSAddWindow(windowHandle);
    ASSERT_GT(windowHandle, SCSMaxInternalHandle);
    fakes.messages.queueAnswer(MessageAnswer::Ok);
    EXPECT_EQ(scs.SCSSubclassing(windowHandle, 0, &SizeChangeSystem::SCSSubclassProc, -1), 0);
    ASSERT_EQ(fakes.messages.shown.size(), 1u);
    EXPECT_EQ(
        fakes.messages.shown[0].text,
        "Subclassing,0: Es muss beim Ausschalten das interne Handle übergeben werden, das dem Hauptprogramm "
        "beim "
        "Einschalten des Subclassings zurückgegeben wurde, nicht das Windows-Handle!");
    EXPECT_EQ(scs.subclasses().count, 1);
}

TEST_F(SizeChangeWindowTest, SplitterClassesExistOnlyWhileStarted)
{
    const Handle tall = ws.createSplitterControl("SCS_VSPLITTER", windowHandle, 10, 10, 6, 100);
    ASSERT_NE(tall, NoHandle);
    EXPECT_EQ(findWidget(tall)->cursor().shape(), Qt::SizeHorCursor);
    const Handle wide = ws.createSplitterControl("SCS_HSPLITTER", windowHandle, 10, 200, 100, 6);
    ASSERT_NE(wide, NoHandle);
    EXPECT_EQ(findWidget(wide)->cursor().shape(), Qt::SizeVerCursor);
    EXPECT_EQ(placeOf(wide), (Rect{10, 200, 100, 6}));
    EXPECT_EQ(ws.createSplitterControl("BUTTON", windowHandle, 0, 0, 10, 10), NoHandle);
    scs.DeInitSCS();
    EXPECT_EQ(ws.createSplitterControl("SCS_VSPLITTER", windowHandle, 10, 10, 6, 100), NoHandle);
}

// Three panes side by side (or stacked): the bar in the middle is dragged, the panes bound to it
// follow. Places are given along the drag axis; the other axis spans the client area.
class SizeChangeSplitterTest : public SizeChangeWindowTest
{
protected:
    struct Panes
    {
        Handle first;
        Handle bar;
        Handle second;
    };

    Panes makePanes(bool tall)
    {
        scs.SCSAddWindow(windowHandle);
        const auto place = [tall](int start, int length) {
            return tall ? Rect{start, 10, length, 280} : Rect{10, start, 380, length};
        };
        Panes panes;
        panes.bar =
            ws.createSplitterControl(tall ? "SCS_VSPLITTER" : "SCS_HSPLITTER", windowHandle, 0, 0, 10, 10);
        const Rect barPlace = tall ? place(195, 10) : place(145, 10);
        ws.moveControl(panes.bar, barPlace.x, barPlace.y, barPlace.w, barPlace.h);
        panes.first = addLabel(tall ? place(10, 180) : place(10, 130));
        panes.second = addLabel(tall ? place(210, 180) : place(160, 130));

        // The bar keeps its start gap and spans the other axis; the panes fill up to it.
        const std::uint32_t across = tall ? (0x4 | 0x10) : (0x2 | 0x8);
        scs.SCSAddControl(panes.bar, windowHandle, scs_SPLITTER | (tall ? 0x2 : 0x4) | across);
        (tall ? scs.SCS_hBindX2 : scs.SCS_hBindY2) = panes.bar;
        scs.SCSAddControl(
            panes.first,
            windowHandle,
            across | (tall ? 0x2 | scs_BIND_X2_CONTROL : 0x4 | scs_BIND_Y2_CONTROL));
        (tall ? scs.SCS_hBindX1 : scs.SCS_hBindY1) = panes.bar;
        scs.SCSAddControl(
            panes.second,
            windowHandle,
            across | (tall ? 0x8 | scs_BIND_X1_CONTROL : 0x10 | scs_BIND_Y1_CONTROL));
        return panes;
    }
};

TEST_F(SizeChangeSplitterTest, TallBarMovesSidewaysAndThePanesFollow)
{
    for (const bool releaseOnWindow : {false, true}) {
        SCOPED_TRACE(releaseOnWindow ? "released over the window" : "released over the bar");
        if (scs.initialised()) {
            scs.DeInitSCS();
        }
        scs.InitSCS();
        const Panes panes = makePanes(true);
        QWidget* bar = findWidget(panes.bar);
        ASSERT_EQ(scs.splitters()[1].orientation, SCSTallBar);

        QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(5, 140));
        EXPECT_EQ(scs.draggedSplitter(), panes.bar);
        // The bar's centre goes where the mouse is: 50 to the right, the vertical part is ignored.
        QTest::mouseMove(bar, QPoint(55, 170));
        EXPECT_EQ(placeOf(panes.bar), (Rect{245, 10, 10, 280}));
        EXPECT_EQ(placeOf(panes.first), (Rect{10, 10, 230, 280}));
        EXPECT_EQ(placeOf(panes.second), (Rect{260, 10, 130, 280}));
        EXPECT_EQ(scs.controls()[1].left, 245);
        EXPECT_EQ(scs.controls()[1].leftDistance, 245);

        if (releaseOnWindow) {
            QTest::mouseRelease(window.get(), Qt::LeftButton, {}, QPoint(250, 170));
        } else {
            QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(55, 170));
        }
        EXPECT_EQ(scs.draggedSplitter(), NoHandle);
        QTest::mouseMove(bar, QPoint(8, 100));
        window->setMouseTracking(true);
        QTest::mouseMove(window.get(), QPoint(100, 100));
        EXPECT_EQ(placeOf(panes.bar), (Rect{245, 10, 10, 280})) << "no drag after the release";

        // The dragged place is the bar's place from now on.
        sizeMessages = 0;
        countSizes();
        resizeClient(440, 330);
        EXPECT_EQ(placeOf(panes.bar), (Rect{245, 10, 10, 310}));
        EXPECT_EQ(placeOf(panes.second), (Rect{260, 10, 170, 310}));
        resizeClient(400, 300);
        window->setMouseTracking(false);
    }
}

TEST_F(SizeChangeSplitterTest, WideBarMovesUpAndDownAndThePanesFollow)
{
    const Panes panes = makePanes(false);
    QWidget* bar = findWidget(panes.bar);
    ASSERT_EQ(scs.splitters()[1].orientation, SCSWideBar);

    // During a drag the callback also hears the bar's own messages.
    std::vector<std::pair<Handle, std::uint32_t>> calls;
    scs.SCSSetCallback([&](Handle hWnd, std::uint32_t msg, std::uintptr_t, std::intptr_t) -> std::intptr_t {
        calls.emplace_back(hWnd, msg);
        return 0;
    });

    QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(190, 5));
    QTest::mouseMove(bar, QPoint(150, 5 - 40));
    EXPECT_EQ(placeOf(panes.bar), (Rect{10, 105, 380, 10}));
    EXPECT_EQ(placeOf(panes.first), (Rect{10, 10, 380, 90}));
    EXPECT_EQ(placeOf(panes.second), (Rect{10, 120, 380, 170}));
    QTest::mouseRelease(window.get(), Qt::LeftButton, {}, QPoint(150, 110));
    EXPECT_EQ(scs.draggedSplitter(), NoHandle);
    const std::vector<std::pair<Handle, std::uint32_t>> expected = {
        {panes.bar, scs_messages::MouseMove}, {windowHandle, scs_messages::LeftButtonUp}};
    EXPECT_EQ(calls, expected);
    QTest::mouseMove(bar, QPoint(150, 30));
    EXPECT_EQ(placeOf(panes.bar), (Rect{10, 105, 380, 10}));
}

} // namespace
} // namespace folvex
