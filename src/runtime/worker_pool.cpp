#include "runtime/worker_pool.h"

#include "runtime/heap_tuning.h"

namespace folvex {

unsigned defaultWorkerCount()
{
    const unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : cores;
}

WorkerPool::WorkerPool(unsigned workerCount)
{
    const unsigned count = workerCount == 0 ? 1 : workerCount;
    m_threads.reserve(count);
    for (unsigned i = 0; i < count; ++i) {
        m_threads.emplace_back([this] { workLoop(); });
    }
}

WorkerPool::~WorkerPool()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    for (std::thread& thread : m_threads) {
        thread.join();
    }
    // The threads' heaps kept the memory of the pages they freed for their next page; none comes.
    releaseFreeHeapMemory();
}

void WorkerPool::post(std::function<void()> task)
{
    {
        std::lock_guard lock(m_mutex);
        m_tasks.push_back(std::move(task));
    }
    m_wake.notify_one();
}

void WorkerPool::workLoop()
{
    while (true) {
        std::function<void()> task;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [&] { return m_stopping || !m_tasks.empty(); });
            if (m_tasks.empty()) {
                return;
            }
            task = std::move(m_tasks.front());
            m_tasks.pop_front();
        }
        task();
    }
}

} // namespace folvex
