#include "foundation/window_routines.h"

#include "runtime/input_state.h"
#include "runtime/object_registry.h"
#include "runtime/window_events.h"
#include "support/fakes.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QWidget>

#include <vector>

namespace folvex {
namespace {

constexpr std::uint32_t OverlappedWindowStyle = 0x10CF0000; // sizing frame, caption, system menu
constexpr std::uint32_t DialogStyle = 0x10C90000;           // dialog frame, caption
constexpr std::uint32_t SizingFrameOnlyStyle = 0x10040000;
constexpr std::uint32_t PlainStyle = 0x10000000;
constexpr std::uint32_t ChildStyle = 0x50000000;
constexpr std::uint32_t ToolWindowExStyle = 0x80;

// A registered top-level window with kept style bits.
struct TestWindow
{
    TestWindow(std::uint32_t style, std::uint32_t exStyle = 0, bool menu = false)
    {
        handle = registerObject(&widget, ObjectKind::Window, style);
        setExStyleOf(handle, exStyle);
        setHasMenuBar(handle, menu);
    }

    QWidget widget;
    Handle handle = NoHandle;
};

TEST(WindowRoutinesTest, OuterRectangleAroundTheClientArea)
{
    struct Case
    {
        const char* label;
        std::uint32_t style;
        std::uint32_t exStyle;
        bool menu;
        int extraWidth;
        int extraHeight;
        int clientTop; // client top minus outer top
    };

    const Case cases[] = {
        {"sizing frame, caption, menu", OverlappedWindowStyle, 0, true, 2 * 4, 23 + 20 + 2 * 4, 4 + 23 + 20},
        {"sizing frame, caption", OverlappedWindowStyle, 0, false, 2 * 4, 23 + 2 * 4, 4 + 23},
        {"dialog", DialogStyle, 0, false, 2 * 3, 23 + 2 * 3, 3 + 23},
        {"tool window", DialogStyle, ToolWindowExStyle, false, 2 * 3, 19 + 2 * 3, 3 + 19},
        {"no frame", PlainStyle, 0, false, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TestWindow window(c.style, c.exStyle, c.menu);
        placeWindowByClientRect(window.handle, {200, 150, 300, 120});
        EXPECT_EQ(ClientWidth(window.handle), 300);
        EXPECT_EQ(ClientHeight(window.handle), 120);
        EXPECT_EQ(WindowWidth(window.handle), 300 + c.extraWidth);
        EXPECT_EQ(WindowHeight(window.handle), 120 + c.extraHeight);
        EXPECT_EQ(WindowLeft(window.handle), 200 - c.extraWidth / 2);
        EXPECT_EQ(WindowTop(window.handle), 150 - c.clientTop);
        EXPECT_EQ(WindowRight(window.handle), WindowLeft(window.handle) + WindowWidth(window.handle));
        EXPECT_EQ(WindowBottom(window.handle), WindowTop(window.handle) + WindowHeight(window.handle));
    }
}

TEST(WindowRoutinesTest, ChildControlsOuterRectangleIsItsOwn)
{
    TestWindow window(OverlappedWindowStyle, 0, true);
    placeWindowByClientRect(window.handle, {200, 150, 300, 120});
    window.widget.show();
    auto* control = new QWidget(&window.widget);
    control->setGeometry(10, 40, 80, 25); // the widget's top 20 pixels are the menu bar
    const Handle handle = registerObject(control, ObjectKind::Control, ChildStyle | 0x00800000);
    EXPECT_EQ(WindowLeft(handle), 210);
    EXPECT_EQ(WindowTop(handle), 170);
    EXPECT_EQ(WindowRight(handle), 290);
    EXPECT_EQ(WindowBottom(handle), 195);
    EXPECT_EQ(WindowWidth(handle), 80);
    EXPECT_EQ(WindowHeight(handle), 25);
    EXPECT_EQ(ClientWidth(handle), 80);
    EXPECT_EQ(ClientHeight(handle), 25);
    EXPECT_EQ(WindowWidth(NoHandle), 0);
}

TEST(WindowRoutinesTest, StyleTestsReadTheKeptBits)
{
    struct Case
    {
        const char* label;
        std::uint32_t style;
        std::uint32_t exStyle;
        int frame;
        int sizing;
        int caption;
    };

    const Case cases[] = {
        {"overlapped window", OverlappedWindowStyle, 0, 1, 1, 1},
        {"dialog", DialogStyle, 0, 1, 0, 1},
        {"border only", 0x50800000, 0, 1, 0, 0},
        {"dialog frame only", 0x10400000, 0, 1, 0, 0},
        {"sizing frame only", SizingFrameOnlyStyle, 0, 1, 1, 0},
        {"tool window without caption bits", PlainStyle, ToolWindowExStyle, 0, 0, 2},
        {"tool window with caption", DialogStyle, ToolWindowExStyle, 1, 0, 2},
        {"plain child", ChildStyle, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TestWindow window(c.style, c.exStyle);
        EXPECT_EQ(HasFrame(window.handle), c.frame);
        EXPECT_EQ(HasSizingFrame(window.handle), c.sizing);
        EXPECT_EQ(CaptionKind(window.handle), c.caption);
    }

    TestWindow window(PlainStyle);
    EXPECT_EQ(SetStyle(window.handle, OverlappedWindowStyle, 0), 0);
    EXPECT_EQ(SetStyle(window.handle, ToolWindowExStyle, 1), 0);
    EXPECT_EQ(GetStyle(window.handle, 0), OverlappedWindowStyle);
    EXPECT_EQ(GetStyle(window.handle, 1), ToolWindowExStyle);
    EXPECT_EQ(CaptionKind(window.handle), 2);
    EXPECT_EQ(GetStyle(NoHandle, 0), 0u);
    EXPECT_EQ(HasMenu(window.handle), 0);
    setHasMenuBar(window.handle, true);
    EXPECT_EQ(HasMenu(window.handle), 1);
}

TEST(WindowRoutinesTest, MetricsAreTheFixedConstants)
{
    EXPECT_EQ(FrameWidth(), 4);
    EXPECT_EQ(DialogFrameWidth(), 3);
    EXPECT_EQ(CaptionHeight(), 23);
    EXPECT_EQ(SmallCaptionHeight(), 19);
    EXPECT_EQ(MenuHeight(), 20);
    EXPECT_GT(ScreenWidth(), 0);
    EXPECT_GT(ScreenHeight(), 0);
}

TEST(WindowRoutinesTest, WindowMouseFollowsStyleAndFlags)
{
    struct Case
    {
        const char* label;
        std::uint32_t style;
        std::uint32_t exStyle;
        bool menu;
        int raw;
        int flags;
        int x;
        int y;
    };

    // The pointer is 50 right of and 100 below the window's outer top-left corner.
    const Case cases[] = {
        {"caption", DialogStyle, 0, false, 0, 0, 47, 100 - 3 - 23},
        {"caption, 1 no frame", DialogStyle, 0, false, 0, 1, 50, 100 - 23},
        {"caption, 2 no caption", DialogStyle, 0, false, 0, 2, 47, 100 - 3},
        {"caption, 32 menu anyway", DialogStyle, 0, false, 0, 32, 47, 100 - 3 - 23 - 20},
        {"menu", OverlappedWindowStyle, 0, true, 0, 0, 46, 100 - 4 - 23 - 20},
        {"menu, 4 no menu", OverlappedWindowStyle, 0, true, 0, 4, 46, 100 - 4 - 23},
        {"menu, 1+2+4", OverlappedWindowStyle, 0, true, 0, 7, 50, 100},
        {"menu, raw", OverlappedWindowStyle, 0, true, 1, 0, 50, 100},
        {"menu, raw with flags", OverlappedWindowStyle, 0, true, 1, 8 + 16 + 32, 50, 100},
        {"tool window", DialogStyle, ToolWindowExStyle, false, 0, 0, 47, 100 - 3 - 19},
        {"tool window, 2 still subtracts 19", DialogStyle, ToolWindowExStyle, false, 0, 2, 47, 100 - 3 - 19},
        {"tool window, 16 takes the full caption",
         DialogStyle,
         ToolWindowExStyle,
         false,
         0,
         16,
         47,
         100 - 3 - 23},
        {"sizing frame only", SizingFrameOnlyStyle, 0, false, 0, 0, 46, 100 - 4},
        {"sizing frame only, 16 caption anyway", SizingFrameOnlyStyle, 0, false, 0, 16, 46, 100 - 4 - 23},
        {"none", PlainStyle, 0, false, 0, 0, 50, 100},
        {"none, 8 frame anyway", PlainStyle, 0, false, 0, 8, 47, 100 - 3},
        {"none, 8+16+32", PlainStyle, 0, false, 0, 8 + 16 + 32, 47, 100 - 3 - 23 - 20},
        {"none, 1+8: no frame wins", PlainStyle, 0, false, 0, 1 + 8, 50, 100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TestWindow window(c.style, c.exStyle, c.menu);
        placeWindowByOuterRect(window.handle, {100, 200, 400, 300});
        setPointerPosition(QPoint(150, 300));
        EXPECT_EQ(DesktopMouseX(), 150);
        EXPECT_EQ(DesktopMouseY(), 300);
        EXPECT_EQ(WindowMouseX(window.handle, c.raw, c.flags), c.x);
        EXPECT_EQ(WindowMouseY(window.handle, c.raw, c.flags), c.y);
    }
}

class KeyDownTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        clearKeyStates();
        DrainWindowEvents();
        m_handle = registerObject(&m_window, ObjectKind::Window, OverlappedWindowStyle);
    }

    void TearDown() override
    {
        clearKeyStates();
        DrainWindowEvents();
    }

    // Key events as the window system delivers them (AltGr has no text of its own).
    void press(Qt::Key key) { sendKey(QEvent::KeyPress, key); }

    void release(Qt::Key key) { sendKey(QEvent::KeyRelease, key); }

    void sendKey(QEvent::Type type, Qt::Key key)
    {
        QKeyEvent event(type, key, Qt::NoModifier);
        QApplication::sendEvent(&m_window, &event);
    }

    QWidget m_window;
    Handle m_handle = NoHandle;
};

TEST_F(KeyDownTest, ModifiersAsRequested)
{
    struct Case
    {
        const char* label;
        std::vector<Qt::Key> held;
        int vk;
        int modifiers;
        int expected;
    };

    const Case cases[] = {
        {"Esc", {Qt::Key_Escape}, 27, 0, 1},
        {"Esc with Ctrl held", {Qt::Key_Control, Qt::Key_Escape}, 27, 0, 1},
        {"Esc not held", {Qt::Key_Control}, 27, 0, 0},
        {"Ctrl+A", {Qt::Key_Control, Qt::Key_A}, 65, 2, 1},
        {"Ctrl+A asked as AltGr", {Qt::Key_Control, Qt::Key_A}, 65, 8, 0},
        {"AltGr+A asked as Ctrl", {Qt::Key_AltGr, Qt::Key_A}, 65, 2, 0},
        {"AltGr+A asked as Alt", {Qt::Key_AltGr, Qt::Key_A}, 65, 4, 0},
        {"AltGr+A", {Qt::Key_AltGr, Qt::Key_A}, 65, 8, 1},
        {"AltGr+A, no modifier asked", {Qt::Key_AltGr, Qt::Key_A}, 65, 0, 1},
        {"Alt+A", {Qt::Key_Alt, Qt::Key_A}, 65, 4, 1},
        {"Shift+A", {Qt::Key_Shift, Qt::Key_A}, 65, 1, 1},
        {"A asked with Shift", {Qt::Key_A}, 65, 1, 0},
        {"Ctrl+Shift+Return", {Qt::Key_Control, Qt::Key_Shift, Qt::Key_Return}, 13, 3, 1},
        {"Ctrl+Return asked with Ctrl+Shift", {Qt::Key_Control, Qt::Key_Return}, 13, 3, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        for (const Qt::Key key : c.held) {
            press(key);
        }
        EXPECT_EQ(KeyDown(c.vk, c.modifiers, NoHandle), c.expected);
        for (const Qt::Key key : c.held) {
            release(key);
        }
        EXPECT_EQ(KeyDown(c.vk, 0, NoHandle), 0);
    }
}

TEST_F(KeyDownTest, OnlyTheActiveWindowCounts)
{
    QWidget other;
    const Handle otherHandle = registerObject(&other, ObjectKind::Window, OverlappedWindowStyle);
    m_window.show();
    other.show();
    m_window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&m_window));
    press(Qt::Key_Escape);
    EXPECT_EQ(KeyDown(27, 0, otherHandle), 0);
    EXPECT_EQ(KeyDown(27, 0, m_handle), 1);
    EXPECT_EQ(KeyDown(27, 0, NoHandle), 1);
}

TEST_F(KeyDownTest, ADownKeyTakesExactlyOneQueuedEvent)
{
    for (int i = 0; i < 3; ++i) {
        PostCustomEvent(m_handle, i);
    }
    EXPECT_EQ(KeyDown(27, 0, NoHandle), 0);
    EXPECT_EQ(queuedWindowEvents(), 3);
    press(Qt::Key_Escape); // queues the window's key event behind the three
    ASSERT_EQ(queuedWindowEvents(), 4);
    EXPECT_EQ(KeyDown(27, 0, NoHandle), 1);
    EXPECT_EQ(queuedWindowEvents(), 3);
    // With nothing queued a 1 still comes at once.
    DrainWindowEvents();
    EXPECT_EQ(KeyDown(27, 0, NoHandle), 1);
}

TEST_F(KeyDownTest, EscHeldWhileTheApplicationIsDeactivatedReadsUp)
{
    press(Qt::Key_Escape);
    ASSERT_EQ(KeyDown(27, 0, NoHandle), 1);
    QApplicationStateChangeEvent inactive(Qt::ApplicationInactive);
    QApplication::sendEvent(qApp, &inactive);
    // The release happens elsewhere and never reaches the program.
    QApplicationStateChangeEvent active(Qt::ApplicationActive);
    QApplication::sendEvent(qApp, &active);
    EXPECT_EQ(KeyDown(27, 0, NoHandle), 0);
}

TEST(WindowRoutinesTest, ScrollBarPositionAndRange)
{
    QScrollBar bar(Qt::Vertical);
    const Handle handle = registerObject(&bar, ObjectKind::Control, 0x50010001);
    EXPECT_EQ(SetScrollBarRange(handle, 10, 90), 10); // the position moved into the range
    EXPECT_EQ(SetScrollBarPos(handle, 40), 40);
    EXPECT_EQ(GetScrollBarPos(handle), 40);
    std::int32_t min = -1;
    std::int32_t max = -1;
    EXPECT_EQ(GetScrollBarRange(handle, &min, &max), 1);
    EXPECT_EQ(min, 10);
    EXPECT_EQ(max, 90);
    // Positions stay inside the range, also when the range shrinks below them.
    EXPECT_EQ(SetScrollBarPos(handle, 500), 90);
    EXPECT_EQ(SetScrollBarRange(handle, 0, 30), 30);
    EXPECT_EQ(SetScrollBarPos(handle, -5), 0);

    QWidget notABar;
    const Handle other = registerObject(&notABar, ObjectKind::Control);
    min = -1;
    max = -1;
    EXPECT_EQ(GetScrollBarRange(other, &min, &max), 0);
    EXPECT_EQ(min, -1);
    EXPECT_EQ(max, -1);
    EXPECT_EQ(GetScrollBarPos(other), 0);
    EXPECT_EQ(SetScrollBarPos(NoHandle, 3), 0);
}

// A shown, active window with two edit fields.
class FocusTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_first = new QLineEdit(QStringLiteral("Seite 1 von 12"), &m_window);
        m_second = new QLineEdit(QStringLiteral("zweites Feld"), &m_window);
        m_second->move(0, 40);
        m_firstHandle = registerObject(m_first, ObjectKind::Control, 0x50810080);
        m_window.show();
        m_window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&m_window));
        m_second->setFocus();
        m_first->deselect();
    }

    QWidget m_window;
    QLineEdit* m_first = nullptr;
    QLineEdit* m_second = nullptr;
    Handle m_firstHandle = NoHandle;
};

TEST_F(FocusTest, EditSubclassSelectsTheWholeTextOnFocus)
{
    EXPECT_EQ(EditSubclass(m_firstHandle, 1, 0), 0);
    EXPECT_EQ(EditSubclass(m_firstHandle, 1, 0), 0);
    EXPECT_EQ(subclassCount(m_firstHandle), 1);

    m_first->setFocus(Qt::OtherFocusReason);
    EXPECT_EQ(m_first->selectedText(), QStringLiteral("Seite 1 von 12"));

    EXPECT_EQ(EditSubclass(m_firstHandle, 0, 0), 0);
    EXPECT_EQ(subclassCount(m_firstHandle), 0);
    EXPECT_EQ(EditSubclass(m_firstHandle, 0, 0), 0);
    m_second->setFocus();
    m_first->deselect();
    m_first->setFocus(Qt::OtherFocusReason);
    EXPECT_FALSE(m_first->hasSelectedText());

    // Attached again after a detach, it works again.
    EXPECT_EQ(EditSubclass(m_firstHandle, 1, 0), 0);
    m_second->setFocus();
    m_first->setFocus(Qt::OtherFocusReason);
    EXPECT_EQ(m_first->selectedText(), QStringLiteral("Seite 1 von 12"));
    EditSubclass(m_firstHandle, 0, 0);
}

struct Seen
{
    std::uint32_t message;
    std::intptr_t lParam;
};

std::intptr_t watchProc(
    Handle hwnd,
    std::uint32_t message,
    std::intptr_t wParam,
    std::intptr_t lParam,
    std::intptr_t,
    std::intptr_t refData)
{
    reinterpret_cast<std::vector<Seen>*>(refData)->push_back({message, lParam});
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

bool sawMessage(const std::vector<Seen>& seen, std::uint32_t message, std::intptr_t lParam)
{
    for (const Seen& s : seen) {
        if (s.message == message && s.lParam == lParam) {
            return true;
        }
    }
    return false;
}

TEST_F(FocusTest, SubclassObserverSeesClicksSizeAndFocus)
{
    std::vector<Seen> seen;
    const auto ref = reinterpret_cast<std::intptr_t>(&seen);
    EXPECT_EQ(Subclass(m_firstHandle, 2, watchProc, 7, ref), 0);
    EXPECT_EQ(subclassCount(m_firstHandle), 0);
    EXPECT_EQ(Subclass(m_firstHandle, 1, watchProc, 7, ref), 0);

    QTest::mouseClick(m_first, Qt::LeftButton, Qt::NoModifier, QPoint(5, 6));
    QTest::mouseClick(m_first, Qt::RightButton, Qt::NoModifier, QPoint(9, 3));
    m_first->resize(120, 30);
    EXPECT_TRUE(sawMessage(seen, LeftButtonUpMessage, 5 | (6 << 16)));
    EXPECT_TRUE(sawMessage(seen, RightButtonUpMessage, 9 | (3 << 16)));
    EXPECT_TRUE(sawMessage(seen, SizeMessage, 120 | (30 << 16)));
    EXPECT_TRUE(sawMessage(seen, SetFocusMessage, 0));

    EXPECT_EQ(Subclass(m_firstHandle, 0, watchProc, 7, 0), 0);
    seen.clear();
    m_first->resize(100, 30);
    EXPECT_TRUE(seen.empty());
}

TEST(WindowRoutinesTest, ClickWatchProcSetsItsFlagForItsButtonOnly)
{
    QWidget window;
    auto* watched = new QPushButton(QStringLiteral("OK"), &window);
    auto* other = new QPushButton(QStringLiteral("Abbrechen"), &window);
    const Handle windowHandle = registerObject(&window, ObjectKind::Window, DialogStyle);
    const Handle watchedHandle = registerObject(watched, ObjectKind::Control, 0x50010000);
    registerObject(other, ObjectKind::Control, 0x50010000);
    ClickWatchRecord record;
    record.control = static_cast<std::int32_t>(watchedHandle);
    Subclass(windowHandle, 1, ClickWatchProc, 1, reinterpret_cast<std::intptr_t>(&record));
    window.show();

    QTest::mouseClick(other, Qt::LeftButton);
    EXPECT_EQ(record.clicked, 0);
    QTest::mouseClick(watched, Qt::LeftButton);
    EXPECT_EQ(record.clicked, 1);
}

TEST(WindowRoutinesTest, WordsAndBits)
{
    struct WordCase
    {
        std::intptr_t value;
        int low;
        int high;
    };

    const WordCase words[] = {
        {0x0000FFFF, -1, 0},
        {0xFFFF0000, 0, -1},
        {0x7FFF8000, -32768, 32767},
        {0x00320014, 20, 50},
        {-1, -1, -1},
    };
    for (const WordCase& c : words) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(LoWord(c.value), c.low);
        EXPECT_EQ(HiWord(c.value), c.high);
    }

    struct BitCase
    {
        std::int64_t value;
        int bit;
        int expected;
    };

    const BitCase bits[] = {
        {1, 0, 1},
        {2, 0, 0},
        {0x40000000, 30, 1},
        {std::int64_t{1} << 32, 32, 1},
        {std::int64_t{1} << 32, 31, 0},
        {INT64_MIN, 63, 1},
        {INT64_MAX, 63, 0},
        {-1, 64, 0},
        {-1, -1, 0},
    };
    for (const BitCase& c : bits) {
        SCOPED_TRACE(c.bit);
        EXPECT_EQ(BitSet(c.value, c.bit), c.expected);
    }
}

TEST(WindowRoutinesTest, SetTextEnableAndState)
{
    QWidget window;
    auto* label = new QLabel(&window);
    auto* edit = new QLineEdit(&window);
    auto* button = new QPushButton(&window);
    const Handle windowHandle = registerObject(&window, ObjectKind::Window, OverlappedWindowStyle);
    const Handle labelHandle = registerObject(label, ObjectKind::Control, ChildStyle);
    const Handle editHandle = registerObject(edit, ObjectKind::Control, 0x50810080);
    const Handle buttonHandle = registerObject(button, ObjectKind::Control, 0x50010000);

    EXPECT_EQ(SetText(labelHandle, "Seite 2\rvon 3"), 1);
    EXPECT_EQ(label->text(), QStringLiteral("Seite 2\nvon 3"));
    EXPECT_EQ(SetText(editHandle, "Größe"), 1);
    EXPECT_EQ(edit->text(), QStringLiteral("Größe"));
    EXPECT_EQ(SetText(buttonHandle, "&Ok"), 1);
    EXPECT_EQ(button->text(), QStringLiteral("&Ok"));
    EXPECT_EQ(SetText(windowHandle, "Optionen"), 1);
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Optionen"));
    EXPECT_EQ(SetText(NoHandle, "x"), 0);

    EXPECT_EQ(EnableControl(buttonHandle, 0), 0);
    EXPECT_FALSE(button->isEnabled());
    EXPECT_EQ(EnableControl(buttonHandle, 1), 0);
    EXPECT_TRUE(button->isEnabled());

    window.show();
    EXPECT_EQ(IsMaximized(windowHandle), 0);
    window.showMaximized();
    EXPECT_EQ(IsMaximized(windowHandle), 1);
    EXPECT_EQ(IsMaximized(buttonHandle), 0);
}

TEST(WindowRoutinesTest, FindWindowByTitleProcStopsAtAMatchingTitle)
{
    QWidget first;
    QWidget second;
    first.setWindowTitle(QStringLiteral("Folvex Optionen"));
    second.setWindowTitle(QStringLiteral("Hinweis"));
    const Handle firstHandle = registerObject(&first, ObjectKind::Window);
    const Handle secondHandle = registerObject(&second, ObjectKind::Window);
    const char prefix[] = "Hinw";
    const auto address = reinterpret_cast<std::intptr_t>(prefix);
    EXPECT_EQ(FindWindowByTitleProc(firstHandle, address), 1);
    EXPECT_NE(windowFoundByTitle(), firstHandle);
    EXPECT_EQ(FindWindowByTitleProc(secondHandle, address), 0);
    EXPECT_EQ(windowFoundByTitle(), secondHandle);
}

TEST(WindowRoutinesTest, SystemBeepPlaysTheSystemSoundOfItsType)
{
    testing::ScopedFakeEffects fakes;
    for (const std::uint32_t type : {0x40u, 0x20u, 0x30u, 0x10u, 0u}) {
        EXPECT_EQ(SystemBeep(type), 0);
    }
    EXPECT_EQ(fakes.sound.systemSounds, (std::vector<int>{64, 32, 48, 16, 0}));
    EXPECT_TRUE(fakes.sound.beeps.empty()) << "a system sound is no tone";
}

} // namespace
} // namespace folvex
