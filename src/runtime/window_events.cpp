#include "runtime/window_events.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <deque>
#include <mutex>
#include <optional>

namespace folvex {
namespace {

struct QueuedEvent
{
    EventKind kind = EventKind::None;
    Handle window = NoHandle;
    Handle control = NoHandle;
    int menuItem = 0;
    int type = 0;
    std::intptr_t data = 0;
    int x = 0;
    int y = 0;
};

// The one queue. Producers on any thread append under the mutex; the current event is only touched by
// the GUI thread.
struct EventQueue
{
    std::mutex mutex;
    std::deque<QueuedEvent> queued;
    QueuedEvent current;
};

// Never destroyed: other objects that live until exit() may still reach it from their destructors.
EventQueue& eventQueue()
{
    static auto* queue = new EventQueue;
    return *queue;
}

// Wakes a GUI thread that blocks in processEvents: a posted event of this type reaches the application
// object, which ignores it.
const QEvent::Type WakeEventType = static_cast<QEvent::Type>(QEvent::registerEventType());

void wakeGuiThread()
{
    if (QCoreApplication* app = QCoreApplication::instance()) {
        QCoreApplication::postEvent(app, new QEvent(WakeEventType));
    }
}

void enqueue(const QueuedEvent& event)
{
    EventQueue& queue = eventQueue();
    {
        const std::lock_guard lock(queue.mutex);
        queue.queued.push_back(event);
    }
    wakeGuiThread();
}

std::optional<QueuedEvent> takeNext()
{
    EventQueue& queue = eventQueue();
    const std::lock_guard lock(queue.mutex);
    if (queue.queued.empty()) {
        return std::nullopt;
    }
    QueuedEvent next = queue.queued.front();
    queue.queued.pop_front();
    return next;
}

int makeCurrent(const QueuedEvent& event)
{
    eventQueue().current = event;
    return static_cast<int>(event.kind);
}

using Clock = std::chrono::steady_clock;

// Processes Qt events until stop() holds or the deadline (if any) has passed; true when stop() held.
// A precise single-shot timer wakes the blocking wait at the deadline; the clock decides, so the
// function never returns early.
template <typename Stop>
bool processEventsUntil(std::optional<Clock::time_point> deadline, Stop stop)
{
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    while (true) {
        if (stop()) {
            return true;
        }
        if (deadline) {
            const Clock::time_point now = Clock::now();
            if (now >= *deadline) {
                return false;
            }
            if (!timer.isActive()) {
                const auto remaining = std::chrono::ceil<std::chrono::milliseconds>(*deadline - now);
                timer.start(static_cast<int>(remaining.count()));
            }
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
}

} // namespace

int WaitWindowEvent(int timeoutMs)
{
    std::optional<Clock::time_point> deadline;
    if (timeoutMs >= 0) {
        deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    }
    std::optional<QueuedEvent> next;
    const bool got = processEventsUntil(deadline, [&next] {
        next = takeNext();
        return next.has_value();
    });
    if (!got) {
        return makeCurrent({});
    }
    return makeCurrent(*next);
}

int WindowEvent()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    const std::optional<QueuedEvent> next = takeNext();
    return makeCurrent(next ? *next : QueuedEvent{});
}

Handle EventWindow()
{
    return eventQueue().current.window;
}

Handle EventControl()
{
    return eventQueue().current.control;
}

int EventMenu()
{
    return eventQueue().current.menuItem;
}

int EventType()
{
    return eventQueue().current.type;
}

std::intptr_t EventData()
{
    return eventQueue().current.data;
}

int EventX()
{
    return eventQueue().current.x;
}

int EventY()
{
    return eventQueue().current.y;
}

EventKind currentEventKind()
{
    return eventQueue().current.kind;
}

void DrainWindowEvents()
{
    // Posted events first (update requests among them), then whatever they caused.
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    QCoreApplication::sendPostedEvents();
    EventQueue& queue = eventQueue();
    const std::lock_guard lock(queue.mutex);
    queue.queued.clear();
}

void Delay(int ms)
{
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(ms > 0 ? ms : 0);
    processEventsUntil(deadline, [] { return false; });
}

void postControlEvent(Handle window, Handle control, int type)
{
    QueuedEvent event;
    event.kind = EventKind::Control;
    event.window = window;
    event.control = control;
    event.type = type;
    enqueue(event);
}

void postMenuEvent(Handle window, int menuItem)
{
    QueuedEvent event;
    event.kind = EventKind::Menu;
    event.window = window;
    event.menuItem = menuItem;
    enqueue(event);
}

void postCloseEvent(Handle window)
{
    QueuedEvent event;
    event.kind = EventKind::CloseWindow;
    event.window = window;
    enqueue(event);
}

void postButtonUpEvent(Handle window, Handle control, bool rightButton, int x, int y)
{
    QueuedEvent event;
    event.kind = rightButton ? EventKind::RightButtonUp : EventKind::LeftButtonUp;
    event.window = window;
    event.control = control;
    event.x = x;
    event.y = y;
    enqueue(event);
}

void postKeyEvent(Handle window, int virtualKey)
{
    QueuedEvent event;
    event.kind = EventKind::Key;
    event.window = window;
    event.type = virtualKey;
    enqueue(event);
}

void PostCustomEvent(Handle window, std::intptr_t data)
{
    QueuedEvent event;
    event.kind = EventKind::Custom;
    event.window = window;
    event.data = data;
    enqueue(event);
}

int queuedWindowEvents()
{
    EventQueue& queue = eventQueue();
    const std::lock_guard lock(queue.mutex);
    return static_cast<int>(queue.queued.size());
}

} // namespace folvex
