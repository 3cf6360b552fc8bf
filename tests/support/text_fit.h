#pragma once
// Finds the texts a window cuts: every label, button, check box, combo box item and group title below
// a widget measured in the font it is drawn in against the room its control gives it. Window tests.

#include <string>
#include <vector>

class QWidget;

namespace folvex::testing {

// One line per control whose text does not fit: its class, its text, the room it needs and has.
// Hidden controls and editable text (fields, lists) are left out; word-wrapped labels are measured by
// the height their lines take at the label's width.
std::vector<std::string> cutTexts(const QWidget& root);

} // namespace folvex::testing
