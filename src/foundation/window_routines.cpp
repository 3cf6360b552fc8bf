#include "foundation/window_routines.h"

#include "runtime/effects.h"
#include "runtime/input_state.h"
#include "runtime/object_registry.h"
#include "runtime/qt_effects.h"
#include "runtime/window_events.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollBar>
#include <QTextEdit>
#include <QWidget>

#include <cstring>
#include <map>
#include <vector>

namespace folvex {
namespace {

constexpr std::uint32_t StyleFrameBits = StyleBorder | StyleDialogFrame | StyleThickFrame;

// The attachments EditSubclass made: one record per control ever attached (position 0 is a
// placeholder, so a position of 0 means none), the map from a control to its record, and the id
// counter. Records stay when detached; ids are never reused.
struct EditSubclassRecord
{
    std::int32_t id = 0;
    Handle hwnd = NoHandle;
};

struct EditSubclassTable
{
    std::vector<EditSubclassRecord> records{EditSubclassRecord{}};
    std::map<Handle, std::size_t> positions;
    std::int32_t lastId = 0;
};

EditSubclassTable& editSubclassTable()
{
    static EditSubclassTable table;
    return table;
}

Handle& foundByTitle()
{
    static Handle found = NoHandle;
    return found;
}

QScrollBar* findScrollBar(Handle hwnd)
{
    return qobject_cast<QScrollBar*>(findObject(hwnd));
}

// Subtracts the frame width as the window's style (or flag 8) asks, unless flag 1 is set.
int frameToSubtract(Handle hwnd, int flags)
{
    if ((flags & 1) != 0 || (HasFrame(hwnd) == 0 && (flags & 8) == 0)) {
        return 0;
    }
    return HasSizingFrame(hwnd) != 0 ? FrameWidth() : DialogFrameWidth();
}

} // namespace

int WindowLeft(Handle hwnd)
{
    return windowOuterRect(hwnd).x;
}

int WindowTop(Handle hwnd)
{
    return windowOuterRect(hwnd).y;
}

int WindowRight(Handle hwnd)
{
    const WindowRect outer = windowOuterRect(hwnd);
    return outer.x + outer.width;
}

int WindowBottom(Handle hwnd)
{
    const WindowRect outer = windowOuterRect(hwnd);
    return outer.y + outer.height;
}

int WindowWidth(Handle hwnd)
{
    return windowOuterRect(hwnd).width;
}

int WindowHeight(Handle hwnd)
{
    return windowOuterRect(hwnd).height;
}

int ClientWidth(Handle hwnd)
{
    return windowClientRect(hwnd).width;
}

int ClientHeight(Handle hwnd)
{
    return windowClientRect(hwnd).height;
}

std::uint32_t GetStyle(Handle hwnd, int ex)
{
    return ex == 0 ? styleOf(hwnd) : exStyleOf(hwnd);
}

int SetStyle(Handle hwnd, std::uint32_t value, int ex)
{
    if (ex == 0) {
        setStyleOf(hwnd, value);
    } else {
        setExStyleOf(hwnd, value);
    }
    return 0;
}

int HasFrame(Handle hwnd)
{
    return (styleOf(hwnd) & StyleFrameBits) != 0 ? 1 : 0;
}

int HasSizingFrame(Handle hwnd)
{
    return (styleOf(hwnd) & StyleThickFrame) != 0 ? 1 : 0;
}

int CaptionKind(Handle hwnd)
{
    if ((exStyleOf(hwnd) & ExStyleToolWindow) != 0) {
        return 2;
    }
    return (styleOf(hwnd) & StyleCaption) == StyleCaption ? 1 : 0;
}

int HasMenu(Handle hwnd)
{
    return hasMenuBar(hwnd) ? 1 : 0;
}

int IsMaximized(Handle hwnd)
{
    const QWidget* widget = findWidget(hwnd);
    return widget != nullptr && widget->isWindow() && widget->isMaximized() ? 1 : 0;
}

int EnableControl(Handle hwnd, int on)
{
    if (QWidget* widget = findWidget(hwnd)) {
        widget->setEnabled(on != 0);
    }
    return 0;
}

int SetText(Handle hwnd, const std::string& text)
{
    QWidget* widget = findWidget(hwnd);
    if (widget == nullptr) {
        return 0;
    }
    const QString value = QString::fromStdString(text);
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        label->setText(QString::fromStdString(lineBreaksForDisplay(text)));
    } else if (auto* line = qobject_cast<QLineEdit*>(widget)) {
        line->setText(value);
    } else if (auto* plain = qobject_cast<QPlainTextEdit*>(widget)) {
        plain->setPlainText(QString::fromStdString(lineBreaksForDisplay(text)));
    } else if (auto* rich = qobject_cast<QTextEdit*>(widget)) {
        rich->setPlainText(QString::fromStdString(lineBreaksForDisplay(text)));
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        button->setText(value);
    } else if (auto* group = qobject_cast<QGroupBox*>(widget)) {
        group->setTitle(value);
    } else {
        widget->setWindowTitle(value);
    }
    return 1;
}

int Redraw(Handle hwnd, int /*erase*/)
{
    if (QWidget* widget = findWidget(hwnd)) {
        widget->repaint();
    }
    return 0;
}

int ScreenWidth()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen != nullptr ? screen->geometry().width() : 0;
}

int ScreenHeight()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen != nullptr ? screen->geometry().height() : 0;
}

int DesktopMouseX()
{
    return pointerPosition().x();
}

int DesktopMouseY()
{
    return pointerPosition().y();
}

int WindowMouseX(Handle hwnd, int raw, int flags)
{
    int x = DesktopMouseX() - WindowLeft(hwnd);
    if (raw == 0) {
        x -= frameToSubtract(hwnd, flags);
    }
    return x;
}

int WindowMouseY(Handle hwnd, int raw, int flags)
{
    int y = DesktopMouseY() - WindowTop(hwnd);
    if (raw != 0) {
        return y;
    }
    // The vertical frame is taken as wide as the horizontal one.
    y -= frameToSubtract(hwnd, flags);
    const int captionKind = CaptionKind(hwnd);
    if ((captionKind == 1 || (flags & 16) != 0) && (flags & 2) == 0) {
        y -= CaptionHeight();
    } else if (captionKind == 2) {
        // Flag 2 does not take the small caption of a tool window away.
        y -= SmallCaptionHeight();
    }
    if ((HasMenu(hwnd) != 0 || (flags & 32) != 0) && (flags & 4) == 0) {
        y -= MenuHeight();
    }
    return y;
}

int KeyDown(int vk, int modifiers, Handle hwnd)
{
    const bool altGr = KeyIsDown(VkRightAlt);
    if ((modifiers & KeyModShift) != 0 && !KeyIsDown(VkShift)) {
        return 0;
    }
    if ((modifiers & KeyModCtrl) != 0 && (!KeyIsDown(VkControl) || altGr)) {
        return 0;
    }
    if ((modifiers & KeyModAlt) != 0 && (!KeyIsDown(VkAlt) || altGr)) {
        return 0;
    }
    if ((modifiers & KeyModAltGr) != 0 && !altGr) {
        return 0;
    }
    if (hwnd != NoHandle && handleOf(QApplication::activeWindow()) != hwnd) {
        return 0;
    }
    if (!KeyIsDown(vk)) {
        return 0;
    }
    WindowEvent();
    return 1;
}

int GetScrollBarPos(Handle hwnd)
{
    const QScrollBar* bar = findScrollBar(hwnd);
    return bar != nullptr ? bar->value() : 0;
}

int SetScrollBarPos(Handle hwnd, int pos)
{
    QScrollBar* bar = findScrollBar(hwnd);
    if (bar == nullptr) {
        return 0;
    }
    bar->setValue(pos);
    return bar->value();
}

int GetScrollBarRange(Handle hwnd, std::int32_t* minAddress, std::int32_t* maxAddress)
{
    const QScrollBar* bar = findScrollBar(hwnd);
    if (bar == nullptr) {
        return 0;
    }
    if (minAddress != nullptr) {
        *minAddress = bar->minimum();
    }
    if (maxAddress != nullptr) {
        *maxAddress = bar->maximum();
    }
    return 1;
}

int SetScrollBarRange(Handle hwnd, int min, int max)
{
    QScrollBar* bar = findScrollBar(hwnd);
    if (bar == nullptr) {
        return 0;
    }
    bar->setRange(min, max);
    return bar->value();
}

int EditSubclass(Handle hwnd, int on, std::intptr_t refData)
{
    EditSubclassTable& table = editSubclassTable();
    if (on == 1) {
        if (table.positions.count(hwnd) != 0 || findWidget(hwnd) == nullptr) {
            return 0;
        }
        ++table.lastId;
        table.records.push_back({table.lastId, hwnd});
        table.positions[hwnd] = table.records.size() - 1;
        SetWindowSubclass(hwnd, InputSubclassProc, table.lastId, refData);
    } else if (on == 0) {
        const auto found = table.positions.find(hwnd);
        if (found == table.positions.end()) {
            return 0;
        }
        RemoveWindowSubclass(hwnd, InputSubclassProc, table.records[found->second].id);
        table.positions.erase(found);
    }
    return 0;
}

int Subclass(Handle hwnd, int on, SubclassProc proc, std::intptr_t id, std::intptr_t refData)
{
    if (on == 1) {
        SetWindowSubclass(hwnd, proc, id, refData);
    } else if (on == 0) {
        RemoveWindowSubclass(hwnd, proc, id);
    }
    return 0;
}

std::intptr_t InputSubclassProc(
    Handle hwnd,
    std::uint32_t message,
    std::intptr_t wParam,
    std::intptr_t lParam,
    std::intptr_t /*id*/,
    std::intptr_t /*refData*/)
{
    if (message == SetFocusMessage) {
        QObject* object = findObject(hwnd);
        if (auto* line = qobject_cast<QLineEdit*>(object)) {
            line->selectAll();
        } else if (auto* plain = qobject_cast<QPlainTextEdit*>(object)) {
            plain->selectAll();
        } else if (auto* rich = qobject_cast<QTextEdit*>(object)) {
            rich->selectAll();
        } else if (auto* spin = qobject_cast<QAbstractSpinBox*>(object)) {
            spin->selectAll();
        }
    }
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

std::intptr_t ClickWatchProc(
    Handle hwnd,
    std::uint32_t message,
    std::intptr_t wParam,
    std::intptr_t lParam,
    std::intptr_t /*id*/,
    std::intptr_t refData)
{
    auto* record = reinterpret_cast<ClickWatchRecord*>(refData);
    if (record != nullptr && message == CommandMessage && HiWord(wParam) == 0 && lParam == record->control) {
        record->clicked = 1;
    }
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

int LoWord(std::intptr_t v)
{
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(static_cast<std::uintptr_t>(v) & 0xFFFFu));
}

int HiWord(std::intptr_t v)
{
    return static_cast<std::int16_t>(
        static_cast<std::uint16_t>((static_cast<std::uintptr_t>(v) >> 16) & 0xFFFFu));
}

int BitSet(std::int64_t value, int bit)
{
    if (bit < 0 || bit > 63) {
        return 0;
    }
    const std::uint64_t mask = std::uint64_t{1} << bit;
    return (static_cast<std::uint64_t>(value) & mask) != 0 ? 1 : 0;
}

int SystemBeep(std::uint32_t type)
{
    if (SoundSink* sound = effects().sound) {
        sound->systemSound(static_cast<int>(type));
    }
    return 0;
}

int FindWindowByTitleProc(Handle hwnd, std::intptr_t lParam)
{
    const auto* prefix = reinterpret_cast<const char*>(lParam);
    const QWidget* widget = findWidget(hwnd);
    if (prefix == nullptr || widget == nullptr) {
        return 1;
    }
    if (widget->windowTitle().toStdString().rfind(prefix, 0) == 0) {
        foundByTitle() = hwnd;
        return 0;
    }
    return 1;
}

Handle windowFoundByTitle()
{
    return foundByTitle();
}

} // namespace folvex
