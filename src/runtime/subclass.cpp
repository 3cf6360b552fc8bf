#include "runtime/subclass.h"

#include "runtime/object_registry.h"
#include "runtime/window_geometry.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QResizeEvent>
#include <QWidget>

#include <algorithm>
#include <map>
#include <vector>

namespace folvex {
namespace {

struct Attachment
{
    SubclassProc proc = nullptr;
    std::intptr_t id = 0;
    std::intptr_t refData = 0;
};

// Marks a button whose clicks are already turned into WM_COMMAND for its parent.
constexpr char WatchedButtonProperty[] = "folvexSubclassWatched";

std::intptr_t packPoint(int x, int y)
{
    return static_cast<std::intptr_t>(
        (static_cast<std::uint32_t>(x) & 0xFFFFu) | ((static_cast<std::uint32_t>(y) & 0xFFFFu) << 16));
}

// Pixels of a top-level window's menu bar, which lies above its client area.
int menuOffset(const QWidget* widget, Handle handle)
{
    return widget->isWindow() && hasMenuBar(handle) ? static_cast<int>(MenuHeight) : 0;
}

class SubclassFilter;

struct SubclassState
{
    std::map<Handle, std::vector<Attachment>> attached; // in order of attachment
    QPointer<SubclassFilter> filter;
};

// Never destroyed: other objects that live until exit() may still reach it from their destructors.
SubclassState& subclassState()
{
    static auto* state = new SubclassState;
    return *state;
}

bool isAttached(Handle hwnd, const Attachment& attachment)
{
    const auto found = subclassState().attached.find(hwnd);
    if (found == subclassState().attached.end()) {
        return false;
    }
    return std::any_of(found->second.begin(), found->second.end(), [&](const Attachment& a) {
        return a.proc == attachment.proc && a.id == attachment.id;
    });
}

class SubclassFilter final : public QObject
{
public:
    using QObject::QObject;

    // Turns clicks of the widget's child buttons into WM_COMMAND for the widget.
    void watchButtons(QWidget* widget)
    {
        for (QObject* child : widget->children()) {
            watchButton(child);
        }
    }

    void watchButton(QObject* child)
    {
        auto* button = qobject_cast<QAbstractButton*>(child);
        if (button == nullptr || button->property(WatchedButtonProperty).toBool()) {
            return;
        }
        button->setProperty(WatchedButtonProperty, true);
        connect(button, &QAbstractButton::clicked, this, [button] {
            const Handle parent = handleOf(button->parent());
            if (parent != NoHandle) {
                const Handle buttonHandle = registerObject(button, ObjectKind::Control);
                sendSubclassMessage(parent, CommandMessage, 0, buttonHandle);
            }
        });
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* widget = qobject_cast<QWidget*>(watched);
        const Handle hwnd = handleOf(watched);
        if (widget == nullptr || hwnd == NoHandle || subclassState().attached.count(hwnd) == 0) {
            return false;
        }
        switch (event->type()) {
            case QEvent::FocusIn:
                sendSubclassMessage(hwnd, SetFocusMessage, 0, 0);
                break;
            case QEvent::Resize: {
                const QSize size = static_cast<QResizeEvent*>(event)->size();
                std::intptr_t kind = SizeRestored;
                if (widget->isMaximized()) {
                    kind = SizeMaximized;
                } else if (widget->isMinimized()) {
                    kind = SizeMinimized;
                }
                const int height = std::max(0, size.height() - menuOffset(widget, hwnd));
                sendSubclassMessage(hwnd, SizeMessage, kind, packPoint(size.width(), height));
                break;
            }
            case QEvent::MouseButtonRelease: {
                const auto* mouse = static_cast<QMouseEvent*>(event);
                if (mouse->button() != Qt::LeftButton && mouse->button() != Qt::RightButton) {
                    break;
                }
                std::intptr_t keys = 0;
                keys |= (mouse->buttons() & Qt::LeftButton) ? MouseKeyLeft : 0;
                keys |= (mouse->buttons() & Qt::RightButton) ? MouseKeyRight : 0;
                keys |= (mouse->buttons() & Qt::MiddleButton) ? MouseKeyMiddle : 0;
                keys |= (mouse->modifiers() & Qt::ShiftModifier) ? MouseKeyShift : 0;
                keys |= (mouse->modifiers() & Qt::ControlModifier) ? MouseKeyControl : 0;
                const QPoint pos = mouse->position().toPoint();
                const std::uint32_t message =
                    mouse->button() == Qt::LeftButton ? LeftButtonUpMessage : RightButtonUpMessage;
                sendSubclassMessage(
                    hwnd, message, keys, packPoint(pos.x(), pos.y() - menuOffset(widget, hwnd)));
                break;
            }
            case QEvent::KeyPress: {
                const auto* key = static_cast<QKeyEvent*>(event);
                if (key->key() == Qt::Key_F1 && !key->isAutoRepeat()) {
                    sendSubclassMessage(hwnd, HelpMessage, 0, 0);
                }
                break;
            }
            case QEvent::ChildAdded:
            case QEvent::ChildPolished:
                watchButton(static_cast<QChildEvent*>(event)->child());
                break;
            default:
                break;
        }
        return false;
    }
};

SubclassFilter* subclassFilter()
{
    SubclassState& state = subclassState();
    if (state.filter.isNull()) {
        state.filter = new SubclassFilter(QCoreApplication::instance());
    }
    return state.filter.data();
}

} // namespace

bool SetWindowSubclass(Handle hwnd, SubclassProc proc, std::intptr_t id, std::intptr_t refData)
{
    QWidget* widget = findWidget(hwnd);
    if (widget == nullptr || proc == nullptr) {
        return false;
    }
    SubclassState& state = subclassState();
    std::vector<Attachment>& list = state.attached[hwnd];
    for (Attachment& attachment : list) {
        if (attachment.proc == proc && attachment.id == id) {
            attachment.refData = refData;
            return true;
        }
    }
    SubclassFilter* filter = subclassFilter();
    if (list.empty()) {
        widget->installEventFilter(filter);
        filter->watchButtons(widget);
        QObject::connect(
            widget, &QObject::destroyed, filter, [hwnd] { subclassState().attached.erase(hwnd); });
    }
    list.push_back({proc, id, refData});
    return true;
}

bool RemoveWindowSubclass(Handle hwnd, SubclassProc proc, std::intptr_t id)
{
    SubclassState& state = subclassState();
    const auto found = state.attached.find(hwnd);
    if (found == state.attached.end()) {
        return false;
    }
    std::vector<Attachment>& list = found->second;
    const auto match = std::find_if(
        list.begin(), list.end(), [&](const Attachment& a) { return a.proc == proc && a.id == id; });
    if (match == list.end()) {
        return false;
    }
    list.erase(match);
    if (list.empty()) {
        state.attached.erase(found);
        if (QWidget* widget = findWidget(hwnd); widget != nullptr && !state.filter.isNull()) {
            widget->removeEventFilter(state.filter.data());
        }
    }
    return true;
}

std::intptr_t DefSubclassProc(Handle, std::uint32_t, std::intptr_t, std::intptr_t)
{
    return 0;
}

std::intptr_t
sendSubclassMessage(Handle hwnd, std::uint32_t message, std::intptr_t wParam, std::intptr_t lParam)
{
    const auto found = subclassState().attached.find(hwnd);
    if (found == subclassState().attached.end()) {
        return 0;
    }
    // A copy: a procedure may attach or detach procedures while it runs.
    const std::vector<Attachment> list = found->second;
    std::intptr_t result = 0;
    bool first = true;
    for (auto it = list.rbegin(); it != list.rend(); ++it) {
        if (!isAttached(hwnd, *it)) {
            continue;
        }
        const std::intptr_t answer = it->proc(hwnd, message, wParam, lParam, it->id, it->refData);
        if (first) {
            result = answer;
            first = false;
        }
    }
    return result;
}

int subclassCount(Handle hwnd)
{
    const auto found = subclassState().attached.find(hwnd);
    return found == subclassState().attached.end() ? 0 : static_cast<int>(found->second.size());
}

} // namespace folvex
