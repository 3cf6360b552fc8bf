#include "components/action_box_internal.h"
#include "support/fakes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace folvex {
namespace {

// 7 pixels per character (code point), 16 pixels per line: every width below is a character count × 7.
class GridMeasurer final : public ActionBoxMeasurer
{
public:
    int textWidth(std::string_view text) const override
    {
        int characters = 0;
        for (const char byte : text) {
            if ((static_cast<unsigned char>(byte) & 0xC0) != 0x80) {
                ++characters;
            }
        }
        return 7 * characters;
    }

    int textHeight(std::string_view text) const override { return text.empty() ? 0 : 16; }
};

constexpr int ScreenWidth = 1920;
constexpr int ScreenHeight = 1080;
const std::string Nbsp6 = "\u00A0\u00A0\u00A0\u00A0\u00A0\u00A0";

ActionBoxParams zeroed()
{
    ActionBoxParams params;
    ResetActionBoxParams(params);
    return params;
}

ActionBoxLayout layoutOf(ActionBoxParams params, const std::string& text)
{
    applyActionBoxDefaults(params);
    return layoutActionBox(params, text, GridMeasurer(), ScreenWidth, ScreenHeight);
}

std::string repeat(const std::string& piece, int count)
{
    std::string text;
    for (int i = 0; i < count; ++i) {
        text += piece;
    }
    return text;
}

TEST(ActionBoxParamsTest, ResetClearsEveryField)
{
    ActionBoxParams params;
    params.Title = "t";
    params.Text = "x";
    params.TextAddress = 1;
    params.reserved1 = 2;
    params.TextWidth = 3;
    params.MaxTextHeight = 4;
    params.TextColour = 5;
    params.AreaColour = 6;
    params.ButtonCount = 7;
    params.Buttons = "a|b";
    params.DefaultButton = 8;
    params.ButtonWidth = 9;
    params.ButtonHeight = 10;
    params.ScrollMask = 11;
    params.Icon = 12;
    params.Sound = 13;
    params.TextFont = 14;
    params.reserved2 = 15;
    params.HelpButton = 16;
    params.HelpProc = [](std::int32_t) {};
    params.reserved3 = 17;
    params.HelpArgument = 18;
    params.WaitText = "w";
    params.AreaBrush = 19;
    params.AreaPen = 20;
    params.Tooltips = "tip";
    params.StripColour = 21;

    EXPECT_EQ(ResetActionBoxParams(params), 0);
    EXPECT_EQ(params.Title + params.Text + params.Buttons + params.WaitText + params.Tooltips, "");
    const std::intptr_t integers[] = {params.TextAddress,   params.reserved1,     params.TextWidth,
                                      params.MaxTextHeight, params.TextColour,    params.AreaColour,
                                      params.ButtonCount,   params.DefaultButton, params.ButtonWidth,
                                      params.ButtonHeight,  params.ScrollMask,    params.Icon,
                                      params.Sound,         params.TextFont,      params.reserved2,
                                      params.HelpButton,    params.reserved3,     params.HelpArgument,
                                      params.AreaBrush,     params.AreaPen,       params.StripColour};
    for (const std::intptr_t value : integers) {
        EXPECT_EQ(value, 0);
    }
    EXPECT_EQ(params.HelpProc, nullptr);
}

TEST(ActionBoxParamsTest, ZeroedRecordGetsTheDefaults)
{
    ActionBoxParams params = zeroed();
    applyActionBoxDefaults(params);
    EXPECT_EQ(params.Title, "Hinweis");
    EXPECT_EQ(params.Icon, 1);
    EXPECT_EQ(params.Sound, -1);
    EXPECT_EQ(params.TextWidth, 400);
    EXPECT_EQ(params.MaxTextHeight, 500);
    EXPECT_EQ(params.ButtonCount, 1);
    EXPECT_EQ(params.Buttons, "Ok");
    EXPECT_EQ(params.ButtonWidth, 75);
    EXPECT_EQ(params.ButtonHeight, 25);
    EXPECT_EQ(params.DefaultButton, 1);
    EXPECT_EQ(params.AreaColour, 0xFFFFFF);
    EXPECT_EQ(params.StripColour, 0xF0F0F0);
    EXPECT_EQ(params.TextColour, 0);
    EXPECT_EQ(actionBoxSound(params.Sound, params.Icon).kind, ActionBoxSoundKind::Silent);
}

TEST(ActionBoxParamsTest, TitleAndSoundFollowTheIcon)
{
    struct Case
    {
        std::intptr_t icon;
        std::string title;
        std::intptr_t sound; // after the defaults, Sound given as 0
        int systemType;      // -1: silent
    };

    const Case cases[] = {
        {2, "Frage", 1, 32},
        {3, "Achtung", 1, 48},
        {4, "Fehler", 1, 16},
        {5, "Hinweis", 1, 48},
        {6, "Hinweis", 1, -1},
        {-1, "Hinweis", 1, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.icon);
        ActionBoxParams params = zeroed();
        params.Icon = c.icon;
        applyActionBoxDefaults(params);
        EXPECT_EQ(params.Title, c.title);
        EXPECT_EQ(params.Sound, c.sound);
        const ActionBoxSound sound = actionBoxSound(params.Sound, params.Icon);
        if (c.systemType < 0) {
            EXPECT_EQ(sound.kind, ActionBoxSoundKind::Silent);
        } else {
            EXPECT_EQ(sound.kind, ActionBoxSoundKind::System);
            EXPECT_EQ(sound.systemType, c.systemType);
        }
    }

    ActionBoxParams titled = zeroed();
    titled.Icon = 4;
    titled.Title = "Scanner";
    applyActionBoxDefaults(titled);
    EXPECT_EQ(titled.Title, "Scanner");
}

TEST(ActionBoxParamsTest, SoundTable)
{
    static const char fileName[] = "/tmp/klang.wav";
    const std::intptr_t fileAddress = reinterpret_cast<std::intptr_t>(fileName);

    struct Case
    {
        std::intptr_t sound;
        std::intptr_t icon;
        ActionBoxSoundKind kind;
        int systemType;
    };

    const Case cases[] = {
        {1, 1, ActionBoxSoundKind::System, 64},
        {11, 6, ActionBoxSoundKind::System, 64},
        {12, 1, ActionBoxSoundKind::System, 32},
        {13, 1, ActionBoxSoundKind::System, 48},
        {14, 1, ActionBoxSoundKind::System, 16},
        {15, -1, ActionBoxSoundKind::System, 0},
        {-1, 1, ActionBoxSoundKind::Silent, 0},
        {2, 1, ActionBoxSoundKind::Silent, 0},
        {10, 1, ActionBoxSoundKind::Silent, 0},
        {-20, 1, ActionBoxSoundKind::Silent, 0},
        {fileAddress, 1, ActionBoxSoundKind::File, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sound);
        const ActionBoxSound sound = actionBoxSound(c.sound, c.icon);
        EXPECT_EQ(sound.kind, c.kind);
        if (c.kind == ActionBoxSoundKind::System) {
            EXPECT_EQ(sound.systemType, c.systemType);
        }
        if (c.kind == ActionBoxSoundKind::File) {
            EXPECT_EQ(sound.fileName, fileName);
        }
    }
}

TEST(ActionBoxParamsTest, ButtonDefaults)
{
    struct Case
    {
        const char* label;
        std::intptr_t count;
        std::string buttons;
        std::intptr_t help;
        std::intptr_t defaultButton;
        std::intptr_t wantCount;
        std::string wantButtons;
        std::intptr_t wantWidth;
        std::intptr_t wantDefault;
    };

    const Case cases[] = {
        {"given count gets width 100", 2, "&Ja|&Nein", 0, 0, 2, "&Ja|&Nein", 100, 1},
        {"help appended as third", 2, "Ja|Nein", 1, 2, 3, "Ja|Nein|Hilfe", 100, 2},
        {"third label kept", 2, "Ja|Nein|Mehr", 1, 0, 3, "Ja|Nein|Mehr", 100, 1},
        {"help beside the default Ok", 0, "", 1, 0, 2, "Ok|Hilfe", 75, 1},
        {"help on empty labels", 2, "", 1, 0, 3, "Hilfe", 100, 1},
        {"default above the count", 2, "a|b", 0, 3, 2, "a|b", 100, 1},
        {"negative default kept", 2, "a|b", 0, -1, 2, "a|b", 100, -1},
        {"count 0 replaces labels", 0, "x|y", 0, 0, 1, "Ok", 75, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        ActionBoxParams params = zeroed();
        params.ButtonCount = c.count;
        params.Buttons = c.buttons;
        params.HelpButton = c.help;
        params.DefaultButton = c.defaultButton;
        applyActionBoxDefaults(params);
        EXPECT_EQ(params.ButtonCount, c.wantCount);
        EXPECT_EQ(params.Buttons, c.wantButtons);
        EXPECT_EQ(params.ButtonWidth, c.wantWidth);
        EXPECT_EQ(params.DefaultButton, c.wantDefault);
    }
}

TEST(ActionBoxTextTest, EscapesAndLines)
{
    struct Case
    {
        std::string text;
        std::vector<std::string> lines;
    };

    const Case cases[] = {
        {"eins\\nzwei", {"eins", "zwei"}},
        {"\\qzitiert\\q", {"\"zitiert\""}},
        {"a\\tb", {"a" + Nbsp6 + "b"}},
        {"\\n\\nx\\n", {"", "", "x", ""}},
        {"gro\\N \\Q \\T", {"gro\\N \\Q \\T"}},
        {"\\\\n", {"\\", ""}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(splitActionBoxLines(prepareActionBoxText(c.text)), c.lines);
    }

    static const char addressed[] = "über Adresse";
    ActionBoxParams params = zeroed();
    params.TextAddress = reinterpret_cast<std::intptr_t>(addressed);
    EXPECT_EQ(actionBoxText(params), "über Adresse");
    params.Text = "direkt";
    EXPECT_EQ(actionBoxText(params), "direkt");
    EXPECT_EQ(actionBoxText(zeroed()), "");
}

TEST(ActionBoxTextTest, WordWrap)
{
    const std::string path = repeat("p", 100);
    const std::string umlauts = repeat("ä", 100);

    struct Case
    {
        const char* label;
        std::vector<std::string> in;
        int area;
        std::vector<std::string> lines;
        std::vector<int> widths;
    };

    const Case cases[] = {
        {"fits", {"kurz", ""}, 400, {"kurz", ""}, {28, 0}},
        {"at spaces", {"aaa bbb ccc ddd eee fff"}, 100, {"aaa bbb ccc", "ddd eee fff"}, {77, 77}},
        {"path cut inside, next line kept",
         {path, "Ende"},
         400,
         {repeat("p", 57), repeat("p", 43), "Ende"},
         {399, 301, 28}},
        {"long path cut three times",
         {repeat("q", 200)},
         400,
         {repeat("q", 57), repeat("q", 57), repeat("q", 57), repeat("q", 29)},
         {399, 399, 399, 203}},
        {"cut counts characters, not bytes", {umlauts}, 400, {repeat("ä", 57), repeat("ä", 43)}, {399, 301}},
        {"word before an over-long word",
         {"ab " + path},
         400,
         {"ab", repeat("p", 57), repeat("p", 43)},
         {14, 399, 301}},
        {"double space is an empty word", {"aa  bb"}, 30, {"aa ", "bb"}, {21, 14}},
        {"character wider than the area", {"abc"}, 5, {"a", "b", "c"}, {7, 7, 7}},
        {"negative area", {"ab cd"}, -10, {"a", "b", " ", "c", "d"}, {7, 7, 7, 7, 7}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        testing::ScopedFakeEffects fakes;
        const ActionBoxWrap wrap = wrapActionBoxLines(c.in, c.area, GridMeasurer());
        EXPECT_EQ(wrap.lines, c.lines);
        EXPECT_EQ(wrap.widths, c.widths);
        EXPECT_FALSE(wrap.guardTriggered);
        EXPECT_TRUE(fakes.messages.shown.empty());
    }
}

TEST(ActionBoxTextTest, WrapGuardStopsOnlyARunawayTextAndKeepsAll)
{
    // Far beyond any text the program shows; a text that long still keeps every line.
    constexpr std::size_t limit = ActionBoxWrapGuardLines;
    ASSERT_GE(limit, 1000000u);
    testing::ScopedFakeEffects fakes;
    fakes.messages.queueAnswer(MessageAnswer::Ok);
    std::vector<std::string> lines(limit + 200, "x");
    lines[limit + 100] = repeat("y", 100); // too wide, but past the guard: left as it is
    const ActionBoxWrap wrap = wrapActionBoxLines(lines, 400, GridMeasurer());
    EXPECT_TRUE(wrap.guardTriggered);
    EXPECT_EQ(wrap.lines, lines);
    ASSERT_EQ(wrap.widths.size(), limit + 200);
    EXPECT_EQ(wrap.widths[limit - 1], 7);
    EXPECT_EQ(wrap.widths[limit], 0);
    ASSERT_EQ(fakes.messages.shown.size(), 1u);
    EXPECT_EQ(fakes.messages.shown[0].title, "FindError »text$ in einzelne Zeilen aufteilen« getriggert");
    EXPECT_EQ(
        fakes.messages.shown[0].text,
        "FindError »text$ in einzelne Zeilen aufteilen«>=" + std::to_string(limit) +
            "!\r\r"
            "Hier hängt es, deshalb kann man keinen Button mehr betätigen.");
    EXPECT_EQ(fakes.messages.shown[0].buttons, MessageButtons::Ok);
    EXPECT_EQ(fakes.messages.shown[0].icon, MessageIcon::Error);

    const ActionBoxWrap exact = wrapActionBoxLines(std::vector<std::string>(limit, "x"), 400, GridMeasurer());
    EXPECT_FALSE(exact.guardTriggered);
    EXPECT_EQ(fakes.messages.shown.size(), 1u);
}

TEST(ActionBoxTextTest, HundredThousandLinesWrapWithoutTheGuard)
{
    // Every second line needs wrapping at a space, the lines between are too wide words cut inside.
    testing::ScopedFakeEffects fakes;
    std::vector<std::string> lines;
    for (int i = 0; i < 100000; ++i) {
        lines.push_back(i % 2 == 0 ? "aaa bbb ccc ddd eee fff" : repeat("q", 20));
    }
    const ActionBoxWrap wrap = wrapActionBoxLines(lines, 100, GridMeasurer());
    EXPECT_FALSE(wrap.guardTriggered);
    EXPECT_TRUE(fakes.messages.shown.empty());
    ASSERT_EQ(wrap.lines.size(), 200000u);
    const std::vector<std::string> firstFour(wrap.lines.begin(), wrap.lines.begin() + 4);
    EXPECT_EQ(
        firstFour, (std::vector<std::string>{"aaa bbb ccc", "ddd eee fff", repeat("q", 14), repeat("q", 6)}));
    EXPECT_EQ(wrap.lines.back(), repeat("q", 6));
    EXPECT_EQ(wrap.widths.back(), 42);
}

TEST(ActionBoxTextTest, FirstLetterAccelerator)
{
    struct Case
    {
        std::string label;
        int code;
    };

    const Case cases[] = {
        {"&Ja", 'J'},
        {"A&&B&C", 'C'},
        {"nein", 'N'},
        {"&&x", 'X'},
        {"1. Wahl", '1'},
        {"&ändern", 0xC4},
        {"", 0},
        {"Ok&", 0},
        {"&&", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(Button1stLetterAsc(c.label), c.code);
    }
}

TEST(ActionBoxTextTest, Fields)
{
    EXPECT_EQ(actionBoxField("a|b|c", 1), "a");
    EXPECT_EQ(actionBoxField("a|b|c", 3), "c");
    EXPECT_EQ(actionBoxField("a||c", 2), "");
    EXPECT_EQ(actionBoxField("a|b", 3), "");
    EXPECT_EQ(actionBoxField("a|b", 0), "");
}

TEST(ActionBoxLayoutTest, ZeroedRecordWithShortText)
{
    const ActionBoxLayout layout = layoutOf(zeroed(), "Hallo");
    EXPECT_EQ(layout.iconColumnPx, 50);
    EXPECT_EQ(layout.wrapWidthPx, 400);
    EXPECT_EQ(layout.minWidthPx, 101);
    EXPECT_EQ(layout.provisional.left, 960 - 235);
    EXPECT_EQ(layout.provisional.top, 540);
    EXPECT_EQ(layout.provisional.width, 476);
    EXPECT_EQ(layout.provisional.height, 29);
    // One short line beside the icon becomes two.
    EXPECT_EQ(layout.lines, (std::vector<std::string>{"Hallo", ""}));
    EXPECT_EQ(layout.areaWidthPx, 45);
    EXPECT_EQ(layout.lineHeightPx, 16);
    EXPECT_FALSE(layout.scrolls);
    EXPECT_EQ(layout.textHeightPx, 32);
    EXPECT_EQ(layout.outer.width, 115);
    EXPECT_EQ(layout.outer.height, 126);
    EXPECT_EQ(layout.outer.left, 725 + 238 - 57);
    EXPECT_EQ(layout.outer.top, 540 + 14 - 63);
    EXPECT_EQ(layout.clientWidthPx, 109);
    EXPECT_EQ(layout.clientHeightPx, 97);
    EXPECT_EQ(layout.stripTopPx, 52);
    ASSERT_EQ(layout.buttons.size(), 1u);
    EXPECT_EQ(layout.buttons[0].left, 24);
    EXPECT_EQ(layout.buttons[0].top, 62);
    EXPECT_EQ(layout.buttons[0].width, 75);
    EXPECT_EQ(layout.buttons[0].height, 25);
}

TEST(ActionBoxLayoutTest, Sizes)
{
    struct Case
    {
        const char* label;
        std::intptr_t icon;
        Handle textFont;
        std::intptr_t buttonCount;
        std::intptr_t buttonWidth;
        std::string text;
        int wrapWidth;
        std::size_t lines;
        int outerWidth;
        int outerHeight;
    };

    const std::string wide = repeat("w", 64); // 448 px: fits 450, not 400
    const Case cases[] = {
        {"icon, one line", 0, 0, 0, 0, "kurz", 400, 2, 50 + 10 + 38 + 10, 126},
        {"icon, own font keeps one line", 0, 1234, 0, 0, "kurz", 400, 1, 108, 110},
        {"no icon, no text", -1, 0, 0, 0, "", 450, 0, 470, 94},
        {"no icon, wide line fits", -1, 0, 0, 0, wide, 450, 1, 10 + 458 + 10, 110},
        {"icon, wide line wraps", 0, 0, 0, 0, wide, 400, 2, 50 + 10 + 409 + 10, 126},
        {"five buttons of 100", 0, 0, 5, 100, "kurz", 496, 2, 566, 126},
        {"five buttons, no text", 0, 0, 5, 100, "", 496, 2, 566, 126},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        ActionBoxParams params = zeroed();
        params.Icon = c.icon;
        params.TextFont = c.textFont;
        params.ButtonCount = c.buttonCount;
        params.ButtonWidth = c.buttonWidth;
        const ActionBoxLayout layout = layoutOf(params, c.text);
        EXPECT_EQ(layout.wrapWidthPx, c.wrapWidth);
        EXPECT_EQ(layout.lines.size(), c.lines);
        EXPECT_EQ(layout.outer.width, c.outerWidth);
        EXPECT_EQ(layout.outer.height, c.outerHeight);
    }

    ActionBoxParams five = zeroed();
    five.ButtonCount = 5;
    five.ButtonWidth = 100;
    five.Buttons = "1|2|3|4|5";
    const ActionBoxLayout row = layoutOf(five, "kurz");
    ASSERT_EQ(row.buttons.size(), 5u);
    EXPECT_GE(row.outer.width, 560 + 2 * ActionBoxDialogFrameWidthPx);
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(row.buttons[static_cast<std::size_t>(i)].left, 10 + 110 * i);
        EXPECT_EQ(row.buttons[static_cast<std::size_t>(i)].top, 62);
    }
}

TEST(ActionBoxLayoutTest, TallTextScrolls)
{
    struct Case
    {
        int lines;
        bool scrolls;
        int outerWidth;
        int outerHeight;
        int visible;
        int greatest;
    };

    // Lines "Zeile" of 35 px: width 50 + 10 + 45 + 10 = 115 without the bar.
    const Case cases[] = {
        {31, false, 115, 10 + 496 + 20 + 25 + 10 + 29, 0, 1},
        {32, true, 130, 594, 31, 2},
        {100, true, 130, 594, 31, 70},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lines);
        std::string text = "Zeile";
        for (int i = 1; i < c.lines; ++i) {
            text += "\\nZeile";
        }
        const ActionBoxLayout layout = layoutOf(zeroed(), text);
        EXPECT_EQ(layout.lines.size(), static_cast<std::size_t>(c.lines));
        EXPECT_EQ(layout.scrolls, c.scrolls);
        EXPECT_EQ(layout.outer.width, c.outerWidth);
        EXPECT_EQ(layout.outer.height, c.outerHeight);
        EXPECT_EQ(layout.visibleLines, c.visible);
        EXPECT_EQ(layout.greatestScrollPos, c.greatest);
    }
}

TEST(ActionBoxLayoutTest, BadSizesGiveFiniteLayout)
{
    testing::ScopedFakeEffects fakes;
    ActionBoxParams params = zeroed();
    params.TextWidth = -500;
    params.MaxTextHeight = -5;
    params.ButtonWidth = -100;
    params.ButtonHeight = -25;
    params.ButtonCount = 3;
    params.Buttons = "nur eins";
    const ActionBoxLayout layout = layoutOf(params, "ein kurzer Text");
    EXPECT_TRUE(layout.scrolls);
    EXPECT_EQ(layout.buttons.size(), 3u);
    std::string joined;
    for (const std::string& line : layout.lines) {
        joined += line;
    }
    EXPECT_EQ(joined, "ein kurzer Text");
    EXPECT_TRUE(fakes.messages.shown.empty());

    ActionBoxParams huge = zeroed();
    huge.TextWidth = INTPTR_MAX;
    huge.ButtonWidth = INTPTR_MIN;
    const ActionBoxLayout clamped = layoutOf(huge, "x");
    EXPECT_EQ(clamped.wrapWidthPx, ActionBoxSizeLimitPx);
}

TEST(ActionBoxTextTest, GuardMessageNamesButtonAndKey)
{
    const ActionBoxGuardMessage message = actionBoxGuardMessage(ActionBoxGuard::Input3, 2, 74);
    EXPECT_EQ(message.title, "FindError Eingabehandling 3 getriggert");
    EXPECT_EQ(
        message.text,
        "FindError Eingabehandling 3>=10!\ri=2\rButton1stLetterAsc(i)=74\r\r"
        "Hier hängt es, deshalb kann man keinen Button mehr betätigen.");
}

} // namespace
} // namespace folvex
