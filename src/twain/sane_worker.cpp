#include "twain/sane_worker.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace folvex {

class SaneWorker::Task
{
public:
    std::function<void()> fn;
    std::atomic<bool> done{false};
};

struct SaneWorker::Shared
{
    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable finished;
    std::deque<std::shared_ptr<Task>> queue;
    bool stop = false;
    bool exited = false;
    std::thread thread;
};

SaneWorker::SaneWorker()
    : m_shared(std::make_shared<Shared>())
{
    std::shared_ptr<Shared> shared = m_shared;
    m_shared->thread = std::thread([shared] {
        while (true) {
            std::shared_ptr<Task> task;
            {
                std::unique_lock lock(shared->mutex);
                shared->wake.wait(lock, [&] { return shared->stop || !shared->queue.empty(); });
                if (shared->queue.empty()) {
                    shared->exited = true;
                    shared->finished.notify_all();
                    return;
                }
                task = shared->queue.front();
                shared->queue.pop_front();
            }
            try {
                task->fn();
            } catch (...) {
                // A task reports through its own result; an exception must not end the thread.
            }
            std::lock_guard lock(shared->mutex);
            task->fn = nullptr;
            task->done = true;
            shared->finished.notify_all();
        }
    });
}

SaneWorker::~SaneWorker()
{
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->stop = true;
    }
    m_shared->wake.notify_all();
    // A worker still busy with a call (a search nobody waits for, a device that hangs) is given a
    // short time to finish and is otherwise left running on its own.
    constexpr std::chrono::seconds ExitWait{5};
    bool exited = false;
    if (!m_abandoned) {
        std::unique_lock lock(m_shared->mutex);
        exited = m_shared->finished.wait_for(lock, ExitWait, [&] { return m_shared->exited; });
    }
    if (exited) {
        m_shared->thread.join();
    } else {
        m_shared->thread.detach();
    }
}

std::shared_ptr<SaneWorker::Task> SaneWorker::post(std::function<void()> fn)
{
    auto task = std::make_shared<Task>();
    task->fn = std::move(fn);
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->queue.push_back(task);
    }
    m_shared->wake.notify_all();
    return task;
}

bool SaneWorker::waitFor(const std::shared_ptr<Task>& task, std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_shared->mutex);
    return m_shared->finished.wait_for(lock, timeout, [&] { return task->done.load(); });
}

bool SaneWorker::isDone(const std::shared_ptr<Task>& task)
{
    return task->done.load();
}

bool SaneWorker::run(std::function<void()> fn, std::chrono::milliseconds timeout)
{
    return waitFor(post(std::move(fn)), timeout);
}

void SaneWorker::abandon()
{
    m_abandoned = true;
}

} // namespace folvex
