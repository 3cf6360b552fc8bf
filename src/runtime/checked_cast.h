#pragma once
// Integer conversions that only succeed when the value fits the target type.
// Any thread.

#include <optional>
#include <utility>

namespace folvex {

template <typename To, typename From>
[[nodiscard]] constexpr std::optional<To> checked_cast(From value)
{
    if (!std::in_range<To>(value)) {
        return std::nullopt;
    }
    return static_cast<To>(value);
}

// Multiplies two sizes read from a file; nullopt when the product overflows.
template <typename T>
[[nodiscard]] constexpr std::optional<T> checkedMultiply(T a, T b)
{
    T result{};
    if (__builtin_mul_overflow(a, b, &result)) {
        return std::nullopt;
    }
    return result;
}

template <typename T>
[[nodiscard]] constexpr std::optional<T> checkedAdd(T a, T b)
{
    T result{};
    if (__builtin_add_overflow(a, b, &result)) {
        return std::nullopt;
    }
    return result;
}

} // namespace folvex
