#include "runtime/waiting_process_runner.h"

#include "runtime/window_events.h"

#include <gtest/gtest.h>

#include <QPaintEvent>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace folvex {
namespace {

// A shown window repainted by a timer every 20 ms; counts the paints that reach it.
class RepaintCounter : public QWidget
{
public:
    RepaintCounter()
    {
        resize(200, 100);
        show();
        connect(&m_timer, &QTimer::timeout, this, [this] { update(); });
        m_timer.start(20);
    }

    int paints = 0;

protected:
    void paintEvent(QPaintEvent*) override { ++paints; }

private:
    QTimer m_timer;
};

struct TaggedLine
{
    OutputStream stream;
    std::string text;
    bool onCallingThread;

    bool operator==(const TaggedLine&) const = default;
};

TEST(WaitingProcessRunnerTest, TheGuiThreadKeepsPaintingWhileASilentProgramRuns)
{
    RepaintCounter window;
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    DrainWindowEvents();
    // A click that arrives while the program runs stays queued for the caller.
    QTimer::singleShot(300, [] { postControlEvent(1, 2, 0); });

    std::vector<TaggedLine> lines;
    WaitingProcessRunner runner;
    const int paintsBefore = window.paints;
    const ProcessResult result = runner.run(
        {{"sh", "-c", "sleep 2; echo fertig; echo Warnung >&2; exit 4"},
         {},
         {},
         [&](OutputStream stream, const std::string& line) {
             lines.push_back({stream, line, QThread::currentThread() == window.thread()});
         }});

    ASSERT_TRUE(result.started) << result.error;
    EXPECT_EQ(result.exitCode, 4);
    EXPECT_GE(window.paints - paintsBefore, 10);
    std::vector<TaggedLine> errors;
    std::vector<TaggedLine> output;
    for (const TaggedLine& line : lines) {
        (line.stream == OutputStream::StandardError ? errors : output).push_back(line);
    }
    EXPECT_EQ(output, (std::vector<TaggedLine>{{OutputStream::StandardOutput, "fertig", true}}));
    EXPECT_EQ(errors, (std::vector<TaggedLine>{{OutputStream::StandardError, "Warnung", true}}));
    EXPECT_EQ(queuedWindowEvents(), 1);
    DrainWindowEvents();
}

TEST(WaitingProcessRunnerTest, OffTheGuiThreadARunBlocksThatThreadAndGivesTheSameResult)
{
    WaitingProcessRunner runner;
    ProcessResult result;
    std::vector<std::pair<OutputStream, std::string>> lines;
    bool linesOnWorker = true;
    std::thread worker([&] {
        const std::thread::id self = std::this_thread::get_id();
        result = runner.run(
            {{"sh", "-c", "echo eins; echo zwei >&2; kill -KILL $$"},
             {},
             {},
             [&](OutputStream stream, const std::string& line) {
                 linesOnWorker = linesOnWorker && std::this_thread::get_id() == self;
                 lines.emplace_back(stream, line);
             }});
    });
    worker.join();
    ASSERT_TRUE(result.started) << result.error;
    EXPECT_EQ(result.exitCode, 128 + 9);
    EXPECT_TRUE(linesOnWorker);
    EXPECT_EQ(lines.size(), 2u);
}

TEST(WaitingProcessRunnerTest, AProgramThatCannotStartFailsOnTheGuiThreadToo)
{
    WaitingProcessRunner runner;
    const ProcessResult result = runner.run({{"folvex-no-such-program-xyz"}, {}, {}, {}});
    EXPECT_FALSE(result.started);
    EXPECT_FALSE(result.error.empty());
}

} // namespace
} // namespace folvex
