#include "components/size_change_widgets.h"

#include "foundation/window_routines.h"
#include "runtime/draw_objects.h"
#include "runtime/object_registry.h"
#include "runtime/window_geometry.h"

#include <QEvent>
#include <QFontInfo>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPointer>

#include <algorithm>
#include <cmath>
#include <map>
#include <utility>

namespace folvex {

namespace {

// Hands a hooked widget's resizes and left-button mouse events to a subclass procedure as messages.
// It never consumes an event: the widget goes on handling it as usual.
class SubclassFilter final : public QObject
{
public:
    SubclassFilter(
        QWidget* widget, Handle window, SCSSubclassCall call, std::uintptr_t id, std::intptr_t refData)
        : QObject(widget)
        , m_widget(widget)
        , m_window(window)
        , m_call(std::move(call))
        , m_id(id)
        , m_refData(refData)
    {
        widget->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched != m_widget) {
            return false;
        }
        std::uint32_t msg = 0;
        std::intptr_t lParam = 0;
        switch (event->type()) {
            case QEvent::Resize: {
                msg = scs_messages::Size;
                lParam = (ClientWidth(m_window) & 0xFFFF) | ((ClientHeight(m_window) & 0xFFFF) << 16);
                break;
            }
            case QEvent::MouseMove:
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonRelease: {
                const auto* mouse = static_cast<QMouseEvent*>(event);
                if (event->type() == QEvent::MouseMove) {
                    msg = scs_messages::MouseMove;
                } else if (mouse->button() != Qt::LeftButton) {
                    return false;
                } else {
                    msg = event->type() == QEvent::MouseButtonPress ? scs_messages::LeftButtonDown
                                                                    : scs_messages::LeftButtonUp;
                }
                // The program's pointer position has already taken this event's position.
                const QPoint local = mouse->position().toPoint();
                lParam = (local.x() & 0xFFFF) | ((local.y() & 0xFFFF) << 16);
                break;
            }
            default:
                return false;
        }
        // Copied: the procedure may remove this very subclass.
        const SCSSubclassCall call = m_call;
        call(m_window, msg, 0, lParam, m_id, m_refData);
        return false;
    }

private:
    QWidget* m_widget;
    Handle m_window;
    SCSSubclassCall m_call;
    std::uintptr_t m_id;
    std::intptr_t m_refData;
};

int nearest(double value)
{
    return static_cast<int>(std::lround(value));
}

} // namespace

struct SCSQtWindowSystem::Impl
{
    std::map<std::pair<Handle, std::uintptr_t>, QPointer<SubclassFilter>> filters;
    bool splitterClasses = false;
};

SCSQtWindowSystem::SCSQtWindowSystem()
    : m_impl(std::make_unique<Impl>())
{}

SCSQtWindowSystem::~SCSQtWindowSystem()
{
    for (auto& [key, filter] : m_impl->filters) {
        delete filter.data();
    }
}

int SCSQtWindowSystem::windowLeft(Handle window)
{
    return WindowLeft(window);
}

int SCSQtWindowSystem::windowTop(Handle window)
{
    return WindowTop(window);
}

int SCSQtWindowSystem::windowRight(Handle window)
{
    return WindowRight(window);
}

int SCSQtWindowSystem::windowBottom(Handle window)
{
    return WindowBottom(window);
}

int SCSQtWindowSystem::clientWidth(Handle window)
{
    return ClientWidth(window);
}

int SCSQtWindowSystem::clientHeight(Handle window)
{
    return ClientHeight(window);
}

bool SCSQtWindowSystem::hasSizingFrame(Handle window)
{
    return HasSizingFrame(window) != 0;
}

int SCSQtWindowSystem::frameWidth()
{
    return FrameWidth();
}

int SCSQtWindowSystem::dialogFrameWidth()
{
    return DialogFrameWidth();
}

int SCSQtWindowSystem::desktopMouseX()
{
    return DesktopMouseX();
}

int SCSQtWindowSystem::desktopMouseY()
{
    return DesktopMouseY();
}

void SCSQtWindowSystem::moveControl(Handle control, int x, int y, int width, int height)
{
    QWidget* widget = findWidget(control);
    if (widget == nullptr) {
        return;
    }
    QWidget* parent = widget->parentWidget();
    if (parent == nullptr || widget->isWindow()) {
        widget->setGeometry(x, y, width, height);
        return;
    }
    // The parent's client area need not start at its widget's origin (a menu bar lies above it).
    const WindowRect client = windowClientRect(handleOf(parent));
    const QPoint origin =
        handleOf(parent) != NoHandle ? parent->mapFromGlobal(QPoint(client.x, client.y)) : QPoint(0, 0);
    widget->setGeometry(origin.x() + x, origin.y() + y, width, height);
}

void SCSQtWindowSystem::redraw(Handle window)
{
    Redraw(window, 0);
}

void SCSQtWindowSystem::installSubclass(
    Handle window, SCSSubclassCall call, std::uintptr_t id, std::intptr_t refData)
{
    QWidget* widget = findWidget(window);
    if (widget == nullptr) {
        return;
    }
    // Owned by the widget, so it goes with it; removeSubclass deletes it earlier.
    m_impl->filters[{window, id}] = new SubclassFilter(widget, window, std::move(call), id, refData);
}

void SCSQtWindowSystem::removeSubclass(Handle window, std::uintptr_t id)
{
    const auto found = m_impl->filters.find({window, id});
    if (found == m_impl->filters.end()) {
        return;
    }
    // Deferred: the filter may be the caller, somewhere up the stack.
    if (found->second) {
        found->second->deleteLater();
        found->second->parent()->removeEventFilter(found->second);
    }
    m_impl->filters.erase(found);
}

std::intptr_t SCSQtWindowSystem::defaultSubclassProc(Handle, std::uint32_t, std::uintptr_t, std::intptr_t)
{
    return 0;
}

SCSFontMeasure SCSQtWindowSystem::measureFont(Handle control)
{
    const QWidget* widget = findWidget(control);
    const QFont font = widget != nullptr ? widget->font() : QFont();
    const QFontMetrics metrics(font);
    SCSFontMeasure measure;
    measure.height = metrics.height();
    measure.averageWidth = metrics.averageCharWidth();
    measure.weight = static_cast<int>(font.weight());
    measure.italic = font.italic();
    measure.underline = font.underline();
    measure.faceName = QFontInfo(font).family().toStdString();
    return measure;
}

QFont makeScaledFont(int height, int width, int weight, bool italic, bool underline, const QString& family)
{
    QFont font(family);
    font.setWeight(weight >= 700 ? QFont::Bold : QFont::Normal);
    font.setItalic(italic);
    font.setUnderline(underline);
    font.setStyleStrategy(QFont::PreferAntialias);
    // Character heights grow with the pixel size: find the largest size whose height still fits.
    int low = 1;
    int high = std::max(1, height);
    while (low < high) {
        const int middle = (low + high + 1) / 2;
        font.setPixelSize(middle);
        if (QFontMetrics(font).height() <= height) {
            low = middle;
        } else {
            high = middle - 1;
        }
    }
    font.setPixelSize(low);
    if (width > 0) {
        const int natural = QFontMetrics(font).averageCharWidth();
        if (natural > 0) {
            font.setStretch(std::clamp(nearest(100.0 * width / natural), 1, 4000));
        }
    }
    return font;
}

Handle SCSQtWindowSystem::createFont(
    int height, int width, int weight, bool italic, bool underline, const std::string& faceName)
{
    return registerFont(
        makeScaledFont(height, width, weight, italic, underline, QString::fromStdString(faceName)));
}

void SCSQtWindowSystem::deleteFont(Handle font)
{
    deleteDrawObject(font);
}

void SCSQtWindowSystem::setControlFont(Handle control, Handle font)
{
    QWidget* widget = findWidget(control);
    const QFont* value = findFont(font);
    if (widget != nullptr && value != nullptr) {
        widget->setFont(*value);
        widget->update();
    }
}

void SCSQtWindowSystem::registerSplitterClasses()
{
    m_impl->splitterClasses = true;
}

void SCSQtWindowSystem::unregisterSplitterClasses()
{
    m_impl->splitterClasses = false;
}

Handle SCSQtWindowSystem::createSplitterControl(
    const std::string& className, Handle parent, int x, int y, int width, int height)
{
    QWidget* parentWidget = findWidget(parent);
    if (!m_impl->splitterClasses || parentWidget == nullptr ||
        (className != SCSHorizontalSplitterClass && className != SCSVerticalSplitterClass)) {
        return NoHandle;
    }
    auto* bar = new SCSSplitterBar(className, parentWidget);
    const Handle handle = registerObject(bar, ObjectKind::Control, StyleChild);
    moveControl(handle, x, y, std::max(0, width), std::max(0, height));
    bar->show();
    return handle;
}

SCSSplitterBar::SCSSplitterBar(const std::string& className, QWidget* parent)
    : QPushButton(parent)
{
    setCursor(className == SCSHorizontalSplitterClass ? Qt::SizeVerCursor : Qt::SizeHorCursor);
}

} // namespace folvex
