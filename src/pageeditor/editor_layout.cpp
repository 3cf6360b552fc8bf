#include "pageeditor/editor_layout.h"

#include "pageeditor/page_editor_model.h"
#include "shell/arc_face_sets.h"

#include <algorithm>
#include <array>

namespace folvex {

namespace {

// The face of each coloured button: the arc set it is drawn with and what that set must be.
struct EditorFace
{
    int arcSet;
    const char* colour;
    int width;
    int height;
};

inline constexpr EditorFace RedFace{2, "red", 150, 30};
inline constexpr EditorFace GreenFace{3, "green", 150, 30};
inline constexpr EditorFace SilverFace{6, "silver", 100, 20};
inline constexpr EditorFace YellowFace{7, "yellow", 150, 20};
inline constexpr EditorFace PurpleFace{8, "purple", 100, 20};
inline constexpr EditorFace BlackFace{9, "black", 100, 20};
inline constexpr EditorFace SecondBlackFace{10, "black", 100, 20};
inline constexpr EditorFace PinkFace{11, "pink", 100, 20};
inline constexpr EditorFace OrangeFace{12, "orange", 100, 20};
inline constexpr EditorFace CyanFace{13, "cyan", 100, 20};
inline constexpr EditorFace BrownFace{14, "brown", 100, 20};

constexpr bool sameText(const char* a, const char* b)
{
    while (*a != '\0' && *a == *b) {
        ++a;
        ++b;
    }
    return *a == *b;
}

constexpr bool faceMatches(const EditorFace& face)
{
    const ArcFaceSet& set = ShellArcFaceSets[static_cast<std::size_t>(face.arcSet)];
    return sameText(set.colour, face.colour) && set.width == face.width && set.height == face.height;
}

static_assert(
    faceMatches(RedFace) && faceMatches(GreenFace) && faceMatches(SilverFace) && faceMatches(YellowFace));
static_assert(faceMatches(PurpleFace) && faceMatches(BlackFace) && faceMatches(SecondBlackFace));
static_assert(
    faceMatches(PinkFace) && faceMatches(OrangeFace) && faceMatches(CyanFace) && faceMatches(BrownFace));

// An x or width of FromClientWidth − d stands for CW − d.
inline constexpr std::int32_t FromClientWidth = -1000;

constexpr EditorControlLayout button(const char* text, std::int32_t x, std::int32_t y, const EditorFace& face)
{
    return {text, EditorControlKind::OwnerDrawnButton, x, y, face.width, face.height, face.arcSet};
}

constexpr EditorControlLayout label(const char* text, std::int32_t x, std::int32_t width)
{
    return {text, EditorControlKind::Label, x, 38, width, 20, -1};
}

constexpr EditorControlLayout field(const char* text, std::int32_t x)
{
    return {text, EditorControlKind::TextField, x, 36, 30, 20, -1};
}

constexpr EditorControlLayout pick(std::int32_t x)
{
    return {"pick", EditorControlKind::PushButton, x, 36, 50, 21, -1};
}

inline constexpr std::array<EditorControlLayout, 33> ControlTable{{
    button("alle 90° links", 10, 10, SilverFace),
    button("alle 180°", 120, 10, SilverFace),
    button("alle 90° rechts", 230, 10, SilverFace),
    button("alle begradigen Typ 1", 340, 10, YellowFace),
    button("alle begradigen Typ 2", 500, 10, YellowFace),
    button("alle s/w", 660, 10, PurpleFace),
    button("alle s/w dith.", 770, 10, PurpleFace),
    button("alle Graust.", 880, 10, PurpleFace),
    button("alle Farbe", 990, 10, PurpleFace),
    button("alle Ref.-Bild", 1100, 10, SilverFace),
    {EditorHintText, EditorControlKind::Label, 1210, 12, FromClientWidth - 350, 20, -1},
    button("Optionen", FromClientWidth - 110, 10, BlackFace),
    button("alle Originalb.", 10, 35, CyanFace),
    button("alle paginieren", 120, 35, SecondBlackFace),
    button("alle Weißabgl.", 230, 35, PinkFace),
    button("alle invertieren", 340, 35, BrownFace),
    button("alle entgrauen", 450, 35, OrangeFace),
    label("Weißpunkt rot:", 560, 87),
    field(WhitePointDefault, 650),
    label("Weißpunkt grün:", 690, 97),
    field(WhitePointDefault, 790),
    label("Weißpunkt blau:", 830, 97),
    field(WhitePointDefault, 930),
    pick(970),
    label("Schwarzpunkt rot:", 1040, 105),
    field(BlackPointDefault, 1148),
    label("Schwarzpunkt grün:", 1188, 115),
    field(BlackPointDefault, 1306),
    label("Schwarzpunkt blau:", 1346, 115),
    field(BlackPointDefault, 1464),
    pick(1504),
    button("Anwenden", 0, 0, GreenFace),
    button("Abbruch", 0, 0, RedFace),
}};

// The bands of the table: the first holds the buttons from "alle 90° links" to "alle Ref.-Bild", the
// hint and "Optionen"; the second the buttons from "alle Originalb." and the point fields.
inline constexpr std::int32_t FirstBandTop = 10;
inline constexpr std::int32_t SecondBandTop = 35;
// Further rows follow at this pitch, the thumbnail area this far below the top of the last row.
inline constexpr std::int32_t RowPitch = 25;
inline constexpr std::int32_t AreaBelowRowTop = 30;
// The thumbnail area ends this far above the bottom of the client area.
inline constexpr std::int32_t AreaBottomMargin = 50;
// Kept free at the left and right edges and between flowed controls.
inline constexpr std::int32_t EdgeMargin = 10;
inline constexpr std::int32_t FlowGap = 10;
// Below this width the hint does not stay in the first band.
inline constexpr std::int32_t MinHintWidth = 100;

std::int32_t resolve(std::int32_t value, std::int32_t clientWidth)
{
    return value < 0 ? clientWidth + (value - FromClientWidth) : value;
}

// A run of controls that stays together: a label with the text field after it, or one control.
struct FlowUnit
{
    std::size_t first;
    std::size_t last;
    std::int32_t bandTop;
};

// The units of the two bands in the order of the table, without "Optionen", "Anwenden" and "Abbruch".
std::vector<FlowUnit> flowUnits()
{
    std::vector<FlowUnit> units;
    for (std::size_t i = 0; i < ApplyButton; ++i) {
        if (i == OptionsButton) {
            continue;
        }
        const EditorControlLayout& control = ControlTable[i];
        const std::int32_t bandTop = control.y < SecondBandTop ? FirstBandTop : SecondBandTop;
        if (control.kind == EditorControlKind::TextField && !units.empty() &&
            ControlTable[units.back().last].kind == EditorControlKind::Label) {
            units.back().last = i;
        } else {
            units.push_back({i, i, bandTop});
        }
    }
    return units;
}

// The left and right edge of a unit as the table places it.
std::pair<std::int32_t, std::int32_t> spanOf(const FlowUnit& unit)
{
    const EditorControlLayout& first = ControlTable[unit.first];
    const EditorControlLayout& last = ControlTable[unit.last];
    return {first.x, last.x + last.width};
}

} // namespace

EditorLayout editorLayout(std::int32_t clientWidth, std::int32_t clientHeight, std::int32_t hintTextWidthPx)
{
    EditorLayout layout;
    layout.controls.reserve(ControlTable.size());
    for (const EditorControlLayout& control : ControlTable) {
        layout.controls.push_back(
            {control,
             {resolve(control.x, clientWidth),
              control.y,
              resolve(control.width, clientWidth),
              control.height}});
    }
    std::vector<PlacedEditorControl>& placed = layout.controls;
    placed[ApplyButton].rect.left = clientWidth / 2 - 250;
    placed[ApplyButton].rect.top = clientHeight - 40;
    placed[CancelButton].rect.left = clientWidth / 2 + 100;
    placed[CancelButton].rect.top = clientHeight - 40;

    // What stays in its band, and what flows below.
    const std::int32_t rightEdge = clientWidth - EdgeMargin;
    const std::int32_t firstBandEnd = placed[OptionsButton].rect.left - FlowGap;
    std::vector<FlowUnit> flowing;
    bool firstBandFlows = false;
    bool secondBandFlows = false;
    for (const FlowUnit& unit : flowUnits()) {
        const bool firstBand = unit.bandTop == FirstBandTop;
        bool& flows = firstBand ? firstBandFlows : secondBandFlows;
        const std::int32_t end = firstBand ? firstBandEnd : rightEdge;
        const auto [left, right] = spanOf(unit);
        if (unit.first == HintLabel) {
            flows = flows || end - left < MinHintWidth;
            if (!flows) {
                placed[HintLabel].rect.width = end - left;
            }
        } else {
            flows = flows || right > end;
        }
        if (flows) {
            flowing.push_back(unit);
        }
    }

    // The flowing units fill rows from the left, a new row where the next one does not fit; the hint
    // takes the rest of its row.
    std::int32_t rowTop = SecondBandTop;
    std::int32_t x = rightEdge;
    for (const FlowUnit& unit : flowing) {
        const auto [left, right] = spanOf(unit);
        const bool hint = unit.first == HintLabel;
        const std::int32_t needed = hint ? std::min(hintTextWidthPx, rightEdge - EdgeMargin) : right - left;
        if (x == rightEdge || (x > EdgeMargin && x + needed > rightEdge)) {
            rowTop += RowPitch;
            x = EdgeMargin;
        }
        for (std::size_t i = unit.first; i <= unit.last; ++i) {
            GridRect& rect = placed[i].rect;
            rect.left = x + (ControlTable[i].x - left);
            rect.top = rowTop + (ControlTable[i].y - unit.bandTop);
        }
        if (hint) {
            placed[HintLabel].rect.width = rightEdge - x;
            x = rightEdge;
        } else {
            x += right - left + FlowGap;
        }
    }
    layout.thumbnailAreaTop = rowTop + AreaBelowRowTop;
    layout.thumbnailAreaHeight = clientHeight - AreaBottomMargin - layout.thumbnailAreaTop;
    return layout;
}

} // namespace folvex
