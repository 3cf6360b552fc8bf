#pragma once
// The look and the slot table of the owner-drawn buttons: the properties record a caller fills, the
// slot records with their fall-backs applied, the choice of the face state and the table operations
// that need no window. The component's state is one record on the GUI thread.

#include "runtime/handles.h"

#include <array>
#include <cstdint>
#include <string>

namespace folvex {

// Every field has the platform's native width; brushes, pens and the font are runtime handles,
// colours 0x00BBGGRR, background modes 1 (transparent) or 2 (opaque).
struct ODBProperties
{
    std::intptr_t BrushN = 0;
    std::intptr_t BrushH = 0;
    std::intptr_t BrushP = 0;
    std::intptr_t BrushF = 0;
    std::intptr_t BrushFH = 0;
    std::intptr_t BrushFP = 0;
    std::intptr_t BrushD = 0;
    std::intptr_t PenN = 0;
    std::intptr_t PenH = 0;
    std::intptr_t PenP = 0;
    std::intptr_t PenF = 0;
    std::intptr_t PenFH = 0;
    std::intptr_t PenFP = 0;
    std::intptr_t PenD = 0;
    std::intptr_t Font = 0;
    std::intptr_t TextColorN = 0;
    std::intptr_t TextColorH = -1;
    std::intptr_t TextColorP = -1;
    std::intptr_t TextColorF = -1;
    std::intptr_t TextColorFH = -1;
    std::intptr_t TextColorFP = -1;
    std::intptr_t TextColorD = -1;
    std::intptr_t BkColorN = 0;
    std::intptr_t BkColorH = -1;
    std::intptr_t BkColorP = -1;
    std::intptr_t BkColorF = -1;
    std::intptr_t BkColorFH = -1;
    std::intptr_t BkColorFP = -1;
    std::intptr_t BkColorD = -1;
    std::intptr_t BkModeN = 1;
    std::intptr_t BkModeH = 0;
    std::intptr_t BkModeP = 0;
    std::intptr_t BkModeF = 0;
    std::intptr_t BkModeFH = 0;
    std::intptr_t BkModeFP = 0;
    std::intptr_t BkModeD = 0;
    std::intptr_t ShadowColorN = 0;
    std::intptr_t ShadowColorH = -1;
    std::intptr_t ShadowColorP = -1;
    std::intptr_t ShadowColorF = -1;
    std::intptr_t ShadowColorFH = -1;
    std::intptr_t ShadowColorFP = -1;
    std::intptr_t ShadowOn = 0;
};

static_assert(sizeof(ODBProperties) == 43 * sizeof(std::intptr_t));

// One slot: the caller's look with the fall-backs applied, then the button's own state.
struct ODBRecord : ODBProperties
{
    // −1: never used since InitODB; 0: free; otherwise the button's control handle.
    std::intptr_t Button = -1;
    std::intptr_t Parent = 0;
    std::intptr_t Tracking = 0;
    std::intptr_t Hot = 0;
    std::intptr_t Clicked = 0;
};

inline constexpr int ODBMaxButtons = 50;
inline constexpr std::intptr_t ODBNeverUsed = -1;

inline constexpr int BkModeTransparent = 1;
inline constexpr int BkModeOpaque = 2;

// Colours of the platform that the fall-backs use.
inline constexpr std::intptr_t ColorBlack = 0x000000;
inline constexpr std::intptr_t ColorGrayText = 0x6D6D6D;

inline constexpr const char* CreateODBNotInitialisedNote = "CreateODB: InitODB wurde nicht aufgerufen.";
inline constexpr const char* InitODBTwiceNote = "DeInitODB: InitODB wurde bereits aufgerufen.";
inline constexpr const char* CreateODBFailedNote = "CreateODB: Erzeugung des ODBs fehlgeschlagen.";
inline constexpr const char* DestroyODBUnknownNote = "DestroyODB: ODB-Controlhandle nicht bekannt.";

// "CreateODB: Maximale Anzahl OwnerDrawButtons (50) erreicht."
std::string createODBLimitNote();

// The component's state; slot 0 exists and is never used.
struct ODBComponent
{
    std::array<ODBRecord, ODBMaxButtons + 1> ODBTable{};
    // The highest slot taken from the never-used ones; every slot above it is never used.
    int ODBHighSlot = 0;
    bool initialised = false;
};

// The program's instance. A test assigns a fresh record.
ODBComponent& odbComponent();

// Sets all 43 fields to their reset values. Returns 0.
int ResetODBProperties(ODBProperties& props);

// The copy a slot keeps: unset fields (0 for brushes, pens and modes, −1 for colours) filled in field
// order, each from fields already completed. stockLightGreyBrush is the brush of the disabled face.
ODBProperties resolveODBProperties(const ODBProperties& props, std::intptr_t stockLightGreyBrush);

// The seven faces a button is drawn in.
enum class ODBState
{
    N = 0,
    H = 1,
    P = 2,
    F = 3,
    FH = 4,
    FP = 5,
    D = 6,
};

// Disabled wins; while pressed the mouse does not matter.
ODBState chooseODBState(bool enabled, bool pressed, bool focused, bool hot);

// What one face is drawn with. bkMode is always BkModeN; the shadow is off in state D.
struct ODBFace
{
    std::intptr_t brush = 0;
    std::intptr_t pen = 0;
    std::intptr_t textColor = 0;
    std::intptr_t bkColor = 0;
    std::intptr_t bkMode = 0;
    std::intptr_t shadowColor = 0;
    bool shadow = false;
};

ODBFace odbFace(const ODBRecord& record, ODBState state);

// The first slot from 1 to ODBHighSlot whose Button is hButton, or 0.
int ODBIndex(std::intptr_t hButton);

// The button's Clicked flag, which is cleared; 0 for a handle not in the table.
int ODBClicked(std::intptr_t hButton);

// Takes the lowest free or never-used slot for a new button of parent hParent and fills it with the
// resolved look; Button stays 0 until the control exists. 0 with the note when the table is full.
int takeODBSlot(std::intptr_t hParent, const ODBProperties& props, std::intptr_t stockLightGreyBrush);

// Releases a slot: clears hover tracking and sets Button to 0.
void releaseODBSlot(int slot);

// Releases the slot of a button that is being destroyed: 1 when hwnd was a known button, else 0.
int ODBOnButtonDestroyed(std::intptr_t hwnd);

// Releases every button of a parent that is being destroyed: 1 when at least one was released.
int ODBOnParentDestroyed(std::intptr_t hwnd);

} // namespace folvex
