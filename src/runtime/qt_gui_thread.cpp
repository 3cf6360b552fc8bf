#include "runtime/qt_gui_thread.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

namespace folvex {

namespace {

class QtGuiThread final : public GuiThreadPort
{
public:
    bool onGuiThread() const override
    {
        const QCoreApplication* app = QCoreApplication::instance();
        return app != nullptr && QThread::currentThread() == app->thread();
    }

    void postToGuiThread(std::function<void()> task) override
    {
        QCoreApplication* app = QCoreApplication::instance();
        if (app == nullptr) {
            return;
        }
        QMetaObject::invokeMethod(app, std::move(task), Qt::QueuedConnection);
    }
};

} // namespace

GuiThreadPort& qtGuiThread()
{
    static QtGuiThread port;
    return port;
}

} // namespace folvex
