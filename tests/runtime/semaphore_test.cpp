#include "runtime/semaphore.h"

#include <gtest/gtest.h>

#include <thread>

namespace folvex {
namespace {

using namespace std::chrono_literals;

TEST(SemaphoreTest, WaitEndsByTimeOutOrByARelease)
{
    const std::shared_ptr<Semaphore> semaphore = createSemaphore();
    EXPECT_FALSE(semaphore->acquireFor(20ms)) << "a count of 0 must make the wait time out";

    std::thread releaser([semaphore] { semaphore->release(); });
    EXPECT_TRUE(semaphore->acquireFor(10s));
    releaser.join();

    const std::shared_ptr<Semaphore> open = createSemaphore(1);
    EXPECT_TRUE(open->acquireFor(0ms));
    EXPECT_FALSE(open->acquireFor(0ms));
}

TEST(SemaphoreTest, HandleNamesTheSemaphoreWhileAnyOwnerHoldsIt)
{
    std::shared_ptr<Semaphore> creator = createSemaphore();
    const Handle handle = creator->handle();
    ASSERT_NE(handle, NoHandle);
    EXPECT_NE(createSemaphore()->handle(), handle);
    EXPECT_EQ(findSemaphore(handle), creator);

    // A waiter's hold keeps it alive after the creator let go.
    std::shared_ptr<Semaphore> waiter = findSemaphore(handle);
    creator.reset();
    EXPECT_EQ(findSemaphore(handle), waiter);
    waiter.reset();
    EXPECT_EQ(findSemaphore(handle), nullptr);

    EXPECT_EQ(findSemaphore(NoHandle), nullptr);
    EXPECT_EQ(findSemaphore(handle + 1000000), nullptr);
}

} // namespace
} // namespace folvex
