#pragma once
// Ready-made looks for the owner-drawn buttons: nine gradient sets of pattern brushes shared by all
// buttons, and arc sets rendered per button size with a shaded face and, when focused, a highlight
// along a fixed curve. The component owns every brush and pen it makes; GUI thread.

#include "components/owner_drawn_button_table.h"
#include "runtime/dib.h"
#include "runtime/handles.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace folvex {

// Makes and deletes the drawing objects of the faces. InitODB installs the runtime's one when none is; the
// handles it returns are what the button records carry.
class FaceObjects
{
public:
    virtual ~FaceObjects() = default;

    // A brush that repeats the pattern from the button's top-left corner; it keeps its own copy of
    // the pixels. 0 when it cannot be made.
    virtual Handle createPatternBrush(const DibBitmap& pattern) = 0;

    // A pen that draws nothing (the null style).
    virtual Handle createNullPen() = 0;

    virtual void deleteObject(Handle object) = 0;
};

inline constexpr int GradientSetCount = 9;
inline constexpr int GradientHeightPx = 30;
inline constexpr int ArcSetGrowth = 10;
inline constexpr float SpreadFromHeight = -999.0f;
inline constexpr int ArcShadingAmount = 60;

// The four brushed states of a gradient set, in the order of their brushes.
enum class GradientState
{
    N = 0,
    F = 1,
    H = 2,
    P = 3,
};

struct RgbColor
{
    int r = 0;
    int g = 0;
    int b = 0;

    bool operator==(const RgbColor&) const = default;
};

// One arc set; BrushN 0 means the entry is free.
struct ArcBrushSetEntry
{
    Handle BrushN = 0;
    Handle BrushH = 0;
    Handle BrushP = 0;
    Handle BrushF = 0;
    Handle BrushFH = 0;
    Handle BrushFP = 0;
    Handle Pen = 0;
    std::uint32_t TextColor = 0;
};

// The faces' state. Entry 0 of ArcBrushSet exists and is never used.
struct ButtonFaces
{
    FaceObjects* objects = nullptr;
    // Per gradient set (green, yellow, red, blue, black, darkpurple, pink, orange, silver), the
    // brushes of N, F, H and P.
    std::array<std::array<Handle, 4>, GradientSetCount> gradientBrushes{};
    Handle nullPen = 0;
    int ArcSetCapacity = ArcSetGrowth;
    std::vector<ArcBrushSetEntry> ArcBrushSet = std::vector<ArcBrushSetEntry>(ArcSetGrowth + 1);
};

// The program's instance. A test assigns a fresh record.
ButtonFaces& buttonFaces();

// The colour of row i (0 at the top, up to 29) of a gradient set's brush for a state.
RgbColor gradientColor(int set, GradientState state, int row);

// Builds the 36 gradient brushes and the shared null pen. Returns 0.
int CreatePreBuiltODBBrushes();

// Resets props and fills it with the gradient set named colourName (case-insensitive). An unknown
// name shows the OK/Cancel note and leaves the record as reset. Returns 0.
int PrepareODB(ODBProperties& props, const std::string& colourName);

// The spread an arc set uses: spread itself, or for −999 a value from the button height.
float arcSpread(int height, float spread);

// Renders the six faces of a new arc set for buttons of width × height pixels and returns its index.
// An unknown colour name shows the OK/Cancel note; the index then names a free entry.
int ODBCreateArcODBBrushes(int width, int height, const std::string& colourName, float spread);

// Resets props and fills it from arc set index; an index that names no set leaves it as reset.
int PrepareArcODB(ODBProperties& props, int index);

// Deletes the objects of one arc set and frees its entry. Returns 0.
int FreeArcODBBrushes(int index);

// Deletes the gradient brushes, every arc set and the shared null pen. Returns 0.
int FreePreBuiltODBBrushes();

// Renders one arc face into a new 32-bit image of the image registry: a vertical shading of
// shadingColour (mode 1 darker downwards, any other lighter downwards, by up to amount), and when
// highlight is not 0 the highlightBase lightened along the arc. 0 when the image cannot be made.
Handle RenderArcODBImage(
    int width,
    int height,
    RgbColor highlightBase,
    RgbColor shadingColour,
    float spread,
    int amount,
    int mode,
    int highlight);

// Highlight strength 0..1 at face point (x, y), both 0..1 from the top-left corner.
float ArcHighlight(float x, float y, float spread);

// A root of a·t² + b·t + c = 0 within [0, 1], or −1.
float SolveQuadratic01(float a, float b, float c);

float ClampF(float value, float low, float high);

} // namespace folvex
