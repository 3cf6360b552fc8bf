#include "runtime/window_messages.h"

#include "runtime/object_registry.h"
#include "runtime/window_events.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>
#include <QWidget>

#include <csignal>
#include <thread>
#include <vector>

namespace folvex {
namespace {

struct Received
{
    std::uint32_t message;
    std::intptr_t wParam;
    std::intptr_t lParam;
    bool onGuiThread;

    bool operator==(const Received&) const = default;
};

WindowCallback recordingCallback(std::vector<Received>& received)
{
    return [&received](
               Handle, std::uint32_t message, std::intptr_t wParam, std::intptr_t lParam) -> MessageResult {
        received.push_back(
            {message, wParam, lParam, QThread::currentThread() == QCoreApplication::instance()->thread()});
        if (message == AppMessage) {
            return wParam + lParam;
        }
        return DefaultProcessing;
    };
}

TEST(WindowMessagesTest, AThreadsSendGetsTheCallbacksResultFromTheGuiThread)
{
    QWidget window;
    const Handle handle = registerObject(&window, ObjectKind::Window);
    std::vector<Received> received;
    SetWindowCallback(handle, recordingCallback(received));

    std::intptr_t appResult = -1;
    std::intptr_t defaultResult = -1;
    std::intptr_t otherWindowResult = -1;
    std::thread sender([&] {
        appResult = SendWindowMessage(handle, AppMessage, 40, 2);
        defaultResult = SendWindowMessage(handle, AppQuitMessage, 1, 1);
        otherWindowResult = SendWindowMessage(handle + 100000, AppMessage, 1, 1);
        PostCustomEvent(handle, 1);
    });
    ASSERT_EQ(WaitWindowEvent(10000), static_cast<int>(EventKind::Custom));
    sender.join();

    EXPECT_EQ(appResult, 42);
    EXPECT_EQ(defaultResult, 0);
    EXPECT_EQ(otherWindowResult, 0);
    EXPECT_EQ(received, (std::vector<Received>{{AppMessage, 40, 2, true}, {AppQuitMessage, 1, 1, true}}));
    SetWindowCallback(handle, {});
}

TEST(WindowMessagesTest, ACallbackDiesWithItsWindow)
{
    std::vector<Received> received;
    Handle handle = NoHandle;
    {
        QWidget window;
        handle = registerObject(&window, ObjectKind::Window);
        SetWindowCallback(handle, recordingCallback(received));
        EXPECT_EQ(SendWindowMessage(handle, AppMessage, 1, 2), 3);
    }
    EXPECT_EQ(SendWindowMessage(handle, AppMessage, 1, 2), 0);
    EXPECT_EQ(received.size(), 1u);
}

// Waits (bounded) until the self-pipe has been read.
bool waitForHeldSignals(int expected)
{
    for (int i = 0; i < 1000 && heldQuitSignals() != expected; ++i) {
        Delay(5);
    }
    return heldQuitSignals() == expected;
}

TEST(WindowMessagesTest, QuitSignalsArriveAtTheMainWindowAndAreHeldUntilItsCallbackExists)
{
    installQuitSignals();
    for (const int signalNumber : {SIGUSR1, SIGTERM}) {
        SCOPED_TRACE(signalNumber);
        QWidget window;
        const Handle handle = registerObject(&window, ObjectKind::Window);
        setMainWindowHandle(handle);
        std::vector<Received> received;

        ASSERT_EQ(::kill(::getpid(), signalNumber), 0);
        ASSERT_TRUE(waitForHeldSignals(1));
        EXPECT_TRUE(received.empty());

        SetWindowCallback(handle, recordingCallback(received));
        EXPECT_EQ(heldQuitSignals(), 0);
        ASSERT_EQ(received, (std::vector<Received>{{AppQuitMessage, 0, 0, true}}));

        // With the callback in place a signal goes straight through.
        ASSERT_EQ(::kill(::getpid(), signalNumber), 0);
        for (int i = 0; i < 1000 && received.size() < 2; ++i) {
            Delay(5);
        }
        EXPECT_EQ(received.size(), 2u);
        SetWindowCallback(handle, {});
        setMainWindowHandle(NoHandle);
    }
}

} // namespace
} // namespace folvex
