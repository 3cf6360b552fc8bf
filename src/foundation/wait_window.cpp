#include "foundation/wait_window.h"

#include "foundation/note.h"
#include "foundation/text_measure.h"
#include "runtime/draw_objects.h"
#include "runtime/object_registry.h"
#include "runtime/subclass.h"
#include "runtime/window_events.h"
#include "runtime/window_geometry.h"
#include "runtime/window_messages.h"

#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QWidget>

namespace folvex {
namespace {

// Styles the wait window and its text are kept with: a captioned dialog with system menu and
// maximise box, and a plain visible child label.
constexpr std::uint32_t WaitWindowStyle = 0x10C90000;
constexpr std::uint32_t WaitTextStyle = 0x50000000;

constexpr std::intptr_t WaitSubclassId = 1;

// Height added to the text and margins for the caption and frame of the window.
constexpr int WaitWindowExtraHeight = 30;

struct WaitWindowState
{
    Handle window = NoHandle;
    Handle text = NoHandle;
    QPointer<QWidget> widget;
};

WaitWindowState& waitState()
{
    static WaitWindowState state;
    return state;
}

// The text's extent in the font it will be shown in (the given one, else the default), measured on
// a temporary push button that is never shown.
QSize measureWaitText(const std::string& text, Handle font, QWidget* owner)
{
    QPushButton button(QStringLiteral("123"), owner);
    button.setGeometry(0, 0, 0, 0);
    if (const QFont* given = findFont(font)) {
        button.setFont(*given);
    }
    const Handle handle = registerObject(&button, ObjectKind::Control, 0x50010000);
    const QSize size(MeasureTextWidth(text, handle, 0), MeasureTextHeight(text, handle, 0));
    return size;
}

} // namespace

int XWarten(
    const std::string& text, Handle font, int margin, std::int32_t colour, int dx, int dy, Handle parent)
{
    WaitWindowState& state = waitState();
    if (state.window != NoHandle) {
        ShowNote(WaitWindowOpenTwiceNote, 1);
        return 0;
    }
    if (parent == NoHandle) {
        parent = mainWindowHandle();
    }
    QWidget* parentWidget = findWidget(parent);
    if (parentWidget != nullptr) {
        parentWidget = parentWidget->window();
    }

    const QSize textSize = measureWaitText(text, font, parentWidget);
    const int tw = textSize.width();
    const int th = textSize.height();
    int w = tw + 2 * margin;
    const int h = th + 2 * margin + WaitWindowExtraHeight;
    const WindowRect around = windowOuterRect(parent);
    int x = around.x + around.width / 2 - w / 2;
    const int y = around.y + around.height / 2 - h / 2;

    auto* window = new QWidget(
        parentWidget,
        Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
            Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowTitle(QString::fromUtf8(WaitWindowTitle));
    const Handle handle = registerObject(window, ObjectKind::Window, WaitWindowStyle);
    placeWindowByOuterRect(handle, {x, y, w, h});
    window->show();

    // The client area is to be as wide as asked: widen the window by its frame.
    const WindowRect outer = windowOuterRect(handle);
    if (outer.width > w) {
        w = outer.width;
    } else {
        w += w - windowClientRect(handle).width;
    }
    x = around.x + around.width / 2 - w / 2;
    placeWindowByOuterRect(handle, {x, y, w, h});
    window->raise();

    DrainWindowEvents();

    if (colour != -1) {
        QPalette palette = window->palette();
        palette.setColor(QPalette::Window, colourFromRgbValue(static_cast<std::uint32_t>(colour)));
        window->setPalette(palette);
        window->setAutoFillBackground(true);
    }
    const QFont* given = findFont(font);
    if (given != nullptr) {
        window->setFont(*given);
    }
    state.window = handle;
    state.widget = window;
    SetWindowSubclass(handle, WaitTextColourProc, WaitSubclassId, 0);

    // Black text on the window's own background.
    auto* label = new QLabel(window);
    label->setTextFormat(Qt::PlainText);
    label->setText(QString::fromStdString(text));
    QPalette labelPalette = label->palette();
    labelPalette.setColor(QPalette::WindowText, Qt::black);
    label->setPalette(labelPalette);
    label->setAutoFillBackground(false);
    label->setFont(given != nullptr ? *given : window->font());
    label->setGeometry(margin + dx, margin + dy, tw, th);
    label->show();
    state.text = registerObject(label, ObjectKind::Control, WaitTextStyle);
    return 0;
}

int XWartenEnde()
{
    WaitWindowState& state = waitState();
    if (state.window == NoHandle) {
        ShowNote(WaitWindowNotOpenNote, 1);
        return 0;
    }
    if (QWidget* main = findWidget(mainWindowHandle())) {
        main->activateWindow();
        main->setFocus();
    }
    RemoveWindowSubclass(state.window, WaitTextColourProc, WaitSubclassId);
    delete state.widget.data();
    state = WaitWindowState{};
    return 0;
}

Handle WaitWindow()
{
    return waitState().window;
}

Handle WaitWindowText()
{
    return waitState().text;
}

std::intptr_t WaitTextColourProc(
    Handle hwnd,
    std::uint32_t message,
    std::intptr_t wParam,
    std::intptr_t lParam,
    std::intptr_t /*id*/,
    std::intptr_t /*refData*/)
{
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

} // namespace folvex
