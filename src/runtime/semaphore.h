#pragma once
// Semaphores that one thread creates and another waits on, named by a handle so that a number in a
// parameter text can refer to one. The registry keeps no semaphore alive: each lives while a shared
// owner holds it, and its handle reads as none afterwards. Any thread.

#include "runtime/handles.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <semaphore>

namespace folvex {

class Semaphore
{
public:
    explicit Semaphore(std::ptrdiff_t initialCount);

    Handle handle() const { return m_handle; }

    // Adds one to the count, waking one waiter.
    void release();

    // Takes one from the count, waiting up to timeout for it; false when the time ran out.
    [[nodiscard]] bool acquireFor(std::chrono::milliseconds timeout);

private:
    friend std::shared_ptr<Semaphore> createSemaphore(std::ptrdiff_t initialCount);

    std::counting_semaphore<> m_count;
    Handle m_handle = NoHandle;
};

// A new semaphore with the given count (0: the first wait blocks until a release) under a fresh
// handle. Creation cannot fail.
std::shared_ptr<Semaphore> createSemaphore(std::ptrdiff_t initialCount = 0);

// The semaphore behind a handle while anyone still holds it; nullptr for 0, unknown handles and
// semaphores whose last owner has let go.
std::shared_ptr<Semaphore> findSemaphore(Handle handle);

} // namespace folvex
