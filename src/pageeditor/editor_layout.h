#pragma once
// The controls of the page editor window: their table in the order they are made, and where they go
// for a client area of a given size. Controls that do not fit beside each other flow into further
// rows below the two bands, and the thumbnail area starts below the last row. Pure functions.

#include "pageeditor/thumbnail_grid.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace folvex {

inline constexpr const char* EditorHintText =
    "Linksklick=rechts drehen; Rechtsklick=Menü; langer Linksklick=verschieben";

// The kinds of the editor's controls.
enum class EditorControlKind
{
    OwnerDrawnButton,
    Label,
    TextField,
    PushButton,
};

// One control of the editor window as the table of controls describes it.
struct EditorControlLayout
{
    const char* text;
    EditorControlKind kind;
    std::int32_t x;
    std::int32_t y;
    std::int32_t width;
    std::int32_t height;
    int arcSet; // the arc face set of an owner-drawn button, −1 for the others
};

// Positions of single controls in the table; the code names the controls by them.
enum EditorControlIndex : std::size_t
{
    HintLabel = 10,
    OptionsButton = 11,
    WhitePick = 23,
    BlackPick = 30,
    ApplyButton = 31,
    CancelButton = 32,
    EditorControlCount = 33,
};

// The six point fields among the controls: white red, green, blue, black red, green, blue.
inline constexpr std::array<std::size_t, 6> PointFieldIndexes{18, 20, 22, 25, 27, 29};

struct PlacedEditorControl
{
    EditorControlLayout layout;
    GridRect rect;
};

struct EditorLayout
{
    // The 33 controls in the order they are made.
    std::vector<PlacedEditorControl> controls;
    // The thumbnail area: the full client width, from below the last row of controls to 50 pixels
    // above the bottom.
    std::int32_t thumbnailAreaTop = 0;
    std::int32_t thumbnailAreaHeight = 0;
};

// Places the controls for a client area of clientWidth × clientHeight. Every control keeps its place
// of the table while it lies inside the window and clear of the controls before it in its band ("Optionen"
// stays at the right end of the first band); from the first one that does not, the controls of that
// band flow, in their order and with their neighbours kept together (a label with its field), into
// rows of 25 pixels below the second band. The hint text keeps the rest of its row: hintTextWidthPx is
// the width its whole text needs, used to start a new row where the rest of the current one is too
// short. The hint label may be narrower than its text; the window shortens it then.
EditorLayout editorLayout(std::int32_t clientWidth, std::int32_t clientHeight, std::int32_t hintTextWidthPx);

} // namespace folvex
