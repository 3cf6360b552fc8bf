#pragma once
// Calling a function of a dynamic library by name with up to 18 integer arguments. The three window
// functions the message box takes from "user32.dll" have no library on Linux: they reach the window
// layer through the installed User32Functions. GUI thread.

#include <cstdint>
#include <initializer_list>
#include <string>

namespace folvex {

// Marks the end of the arguments: this value and every argument after it are not passed.
inline constexpr std::intptr_t DllArgsEnd = 0x80000001;

inline constexpr int MaxDllArguments = 18;

// The window functions that callers reach as "user32.dll"; installed by the window layer at start-up.
class User32Functions
{
public:
    virtual ~User32Functions() = default;

    // The window the user works in, 0 when none.
    virtual std::intptr_t GetForegroundWindow() = 0;

    // A stock icon image (instance 0 with a system icon id); 0 when there is no such icon.
    virtual std::intptr_t LoadIconA(std::intptr_t instance, std::intptr_t iconId) = 0;

    // Moves and sizes a window; nonzero on success.
    virtual std::intptr_t SetWindowPos(
        std::intptr_t window,
        std::intptr_t insertAfter,
        std::intptr_t x,
        std::intptr_t y,
        std::intptr_t width,
        std::intptr_t height,
        std::intptr_t flags) = 0;
};

// Installs the user32 functions (nullptr removes them: calls then give 0). Not owned.
void installUser32Functions(User32Functions* functions);

// Calls function of library dll with the arguments before the first DllArgsEnd (at most 18) and returns
// the low 32 bits of its result. 0 when the library cannot be opened, lacks the function or, for
// "user32.dll", when no User32Functions are installed or the function is not one of the three.
std::int32_t CallDllFunction(
    const std::string& dll, const std::string& function, std::initializer_list<std::intptr_t> args = {});

} // namespace folvex
