#include "runtime/waiting_process_runner.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QObject>
#include <QThread>

#include <atomic>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

namespace folvex {

namespace {

bool onGuiThread()
{
    const QCoreApplication* application = QCoreApplication::instance();
    return application != nullptr && QThread::currentThread() == application->thread();
}

// Lines of the helper thread, waiting to be handed to the caller on the GUI thread.
class LineQueue
{
public:
    // True when the queue was empty, so one wake-up of the GUI thread covers the lines added until it
    // takes them.
    bool push(OutputStream stream, const std::string& line)
    {
        std::lock_guard lock(m_mutex);
        m_lines.emplace_back(stream, line);
        return m_lines.size() == 1;
    }

    void deliver(const OutputLineHandler& onLine)
    {
        std::deque<std::pair<OutputStream, std::string>> lines;
        {
            std::lock_guard lock(m_mutex);
            lines.swap(m_lines);
        }
        if (onLine) {
            for (const auto& [stream, line] : lines) {
                onLine(stream, line);
            }
        }
    }

private:
    std::mutex m_mutex;
    std::deque<std::pair<OutputStream, std::string>> m_lines;
};

} // namespace

ProcessResult WaitingProcessRunner::run(const ProcessRequest& request)
{
    if (!onGuiThread()) {
        return m_runner.run(request);
    }
    // Posted calls to this object wake the GUI thread's event processing; those still pending when it
    // goes are dropped with it.
    QObject wakeTarget;
    const auto wake = [&wakeTarget] {
        QMetaObject::invokeMethod(
            &wakeTarget, [] {}, Qt::QueuedConnection);
    };
    LineQueue lines;
    std::atomic<bool> finished{false};
    ProcessResult result;

    ProcessRequest helperRequest = request;
    helperRequest.onLine = [&](OutputStream stream, const std::string& line) {
        if (lines.push(stream, line)) {
            wake();
        }
    };
    std::thread helper([&] {
        result = m_runner.run(helperRequest);
        finished = true;
        wake();
    });
    while (!finished) {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        lines.deliver(request.onLine);
    }
    helper.join();
    lines.deliver(request.onLine);
    return result;
}

bool WaitingProcessRunner::startDetached(const std::vector<std::string>& argv, const std::string& workingDir)
{
    return m_runner.startDetached(argv, workingDir);
}

bool WaitingProcessRunner::openWithDefaultViewer(const std::string& path)
{
    return m_runner.openWithDefaultViewer(path);
}

} // namespace folvex
