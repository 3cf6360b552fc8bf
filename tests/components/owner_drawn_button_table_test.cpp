#include "components/owner_drawn_button_table.h"

#include "support/fakes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

namespace folvex {
namespace {

constexpr std::intptr_t StockGrey = 4242;

struct FallBackCase
{
    const char* label;
    std::function<void(ODBProperties&)> set;
    std::function<void(ODBProperties&)> expect; // applied to the record as a fully reset one resolves
};

// The record every reset record resolves to.
ODBProperties resolvedReset()
{
    ODBProperties p;
    p.BrushD = StockGrey;
    p.TextColorH = p.TextColorP = p.TextColorF = p.TextColorFH = p.TextColorFP = 0;
    p.TextColorD = ColorGrayText;
    p.BkColorH = p.BkColorP = p.BkColorF = p.BkColorFH = p.BkColorFP = p.BkColorD = 0;
    p.BkModeH = p.BkModeP = p.BkModeF = p.BkModeFH = p.BkModeFP = p.BkModeD = 1;
    p.ShadowColorH = p.ShadowColorP = p.ShadowColorF = p.ShadowColorFH = p.ShadowColorFP = 0;
    return p;
}

TEST(ODBFallBackTest, PartlySetRecordsResolveFieldByField)
{
    const FallBackCase cases[] = {
        {"reset record", [](ODBProperties&) {}, [](ODBProperties&) {}},
        {"BrushN spreads through H to FH and through P to FP",
         [](ODBProperties& p) { p.BrushN = 10; },
         [](ODBProperties& p) { p.BrushN = p.BrushH = p.BrushP = p.BrushF = p.BrushFH = p.BrushFP = 10; }},
        {"FH from H, FP from P",
         [](ODBProperties& p) {
             p.BrushN = 10;
             p.BrushH = 11;
             p.BrushP = 12;
         },
         [](ODBProperties& p) {
             p.BrushN = p.BrushF = 10;
             p.BrushH = p.BrushFH = 11;
             p.BrushP = p.BrushFP = 12;
         }},
        {"a set BrushD and BrushF stay",
         [](ODBProperties& p) {
             p.BrushF = 13;
             p.BrushD = 14;
         },
         [](ODBProperties& p) {
             p.BrushF = 13;
             p.BrushD = 14;
         }},
        {"pens: FH from H, FP from P, D never",
         [](ODBProperties& p) {
             p.PenN = 20;
             p.PenH = 21;
         },
         [](ODBProperties& p) {
             p.PenN = p.PenP = p.PenF = p.PenFP = 20;
             p.PenH = p.PenFH = 21;
         }},
        {"text colours: FH from H, FP from P, D grey",
         [](ODBProperties& p) {
             p.TextColorN = 0xFFFFFF;
             p.TextColorP = 0x0000FF;
         },
         [](ODBProperties& p) {
             p.TextColorN = p.TextColorH = p.TextColorF = p.TextColorFH = 0xFFFFFF;
             p.TextColorP = p.TextColorFP = 0x0000FF;
         }},
        {"unset N colours become black",
         [](ODBProperties& p) {
             p.TextColorN = -1;
             p.BkColorN = -1;
             p.ShadowColorN = -1;
         },
         [](ODBProperties&) {}},
        {"background colours: D from N",
         [](ODBProperties& p) {
             p.BkColorN = 0x00FF00;
             p.BkColorH = 0x0000FF;
         },
         [](ODBProperties& p) {
             p.BkColorN = p.BkColorP = p.BkColorF = p.BkColorFP = p.BkColorD = 0x00FF00;
             p.BkColorH = p.BkColorFH = 0x0000FF;
         }},
        {"modes: FH and FP from F",
         [](ODBProperties& p) {
             p.BkModeN = 2;
             p.BkModeH = 1;
             p.BkModeP = 1;
         },
         [](ODBProperties& p) {
             p.BkModeN = p.BkModeF = p.BkModeFH = p.BkModeFP = p.BkModeD = 2;
             p.BkModeH = p.BkModeP = 1;
         }},
        {"unset BkModeN becomes transparent", [](ODBProperties& p) { p.BkModeN = 0; }, [](ODBProperties&) {}},
        {"shadow colours: FH and FP from F",
         [](ODBProperties& p) {
             p.ShadowColorN = 0x111111;
             p.ShadowColorH = 0x222222;
             p.ShadowColorF = 0x333333;
         },
         [](ODBProperties& p) {
             p.ShadowColorN = p.ShadowColorP = 0x111111;
             p.ShadowColorH = 0x222222;
             p.ShadowColorF = p.ShadowColorFH = p.ShadowColorFP = 0x333333;
         }},
        {"font and shadow switch are copied",
         [](ODBProperties& p) {
             p.Font = 30;
             p.ShadowOn = 1;
         },
         [](ODBProperties& p) {
             p.Font = 30;
             p.ShadowOn = 1;
         }},
    };
    for (const FallBackCase& c : cases) {
        SCOPED_TRACE(c.label);
        ODBProperties props;
        c.set(props);
        ODBProperties expected = resolvedReset();
        c.expect(expected);
        const ODBProperties resolved = resolveODBProperties(props, StockGrey);
        EXPECT_EQ(std::memcmp(&resolved, &expected, sizeof expected), 0);
    }
}

TEST(ODBFaceTest, EachStateReadsItsOwnFieldsAndOnlyBkModeN)
{
    ODBRecord r;
    r.BrushN = 1, r.BrushH = 2, r.BrushP = 3, r.BrushF = 4, r.BrushFH = 5, r.BrushFP = 6, r.BrushD = 7;
    r.PenN = 11, r.PenH = 12, r.PenP = 13, r.PenF = 14, r.PenFH = 15, r.PenFP = 16, r.PenD = 17;
    r.TextColorN = 21, r.TextColorH = 22, r.TextColorP = 23, r.TextColorF = 24, r.TextColorFH = 25;
    r.TextColorFP = 26, r.TextColorD = 27;
    r.BkColorN = 31, r.BkColorH = 32, r.BkColorP = 33, r.BkColorF = 34, r.BkColorFH = 35, r.BkColorFP = 36;
    r.BkColorD = 37;
    r.BkModeN = 2, r.BkModeH = 1, r.BkModeD = 1;
    r.ShadowColorN = 41, r.ShadowColorH = 42, r.ShadowColorP = 43, r.ShadowColorF = 44;
    r.ShadowColorFH = 45, r.ShadowColorFP = 46;
    r.ShadowOn = 1;
    const ODBState states[] = {
        ODBState::N, ODBState::H, ODBState::P, ODBState::F, ODBState::FH, ODBState::FP, ODBState::D};
    for (int i = 0; i < 7; ++i) {
        SCOPED_TRACE(i);
        const ODBFace face = odbFace(r, states[i]);
        EXPECT_EQ(face.brush, 1 + i);
        EXPECT_EQ(face.pen, 11 + i);
        EXPECT_EQ(face.textColor, 21 + i);
        EXPECT_EQ(face.bkColor, 31 + i);
        EXPECT_EQ(face.bkMode, 2);
        EXPECT_EQ(face.shadow, states[i] != ODBState::D);
        if (states[i] != ODBState::D) {
            EXPECT_EQ(face.shadowColor, 41 + i);
        }
    }
    r.ShadowOn = 2;
    EXPECT_FALSE(odbFace(r, ODBState::N).shadow);
}

TEST(ODBSlotTest, ClickedIsReadOnceAndUnknownHandlesGiveZero)
{
    odbComponent() = ODBComponent{};
    const int first = takeODBSlot(5000, ODBProperties{}, StockGrey);
    ASSERT_EQ(first, 1);
    odbComponent().ODBTable[first].Button = 6001;
    odbComponent().ODBTable[first].Clicked = 1;
    ASSERT_EQ(takeODBSlot(5000, ODBProperties{}, StockGrey), 2);
    // The second slot never got its control: it is free, and 0 finds no slot.
    EXPECT_EQ(ODBIndex(0), 0);
    EXPECT_EQ(ODBClicked(0), 0);
    EXPECT_EQ(ODBClicked(6001), 1);
    EXPECT_EQ(ODBClicked(6001), 0);
    EXPECT_EQ(ODBClicked(6002), 0);
    EXPECT_EQ(takeODBSlot(5000, ODBProperties{}, StockGrey), 2);
    EXPECT_EQ(odbComponent().ODBHighSlot, 2);
    odbComponent() = ODBComponent{};
}

} // namespace
} // namespace folvex
