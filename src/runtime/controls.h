#pragma once
// The controls' side of the event queue and their state by handle: every control posts a control
// event when the user acts on it, a control can ask for button-up events, and combo boxes, spin boxes,
// check boxes, toggles, picture buttons and scroll areas are read and set here. Setting a state posts
// no event. GUI thread.

#include "runtime/handles.h"

#include <QPushButton>
#include <QScrollArea>

#include <cstdint>
#include <string>

namespace folvex {

// Connects a control to the event queue: push, default and picture buttons (Clicked), check boxes
// and toggles (Clicked on every change of state), radio buttons (Clicked when they become checked),
// text fields (ReturnPressed), list views and list boxes (SelectionChanged, DoubleClicked), combo
// boxes and spin boxes (Changed). The event names the control's top-level window (EventWindow) and
// the control (EventControl); control is its registered handle. Other widgets post nothing.
void attachControlEvents(QWidget* widget, Handle control);

// Button-up events for a control or area: a left or right release over it posts LeftButtonUp or
// RightButtonUp with the position in its own coordinates; with wakeOnLeftPress, a left press in it
// posts a custom event for its window, so a waiting loop sees the button go down. False when control
// is no widget. Asking again replaces wakeOnLeftPress.
bool RequestButtonUpEvents(Handle control, bool wakeOnLeftPress);

// Combo boxes ("COMBOBOX"). Indexes count from 0; −1 is no item.
int ComboAddItem(Handle combo, const std::string& text); // index of the new item; −1 for no combo box
bool ComboRemoveItem(Handle combo, int index);
void ComboClear(Handle combo);
int ComboItemCount(Handle combo);
std::string ComboItemText(Handle combo, int index); // empty for an index out of range
int ComboIndex(Handle combo);
std::string ComboText(Handle combo); // the current item's text
// Makes the first item whose text is exactly text current; false (and the current item unchanged)
// when there is none.
bool ComboSelectText(Handle combo, const std::string& text);
bool ComboSelectIndex(Handle combo, int index); // false for an index out of range

// Spin boxes ("SPIN"): a whole number in a range, changed by typing or by the arrows.
bool SpinSetRange(Handle spin, int minimum, int maximum); // the value is moved into the range
bool SpinSetValue(Handle spin, int value);                // clamped to the range
int SpinValue(Handle spin);                               // 0 for no spin box

// Check boxes, radio buttons and toggles: 1 ticked (pressed), 0 not, −1 for no such control.
int GetCheckState(Handle button);
bool SetCheckState(Handle button, int state);

// The face colours (0x00BBGGRR) of a toggle ("TOGGLE") released and pressed.
bool SetToggleColours(Handle toggle, std::uint32_t released, std::uint32_t pressed);

// Replaces the picture of a picture button ("PICBUTTON", "DEFPICBUTTON") with a bitmap handle's
// image (0 or no bitmap: no picture). False when button is no push button.
bool SetButtonImage(Handle button, Handle image);

// Scroll areas ("SCROLLAREA"): a view on an inner panel that may be larger than the view; the panel
// is the parent of the area's controls and scrolls with the wheel and the scroll bars.
Handle ScrollAreaPanel(Handle area); // the panel's handle; 0 for no scroll area
bool SetScrollAreaPanelSize(Handle area, int width, int height);
bool SetScrollAreaStep(Handle area, int stepPx); // pixels per wheel notch and arrow click

// Shows a registered popup menu (a QMenu) at the pointer and waits for the user, or asks
// effects().popupMenus when a test installed one. A chosen item posts a Menu event for window with
// the item's id (its action's data); no choice posts nothing. Returns the id, 0 for no choice or no
// menu.
int DisplayPopupMenu(Handle menu, Handle window);

// A push button that stays pressed until pressed again, painted in one colour per state.
class ToggleButton final : public QPushButton
{
    Q_OBJECT

public:
    ToggleButton(const QString& text, QWidget* parent);

    void setFaceColours(std::uint32_t released, std::uint32_t pressed);

    std::uint32_t faceColour(bool pressed) const { return pressed ? m_pressed : m_released; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::uint32_t m_released = 0x00F0F0F0;
    std::uint32_t m_pressed = 0x00C8C8C8;
};

// A scroll area with its inner panel, registered as a control of its own.
class ControlScrollArea final : public QScrollArea
{
    Q_OBJECT

public:
    explicit ControlScrollArea(QWidget* parent);

    QWidget* panel() const { return m_panel; }

private:
    QWidget* m_panel;
};

// Makes the widgets of the keywords "COMBOBOX", "SPIN", "TOGGLE" and "SCROLLAREA" (unregistered).
QWidget* makeComboBox(QWidget* parent, const std::string& items);
QWidget* makeSpinBox(QWidget* parent);
QWidget* makeToggleButton(QWidget* parent, const std::string& text);
QWidget* makeScrollArea(QWidget* parent, std::uint32_t panelColour);

} // namespace folvex
