#include "runtime/object_registry.h"

#include "runtime/draw_objects.h"

#include <QPointer>

#include <map>
#include <mutex>
#include <unordered_map>
#include <variant>

namespace folvex {
namespace {

using DrawObject = std::variant<std::monostate, QFont, QBrush, QPen>;

struct Entry
{
    ObjectKind kind = ObjectKind::None;
    QPointer<QObject> object;
    DrawObject drawObject;
    std::uint32_t style = 0;
    bool menuBar = false;
};

// Every live handle. Entries of QObjects leave when the object is destroyed (or the handle released),
// entries of draw objects when they are deleted. std::map keeps element addresses stable, so a
// pointer to a font stays valid until its entry is erased.
struct Registry
{
    std::mutex mutex;
    std::map<Handle, Entry> entries;
    std::unordered_map<const QObject*, Handle> byObject;
};

Registry& registry()
{
    static Registry instance;
    return instance;
}

// Called with the registry locked.
Entry* liveEntry(Registry& reg, Handle handle)
{
    const auto found = reg.entries.find(handle);
    if (found == reg.entries.end()) {
        return nullptr;
    }
    Entry& entry = found->second;
    if (entry.drawObject.index() == 0 && entry.object.isNull()) {
        return nullptr;
    }
    return &entry;
}

void forget(Handle handle, const QObject* object)
{
    Registry& reg = registry();
    const std::lock_guard lock(reg.mutex);
    reg.entries.erase(handle);
    const auto found = reg.byObject.find(object);
    if (found != reg.byObject.end() && found->second == handle) {
        reg.byObject.erase(found);
    }
}

Handle registerDrawObject(ObjectKind kind, DrawObject value)
{
    const Handle handle = allocateHandle();
    Registry& reg = registry();
    const std::lock_guard lock(reg.mutex);
    Entry& entry = reg.entries[handle];
    entry.kind = kind;
    entry.drawObject = std::move(value);
    return handle;
}

template <typename T>
const T* findDrawObject(Handle handle)
{
    Registry& reg = registry();
    const std::lock_guard lock(reg.mutex);
    Entry* entry = liveEntry(reg, handle);
    return entry != nullptr ? std::get_if<T>(&entry->drawObject) : nullptr;
}

} // namespace

Handle registerObject(QObject* object, ObjectKind kind, std::uint32_t style)
{
    if (object == nullptr) {
        return NoHandle;
    }
    Registry& reg = registry();
    {
        const std::lock_guard lock(reg.mutex);
        const auto found = reg.byObject.find(object);
        if (found != reg.byObject.end()) {
            return found->second;
        }
    }
    const Handle handle = allocateHandle();
    {
        const std::lock_guard lock(reg.mutex);
        Entry& entry = reg.entries[handle];
        entry.kind = kind;
        entry.object = object;
        entry.style = style;
        reg.byObject[object] = handle;
    }
    // Direct connection: runs in the destroying thread, before the address can be reused.
    QObject::connect(object, &QObject::destroyed, [handle, object] { forget(handle, object); });
    return handle;
}

QObject* findObject(Handle handle)
{
    Registry& reg = registry();
    const std::lock_guard lock(reg.mutex);
    Entry* entry = liveEntry(reg, handle);
    return entry != nullptr ? entry->object.data() : nullptr;
}

QWidget* findWidget(Handle handle)
{
    return qobject_cast<QWidget*>(findObject(handle));
}

Handle handleOf(const QObject* object)
{
    if (object == nullptr) {
        return NoHandle;
    }
    Registry& reg = registry();
    const std::lock_guard lock(reg.mutex);
    const auto found = reg.byObject.find(object);
    if (found == reg.byObject.end() || liveEntry(reg, found->second) == nullptr) {
        return NoHandle;
    }
    return found->second;
}

ObjectKind kindOf(Handle handle)
{
    Registry& reg = registry();
    const std::lock_guard lock(reg.mutex);
    Entry* entry = liveEntry(reg, handle);
    return entry != nullptr ? entry->kind : ObjectKind::None;
}

std::uint32_t styleOf(Handle handle)
{
    Registry& reg = registry();
    const std::lock_guard lock(reg.mutex);
    Entry* entry = liveEntry(reg, handle);
    return entry != nullptr ? entry->style : 0;
}

bool setStyleOf(Handle handle, std::uint32_t style)
{
    Registry& reg = registry();
    const std::lock_guard lock(reg.mutex);
    Entry* entry = liveEntry(reg, handle);
    if (entry == nullptr) {
        return false;
    }
    entry->style = style;
    return true;
}

bool hasMenuBar(Handle handle)
{
    Registry& reg = registry();
    const std::lock_guard lock(reg.mutex);
    Entry* entry = liveEntry(reg, handle);
    return entry != nullptr && entry->menuBar;
}

void setHasMenuBar(Handle handle, bool hasMenu)
{
    Registry& reg = registry();
    const std::lock_guard lock(reg.mutex);
    Entry* entry = liveEntry(reg, handle);
    if (entry != nullptr) {
        entry->menuBar = hasMenu;
    }
}

void releaseHandle(Handle handle)
{
    Registry& reg = registry();
    const std::lock_guard lock(reg.mutex);
    const auto found = reg.entries.find(handle);
    if (found == reg.entries.end()) {
        return;
    }
    const QObject* object = found->second.object.data();
    reg.entries.erase(found);
    if (object != nullptr) {
        reg.byObject.erase(object);
    }
}

QString fontFamilyFor(const std::string& name)
{
    const QString family = QString::fromUtf8(name);
    if (family.compare(QStringLiteral("Segoe UI"), Qt::CaseInsensitive) == 0) {
        return QStringLiteral("DejaVu Sans");
    }
    if (family.compare(QStringLiteral("Arial"), Qt::CaseInsensitive) == 0) {
        return QStringLiteral("Liberation Sans");
    }
    return family;
}

Handle createFont(const std::string& name, double points, std::uint32_t flags)
{
    QFont font(fontFamilyFor(name));
    if (points > 0) {
        font.setPointSizeF(points);
    }
    font.setBold((flags & static_cast<std::uint32_t>(FontFlag::Bold)) != 0);
    font.setItalic((flags & static_cast<std::uint32_t>(FontFlag::Italic)) != 0);
    font.setUnderline((flags & static_cast<std::uint32_t>(FontFlag::Underline)) != 0);
    font.setStrikeOut((flags & static_cast<std::uint32_t>(FontFlag::StrikeOut)) != 0);
    return registerDrawObject(ObjectKind::Font, font);
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
    return registerDrawObject(ObjectKind::Brush, QBrush(colourFromRgbValue(bgr)));
}

Handle createPen(int widthPx, std::uint32_t bgr)
{
    QPen pen(colourFromRgbValue(bgr));
    pen.setWidth(widthPx > 0 ? widthPx : 0);
    return registerDrawObject(ObjectKind::Pen, pen);
}

Handle createNullPen()
{
    return registerDrawObject(ObjectKind::Pen, QPen(Qt::NoPen));
}

const QFont* findFont(Handle handle)
{
    return findDrawObject<QFont>(handle);
}

const QBrush* findBrush(Handle handle)
{
    return findDrawObject<QBrush>(handle);
}

const QPen* findPen(Handle handle)
{
    return findDrawObject<QPen>(handle);
}

bool deleteDrawObject(Handle handle)
{
    Registry& reg = registry();
    const std::lock_guard lock(reg.mutex);
    const auto found = reg.entries.find(handle);
    if (found == reg.entries.end() || found->second.drawObject.index() == 0) {
        return false;
    }
    reg.entries.erase(found);
    return true;
}

} // namespace folvex
