#include "runtime/worker_pool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace folvex {
namespace {

constexpr auto GateLimit = std::chrono::seconds(20);

// A value that depends on the item alone, costly enough to let the workers overlap.
std::string itemValue(std::size_t index)
{
    std::string value = "item " + std::to_string(index) + ":";
    std::uint32_t state = static_cast<std::uint32_t>(index) * 2654435761u + 1;
    for (int i = 0; i < 2000; ++i) {
        state = state * 1664525u + 1013904223u;
    }
    return value + std::to_string(state);
}

struct Consumed
{
    std::vector<std::size_t> indices;
    std::vector<std::string> values; // the value, or "error <code>: <message>"
};

Consumed runAll(
    unsigned workers,
    std::size_t count,
    std::size_t maxInFlight,
    const std::function<Expected<std::string>(std::size_t)>& work)
{
    WorkerPool pool(workers);
    Consumed consumed;
    runInOrder<std::string>(pool, count, maxInFlight, work, [&](JobOutcome<std::string>&& outcome) {
        consumed.indices.push_back(outcome.index);
        consumed.values.push_back(
            outcome.result ? outcome.result.value()
                           : "error " + std::to_string(outcome.result.error().code) + ": " +
                                 outcome.result.error().message);
        return true;
    });
    return consumed;
}

std::vector<std::size_t> firstIndices(std::size_t count)
{
    std::vector<std::size_t> indices(count);
    for (std::size_t i = 0; i < count; ++i) {
        indices[i] = i;
    }
    return indices;
}

TEST(WorkerPoolTest, ResultsComeInSubmissionOrderWhateverTheFinishingOrder)
{
    // The first eight items run together and finish in reverse order (each waits for the later ones);
    // the rest finish after random short delays.
    constexpr std::size_t Batch = 8;
    constexpr std::size_t Count = 40;
    std::mutex mutex;
    std::condition_variable finished;
    std::size_t batchDone = 0;
    std::vector<std::size_t> finishingOrder;
    bool gateTimedOut = false;

    const Consumed consumed = runAll(8, Count, Batch, [&](std::size_t index) -> Expected<std::string> {
        if (index < Batch) {
            std::unique_lock lock(mutex);
            if (!finished.wait_for(lock, GateLimit, [&] { return batchDone == Batch - 1 - index; })) {
                gateTimedOut = true;
            }
            ++batchDone;
            finishingOrder.push_back(index);
            finished.notify_all();
        } else {
            thread_local std::mt19937 random(static_cast<unsigned>(index));
            std::this_thread::sleep_for(std::chrono::microseconds(random() % 2000));
        }
        return itemValue(index);
    });

    EXPECT_FALSE(gateTimedOut);
    EXPECT_EQ(finishingOrder, (std::vector<std::size_t>{7, 6, 5, 4, 3, 2, 1, 0}));
    EXPECT_EQ(consumed.indices, firstIndices(Count));
    ASSERT_EQ(consumed.values.size(), Count);
    for (std::size_t i = 0; i < Count; ++i) {
        EXPECT_EQ(consumed.values[i], itemValue(i));
    }
}

TEST(WorkerPoolTest, NeverMoreThanTheBoundInFlight)
{
    for (const std::size_t bound : {std::size_t{1}, std::size_t{3}, std::size_t{8}}) {
        SCOPED_TRACE("bound " + std::to_string(bound));
        std::atomic<std::size_t> alive{0}; // started and not yet consumed
        std::atomic<std::size_t> most{0};
        WorkerPool pool(8);
        runInOrder<std::string>(
            pool,
            60,
            bound,
            [&](std::size_t index) -> Expected<std::string> {
                const std::size_t now = ++alive;
                std::size_t seen = most.load();
                while (now > seen && !most.compare_exchange_weak(seen, now)) {
                }
                return itemValue(index);
            },
            [&](JobOutcome<std::string>&&) {
                --alive;
                return true;
            });
        EXPECT_LE(most.load(), bound);
        EXPECT_GE(most.load(), 1u);
    }
}

TEST(WorkerPoolTest, SubmitRefusesWhileFullAndTakeIsEmptyWithoutJobs)
{
    WorkerPool pool(2);
    OrderedJobs<int> jobs(pool, 2);
    EXPECT_FALSE(jobs.take().has_value());
    EXPECT_TRUE(jobs.submit([] { return Expected<int>(1); }));
    EXPECT_TRUE(jobs.submit([] { return Expected<int>(2); }));
    EXPECT_TRUE(jobs.full());
    EXPECT_FALSE(jobs.submit([] { return Expected<int>(3); }));
    std::optional<JobOutcome<int>> first = jobs.take();
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(first->index, 0u);
    EXPECT_EQ(first->result.value(), 1);
    EXPECT_TRUE(jobs.submit([] { return Expected<int>(3); }));
    EXPECT_EQ(jobs.take()->result.value(), 2);
    const std::optional<JobOutcome<int>> third = jobs.take();
    EXPECT_EQ(third->index, 2u);
    EXPECT_EQ(third->result.value(), 3);
    EXPECT_TRUE(jobs.empty());
}

// Items 3 and 7 fail, one with an error, one by throwing.
Expected<std::string> failingWork(std::size_t index)
{
    if (index == 3) {
        return Error{5, "Seite 4 kann nicht gelesen werden"};
    }
    if (index == 7) {
        throw std::runtime_error("kein Speicher");
    }
    return itemValue(index);
}

TEST(WorkerPoolTest, OneWorkerGivesTheSameResultsAsEight)
{
    const Consumed one = runAll(1, 30, 4, failingWork);
    const Consumed eight = runAll(8, 30, 4, failingWork);
    EXPECT_EQ(one.indices, firstIndices(30));
    EXPECT_EQ(eight.indices, one.indices);
    EXPECT_EQ(eight.values, one.values);
}

TEST(WorkerPoolTest, AFailureIsReportedWithItsItemAndTheOthersGoOn)
{
    const Consumed consumed = runAll(4, 13, 3, failingWork);
    ASSERT_EQ(consumed.indices, firstIndices(13));
    EXPECT_EQ(consumed.values[3], "error 5: Seite 4 kann nicht gelesen werden");
    EXPECT_EQ(consumed.values[7], "error -1: kein Speicher");
    for (const std::size_t i : {0u, 2u, 4u, 6u, 8u, 12u}) {
        EXPECT_EQ(consumed.values[i], itemValue(i));
    }
}

TEST(WorkerPoolTest, StoppingHandsInNoFurtherItemAndWaitsForTheRunningOnes)
{
    constexpr std::size_t Bound = 4;
    std::atomic<std::size_t> started{0};
    std::atomic<std::size_t> running{0};
    WorkerPool pool(4);
    const std::size_t consumed = runInOrder<int>(
        pool,
        1000,
        Bound,
        [&](std::size_t index) -> Expected<int> {
            ++started;
            ++running;
            itemValue(index);
            --running;
            return static_cast<int>(index);
        },
        [&](JobOutcome<int>&& outcome) { return outcome.index < 5; });
    EXPECT_EQ(consumed, 6u);
    EXPECT_LE(started.load(), 6 + Bound - 1);
    EXPECT_EQ(running.load(), 0u);
}

} // namespace
} // namespace folvex
