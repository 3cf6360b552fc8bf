#include "foundation/text_measure.h"

#include "runtime/draw_objects.h"
#include "runtime/object_registry.h"
#include "runtime/window_messages.h"

#include <QApplication>
#include <QFontMetrics>
#include <QWidget>

#include <optional>

namespace folvex {
namespace {

// The font a text is measured in; none for an unknown window. A font handle that is unknown leaves
// the main window's font, as a device context keeps its font when another cannot be selected.
std::optional<QFont> measuringFont(Handle hwnd, Handle font)
{
    if (hwnd != NoHandle) {
        const QWidget* widget = findWidget(hwnd);
        if (widget == nullptr) {
            return std::nullopt;
        }
        return widget->font();
    }
    if (font != NoHandle) {
        if (const QFont* given = findFont(font)) {
            return *given;
        }
    }
    if (const QWidget* main = findWidget(mainWindowHandle())) {
        return main->font();
    }
    return QApplication::font();
}

} // namespace

int MeasureTextWidth(const std::string& text, Handle hwnd, Handle font)
{
    const std::optional<QFont> chosen = measuringFont(hwnd, font);
    if (text.empty() || !chosen) {
        return 0;
    }
    return QFontMetrics(*chosen).horizontalAdvance(QString::fromStdString(text));
}

int MeasureTextHeight(const std::string& text, Handle hwnd, Handle font)
{
    const std::optional<QFont> chosen = measuringFont(hwnd, font);
    if (text.empty() || !chosen) {
        return 0;
    }
    return QFontMetrics(*chosen).height();
}

} // namespace folvex
