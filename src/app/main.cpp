// The program's entry: the heap set to keep page-sized blocks, the application object, the quit
// signals (SIGUSR1, SIGTERM) and the real effects, then the program's run; its result is the exit status.

#include "runtime/heap_tuning.h"
#include "runtime/qt_effects.h"
#include "runtime/window_messages.h"
#include "shell/program.h"

#include <QApplication>

int main(int argc, char** argv)
{
    folvex::keepPageBlocksForReuse();
    // A quit signal during start-up waits until its handler is in place.
    folvex::blockQuitSignals();
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    folvex::installQuitSignals();
    folvex::installRealEffects();
    return folvex::runProgram();
}
