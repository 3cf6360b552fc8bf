#pragma once
// An environment variable set for the lifetime of an object and restored (or removed) afterwards.
// Not thread-safe: set and restore while no other thread reads the environment.

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>

namespace folvex::testing {

class ScopedEnvironment
{
public:
    ScopedEnvironment(std::string name, const std::string& value)
        : m_name(std::move(name))
    {
        if (const char* old = std::getenv(m_name.c_str())) {
            m_old = old;
        }
        ::setenv(m_name.c_str(), value.c_str(), 1);
    }

    ~ScopedEnvironment()
    {
        if (m_old) {
            ::setenv(m_name.c_str(), m_old->c_str(), 1);
        } else {
            ::unsetenv(m_name.c_str());
        }
    }

    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    std::string m_name;
    std::optional<std::string> m_old;
};

} // namespace folvex::testing
