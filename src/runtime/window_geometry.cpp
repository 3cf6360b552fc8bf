#include "runtime/window_geometry.h"

#include "runtime/object_registry.h"

#include <QWidget>

#include <algorithm>

namespace folvex {
namespace {

WindowFrame frameOf(Handle window)
{
    return frameForStyle(styleOf(window), hasMenuBar(window), (exStyleOf(window) & ExStyleToolWindow) != 0);
}

} // namespace

WindowFrame frameForStyle(std::uint32_t style, bool hasMenu, bool toolWindow)
{
    WindowFrame frame;
    if ((style & StyleThickFrame) != 0) {
        frame.frame = FrameWidth;
    } else if ((style & StyleDialogFrame) != 0) {
        frame.frame = DialogFrameWidth;
    } else if ((style & StyleBorder) != 0) {
        frame.frame = 1;
    }
    if ((style & StyleCaption) == StyleCaption) {
        frame.caption = toolWindow ? SmallCaptionHeight : CaptionHeight;
    }
    if (hasMenu && (style & StyleChild) == 0) {
        frame.menu = MenuHeight;
    }
    return frame;
}

WindowRect outerFromClient(const WindowRect& client, const WindowFrame& frame)
{
    const int top = frame.frame + frame.caption + frame.menu;
    return {
        client.x - frame.frame,
        client.y - top,
        client.width + 2 * frame.frame,
        client.height + top + frame.frame};
}

WindowRect clientFromOuter(const WindowRect& outer, const WindowFrame& frame)
{
    const int top = frame.frame + frame.caption + frame.menu;
    return {
        outer.x + frame.frame,
        outer.y + top,
        std::max(0, outer.width - 2 * frame.frame),
        std::max(0, outer.height - top - frame.frame)};
}

WindowRect windowClientRect(Handle window)
{
    const QWidget* widget = findWidget(window);
    if (widget == nullptr) {
        return {};
    }
    const int menu = hasMenuBar(window) && widget->isWindow() ? MenuHeight : 0;
    const QRect area = widget->geometry();
    const QPoint origin = widget->isWindow() ? area.topLeft() : widget->mapToGlobal(QPoint(0, 0));
    return {origin.x(), origin.y() + menu, area.width(), std::max(0, area.height() - menu)};
}

WindowRect windowOuterRect(Handle window)
{
    const QWidget* widget = findWidget(window);
    if (widget == nullptr) {
        return {};
    }
    if (!widget->isWindow()) {
        return windowClientRect(window);
    }
    return outerFromClient(windowClientRect(window), frameOf(window));
}

bool placeWindowByClientRect(Handle window, const WindowRect& client)
{
    QWidget* widget = findWidget(window);
    if (widget == nullptr) {
        return false;
    }
    const int menu = hasMenuBar(window) && widget->isWindow() ? MenuHeight : 0;
    widget->setGeometry(client.x, client.y - menu, client.width, client.height + menu);
    return true;
}

bool placeWindowByOuterRect(Handle window, const WindowRect& outer)
{
    QWidget* widget = findWidget(window);
    if (widget == nullptr) {
        return false;
    }
    if (!widget->isWindow()) {
        return placeWindowByClientRect(window, outer);
    }
    return placeWindowByClientRect(window, clientFromOuter(outer, frameOf(window)));
}

} // namespace folvex
