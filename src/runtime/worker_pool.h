#pragma once
// Worker threads for work done item by item (pages written, filtered, made into thumbnails). A
// WorkerPool owns its threads; an OrderedJobs queue on top hands jobs in in order and gives their
// results back in the same order on the thread that owns the queue, with a bound on the items between
// hand-in and take, so at most that many results (page images) are held at once. Qt-free.

#include "runtime/expected.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace folvex {

// The number of processor cores (at least 1).
unsigned defaultWorkerCount();

// A fixed number of threads running the tasks posted to it, oldest first. The destructor runs the
// tasks still queued, joins the threads and gives the memory their heaps keep free back to the system.
// post may be called from any thread.
class WorkerPool
{
public:
    explicit WorkerPool(unsigned workerCount = defaultWorkerCount());
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    unsigned workerCount() const { return static_cast<unsigned>(m_threads.size()); }

    // A task must not throw; OrderedJobs wraps its jobs so that none does.
    void post(std::function<void()> task);

private:
    void workLoop();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_tasks;
    bool m_stopping = false;
    std::vector<std::thread> m_threads;
};

// What one job gives: its value, or the failure of that item alone (the other items go on).
template <typename Result>
struct JobOutcome
{
    std::size_t index = 0; // the job's place in the order of hand-in, from 0
    Expected<Result> result;
};

// Jobs on a pool whose results are taken in the order the jobs were handed in, whatever order they
// finish in. At most maxInFlight jobs are between submit and take. A job returns its result or an
// Error; a job that throws fails with code -1 and the exception's text. Owned and used by one thread;
// the destructor waits for the jobs still running, as they may use the caller's data.
template <typename Result>
class OrderedJobs
{
public:
    OrderedJobs(WorkerPool& pool, std::size_t maxInFlight)
        : m_pool(pool)
        , m_maxInFlight(maxInFlight == 0 ? 1 : maxInFlight)
        , m_shared(std::make_shared<Shared>())
    {}

    ~OrderedJobs() { waitForRunningJobs(); }

    OrderedJobs(const OrderedJobs&) = delete;
    OrderedJobs& operator=(const OrderedJobs&) = delete;

    std::size_t maxInFlight() const { return m_maxInFlight; }

    std::size_t inFlight() const { return m_slots.size(); }

    bool full() const { return m_slots.size() >= m_maxInFlight; }

    bool empty() const { return m_slots.empty(); }

    // Hands a job in; false (and nothing done) while full, so the caller takes a result first.
    bool submit(std::function<Expected<Result>()> job)
    {
        if (full()) {
            return false;
        }
        auto slot = std::make_shared<Slot>();
        slot->index = m_submitted++;
        m_slots.push_back(slot);
        m_pool.post([shared = m_shared, slot, job = std::move(job)]() mutable {
            std::optional<Expected<Result>> outcome;
            try {
                outcome.emplace(job());
            } catch (const std::exception& e) {
                outcome.emplace(Error{-1, e.what()});
            } catch (...) {
                outcome.emplace(Error{-1, "unknown failure"});
            }
            {
                std::lock_guard lock(shared->mutex);
                slot->result = std::move(outcome);
            }
            shared->done.notify_all();
        });
        return true;
    }

    // Waits for the oldest job handed in and gives its outcome; nullopt when no job is in flight.
    std::optional<JobOutcome<Result>> take()
    {
        if (m_slots.empty()) {
            return std::nullopt;
        }
        std::shared_ptr<Slot> slot = std::move(m_slots.front());
        m_slots.pop_front();
        std::unique_lock lock(m_shared->mutex);
        m_shared->done.wait(lock, [&] { return slot->result.has_value(); });
        return JobOutcome<Result>{slot->index, std::move(*slot->result)};
    }

    // Waits for every job in flight and drops their results.
    void waitForRunningJobs()
    {
        while (take()) {
        }
    }

private:
    struct Slot
    {
        std::size_t index = 0;
        std::optional<Expected<Result>> result; // set by the worker under Shared::mutex
    };

    // Outlives this queue in the posted tasks.
    struct Shared
    {
        std::mutex mutex;
        std::condition_variable done;
    };

    WorkerPool& m_pool;
    std::size_t m_maxInFlight;
    std::shared_ptr<Shared> m_shared;
    std::deque<std::shared_ptr<Slot>> m_slots;
    std::size_t m_submitted = 0;
};

// Runs work(0) .. work(count - 1) on the pool with at most maxInFlight items between hand-in and take,
// and hands each outcome to consume in index order on the calling thread. When consume returns false,
// no further item is handed in; the items already running finish and their results are dropped.
// Returns the number of outcomes consumed.
template <typename Result>
std::size_t runInOrder(
    WorkerPool& pool,
    std::size_t count,
    std::size_t maxInFlight,
    const std::function<Expected<Result>(std::size_t)>& work,
    const std::function<bool(JobOutcome<Result>&&)>& consume)
{
    OrderedJobs<Result> jobs(pool, maxInFlight);
    std::size_t next = 0;
    std::size_t consumed = 0;
    while (next < count || !jobs.empty()) {
        while (next < count && !jobs.full()) {
            const std::size_t index = next++;
            jobs.submit([&work, index] { return work(index); });
        }
        std::optional<JobOutcome<Result>> outcome = jobs.take();
        ++consumed;
        if (!consume(std::move(*outcome))) {
            break;
        }
    }
    return consumed;
}

} // namespace folvex
