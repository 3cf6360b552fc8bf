#include "runtime/semaphore.h"

#include <map>
#include <mutex>

namespace folvex {
namespace {

struct SemaphoreRegistry
{
    std::mutex mutex;
    std::map<Handle, std::weak_ptr<Semaphore>> entries;
};

// Never destroyed: a detached thread may still look a semaphore up while the process exits.
SemaphoreRegistry& registry()
{
    static auto* instance = new SemaphoreRegistry;
    return *instance;
}

} // namespace

Semaphore::Semaphore(std::ptrdiff_t initialCount)
    : m_count(initialCount)
{}

void Semaphore::release()
{
    m_count.release();
}

bool Semaphore::acquireFor(std::chrono::milliseconds timeout)
{
    return m_count.try_acquire_for(timeout);
}

std::shared_ptr<Semaphore> createSemaphore(std::ptrdiff_t initialCount)
{
    auto semaphore = std::make_shared<Semaphore>(initialCount);
    semaphore->m_handle = allocateHandle();
    SemaphoreRegistry& reg = registry();
    const std::lock_guard lock(reg.mutex);
    std::erase_if(reg.entries, [](const auto& entry) { return entry.second.expired(); });
    reg.entries.emplace(semaphore->m_handle, semaphore);
    return semaphore;
}

std::shared_ptr<Semaphore> findSemaphore(Handle handle)
{
    SemaphoreRegistry& reg = registry();
    const std::lock_guard lock(reg.mutex);
    const auto found = reg.entries.find(handle);
    return found == reg.entries.end() ? nullptr : found->second.lock();
}

} // namespace folvex
