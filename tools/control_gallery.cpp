// control_gallery: opens a main window and over it the dialog of the window layer's dialog pieces
// (owned dialog window, combo box, spin box, check box, toggle, text field, buttons, list view,
// scroll area) and waits on the program's event queue; every event is printed to stderr. A right
// click on the scroll area's panel opens a popup menu. The close box of either window ends it.

#include "control_gallery_dialog.h"
#include "foundation/control_creation.h"
#include "runtime/controls.h"
#include "runtime/object_registry.h"
#include "runtime/window_events.h"
#include "runtime/window_messages.h"

#include <QApplication>
#include <QMenu>

#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    folvex::startFoundationLibrary();
    const folvex::Handle main = folvex::create("WINDOW", folvex::NoHandle, "Folvex", 100, 100, 600, 420, 0);
    folvex::setMainWindowHandle(main);
    const folvex::GalleryDialog dialog = folvex::openGalleryDialog(main);
    auto* popup = new QMenu(folvex::findWidget(main));
    popup->addAction(QStringLiteral("nicht löschen"))->setData(1025);
    popup->addAction(QStringLiteral("nicht leer"))->setData(1027);
    popup->addSeparator();
    popup->addAction(QStringLiteral("groß anzeigen"))->setData(1030);
    const folvex::Handle menu = folvex::registerObject(popup, folvex::ObjectKind::Menu);
    const folvex::Handle panel = folvex::ScrollAreaPanel(dialog.scrollArea);
    folvex::RequestButtonUpEvents(panel, false);
    while (true) {
        const int kind = folvex::WaitWindowEvent(-1);
        std::fprintf(
            stderr,
            "event %d window %ld control %ld type %d menu %d at %d,%d\n",
            kind,
            static_cast<long>(folvex::EventWindow()),
            static_cast<long>(folvex::EventControl()),
            folvex::EventType(),
            folvex::EventMenu(),
            folvex::EventX(),
            folvex::EventY());
        if (kind == static_cast<int>(folvex::EventKind::CloseWindow)) {
            break;
        }
        if (kind == static_cast<int>(folvex::EventKind::RightButtonUp) && folvex::EventControl() == panel) {
            folvex::DisplayPopupMenu(menu, dialog.window);
        }
    }
    folvex::closeDialogWindow(dialog.window);
    delete folvex::findWidget(main);
    return 0;
}
