#include "runtime/qt_gui_thread.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <atomic>
#include <thread>

namespace folvex {
namespace {

TEST(QtGuiThreadTest, ATaskPostedFromAWorkerRunsLaterOnTheGuiThread)
{
    GuiThreadPort& port = qtGuiThread();
    EXPECT_TRUE(port.onGuiThread());

    bool workerSawGuiThread = true;
    std::atomic<int> ranOnGuiThread{0};
    std::atomic<int> ranElsewhere{0};
    std::thread worker([&] {
        workerSawGuiThread = port.onGuiThread();
        port.postToGuiThread([&] {
            (QThread::currentThread() == QCoreApplication::instance()->thread() ? ranOnGuiThread
                                                                                : ranElsewhere)++;
        });
    });
    worker.join();
    EXPECT_FALSE(workerSawGuiThread);
    // Posting does not run the task; the GUI thread's event processing does.
    EXPECT_EQ(ranOnGuiThread + ranElsewhere, 0);

    QElapsedTimer timer;
    timer.start();
    while (ranOnGuiThread == 0 && timer.elapsed() < 10000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    EXPECT_EQ(ranOnGuiThread, 1);
    EXPECT_EQ(ranElsewhere, 0);
}

} // namespace
} // namespace folvex
