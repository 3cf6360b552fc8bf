// Button faces.
//
// Gradient faces are pattern brushes of a 1 × 30 column: each channel of row i is a linear ramp
// base + step·i; in the orange set green is 0.55 × red, rounded half up. The column repeats across
// the button and every 30 pixels downwards.
//
// Arc faces are rendered per pixel in single precision. Outside the highlight a face is a vertical
// ramp: row y takes k = ⌊amount / height · (y + 1)⌋ off the shading colour (or adds it). A focused
// face adds I = round-half-even(70 · min(1, 3 · h)) to each channel of the highlight base, where h is
// a Gaussian of the vertical distance from the pixel to the quadratic Bézier arc (0.01, 0.39),
// (0.05, 0.05), (0.99, 0.10) in face coordinates; its width σ = spread · (2t(1 − t) + 0.5) is half the
// spread at the arc's ends and the whole spread in its middle. Columns left of x = 0.01 or right of
// x = 0.99 lie beside the arc and get no highlight. A face 1 pixel wide or high takes x = 0 or y = 0.

#include "components/button_faces.h"

#include "foundation/note.h"
#include "runtime/text.h"

#include <algorithm>
#include <cmath>

namespace folvex {

namespace {

struct ChannelRamp
{
    int base;
    int step;
};

struct GradientRamp
{
    ChannelRamp r;
    ChannelRamp g;
    ChannelRamp b;
};

constexpr int OrangeSet = 7;

struct GradientSet
{
    const char* name;
    // N, F, H, P
    std::array<GradientRamp, 4> ramps;
    std::uint32_t textColor;
};

constexpr std::uint32_t White = 0xFFFFFF;
constexpr std::uint32_t Black = 0x000000;

// The orange set's green is derived from red and is given as 0 here.
constexpr std::array<GradientSet, GradientSetCount> GradientSets{{
    {"green",
     {{{{0, 0}, {230, -2}, {0, 0}},
       {{0, 0}, {240, -2}, {0, 0}},
       {{0, 0}, {250, -2}, {0, 0}},
       {{0, 0}, {192, 2}, {0, 0}}}},
     Black},
    {"yellow",
     {{{{230, -2}, {230, -2}, {0, 0}},
       {{245, -2}, {235, -2}, {0, 0}},
       {{255, -2}, {255, -2}, {0, 0}},
       {{197, 2}, {197, 2}, {0, 0}}}},
     Black},
    {"red",
     {{{{230, -2}, {0, 0}, {0, 0}},
       {{240, -2}, {0, 0}, {0, 0}},
       {{255, -2}, {0, 0}, {0, 0}},
       {{197, 2}, {0, 0}, {0, 0}}}},
     White},
    {"blue",
     {{{{0, 0}, {0, 0}, {200, -3}},
       {{0, 0}, {0, 0}, {230, -3}},
       {{50, 0}, {50, 0}, {255, -3}},
       {{0, 0}, {0, 0}, {168, 3}}}},
     White},
    {"black",
     {{{{0, 4}, {0, 4}, {0, 4}},
       {{30, 4}, {30, 4}, {30, 4}},
       {{50, 4}, {50, 4}, {50, 4}},
       {{166, -4}, {166, -4}, {166, -4}}}},
     White},
    {"darkpurple",
     {{{{70, 4}, {0, 0}, {70, 4}},
       {{100, 4}, {0, 0}, {100, 4}},
       {{120, 4}, {0, 0}, {120, 4}},
       {{236, -4}, {0, 0}, {236, -4}}}},
     White},
    {"pink",
     {{{{130, 4}, {0, 0}, {130, 4}},
       {{160, 3}, {0, 0}, {160, 3}},
       {{160, 3}, {0, 5}, {160, 3}},
       {{247, -3}, {0, 0}, {247, -3}}}},
     White},
    {"orange",
     {{{{230, -2}, {0, 0}, {0, 0}},
       {{240, -2}, {0, 0}, {0, 0}},
       {{255, -2}, {0, 0}, {0, 0}},
       {{197, 2}, {0, 0}, {0, 0}}}},
     White},
    {"silver",
     {{{{210, -2}, {210, -2}, {210, -2}},
       {{225, -2}, {225, -2}, {225, -2}},
       {{235, -2}, {235, -2}, {235, -2}},
       {{177, 2}, {177, 2}, {177, 2}}}},
     Black},
}};

struct ArcColours
{
    const char* name;
    RgbColor highlightBase;
    RgbColor shadingNF;
    RgbColor shadingHFH;
    RgbColor shadingP;
    RgbColor shadingFP;
    std::uint32_t textColor;
};

constexpr std::array<ArcColours, 12> ArcSets{{
    {"red", {220, 0, 0}, {220, 0, 0}, {250, 0, 0}, {190, 0, 0}, {190, 0, 0}, White},
    {"blue", {0, 0, 225}, {0, 0, 225}, {70, 70, 255}, {0, 0, 195}, {0, 0, 195}, White},
    {"green", {0, 225, 0}, {0, 225, 0}, {0, 255, 0}, {0, 195, 0}, {0, 195, 0}, Black},
    {"yellow", {225, 225, 0}, {225, 225, 0}, {255, 255, 0}, {195, 195, 0}, {195, 195, 0}, Black},
    {"cyan", {0, 225, 225}, {0, 225, 225}, {0, 255, 255}, {0, 195, 195}, {0, 195, 195}, Black},
    {"pink", {252, 15, 192}, {252, 15, 192}, {255, 55, 242}, {195, 0, 182}, {195, 0, 182}, White},
    {"purple", {148, 0, 211}, {148, 0, 211}, {178, 30, 241}, {118, 0, 181}, {118, 0, 181}, White},
    {"black", {60, 60, 60}, {60, 60, 60}, {100, 100, 100}, {40, 40, 40}, {40, 40, 40}, White},
    {"silver", {200, 200, 200}, {200, 200, 200}, {230, 230, 230}, {170, 170, 170}, {170, 170, 170}, Black},
    {"white", {230, 230, 230}, {255, 255, 255}, {230, 230, 230}, {195, 195, 195}, {195, 195, 195}, Black},
    {"orange", {255, 140, 0}, {255, 140, 0}, {255, 170, 60}, {195, 80, 0}, {195, 80, 0}, White},
    {"brown", {139, 69, 19}, {139, 69, 19}, {179, 99, 49}, {119, 39, 30}, {119, 39, 0}, White},
}};

constexpr int ShadingDarker = 1;
constexpr int ShadingLighter = 2;

// The highlight arc's control points.
constexpr float ArcX0 = 0.01f;
constexpr float ArcY0 = 0.39f;
constexpr float ArcX1 = 0.05f;
constexpr float ArcY1 = 0.05f;
constexpr float ArcX2 = 0.99f;
constexpr float ArcY2 = 0.10f;

constexpr float HighlightGain = 3.0f;
constexpr float HighlightMaximum = 70.0f;

int clampChannel(int value)
{
    return std::clamp(value, 0, 255);
}

bool validArcIndex(const ButtonFaces& faces, int index)
{
    return index >= 1 && index <= faces.ArcSetCapacity &&
           static_cast<std::size_t>(index) < faces.ArcBrushSet.size();
}

Handle makeBrushFromImage(FaceObjects& objects, Handle image)
{
    if (image == NoHandle) {
        return NoHandle;
    }
    Handle brush = NoHandle;
    if (const DibBitmap* bitmap = findImage(image)) {
        brush = objects.createPatternBrush(*bitmap);
    }
    freeImage(image);
    return brush;
}

// The part of the highlight that depends only on the column: where the arc crosses it and how wide
// the highlight is there. Shared by ArcHighlight and the renderer, so both compute the same values.
struct ArcColumn
{
    bool crossed = false;
    float yc = 0.0f;
    float sigma = 0.0f;
};

ArcColumn arcColumn(float x, float spread)
{
    const float t = SolveQuadratic01(ArcX0 - 2.0f * ArcX1 + ArcX2, 2.0f * ArcX1 - 2.0f * ArcX0, ArcX0 - x);
    if (t < 0.0f) {
        return {};
    }
    const float u = 1.0f - t;
    ArcColumn column;
    column.crossed = true;
    column.yc = u * u * ArcY0 + 2.0f * u * t * ArcY1 + t * t * ArcY2;
    column.sigma = spread * (2.0f * t * u + 0.5f);
    return column;
}

float arcStrength(const ArcColumn& column, float y)
{
    if (!column.crossed) {
        return 0.0f;
    }
    const float d = std::fabs(y - column.yc);
    return std::exp(-(d * d) / (2.0f * column.sigma * column.sigma));
}

} // namespace

ButtonFaces& buttonFaces()
{
    static ButtonFaces faces;
    return faces;
}

RgbColor gradientColor(int set, GradientState state, int row)
{
    const GradientRamp& ramp =
        GradientSets.at(static_cast<std::size_t>(set)).ramps.at(static_cast<std::size_t>(state));
    RgbColor colour{
        ramp.r.base + ramp.r.step * row, ramp.g.base + ramp.g.step * row, ramp.b.base + ramp.b.step * row};
    if (set == OrangeSet) {
        // 0.55 × red rounded half up, in integers so that exact halves stay exact.
        colour.g = (55 * colour.r + 50) / 100;
    }
    return colour;
}

int CreatePreBuiltODBBrushes()
{
    ButtonFaces& faces = buttonFaces();
    if (faces.objects == nullptr) {
        return 0;
    }
    std::unique_ptr<DibBitmap> column = makeDibBitmap(1, GradientHeightPx, 24);
    for (int set = 0; set < GradientSetCount; ++set) {
        for (int state = 0; state < 4; ++state) {
            for (int row = 0; row < GradientHeightPx; ++row) {
                const RgbColor c = gradientColor(set, static_cast<GradientState>(state), row);
                std::uint8_t* pixel = column->rowTopDown(row);
                pixel[0] = static_cast<std::uint8_t>(c.b);
                pixel[1] = static_cast<std::uint8_t>(c.g);
                pixel[2] = static_cast<std::uint8_t>(c.r);
            }
            faces.gradientBrushes[set][state] = faces.objects->createPatternBrush(*column);
        }
    }
    faces.nullPen = faces.objects->createNullPen();
    return 0;
}

int PrepareODB(ODBProperties& props, const std::string& colourName)
{
    ResetODBProperties(props);
    const ButtonFaces& faces = buttonFaces();
    const std::string name = lowerAscii(colourName);
    for (int set = 0; set < GradientSetCount; ++set) {
        if (name != GradientSets[set].name) {
            continue;
        }
        const auto& brushes = faces.gradientBrushes[set];
        props.BrushN = brushes[static_cast<int>(GradientState::N)];
        props.BrushH = brushes[static_cast<int>(GradientState::H)];
        props.BrushP = brushes[static_cast<int>(GradientState::P)];
        props.BrushF = brushes[static_cast<int>(GradientState::F)];
        // FH stays unset: the button shows the H brush there.
        props.BrushFP = props.BrushP;
        props.PenN = faces.nullPen;
        props.TextColorN = GradientSets[set].textColor;
        return 0;
    }
    ShowNote("PrepareODB: Parameter unbekannt (" + colourName + ")", 1);
    return 0;
}

float arcSpread(int height, float spread)
{
    if (spread != SpreadFromHeight) {
        return spread;
    }
    float chosen = 0.03f;
    if (height >= 30) {
        chosen = 0.05f;
    }
    if (height >= 40) {
        chosen = 0.04f;
    }
    return chosen;
}

int ODBCreateArcODBBrushes(int width, int height, const std::string& colourName, float spread)
{
    ButtonFaces& faces = buttonFaces();
    spread = arcSpread(height, spread);
    int index = 0;
    for (int i = 1; i <= faces.ArcSetCapacity; ++i) {
        if (faces.ArcBrushSet[i].BrushN == 0) {
            index = i;
            break;
        }
    }
    if (index == 0) {
        index = faces.ArcSetCapacity + 1;
        faces.ArcSetCapacity += ArcSetGrowth;
        faces.ArcBrushSet.resize(static_cast<std::size_t>(faces.ArcSetCapacity) + 1);
    }

    const std::string name = lowerAscii(colourName);
    const auto match =
        std::find_if(ArcSets.begin(), ArcSets.end(), [&](const ArcColours& set) { return name == set.name; });
    if (match == ArcSets.end()) {
        ShowNote("ODBCreateArcODBBrushes: Parameter unbekannt (\"" + colourName + "\")", 1);
        return index;
    }

    struct FaceRender
    {
        Handle ArcBrushSetEntry::*field;
        RgbColor shading;
        int mode;
        int highlight;
    };

    const std::array<FaceRender, 6> renders{{
        {&ArcBrushSetEntry::BrushN, match->shadingNF, ShadingDarker, 0},
        {&ArcBrushSetEntry::BrushH, match->shadingHFH, ShadingDarker, 0},
        {&ArcBrushSetEntry::BrushP, match->shadingP, ShadingLighter, 0},
        {&ArcBrushSetEntry::BrushF, match->shadingNF, ShadingDarker, 1},
        {&ArcBrushSetEntry::BrushFH, match->shadingHFH, ShadingDarker, 1},
        {&ArcBrushSetEntry::BrushFP, match->shadingFP, ShadingLighter, 1},
    }};
    if (faces.objects == nullptr) {
        return index;
    }
    ArcBrushSetEntry& entry = faces.ArcBrushSet[index];
    for (const FaceRender& render : renders) {
        const Handle image = RenderArcODBImage(
            width,
            height,
            match->highlightBase,
            render.shading,
            spread,
            ArcShadingAmount,
            render.mode,
            render.highlight);
        entry.*render.field = makeBrushFromImage(*faces.objects, image);
    }
    entry.Pen = faces.objects->createNullPen();
    entry.TextColor = match->textColor;
    return index;
}

int PrepareArcODB(ODBProperties& props, int index)
{
    ResetODBProperties(props);
    const ButtonFaces& faces = buttonFaces();
    if (!validArcIndex(faces, index)) {
        return 0;
    }
    const ArcBrushSetEntry& entry = faces.ArcBrushSet[index];
    props.BrushN = entry.BrushN;
    props.BrushH = entry.BrushH;
    props.BrushP = entry.BrushP;
    props.BrushF = entry.BrushF;
    props.BrushFH = entry.BrushFH;
    props.BrushFP = entry.BrushFP;
    props.PenN = entry.Pen;
    props.TextColorN = entry.TextColor;
    return 0;
}

int FreeArcODBBrushes(int index)
{
    ButtonFaces& faces = buttonFaces();
    if (!validArcIndex(faces, index)) {
        return 0;
    }
    ArcBrushSetEntry& entry = faces.ArcBrushSet[index];
    if (entry.BrushN == 0 || faces.objects == nullptr) {
        return 0;
    }
    for (const Handle object :
         {entry.BrushN, entry.BrushH, entry.BrushP, entry.BrushF, entry.BrushFH, entry.BrushFP, entry.Pen}) {
        faces.objects->deleteObject(object);
    }
    entry.BrushN = 0;
    return 0;
}

int FreePreBuiltODBBrushes()
{
    ButtonFaces& faces = buttonFaces();
    if (faces.objects == nullptr) {
        return 0;
    }
    if (faces.gradientBrushes[0][0] != 0) {
        for (auto& set : faces.gradientBrushes) {
            for (Handle& brush : set) {
                faces.objects->deleteObject(brush);
                brush = NoHandle;
            }
        }
    }
    for (int index = 1; index <= faces.ArcSetCapacity; ++index) {
        FreeArcODBBrushes(index);
    }
    if (faces.nullPen != NoHandle) {
        faces.objects->deleteObject(faces.nullPen);
        faces.nullPen = NoHandle;
    }
    return 0;
}

Handle RenderArcODBImage(
    int width,
    int height,
    RgbColor highlightBase,
    RgbColor shadingColour,
    float spread,
    int amount,
    int mode,
    int highlight)
{
    std::unique_ptr<DibBitmap> image = makeDibBitmap(width, height, 32);
    if (!image) {
        return NoHandle;
    }
    const float xScale = width > 1 ? static_cast<float>(width - 1) : 0.0f;
    const float yScale = height > 1 ? static_cast<float>(height - 1) : 0.0f;
    const float rampPerRow = static_cast<float>(amount) / static_cast<float>(height);
    const int sign = mode == ShadingDarker ? -1 : 1;
    // The highlight only shows on focused faces, so it is computed only there.
    std::vector<ArcColumn> columns;
    if (highlight != 0) {
        columns.resize(static_cast<std::size_t>(width));
        for (int x = 0; x < width; ++x) {
            const float fx = xScale > 0.0f ? static_cast<float>(x) / xScale : 0.0f;
            columns[static_cast<std::size_t>(x)] = arcColumn(fx, spread);
        }
    }
    for (int y = 0; y < height; ++y) {
        const int k = static_cast<int>(rampPerRow * static_cast<float>(y + 1));
        const RgbColor shaded{
            clampChannel(shadingColour.r + sign * k),
            clampChannel(shadingColour.g + sign * k),
            clampChannel(shadingColour.b + sign * k)};
        const float fy = yScale > 0.0f ? static_cast<float>(y) / yScale : 0.0f;
        std::uint8_t* pixel = image->rowTopDown(y);
        for (int x = 0; x < width; ++x, pixel += 4) {
            RgbColor colour = shaded;
            if (highlight != 0) {
                float g =
                    std::min(HighlightGain * arcStrength(columns[static_cast<std::size_t>(x)], fy), 1.0f);
                // A spread of 0 puts the curve's own pixels at 0/0; they get no highlight.
                if (!(g >= 0.0f)) {
                    g = 0.0f;
                }
                const int intensity =
                    static_cast<int>(std::nearbyint(ClampF(HighlightMaximum * g, 0.0f, 255.0f)));
                const RgbColor lit{
                    std::min(highlightBase.r + intensity, 255),
                    std::min(highlightBase.g + intensity, 255),
                    std::min(highlightBase.b + intensity, 255)};
                if (lit != highlightBase) {
                    colour = lit;
                }
            }
            pixel[0] = static_cast<std::uint8_t>(colour.b);
            pixel[1] = static_cast<std::uint8_t>(colour.g);
            pixel[2] = static_cast<std::uint8_t>(colour.r);
            pixel[3] = 0;
        }
    }
    return registerImage(std::move(image));
}

float ArcHighlight(float x, float y, float spread)
{
    return arcStrength(arcColumn(x, spread), y);
}

float SolveQuadratic01(float a, float b, float c)
{
    const float discriminant = b * b - 4.0f * a * c;
    if (discriminant < 0.0f) {
        return -1.0f;
    }
    float t1 = -1.0f;
    float t2 = -1.0f;
    if (a != 0.0f) {
        const float root = std::sqrt(discriminant);
        t1 = (-b + root) / (2.0f * a);
        t2 = (-b - root) / (2.0f * a);
    } else if (b != 0.0f) {
        t1 = -c / b;
    } else {
        return -1.0f;
    }
    if (t1 >= 0.0f && t1 <= 1.0f) {
        return t1;
    }
    if (t2 >= 0.0f && t2 <= 1.0f) {
        return t2;
    }
    return -1.0f;
}

float ClampF(float value, float low, float high)
{
    if (value < low) {
        return low;
    }
    if (value > high) {
        return high;
    }
    return value;
}

} // namespace folvex
