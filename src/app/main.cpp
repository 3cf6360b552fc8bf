// The program's entry: starts the runtime and the foundation, opens the main window and waits until
// it is asked to close or a quit request arrives (SIGUSR1, SIGTERM), then shuts down with status 0.

#include "foundation/control_creation.h"
#include "runtime/object_registry.h"
#include "runtime/qt_effects.h"
#include "runtime/window_events.h"
#include "runtime/window_geometry.h"
#include "runtime/window_messages.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>

#include <memory>

namespace folvex {
namespace {

constexpr const char* MainWindowTitle = "Folvex V4.23a 64bit (build 176)";
constexpr int MainClientWidthPx = 580;
constexpr int MainClientHeightPx = 214;

// The outer rectangle of a window whose client area is centred on the primary screen.
WindowRect centredOuterRect(std::uint32_t style, int clientWidth, int clientHeight)
{
    QRect screen(0, 0, 1024, 768);
    if (const QScreen* primary = QGuiApplication::primaryScreen()) {
        screen = primary->availableGeometry();
    }
    const WindowRect client{
        screen.x() + (screen.width() - clientWidth) / 2,
        screen.y() + (screen.height() - clientHeight) / 2,
        clientWidth,
        clientHeight};
    return outerFromClient(client, frameForStyle(style, false));
}

int runProgram()
{
    startFoundationLibrary();
    const WindowRect outer =
        centredOuterRect(foundationLibrary().WindowStyle, MainClientWidthPx, MainClientHeightPx);
    const Handle mainWindow =
        create("WINDOW", NoHandle, MainWindowTitle, outer.x, outer.y, outer.width, outer.height, 0);
    const std::unique_ptr<QWidget> mainWidget(findWidget(mainWindow));
    if (!mainWidget) {
        LibraryShutdown();
        return 1;
    }

    bool quitRequested = false;
    setMainWindowHandle(mainWindow);
    SetWindowCallback(
        mainWindow,
        [&quitRequested](
            Handle window, std::uint32_t message, std::intptr_t, std::intptr_t) -> MessageResult {
            if (message == AppQuitMessage) {
                quitRequested = true;
                PostCustomEvent(window); // wakes the waiting loop
                return 0;
            }
            return DefaultProcessing;
        });

    while (!quitRequested) {
        const int event = WaitWindowEvent();
        if (event == static_cast<int>(EventKind::CloseWindow) && EventWindow() == mainWindow) {
            break;
        }
    }

    SetWindowCallback(mainWindow, {});
    LibraryShutdown();
    return 0;
}

} // namespace
} // namespace folvex

int main(int argc, char** argv)
{
    // A quit signal during start-up waits until its handler is in place.
    folvex::blockQuitSignals();
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    folvex::installQuitSignals();
    folvex::installRealEffects();
    return folvex::runProgram();
}
