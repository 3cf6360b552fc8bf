#pragma once
// Steps of a test that drives a running loop: an action run once a condition holds. GUI thread.

#include <QObject>
#include <QTimer>

#include <functional>
#include <utility>

namespace folvex::testing {

// Runs action once pred holds, testing at every pass of the Qt event processing the loops' waits do.
inline void whenTrue(std::function<bool()> pred, std::function<void()> action)
{
    auto* timer = new QTimer;
    timer->setInterval(0);
    QObject::connect(timer, &QTimer::timeout, [timer, pred = std::move(pred), action = std::move(action)] {
        if (pred()) {
            timer->stop();
            timer->deleteLater();
            action();
        }
    });
    timer->start();
}

} // namespace folvex::testing
