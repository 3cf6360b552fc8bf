#include "runtime/object_registry.h"

#include "runtime/object_registry_internal.h"

#include <QPointer>

#include <map>
#include <mutex>
#include <unordered_map>

namespace folvex {
namespace {

struct Entry
{
    ObjectKind kind = ObjectKind::None;
    QPointer<QObject> object;
    DrawObject drawObject;
    std::uint32_t style = 0;
    std::uint32_t exStyle = 0;
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

// Never destroyed: other objects that live until exit() may still reach it from their destructors.
Registry& registry()
{
    static auto* instance = new Registry;
    return *instance;
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

std::uint32_t exStyleOf(Handle handle)
{
    Registry& reg = registry();
    const std::lock_guard lock(reg.mutex);
    Entry* entry = liveEntry(reg, handle);
    return entry != nullptr ? entry->exStyle : 0;
}

bool setExStyleOf(Handle handle, std::uint32_t exStyle)
{
    Registry& reg = registry();
    const std::lock_guard lock(reg.mutex);
    Entry* entry = liveEntry(reg, handle);
    if (entry == nullptr) {
        return false;
    }
    entry->exStyle = exStyle;
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

const DrawObject* findDrawObject(Handle handle)
{
    Registry& reg = registry();
    const std::lock_guard lock(reg.mutex);
    Entry* entry = liveEntry(reg, handle);
    return entry != nullptr && entry->drawObject.index() != 0 ? &entry->drawObject : nullptr;
}

bool eraseDrawObject(Handle handle)
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
