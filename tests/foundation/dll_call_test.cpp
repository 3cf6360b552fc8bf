#include "foundation/dll_call.h"

#include <gtest/gtest.h>

#include <vector>

namespace folvex {
namespace {

TEST(CallDllFunctionTest, CallsLibraryFunctionsByName)
{
    EXPECT_EQ(CallDllFunction("libc.so.6", "abs", {-5, DllArgsEnd, DllArgsEnd}), 5);
    const char* number = "4711";
    const auto text = reinterpret_cast<std::intptr_t>(number);
    EXPECT_EQ(CallDllFunction("libc.so.6", "strtol", {text, 0, 10, DllArgsEnd, 99, 99}), 4711);
    EXPECT_EQ(CallDllFunction("libc.so.6", "strtol", {text, 0, 8}), 2505);
    EXPECT_EQ(CallDllFunction("libc.so.6", "gibtEsNicht", {1}), 0);
    EXPECT_EQ(CallDllFunction("libgibtesnicht.so.1", "abs", {-5}), 0);
    EXPECT_EQ(CallDllFunction("kernel32.dll", "GetTickCount"), 0);
}

class RecordingUser32 final : public User32Functions
{
public:
    std::intptr_t GetForegroundWindow() override
    {
        calls.push_back({});
        return 0x100000000 + 1005; // only the low 32 bits reach the caller
    }

    std::intptr_t LoadIconA(std::intptr_t instance, std::intptr_t iconId) override
    {
        calls.push_back({instance, iconId});
        return 1010;
    }

    std::intptr_t SetWindowPos(
        std::intptr_t window,
        std::intptr_t insertAfter,
        std::intptr_t x,
        std::intptr_t y,
        std::intptr_t width,
        std::intptr_t height,
        std::intptr_t flags) override
    {
        calls.push_back({window, insertAfter, x, y, width, height, flags});
        return 1;
    }

    std::vector<std::vector<std::intptr_t>> calls;
};

TEST(CallDllFunctionTest, SendsUser32CallsToTheInstalledFunctions)
{
    EXPECT_EQ(CallDllFunction("user32.dll", "GetForegroundWindow"), 0);

    RecordingUser32 user32;
    installUser32Functions(&user32);
    EXPECT_EQ(CallDllFunction("user32.dll", "GetForegroundWindow", {DllArgsEnd}), 1005);
    EXPECT_EQ(CallDllFunction("USER32.DLL", "LoadIconA", {0, 32512, DllArgsEnd, 7}), 1010);
    EXPECT_EQ(
        CallDllFunction("user32.dll", "SetWindowPos", {1001, -1, 10, 20, 300, 200, 0x13, DllArgsEnd, 5}), 1);
    // Arguments after the end marker (also as a sign-extended 32-bit value) are not passed.
    EXPECT_EQ(CallDllFunction("user32.dll", "LoadIconA", {0, -0x7FFFFFFF, 32512}), 1010);
    EXPECT_EQ(CallDllFunction("user32.dll", "MessageBeep", {0}), 0);
    installUser32Functions(nullptr);

    const std::vector<std::vector<std::intptr_t>> expected = {
        {}, {0, 32512}, {1001, -1, 10, 20, 300, 200, 0x13}, {0, 0}};
    EXPECT_EQ(user32.calls, expected);
}

} // namespace
} // namespace folvex
