#include "components/owner_drawn_button_table.h"

#include "foundation/note.h"

namespace folvex {

namespace {

constexpr std::intptr_t UnsetColor = -1;

void fallBack(std::intptr_t& field, std::intptr_t unset, std::intptr_t from)
{
    if (field == unset) {
        field = from;
    }
}

} // namespace

std::string createODBLimitNote()
{
    return "CreateODB: Maximale Anzahl OwnerDrawButtons (" + std::to_string(ODBMaxButtons) + ") erreicht.";
}

ODBComponent& odbComponent()
{
    static ODBComponent component;
    return component;
}

int ResetODBProperties(ODBProperties& props)
{
    props = ODBProperties{};
    return 0;
}

ODBProperties resolveODBProperties(const ODBProperties& props, std::intptr_t stockLightGreyBrush)
{
    ODBProperties p = props;
    fallBack(p.BrushH, 0, p.BrushN);
    fallBack(p.BrushP, 0, p.BrushN);
    fallBack(p.BrushF, 0, p.BrushN);
    fallBack(p.BrushFH, 0, p.BrushH);
    fallBack(p.BrushFP, 0, p.BrushP);
    fallBack(p.BrushD, 0, stockLightGreyBrush);
    fallBack(p.PenH, 0, p.PenN);
    fallBack(p.PenP, 0, p.PenN);
    fallBack(p.PenF, 0, p.PenN);
    fallBack(p.PenFH, 0, p.PenH);
    fallBack(p.PenFP, 0, p.PenP);
    fallBack(p.TextColorN, UnsetColor, ColorBlack);
    fallBack(p.TextColorH, UnsetColor, p.TextColorN);
    fallBack(p.TextColorP, UnsetColor, p.TextColorN);
    fallBack(p.TextColorF, UnsetColor, p.TextColorN);
    fallBack(p.TextColorFH, UnsetColor, p.TextColorH);
    fallBack(p.TextColorFP, UnsetColor, p.TextColorP);
    fallBack(p.TextColorD, UnsetColor, ColorGrayText);
    fallBack(p.BkColorN, UnsetColor, ColorBlack);
    fallBack(p.BkColorH, UnsetColor, p.BkColorN);
    fallBack(p.BkColorP, UnsetColor, p.BkColorN);
    fallBack(p.BkColorF, UnsetColor, p.BkColorN);
    fallBack(p.BkColorFH, UnsetColor, p.BkColorH);
    fallBack(p.BkColorFP, UnsetColor, p.BkColorP);
    fallBack(p.BkColorD, UnsetColor, p.BkColorN);
    fallBack(p.BkModeN, 0, BkModeTransparent);
    fallBack(p.BkModeH, 0, p.BkModeN);
    fallBack(p.BkModeP, 0, p.BkModeN);
    fallBack(p.BkModeF, 0, p.BkModeN);
    // Modes and shadow colours take both focused variants from F, not from H and P.
    fallBack(p.BkModeFH, 0, p.BkModeF);
    fallBack(p.BkModeFP, 0, p.BkModeF);
    fallBack(p.BkModeD, 0, p.BkModeN);
    fallBack(p.ShadowColorN, UnsetColor, ColorBlack);
    fallBack(p.ShadowColorH, UnsetColor, p.ShadowColorN);
    fallBack(p.ShadowColorP, UnsetColor, p.ShadowColorN);
    fallBack(p.ShadowColorF, UnsetColor, p.ShadowColorN);
    fallBack(p.ShadowColorFH, UnsetColor, p.ShadowColorF);
    fallBack(p.ShadowColorFP, UnsetColor, p.ShadowColorF);
    return p;
}

ODBState chooseODBState(bool enabled, bool pressed, bool focused, bool hot)
{
    if (!enabled) {
        return ODBState::D;
    }
    if (pressed) {
        return focused ? ODBState::FP : ODBState::P;
    }
    if (focused) {
        return hot ? ODBState::FH : ODBState::F;
    }
    return hot ? ODBState::H : ODBState::N;
}

ODBFace odbFace(const ODBRecord& r, ODBState state)
{
    ODBFace face;
    face.bkMode = r.BkModeN;
    face.shadow = r.ShadowOn == 1 && state != ODBState::D;
    switch (state) {
        case ODBState::N:
            face = {r.BrushN, r.PenN, r.TextColorN, r.BkColorN, face.bkMode, r.ShadowColorN, face.shadow};
            break;
        case ODBState::H:
            face = {r.BrushH, r.PenH, r.TextColorH, r.BkColorH, face.bkMode, r.ShadowColorH, face.shadow};
            break;
        case ODBState::P:
            face = {r.BrushP, r.PenP, r.TextColorP, r.BkColorP, face.bkMode, r.ShadowColorP, face.shadow};
            break;
        case ODBState::F:
            face = {r.BrushF, r.PenF, r.TextColorF, r.BkColorF, face.bkMode, r.ShadowColorF, face.shadow};
            break;
        case ODBState::FH:
            face = {
                r.BrushFH, r.PenFH, r.TextColorFH, r.BkColorFH, face.bkMode, r.ShadowColorFH, face.shadow};
            break;
        case ODBState::FP:
            face = {
                r.BrushFP, r.PenFP, r.TextColorFP, r.BkColorFP, face.bkMode, r.ShadowColorFP, face.shadow};
            break;
        case ODBState::D:
            face = {r.BrushD, r.PenD, r.TextColorD, r.BkColorD, face.bkMode, 0, false};
            break;
    }
    return face;
}

int ODBIndex(std::intptr_t hButton)
{
    // Free slots hold 0, so 0 must not find one of them.
    if (hButton == 0) {
        return 0;
    }
    ODBComponent& c = odbComponent();
    for (int slot = 1; slot <= c.ODBHighSlot; ++slot) {
        if (c.ODBTable[slot].Button == hButton) {
            return slot;
        }
    }
    return 0;
}

int ODBClicked(std::intptr_t hButton)
{
    const int slot = ODBIndex(hButton);
    if (slot == 0) {
        return 0;
    }
    ODBRecord& record = odbComponent().ODBTable[slot];
    const int clicked = record.Clicked != 0 ? 1 : 0;
    record.Clicked = 0;
    return clicked;
}

int takeODBSlot(std::intptr_t hParent, const ODBProperties& props, std::intptr_t stockLightGreyBrush)
{
    ODBComponent& c = odbComponent();
    int slot = 0;
    for (int i = 1; i <= ODBMaxButtons; ++i) {
        if (c.ODBTable[i].Button == 0 || c.ODBTable[i].Button == ODBNeverUsed) {
            slot = i;
            break;
        }
    }
    if (slot == 0) {
        ShowNote(createODBLimitNote(), 0);
        return 0;
    }
    if (c.ODBTable[slot].Button == ODBNeverUsed) {
        c.ODBHighSlot = slot;
    }
    ODBRecord& record = c.ODBTable[slot];
    static_cast<ODBProperties&>(record) = resolveODBProperties(props, stockLightGreyBrush);
    record.Button = 0;
    record.Parent = hParent;
    record.Tracking = 0;
    record.Hot = 0;
    record.Clicked = 0;
    return slot;
}

void releaseODBSlot(int slot)
{
    ODBRecord& record = odbComponent().ODBTable[slot];
    record.Tracking = 0;
    record.Hot = 0;
    record.Button = 0;
}

int ODBOnButtonDestroyed(std::intptr_t hwnd)
{
    const int slot = ODBIndex(hwnd);
    if (slot == 0) {
        return 0;
    }
    releaseODBSlot(slot);
    return 1;
}

int ODBOnParentDestroyed(std::intptr_t hwnd)
{
    ODBComponent& c = odbComponent();
    int released = 0;
    for (int slot = 1; slot <= c.ODBHighSlot; ++slot) {
        if (c.ODBTable[slot].Button != 0 && c.ODBTable[slot].Parent == hwnd) {
            releaseODBSlot(slot);
            released = 1;
        }
    }
    return released;
}

} // namespace folvex
