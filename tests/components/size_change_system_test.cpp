#include "components/size_change_system.h"

#include "support/fakes.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace folvex {
namespace {

// A scripted window system: top-level windows are client rectangles on the screen with a caption
// above and a frame around; controls are rectangles in their parent's client area.
class FakeWindowSystem final : public SCSWindowSystem
{
public:
    static constexpr int Frame = 4;
    static constexpr int DialogFrame = 3;
    static constexpr int Caption = 23;

    struct Window
    {
        Handle parent = NoHandle; // NoHandle for a top-level window
        int x = 0;                // screen position of the client area, or position in the parent
        int y = 0;
        int width = 0;
        int height = 0;
        bool sizingFrame = true;
    };

    struct Subclass
    {
        Handle window;
        SCSSubclassCall call;
        std::uintptr_t id;
        std::intptr_t refData;
    };

    Handle addWindow(int x, int y, int width, int height)
    {
        const Handle handle = allocateHandle();
        windows[handle] = {NoHandle, x, y, width, height, true};
        return handle;
    }

    Handle addControl(Handle parent, int x, int y, int width, int height)
    {
        const Handle handle = allocateHandle();
        windows[handle] = {parent, x, y, width, height, false};
        return handle;
    }

    int frameOf(const Window& w) const { return w.sizingFrame ? Frame : DialogFrame; }

    // Client area origin on the screen.
    int originX(Handle handle) const
    {
        const Window& w = windows.at(handle);
        return w.parent == NoHandle ? w.x : originX(w.parent) + w.x;
    }

    int originY(Handle handle) const
    {
        const Window& w = windows.at(handle);
        return w.parent == NoHandle ? w.y : originY(w.parent) + w.y;
    }

    int windowLeft(Handle h) override
    {
        if (!windows.contains(h)) {
            return 0;
        }
        const Window& w = windows.at(h);
        return originX(h) - (w.parent == NoHandle ? frameOf(w) : 0);
    }

    int windowTop(Handle h) override
    {
        if (!windows.contains(h)) {
            return 0;
        }
        const Window& w = windows.at(h);
        return originY(h) - (w.parent == NoHandle ? frameOf(w) + Caption : 0);
    }

    int windowRight(Handle h) override
    {
        if (!windows.contains(h)) {
            return 0;
        }
        const Window& w = windows.at(h);
        return originX(h) + w.width + (w.parent == NoHandle ? frameOf(w) : 0);
    }

    int windowBottom(Handle h) override
    {
        if (!windows.contains(h)) {
            return 0;
        }
        const Window& w = windows.at(h);
        return originY(h) + w.height + (w.parent == NoHandle ? frameOf(w) : 0);
    }

    int clientWidth(Handle h) override { return windows.contains(h) ? windows.at(h).width : 0; }

    int clientHeight(Handle h) override { return windows.contains(h) ? windows.at(h).height : 0; }

    bool hasSizingFrame(Handle h) override { return windows.contains(h) && windows.at(h).sizingFrame; }

    int frameWidth() override { return Frame; }

    int dialogFrameWidth() override { return DialogFrame; }

    int desktopMouseX() override { return mouseX; }

    int desktopMouseY() override { return mouseY; }

    void moveControl(Handle control, int x, int y, int width, int height) override
    {
        Window& w = windows.at(control);
        w.x = x;
        w.y = y;
        w.width = width;
        w.height = height;
    }

    void redraw(Handle window) override { redrawn.push_back(window); }

    void
    installSubclass(Handle window, SCSSubclassCall call, std::uintptr_t id, std::intptr_t refData) override
    {
        subclasses.push_back({window, std::move(call), id, refData});
        installedIds.push_back(id);
    }

    void removeSubclass(Handle window, std::uintptr_t id) override
    {
        std::erase_if(subclasses, [&](const Subclass& s) { return s.window == window && s.id == id; });
    }

    std::intptr_t defaultSubclassProc(Handle, std::uint32_t, std::uintptr_t, std::intptr_t) override
    {
        return 0;
    }

    // Delivers a message to every subclass of a window.
    void send(Handle window, std::uint32_t msg)
    {
        const std::vector<Subclass> current = subclasses;
        for (const Subclass& s : current) {
            if (s.window == window) {
                s.call(window, msg, 0, 0, s.id, s.refData);
            }
        }
    }

    int subclassCount(Handle window) const
    {
        return static_cast<int>(std::count_if(
            subclasses.begin(), subclasses.end(), [&](const Subclass& s) { return s.window == window; }));
    }

    SCSFontMeasure measureFont(Handle control) override
    {
        const auto it = controlFonts.find(control);
        return it != controlFonts.end() ? it->second : SCSFontMeasure{16, 7, 400, false, false, "System"};
    }

    struct FontRequest
    {
        int height;
        int width;
        int weight;
        bool italic;
        bool underline;
        std::string faceName;
    };

    Handle createFont(
        int height, int width, int weight, bool italic, bool underline, const std::string& faceName) override
    {
        const Handle font = allocateHandle();
        fonts[font] = {height, width, weight, italic, underline, faceName};
        return font;
    }

    void deleteFont(Handle font) override { EXPECT_EQ(fonts.erase(font), 1u) << "font deleted twice"; }

    void setControlFont(Handle control, Handle font) override { fontOf[control] = font; }

    void registerSplitterClasses() override { splitterClassesRegistered = true; }

    void unregisterSplitterClasses() override { splitterClassesRegistered = false; }

    std::map<Handle, Window> windows;
    std::vector<Subclass> subclasses;
    std::vector<std::uintptr_t> installedIds;
    std::vector<Handle> redrawn;
    std::map<Handle, SCSFontMeasure> controlFonts;
    std::map<Handle, FontRequest> fonts;
    std::map<Handle, Handle> fontOf;
    bool splitterClassesRegistered = false;
    int mouseX = 0;
    int mouseY = 0;
};

const SizeChangeSystem::SubclassProcedure Proc = &SizeChangeSystem::SCSSubclassProc;

// A started component with one 400 × 300 window and one plain control on it.
class SizeChangeRegistryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        scs.InitSCS();
        window = ws.addWindow(100, 50, 400, 300);
        scs.SCSAddWindow(window);
        partner = ws.addControl(window, 10, 10, 100, 30);
        scs.SCSAddControl(partner, window, 0);
    }

    // Runs a registry operation that must refuse: the note, the release and exit code 0.
    template <typename Operation>
    void expectRefusal(const std::string& shownText, Operation operation)
    {
        fakes.messages.queueAnswer(MessageAnswer::Ok);
        const std::size_t notesBefore = fakes.messages.shown.size();
        EXPECT_THROW(operation(), testing::ProgramEnded);
        ASSERT_EQ(fakes.messages.shown.size(), notesBefore + 1);
        EXPECT_EQ(fakes.messages.shown[notesBefore].text, shownText);
        EXPECT_EQ(fakes.messages.shown[notesBefore].buttons, MessageButtons::Ok);
        EXPECT_EQ(fakes.exit.codes, std::vector<int>{0});
        EXPECT_FALSE(scs.initialised());
        EXPECT_EQ(scs.controls().count, 0);
        EXPECT_EQ(scs.windows().count, 0);
        EXPECT_TRUE(ws.subclasses.empty()) << "the release unhooks every window";
        EXPECT_FALSE(ws.splitterClassesRegistered);
    }

    testing::ScopedFakeEffects fakes;
    FakeWindowSystem ws;
    SizeChangeSystem scs{ws};
    Handle window = NoHandle;
    Handle partner = NoHandle;
};

TEST_F(SizeChangeRegistryTest, AddControlChecksFlagsPartnersAndParent)
{
    const Handle unregistered = 999999;

    struct Case
    {
        const char* label;
        std::uint32_t flags;
        Handle bindX1;
        Handle bindY1;
        Handle bindX2;
        Handle bindY2;
        bool zeroSizedParent;
        std::optional<std::string> refusal; // as the note shows it; none: accepted
    };

    const Handle p = -1; // stands for the registered partner
    const std::vector<Case> cases = {
        {"no flags", 0, 0, 0, 0, 0, false, std::nullopt},
        {"do nothing alone", scs_DO_NOTHING, 0, 0, 0, 0, false, std::nullopt},
        {"do nothing with another bit",
         scs_DO_NOTHING | scs_BIND_X1,
         0,
         0,
         0,
         0,
         false,
         "SCSAddControl: #scs_DO_NOTHING gesetzt, aber trotzdem noch andere Flags angegeben"},
        {"do nothing with a meaningless bit",
         scs_DO_NOTHING | 0x200,
         0,
         0,
         0,
         0,
         false,
         "SCSAddControl: #scs_DO_NOTHING gesetzt, aber trotzdem noch andere Flags angegeben"},
        {"partner X1 zero",
         scs_BIND_X1_CONTROL,
         0,
         0,
         0,
         0,
         false,
         "SCSAddControl: BIND: _SCS_hBindX1=0, soll aber als Binding-Partner fungieren"},
        {"partner X1 not registered",
         scs_BIND_X1_CONTROL,
         unregistered,
         0,
         0,
         0,
         false,
         "SCSAddControl: BIND: _SCS_hBindX1 wurde noch nicht geadded, soll aber als Binding-Partner "
         "fungieren"},
        {"existence checks before zero checks",
         scs_BIND_X1_CONTROL | scs_BIND_Y2_CONTROL,
         0,
         0,
         0,
         unregistered,
         false,
         "SCSAddControl: BIND: _SCS_hBindY2 wurde noch nicht geadded, soll aber als Binding-Partner "
         "fungieren"},
        {"existence checked Y1 before X2",
         scs_BIND_X2_CONTROL | scs_BIND_Y1_CONTROL,
         0,
         unregistered,
         unregistered,
         0,
         false,
         "SCSAddControl: BIND: _SCS_hBindY1 wurde noch nicht geadded, soll aber als Binding-Partner "
         "fungieren"},
        {"partner Y1 zero",
         scs_BIND_Y1_CONTROL | scs_BIND_X2_CONTROL,
         0,
         0,
         0,
         0,
         false,
         "SCSAddControl: BIND: _SCS_hBindY1=0, soll aber als Binding-Partner fungieren"},
        {"partner X2 zero",
         scs_BIND_X2_CONTROL,
         0,
         0,
         0,
         0,
         false,
         "SCSAddControl: BIND: _SCS_hBindX2=0, soll aber als Binding-Partner fungieren"},
        {"partner Y2 zero",
         scs_BIND_Y2_CONTROL,
         0,
         0,
         0,
         0,
         false,
         "SCSAddControl: BIND: _SCS_hBindY2=0, soll aber als Binding-Partner fungieren"},
        {"left edge bound twice",
         scs_BIND_X1 | scs_BIND_X1_CONTROL,
         p,
         0,
         0,
         0,
         false,
         "SCSAddControl:\rselbes #scs_BIND_XXX und #scs_BIND_XXX_CONTROL können nicht zusammen verwendet "
         "werden"},
        {"bottom edge bound twice",
         scs_BIND_Y2 | scs_BIND_Y2_CONTROL,
         0,
         0,
         0,
         p,
         false,
         "SCSAddControl:\rselbes #scs_BIND_XXX und #scs_BIND_XXX_CONTROL können nicht zusammen verwendet "
         "werden"},
        {"both sides and growth",
         scs_BIND_X1 | scs_BIND_X2 | scs_ASPECT_X,
         0,
         0,
         0,
         0,
         false,
         "SCSAddControl:\rDoppelbindung in einer Achse und zugleich #scs_ASPECT können nicht zusammen "
         "verwendet "
         "werden"},
        {"partner and side and growth",
         scs_BIND_Y1 | scs_BIND_Y2_CONTROL | scs_ASPECT_Y,
         0,
         0,
         0,
         p,
         false,
         "SCSAddControl:\rDoppelbindung in einer Achse und zugleich #scs_ASPECT können nicht zusammen "
         "verwendet "
         "werden"},
        {"left side and growth", scs_BIND_X1 | scs_ASPECT_X, 0, 0, 0, 0, false, std::nullopt},
        {"right side and growth", scs_BIND_X2 | scs_ASPECT_X, 0, 0, 0, 0, false, std::nullopt},
        {"both sides, growth on the other axis",
         scs_BIND_X1 | scs_BIND_X2 | scs_ASPECT_Y,
         0,
         0,
         0,
         0,
         false,
         std::nullopt},
        {"every partner", 0x800 | 0x1000 | 0x2000 | 0x4000, p, p, p, p, false, std::nullopt},
        {"zero-sized parent",
         0,
         0,
         0,
         0,
         0,
         true,
         "SCSAddControl:\rDas Parent-Window ist aktuell minimiert. Das ergibt einen "
         "Division-durch-0-Fehler."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        testing::ScopedFakeEffects caseFakes;
        FakeWindowSystem caseWs;
        SizeChangeSystem caseScs(caseWs);
        caseScs.InitSCS();
        const Handle parent = caseWs.addWindow(0, 0, 400, 300);
        caseScs.SCSAddWindow(parent);
        const Handle registered = caseWs.addControl(parent, 5, 5, 50, 20);
        caseScs.SCSAddControl(registered, parent, 0);
        if (c.zeroSizedParent) {
            caseWs.windows[parent].height = 0;
        }
        const auto partnerOf = [&](Handle h) { return h == p ? registered : h; };
        caseScs.SCS_hBindX1 = partnerOf(c.bindX1);
        caseScs.SCS_hBindY1 = partnerOf(c.bindY1);
        caseScs.SCS_hBindX2 = partnerOf(c.bindX2);
        caseScs.SCS_hBindY2 = partnerOf(c.bindY2);
        const Handle control = caseWs.addControl(parent, 100, 100, 60, 20);

        if (c.refusal) {
            caseFakes.messages.queueAnswer(MessageAnswer::Ok);
            EXPECT_THROW(caseScs.SCSAddControl(control, parent, c.flags), testing::ProgramEnded);
            ASSERT_EQ(caseFakes.messages.shown.size(), 1u);
            EXPECT_EQ(caseFakes.messages.shown[0].text, *c.refusal);
            EXPECT_EQ(caseFakes.messages.shown[0].title, "Hinweis");
            EXPECT_EQ(caseFakes.messages.shown[0].buttons, MessageButtons::Ok);
            EXPECT_EQ(caseFakes.exit.codes, std::vector<int>{0});
            EXPECT_FALSE(caseScs.initialised()) << "refusal releases the component";
            EXPECT_EQ(caseScs.controls().count, 0);
            EXPECT_EQ(caseScs.windows().count, 0);
            EXPECT_TRUE(caseWs.subclasses.empty());
        } else {
            EXPECT_EQ(caseScs.SCSAddControl(control, parent, c.flags), 1);
            EXPECT_TRUE(caseFakes.messages.shown.empty());
            ASSERT_EQ(caseScs.controls().count, 2);
            EXPECT_EQ(caseScs.controls()[2].hControl, control);
            EXPECT_EQ(caseScs.controls()[2].flags, c.flags);
            EXPECT_EQ(caseScs.controls()[2].parentRow, 1);
            EXPECT_EQ(caseScs.SCS_hBindX1, NoHandle);
            EXPECT_EQ(caseScs.SCS_hBindY1, NoHandle);
            EXPECT_EQ(caseScs.SCS_hBindX2, NoHandle);
            EXPECT_EQ(caseScs.SCS_hBindY2, NoHandle);
        }
    }
}

TEST_F(SizeChangeRegistryTest, PartnerGlobalsWithoutTheirFlagAreIgnoredAndCleared)
{
    scs.SCS_hBindX1 = partner;
    scs.SCS_hBindX2 = partner;
    scs.SCS_hBindY1 = 4711;
    scs.SCS_hBindY2 = partner;
    const Handle control = ws.addControl(window, 200, 100, 50, 20);
    EXPECT_EQ(scs.SCSAddControl(control, window, scs_BIND_X1), 1);
    const SCSControlRecord& record = scs.controls()[2];
    EXPECT_EQ(record.partnerX1, NoHandle);
    EXPECT_EQ(record.partnerX2, NoHandle);
    EXPECT_EQ(record.partnerY1, NoHandle);
    EXPECT_EQ(record.partnerY2, NoHandle);
    EXPECT_EQ(scs.SCS_hBindX1, NoHandle);
    EXPECT_EQ(scs.SCS_hBindX2, NoHandle);
    EXPECT_EQ(scs.SCS_hBindY1, NoHandle);
    EXPECT_EQ(scs.SCS_hBindY2, NoHandle);
}

TEST_F(SizeChangeRegistryTest, RegistrationStoresGeometryRatiosAndDistances)
{
    // partner: x 10..110, y 10..40 in the 400 × 300 client area.
    const Handle control = ws.addControl(window, 130, 60, 200, 150);
    scs.SCS_hBindX1 = partner;
    scs.SCS_hBindY1 = partner;
    EXPECT_EQ(scs.SCSAddControl(control, window, scs_BIND_X1_CONTROL | scs_BIND_Y1_CONTROL | 0x8 | 0x10), 1);
    const SCSControlRecord& r = scs.controls()[2];
    EXPECT_EQ(r.hParent, window);
    EXPECT_EQ(r.left, 130);
    EXPECT_EQ(r.top, 60);
    EXPECT_EQ(r.width, 200);
    EXPECT_EQ(r.height, 150);
    EXPECT_DOUBLE_EQ(r.widthRatio, 0.5);
    EXPECT_DOUBLE_EQ(r.heightRatio, 0.5);
    EXPECT_EQ(r.leftDistance, 20);   // 130 − (10 + 100)
    EXPECT_EQ(r.topDistance, 20);    // 60 − (10 + 30)
    EXPECT_EQ(r.rightDistance, 70);  // 400 − 330
    EXPECT_EQ(r.bottomDistance, 90); // 300 − 210
    EXPECT_EQ(r.partnerX1, partner);
    EXPECT_EQ(r.partnerY1, partner);
    EXPECT_EQ(r.splitterOrientation, SCSNoSplitter);
    EXPECT_EQ(scs.SCSBindPartnerIndex(2, scs_BIND_X1_CONTROL), 1);
    EXPECT_EQ(scs.SCSBindPartnerIndex(2, scs_BIND_Y1_CONTROL), 1);
    EXPECT_EQ(scs.SCSBindPartnerIndex(2, scs_BIND_X2_CONTROL), 0);
    EXPECT_EQ(scs.SCSBindPartnerIndex(2, scs_BIND_X1), 0);
    EXPECT_EQ(scs.SCSHasFlags(2, 0x8 | 0x10), 1);
    EXPECT_EQ(scs.SCSHasFlags(2, 0x8 | 0x4), 0);
    EXPECT_EQ(scs.SCSControlHandle(2), control);
    EXPECT_EQ(scs.SCSControlHandle(3), NoHandle);

    // The edge routines give client coordinates whatever frame the parent has.
    ws.windows[window].sizingFrame = false;
    EXPECT_EQ(scs.SCSControlLeft(control, window), 130);
    EXPECT_EQ(scs.SCSControlTop(control, window), 60);
    EXPECT_EQ(scs.SCSControlRight(control, window), 330);
    EXPECT_EQ(scs.SCSControlBottom(control, window), 210);
}

TEST_F(SizeChangeRegistryTest, FontRegistrationMeasuresAndOwnsAFont)
{
    const Handle label = ws.addControl(window, 0, 100, 80, 20);
    ws.controlFonts[label] = {16, 8, 700, true, false, "DejaVu Sans"};
    EXPECT_EQ(scs.SCSAddControl(label, window, scs_FONT), 1);
    const SCSControlRecord& r = scs.controls()[2];
    EXPECT_EQ(r.bold, 1);
    EXPECT_EQ(r.italic, 1);
    EXPECT_EQ(r.underline, 0);
    EXPECT_EQ(r.faceName, "DejaVu Sans");
    EXPECT_DOUBLE_EQ(r.fontHeightRatio, 16.0 / 20);
    EXPECT_DOUBLE_EQ(r.fontWidthRatio, 8.0 / 80);
    ASSERT_NE(r.font, NoHandle);
    EXPECT_EQ(ws.fontOf[label], r.font);
    const FakeWindowSystem::FontRequest& made = ws.fonts.at(r.font);
    EXPECT_EQ(made.height, 16);
    EXPECT_EQ(made.width, 8);
    EXPECT_EQ(made.weight, 700);
    EXPECT_TRUE(made.italic);

    // A control without area keeps its own font and is never given one.
    const Handle empty = ws.addControl(window, 0, 200, 0, 20);
    EXPECT_EQ(scs.SCSAddControl(empty, window, scs_FONT | scs_BIND_X1 | scs_BIND_X2), 1);
    EXPECT_EQ(scs.controls()[3].font, NoHandle);
    EXPECT_EQ(scs.controls()[3].fontWidthRatio, 0.0);
    ws.windows[window].width = 500;
    ws.send(window, scs_messages::Size);
    EXPECT_FALSE(ws.fontOf.contains(empty));
    EXPECT_EQ(ws.fonts.size(), 1u) << "the old font is deleted when a new one is made";

    EXPECT_EQ(scs.SCSRemoveControl(label), 1);
    EXPECT_TRUE(ws.fonts.empty());
}

TEST_F(SizeChangeRegistryTest, TablesHoldAHundredRows)
{
    for (int i = 2; i <= SCSMaxRows; ++i) {
        EXPECT_EQ(scs.SCSAddControl(ws.addControl(window, i, i, 10, 10), window, 0), 1);
    }
    EXPECT_EQ(scs.controls().count, 100);
    const Handle extra = ws.addControl(window, 0, 0, 10, 10);
    expectRefusal("SCSAddControl: die maximale Anzahl von 100 Controls wurde bereits geadded", [&] {
        scs.SCSAddControl(extra, window, 0);
    });
}

TEST_F(SizeChangeRegistryTest, TheHundredAndFirstWindowIsRefused)
{
    for (int i = 2; i <= SCSMaxRows; ++i) {
        scs.SCSAddWindow(ws.addWindow(0, 0, 100, 100));
    }
    EXPECT_EQ(scs.windows().count, 100);
    EXPECT_EQ(scs.windows()[100].subclassHandle, 100);
    const Handle extra = ws.addWindow(0, 0, 100, 100);
    expectRefusal(
        "SCSAddWindow: maximale Fensteranzahl von 100 überschritten", [&] { scs.SCSAddWindow(extra); });
}

TEST_F(SizeChangeRegistryTest, RemovingAMiddleControlKeepsTheLaterRowsWhole)
{
    const Handle middle = ws.addControl(window, 20, 60, 50, 20);
    scs.SCSAddControl(middle, window, scs_BIND_X1);
    const Handle bar = ws.addControl(window, 150, 50, 6, 200);
    scs.SCS_hBindX1 = partner;
    scs.SCSAddControl(bar, window, scs_SPLITTER | scs_BIND_X1_CONTROL | scs_BIND_Y1 | scs_BIND_Y2);
    const Handle text = ws.addControl(window, 170, 60, 120, 40);
    ws.controlFonts[text] = {12, 6, 400, false, true, "Liberation Sans"};
    scs.SCS_hBindX1 = bar;
    scs.SCSAddControl(text, window, scs_BIND_X1_CONTROL | scs_BIND_X2 | scs_FONT | scs_PROP_Y);

    const SCSControlRecord barBefore = scs.controls()[3];
    const SCSControlRecord textBefore = scs.controls()[4];
    ASSERT_EQ(barBefore.splitterOrientation, SCSTallBar);
    ASSERT_NE(textBefore.font, NoHandle);

    EXPECT_EQ(scs.SCSRemoveControl(middle), 1);
    ASSERT_EQ(scs.controls().count, 3);
    EXPECT_EQ(scs.controls()[2], barBefore);
    EXPECT_EQ(scs.controls()[3], textBefore);
    EXPECT_EQ(scs.controls()[4], SCSControlRecord{}) << "the vacated row is cleared";
    EXPECT_EQ(scs.SCSBindPartnerIndex(3, scs_BIND_X1_CONTROL), 2);
    EXPECT_EQ(scs.SCSBindPartnerIndex(2, scs_BIND_X1_CONTROL), 1);
    ASSERT_EQ(scs.splitters().count, 1);
    EXPECT_EQ(scs.splitters()[1], (SCSSplitterRecord{bar, window, SCSTallBar}));
    EXPECT_EQ(ws.subclassCount(bar), 1);
    EXPECT_TRUE(ws.fonts.contains(textBefore.font));
}

TEST_F(SizeChangeRegistryTest, RemovingAMiddleWindowLowersLaterParentRows)
{
    const Handle second = ws.addWindow(0, 0, 200, 200);
    const Handle third = ws.addWindow(300, 300, 250, 150);
    scs.SCSAddWindow(second);
    scs.SCSAddWindow(third);
    const Handle onThird = ws.addControl(third, 5, 5, 20, 20);
    scs.SCSAddControl(onThird, third, scs_BIND_X2);
    const SCSWindowRecord thirdBefore = scs.windows()[3];

    EXPECT_EQ(scs.SCSRemoveWindow(second), 0);
    ASSERT_EQ(scs.windows().count, 2);
    EXPECT_EQ(scs.windows()[2], thirdBefore);
    EXPECT_EQ(scs.windows()[3], SCSWindowRecord{});
    EXPECT_EQ(scs.controls()[1].parentRow, 1);
    EXPECT_EQ(scs.controls()[2].parentRow, 2);
    EXPECT_EQ(scs.SCSFindWindow(third), 2);
    EXPECT_EQ(scs.SCSWindowIndex(third), 2);
    EXPECT_EQ(ws.subclassCount(second), 0);
    EXPECT_EQ(ws.subclassCount(third), 1);
    for (int row = 1; row <= scs.subclassRegister().count; ++row) {
        EXPECT_NE(scs.subclassRegister()[row].hWnd, second);
    }

    expectRefusal("SCSRemoveWindow: das zu entfernende Fenster wird noch von einem Control benutzt", [&] {
        scs.SCSRemoveWindow(third);
    });
}

TEST_F(SizeChangeRegistryTest, RemovalRefusesUnknownHandles)
{
    expectRefusal("SCSRemoveWindow: Fensterhandle nicht bekannt, d.h. es wurde nicht geadded", [&] {
        scs.SCSRemoveWindow(partner);
    });
}

TEST_F(SizeChangeRegistryTest, RemovingControlRefusesUnknownHandle)
{
    expectRefusal("SCSRemoveControl: Controlhandle nicht bekannt, d.h. es wurde nicht geadded", [&] {
        scs.SCSRemoveControl(window);
    });
}

TEST_F(SizeChangeRegistryTest, PartnerIsRemovedOnlyAfterItsDependant)
{
    const Handle lead = ws.addControl(window, 10, 60, 50, 20);
    scs.SCSAddControl(lead, window, 0);
    const Handle follower = ws.addControl(window, 80, 60, 50, 20);
    scs.SCS_hBindX2 = lead; // bound at the right edge: row 3 names row 2
    scs.SCS_hBindX1 = partner;
    scs.SCSAddControl(follower, window, scs_BIND_X1_CONTROL);
    scs.SCS_hBindY2 = lead;
    scs.SCSAddControl(ws.addControl(window, 80, 10, 50, 20), window, scs_BIND_Y2_CONTROL);

    // Reverse order succeeds.
    {
        testing::ScopedFakeEffects ok;
        FakeWindowSystem ws2;
        SizeChangeSystem scs2(ws2);
        scs2.InitSCS();
        const Handle w = ws2.addWindow(0, 0, 300, 300);
        scs2.SCSAddWindow(w);
        const Handle a = ws2.addControl(w, 0, 0, 10, 10);
        const Handle b = ws2.addControl(w, 20, 0, 10, 10);
        scs2.SCSAddControl(a, w, 0);
        scs2.SCS_hBindX1 = a;
        scs2.SCSAddControl(b, w, scs_BIND_X1_CONTROL);
        EXPECT_EQ(scs2.SCSRemoveControl(b), 1);
        EXPECT_EQ(scs2.SCSRemoveControl(a), 1);
        EXPECT_EQ(scs2.controls().count, 0);
        EXPECT_TRUE(ok.messages.shown.empty());
    }

    expectRefusal(
        "SCSRemoveControl: das zu entfernende Control (#2) dient noch einem anderen Control (#4) als "
        "Binding-Partner",
        [&] { scs.SCSRemoveControl(lead); });
}

TEST_F(SizeChangeRegistryTest, OperationsBeforeInitAreRefused)
{
    struct Case
    {
        const char* label;
        std::string text;
        std::function<void(SizeChangeSystem&, Handle)> operation;
    };

    const std::vector<Case> cases = {
        {"add window",
         "SCSAddWindow: InitSCS nicht aufgerufen",
         [](SizeChangeSystem& s, Handle h) { s.SCSAddWindow(h); }},
        {"remove window",
         "SCSRemoveWindow: InitSCS nicht aufgerufen",
         [](SizeChangeSystem& s, Handle h) { s.SCSRemoveWindow(h); }},
        {"add control",
         "SCSAddControl: InitSCS nicht aufgerufen",
         [](SizeChangeSystem& s, Handle h) { s.SCSAddControl(h, h, 0); }},
        {"remove control",
         "SCSRemoveControl: InitSCS nicht aufgerufen",
         [](SizeChangeSystem& s, Handle h) { s.SCSRemoveControl(h); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        testing::ScopedFakeEffects caseFakes;
        FakeWindowSystem caseWs;
        SizeChangeSystem caseScs(caseWs);
        const Handle h = caseWs.addWindow(0, 0, 100, 100);
        caseFakes.messages.queueAnswer(MessageAnswer::Ok);
        caseFakes.messages.queueAnswer(MessageAnswer::Ok);
        EXPECT_THROW(c.operation(caseScs, h), testing::ProgramEnded);
        ASSERT_EQ(caseFakes.messages.shown.size(), 2u);
        EXPECT_EQ(caseFakes.messages.shown[0].text, c.text);
        EXPECT_EQ(caseFakes.messages.shown[0].buttons, MessageButtons::Ok);
        // The release that follows every refusal reports that nothing was started.
        EXPECT_EQ(caseFakes.messages.shown[1].text, "DeInitSCS: es wurde vorher nicht InitSCS aufgerufen");
        EXPECT_EQ(caseFakes.exit.codes, std::vector<int>{0});
    }
}

TEST_F(SizeChangeRegistryTest, StartAndReleaseMisuseShowsModeOneNotes)
{
    fakes.messages.queueAnswer(MessageAnswer::Ok);
    EXPECT_EQ(scs.InitSCS(), 0);
    ASSERT_EQ(fakes.messages.shown.size(), 1u);
    EXPECT_EQ(fakes.messages.shown[0].text, "InitSCS: diese Prozedur wurde bereits aufgerufen");
    EXPECT_EQ(fakes.messages.shown[0].buttons, MessageButtons::OkCancel);
    EXPECT_EQ(scs.controls().count, 1) << "a second start keeps the tables";
    EXPECT_EQ(scs.windows().count, 1);

    EXPECT_EQ(scs.DeInitSCS(), 0);
    EXPECT_EQ(scs.controls().count, 0);
    EXPECT_EQ(scs.windows().count, 0);
    EXPECT_TRUE(ws.subclasses.empty());
    EXPECT_FALSE(ws.splitterClassesRegistered);

    fakes.messages.queueAnswer(MessageAnswer::Ok);
    EXPECT_EQ(scs.DeInitSCS(), 0);
    ASSERT_EQ(fakes.messages.shown.size(), 2u);
    EXPECT_EQ(fakes.messages.shown[1].text, "DeInitSCS: es wurde vorher nicht InitSCS aufgerufen");
    EXPECT_EQ(fakes.messages.shown[1].buttons, MessageButtons::OkCancel);

    fakes.messages.queueAnswer(MessageAnswer::Cancel);
    EXPECT_THROW(scs.DeInitSCS(), testing::ProgramEnded);
    EXPECT_EQ(fakes.exit.codes, std::vector<int>{-1});
}

TEST_F(SizeChangeRegistryTest, DeInitReleasesSplittersFontsAndTheCallback)
{
    const Handle bar = ws.addControl(window, 0, 100, 300, 6);
    scs.SCSAddControl(bar, window, scs_SPLITTER | scs_FONT);
    EXPECT_EQ(scs.controls()[2].splitterOrientation, SCSWideBar);
    EXPECT_EQ(ws.subclassCount(bar), 1);
    EXPECT_TRUE(ws.splitterClassesRegistered);
    int calls = 0;
    scs.SCSSetCallback([&](Handle, std::uint32_t, std::uintptr_t, std::intptr_t) -> std::intptr_t {
        ++calls;
        return 0;
    });
    EXPECT_EQ(scs.DeInitSCS(), 0);
    EXPECT_TRUE(ws.subclasses.empty());
    EXPECT_TRUE(ws.fonts.empty());
    EXPECT_EQ(scs.splitters().count, 0);
    EXPECT_EQ(scs.subclassRegister().count, 0);
    EXPECT_EQ(scs.subclasses().count, 0);

    scs.InitSCS();
    scs.SCSAddWindow(window);
    ws.send(window, scs_messages::Size);
    EXPECT_EQ(calls, 0) << "the release clears the callback";
}

TEST_F(SizeChangeRegistryTest, SubclassHandlesAndIdsGrowAcrossRestarts)
{
    // SetUp hooked the window as internal handle 1.
    EXPECT_EQ(scs.windows()[1].subclassHandle, 1);
    scs.DeInitSCS();
    scs.InitSCS();
    scs.SCSAddWindow(window);
    EXPECT_EQ(scs.windows()[1].subclassHandle, 2);
    scs.SCSAddWindow(window); // twice: two rows, two hooks
    EXPECT_EQ(scs.windows()[2].subclassHandle, 3);
    EXPECT_EQ(ws.subclassCount(window), 2);
    EXPECT_EQ(ws.installedIds, (std::vector<std::uintptr_t>{1, 2, 3}));
    EXPECT_EQ(ws.subclasses.back().refData, SCSRefTopLevelWindow);

    // Explicit reference data is passed on unchanged; −1 takes the register's, 0 without a row.
    const Handle other = ws.addWindow(0, 0, 50, 50);
    EXPECT_EQ(scs.SCSSubclassing(other, 1, Proc, 7), 4);
    EXPECT_EQ(ws.subclasses.back().refData, 7);
    EXPECT_EQ(scs.SCSSubclassing(other, 1, Proc, -1), 5);
    EXPECT_EQ(ws.subclasses.back().refData, 0);
    EXPECT_EQ(scs.SCSSubclassing(4, 0, Proc, -1), 1);
    EXPECT_EQ(scs.SCSSubclassing(5, 0, Proc, -1), 1);
    EXPECT_EQ(ws.subclassCount(other), 0);
    EXPECT_EQ(scs.SCSSubclassing(other, 2, Proc, -1), 0);
    EXPECT_EQ(ws.subclassCount(other), 0);
}

TEST_F(SizeChangeRegistryTest, SwitchOffRefusesWindowHandlesAndUnknownHandles)
{
    struct Case
    {
        const char* label;
        Handle handle;
        std::string text;
    };

    const std::vector<Case> cases = {
        {"window handle",
         window,
         "Subclassing,0: Es muss beim Ausschalten das interne Handle übergeben werden, das dem Hauptprogramm "
         "beim "
         "Einschalten des Subclassings zurückgegeben wurde, nicht das Windows-Handle!"},
        {"unknown internal handle",
         57,
         "Subclassing,0: Fenster/Control ist nicht gesubclassed (es muss beim Ausschalten das interne Handle "
         "übergeben werden, nicht das Windows-Handle!)"},
    };
    ASSERT_GT(window, SCSMaxInternalHandle);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        fakes.messages.queueAnswer(MessageAnswer::Ok);
        const std::size_t before = fakes.messages.shown.size();
        EXPECT_EQ(scs.SCSSubclassing(c.handle, 0, Proc, -1), 0);
        ASSERT_EQ(fakes.messages.shown.size(), before + 1);
        EXPECT_EQ(fakes.messages.shown.back().text, c.text);
        EXPECT_EQ(fakes.messages.shown.back().buttons, MessageButtons::OkCancel);
        EXPECT_EQ(ws.subclassCount(window), 1);
        EXPECT_EQ(scs.subclasses().count, 1);
    }
}

TEST_F(SizeChangeRegistryTest, SubclassRegisterRefusesWhenFullAndUnknownOnRemoval)
{
    for (int i = scs.subclassRegister().count; i < SCSMaxRows; ++i) {
        EXPECT_EQ(scs.SCSSubclassingRegister(0, allocateHandle(), 1), 1);
    }
    fakes.messages.queueAnswer(MessageAnswer::Ok);
    EXPECT_EQ(scs.SCSSubclassingRegister(0, allocateHandle(), 1), 0);
    EXPECT_EQ(
        fakes.messages.shown.back().text,
        "SCSSubclassingRegister: es ist bereits die maximale Anzahl von 100 Fenstern/Controls registriert");

    fakes.messages.queueAnswer(MessageAnswer::Ok);
    EXPECT_EQ(scs.SCSSubclassingDeRegister(partner), 0);
    EXPECT_EQ(
        fakes.messages.shown.back().text,
        "SCSSubclassingDeRegister: Fenster/Control ist nicht registriert (bzw. existiert evtl. gar nicht)");
    EXPECT_EQ(scs.SCSSubclassingDeRegister(window), 1);
    EXPECT_EQ(scs.subclassRegister().count, SCSMaxRows - 1);
}

TEST_F(SizeChangeRegistryTest, SubclassTableHoldsAHundredHooks)
{
    for (int i = scs.subclasses().count; i < SCSMaxRows; ++i) {
        EXPECT_NE(scs.SCSSubclassing(window, 1, Proc, -1), 0);
    }
    fakes.messages.queueAnswer(MessageAnswer::Ok);
    EXPECT_EQ(scs.SCSSubclassing(window, 1, Proc, -1), 0);
    EXPECT_EQ(
        fakes.messages.shown.back().text,
        "SCSSubclassing,1: es ist bereits die maximale Anzahl von 100 Fenstern/Controls gesubclassed");
    EXPECT_EQ(ws.subclassCount(window), SCSMaxRows);
}

// Layout rules that the window tests do not reach: the vertical table, growth bound to a partner,
// a zero reference size and sizes that would become negative. Each case registers its controls on a
// 400 × 300 client area (after an optional lead control), resizes it and checks the last control.
TEST(SizeChangeLayoutRulesTest, RulesPlaceTheControlAfterAResize)
{
    struct Rect
    {
        int x, y, w, h;
    };

    struct Lead
    {
        Rect rect;
        std::uint32_t flags;
    };

    struct Case
    {
        const char* label;
        int registeredWidth;       // client width when the window is registered
        std::optional<Lead> lead;  // a partner registered first
        std::uint32_t partnerFlag; // which partner global names the lead
        Rect rect;                 // the control at registration
        std::uint32_t flags;
        int newWidth, newHeight; // the client area after the resize
        Rect expected;
    };

    const std::vector<Case> cases = {
        {"top and bottom kept", 400, {}, 0, {10, 20, 50, 100}, 0x4 | 0x10, 440, 330, {10, 20, 50, 130}},
        {"bottom kept", 400, {}, 0, {10, 200, 50, 40}, 0x10, 440, 330, {10, 230, 50, 40}},
        {"vertical centre", 400, {}, 0, {10, 100, 50, 20}, scs_PROP_Y, 440, 330, {10, 111, 50, 20}},
        {"height grows above a kept bottom gap",
         400,
         {},
         0,
         {10, 200, 50, 60},
         scs_ASPECT_Y | 0x10,
         440,
         330,
         {10, 224, 50, 66}},
        {"bottom follows the partner's top",
         400,
         Lead{{0, 250, 400, 20}, 0x10},
         scs_BIND_Y2_CONTROL,
         {10, 200, 50, 40},
         scs_BIND_Y2_CONTROL,
         440,
         330,
         {10, 230, 50, 40}},
        {"top kept, bottom follows the partner",
         400,
         Lead{{0, 250, 400, 20}, 0x10},
         scs_BIND_Y2_CONTROL,
         {10, 20, 50, 220},
         scs_BIND_Y1 | scs_BIND_Y2_CONTROL,
         440,
         330,
         {10, 20, 50, 250}},
        {"top follows the partner's bottom",
         400,
         Lead{{0, 10, 400, 100}, 0x4 | 0x10},
         scs_BIND_Y1_CONTROL,
         {10, 120, 50, 20},
         scs_BIND_Y1_CONTROL,
         440,
         330,
         {10, 150, 50, 20}},
        {"width grows left of a partner",
         400,
         Lead{{300, 0, 20, 300}, 0x8},
         scs_BIND_X2_CONTROL,
         {100, 10, 150, 20},
         scs_BIND_X2_CONTROL | scs_ASPECT_X,
         440,
         330,
         {125, 10, 165, 20}},
        {"left follows a growing partner, right gap kept",
         400,
         Lead{{0, 0, 50, 300}, 0x8 | 0x80},
         scs_BIND_X1_CONTROL,
         {60, 10, 100, 20},
         scs_BIND_X1_CONTROL | 0x8,
         440,
         330,
         {100, 10, 100, 20}},
        {"centre and growth",
         400,
         {},
         0,
         {140, 10, 40, 20},
         scs_PROP_X | scs_ASPECT_X,
         440,
         330,
         {154, 10, 44, 20}},
        {"zero reference width keeps x",
         0,
         {},
         0,
         {50, 10, 20, 20},
         scs_PROP_X | scs_PROP_Y,
         400,
         330,
         {50, 12, 20, 20}},
        {"negative width becomes 0", 400, {}, 0, {10, 10, 380, 20}, 0x2 | 0x8, 15, 300, {10, 10, 0, 20}},
        {"do nothing stays", 400, {}, 0, {10, 10, 20, 20}, scs_DO_NOTHING, 440, 330, {10, 10, 20, 20}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        testing::ScopedFakeEffects fakes;
        FakeWindowSystem ws;
        SizeChangeSystem scs(ws);
        scs.InitSCS();
        const Handle window = ws.addWindow(100, 50, c.registeredWidth, 300);
        scs.SCSAddWindow(window);
        ws.windows[window].width = 400;
        if (c.lead) {
            const Handle lead =
                ws.addControl(window, c.lead->rect.x, c.lead->rect.y, c.lead->rect.w, c.lead->rect.h);
            scs.SCSAddControl(lead, window, c.lead->flags);
            scs.SCS_hBindX1 = scs.SCS_hBindX2 = scs.SCS_hBindY1 = scs.SCS_hBindY2 = NoHandle;
            (c.partnerFlag == scs_BIND_X1_CONTROL   ? scs.SCS_hBindX1
             : c.partnerFlag == scs_BIND_X2_CONTROL ? scs.SCS_hBindX2
             : c.partnerFlag == scs_BIND_Y1_CONTROL ? scs.SCS_hBindY1
                                                    : scs.SCS_hBindY2) = lead;
        }
        const Handle control = ws.addControl(window, c.rect.x, c.rect.y, c.rect.w, c.rect.h);
        scs.SCSAddControl(control, window, c.flags);

        ws.windows[window].width = c.newWidth;
        ws.windows[window].height = c.newHeight;
        ws.send(window, scs_messages::Size);
        const FakeWindowSystem::Window& got = ws.windows.at(control);
        EXPECT_EQ(got.x, c.expected.x);
        EXPECT_EQ(got.y, c.expected.y);
        EXPECT_EQ(got.width, c.expected.w);
        EXPECT_EQ(got.height, c.expected.h);
    }
}

} // namespace
} // namespace folvex
