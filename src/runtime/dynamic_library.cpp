#include "runtime/dynamic_library.h"

#include <dlfcn.h>
#include <mutex>
#include <set>

namespace folvex {
namespace {

// Every DynamicLibrary object that holds an open library.
struct OpenLibraries
{
    std::mutex mutex;
    std::set<DynamicLibrary*> objects;
};

// Never destroyed: library objects owned by other statics may still close during exit().
OpenLibraries& openLibraries()
{
    static auto* libraries = new OpenLibraries;
    return *libraries;
}

void track(DynamicLibrary* library)
{
    OpenLibraries& open = openLibraries();
    const std::lock_guard lock(open.mutex);
    open.objects.insert(library);
}

void untrack(DynamicLibrary* library)
{
    OpenLibraries& open = openLibraries();
    const std::lock_guard lock(open.mutex);
    open.objects.erase(library);
}

} // namespace

void DynamicLibrary::Closer::operator()(void* handle) const
{
    dlclose(handle);
}

DynamicLibrary::DynamicLibrary(const std::string& name)
    : m_handle(dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL))
{
    if (!m_handle) {
        const char* reason = dlerror();
        m_error = reason != nullptr ? reason : "unknown error";
        return;
    }
    track(this);
}

DynamicLibrary::~DynamicLibrary()
{
    untrack(this);
}

DynamicLibrary::DynamicLibrary(DynamicLibrary&& other) noexcept
    : m_handle(std::move(other.m_handle))
    , m_error(std::move(other.m_error))
{
    untrack(&other);
    if (m_handle) {
        track(this);
    }
}

DynamicLibrary& DynamicLibrary::operator=(DynamicLibrary&& other) noexcept
{
    if (this != &other) {
        untrack(this);
        untrack(&other);
        m_handle = std::move(other.m_handle);
        m_error = std::move(other.m_error);
        if (m_handle) {
            track(this);
        }
    }
    return *this;
}

void* DynamicLibrary::symbol(const std::string& name) const
{
    if (!m_handle) {
        return nullptr;
    }
    return dlsym(m_handle.get(), name.c_str());
}

int closeAllDynamicLibraries()
{
    OpenLibraries& open = openLibraries();
    const std::lock_guard lock(open.mutex);
    int closed = 0;
    for (DynamicLibrary* library : open.objects) {
        library->m_handle.reset();
        ++closed;
    }
    open.objects.clear();
    return closed;
}

} // namespace folvex
