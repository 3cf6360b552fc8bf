#pragma once
// Result of a fallible operation: a value or an error code with a message.
// Any thread; plain value type.

#include <string>
#include <utility>
#include <variant>

namespace folvex {

struct Error
{
    int code = 0;
    std::string message;
};

template <typename T>
class [[nodiscard]] Expected
{
public:
    Expected(T value)
        : m_state(std::move(value))
    {}

    Expected(Error error)
        : m_state(std::move(error))
    {}

    bool hasValue() const { return std::holds_alternative<T>(m_state); }

    explicit operator bool() const { return hasValue(); }

    T& value() & { return std::get<T>(m_state); }

    const T& value() const& { return std::get<T>(m_state); }

    T&& value() && { return std::get<T>(std::move(m_state)); }

    T* operator->() { return &value(); }

    const T* operator->() const { return &value(); }

    T& operator*() & { return value(); }

    const Error& error() const { return std::get<Error>(m_state); }

private:
    std::variant<T, Error> m_state;
};

template <>
class [[nodiscard]] Expected<void>
{
public:
    Expected() = default;

    Expected(Error error)
        : m_error(std::move(error))
        , m_failed(true)
    {}

    bool hasValue() const { return !m_failed; }

    explicit operator bool() const { return hasValue(); }

    const Error& error() const { return m_error; }

private:
    Error m_error;
    bool m_failed = false;
};

} // namespace folvex
