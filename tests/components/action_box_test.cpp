#include "components/action_box.h"

#include "components/action_box_internal.h"
#include "runtime/draw_objects.h"
#include "runtime/input_state.h"
#include "runtime/object_registry.h"
#include "runtime/window_events.h"
#include "runtime/window_geometry.h"
#include "runtime/window_messages.h"
#include "support/action_box_fakes.h"
#include "support/fakes.h"
#include "support/text_fit.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFontMetrics>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace folvex {
namespace {

// The box font's line height: "Segoe UI" asked for as a 16-pixel cell (12 points at 96 DPI) has an em
// of 12 pixels, and its stand-in is drawn at that em.
int boxFontHeightPx()
{
    QFont font(fontFamilyFor("Segoe UI"));
    font.setPixelSize(12);
    return QFontMetrics(font).height();
}

QWidget* box()
{
    return openActionBoxWindow();
}

QPushButton* button(int i)
{
    return box() == nullptr ? nullptr
                            : box()->findChild<QPushButton*>(QStringLiteral("ActionBoxButton%1").arg(i));
}

QScrollBar* scrollBar()
{
    return box() == nullptr ? nullptr : box()->findChild<QScrollBar*>(QStringLiteral("ActionBoxScrollBar"));
}

bool boxActive()
{
    return box() != nullptr && QApplication::activeWindow() == box();
}

QWidget* focused()
{
    return QApplication::focusWidget() != nullptr ? QApplication::focusWidget() : box();
}

int focusedButton()
{
    for (int i = 1; button(i) != nullptr; ++i) {
        if (button(i)->hasFocus()) {
            return i;
        }
    }
    return 0;
}

void wheel(QWidget* target, int delta)
{
    const QPointF at(5, 5);
    QWheelEvent event(
        at,
        target->mapToGlobal(at),
        QPoint(),
        QPoint(0, delta),
        Qt::NoButton,
        Qt::NoModifier,
        Qt::NoScrollPhase,
        false);
    QApplication::sendEvent(target, &event);
}

// Input scripted into the box's own loop: each step waits for its condition, then acts. Steps run
// from a timer inside whatever loop is running, one step per tick. A script that makes no progress
// for ten seconds ends the test program, so a broken loop cannot hang the run.
class Script
{
public:
    Script& when(std::string label, std::function<bool()> ready, std::function<void()> act)
    {
        m_steps.push_back({std::move(label), std::move(ready), std::move(act)});
        return *this;
    }

    Script& then(std::string label, std::function<void()> act)
    {
        return when(
            std::move(label), [] { return true; }, std::move(act));
    }

    // Waits for the box to be open and in front.
    Script& whenActive(std::string label, std::function<void()> act)
    {
        return when(std::move(label), boxActive, std::move(act));
    }

    // Presses a key and lets it go once a pass of the box's loop has begun after the press, as a
    // held key would be seen. ready: when to press.
    Script&
    tap(std::string label,
        Qt::Key key,
        std::function<bool()> ready = boxActive,
        std::function<QWidget*()> target = focused)
    {
        auto pressed = std::make_shared<std::pair<QPointer<QWidget>, int>>();
        when("press " + label, std::move(ready), [pressed, key, target] {
            pressed->first = target();
            pressed->second = actionBoxLoopPasses();
            QTest::keyPress(pressed->first, key);
        });
        return when(
            "release " + label,
            [pressed] { return actionBoxLoopPasses() > pressed->second; },
            [pressed, key] {
                if (pressed->first != nullptr) {
                    QTest::keyRelease(pressed->first, key);
                }
            });
    }

    void start()
    {
        m_clock.start();
        QObject::connect(&m_timer, &QTimer::timeout, [this] { tick(); });
        m_timer.start(2);
    }

    bool finished() const { return m_next == m_steps.size(); }

    std::string pending() const { return finished() ? std::string() : m_steps[m_next].label; }

private:
    struct Step
    {
        std::string label;
        std::function<bool()> ready;
        std::function<void()> act;
    };

    void tick()
    {
        if (finished()) {
            m_timer.stop();
            return;
        }
        if (m_clock.elapsed() > 10000) {
            std::fprintf(stderr, "script stuck at step \"%s\"\n", m_steps[m_next].label.c_str());
            std::abort();
        }
        Step& step = m_steps[m_next];
        if (step.ready()) {
            ++m_next;
            m_clock.restart();
            step.act();
        }
    }

    std::vector<Step> m_steps;
    std::size_t m_next = 0;
    QTimer m_timer;
    QElapsedTimer m_clock;
};

std::intptr_t runBox(ActionBoxParams& params, Script& script)
{
    script.start();
    const std::intptr_t result = ActionBox(params);
    EXPECT_TRUE(script.finished()) << "pending: " << script.pending();
    EXPECT_EQ(box(), nullptr);
    return result;
}

ActionBoxParams withButtons(const std::string& buttons, std::intptr_t count, std::intptr_t defaultButton = 0)
{
    ActionBoxParams params;
    ResetActionBoxParams(params);
    params.Text = "Weiter?";
    params.Buttons = buttons;
    params.ButtonCount = count;
    params.DefaultButton = defaultButton;
    return params;
}

std::string longText(int lines)
{
    std::string text = "Zeile 1";
    for (int i = 2; i <= lines; ++i) {
        text += "\\nZeile " + std::to_string(i);
    }
    return text;
}

class ActionBoxWindowTest : public ::testing::Test
{
protected:
    void SetUp() override { installInputState(); }

    testing::ScopedFakeEffects fakes;
};

TEST_F(ActionBoxWindowTest, ScriptedAnswererShowsNoWindow)
{
    testing::ScriptedActionBoxAnswerer answerer;
    answerer.queueAnswer(2);
    const auto windowsBefore = QApplication::topLevelWidgets().size();
    ActionBoxParams params;
    ResetActionBoxParams(params);
    params.Text = "Seite speichern?";
    params.ButtonCount = 2;
    params.Buttons = "&Ja|&Nein";
    EXPECT_EQ(ActionBox(params), 2);
    EXPECT_EQ(QApplication::topLevelWidgets().size(), windowsBefore);
    EXPECT_EQ(params.Title, "Hinweis");
    EXPECT_EQ(params.ButtonWidth, 100);
    ASSERT_EQ(answerer.shown.size(), 1u);
    EXPECT_EQ(answerer.shown[0].Text, "Seite speichern?");
    EXPECT_EQ(answerer.shown[0].Icon, 1);
    EXPECT_EQ(answerer.shown[0].Sound, -1);
}

TEST_F(ActionBoxWindowTest, EscAndCloseBoxDismiss)
{
    struct Case
    {
        const char* label;
        std::function<void(Script&)> script;
    };

    const Case cases[] = {
        {"Esc", [](Script& s) { s.tap("Esc", Qt::Key_Escape); }},
        {"close box", [](Script& s) { s.whenActive("close", [] { box()->close(); }); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        ActionBoxParams params = withButtons("&Ja|&Nein", 2);
        Script script;
        c.script(script);
        EXPECT_EQ(runBox(params, script), 0);
    }
}

TEST_F(ActionBoxWindowTest, EscHeldWhenTheBoxOpensDoesNotDismissIt)
{
    fakes.messages.queueAnswer(MessageAnswer::Ok);
    fakes.messages.queueAnswer(MessageAnswer::Ok);
    fakes.messages.queueAnswer(MessageAnswer::Ok);
    QLineEdit elsewhere;
    elsewhere.show();
    QTest::keyPress(&elsewhere, Qt::Key_Escape);

    ActionBoxParams params = withButtons("&Ja|&Nein", 2);
    Script script;
    // The box waits for the release and reports the wait after ten polls; only then is Esc let go.
    script
        .when(
            "guard shown",
            [this] { return !fakes.messages.shown.empty(); },
            [&elsewhere] { QTest::keyRelease(&elsewhere, Qt::Key_Escape); })
        .whenActive("Return on Ja", [] { QTest::keyClick(focused(), Qt::Key_Return); });
    EXPECT_EQ(runBox(params, script), 1);
    ASSERT_FALSE(fakes.messages.shown.empty());
    EXPECT_EQ(fakes.messages.shown[0].title, "FindError Eingabehandling 1 getriggert");
}

TEST_F(ActionBoxWindowTest, ButtonsAreChosenByMouseAndKeys)
{
    struct Case
    {
        const char* label;
        std::intptr_t defaultButton;
        std::function<void(Script&)> script;
        std::intptr_t result;
    };

    const auto escape = [](Script& s) { s.tap("Esc", Qt::Key_Escape, [] { return true; }); };
    const Case cases[] = {
        {"click",
         1,
         [](Script& s) { s.whenActive("click Nein", [] { QTest::mouseClick(button(2), Qt::LeftButton); }); },
         2},
        {"Space on the focused button",
         2,
         [](Script& s) { s.whenActive("Space", [] { QTest::keyClick(focused(), Qt::Key_Space); }); },
         2},
        {"Return on the focused button",
         3,
         [](Script& s) { s.whenActive("Return", [] { QTest::keyClick(focused(), Qt::Key_Return); }); },
         3},
        {"Shift+Return does nothing",
         2,
         [escape](Script& s) {
             s.whenActive(
                 "Shift+Return", [] { QTest::keyClick(focused(), Qt::Key_Return, Qt::ShiftModifier); });
             escape(s);
         },
         0},
        {"J", 2, [](Script& s) { s.tap("J", Qt::Key_J); }, 1},
        {"N", 1, [](Script& s) { s.tap("N", Qt::Key_N); }, 2},
        {"label without & answers to its first letter", 1, [](Script& s) { s.tap("V", Qt::Key_V); }, 3},
        {"press released outside the button",
         1,
         [](Script& s) {
             s.whenActive("press on Nein", [] {
                  QTest::mousePress(button(2), Qt::LeftButton);
              }).then("release outside", [] {
                 QTest::mouseRelease(button(2), Qt::LeftButton, Qt::NoModifier, QPoint(-40, -30));
             });
         },
         2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        ActionBoxParams params = withButtons("&Ja|&Nein|Vielleicht", 3, c.defaultButton);
        Script script;
        c.script(script);
        EXPECT_EQ(runBox(params, script), c.result);
    }
}

TEST_F(ActionBoxWindowTest, LettersTypedIntoAnotherWindowChooseNothing)
{
    QLineEdit other;
    ActionBoxParams params = withButtons("&Ja|&Nein", 2);
    Script script;
    script
        .whenActive(
            "activate the other window",
            [&other] {
                other.show();
                other.activateWindow();
                other.setFocus();
            })
        .tap(
            "J there",
            Qt::Key_J,
            [&other] { return QApplication::activeWindow() == &other; },
            [&other]() -> QWidget* { return &other; })
        .tap(
            "N there", Qt::Key_N, [] { return true; }, [&other]() -> QWidget* { return &other; })
        .then("back to the box", [] { box()->activateWindow(); })
        .tap("Esc", Qt::Key_Escape);
    EXPECT_EQ(runBox(params, script), 0);
    EXPECT_EQ(other.text(), QStringLiteral("jn"));
}

TEST_F(ActionBoxWindowTest, MaskedAcceleratorOnlyBeeps)
{
    ActionBoxParams params = withButtons("&Ja|&Nein", 2, 2);
    params.ScrollMask = 1;
    Script script;
    script.whenActive("press J", [] { QTest::keyPress(focused(), Qt::Key_J); })
        .when(
            "beeping",
            [this] { return !fakes.sound.beeps.empty(); },
            [] { QTest::keyRelease(focused(), Qt::Key_J); })
        .tap("Esc", Qt::Key_Escape, [] { return true; });
    EXPECT_EQ(runBox(params, script), 0);
    ASSERT_FALSE(fakes.sound.beeps.empty());
    EXPECT_EQ(fakes.sound.beeps[0].frequencyHz, 2000);
    EXPECT_EQ(fakes.sound.beeps[0].durationMs, 100);
    EXPECT_EQ(params.ScrollMask, 1);
}

TEST_F(ActionBoxWindowTest, AcceleratorHeldTooLongIsWithdrawn)
{
    fakes.messages.queueAnswer(MessageAnswer::Ok);
    ActionBoxParams params = withButtons("&Ja|&Nein", 2);
    QPointer<QWidget> pressedOn;
    Script script;
    script
        .whenActive(
            "press J",
            [&pressedOn] {
                pressedOn = focused();
                QTest::keyPress(pressedOn, Qt::Key_J);
            })
        .when(
            "guard shown",
            [this] { return !fakes.messages.shown.empty(); },
            [&pressedOn] { QTest::keyRelease(pressedOn, Qt::Key_J); })
        .tap("Esc", Qt::Key_Escape);
    EXPECT_EQ(runBox(params, script), 0);
    ASSERT_EQ(fakes.messages.shown.size(), 1u);
    EXPECT_EQ(fakes.messages.shown[0].title, "FindError Eingabehandling 3 getriggert");
    EXPECT_EQ(
        fakes.messages.shown[0].text,
        "FindError Eingabehandling 3>=10!\ri=1\rButton1stLetterAsc(i)=74\r\r"
        "Hier hängt es, deshalb kann man keinen Button mehr betätigen.");
}

TEST_F(ActionBoxWindowTest, ArrowsMoveTheFocusAroundUnmaskedButtons)
{
    struct Case
    {
        const char* label;
        std::intptr_t defaultButton;
        std::uint16_t mask;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        int focusAfter;
    };

    const Case cases[] = {
        {"Right on the last wraps to the first", 3, 0, Qt::Key_Right, Qt::NoModifier, 1},
        {"Left on the first wraps to the last", 1, 0, Qt::Key_Left, Qt::NoModifier, 3},
        {"Right skips a masked button", 1, 2, Qt::Key_Right, Qt::NoModifier, 3},
        {"Left skips a masked button", 3, 2, Qt::Key_Left, Qt::NoModifier, 1},
        {"one unmasked button: nothing moves", 1, 6, Qt::Key_Right, Qt::NoModifier, 1},
        {"Shift+Right does nothing", 1, 0, Qt::Key_Right, Qt::ShiftModifier, 1},
        {"Ctrl+Left does nothing", 2, 0, Qt::Key_Left, Qt::ControlModifier, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        ActionBoxParams params = withButtons("A|B|C", 3, c.defaultButton);
        params.ScrollMask = c.mask;
        int focusAfter = -1;
        Script script;
        script.whenActive("arrow", [&c] { QTest::keyClick(focused(), c.key, c.modifiers); })
            .then("read the focus", [&focusAfter] { focusAfter = focusedButton(); })
            .then("Space", [] { QTest::keyClick(focused(), Qt::Key_Space); });
        EXPECT_EQ(runBox(params, script), c.focusAfter);
        EXPECT_EQ(focusAfter, c.focusAfter);
    }
}

TEST_F(ActionBoxWindowTest, MaskedButtonWaitsUntilTheTextWasRead)
{
    struct Case
    {
        const char* label;
        std::function<bool()> scrollToEnd; // true once at the end
    };

    // One wheel event per step: the loop takes one line per event it sees.
    const auto wheelToTheEnd = [](std::function<QWidget*()> target) {
        return [target] {
            if (scrollBar()->value() < scrollBar()->maximum()) {
                wheel(target(), -120);
                return false;
            }
            return true;
        };
    };
    const Case cases[] = {
        {"wheel", wheelToTheEnd(box)},
        {"wheel over the bar", wheelToTheEnd(scrollBar)},
        {"drag",
         [] {
             scrollBar()->setSliderDown(true);
             scrollBar()->setSliderPosition(scrollBar()->maximum());
             scrollBar()->setSliderDown(false);
             return true;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        ActionBoxParams params = withButtons("&Gelesen|&Abbrechen", 2);
        params.Text = longText(60);
        params.ScrollMask = 1;
        bool disabledAtStart = false;
        int greatest = 0;
        Script script;
        script
            .whenActive(
                "check and click the masked button",
                [&] {
                    disabledAtStart = !button(1)->isEnabled();
                    greatest = scrollBar()->maximum();
                    QTest::mouseClick(button(1), Qt::LeftButton);
                })
            .then("press G", [] { QTest::keyPress(focused(), Qt::Key_G); })
            .when(
                "beeping",
                [this] { return !fakes.sound.beeps.empty(); },
                [] { QTest::keyRelease(focused(), Qt::Key_G); })
            .then("wheel up at the start", [] { wheel(box(), 120); })
            .then("still at the start", [] { EXPECT_EQ(scrollBar()->value(), 1); })
            .when("scroll to the end", c.scrollToEnd, [] {})
            .when(
                "unmasked",
                [] { return button(1)->isEnabled(); },
                [&params] {
                    EXPECT_EQ(params.ScrollMask, 0);
                    wheel(box(), -120);
                })
            .then("wheel down at the end", [] { wheel(box(), -120); })
            .then("still at the end", [&greatest] {
                EXPECT_EQ(scrollBar()->value(), greatest);
                QTest::mouseClick(button(1), Qt::LeftButton);
            });
        EXPECT_EQ(runBox(params, script), 1);
        EXPECT_TRUE(disabledAtStart);
        EXPECT_GT(greatest, 2);
        EXPECT_EQ(params.ScrollMask, 0);
    }
}

std::vector<std::int32_t> g_helpArguments;

// A stand-in main window that records the help messages it gets.
class MainWindow
{
public:
    MainWindow()
        : handle(registerObject(&widget, ObjectKind::Window, StyleCaption))
        , m_previous(mainWindowHandle())
    {
        setMainWindowHandle(handle);
        SetWindowCallback(
            handle,
            [this](Handle, std::uint32_t message, std::intptr_t, std::intptr_t lParam) -> MessageResult {
                if (message != 0x0053) {
                    return DefaultProcessing;
                }
                help.push_back(*reinterpret_cast<const ActionBoxHelpInfo*>(lParam));
                return 1;
            });
        widget.show();
    }

    ~MainWindow()
    {
        SetWindowCallback(handle, {});
        setMainWindowHandle(m_previous);
    }

    QWidget widget;
    Handle handle;
    std::vector<ActionBoxHelpInfo> help;

private:
    Handle m_previous;
};

// Processes events until ready() holds, for at most five seconds.
bool waitFor(const std::function<bool()>& ready)
{
    QElapsedTimer clock;
    clock.start();
    while (!ready() && clock.elapsed() < 5000) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return ready();
}

TEST_F(ActionBoxWindowTest, HelpButtonKeepsTheBoxOpen)
{
    MainWindow mainWindow;
    g_helpArguments.clear();
    ActionBoxParams params = withButtons("&Ja|&Nein", 2);
    params.HelpButton = 1;
    params.HelpProc = [](std::int32_t argument) { g_helpArguments.push_back(argument); };
    params.HelpArgument = 77;
    bool openAfterHelp = false;
    Handle boxHandle = NoHandle;
    Script script;
    script
        .whenActive(
            "click Hilfe",
            [&boxHandle] {
                boxHandle = handleOf(box());
                QTest::mouseClick(button(3), Qt::LeftButton);
            })
        .when(
            "help ran",
            [] { return !g_helpArguments.empty(); },
            [] { QTest::keyClick(button(3), Qt::Key_Space); })
        .when(
            "help ran twice",
            [] { return g_helpArguments.size() == 2; },
            [&openAfterHelp] { openAfterHelp = box() != nullptr && box()->isVisible(); })
        .then("click Ja", [] { QTest::mouseClick(button(1), Qt::LeftButton); });
    EXPECT_EQ(runBox(params, script), 1);
    EXPECT_TRUE(openAfterHelp);
    EXPECT_EQ(params.Buttons, "&Ja|&Nein|Hilfe");
    EXPECT_EQ(g_helpArguments, (std::vector<std::int32_t>{77, 77}));
    ASSERT_EQ(mainWindow.help.size(), 2u);
    EXPECT_EQ(mainWindow.help[0].size, 28);
    EXPECT_EQ(mainWindow.help[0].contextType, 1);
    EXPECT_EQ(mainWindow.help[0].controlId, 0);
    EXPECT_NE(boxHandle, NoHandle);
    EXPECT_EQ(mainWindow.help[0].itemHandle, boxHandle);
}

TEST_F(ActionBoxWindowTest, DropsOtherEventsAndGivesTheFocusBack)
{
    MainWindow mainWindow;
    QLineEdit former;
    former.show();
    former.activateWindow();
    former.setFocus();
    ASSERT_TRUE(waitFor([&former] { return former.hasFocus(); }));
    while (WindowEvent() != 0) {
    }
    ActionBoxParams params = withButtons("", 0);
    int passesAfterPosting = 0;
    Script script;
    script.whenActive("post a menu event", [&] {
        postMenuEvent(mainWindow.handle, 100);
        passesAfterPosting = actionBoxLoopPasses() + 1;
    });
    script.when(
        "a pass later",
        [&] { return actionBoxLoopPasses() > passesAfterPosting; },
        [] { QTest::keyClick(focused(), Qt::Key_Return); });
    EXPECT_EQ(runBox(params, script), 1);
    EXPECT_EQ(queuedWindowEvents(), 0);
    EXPECT_TRUE(waitFor([&former] { return former.hasFocus(); }));
}

TEST_F(ActionBoxWindowTest, PlaysTheChosenSound)
{
    static const char fileName[] = "/tmp/hinweis.wav";

    struct Case
    {
        const char* label;
        std::intptr_t icon;
        std::intptr_t sound;
        std::vector<int> systemSounds;
        std::size_t files;
    };

    const Case cases[] = {
        {"zeroed record: silent", 0, 0, {}, 0},
        {"information icon", 1, 0, {64}, 0},
        {"question icon", 2, 0, {32}, 0},
        {"exclamation icon", 3, 0, {48}, 0},
        {"error icon", 4, 0, {16}, 0},
        {"shield icon", 5, 0, {48}, 0},
        {"fixed sound beside another icon", 4, 12, {32}, 0},
        {"simple beep", 0, 15, {0}, 0},
        {"application icon: silent", 6, 1, {}, 0},
        {"unknown code: silent", 1, 7, {}, 0},
        {"file", 1, reinterpret_cast<std::intptr_t>(fileName), {}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        testing::ScopedFakeEffects sounds;
        ActionBoxParams params = withButtons("", 0);
        params.Icon = c.icon;
        params.Sound = c.sound;
        Script script;
        script.whenActive("Space", [] { QTest::keyClick(focused(), Qt::Key_Space); });
        EXPECT_EQ(runBox(params, script), 1);
        EXPECT_EQ(sounds.sound.systemSounds, c.systemSounds);
        EXPECT_TRUE(sounds.sound.beeps.empty());
        EXPECT_EQ(sounds.sound.sounds.size(), c.files);
        if (c.files == 1) {
            EXPECT_EQ(sounds.sound.sounds[0], fileName);
        }
    }
}

QColor pixel(const QImage& image, int x, int y)
{
    return image.pixelColor(x, y);
}

TEST_F(ActionBoxWindowTest, DrawsAreaStripIconAndButtonsWhereTheLayoutSays)
{
    ActionBoxParams params = withButtons("&Ja|&Nein", 2);
    params.Text = longText(60);
    params.AreaColour = 0x00F0DCC8; // RGB(200, 220, 240)
    params.StripColour = 0x0000FF00;
    QImage top;
    QImage scrolled;
    QRect geometry;
    std::vector<QRect> buttons;
    Script script;
    script
        .whenActive(
            "grab",
            [&] {
                top = box()->grab().toImage();
                geometry = box()->geometry();
                for (int i = 1; i <= 2; ++i) {
                    buttons.push_back(button(i)->geometry());
                }
                wheel(box(), -120);
            })
        .when(
            "scrolled", [] { return scrollBar()->value() == 2; }, [&] { scrolled = box()->grab().toImage(); })
        .tap("Esc", Qt::Key_Escape);
    EXPECT_EQ(runBox(params, script), 0);
    ASSERT_FALSE(top.isNull());
    ASSERT_FALSE(scrolled.isNull());

    const int cw = geometry.width();
    const int ch = geometry.height();
    const int strip = ch - 10 - 25 - 10;
    EXPECT_EQ(ch, 10 + 500 + 20 + 25 + 10);
    EXPECT_EQ(pixel(top, 45, 45), QColor(200, 220, 240)) << "area beside the icon";
    EXPECT_EQ(pixel(top, 5, 100), QColor(200, 220, 240)) << "area below the icon";
    EXPECT_EQ(pixel(top, 3, strip + 3), QColor(0, 255, 0)) << "strip";
    EXPECT_EQ(pixel(top, 3, strip + 1), QColor(200, 220, 240)) << "strip outline";
    EXPECT_EQ(pixel(top, 3, strip), QColor(Qt::white)) << "between area and strip";
    int iconPixels = 0;
    for (int y = 10; y < 42; ++y) {
        for (int x = 10; x < 42; ++x) {
            iconPixels += pixel(top, x, y) != QColor(200, 220, 240) ? 1 : 0;
        }
    }
    EXPECT_GT(iconPixels, 100);
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(buttons[static_cast<std::size_t>(i)], QRect(cw - (2 - i) * 110, ch - 25 - 10, 100, 25));
    }
    EXPECT_NE(top.copy(0, 0, cw - 15, strip), scrolled.copy(0, 0, cw - 15, strip)) << "text moved";
    EXPECT_EQ(top.copy(0, strip + 1, 5, ch - strip - 1), scrolled.copy(0, strip + 1, 5, ch - strip - 1))
        << "strip unchanged";
}

TEST_F(ActionBoxWindowTest, BadInputOpensAndCloses)
{
    struct Case
    {
        const char* label;
        std::function<void(ActionBoxParams&)> fill;
    };

    const Case cases[] = {
        {"negative sizes",
         [](ActionBoxParams& p) {
             p.Text = "Negativ";
             p.TextWidth = -300;
             p.MaxTextHeight = -20;
             p.ButtonWidth = -50;
             p.ButtonHeight = -10;
         }},
        {"more buttons than labels",
         [](ActionBoxParams& p) {
             p.Text = "Zu wenig Beschriftungen";
             p.ButtonCount = 5;
             p.Buttons = "Eins";
             p.Tooltips = "|||||||";
             p.ScrollMask = 0xFFFF;
         }},
        {"no text at all", [](ActionBoxParams&) {}},
        {"no buttons", [](ActionBoxParams& p) { p.ButtonCount = -2; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        ActionBoxParams params;
        ResetActionBoxParams(params);
        c.fill(params);
        Script script;
        script.tap("Esc", Qt::Key_Escape);
        EXPECT_EQ(runBox(params, script), 0);
    }
}

TEST_F(ActionBoxWindowTest, TheProgramsButtonRowsFitTheirButtons)
{
    // The widest button rows the program asks with, at the widths it gives them (0: the box's own).
    const struct
    {
        const char* buttons;
        std::intptr_t count;
        std::intptr_t widthPx;
    } cases[] = {
        {"Speichern|Bearbeiten|Weiterscannen|Rückseiten scannen|Ziel ändern|Abbruch", 6, 130},
        {"Speichern|Bearbeiten|Weiterscannen|Ziel ändern|Abbruch", 5, 0},
        {"Scanner auswählen|Ok", 2, 130},
        {"Ok|gesamten Scanvorgang mit den Vorderseiten erneut starten|Scan so belassen und Datei erzeugen",
         3,
         330},
        {"&Ja|&Nein|&Abbrechen", 3, 0},
    };

    for (const auto& c : cases) {
        SCOPED_TRACE(c.buttons);
        ActionBoxParams params = withButtons(c.buttons, c.count);
        params.ButtonWidth = c.widthPx;
        std::vector<std::string> cut{"not shown"};
        Script script;
        script.whenActive("measure", [&] {
            cut = testing::cutTexts(*box());
            QTest::keyClick(focused(), Qt::Key_Space);
        });
        EXPECT_EQ(runBox(params, script), 1);
        EXPECT_EQ(cut, std::vector<std::string>{});
    }
}

TEST_F(ActionBoxWindowTest, MeasuresInTheOpenBoxFont)
{
    int width = -1;
    int height = -1;
    ActionBoxParams params = withButtons("", 0);
    Script script;
    script.whenActive("measure", [&] {
        width = ABTextWidth("XX", 0);
        height = ABTextHeight("X", 0);
        QTest::keyClick(focused(), Qt::Key_Space);
    });
    EXPECT_EQ(runBox(params, script), 1);
    EXPECT_GT(width, 0);
    EXPECT_EQ(height, boxFontHeightPx());
    EXPECT_EQ(ABTextWidth("XX", 0), 0) << "no box open";
}

TEST_F(ActionBoxWindowTest, GivenTextFontMeasuresAndDrawsTheTextButNotTheButtons)
{
    const Handle font = createFont("Arial", 30);
    const int expectedHeight = QFontMetrics(*findFont(font)).height();
    QLabel other;
    other.setFont(*findFont(font));
    const Handle otherHandle = registerObject(&other, ObjectKind::Control, 0);
    int height = -1;
    int buttonFontHeight = -1;
    ActionBoxParams params = withButtons("", 0);
    params.TextFont = font;
    Script script;
    script.whenActive("measure", [&] {
        height = ABTextHeight("X", 0);
        buttonFontHeight = QFontMetrics(button(1)->font()).height();
        QTest::keyClick(focused(), Qt::Key_Space);
    });
    EXPECT_EQ(runBox(params, script), 1);
    EXPECT_EQ(height, expectedHeight);
    EXPECT_EQ(buttonFontHeight, boxFontHeightPx());
    EXPECT_EQ(ABTextHeight("X", otherHandle), expectedHeight);
    EXPECT_EQ(
        ABTextWidth("XX", otherHandle),
        QFontMetrics(*findFont(font)).horizontalAdvance(QStringLiteral("XX")));
    EXPECT_EQ(ABTextWidth("XX", 999999), 0);
    deleteDrawObject(font);
}

TEST_F(ActionBoxWindowTest, AreaBrushAndPenPaintTheTextArea)
{
    const Handle brush = createSolidBrush(0x000000FF); // red
    const Handle pen = createPen(0, 0x00FF0000);       // blue
    ActionBoxParams params = withButtons("", 0);
    params.AreaBrush = brush;
    params.AreaPen = pen;
    params.AreaColour = 0x0000FF00; // not used beside a brush
    QImage image;
    Script script;
    script.whenActive("grab", [&image] {
        image = box()->grab().toImage();
        QTest::keyClick(focused(), Qt::Key_Space);
    });
    EXPECT_EQ(runBox(params, script), 1);
    ASSERT_FALSE(image.isNull());
    // Inside the text area (a margin above and below one line), clear of the text itself.
    const int y = ActionBoxMarginPx + 1;
    EXPECT_EQ(image.pixelColor(5, y), QColor(255, 0, 0)) << "area";
    EXPECT_EQ(image.pixelColor(0, y), QColor(0, 0, 255)) << "area outline";
    deleteDrawObject(brush);
    deleteDrawObject(pen);
}

TEST_F(ActionBoxWindowTest, BoxIsCentredOnTheScreenAndTheWaitWindowIsGone)
{
    ActionBoxParams params = withButtons("", 0);
    params.Text = longText(5);
    params.WaitText = "Text wird gesetzt";
    WindowRect outer;
    QSize client;
    bool waitWindowShown = true;
    bool onTop = false;
    Script script;
    script.whenActive("measure", [&] {
        outer = windowOuterRect(handleOf(box()));
        client = box()->size();
        onTop = box()->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
        waitWindowShown = false;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->isVisible() && widget->windowTitle() == QStringLiteral("Bitte warten...")) {
                waitWindowShown = true;
            }
        }
        QTest::keyClick(focused(), Qt::Key_Space);
    });
    EXPECT_EQ(runBox(params, script), 1);
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(outer.width, client.width() + 2 * DialogFrameWidth);
    EXPECT_EQ(outer.height, client.height() + CaptionHeight + 2 * DialogFrameWidth);
    EXPECT_NEAR(outer.x + outer.width / 2, screen.width() / 2 + DialogFrameWidth, 1);
    EXPECT_NEAR(
        outer.y + outer.height / 2, screen.height() / 2 + (CaptionHeight + 2 * DialogFrameWidth) / 2, 1);
    EXPECT_TRUE(onTop);
    EXPECT_FALSE(waitWindowShown);
}

} // namespace
} // namespace folvex
