#include "components/button_faces.h"

#include "support/fakes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <set>

namespace folvex {
namespace {

// Keeps a copy of every pattern so the tests can read the faces' pixels.
class RecordingFaceObjects final : public FaceObjects
{
public:
    Handle createPatternBrush(const DibBitmap& pattern) override
    {
        const Handle brush = allocateHandle();
        patterns[brush] = pattern;
        return brush;
    }

    Handle createNullPen() override
    {
        const Handle pen = allocateHandle();
        nullPens.insert(pen);
        return pen;
    }

    void deleteObject(Handle object) override { deleted.push_back(object); }

    RgbColor pixel(Handle brush, int x, int y) const
    {
        const DibBitmap& bitmap = patterns.at(brush);
        const int bytes = bitmap.bitCount / 8;
        const std::uint8_t* p = bitmap.rowTopDown(y) + x * bytes;
        return {p[2], p[1], p[0]};
    }

    std::map<Handle, DibBitmap> patterns;
    std::set<Handle> nullPens;
    std::vector<Handle> deleted;
};

// A fresh faces state with the recording objects and fake effects for every test.
class ButtonFacesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        buttonFaces() = ButtonFaces{};
        buttonFaces().objects = &objects;
    }

    void TearDown() override { buttonFaces() = ButtonFaces{}; }

    RecordingFaceObjects objects;
    testing::ScopedFakeEffects fakes;
};

struct PixelCase
{
    const char* label;
    const char* colourName;
    char state; // 'N', 'H', 'P' or 'F'
    int row;
    RgbColor expected;
};

TEST_F(ButtonFacesTest, GradientBrushesHoldTheirColumns)
{
    CreatePreBuiltODBBrushes();
    const PixelCase cases[] = {
        {"red N top", "red", 'N', 0, {230, 0, 0}},
        {"red N bottom", "red", 'N', 29, {172, 0, 0}},
        {"orange N top", "orange", 'N', 0, {230, 127, 0}},
        {"orange N bottom", "orange", 'N', 29, {172, 95, 0}},
        {"orange P top", "orange", 'P', 0, {197, 108, 0}},
        {"orange H row 5 rounds 134.75 up", "orange", 'H', 5, {245, 135, 0}},
        {"blue H bottom", "blue", 'H', 29, {50, 50, 168}},
        {"black N top", "black", 'N', 0, {0, 0, 0}},
        {"pink H bottom", "pink", 'H', 29, {247, 145, 247}},
        {"yellow F top", "yellow", 'F', 0, {245, 235, 0}},
        {"silver P bottom", "silver", 'P', 29, {235, 235, 235}},
    };
    for (const PixelCase& c : cases) {
        SCOPED_TRACE(c.label);
        ODBProperties props;
        PrepareODB(props, c.colourName);
        const Handle brush = c.state == 'N'   ? props.BrushN
                             : c.state == 'H' ? props.BrushH
                             : c.state == 'P' ? props.BrushP
                                              : props.BrushF;
        ASSERT_TRUE(objects.patterns.count(brush));
        EXPECT_EQ(objects.patterns.at(brush).width, 1);
        EXPECT_EQ(objects.patterns.at(brush).height, 30);
        EXPECT_EQ(objects.pixel(brush, 0, c.row), c.expected);
    }
    EXPECT_EQ(objects.patterns.size(), 36u);
    EXPECT_EQ(objects.nullPens.size(), 1u);
}

TEST_F(ButtonFacesTest, PrepareODBFillsTheNamedSetInAnyCase)
{
    CreatePreBuiltODBBrushes();
    ODBProperties silver;
    silver.Font = 77;
    PrepareODB(silver, "SiLvEr");
    EXPECT_EQ(silver.Font, 0);
    EXPECT_EQ(objects.pixel(silver.BrushN, 0, 0), (RgbColor{210, 210, 210}));
    EXPECT_EQ(objects.pixel(silver.BrushH, 0, 0), (RgbColor{235, 235, 235}));
    EXPECT_EQ(objects.pixel(silver.BrushF, 0, 0), (RgbColor{225, 225, 225}));
    EXPECT_EQ(objects.pixel(silver.BrushP, 0, 0), (RgbColor{177, 177, 177}));
    EXPECT_EQ(silver.BrushFH, 0);
    EXPECT_EQ(silver.BrushFP, silver.BrushP);
    EXPECT_EQ(silver.BrushD, 0);
    EXPECT_TRUE(objects.nullPens.count(silver.PenN));
    EXPECT_EQ(silver.PenD, 0);
    EXPECT_EQ(silver.TextColorN, 0x000000);

    ODBProperties red;
    PrepareODB(red, "RED");
    EXPECT_EQ(red.TextColorN, 0xFFFFFF);
    EXPECT_EQ(red.PenN, silver.PenN);
    EXPECT_TRUE(fakes.messages.shown.empty());
}

TEST_F(ButtonFacesTest, PrepareODBWithAnUnknownNameAsksAndLeavesTheRecordReset)
{
    CreatePreBuiltODBBrushes();
    fakes.messages.queueAnswer(MessageAnswer::Ok);
    ODBProperties props;
    PrepareODB(props, "green");
    PrepareODB(props, "lila");
    ASSERT_EQ(fakes.messages.shown.size(), 1u);
    EXPECT_EQ(fakes.messages.shown[0].text, "PrepareODB: Parameter unbekannt (lila)");
    EXPECT_EQ(fakes.messages.shown[0].buttons, MessageButtons::OkCancel);
    ODBProperties reset;
    ResetODBProperties(reset);
    EXPECT_EQ(std::memcmp(&props, &reset, sizeof props), 0);

    fakes.messages.queueAnswer(MessageAnswer::Cancel);
    EXPECT_THROW(PrepareODB(props, "Lila"), testing::ProgramEnded);
}

TEST_F(ButtonFacesTest, SpreadFromHeight)
{
    struct Case
    {
        int height;
        float spread;
        float expected;
    };

    const Case cases[] = {
        {20, -999.0f, 0.03f},
        {29, -999.0f, 0.03f},
        {30, -999.0f, 0.05f},
        {35, -999.0f, 0.05f},
        {39, -999.0f, 0.05f},
        {40, -999.0f, 0.04f},
        {50, -999.0f, 0.04f},
        {50, 0.02f, 0.02f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.height);
        EXPECT_EQ(arcSpread(c.height, c.spread), c.expected);
    }
}

// The shading ramp of a state: what a face shows wherever the highlight does not.
RgbColor ramp(RgbColor shading, int darker, int y)
{
    const int k = 2 * (y + 1); // 60 / 30 per row
    const int s = darker ? -k : k;
    return {
        std::clamp(shading.r + s, 0, 255),
        std::clamp(shading.g + s, 0, 255),
        std::clamp(shading.b + s, 0, 255)};
}

TEST_F(ButtonFacesTest, RedArcFacesOf200By30)
{
    const int index = ODBCreateArcODBBrushes(200, 30, "red", 0.02f);
    ASSERT_EQ(index, 1);
    const ArcBrushSetEntry& set = buttonFaces().ArcBrushSet[index];
    EXPECT_TRUE(objects.nullPens.count(set.Pen));
    EXPECT_EQ(set.TextColor, 0xFFFFFFu);

    struct Face
    {
        const char* label;
        Handle brush;
        RgbColor shading;
        int darker;
        bool focused;
    };

    const Face faces[] = {
        {"N", set.BrushN, {220, 0, 0}, 1, false},
        {"H", set.BrushH, {250, 0, 0}, 1, false},
        {"P", set.BrushP, {190, 0, 0}, 0, false},
        {"F", set.BrushF, {220, 0, 0}, 1, true},
        {"FH", set.BrushFH, {250, 0, 0}, 1, true},
        {"FP", set.BrushFP, {190, 0, 0}, 0, true},
    };
    for (const Face& face : faces) {
        SCOPED_TRACE(face.label);
        ASSERT_EQ(objects.patterns.at(face.brush).width, 200);
        ASSERT_EQ(objects.patterns.at(face.brush).height, 30);
        int highlighted = 0;
        for (int y = 0; y < 30; ++y) {
            for (int x = 0; x < 200; ++x) {
                const RgbColor p = objects.pixel(face.brush, x, y);
                if (p == ramp(face.shading, face.darker, y)) {
                    continue;
                }
                ++highlighted;
                ASSERT_TRUE(face.focused) << x << "," << y;
                ASSERT_TRUE(x != 0 && x != 1 && x != 198 && x != 199) << x << "," << y;
                // Highlight base (220, 0, 0) lightened by I ≤ 70.
                ASSERT_EQ(p.g, p.b);
                ASSERT_EQ(p.r, std::min(220 + p.g, 255));
                ASSERT_LE(p.g, 70);
            }
        }
        if (face.focused) {
            EXPECT_GT(highlighted, 200);
        }
    }
    EXPECT_EQ(objects.pixel(set.BrushN, 0, 0), (RgbColor{218, 0, 0}));
    EXPECT_EQ(objects.pixel(set.BrushN, 57, 29), (RgbColor{160, 0, 0}));
    // Lighter downwards adds k to every channel, so green and blue rise from 0 as red does.
    EXPECT_EQ(objects.pixel(set.BrushP, 0, 0), (RgbColor{192, 2, 2}));
    EXPECT_EQ(objects.pixel(set.BrushP, 0, 29), (RgbColor{250, 60, 60}));
    EXPECT_EQ(objects.pixel(set.BrushF, 100, 3), (RgbColor{255, 70, 70}));
    EXPECT_EQ(objects.pixel(set.BrushF, 100, 29), (RgbColor{160, 0, 0}));
}

TEST_F(ButtonFacesTest, AHighlightShowsOnWhiteButNotOnAFullBase)
{
    const int index = ODBCreateArcODBBrushes(100, 20, "White", 0.02f);
    const ArcBrushSetEntry& set = buttonFaces().ArcBrushSet[index];
    // Hot white is darker than normal white, and the arc lightens the base 230 up to 255.
    EXPECT_EQ(objects.pixel(set.BrushH, 50, 19), (RgbColor{170, 170, 170}));
    EXPECT_EQ(objects.pixel(set.BrushN, 50, 19), (RgbColor{195, 195, 195}));
    bool lit = false;
    for (int x = 0; x < 100 && !lit; ++x) {
        lit = objects.pixel(set.BrushF, x, 2).r == 255 && objects.pixel(set.BrushF, x, 2).g == 255;
    }
    EXPECT_TRUE(lit);

    const Handle image = RenderArcODBImage(100, 20, {255, 255, 255}, {100, 100, 100}, 0.02f, 60, 1, 1);
    const DibBitmap* bitmap = findImage(image);
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(bitmap->bitCount, 32);
    for (int y = 0; y < 20; ++y) {
        const std::uint8_t expected = static_cast<std::uint8_t>(100 - 3 * (y + 1));
        for (int x = 0; x < 100; ++x) {
            ASSERT_EQ(bitmap->rowTopDown(y)[4 * x + 1], expected) << x << "," << y;
        }
    }
    freeImage(image);
}

TEST_F(ButtonFacesTest, ThinAndEmptyFacesRenderWithoutDividingByZero)
{
    const Handle dot = RenderArcODBImage(1, 1, {220, 0, 0}, {220, 0, 0}, 0.02f, 60, 1, 1);
    ASSERT_NE(findImage(dot), nullptr);
    // fx = 0 lies left of the arc: only the shading, 60 darker in the single row.
    EXPECT_EQ(findImage(dot)->rowTopDown(0)[2], 160);
    EXPECT_EQ(findImage(dot)->rowTopDown(0)[1], 0);
    freeImage(dot);

    const Handle line = RenderArcODBImage(100, 1, {220, 0, 0}, {220, 0, 0}, 0.02f, 60, 2, 1);
    ASSERT_NE(findImage(line), nullptr);
    freeImage(line);

    EXPECT_EQ(RenderArcODBImage(0, 20, {0, 0, 0}, {0, 0, 0}, 0.02f, 60, 1, 1), NoHandle);
    EXPECT_EQ(RenderArcODBImage(20, -1, {0, 0, 0}, {0, 0, 0}, 0.02f, 60, 1, 1), NoHandle);

    // A spread of 0 leaves no highlight anywhere, not even on the curve.
    const Handle sharp = RenderArcODBImage(200, 30, {220, 0, 0}, {220, 0, 0}, 0.0f, 60, 1, 1);
    for (int y = 0; y < 30; ++y) {
        for (int x = 0; x < 200; ++x) {
            ASSERT_EQ(findImage(sharp)->rowTopDown(y)[4 * x + 1], 0) << x << "," << y;
        }
    }
    freeImage(sharp);
}

TEST(ArcGeometryTest, SolveQuadratic01)
{
    struct Case
    {
        const char* label;
        float a, b, c;
        float expected;
    };

    const Case cases[] = {
        {"root in the middle", 1.0f, 0.0f, -0.25f, 0.5f},
        {"first root outside, second at 1", 1.0f, -3.0f, 2.0f, 1.0f},
        {"root at 0", 1.0f, 1.0f, 0.0f, 0.0f},
        {"both roots inside, the larger first", 1.0f, -1.0f, 0.0f, 1.0f},
        {"linear", 0.0f, 2.0f, -1.0f, 0.5f},
        {"linear root outside", 0.0f, 2.0f, 1.0f, -1.0f},
        {"constant", 0.0f, 0.0f, 1.0f, -1.0f},
        {"no real root", 1.0f, 0.0f, 1.0f, -1.0f},
        {"both roots outside", 1.0f, 0.0f, -4.0f, -1.0f},
        {"the arc at x = 0.5", 0.9f, 0.08f, 0.01f - 0.5f, 0.69476f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_NEAR(SolveQuadratic01(c.a, c.b, c.c), c.expected, 1e-4f);
    }
}

TEST(ArcGeometryTest, ArcHighlightAtKnownPoints)
{
    struct Case
    {
        const char* label;
        float x, y, spread;
        float expected;
    };

    const float halfHeight = std::exp(-0.5f);
    const Case cases[] = {
        {"start of the arc", 0.01f, 0.39f, 0.02f, 1.0f},
        {"one half-spread below the start", 0.01f, 0.40f, 0.02f, halfHeight},
        {"end of the arc", 0.99f, 0.10f, 0.02f, 1.0f},
        {"middle of the arc", 0.275f, 0.1475f, 0.02f, 1.0f},
        {"one spread above the middle", 0.275f, 0.1275f, 0.02f, halfHeight},
        {"far below the middle", 0.275f, 0.9f, 0.02f, 0.0f},
        {"left of the arc", 0.005f, 0.39f, 0.02f, 0.0f},
        {"right of the arc", 0.995f, 0.10f, 0.02f, 0.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_NEAR(ArcHighlight(c.x, c.y, c.spread), c.expected, 2e-3f);
    }
    EXPECT_EQ(ClampF(-1.0f, 0.0f, 255.0f), 0.0f);
    EXPECT_EQ(ClampF(300.0f, 0.0f, 255.0f), 255.0f);
    EXPECT_EQ(ClampF(70.0f, 0.0f, 255.0f), 70.0f);
}

TEST_F(ButtonFacesTest, ArcSetTableReusesTheLowestFreeEntryAndGrows)
{
    for (int i = 1; i <= 10; ++i) {
        EXPECT_EQ(ODBCreateArcODBBrushes(100, 20, "blue", 0.02f), i);
    }
    EXPECT_EQ(buttonFaces().ArcSetCapacity, 10);
    EXPECT_EQ(ODBCreateArcODBBrushes(100, 20, "green", 0.02f), 11);
    EXPECT_EQ(buttonFaces().ArcSetCapacity, 20);
    EXPECT_NE(buttonFaces().ArcBrushSet[4].BrushN, 0);

    const ArcBrushSetEntry third = buttonFaces().ArcBrushSet[3];
    FreeArcODBBrushes(3);
    const std::vector<Handle> thirdObjects{
        third.BrushN, third.BrushH, third.BrushP, third.BrushF, third.BrushFH, third.BrushFP, third.Pen};
    EXPECT_EQ(objects.deleted, thirdObjects);
    FreeArcODBBrushes(3);
    EXPECT_EQ(objects.deleted.size(), 7u);
    EXPECT_EQ(ODBCreateArcODBBrushes(150, 30, "cyan", -999.0f), 3);
    EXPECT_EQ(ODBCreateArcODBBrushes(150, 30, "cyan", -999.0f), 12);
}

TEST_F(ButtonFacesTest, UnknownArcNameGivesTheNoteAndAFreeEntry)
{
    ODBCreateArcODBBrushes(100, 20, "red", 0.02f);
    fakes.messages.queueAnswer(MessageAnswer::Ok);
    const std::size_t made = objects.patterns.size();
    const int index = ODBCreateArcODBBrushes(100, 20, "magenta", 0.02f);
    EXPECT_EQ(index, 2);
    ASSERT_EQ(fakes.messages.shown.size(), 1u);
    EXPECT_EQ(fakes.messages.shown[0].text, "ODBCreateArcODBBrushes: Parameter unbekannt (\"magenta\")");
    EXPECT_EQ(fakes.messages.shown[0].buttons, MessageButtons::OkCancel);
    EXPECT_EQ(objects.patterns.size(), made);

    ODBProperties props;
    props.BrushN = 5;
    PrepareArcODB(props, index);
    ODBProperties reset;
    EXPECT_EQ(std::memcmp(&props, &reset, sizeof props), 0);
    EXPECT_EQ(ODBCreateArcODBBrushes(100, 20, "Brown", 0.02f), index);
}

TEST_F(ButtonFacesTest, PrepareArcODBAndIndicesThatNameNoSet)
{
    const int index = ODBCreateArcODBBrushes(150, 20, "yellow", 0.02f);
    ODBProperties props;
    PrepareArcODB(props, index);
    const ArcBrushSetEntry& set = buttonFaces().ArcBrushSet[index];
    EXPECT_EQ(props.BrushN, set.BrushN);
    EXPECT_EQ(props.BrushFH, set.BrushFH);
    EXPECT_EQ(props.BrushFP, set.BrushFP);
    EXPECT_EQ(props.BrushD, 0);
    EXPECT_EQ(props.PenN, set.Pen);
    EXPECT_EQ(props.TextColorN, 0);
    EXPECT_EQ(props.TextColorH, -1);

    const ODBProperties reset;
    for (const int outside : {0, -1, 11, 1000000}) {
        SCOPED_TRACE(outside);
        props.BrushN = 9;
        PrepareArcODB(props, outside);
        EXPECT_EQ(std::memcmp(&props, &reset, sizeof props), 0);
        FreeArcODBBrushes(outside);
        EXPECT_TRUE(objects.deleted.empty());
    }
}

TEST_F(ButtonFacesTest, FreePreBuiltODBBrushesDeletesEverything)
{
    CreatePreBuiltODBBrushes();
    ODBCreateArcODBBrushes(100, 20, "red", 0.02f);
    ODBCreateArcODBBrushes(100, 20, "black", 0.02f);
    FreeArcODBBrushes(1);
    FreePreBuiltODBBrushes();
    std::set<Handle> made;
    for (const auto& [brush, pattern] : objects.patterns) {
        made.insert(brush);
    }
    made.insert(objects.nullPens.begin(), objects.nullPens.end());
    const std::set<Handle> deleted(objects.deleted.begin(), objects.deleted.end());
    EXPECT_EQ(deleted, made);
    EXPECT_EQ(deleted.size(), objects.deleted.size());
    FreePreBuiltODBBrushes();
    EXPECT_EQ(deleted.size(), objects.deleted.size());
}

} // namespace
} // namespace folvex
