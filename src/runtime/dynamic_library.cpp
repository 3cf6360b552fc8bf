#include "runtime/dynamic_library.h"

#include <dlfcn.h>

namespace folvex {

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
    }
}

void* DynamicLibrary::symbol(const std::string& name) const
{
    if (!m_handle) {
        return nullptr;
    }
    return dlsym(m_handle.get(), name.c_str());
}

} // namespace folvex
