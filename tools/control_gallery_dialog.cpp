#include "control_gallery_dialog.h"

#include "foundation/control_creation.h"
#include "foundation/list_view.h"
#include "runtime/controls.h"

#include <string>

namespace folvex {

GalleryDialog openGalleryDialog(Handle owner)
{
    GalleryDialog d;
    DialogWindowOptions options;
    options.owner = owner;
    d.window = openDialogWindow("Steuerelemente", GalleryClientWidthPx, GalleryClientHeightPx, options);

    create("TEXT", d.window, "Ziel:", 10, 13, 65, 20, 0);
    d.combo = create("COMBOBOX", d.window, "PDF|PDF+OCR|JPG|mehrseitiges TIF", 80, 10, 140, 23, 0);
    create("TEXT", d.window, "Qualität:", 10, 43, 65, 20, 0);
    d.spin = create("SPIN", d.window, "", 80, 40, 60, 22, 0);
    SpinSetRange(d.spin, 1, 100);
    SpinSetValue(d.spin, 75);
    d.check = create("CHECKBOX", d.window, "leere Seiten entfernen", 10, 70, 210, 20, 0);
    d.toggle = create("TOGGLE", d.window, "Trennen", 230, 10, 130, 23, 0);
    SetToggleColours(d.toggle, 0x00D5EFFF, 0x000000FF);
    d.edit = create("EDIT", d.window, "Seite 1", 10, 98, 210, 22, 0);

    d.list = create("LISTVIEW", d.window, "", 10, 128, 210, 120, 0);
    LVAddColumn(d.list, "Name", 90, 0, 0, 0, 2000);
    LVAddColumn(d.list, "Pfad", 110, 0, 0, 0, 2000);
    LVAddRow(d.list, "Pinta|/usr/bin/pinta");
    LVAddRow(d.list, "GIMP|/usr/bin/gimp");

    d.scrollArea = create("SCROLLAREA", d.window, "", 230, 40, 130, 208, 0);
    const Handle panel = ScrollAreaPanel(d.scrollArea);
    SetScrollAreaPanelSize(d.scrollArea, 110, 420);
    SetScrollAreaStep(d.scrollArea, 10);
    for (int i = 0; i < 10; ++i) {
        create("TEXT", panel, "Seite " + std::to_string(i + 1), 5, 5 + 40 * i, 100, 20, 0);
    }

    d.okButton = create("DEFBUTTON", d.window, "Ok", 155, 260, 100, 30, 0);
    d.cancelButton = create("BUTTON", d.window, "Abbruch", 260, 260, 100, 30, 0);
    return d;
}

} // namespace folvex
