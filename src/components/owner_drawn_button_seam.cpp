#include "components/owner_drawn_button_seam.h"

#include <QPointer>

#include <deque>
#include <map>
#include <variant>

namespace folvex {
namespace {

struct Entry
{
    QPointer<QObject> object;
    std::variant<std::monostate, QFont, QBrush, QPen> draw;
};

std::map<Handle, Entry>& entries()
{
    static std::map<Handle, Entry> map;
    return map;
}

std::deque<Handle>& queue()
{
    static std::deque<Handle> q;
    return q;
}

Handle current = 0;

template <typename T>
Handle add(T value)
{
    const Handle h = allocateHandle();
    entries()[h].draw = std::move(value);
    return h;
}

template <typename T>
const T* find(Handle h)
{
    const auto it = entries().find(h);
    return it == entries().end() ? nullptr : std::get_if<T>(&it->second.draw);
}

} // namespace

Handle registerObject(QObject* object, ObjectKind, std::uint32_t)
{
    if (const Handle h = handleOf(object)) {
        return h;
    }
    const Handle h = allocateHandle();
    entries()[h].object = object;
    QObject::connect(object, &QObject::destroyed, [h] { entries().erase(h); });
    return h;
}

QObject* findObject(Handle handle)
{
    const auto it = entries().find(handle);
    return it == entries().end() ? nullptr : it->second.object.data();
}

QWidget* findWidget(Handle handle)
{
    return qobject_cast<QWidget*>(findObject(handle));
}

Handle handleOf(const QObject* object)
{
    for (const auto& [h, e] : entries()) {
        if (object != nullptr && e.object.data() == object) {
            return h;
        }
    }
    return 0;
}

void releaseHandle(Handle handle)
{
    entries().erase(handle);
}

Handle createFont(const std::string& name, double points, std::uint32_t)
{
    QFont font(QString::fromStdString(name));
    font.setPointSizeF(points);
    return add(font);
}

QColor colourFromRgbValue(std::uint32_t bgr)
{
    return QColor(
        static_cast<int>(bgr & 0xFF),
        static_cast<int>((bgr >> 8) & 0xFF),
        static_cast<int>((bgr >> 16) & 0xFF));
}

Handle createSolidBrush(std::uint32_t bgr)
{
    return add(QBrush(colourFromRgbValue(bgr)));
}

Handle createPen(int widthPx, std::uint32_t bgr)
{
    QPen pen(colourFromRgbValue(bgr));
    pen.setWidth(widthPx);
    return add(pen);
}

Handle createNullPen()
{
    return add(QPen(Qt::NoPen));
}

Handle createPatternBrush(const QImage& pattern)
{
    return add(QBrush(pattern));
}

const QFont* findFont(Handle handle)
{
    return find<QFont>(handle);
}

const QBrush* findBrush(Handle handle)
{
    return find<QBrush>(handle);
}

const QPen* findPen(Handle handle)
{
    return find<QPen>(handle);
}

bool deleteDrawObject(Handle handle)
{
    return entries().erase(handle) > 0;
}

void postControlEvent(Handle, Handle control, int)
{
    queue().push_back(control);
}

int queuedWindowEvents()
{
    return static_cast<int>(queue().size());
}

int WindowEvent()
{
    if (queue().empty()) {
        return 0;
    }
    current = queue().front();
    queue().pop_front();
    return 1;
}

Handle EventControl()
{
    return current;
}

} // namespace folvex
