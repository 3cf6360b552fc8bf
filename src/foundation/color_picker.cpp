#include "foundation/color_picker.h"

#include "foundation/note.h"
#include "foundation/text_measure.h"
#include "foundation/window_routines.h"
#include "runtime/draw_objects.h"
#include "runtime/effects.h"
#include "runtime/input_state.h"
#include "runtime/object_registry.h"
#include "runtime/window_events.h"
#include "runtime/window_geometry.h"
#include "runtime/window_messages.h"

#include <QApplication>
#include <QEvent>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QPointer>
#include <QScreen>
#include <QWidget>

#include <memory>
#include <vector>

namespace folvex {
namespace {

constexpr int PickBeepHz = 2000;
constexpr int PickBeepMs = 100;
constexpr int ReleaseWaitMs = 25;

// The hint window: a captioned tool window, first 350 × 40 in the middle of the screen, then sized
// to its text: width text + 35, height text + caption + frame + 25.
constexpr std::uint32_t HintWindowStyle = 0x80C00000;   // popup with caption
constexpr std::uint32_t HintWindowExStyle = 0x00000088; // tool window, topmost
constexpr int HintFirstWidth = 350;
constexpr int HintFirstHeight = 40;
constexpr int HintExtraWidth = 35;
constexpr int HintExtraHeight = 25;
constexpr int HintLabelTop = 10;
constexpr int HintLabelHeight = 20;

// Waits for the left-button release that ends the picking and keeps where it happened.
class ReleaseWatcher final : public QObject
{
public:
    explicit ReleaseWatcher(const QWidget* frozen)
        : m_frozen(frozen)
    {}

    bool released() const { return m_released; }

    bool inside() const { return m_inside; }

    QPoint position() const { return m_position; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        // A release from the window system reaches the native window first and then the widget
        // under the pointer; only the widget's delivery tells where it happened.
        if (m_released || event->type() != QEvent::MouseButtonRelease || !watched->isWidgetType()) {
            return false;
        }
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton) {
            return false;
        }
        m_released = true;
        // The release's own position counts: a synthetic click does not move the pointer.
        const QPoint local = mouse->position().toPoint();
        m_inside = watched == m_frozen && m_frozen->rect().contains(local);
        m_position = local;
        return false;
    }

private:
    const QWidget* m_frozen;
    bool m_released = false;
    bool m_inside = false;
    QPoint m_position;
};

std::int32_t bgrValue(QRgb rgb)
{
    return static_cast<std::int32_t>(
        (static_cast<std::uint32_t>(qBlue(rgb)) << 16) | (static_cast<std::uint32_t>(qGreen(rgb)) << 8) |
        static_cast<std::uint32_t>(qRed(rgb)));
}

// The windows to hide: those of the list, then the active window.
std::vector<QPointer<QWidget>> windowsToHide(const std::intptr_t* windowList, QWidget* foreground)
{
    std::vector<QPointer<QWidget>> windows;
    if (windowList != nullptr) {
        const std::intptr_t count = windowList[0];
        for (std::intptr_t i = 1; i <= count; ++i) {
            if (QWidget* widget = findWidget(static_cast<Handle>(windowList[i]))) {
                windows.emplace_back(widget);
            }
        }
    }
    if (foreground != nullptr) {
        windows.emplace_back(foreground);
    }
    return windows;
}

void hideAll(const std::vector<QPointer<QWidget>>& windows)
{
    for (const QPointer<QWidget>& widget : windows) {
        if (!widget.isNull()) {
            widget->hide();
        }
    }
    QCoreApplication::processEvents();
}

// Shows the list's windows and the active window again, the active one last so it ends in front.
void showAll(const std::vector<QPointer<QWidget>>& windows, QWidget* foreground)
{
    for (const QPointer<QWidget>& widget : windows) {
        if (!widget.isNull() && widget != foreground) {
            widget->show();
        }
    }
    if (foreground != nullptr) {
        foreground->show();
        foreground->raise();
        foreground->activateWindow();
    }
}

// The hint window over the frozen screen, owned by the main window.
std::unique_ptr<QWidget> makeHintWindow(const std::string& hint, Handle font, const QRect& screenRect)
{
    QWidget* owner = findWidget(mainWindowHandle());
    auto hintWindow = std::make_unique<QWidget>(
        owner != nullptr ? owner->window() : nullptr,
        Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    hintWindow->setObjectName(QStringLiteral("colourPickerHint"));
    hintWindow->setWindowTitle(QString::fromUtf8(ColorPickerTitle));
    const Handle handle = registerObject(hintWindow.get(), ObjectKind::Window, HintWindowStyle);
    setExStyleOf(handle, HintWindowExStyle);
    const int x = screenRect.x() + (screenRect.width() - HintFirstWidth) / 2;
    const int y = screenRect.y() + (screenRect.height() - HintFirstHeight) / 2;
    placeWindowByOuterRect(handle, {x, y, HintFirstWidth, HintFirstHeight});

    const int tw = MeasureTextWidth(hint, NoHandle, font);
    const int th = MeasureTextHeight(hint, NoHandle, font);
    placeWindowByOuterRect(
        handle, {x, y, tw + HintExtraWidth, th + CaptionHeight() + DialogFrameWidth() + HintExtraHeight});
    hintWindow->show();

    auto* label = new QLabel(hintWindow.get());
    label->setTextFormat(Qt::PlainText);
    label->setText(QString::fromStdString(hint));
    label->setAlignment(Qt::AlignCenter);
    if (const QFont* pickerFont = findFont(font)) {
        label->setFont(*pickerFont);
    }
    label->setGeometry(0, HintLabelTop, ClientWidth(handle), HintLabelHeight);
    label->show();
    return hintWindow;
}

} // namespace

std::int32_t ColorPicker(bool hideFirst, const std::intptr_t* windowList, const std::string& hint)
{
    if (effects().colourPicks != nullptr) {
        return effects().colourPicks->pickColour(hint);
    }
    QPointer<QWidget> foreground = QApplication::activeWindow();
    const std::vector<QPointer<QWidget>> hidden = windowsToHide(windowList, foreground.data());
    QScreen* screen = QGuiApplication::primaryScreen();

    if (hideFirst) {
        hideAll(hidden);
    }
    QPixmap shot;
    if (screen != nullptr) {
        shot = screen->grabWindow(0);
    }
    if (!hideFirst) {
        hideAll(hidden);
    }
    if (shot.isNull()) {
        ShowNote(ColorPickerUnavailableNote, 0);
        showAll(hidden, foreground.data());
        return -1;
    }
    const QRect screenRect = screen->geometry();
    const QImage frozenImage = shot.toImage();
    const qreal ratio = shot.devicePixelRatio();

    const Handle font = createFont("Segoe UI", 12);

    QLabel frozen(nullptr, Qt::Window | Qt::FramelessWindowHint);
    frozen.setObjectName(QStringLiteral("colourPickerScreen"));
    frozen.setPixmap(shot);
    frozen.setAlignment(Qt::AlignLeft | Qt::AlignTop);
    frozen.setGeometry(screenRect);
    frozen.setCursor(Qt::UpArrowCursor);
    frozen.show();

    const std::unique_ptr<QWidget> hintWindow = makeHintWindow(hint, font, screenRect);

    ReleaseWatcher watcher(&frozen);
    qApp->installEventFilter(&watcher);
    std::int32_t colour = -1;
    while (true) {
        if (watcher.released()) {
            const QPoint pixel = (QPointF(watcher.position()) * ratio).toPoint();
            if (watcher.inside() && frozenImage.valid(pixel)) {
                colour = bgrValue(frozenImage.pixel(pixel));
            }
            if (SoundSink* sound = effects().sound) {
                sound->beep(PickBeepHz, PickBeepMs);
            }
            break;
        }
        if (KeyDown(VkEscape, 0, NoHandle) == 1) {
            while (KeyIsDown(VkEscape)) {
                Delay(ReleaseWaitMs);
            }
            break;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    qApp->removeEventFilter(&watcher);

    frozen.unsetCursor();
    frozen.hide();
    hintWindow->hide();
    deleteDrawObject(font);
    showAll(hidden, foreground.data());
    return colour;
}

} // namespace folvex
