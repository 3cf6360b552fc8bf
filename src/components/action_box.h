#pragma once
// The program's own message and question box: the caller fills an ActionBoxParams record, ActionBox
// shows the box, runs its own loop and returns the chosen button. The record, its reset and the
// answerer seam need no Qt; ActionBox, ABTextWidth and ABTextHeight live in the window library.
// GUI thread only.

#include "runtime/handles.h"

#include <cstdint>
#include <string>

namespace folvex {

// Runs the help button's procedure with HelpArgument; the box stays open meanwhile.
using ActionBoxHelpProc = void (*)(std::int32_t);

// Reset it with ResetActionBoxParams before every use: ActionBox writes the defaults it applies
// back into the record. Colours are 0x00BBGGRR; "integer" fields are pointer-sized.
struct ActionBoxParams
{
    std::string Title{};           // empty: "Hinweis", with Icon 2 "Frage", 3 "Achtung", 4 "Fehler"
    std::string Text{};            // "\t", "\q" and "\n" are escapes; empty: TextAddress is read
    std::intptr_t TextAddress{};   // address of a zero-ended UTF-8 text, or 0
    std::intptr_t reserved1{};     // read by nothing
    std::intptr_t TextWidth{};     // width of the text area in pixels; 0: 400
    std::intptr_t MaxTextHeight{}; // height above which the text scrolls; 0: 500
    std::intptr_t TextColour{};    // 0: black
    std::intptr_t AreaColour{};    // 0: white
    std::intptr_t ButtonCount{};   // 0: one button "Ok"
    std::string Buttons{};         // labels separated by "|"; "&" marks the accelerator, "&&" is an ampersand
    std::intptr_t DefaultButton{}; // 1-based focused button; 0 or above ButtonCount: 1
    std::intptr_t ButtonWidth{};   // 0: 100 when ButtonCount was given, else 75
    std::intptr_t ButtonHeight{};  // 0: 25
    std::uint16_t ScrollMask{};    // bit i-1: button i waits until a scrolling text was read to its end
    std::intptr_t Icon{};  // 1 information, 2 question, 3 warning, 4 error, 5 shield, 6 program; < 0 none
    std::intptr_t Sound{}; // 1 the icon's, 11..15 system sounds, >= 16 address of a file name; else silent
    Handle TextFont{};     // 0: the box's own font
    std::intptr_t reserved2{};    // read by nothing
    std::intptr_t HelpButton{};   // non-zero: one more button, "Hilfe" unless labelled; it never ends the box
    ActionBoxHelpProc HelpProc{}; // run by the help button, or none
    std::intptr_t reserved3{};    // read by nothing
    std::int32_t HelpArgument{};  // passed to HelpProc
    std::string WaitText{};       // non-empty: a wait window shows it while the box lays out its text
    Handle AreaBrush{};           // paints the text area instead of AreaColour
    Handle AreaPen{};             // outline of the text area, used only with AreaBrush
    std::string Tooltips{};       // tooltip texts separated by "|", field i for button i
    std::intptr_t StripColour{};  // colour of the button strip; 0: the button-face colour
};

// Sets every text field to the empty text and every other field to 0. Returns 0.
int ResetActionBoxParams(ActionBoxParams& params);

// Shows the box and returns the 1-based number of the chosen button, or 0 for Esc and the close box;
// the help button never ends it. Writes the defaults it applies, and a cleared ScrollMask once the
// text was read to its end, back into params. With an answerer installed it shows no window.
std::intptr_t ActionBox(ActionBoxParams& params);

// Width and height in pixels of text in the open box's text font (hwnd 0) or in the font of the
// window with that handle; 0 when there is nothing to measure with.
int ABTextWidth(const std::string& text, Handle hwnd);

int ABTextHeight(const std::string& text, Handle hwnd);

// Stands in for the window: with one installed, ActionBox applies and writes back the defaults, then
// returns what the answerer returns. Tests and scripted runs install one.
class ActionBoxAnswerer
{
public:
    virtual ~ActionBoxAnswerer() = default;

    // params holds the defaults already; the result is returned by ActionBox unchanged.
    virtual std::intptr_t answerActionBox(const ActionBoxParams& params) = 0;
};

// Installs an answerer (nullptr: the real box) and returns the previous one.
ActionBoxAnswerer* setActionBoxAnswerer(ActionBoxAnswerer* answerer);

ActionBoxAnswerer* actionBoxAnswerer();

} // namespace folvex
