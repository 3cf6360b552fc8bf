#pragma once
// The thread that makes every SANE call, one after the other, so that a call that blocks never holds
// up the GUI thread. A caller waits for a task with a time limit; a task that overruns it leaves the
// worker wedged: the caller abandons it and the thread is detached when the worker goes. Tasks hold
// what they touch through shared pointers, so a late finish touches nothing freed.

#include <chrono>
#include <functional>
#include <memory>

namespace folvex {

class SaneWorker
{
public:
    class Task;

    SaneWorker();
    ~SaneWorker();
    SaneWorker(const SaneWorker&) = delete;
    SaneWorker& operator=(const SaneWorker&) = delete;

    // Queues fn; tasks run in the order posted. Any thread.
    std::shared_ptr<Task> post(std::function<void()> fn);

    // Waits until the task has run; false when the time ran out first.
    bool waitFor(const std::shared_ptr<Task>& task, std::chrono::milliseconds timeout);

    // True once the task has run. Any thread.
    static bool isDone(const std::shared_ptr<Task>& task);

    // Runs fn and waits for it; false when the time ran out (the worker is then wedged).
    bool run(std::function<void()> fn, std::chrono::milliseconds timeout);

    // Marks the worker as stuck: its destructor detaches the thread instead of waiting for it.
    void abandon();

    bool abandoned() const { return m_abandoned; }

private:
    struct Shared;
    std::shared_ptr<Shared> m_shared;
    bool m_abandoned = false;
};

} // namespace folvex
