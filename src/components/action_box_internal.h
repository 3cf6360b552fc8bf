#pragma once
// The message box's arithmetic without a window: defaults, the icon and sound tables, text
// preparation, word wrap, the box geometry and accelerator codes, with an injected text measurer.
// The window part and the tests use it; other folders use action_box.h. GUI thread only.

#include "components/action_box.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class QWidget;

namespace folvex {

inline constexpr int ActionBoxMarginPx = 10;
inline constexpr int ActionBoxIconColumnPx = 50;
inline constexpr int ActionBoxNoIconExtraPx = 50;
inline constexpr int ActionBoxScrollBarWidthPx = 15;
inline constexpr int ActionBoxIconLeftPx = 10;
inline constexpr int ActionBoxIconTopPx = 10;
inline constexpr int ActionBoxIconSizePx = 32;
// Wrapping stops after this many lines: far more than any text the program shows (its longest
// licence wraps to a few thousand), so only a split that ran away ends there.
inline constexpr int ActionBoxWrapGuardLines = 2000000;
inline constexpr int ActionBoxAmpersandGuardPasses = 100;
inline constexpr int ActionBoxKeyGuardPolls = 10;
inline constexpr int ActionBoxArrowSearchSteps = 50;
inline constexpr int ActionBoxKeyPollMs = 25;
inline constexpr int ActionBoxEventWaitMs = 500;
inline constexpr int ActionBoxMaskedBeepHz = 2000;
inline constexpr int ActionBoxMaskedBeepMs = 100;

inline constexpr std::intptr_t ActionBoxDefaultTextWidthPx = 400;
inline constexpr std::intptr_t ActionBoxDefaultMaxTextHeightPx = 500;
inline constexpr std::intptr_t ActionBoxDefaultButtonWidthPx = 100;
inline constexpr std::intptr_t ActionBoxDefaultLoneButtonWidthPx = 75;
inline constexpr std::intptr_t ActionBoxDefaultButtonHeightPx = 25;
inline constexpr std::intptr_t ActionBoxWhite = 0xFFFFFF;
inline constexpr std::intptr_t ActionBoxButtonFaceColour = 0xF0F0F0;

// Sizes and button counts beyond these are clamped before any arithmetic, so absurd values cannot
// overflow; no screen shows more.
inline constexpr std::intptr_t ActionBoxSizeLimitPx = 100000;
inline constexpr std::intptr_t ActionBoxButtonLimit = 1000;

// Window metrics the box geometry is written for (outer size = client + frames + caption).
inline constexpr int ActionBoxDialogFrameWidthPx = 3;
inline constexpr int ActionBoxCaptionHeightPx = 23;

inline constexpr const char* ActionBoxOkLabel = "Ok";
inline constexpr const char* ActionBoxHelpLabel = "Hilfe";

// Measures text in the box's text font; the real box uses the font metrics, tests a fixed grid.
class ActionBoxMeasurer
{
public:
    virtual ~ActionBoxMeasurer() = default;

    virtual int textWidth(std::string_view text) const = 0;

    virtual int textHeight(std::string_view text) const = 0;
};

enum class ActionBoxIconKind
{
    None = 0,
    Information = 1,
    Question = 2,
    Warning = 3,
    Error = 4,
    Shield = 5,
    Application = 6,
};

// The icon drawn for an Icon value (values above 6 draw nothing but keep the icon column).
ActionBoxIconKind actionBoxIconKind(std::intptr_t icon);

// Title for an empty Title field.
std::string actionBoxTitleForIcon(std::intptr_t icon);

enum class ActionBoxSoundKind
{
    Silent,
    System, // systemType: 64, 32, 48, 16 or 0 (simple beep)
    File,   // fileName, played asynchronously
};

struct ActionBoxSound
{
    ActionBoxSoundKind kind = ActionBoxSoundKind::Silent;
    int systemType = 0;
    std::string fileName;
};

ActionBoxSound actionBoxSound(std::intptr_t sound, std::intptr_t icon);

// Applies the defaults in their fixed order and writes them into params.
void applyActionBoxDefaults(ActionBoxParams& params);

// Text if not empty, else the zero-ended text at TextAddress, else the empty text.
std::string actionBoxText(const ActionBoxParams& params);

// "\t" becomes six no-break spaces, "\q" a double quote, "\n" a carriage return, in that order.
std::string prepareActionBoxText(std::string_view text);

// Splits at carriage returns: k of them give k + 1 lines, empty lines kept.
std::vector<std::string> splitActionBoxLines(std::string_view prepared);

// Field index (1-based) of a "|"-separated list; the empty text when there is no such field.
std::string actionBoxField(std::string_view list, std::intptr_t index);

struct ActionBoxWrap
{
    std::vector<std::string> lines;
    std::vector<int> widths; // parallel to lines; 0 for lines left unhandled by the guard
    bool guardTriggered = false;
};

// Wraps every line to areaWidthPx: at spaces where possible, inside an over-long first word by a
// halving search. Stops after ActionBoxWrapGuardLines lines (showing the guard box once); lines not
// handled then stay as they are. Every line is kept.
ActionBoxWrap
wrapActionBoxLines(std::vector<std::string> lines, int areaWidthPx, const ActionBoxMeasurer& measurer);

// The key code of a label's accelerator: after removing every "&&", the character after the first
// "&" or else the first character, upper-cased and cut to one byte; 0 when there is none.
std::uint8_t Button1stLetterAsc(const std::string& label);

struct ActionBoxRect
{
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

// Everything the box needs to place and draw itself, for a record with its defaults applied.
struct ActionBoxLayout
{
    int iconColumnPx = 0;
    int wrapWidthPx = 0;       // text area width used for wrapping
    int areaWidthPx = 0;       // text area width after shrinking to fit
    int minWidthPx = 0;        // least outer width for the buttons
    ActionBoxRect provisional; // outer rectangle of the provisional window
    std::vector<std::string> lines;
    std::vector<int> widths;
    bool wrapGuardTriggered = false;
    int lineHeightPx = 0;
    bool scrolls = false;
    int textHeightPx = 0;
    ActionBoxRect outer; // the placed box
    int clientWidthPx = 0;
    int clientHeightPx = 0;
    int stripTopPx = 0; // the strip starts one pixel below
    int visibleLines = 0;
    int greatestScrollPos = 1;
    std::vector<ActionBoxRect> buttons; // client coordinates, button 1 first
};

// screenWidth/screenHeight: the primary screen. Shows the wrap guard box when it triggers.
ActionBoxLayout layoutActionBox(
    const ActionBoxParams& params,
    const std::string& text,
    const ActionBoxMeasurer& measurer,
    int screenWidthPx,
    int screenHeightPx);

// The diagnostic boxes of the box's loop guards: system message boxes, OK and the error icon.
enum class ActionBoxGuard
{
    LineWrap,
    Ampersand,
    Input1, // Esc held when the box opens
    Input2, // Esc held after dismissing
    Input3, // an accelerator not released; button and keyCode are shown
    Input4, // a masked accelerator not released
    Input5, // Esc held after the help procedure
    RightSearch,
    LeftSearch,
};

struct ActionBoxGuardMessage
{
    std::string title;
    std::string text;
};

ActionBoxGuardMessage actionBoxGuardMessage(ActionBoxGuard guard, int button = 0, int keyCode = 0);

void showActionBoxGuard(ActionBoxGuard guard, int button = 0, int keyCode = 0);

// Window seams, defined in the window library.

// The open box's window (objectName "ActionBox", buttons "ActionBoxButton<i>", scroll bar
// "ActionBoxScrollBar"), or nullptr.
QWidget* openActionBoxWindow();

// Passes the open box's loop has begun (0 without a box). A pass reads the key state right after it
// begins, so a key pressed before a pass began has been seen once the count moved on.
int actionBoxLoopPasses();

// The help message's record (lParam of the help message the help button sends to the main window).
struct ActionBoxHelpInfo
{
    int size = 28;
    int contextType = 1; // a window
    int controlId = 0;
    Handle itemHandle = NoHandle; // the box
    int contextId = 0;
    int mouseX = 0; // cursor position on the screen
    int mouseY = 0;
};

} // namespace folvex
