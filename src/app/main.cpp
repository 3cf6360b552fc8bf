// The program's entry: the heap set to keep page-sized blocks, the application object, the quit
// signals (SIGUSR1, SIGTERM) and the real effects, then the program's run; its result is the exit status.

#include "runtime/heap_tuning.h"
#include "runtime/qt_effects.h"
#include "runtime/window_messages.h"
#include "shell/program.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>

int main(int argc, char** argv)
{
    folvex::keepPageBlocksForReuse();
    // A quit signal during start-up waits until its handler is in place.
    folvex::blockQuitSignals();
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    // The standard dialogs (files, text input) speak German like the rest of the program, where the
    // system has Qt's German texts; without them they stay English and work the same.
    QTranslator qtTexts;
    if (qtTexts.load(QStringLiteral("qtbase_de"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QApplication::installTranslator(&qtTexts);
    }
    folvex::installQuitSignals();
    folvex::installRealEffects();
    return folvex::runProgram();
}
