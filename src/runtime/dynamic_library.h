#pragma once
// Dynamic libraries opened by name and their functions looked up by name. Any thread; the library
// service knows every library still open, so the program's last step can close them all at once.

#include <memory>
#include <string>

namespace folvex {

class DynamicLibrary
{
public:
    // Opens the library (dlopen with the usual search path); on failure the object is not open and
    // error() tells why.
    explicit DynamicLibrary(const std::string& name);
    ~DynamicLibrary();
    DynamicLibrary(DynamicLibrary&& other) noexcept;
    DynamicLibrary& operator=(DynamicLibrary&& other) noexcept;
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;

    bool isOpen() const { return m_handle != nullptr; }

    const std::string& error() const { return m_error; }

    // The address of a function, nullptr when the library is not open or lacks it.
    void* symbol(const std::string& name) const;

    template <typename Function>
    Function* function(const std::string& name) const
    {
        return reinterpret_cast<Function*>(symbol(name));
    }

private:
    friend int closeAllDynamicLibraries();

    struct Closer
    {
        void operator()(void* handle) const;
    };

    std::unique_ptr<void, Closer> m_handle;
    std::string m_error;
};

// Closes every library still open through DynamicLibrary, whoever opened it; those objects read as
// not open afterwards (their function addresses must not be used any more). Returns how many were
// closed. No other thread may use a library meanwhile.
int closeAllDynamicLibraries();

} // namespace folvex
