#include "runtime/window_events.h"

#include "runtime/object_registry.h"

#include <gtest/gtest.h>

#include <QEvent>
#include <QLabel>
#include <QTimer>

#include <chrono>
#include <thread>
#include <vector>

namespace folvex {
namespace {

// Leaves the queue empty for the next test.
class WindowEventsTest : public ::testing::Test
{
protected:
    void SetUp() override { DrainWindowEvents(); }

    void TearDown() override { DrainWindowEvents(); }
};

TEST_F(WindowEventsTest, EventsPostedByAThreadWakeTheWaitInOrder)
{
    constexpr int Count = 5;
    std::thread poster;
    // Started from inside the wait, so the first events arrive while the loop blocks.
    QTimer::singleShot(0, [&poster] {
        poster = std::thread([] {
            for (int i = 1; i <= Count; ++i) {
                PostCustomEvent(2000 + i, i * 10);
            }
        });
    });
    std::vector<std::intptr_t> data;
    for (int i = 0; i < Count; ++i) {
        ASSERT_EQ(WaitWindowEvent(-1), static_cast<int>(EventKind::Custom));
        EXPECT_EQ(EventWindow(), 2000 + i + 1);
        data.push_back(EventData());
    }
    poster.join();
    EXPECT_EQ(data, (std::vector<std::intptr_t>{10, 20, 30, 40, 50}));
    EXPECT_EQ(WindowEvent(), 0);
}

TEST_F(WindowEventsTest, TimeOutGivesZeroAndNeverReturnsEarly)
{
    PostCustomEvent(3001, 1);
    ASSERT_EQ(WaitWindowEvent(1000), static_cast<int>(EventKind::Custom));
    for (const int timeoutMs : {0, 1, 30, 75}) {
        SCOPED_TRACE(timeoutMs);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(WaitWindowEvent(timeoutMs), 0);
        EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(timeoutMs));
        EXPECT_EQ(EventWindow(), NoHandle);
        EXPECT_EQ(EventData(), 0);
    }
}

TEST_F(WindowEventsTest, NestedLoopTakesAnotherWindowsEvent)
{
    constexpr Handle OuterWindow = 4001;
    constexpr Handle DialogWindow = 4002;
    int nestedKind = -1;
    Handle nestedWindow = NoHandle;
    // A dialog's loop runs inside the outer wait (as a handler would) and takes whatever comes first.
    QTimer::singleShot(0, [&] {
        PostCustomEvent(OuterWindow, 7);
        nestedKind = WaitWindowEvent(-1);
        nestedWindow = EventWindow();
        PostCustomEvent(DialogWindow, 8);
    });
    ASSERT_EQ(WaitWindowEvent(-1), static_cast<int>(EventKind::Custom));
    EXPECT_EQ(nestedKind, static_cast<int>(EventKind::Custom));
    EXPECT_EQ(nestedWindow, OuterWindow);
    EXPECT_EQ(EventWindow(), DialogWindow);
    EXPECT_EQ(EventData(), 8);
}

TEST_F(WindowEventsTest, EachKindCarriesItsFields)
{
    struct Case
    {
        const char* label;
        void (*post)();
        EventKind kind;
        Handle window;
        Handle control;
        int menu;
        int type;
        int x;
        int y;
    };

    const Case cases[] = {
        {"control", [] { postControlEvent(5001, 5002, 3); }, EventKind::Control, 5001, 5002, 0, 3, 0, 0},
        {"menu", [] { postMenuEvent(5001, 190); }, EventKind::Menu, 5001, 0, 190, 0, 0, 0},
        {"close", [] { postCloseEvent(5003); }, EventKind::CloseWindow, 5003, 0, 0, 0, 0, 0},
        {"left up",
         [] { postButtonUpEvent(5001, 5004, false, 12, 34); },
         EventKind::LeftButtonUp,
         5001,
         5004,
         0,
         0,
         12,
         34},
        {"right up",
         [] { postButtonUpEvent(5001, 5004, true, 5, 6); },
         EventKind::RightButtonUp,
         5001,
         5004,
         0,
         0,
         5,
         6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        c.post();
        ASSERT_EQ(WindowEvent(), static_cast<int>(c.kind));
        EXPECT_EQ(currentEventKind(), c.kind);
        EXPECT_EQ(EventWindow(), c.window);
        EXPECT_EQ(EventControl(), c.control);
        EXPECT_EQ(EventMenu(), c.menu);
        EXPECT_EQ(EventType(), c.type);
        EXPECT_EQ(EventX(), c.x);
        EXPECT_EQ(EventY(), c.y);
    }
    EXPECT_EQ(WindowEvent(), 0);
    EXPECT_EQ(EventWindow(), NoHandle);
}

class PaintCounter : public QObject
{
public:
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            ++paints;
        }
        return false;
    }
};

TEST_F(WindowEventsTest, DrainingRepaintsAChangedLabelAndEmptiesTheQueue)
{
    QLabel label(QStringLiteral("alt"));
    label.resize(200, 40);
    label.show();
    DrainWindowEvents();
    PaintCounter counter;
    label.installEventFilter(&counter);

    label.setText(QStringLiteral("neu"));
    PostCustomEvent(6001, 1);
    postCloseEvent(6001);
    ASSERT_EQ(queuedWindowEvents(), 2);
    DrainWindowEvents();

    EXPECT_GE(counter.paints, 1);
    EXPECT_EQ(queuedWindowEvents(), 0);
    EXPECT_EQ(WindowEvent(), 0);
}

TEST_F(WindowEventsTest, DelayKeepsQueuedEvents)
{
    PostCustomEvent(7001, 3);
    Delay(5);
    ASSERT_EQ(WindowEvent(), static_cast<int>(EventKind::Custom));
    EXPECT_EQ(EventData(), 3);
}

} // namespace
} // namespace folvex
