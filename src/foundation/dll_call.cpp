#include "foundation/dll_call.h"

#include "runtime/dynamic_library.h"
#include "runtime/text.h"

#include <array>
#include <utility>

namespace folvex {

namespace {

User32Functions*& installedUser32()
{
    static User32Functions* functions = nullptr;
    return functions;
}

// The end marker as a caller holding 32-bit values passes it.
constexpr std::intptr_t SignExtendedArgsEnd = -0x7FFFFFFF;

using Arguments = std::array<std::intptr_t, MaxDllArguments>;

// Every argument goes as one full integer register or stack slot, so a callee taking 32-bit values
// reads them as it expects.
template <std::size_t... I>
std::intptr_t callWith(void* address, const Arguments& args, std::index_sequence<I...>)
{
    using Function = std::intptr_t(decltype(static_cast<void>(I), std::intptr_t())...);
    return reinterpret_cast<Function*>(address)(args[I]...);
}

template <std::size_t... N>
std::intptr_t
callWithCount(void* address, const Arguments& args, std::size_t count, std::index_sequence<N...>)
{
    std::intptr_t result = 0;
    (void)((count == N ? (result = callWith(address, args, std::make_index_sequence<N>()), true) : false) || ...);
    return result;
}

std::intptr_t callUser32(const std::string& function, const Arguments& a)
{
    User32Functions* user32 = installedUser32();
    if (user32 == nullptr) {
        return 0;
    }
    if (function == "GetForegroundWindow") {
        return user32->GetForegroundWindow();
    }
    if (function == "LoadIconA") {
        return user32->LoadIconA(a[0], a[1]);
    }
    if (function == "SetWindowPos") {
        return user32->SetWindowPos(a[0], a[1], a[2], a[3], a[4], a[5], a[6]);
    }
    return 0;
}

} // namespace

void installUser32Functions(User32Functions* functions)
{
    installedUser32() = functions;
}

std::int32_t CallDllFunction(
    const std::string& dll, const std::string& function, std::initializer_list<std::intptr_t> args)
{
    Arguments passed{};
    std::size_t count = 0;
    for (const std::intptr_t arg : args) {
        if (arg == DllArgsEnd || arg == SignExtendedArgsEnd || count == passed.size()) {
            break;
        }
        passed[count++] = arg;
    }
    std::intptr_t result = 0;
    if (lowerCase(dll) == "user32.dll") {
        result = callUser32(function, passed);
    } else {
        const DynamicLibrary library(dll);
        void* address = library.symbol(function);
        if (address == nullptr) {
            return 0;
        }
        result = callWithCount(address, passed, count, std::make_index_sequence<MaxDllArguments + 1>());
    }
    return static_cast<std::int32_t>(result);
}

} // namespace folvex
