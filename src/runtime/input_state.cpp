#include "runtime/input_state.h"

#include "runtime/object_registry.h"
#include "runtime/window_events.h"

#include <QCoreApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QWidget>

#include <algorithm>
#include <map>
#include <set>
#include <utility>
#include <vector>

namespace folvex {
namespace {

// The X11 key symbol of the right Alt key where it is not AltGr.
constexpr quint32 RightAltKeySym = 0xffea;

// One physical key or button: the native scan code where the event has one, else Qt's key (or a
// button marker), so that the two Shift keys count apart while the same event seen again (on its way
// to the parents) counts once. A key is released by its scan code: its Qt key may differ between
// press and release when a modifier changed meanwhile (1 pressed, Shift pressed, "!" released).
using PhysicalKey = std::pair<int, quint32>;

PhysicalKey physicalKeyOf(const QKeyEvent& event)
{
    if (event.nativeScanCode() != 0) {
        return {0, event.nativeScanCode()};
    }
    return {event.key(), 0};
}

constexpr int LeftButtonMarker = -1;
constexpr int RightButtonMarker = -2;

struct InputState
{
    std::map<PhysicalKey, std::vector<int>> held;       // physical key → the virtual keys it holds down
    std::set<PhysicalKey> announced;                    // Esc and Return keys whose press was posted
    std::map<PhysicalKey, QPointer<QWidget>> pressedIn; // held key → the window its press reached first
    unsigned long long changes = 0;
    QPoint pointer;
    QPointer<QObject> filter;
};

// Never destroyed: other objects that live until exit() may still reach it from their destructors.
InputState& inputState()
{
    static auto* state = new InputState;
    return *state;
}

// The virtual keys a key event stands for; empty for keys the table does not record.
std::vector<int> virtualKeysOf(const QKeyEvent& event)
{
    const int key = event.key();
    if (key >= Qt::Key_A && key <= Qt::Key_Z) {
        return {VkLetterA + (key - Qt::Key_A)};
    }
    if (key >= Qt::Key_0 && key <= Qt::Key_9) {
        return {VkDigit0 + (key - Qt::Key_0)};
    }
    if (key >= Qt::Key_F1 && key <= Qt::Key_F12) {
        return {VkF1 + (key - Qt::Key_F1)};
    }
    if (key >= Qt::Key_Agrave && key <= Qt::Key_THORN && key != Qt::Key_multiply) {
        return {key};
    }
    switch (key) {
        case Qt::Key_Backspace:
            return {VkBackspace};
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            return {VkTab};
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return {VkReturn};
        case Qt::Key_Shift:
            return {VkShift};
        case Qt::Key_Control:
            return {VkControl};
        case Qt::Key_Alt:
            if (event.nativeVirtualKey() == RightAltKeySym) {
                return {VkAlt, VkRightAlt};
            }
            return {VkAlt};
        case Qt::Key_AltGr:
            // AltGr reads as Ctrl plus right Alt, so Ctrl and Alt combinations can tell it apart.
            return {VkRightAlt, VkControl};
        case Qt::Key_Escape:
            return {VkEscape};
        case Qt::Key_Space:
            return {VkSpace};
        case Qt::Key_Left:
            return {VkLeft};
        case Qt::Key_Up:
            return {VkLeft + 1};
        case Qt::Key_Right:
            return {VkLeft + 2};
        case Qt::Key_Down:
            return {VkLeft + 3};
        case Qt::Key_Delete:
            return {VkDelete};
        default:
            return {};
    }
}

void recordKey(const QKeyEvent& event, bool down)
{
    if (event.isAutoRepeat()) {
        return;
    }
    const PhysicalKey key = physicalKeyOf(event);
    InputState& state = inputState();
    if (!down) {
        state.changes += state.held.erase(key);
        return;
    }
    std::vector<int> vks = virtualKeysOf(event);
    if (!vks.empty()) {
        state.held[key] = std::move(vks);
        ++state.changes;
    }
}

// Esc and Return wake the program's loops: their press posts a key event for the window it happened
// in. A key event travels from the focus widget up to its window; only its first delivery to a widget
// of a registered window counts, and the key counts again once it was let go.
void announceKey(QObject* watched, const QKeyEvent& event)
{
    if (event.isAutoRepeat() || !watched->isWidgetType()) {
        return;
    }
    int vk = 0;
    for (const int candidate : virtualKeysOf(event)) {
        if (candidate == VkEscape || candidate == VkReturn) {
            vk = candidate;
        }
    }
    const Handle window = handleOf(static_cast<QWidget*>(watched)->window());
    if (vk == 0 || window == NoHandle || !inputState().announced.insert(physicalKeyOf(event)).second) {
        return;
    }
    postKeyEvent(window, vk);
}

// Remembers the window of the first widget a press reaches; later deliveries of the same press (to the
// parents) and auto-repeats keep it.
void recordPressWindow(QObject* watched, const QKeyEvent& event)
{
    if (event.isAutoRepeat() || !watched->isWidgetType()) {
        return;
    }
    inputState().pressedIn.try_emplace(physicalKeyOf(event), static_cast<QWidget*>(watched)->window());
}

void recordButton(const QMouseEvent& event, bool down)
{
    int marker = 0;
    int vk = 0;
    if (event.button() == Qt::LeftButton) {
        marker = LeftButtonMarker;
        vk = VkLeftButton;
    } else if (event.button() == Qt::RightButton) {
        marker = RightButtonMarker;
        vk = VkRightButton;
    } else {
        return;
    }
    InputState& state = inputState();
    if (down) {
        state.held[{marker, 0}] = {vk};
        ++state.changes;
    } else {
        state.changes += state.held.erase({marker, 0});
    }
}

class InputFilter final : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
            case QEvent::KeyPress:
                recordKey(*static_cast<QKeyEvent*>(event), true);
                recordPressWindow(watched, *static_cast<QKeyEvent*>(event));
                announceKey(watched, *static_cast<QKeyEvent*>(event));
                break;
            case QEvent::KeyRelease: {
                const auto* key = static_cast<QKeyEvent*>(event);
                recordKey(*key, false);
                if (!key->isAutoRepeat()) {
                    inputState().announced.erase(physicalKeyOf(*key));
                    inputState().pressedIn.erase(physicalKeyOf(*key));
                }
                break;
            }
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonDblClick:
            case QEvent::MouseButtonRelease:
            case QEvent::MouseMove: {
                const auto* mouse = static_cast<QMouseEvent*>(event);
                inputState().pointer = mouse->globalPosition().toPoint();
                if (event->type() != QEvent::MouseMove) {
                    recordButton(*mouse, event->type() != QEvent::MouseButtonRelease);
                }
                break;
            }
            case QEvent::ApplicationDeactivate:
                clearKeyStates();
                break;
            case QEvent::ApplicationStateChange:
                if (static_cast<QApplicationStateChangeEvent*>(event)->applicationState() !=
                    Qt::ApplicationActive) {
                    clearKeyStates();
                }
                break;
            default:
                break;
        }
        return QObject::eventFilter(watched, event);
    }
};

void installInputStateAtStart()
{
    installInputState();
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(installInputStateAtStart)

void installInputState()
{
    QCoreApplication* app = QCoreApplication::instance();
    InputState& state = inputState();
    if (app == nullptr || !state.filter.isNull()) {
        return;
    }
    auto* filter = new InputFilter(app);
    app->installEventFilter(filter);
    state.filter = filter;
}

bool KeyIsDown(int vk)
{
    installInputState();
    if (vk < 0 || vk > 255) {
        return false;
    }
    for (const auto& [key, vks] : inputState().held) {
        for (const int held : vks) {
            if (held == vk) {
                return true;
            }
        }
    }
    return false;
}

QWidget* keyPressWindow(int vk)
{
    installInputState();
    const InputState& state = inputState();
    for (const auto& [key, vks] : state.held) {
        if (std::find(vks.begin(), vks.end(), vk) == vks.end()) {
            continue;
        }
        const auto origin = state.pressedIn.find(key);
        if (origin != state.pressedIn.end() && !origin->second.isNull()) {
            return origin->second.data();
        }
    }
    return nullptr;
}

void clearKeyStates()
{
    inputState().held.clear();
    inputState().announced.clear();
    inputState().pressedIn.clear();
}

unsigned long long keyStateChanges()
{
    installInputState();
    return inputState().changes;
}

QPoint pointerPosition()
{
    installInputState();
    return inputState().pointer;
}

void setPointerPosition(QPoint globalPos)
{
    inputState().pointer = globalPos;
}

} // namespace folvex
